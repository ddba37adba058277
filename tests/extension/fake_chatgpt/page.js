// A stand-in for the ChatGPT web application in the three layouts it has
// served (window.FAKE.generation: "2025", "2026-mid", "2026-09"), built from
// public captures of the real page, and in the situations that have broken
// the extension before (window.FAKE.situation). It streams scripted answers
// over a network request, as the real page does, and reports to the test
// server what was sent, what was uploaded and when its answer ended.
import { Fragment, Schema, Slice } from "prosemirror-model";
import { marks, nodes } from "prosemirror-schema-basic";
import { EditorState } from "prosemirror-state";
import { EditorView } from "prosemirror-view";

const FAKE = window.FAKE;
const CURRENT = FAKE.generation === "2026-09";
const has = (name) => (FAKE.situations || []).includes(name);
const schema = new Schema({ nodes, marks });
const conversationId = "0c0ffee0-1234-4abc-8def-0123456789ab";
const WORDS = {
  en: { send: "Send prompt", stop: "Stop streaming", copy: "Copy response", good: "Good response", read: "Read aloud",
    you: "You said:", gpt: "ChatGPT said:", voice: "Start voice mode", dictate: "Dictate button" },
  pt: { send: "Enviar prompt", stop: "Parar transmissão", copy: "Copiar resposta", good: "Resposta boa", read: "Ler em voz alta",
    you: "Você disse:", gpt: "O ChatGPT disse:", voice: "Iniciar modo de voz", dictate: "Botão de ditado" },
}[FAKE.language || "en"];

const report = (what, body) => fetch(`/${what}`, { method: "POST", body: typeof body === "string" ? body : JSON.stringify(body) });
const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
const el = (html) => {
  const template = document.createElement("template");
  template.innerHTML = html.trim();
  return template.content.firstChild;
};
const escapeHtml = (text) => text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
const uuid = (n) => `${String(n).padStart(8, "0")}-1111-4222-8333-444455556666`;

// ---- The scripted answers ----------------------------------------------

const bigContent = Array.from({ length: 22000 }, (_, i) => `row ${i}`).join("\n") + "\n";
const agent = (json) => "```wendlebox\n" + json + "\n```";
const SCRIPTS = {
  // A small file and an image; a 200 KB file in a viewer that shows only a
  // few of its lines (only the copy action gives the whole block), with a
  // 250 KB file read; then done.
  task: [
    { prose: "I will create the file.", rendering: "classic",
      json: JSON.stringify({ status: "continue", message: "Writing hello.txt.", actions: [
        { type: "write_file", path: "hello.txt", content: "Hello from the browser\n" },
        { type: "attach_image", path: "pic.png" }, { type: "read_file", path: "input.txt" }] }) },
    { prose: "Now the big one.", rendering: "viewer",
      json: JSON.stringify({ status: "continue", message: "Writing big.txt.",
        actions: [{ type: "write_file", path: "big.txt", content: bigContent }] }, null, 2) },
    { prose: "All done.", rendering: "classic", json: '{"status":"done","message":"Created hello.txt and big.txt."}' },
  ],
  short: [
    { prose: "Let me look at this first. I will write the file.", rendering: "classic",
      json: JSON.stringify({ status: "continue", message: "Writing hello.txt.",
        actions: [{ type: "write_file", path: "hello.txt", content: "Hello from the browser\n" }] }) },
    { prose: "All done.", rendering: "classic", json: '{"status":"done","message":"Created hello.txt."}' },
  ],
  image: [
    { prose: "Show me.", rendering: "classic",
      json: '{"status":"continue","message":"Looking.","actions":[{"type":"attach_image","path":"pic.png"}]}' },
    { prose: "All done.", rendering: "classic", json: '{"status":"done","message":"Seen."}' },
  ],
};
const script = SCRIPTS[FAKE.script || "task"];
const markdown = (answer) => `${answer.prose}\n\n${agent(answer.json)}`;

// ---- Rendering of answers ------------------------------------------------

function classicBlock(code) {
  const highlighted = escapeHtml(code).replace(/"([^"]*)"/g, '<span class="hljs-string">"$1"</span>');
  return `<pre><div class="rounded-md"><div class="flex items-center px-4 py-2 text-xs">wendlebox` +
    `<button class="copy">Copy code</button></div><div class="overflow-y-auto p-4">` +
    `<code class="language-wendlebox hljs">${highlighted}\n</code></div></div></pre>`;
}

// Like an editor that renders only the lines near the viewport.
function viewerBlock(code) {
  const shown = code.split("\n").slice(0, 6).map((line) => line.slice(0, 200));
  const lines = shown.map((line) => `<div class="cm-line">${escapeHtml(line) || "<br>"}</div>`).join("");
  return `<pre><div class="header"><span>wendlebox</span><button>Copy</button></div><div class="cm-editor">` +
    `<div class="cm-scroller"><div class="cm-content" contenteditable="false">${lines}</div></div></div></pre>`;
}

// The answer's markdown as the page renders it, for any prefix of it.
function renderMarkdown(text, rendering) {
  const fence = text.indexOf("```wendlebox\n");
  const prose = (fence < 0 ? text : text.slice(0, fence)).trim();
  let html = prose ? `<p>${escapeHtml(prose)}</p>` : "";
  if (fence >= 0) {
    const code = text.slice(fence + "```wendlebox\n".length).replace(/\n?`{0,3}$/, "");
    html += rendering === "viewer" ? viewerBlock(code) : classicBlock(code);
  }
  return `<div class="markdown prose">${html}</div>`;
}

// ---- The thread, in each layout --------------------------------------------

const thread = document.getElementById("thread");
let turnNumber = 0;

function userTurn(prompt, key, tiles) {
  turnNumber++;
  if (CURRENT) {
    const exchange = el(`<div data-turn-key="${key}"><section><h4 class="sr-only" data-conversation-role="user">${WORDS.you}</h4>` +
      `<div class="whitespace-pre-wrap"></div></section></div>`);
    exchange.querySelector(".whitespace-pre-wrap").textContent = prompt;
    for (const tile of tiles) exchange.querySelector("section").appendChild(tile);
    thread.appendChild(exchange);
    unmountOld();
    return exchange;
  }
  const article = el(`<article data-testid="conversation-turn-${turnNumber}" data-turn-id="${key}">` +
    `<div data-message-author-role="user" data-message-id="${key}"><div class="whitespace-pre-wrap"></div></div></article>`);
  article.querySelector(".whitespace-pre-wrap").textContent = prompt;
  for (const tile of tiles) article.firstChild.appendChild(tile);
  thread.appendChild(article);
  return article;
}

// Returns the element the answer's markdown goes in, and where its
// controls go once it is complete.
function answerTurn(userElement, key) {
  turnNumber++;
  if (CURRENT) {
    const part = el(`<section><h4 class="sr-only" data-conversation-role="assistant">${WORDS.gpt}</h4>` +
      `<div data-markdown-text-style="assistant-message"></div></section>`);
    userElement.appendChild(part);
    return { body: part.lastChild, controls: part, part };
  }
  const article = el(`<article data-testid="conversation-turn-${turnNumber}" data-turn-id="${key}-a">` +
    `<div data-message-author-role="assistant" data-message-id="${key}-a"></div></article>`);
  thread.appendChild(article);
  return { body: article.firstChild, controls: article, part: article };
}

function addControls(where, answerMarkdown) {
  const bar = CURRENT
    ? el(`<div class="flex"><button aria-label="${WORDS.copy}"><svg></svg></button><button aria-label="${WORDS.good}"><svg></svg></button>` +
      `<button aria-label="${WORDS.read}"><svg></svg></button></div>`)
    : el('<div class="flex"><button data-testid="copy-turn-action-button" aria-label="Copy"><svg></svg></button>' +
      '<button data-testid="good-response-turn-action-button"><svg></svg></button>' +
      '<button data-testid="regenerate-turn-action-button" aria-label="Regenerate"><svg></svg></button></div>');
  // As the real page does: the copy action writes the answer's markdown.
  bar.firstChild.addEventListener("click", () => navigator.clipboard.writeText(answerMarkdown));
  where.appendChild(bar);
}

// The current page keeps only the last few exchanges mounted.
function unmountOld() {
  const mounted = thread.querySelectorAll("[data-turn-key]");
  for (let i = 0; i < mounted.length - 2; i++) mounted[i].remove();
}

function earlierHistory(count) {
  for (let i = 0; i < count; i++) {
    const answer = { prose: `Earlier answer ${i}.`, json: '{"status":"done","message":"earlier"}' };
    const user = userTurn(`earlier prompt ${i}`, uuid(900 + i), []);
    const { body, controls } = answerTurn(user, uuid(900 + i));
    body.innerHTML = renderMarkdown(markdown(answer), "classic");
    addControls(controls, markdown(answer));
  }
}

// An older conversation the page keeps around, hidden.
function hiddenConversation() {
  const old = el('<div hidden><div data-turn-key="99999999-0000-4000-8000-000000000000"><section>' +
    '<h4 class="sr-only" data-conversation-role="assistant">ChatGPT</h4><div data-markdown-text-style="assistant-message"></div></section></div></div>');
  old.querySelector("[data-markdown-text-style]").innerHTML = renderMarkdown(markdown({ prose: "Old.", json: '{"status":"done","message":"WRONG: a hidden chat"}' }), "classic");
  document.body.appendChild(old);
}

// ---- The composer ----------------------------------------------------------

const form = document.getElementById("composer");
const slot = form.querySelector(".slot");
const pastedFiles = [];

function button(html, onClick) {
  const b = el(html);
  if (onClick) b.addEventListener("click", onClick);
  return b;
}

const sendButton = CURRENT
  ? button(`<button type="submit" aria-label="${WORDS.send}"><svg></svg></button>`)
  : button('<button type="button" id="composer-submit-button" data-testid="send-button" aria-label="Send prompt">Send</button>');
const stopButton = CURRENT
  ? button(`<button type="button" aria-label="${WORDS.stop}"><svg></svg></button>`)
  : button('<button type="button" id="composer-submit-button" data-testid="stop-button" aria-label="Stop streaming">Stop</button>');
const voiceButton = button(`<button type="button" data-testid="composer-speech-button" aria-label="${WORDS.voice}"><svg></svg></button>`);
if (FAKE.generation !== "2025") form.dataset.type = "unified-composer";

// The 2025 page pasted plain text the ProseMirror way (blank lines lost);
// later pages keep every line, and the current one turns a long paste
// into an attached text file.
function pastedSlice(text) {
  const paragraphs = text.split("\n").map((line) => schema.node("paragraph", null, line ? [schema.text(line)] : []));
  return new Slice(Fragment.from(paragraphs), 1, 1);
}

const view = new EditorView(document.getElementById("editor"), {
  state: EditorState.create({ schema }),
  editable: () => !has("disabled-composer"),
  attributes: FAKE.generation === "2025" ? { id: "prompt-textarea", class: "ProseMirror" } : { class: "ProseMirror" },
  handlePaste(view, event) {
    if (FAKE.generation === "2025") return false;
    const text = event.clipboardData.getData("text/plain");
    if (CURRENT && text.length > 5000) {
      pastedFiles.push(text);
      addTile(el('<div data-testid="composer-attachment"><span>Pasted text</span></div>'));
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

let answering = false;
function showSendOrVoice() {
  if (answering) return;
  const hasContent = typedText().length > 0 || form.querySelector(".tiles").children.length > 0;
  const wanted = hasContent || !CURRENT ? sendButton : voiceButton;
  if (slot.firstChild !== wanted) slot.replaceChildren(wanted);
  sendButton.disabled = !hasContent || form.querySelector('[role="progressbar"]') !== null;
}

function addTile(tile) {
  form.querySelector(".tiles").appendChild(tile);
  showSendOrVoice();
}

// Images: a preview with a progress bar while "uploading".
const uploads = [];
form.querySelector('input[type="file"]').addEventListener("change", async (event) => {
  for (const file of event.target.files) {
    if (has("image-refused")) {
      document.body.appendChild(el(`<div role="alert">${escapeHtml(file.name)}: this file type is not supported.</div>`));
      continue;
    }
    const bytes = new Uint8Array(await file.arrayBuffer());
    uploads.push({ name: file.name, type: file.type, bytes: Array.from(bytes) });
    const tile = el(`<div class="image-tile"><img src="${URL.createObjectURL(file)}"><div role="progressbar"></div></div>`);
    addTile(tile);
    setTimeout(() => {
      tile.querySelector('[role="progressbar"]').remove();
      showSendOrVoice();
    }, 300);
  }
});

// ---- Sending and answering -------------------------------------------------

// The conversation survives a reload the way the real page's does: the
// page asks its server again and resumes an unfinished answer.
const saved = JSON.parse(sessionStorage.getItem("fake-chat") || "null") || { answered: 0, exchanges: [], reloaded: false };
const save = () => sessionStorage.setItem("fake-chat", JSON.stringify(saved));

async function stream(userElement, exchange, resume) {
  answering = true;
  slot.replaceChildren(stopButton);
  const answer = script[Math.min(exchange.answer, script.length - 1)];
  const text = markdown(answer);
  const { body, controls, part } = answerTurn(userElement, exchange.key);
  if (has("thinking")) part.insertBefore(el('<div class="thinking">Thinking</div>'), body);
  const url = resume ? `/backend-api/conversation/${conversationId}/stream` : "/backend-api/f/conversation";
  // The stop button ends the answer where it is, as on the real page.
  const stopping = new AbortController();
  stopButton.onclick = () => {
    stopping.abort();
    report("event", { type: "stopped" });
  };
  const pauseAt = has("thinking") ? answer.prose.length : has("slow-answer") ? 20 : -1;
  const response = await fetch(url, { method: "POST", body: JSON.stringify({ text, pauseAt, pauseMs: has("slow-answer") ? 60_000 : 1500 }),
    signal: stopping.signal });
  report("event", { type: "answer-started" });
  const reader = response.body.getReader();
  const decoder = new TextDecoder();
  let received = "";
  let chunks = 0;
  for (;;) {
    let chunk;
    try {
      chunk = await reader.read();
    } catch {
      break;  // stopped
    }
    const { done, value } = chunk;
    if (done) break;
    received += decoder.decode(value, { stream: true });
    body.innerHTML = renderMarkdown(received, answer.rendering);
    chunks++;
    if (has("thinking")) slot.replaceChildren(received.length === answer.prose.length ? "" : stopButton);
    if (chunks === 2 && has("reload") && !saved.reloaded) {
      saved.reloaded = true;
      save();
      location.reload();
      return;
    }
    if (chunks === 2 && has("other-chat")) return openOtherChat();
    if (chunks === 2 && has("error-answer")) {
      part.appendChild(el('<div class="flex"><div>Something went wrong while generating the response.</div><button>Retry</button></div>'));
      answering = false;
      slot.replaceChildren(sendButton);
      return;
    }
  }
  // The page's own end of the answer: the stream is over, the stop control
  // goes, the answer's controls appear.
  slot.replaceChildren();
  answering = false;
  showSendOrVoice();
  addControls(controls, text);
  exchange.complete = true;
  saved.answered = Math.max(saved.answered, exchange.answer + 1);
  save();
  report("event", { type: "answer-ended", at: Date.now() });
}

function openOtherChat() {
  history.pushState({}, "", "/c/11111111-2222-4333-8444-555555555555");
  thread.replaceChildren();
  const user = userTurn("another chat", uuid(777), []);
  const other = { prose: "Other.", json: '{"status":"done","message":"WRONG: another chat"}' };
  const { body, controls } = answerTurn(user, uuid(777));
  body.innerHTML = renderMarkdown(markdown(other), "classic");
  addControls(controls, markdown(other));
  slot.replaceChildren(sendButton);
  answering = false;
}

async function onSend(event) {
  if (event) event.preventDefault();
  if (sendButton.disabled || answering) return;
  const prompt = typedText() + pastedFiles.join("");
  const tiles = Array.from(form.querySelector(".tiles").children).map((tile) => {
    tile.querySelector('[role="progressbar"]')?.remove();
    return tile;
  });
  form.querySelector(".tiles").replaceChildren();
  pastedFiles.length = 0;
  view.dispatch(view.state.tr.delete(0, view.state.doc.content.size));
  await report("typed", prompt);
  if (uploads.length) await report("uploaded", uploads.splice(0));
  if (has("never-shown")) return;
  const exchange = { key: uuid(saved.exchanges.length + 1), prompt, answer: saved.answered, complete: false };
  saved.exchanges.push(exchange);
  save();
  const user = userTurn(prompt, exchange.key, tiles);
  if (!location.pathname.startsWith("/c/")) history.pushState({}, "", `/c/${conversationId}`);
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

sendButton.addEventListener("click", onSend);
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
showSendOrVoice();

for (const exchange of saved.exchanges) {
  const user = userTurn(exchange.prompt, exchange.key, []);
  if (exchange.complete) {
    const answer = script[Math.min(exchange.answer, script.length - 1)];
    const { body, controls } = answerTurn(user, exchange.key);
    body.innerHTML = renderMarkdown(markdown(answer), answer.rendering);
    addControls(controls, markdown(answer));
  } else {
    stream(user, exchange, true);
  }
}
