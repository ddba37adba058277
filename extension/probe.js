// What the extension finds on ChatGPT's page, for `wendlebox --probe`:
// each landmark with the rule that found it, and a skeleton of the page
// that a developer can turn back into a test page when ChatGPT changes.
// The skeleton holds element names, roles, classes, data-* attributes with
// their structural values, and the page's own labels; never text, and no
// label from inside a message or from the chat list.

import * as L from "./landmarks.js";
import * as CL from "./composer_landmarks.js";
import * as B from "./blockers.js";

const MAX_NODES = 20000;
const MAX_DEPTH = 80;
const VOID = new Set(["AREA", "BASE", "BR", "COL", "EMBED", "HR", "IMG", "INPUT", "LINK", "META", "SOURCE", "TRACK", "WBR"]);
const LEAF = new Set(["SVG", "SCRIPT", "STYLE", "TEMPLATE", "NOSCRIPT", "CANVAS", "VIDEO", "AUDIO"]);
const KEPT = new Set(["role", "type", "contenteditable", "accept", "capture", "multiple", "hidden", "disabled", "aria-hidden", "aria-disabled", "id"]);
const UUID = /[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}/gi;
const LONG_ID = /[0-9a-f]{12,}|\d{6,}/gi;
const EMAIL = /[\p{L}\p{N}._%+-]+@[\p{L}\p{N}-]+(?:\.[\p{L}\p{N}-]+)+/gu;
// A name with an extension: an attachment's, in a chip's label or title.
const FILE_NAME = /[^\s"'<>/\\|:]+\.[A-Za-z][A-Za-z0-9]{0,7}(?![\p{L}\p{N}])/gu;
const WHOLE_FILE_NAME = /^[^"<>/\\|:]+\.[A-Za-z][A-Za-z0-9]{0,7}$/u;
// An attachment chip's remove button says the file's name, which may hold
// blanks: all of it after the verb goes.
const REMOVE_NAMED = /^(Remove|Remover|Quitar|Eliminar|Supprimer|Entfernen|Rimuovi)\s+\S.*$/iu;
const WORD = /[\p{L}\p{N}_]+/gu;

const last = (list) => (list.length ? list[list.length - 1] : null);

// ---- Landmarks ----

function landmarks() {
  const found = [];
  const add = (name, rule) =>
    found.push({ name, found: Boolean(rule), how: rule ? `${rule.kind}: ${rule.selector}` : "not found" });
  const composer = CL.locateComposer();
  add("composer form", composer && composer.rules.form);
  add("message editor", composer && composer.rules.editor);
  const send = composer && CL.locateSend(composer.form);
  add("send button", send && send.rule);
  const input = composer && CL.fileInput(composer.form);
  add("file input", input && { kind: "structure", selector: `${inputText(input)} in the composer form` });
  const messages = L.messages();
  const user = last(messages.filter((m) => m.role === "user" && m.body));
  add("user message", user && user.rule);
  const answer = last(messages.filter((m) => m.role === "assistant" && m.body));
  add("answer", answer && answer.rule);
  const copy = answer && L.locateCopy(L.answerControls(answer));
  add("answer's copy button", copy && copy.rule);
  const code = answer && answer.body.querySelector(L.selectors.codeBlock);
  add("code block in the answer", code && { kind: "structure", selector: L.selectors.codeBlock.split(", ").find((one) => code.matches(one)) });
  return found;
}

// An input as markup: input[type="file"] with its accept, capture and multiple.
function inputText(input) {
  return 'input[type="file"]' + ["accept", "capture", "multiple"].filter((name) => input.hasAttribute(name))
    .map((name) => (input.getAttribute(name) ? `[${name}="${input.getAttribute(name)}"]` : `[${name}]`)).join("");
}

// Every element that looks like the message editor, with its size and
// why it is not the one used; every file input, and which one is used.
function candidates() {
  const composers = CL.composerCandidates().map((c) => ({
    what: `${c.rule.selector} ${c.width}×${c.height}${c.rendered ? "" : ", not rendered"}`, used: c.used }));
  const fileInputs = CL.fileInputs().map((i) => ({
    what: `${inputText(i.element)}${i.inComposer ? " in the composer" : " outside the composer"}`, used: i.used }));
  return { composers, fileInputs };
}

// ---- Skeleton ----

// Whether a word of a data-* value names something (a message, a user, a
// file) rather than a kind or a state, in whatever alphabet: digits in a
// longer word, a capital inside a word, or a long word that is not plain
// lower-case English.
function isIdentifier(word) {
  return (word.length >= 6 && /\p{N}/u.test(word)) || (word.length >= 8 && /\p{Ll}\p{Lu}/u.test(word)) ||
    (word.length >= 12 && !/^[a-z]+$/.test(word)) || word.length >= 24;
}

function shortened(value) {
  return value.length <= 60 ? value : "…";
}

function structural(value) {
  return shortened(value.replace(EMAIL, "<email>").replace(UUID, "<id>").replace(LONG_ID, "<id>")
    .replace(WORD, (word) => (isIdentifier(word) ? "<id>" : word)));
}

// A label keeps its words, which say what a control does in the page's
// language, but no name, address or identifier of the user's.
function label(value) {
  return shortened(value.replace(REMOVE_NAMED, "$1 <name>").replace(EMAIL, "<email>").replace(WHOLE_FILE_NAME, "<name>")
    .replace(FILE_NAME, "<name>")
    .replace(UUID, "<id>").replace(LONG_ID, "<id>"));
}

function attributesOf(element) {
  const kept = {};
  const isPrivate = Boolean(element.closest(L.selectors.conversation));
  for (const { name, value } of Array.from(element.attributes)) {
    if (name.startsWith("data-") || KEPT.has(name)) kept[name] = structural(value);
    else if ((name === "aria-label" || name === "title") && !isPrivate) kept[name] = label(value);
    else if (name === "src" && /^(SCRIPT|IFRAME)$/.test(element.tagName)) kept[name] = addressWithoutQuery(value);
  }
  const classes = Array.from(element.classList).filter((name) => /^[A-Za-z][\w-]*$/.test(name)).slice(0, 10);
  if (classes.length) kept.class = classes.join(" ");
  return kept;
}

function addressWithoutQuery(value) {
  try {
    const url = new URL(value, location.href);
    return structural(url.origin === location.origin ? url.pathname : url.origin + url.pathname);
  } catch {
    return "…";
  }
}

function hasOwnText(element) {
  return Array.from(element.childNodes).some((node) => node.nodeType === 3 && node.nodeValue.trim());
}

// One node: {tag, attributes, text, children, repeat}, empty fields left
// out; identical neighbours are counted once with `repeat`.
function skeletonOf(element, budget, depth = 0) {
  budget.left--;
  const node = { tag: element.tagName.toLowerCase() };
  const attributes = attributesOf(element);
  if (Object.keys(attributes).length) node.attributes = attributes;
  if (hasOwnText(element)) node.text = true;
  if (LEAF.has(element.tagName.toUpperCase()) || VOID.has(element.tagName.toUpperCase())) return node;
  const children = [];
  let previous = null;
  for (const child of element.children) {
    if (budget.left <= 0 || depth >= MAX_DEPTH) {
      node.truncated = true;
      break;
    }
    const made = skeletonOf(child, budget, depth + 1);
    const key = JSON.stringify(made);
    if (previous && previous.key === key) {
      previous.node.repeat = (previous.node.repeat || 1) + 1;
      continue;
    }
    children.push(made);
    previous = { key, node: made };
  }
  if (children.length) node.children = children;
  return node;
}

function skeleton(document = globalThis.document) {
  return skeletonOf(document.body, { left: MAX_NODES });
}

function report() {
  const blocker = B.pageBlocker();
  return {
    page: { path: location.pathname.replace(UUID, "<id>"), extension: (globalThis.browser || chrome).runtime.getManifest().version },
    landmarks: landmarks(),
    ...candidates(),
    blocker: blocker ? `${blocker.situation} [${blocker.landmark}]` : null,
    skeleton: skeleton(),
  };
}

export { report, skeleton, landmarks, candidates };
