// Where the composer is on ChatGPT's page: the message editor the user
// sees, the form around it that scopes its send and stop buttons and its
// file inputs, and the attachment chips it shows. Built on the landmarks
// (landmarks.js).
//   The page may keep a second, zero-size editor in the DOM beside the one
// shown (another placement of the same editor): only a rendered editor
// counts, wherever it stands. An empty idle composer may show no send
// button at all (its place holds the voice or dictation button). Among
// its file inputs there may be a camera's (capture), which takes no file
// from a program.

import { shown, locate, label, words as WORDS, structure, testId } from "./landmarks.js";

const COMPOSER_FORM = [structure("form[data-chatgpt-composer]"), structure('form[data-type="unified-composer"]'),
  structure("form:has(.ProseMirror)"), structure("form:has([data-composer-markdown])"), structure("form:has(textarea)")];
const EDITOR = [structure("#prompt-textarea"), structure("[data-composer-markdown][contenteditable]"),
  structure(".ProseMirror[contenteditable]"), structure("textarea#mobile-composer-prompt"),
  structure('[contenteditable][role="textbox"]'), structure("textarea")];
// The signed-out page's one button is send while idle and stop, marked
// data-stop-generating, while an answer runs.
const SEND = [testId('button[data-testid="send-button"]'),
  structure('button#composer-submit-button:not([data-testid="stop-button"])'),
  structure("button[data-composer-submit]:not([data-stop-generating])"), structure('button[type="submit"]')];
const STOP = [testId('[data-testid="stop-button"]'), structure("button[data-composer-submit][data-stop-generating]")];
// The signed-out page's composer may stand in no form: its controls are
// found in the nearest box that holds the editor and this button.
const COMPOSER_SUBMIT = "button[data-composer-submit]";
// Controls near the send button that must never count as the stop control.
const VOICE = '[data-testid*="speech"], [data-testid*="voice"], [data-testid*="dictat"]';
const FILE_INPUT = 'input[type="file"]';
// Kinds of file a program attaches (pictures): an input that names
// others only takes none of them.
const TAKES_PICTURES = /(^|,)\s*(image\/|\*|\.(png|jpe?g|gif|webp)\b)/i;

// Whether an element is drawn for the user: shown, not hidden from
// assistive technology, with a size, and not cut away by a box of no
// size around it.
function rendered(element) {
  if (!shown(element) || element.getAttribute("aria-hidden") === "true" || element.closest("[hidden]")) return false;
  if (typeof element.checkVisibility === "function" && !element.checkVisibility({ visibilityProperty: true })) return false;
  return hasSize(element) && !clipped(element);
}

// Whether a box of no size that clips what overflows it stands around
// the element, with no fixed box between them (which it would not clip).
function clipped(element) {
  const passed = [element];
  for (let box = element.parentElement; box && box !== document.body; box = box.parentElement) {
    if (!hasSize(box) && getComputedStyle(box).overflow !== "visible")
      return !passed.some((inner) => getComputedStyle(inner).position === "fixed");
    passed.push(box);
  }
  return false;
}

function hasSize(element) {
  const box = element.getBoundingClientRect();
  return box.width > 0 && box.height > 0;
}

// The composer: its form scopes the send and stop buttons and the file
// input, so controls elsewhere on the page (read aloud, other uploads)
// are never taken for them.
function locateComposer() {
  for (const formRule of COMPOSER_FORM) {
    for (const form of document.querySelectorAll(formRule.selector)) {
      const editor = shown(form) && locate(EDITOR, form, rendered);
      if (editor) return { form, editor: editor.element, rules: { form: formRule, editor: editor.rule } };
    }
  }
  const editor = locate(EDITOR.slice(0, 4), document, rendered);
  if (!editor) return null;
  const element = editor.element;
  let form = element.closest("form");
  for (let box = element.parentElement; !form && box; box = box.parentElement) if (box.querySelector(COMPOSER_SUBMIT)) form = box;
  return { form: form || element.parentElement, editor: element,
    rules: { form: structure("the editor's form, or the box holding it and its button"), editor: editor.rule } };
}

function composer() {
  const found = locateComposer();
  return found && { form: found.form, editor: found.editor };
}

// Every element that looks like a message editor, with its size and
// whether it is the one used: what the probe reports.
function composerCandidates() {
  const used = locateComposer();
  const seen = new Set();
  const candidates = [];
  for (const rule of EDITOR) {
    for (const element of document.querySelectorAll(rule.selector)) {
      if (seen.has(element)) continue;
      seen.add(element);
      const box = element.getBoundingClientRect();
      candidates.push({ element, rule, width: Math.round(box.width), height: Math.round(box.height), rendered: rendered(element),
        used: Boolean(used && used.editor === element) });
    }
  }
  return candidates;
}

function editorDisabled(editor) {
  if (editor.tagName === "TEXTAREA") return editor.disabled || editor.readOnly;
  return editor.getAttribute("contenteditable") === "false" || editor.getAttribute("aria-disabled") === "true" ||
    Boolean(editor.closest("fieldset[disabled]"));
}

function locateSend(form) {
  const found = locate(SEND, form);
  if (found && !WORDS.stop.test(label(found.element))) return found;
  for (const button of form.querySelectorAll("button")) {
    if (shown(button) && WORDS.send.test(label(button)) && !WORDS.notAnswer.test(label(button)))
      return { element: button, rule: { kind: "label words", selector: "button" } };
  }
  return null;
}

function sendButton(form) {
  const found = locateSend(form);
  return found && found.element;
}

// The stop control takes the send button's place while an answer runs;
// dictation, voice and read-aloud controls are never it.
function locateStop(form, sendSlot) {
  const marked = locate(STOP, form);
  if (marked) return marked;
  if (!sendSlot || !sendSlot.isConnected) return null;
  for (const button of sendSlot.querySelectorAll("button")) {
    if (!shown(button) || button.matches(VOICE) || WORDS.notAnswer.test(label(button))) continue;
    if (WORDS.stop.test(label(button))) return { element: button, rule: { kind: "label words", selector: "button in the send button's place" } };
  }
  return null;
}

function stopButton(form, sendSlot) {
  const found = locateStop(form, sendSlot);
  return found && found.element;
}

// The composer's own input for pictures: never a camera's (capture), the
// one that takes several files before one that takes a single file.
function fileInput(form) {
  const inputs = Array.from(form.querySelectorAll(FILE_INPUT)).filter((input) =>
    !input.hasAttribute("capture") && (!input.accept.trim() || TAKES_PICTURES.test(input.accept)));
  return inputs.find((input) => input.multiple) || inputs[0] || null;
}

// Every file input on the page, for the probe.
function fileInputs() {
  const used = locateComposer();
  const chosen = used && fileInput(used.form);
  return Array.from(document.querySelectorAll(FILE_INPUT)).map((input) => ({ element: input,
    accept: input.getAttribute("accept"), capture: input.getAttribute("capture"), multiple: input.multiple,
    inComposer: Boolean(used && used.form.contains(input)), used: input === chosen }));
}

// Whether an attachment chip shows the file `name`: by its name in its
// text or labels ("Remove pic.png"), or by a preview of a picture.
function chipShows(chip, name) {
  const labels = [chip, ...chip.querySelectorAll("[aria-label], [title], [alt]")].map((element) =>
    `${element.getAttribute("aria-label") || ""} ${element.getAttribute("title") || ""} ${element.getAttribute("alt") || ""}`);
  return chip.textContent.includes(name) || labels.some((text) => text.includes(name));
}

function chipPreview(chip) {
  return chip.matches("img") || Boolean(chip.querySelector("img, canvas, [style*='background-image']"));
}

const ruleText = (rules) => rules.map((rule) => rule.selector).join(", ");

export { composer, locateComposer, composerCandidates, rendered, editorDisabled, sendButton, locateSend, stopButton, locateStop,
  fileInput, fileInputs, chipShows, chipPreview };
export const names = { composer: `composer form (${ruleText(COMPOSER_FORM.concat(EDITOR))})`,
  send: `send button (${ruleText(SEND)}, or a send label)`,
  fileInput: 'file input in the composer form (input[type="file"], no capture, multiple first)' };
