// A stand-in for the ChatGPT web application in the four layouts it has
// served (window.FAKE.generation: "2025", "2026-mid", "2026-09", "2026-10"),
// its thread drawn by thread.js,
// built from public captures of the real page (each shape below follows
// one of them; what no capture shows is marked as such), and in the
// situations that have broken the extension before
// (window.FAKE.situations). It streams scripted answers over a network
// request, as the real page does, and reports to the test server what was
// sent, what was uploaded and when its answer ended.
import { Fragment, Schema, Slice } from "prosemirror-model";
import { marks, nodes } from "prosemirror-schema-basic";
import { EditorState } from "prosemirror-state";
import { EditorView } from "prosemirror-view";
import { SCRIPTS, el, escapeHtml, markdown, pause, report } from "./common.js";
import { CURRENT, FAKE, SHELL, WORDS, answerTurn, canvasCard, earlierHistory, has, hiddenConversation, renderMarkdown, showInCanvas, thread, userTurn, uuid } from "./thread.js";

const schema = new Schema({ nodes, marks });
const conversationId = "0c0ffee0-1234-4abc-8def-0123456789ab";

const script = SCRIPTS[FAKE.script || "task"];

// ---- The composer ----------------------------------------------------------

const form = document.getElementById("composer");
const slot = form.querySelector(".slot");
const pastedFiles = [];
// Above this a paste becomes an attached text file: about 10,000
// characters on the app shell, fewer on the page before it.
const PASTE_AS_FILE = SHELL ? 10_000 : 5000;

function button(html, onClick) {
  const b = el(html);
  if (onClick) b.addEventListener("click", onClick);
  return b;
}

const sendButton = CURRENT
  ? button(`<button type="submit" aria-label="${WORDS.send}"><svg></svg></button>`)
  : button('<button type="button" id="composer-submit-button" data-testid="send-button" aria-label="Send prompt">Send</button>');
// The app shell turns the send button itself into the stop button.
const stopButton = SHELL ? sendButton : CURRENT
  ? button(`<button type="button" aria-label="${WORDS.stop}"><svg></svg></button>`)
  : button('<button type="button" id="composer-submit-button" data-testid="stop-button" aria-label="Stop streaming">Stop</button>');
const voiceButton = button(`<button type="button" data-testid="composer-speech-button" aria-label="${WORDS.voice}"><svg></svg></button>`);
// A dictation control in the send button's own place, as some builds had it.
const dictationStop = button('<button type="button" aria-label="Stop dictation"><svg></svg></button>');
if (FAKE.generation === "2026-mid" || FAKE.generation === "2026-09") form.dataset.type = "unified-composer";
if (SHELL) form.setAttribute("data-chatgpt-composer", "");

function fillSlot(...buttons) {
  if (SHELL && buttons[0] === sendButton) Object.assign(sendButton, { type: "submit" }).setAttribute("aria-label", WORDS.send);
  if (SHELL && buttons[0] === stopButton && answering) Object.assign(stopButton, { type: "button", disabled: false }).setAttribute("aria-label", WORDS.stop);
  const wanted = has("dictation-beside-send") ? [dictationStop, ...buttons] : buttons;
  if (wanted.some((b, i) => slot.children[i] !== b) || slot.children.length !== wanted.length) slot.replaceChildren(...wanted);
}

// The 2025 page pasted plain text the ProseMirror way (blank lines lost);
// later pages keep every line, and the current ones turn a long paste into
// an attached text file.
function pastedSlice(text) {
  const paragraphs = text.split("\n").map((line) => schema.node("paragraph", null, line ? [schema.text(line)] : []));
  return new Slice(Fragment.from(paragraphs), 1, 1);
}

function pasteAsFile(text) {
  pastedFiles.push(text);
  if (SHELL) {
    const name = `Pasted text ${pastedFiles.length}.txt`;
    addTile(el(`<div class="file-chip"><span>${name}</span><button type="button" aria-label="${WORDS.remove} ${name}"><svg></svg></button></div>`));
  } else {
    addTile(el('<div data-testid="composer-attachment"><span>Pasted text</span></div>'));
  }
}

const view = new EditorView(document.getElementById("editor"), {
  state: EditorState.create({ schema }),
  editable: () => !has("disabled-composer"),
  attributes: FAKE.generation === "2025" ? { id: "prompt-textarea", class: "ProseMirror" }
    : SHELL ? { class: "ProseMirror", "data-composer-markdown": "true" } : { class: "ProseMirror" },
  handlePaste(view, event) {
    if (FAKE.generation === "2025") return false;
    const text = event.clipboardData.getData("text/plain");
    if (CURRENT && text.length > PASTE_AS_FILE) {
      pasteAsFile(text);
      return true;
    }
    view.dispatch(view.state.tr.replaceSelection(pastedSlice(text)));
    return true;
  },
  dispatchTransaction(transaction) {
    view.updateState(view.state.apply(transaction));
    showSendOrVoice();
  },
});

function typedText() {
  const doc = view.state.doc;
  return doc.textBetween(0, doc.content.size, "\n", (node) => (node.type.name === "hard_break" ? "\n" : ""));
}

// An empty idle composer shows no send button, its place holding the voice
// button (2026-11-11). With "no-send-while-empty" a staged file alone does
// not make it non-empty (not in any source: the release note says
// only "an empty composer").
let answering = false;
function showSendOrVoice() {
  if (answering) return;
  const tiles = form.querySelector(".tiles").children.length > 0;
  const hasContent = typedText().length > 0 || tiles;
  fillSlot((has("no-send-while-empty") ? typedText().length > 0 : hasContent) || !CURRENT ? sendButton : voiceButton);
  sendButton.disabled = !hasContent || form.querySelector('[role="progressbar"]') !== null;
}

function addTile(tile) {
  form.querySelector(".tiles").appendChild(tile);
  showSendOrVoice();
}

// Images: a preview with a progress bar while "uploading". The app shell
// has two file inputs, one for images and one taking any file (2026-10),
// whose chip reads "Remove <name>". Which of them takes several files is
// not captured: both do here. A camera's input is among them (2026-11-25);
// where it stands and its markup are not captured: first in the composer
// here, and the page takes nothing given to it.
if (SHELL) form.querySelector('input[type="file"]').before(el('<input type="file" accept="image/*" multiple hidden>'));
if (has("camera-input")) {
  const camera = el('<input type="file" accept="image/*" capture="environment" hidden>');
  camera.addEventListener("change", () => report("event", { type: "wrong-input" }));
  form.prepend(camera);
}
const uploads = [];
let dropped = false;
for (const input of form.querySelectorAll('input[type="file"]:not([capture])')) input.addEventListener("change", async (event) => {
  for (const file of event.target.files) {
    if (has("image-refused")) {
      document.body.appendChild(el(`<div role="alert">${escapeHtml(file.name)}: this file type is not supported.</div>`));
      continue;
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    const upload = { name: file.name, type: file.type, bytes: Array.from(bytes) };
    uploads.push(upload);
    const remove = SHELL ? `<button type="button" aria-label="${WORDS.remove} ${escapeHtml(file.name)}"><svg></svg></button>` : "";
    const tile = el(`<div class="image-tile"><img src="${URL.createObjectURL(file)}">${remove}<div role="progressbar"></div></div>`);
    addTile(tile);
    setTimeout(() => {
      tile.querySelector('[role="progressbar"]').remove();
      showSendOrVoice();
    }, 300);
    // A staged file the page drops while it loads (2026-11-25); when, and
    // how the chip goes, is not in the release note: once, 200 ms after its
    // upload ended, the whole chip here.
    if (has("chip-vanishes") && !dropped) {
      dropped = true;
      setTimeout(() => {
        tile.remove();
        uploads.splice(uploads.indexOf(upload), 1);
        showSendOrVoice();
      }, 500);
    }
  }
});

// ---- Sending and answering -------------------------------------------------

// The conversation survives a reload the way the real page's does: the
// page asks its server again and resumes an unfinished answer.
const saved = JSON.parse(sessionStorage.getItem("fake-chat") || "null") || { answered: 0, exchanges: [], reloaded: false };
const save = () => sessionStorage.setItem("fake-chat", JSON.stringify(saved));

// The "Continue generating" button of pages that cut long answers short;
// it stood above the composer.
function offerToContinue() {
  return new Promise((resolve) => {
    const offer = el(`<div class="continue"><button class="btn-neutral">${WORDS.continue}</button></div>`);
    offer.firstChild.addEventListener("click", () => {
      offer.remove();
      resolve();
    });
    form.before(offer);
  });
}

// One request of the answer's stream: reads it to its end (or the stop
// button), calling onText with what has arrived so far.
async function streamPart(url, request, onChunk) {
  const stopping = new AbortController();
  stopButton.onclick = () => {
    stopping.abort();
    report("event", { type: "stopped" });
  };
  const response = await fetch(url, { method: "POST", body: JSON.stringify(request), signal: stopping.signal });
  report("event", { type: "answer-started" });
  const reader = response.body.getReader();
  const decoder = new TextDecoder();
  let received = "";
  for (;;) {
    let chunk;
    try {
      chunk = await reader.read();
    } catch {
      return { received, stopped: true };
    }
    if (chunk.done) return { received, stopped: false };
    received += decoder.decode(chunk.value, { stream: true });
    if (onChunk(received) === "leave") return { received, stopped: true };
  }
}

async function stream(userElement, exchange, resume) {
  answering = true;
  stopButton.onclick = null;
  fillSlot(stopButton);
  const answer = script[Math.min(exchange.answer, script.length - 1)];
  // An answer with no text. Stopped before any text, an answer renders
  // nothing (2026-09-27): no answer unit is made here. Issue 40 reports
  // (not in a dated capture) that "the answer's unit stays empty and the
  // stop control turns back into send"; the stop control goes here as at
  // any answer's end. A generated image has no answer unit (2026-09-27);
  // its "image container" is from issue 40's report. Not captured, made
  // up here: no conversation request is made, nothing presses stop (the
  // page gives up by itself), and this comes 400 ms after the send; the
  // hidden turn-start marker and the assistant's heading stand in the
  // turn as on any answer, which no capture of such a turn shows.
  // Issue 48 describes (no capture shows it) an answer stopped before any
  // text whose unit holds only the assistant's screen-reader heading and an
  // empty body: "stopped-with-heading" draws that unit, the heading moved
  // into it.
  if (has("empty-answer") || has("image-answer") || has("stopped-with-heading")) {
    const turn = answerTurn(userElement, exchange.key);
    if (has("stopped-with-heading")) {
      turn.part.querySelector(':scope > h4[data-conversation-role="assistant"]').remove();
      turn.part.appendChild(el(`<div data-content-search-unit-key="${exchange.key}:assistant"><h4 class="sr-only" ` +
        `data-conversation-role="assistant">${WORDS.gpt}</h4><div data-markdown-text-style="assistant-message"></div></div>`));
    }
    await pause(400);
    // No capture shows a generated image's markup: an <img> in a plain box
    // here; nor whether it streams or gets an action bar: it does neither.
    if (has("image-answer")) turn.before(el('<div class="image-container"><img alt="Generated image" width="64" height="64"></div>'));
    answering = false;
    slot.replaceChildren();
    showSendOrVoice();
    return;
  }
  const canvas = has("canvas") ? canvasCard() : null;
  const text = canvas ? answer.json : markdown(answer);
  const turn = answerTurn(userElement, exchange.key);
  if (canvas) turn.part.appendChild(canvas);
  // Before the answer has text, only the page's thinking shows. No capture
  // shows this block's markup: a plain element with a button here.
  if (has("activity")) turn.before(el(`<div class="activity"><button type="button">${WORDS.thinking}</button></div>`));
  if (has("thinking")) turn.before(el('<div class="thinking">Thinking</div>'));
  // Where the page's stream cannot be watched, it comes by another request.
  const hidden = has("hidden-stream");
  const url = hidden ? "/backend-api/sse/answer" : resume ? `/backend-api/conversation/${conversationId}/stream` : "/backend-api/f/conversation";
  const pauseAt = has("thinking") ? answer.prose.length : has("slow-answer") ? 20 : has("activity") ? 0 : -1;
  const pauseMs = has("slow-answer") ? 60_000 : has("thinking") ? 2500 : 1500;
  // A cut answer: the first request gives only its first half.
  const cut = has("cut-short") ? Math.floor(text.length / 2) : text.length;
  let chunks = 0;
  let shown = "";
  const onChunk = (received) => {
    if (canvas) showInCanvas(canvas, shown + received);
    else turn.show(renderMarkdown(shown + received, answer.rendering));
    chunks++;
    if (has("thinking")) fillSlot(...(received.length === answer.prose.length ? [] : [stopButton]));
    if (chunks === 1 && SHELL && placeholderShown()) history.replaceState({}, "", `${projectPath}/c/${conversationId}`);
    if (chunks === 2 && has("reload") && !saved.reloaded) {
      saved.reloaded = true;
      save();
      location.reload();
      return "leave";
    }
    if (chunks === 2 && has("other-chat")) {
      openOtherChat();
      return "leave";
    }
    if (chunks === 2 && has("error-answer")) {
      turn.part.appendChild(el('<div class="flex"><div>Something went wrong while generating the response.</div><button>Retry</button></div>'));
      answering = false;
      fillSlot(sendButton);
      return "leave";
    }
    return null;
  };
  let part = await streamPart(url, { text: text.slice(0, cut), pauseAt, pauseMs }, onChunk);
  if (part.stopped) return;
  if (cut < text.length) {
    shown = part.received;
    answering = false;
    fillSlot(sendButton);
    await offerToContinue();
    answering = true;
    fillSlot(stopButton);
    part = await streamPart("/backend-api/conversation", { text: text.slice(cut), pauseAt: -1 }, onChunk);
    if (part.stopped) return;
  }
  // The page's own end of the answer: the stream is over, the stop control
  // goes, the answer's controls appear.
  answering = false;
  slot.replaceChildren();
  showSendOrVoice();
  turn.finish(canvas ? "" : text);
  exchange.complete = true;
  saved.answered = Math.max(saved.answered, exchange.answer + 1);
  save();
  report("event", { type: "answer-ended", at: Date.now() });
}

// A new chat's first address is a placeholder (local-chatgpt%3A, or WEB:
// and WEB%3A on some builds), inside a Project under /g/<project>/. No
// capture shows the address a Project's new chat starts from: the page
// the tab is on (chatgpt.com/) here.
const projectPath = FAKE.project ? `/g/${FAKE.project}` : "";
const placeholderShown = () => !location.pathname.endsWith(`/c/${conversationId}`) && location.pathname.includes("/c/");

function openOtherChat() {
  history.pushState({}, "", "/c/11111111-2222-4333-8444-555555555555");
  thread.replaceChildren();
  const other = { prose: "Other.", json: '{"status":"done","message":"WRONG: another chat"}' };
  const turn = answerTurn(userTurn("another chat", uuid(777), []), uuid(777));
  turn.show(renderMarkdown(markdown(other), "classic"));
  turn.finish(markdown(other));
  answering = false;
  fillSlot(sendButton);
}

async function onSend(event) {
  if (event) event.preventDefault();
  if (sendButton.disabled || answering) return;
  const typed = typedText();
  const file = SHELL && pastedFiles.length ? `Pasted text ${pastedFiles.length}.txt` : null;
  const prompt = typed + pastedFiles.join("");
  const tiles = Array.from(form.querySelector(".tiles").children).filter((tile) => !tile.matches(".file-chip")).map((tile) => {
    tile.querySelector('[role="progressbar"]')?.remove();
    tile.querySelector("button")?.remove();
    return tile;
  });
  form.querySelector(".tiles").replaceChildren();
  view.dispatch(view.state.tr.delete(0, view.state.doc.content.size));
  await report("typed", prompt);
  if (uploads.length) await report("uploaded", uploads.splice(0));
  if (has("never-shown")) return;
  const exchange = { key: uuid(saved.exchanges.length + 1), shown: file ? typed : prompt, file, answer: saved.answered, complete: false };
  saved.exchanges.push(exchange);
  save();
  const user = userTurn(exchange.shown, exchange.key, tiles, file);
  pastedFiles.length = 0;
  // A new chat: the app shell shows a placeholder address first, then the
  // server's once the answer comes (no capture says when: here, with its
  // first piece). Where a Project's new chat starts is not captured.
  if (!/^(\/g\/[^/]+)?\/c\//.test(location.pathname))
    history.pushState({}, "", SHELL ? `${projectPath}/c/${FAKE.placeholder || "local-chatgpt%3A"}${crypto.randomUUID()}` : `/c/${conversationId}`);
  await pause(150);
  if (has("rate-limit")) {
    form.before(el("<div role=\"alert\">You've reached our limit of messages per hour. Please try again later.</div>"));
    return;
  }
  if (has("login-dialog")) {
    document.body.appendChild(el('<div role="dialog"><h2>Log in to continue</h2><button data-testid="login-button">Log in</button></div>'));
    return;
  }
  await stream(user, exchange, false);
}

sendButton.addEventListener("click", (event) => {
  if (SHELL && answering) return;  // it is the stop button now
  onSend(event);
});
form.addEventListener("submit", onSend);

// ---- Start -------------------------------------------------------------------

if (has("second-file-input")) {
  const other = el('<input type="file" accept="image/*" hidden>');
  other.addEventListener("change", () => report("event", { type: "wrong-input" }));
  document.body.prepend(other);
}
if (has("stop-lookalikes")) {
  form.querySelector(".trailing").prepend(button('<button type="button" aria-label="Stop dictation"><svg></svg></button>'));
}
if (has("hidden-conversation")) hiddenConversation();
earlierHistory(FAKE.history || 0);
// A read-aloud player elsewhere on the page, with its own stop button.
if (has("stop-lookalikes")) document.body.prepend(el('<div class="player"><button type="button" aria-label="Stop">Stop</button></div>'));
if (has("draft")) view.dispatch(view.state.tr.insertText("my half-written draft"));
// After a reload the page puts the prompt it sent last back into the
// composer (2026-11-24); the markup is the composer's own.
if (has("restored-draft") && saved.exchanges.length)
  view.dispatch(view.state.tr.replaceSelection(pastedSlice(saved.exchanges[saved.exchanges.length - 1].shown)));
// A second, zero-size placement of the editor beside the one shown
// (2026-11-11, a "LegacyExpandable" twin); no source shows its markup or
// where it stands: first in the composer, in a box of no height, here.
// Nothing typed into it is ever sent.
if (has("twin-composer")) {
  form.querySelector("#editor").before(el('<div class="legacy-expandable" style="height:0;overflow:hidden">' +
    '<div class="ProseMirror" contenteditable="true" data-composer-markdown="true" translate="no"><p><br class="ProseMirror-trailingBreak"></p></div></div>'));
}
showSendOrVoice();

for (const exchange of saved.exchanges) {
  const user = userTurn(exchange.shown, exchange.key, [], exchange.file);
  if (exchange.complete) {
    const answer = script[Math.min(exchange.answer, script.length - 1)];
    const turn = answerTurn(user, exchange.key);
    turn.show(renderMarkdown(markdown(answer), answer.rendering));
    turn.finish(markdown(answer));
  } else {
    stream(user, exchange, true);
  }
}
