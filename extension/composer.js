// Puts a job's prompt and images into ChatGPT's composer and sends it,
// making sure that what is sent is the prompt and nothing else: the user's
// draft is kept aside, the user's keystrokes are held off until the send,
// and the editor must hold exactly the prompt before the send button is
// pressed.

import * as L from "./landmarks.js";
import * as CL from "./composer_landmarks.js";
import * as B from "./blockers.js";
import { textOf } from "./text.js";
import { sleep, nextChange, until, StepError } from "./wait.js";

const FIND_LIMIT_MS = 60 * 1000;
const DISABLED_LIMIT_MS = 3000;
const PASTE_SETTLE_MS = 1500;
const UPLOAD_LIMIT_MS = 2 * 60 * 1000;
// A file's chip shows within this once the page has the file, and must
// then stay this long before the file counts as staged.
const CHIP_LIMIT_MS = 10 * 1000;
const CHIP_STEADY_MS = 1000;
const SEND_LIMIT_MS = 2 * 60 * 1000;
const NO_SEND_BUTTON_MS = 10 * 1000;
const INSERT_ATTEMPTS = 3;

// The text the editor would send: ProseMirror paragraphs are lines, a
// <br> is a line break unless it is the editor's trailing placeholder.
const EDITOR_LINE = {
  element: (node) => (node.nodeName === "BR" ? (node.matches(L.selectors.trailingBreak) ? "" : "\n") : undefined),
};

function editorText(editor) {
  if (editor.tagName === "TEXTAREA") return editor.value;
  const blocks = Array.from(editor.children);
  const text = blocks.length ? blocks.map((block) => textOf(block, EDITOR_LINE)).join("\n") : editor.textContent;
  return text.replace(/\u00a0/g, " ");
}

// Trusted input aimed at the composer is held off while the extension
// fills it; the extension's own insertions pass.
const HELD_EVENTS = ["keydown", "keypress", "beforeinput", "paste", "drop", "cut", "compositionstart"];
let held = null;
let inserting = false;

function holdUserInput(editor) {
  const block = (event) => {
    if (inserting || !event.isTrusted || !(event.target instanceof Node) || !editor.contains(event.target)) return;
    event.preventDefault();
    event.stopImmediatePropagation();
  };
  for (const type of HELD_EVENTS) window.addEventListener(type, block, true);
  held = () => {
    for (const type of HELD_EVENTS) window.removeEventListener(type, block, true);
    held = null;
  };
}

function releaseUserInput() {
  if (held) held();
}

function asSelf(action) {
  inserting = true;
  try {
    return action();
  } finally {
    inserting = false;
  }
}

// The editor's whole content, selected with a range: "selectAll" takes
// the whole document in Firefox.
function selectContents(editor) {
  editor.focus();
  const range = document.createRange();
  range.selectNodeContents(editor);
  const selection = window.getSelection();
  selection.removeAllRanges();
  selection.addRange(range);
}

function clear(editor) {
  if (editor.tagName === "TEXTAREA") return setTextareaValue(editor, "");
  selectContents(editor);
  asSelf(() => document.execCommand("delete", false));
}

function setTextareaValue(textarea, value) {
  Object.getOwnPropertyDescriptor(HTMLTextAreaElement.prototype, "value").set.call(textarea, value);
  textarea.dispatchEvent(new Event("input", { bubbles: true }));
}

// A paste is how the page takes a large text fast: it puts it in the
// editor, or (on the current page, above a few thousand characters) turns
// it into an attached text file.
// The page's own world dispatches it when it can (see page_world.js).
function paste(editor, text) {
  editor.focus();
  const request = new CustomEvent("wendlebox-paste", { detail: text, cancelable: true });
  editor.setAttribute("data-wendlebox-paste-target", "");
  try {
    if (!asSelf(() => window.dispatchEvent(request))) return;
  } finally {
    editor.removeAttribute("data-wendlebox-paste-target");
  }
  const data = new DataTransfer();
  data.setData("text/plain", text);
  asSelf(() => editor.dispatchEvent(new ClipboardEvent("paste", { clipboardData: data, bubbles: true, cancelable: true })));
}

function type(editor, text) {
  selectContents(editor);
  // insertText goes through the editor's own input handling, so line
  // breaks survive as they would when typed.
  asSelf(() => document.execCommand("insertText", false, text));
}

async function settle(find, limitMs) {
  const deadline = Date.now() + limitMs;
  for (;;) {
    const found = find();
    if (found || Date.now() > deadline) return found;
    await nextChange(50);
  }
}

// Returns how the prompt went in: "inline" (the editor holds exactly the
// prompt) or "attached" (the page made it an attached file).
async function putPrompt(composer, prompt) {
  const { form, editor } = composer;
  if (editor.tagName === "TEXTAREA") {
    setTextareaValue(editor, prompt);
    if (editor.value === prompt) return "inline";
  } else {
    const tilesBefore = L.attachmentTiles(form).length;
    // The editor must take the deletion in (its DOM observer runs after
    // this task) before the paste, or it draws its old document again over
    // the pasted one.
    if (editorText(editor) !== "") {
      clear(editor);
      await sleep(0);
    }
    paste(editor, prompt);
    const taken = await settle(() => {
      const text = editorText(editor);
      if (text === prompt) return "inline";
      if (L.attachmentTiles(form).length > tilesBefore && !text.trim()) return "attached";
      return null;
    }, PASTE_SETTLE_MS);
    if (taken) return taken;
  }
  // The page changed the pasted text (or took none of it): type it.
  for (let attempt = 0; attempt < INSERT_ATTEMPTS; attempt++) {
    clear(editor);
    if (editor.tagName === "TEXTAREA") setTextareaValue(editor, prompt);
    else type(editor, prompt);
    if (await settle(() => editorText(editor) === prompt, 500)) return "inline";
  }
  throw new StepError("put the prompt in the composer", "The message box did not hold the prompt after it was inserted",
    CL.names.composer);
}

// The composer, once the page shows a usable one; a page that cannot take
// a prompt (logged out, a browser check, a disabled box) fails at once.
async function findComposer() {
  let disabledSince = null;
  return until(() => {
    const composer = CL.composer();
    if (!composer) return null;
    if (!CL.editorDisabled(composer.editor)) return composer;
    disabledSince = disabledSince || Date.now();
    if (Date.now() - disabledSince > DISABLED_LIMIT_MS)
      throw new StepError("find the composer", "ChatGPT's message box is disabled", "composer editor (contenteditable or disabled)");
    return null;
  }, {
    limitMs: FIND_LIMIT_MS, step: "find the composer", situation: "The ChatGPT message box was not found",
    landmark: CL.names.composer,
    check: () => {
      const blocker = B.pageBlocker();
      if (blocker) throw new StepError("find the composer", blocker.situation, blocker.landmark);
      if (!CL.composer() && B.loggedOut())
        throw new StepError("find the composer", "ChatGPT shows a logged-out page; log in to ChatGPT in this browser", "login button");
    },
  });
}

// Images go through the composer's own file input (never a camera's,
// nor one outside the composer). The page may drop a staged file while
// it loads: each file's chip (its name, or a preview) must show, and
// stay, with the send button usable; the files are given once more if
// a chip does not come or vanishes.
async function attach(form, attachments) {
  const input = CL.fileInput(form);
  if (!input && B.signedOut())
    throw new StepError("attach images", "ChatGPT's page is signed out, and a signed-out page takes no files; log in to ChatGPT in this browser to send images",
      "signed-out page ([data-logged-out], login button), no file input");
  if (!input) throw new StepError("attach images", "The composer has no file input", CL.names.fileInput);
  const staging = { form, input, attachments, before: new Set(L.attachmentTiles(form)), tries: 0 };
  await stage(staging);
  return staging;
}

function giveFiles(staging) {
  const files = new DataTransfer();
  for (const attachment of staging.attachments) {
    const bytes = Uint8Array.from(atob(attachment.base64), (c) => c.charCodeAt(0));
    files.items.add(new File([bytes], attachment.name, { type: attachment.mime }));
  }
  staging.input.files = files.files;
  staging.input.dispatchEvent(new Event("change", { bubbles: true }));
  staging.tries++;
}

// The names of the files that show no chip: a chip new since the files
// were given that names the file, or else one with a preview.
function missingChips(staging) {
  const chips = L.attachmentTiles(staging.form).filter((chip) => !staging.before.has(chip));
  const names = staging.attachments.map((a) => a.name);
  const unnamed = chips.filter((chip) => !names.some((name) => CL.chipShows(chip, name)) && CL.chipPreview(chip));
  return names.filter((name) => !chips.some((chip) => CL.chipShows(chip, name)) && !unnamed.shift());
}

function notTaken(missing) {
  return new StepError("attach images", `the page did not take the attachment ${missing.join(", ")}`,
    "attachment chip in the composer (the file's name or a preview)");
}

// Gives the files, and waits until every chip shows, uploads are done and
// the send button (where one shows) is usable, and that has held.
async function stage(staging) {
  giveFiles(staging);
  const names = staging.attachments.map((a) => a.name).join(", ");
  const started = Date.now();
  let seenAll = false;
  let readySince = 0;
  for (;;) {
    const refusal = Array.from(document.querySelectorAll(L.selectors.notice)).find(L.shown);
    if (refusal) throw new StepError("attach images", `ChatGPT refused ${names}: "${refusal.textContent.trim().slice(0, 200)}"`, "upload notice");
    const missing = missingChips(staging);
    const lost = missing.length > 0 && (seenAll || Date.now() - started > CHIP_LIMIT_MS);
    if (lost) {
      if (staging.tries > 1) throw notTaken(missing);
      return stage(staging);
    }
    seenAll = seenAll || !missing.length;
    const send = CL.sendButton(staging.form);
    const ready = !missing.length && !staging.form.querySelector(L.selectors.uploadProgress) && (!send || L.usable(send));
    readySince = ready ? readySince || Date.now() : 0;
    if (readySince && Date.now() - readySince >= CHIP_STEADY_MS) return;
    if (Date.now() - started > UPLOAD_LIMIT_MS)
      throw new StepError("attach images", `ChatGPT did not finish uploading ${names}`, "upload progress in the composer");
    await nextChange(100);
  }
}

// Just before the send: a chip that has gone since gets the files once
// more (if they were given only once), else the job stops.
async function checkStaged(staging) {
  if (!staging) return;
  const missing = missingChips(staging);
  if (!missing.length) return;
  if (staging.tries > 1) throw notTaken(missing);
  await stage(staging);
}

// Presses the send button once it can be pressed (uploads may still run);
// a page without one gets Enter. Returns the send button's place, where
// the stop control shows while the answer runs.
async function send(composer) {
  const { form, editor } = composer;
  const started = Date.now();
  while (Date.now() - started < SEND_LIMIT_MS) {
    const button = CL.sendButton(form);
    if (L.usable(button)) {
      const slot = button.parentElement;
      button.click();
      return slot;
    }
    if (!button && Date.now() - started > NO_SEND_BUTTON_MS) {
      asSelf(() => editor.dispatchEvent(new KeyboardEvent("keydown", { key: "Enter", code: "Enter", keyCode: 13, bubbles: true })));
      return null;
    }
    await nextChange(100);
  }
  throw new StepError("send the prompt", "The send button stayed disabled; an upload may have been refused", CL.names.send);
}

// Sends a job: returns how the prompt was handed over and where the stop
// control will show.
// Text the composer holds that the program sent already (the page
// restores a sent prompt into the composer after a reload) is no draft
// of the user's: it goes, and is not put back.
async function submit(composer, job, beforeSend, sentAlready = () => false) {
  const held = editorText(composer.editor);
  const draft = held.trim() && !sentAlready(held) ? held : "";
  holdUserInput(composer.editor);
  try {
    const staging = job.attachments && job.attachments.length ? await attach(composer.form, job.attachments) : null;
    const handover = await putPrompt(composer, job.prompt);
    await checkStaged(staging);
    await beforeSend(handover);
    const sendSlot = await send(composer);
    return { handover, sendSlot, draft };
  } finally {
    releaseUserInput();
  }
}

// The user's draft goes back into the composer once the job is answered.
async function restoreDraft(draft) {
  const composer = CL.composer();
  if (!draft || !composer || editorText(composer.editor).trim()) return;
  if (composer.editor.tagName === "TEXTAREA") setTextareaValue(composer.editor, draft);
  else paste(composer.editor, draft);
  await sleep(0);
}

export { findComposer, submit, attach, restoreDraft, editorText };
