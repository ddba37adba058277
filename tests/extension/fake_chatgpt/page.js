// A stand-in for the ChatGPT web application in the four layouts it has
// served (window.FAKE.generation: "2025", "2026-mid", "2026-09", "2026-10"),
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
import { SCRIPTS, el, escapeHtml, markdown, pause, report, splitAtFence } from "./common.js";

const FAKE = window.FAKE;
// Exchanges in [data-turn-key] blocks (2026-09 on); the app shell (2026-10).
const CURRENT = FAKE.generation === "2026-09" || FAKE.generation === "2026-10";
const SHELL = FAKE.generation === "2026-10";
const has = (name) => (FAKE.situations || []).includes(name);
const schema = new Schema({ nodes, marks });
const conversationId = "0c0ffee0-1234-4abc-8def-0123456789ab";
// The page's labels. The Korean and Japanese stop labels and the Turkish
// "Yanıtı durdur" are the captured ones; no capture gives the others, which
// are the page's usual wording in each language.
const WORDS = {
  en: { send: "Send prompt", stop: "Stop streaming", copy: "Copy response", good: "Good response", read: "Read aloud",
    you: "You said:", gpt: "ChatGPT said:", voice: "Start voice mode", dictate: "Dictate button", share: "Share",
    copyMessage: "Copy message", copyCode: "Copy code", remove: "Remove", thinking: "Thinking", continue: "Continue generating" },
  pt: { send: "Enviar prompt", stop: "Parar transmissão", copy: "Copiar resposta", good: "Resposta boa", read: "Ler em voz alta",
    you: "Você disse:", gpt: "O ChatGPT disse:", voice: "Iniciar modo de voz", dictate: "Botão de ditado", share: "Compartilhar",
    copyMessage: "Copiar mensagem", copyCode: "Copiar código", remove: "Remover", thinking: "Pensando", continue: "Continuar gerando" },
  ko: { send: "프롬프트 보내기", stop: "스트리밍 중지", copy: "응답 복사", good: "좋은 응답", read: "소리 내어 읽기",
    you: "나의 말:", gpt: "ChatGPT의 말:", voice: "음성 모드 시작", dictate: "받아쓰기 버튼", share: "공유하기",
    copyMessage: "메시지 복사", copyCode: "코드 복사", remove: "삭제", thinking: "생각 중", continue: "계속 생성" },
  ja: { send: "プロンプトを送信する", stop: "ストリーミングを停止", copy: "回答をコピーする", good: "良い回答", read: "読み上げる",
    you: "あなた:", gpt: "ChatGPT:", voice: "音声モードを開始する", dictate: "ディクテーション ボタン", share: "共有する",
    copyMessage: "メッセージをコピーする", copyCode: "コードをコピーする", remove: "削除", thinking: "思考中", continue: "生成を続ける" },
  tr: { send: "İstemi gönder", stop: "Yanıtı durdur", copy: "Yanıtı kopyala", good: "İyi yanıt", read: "Sesli oku",
    you: "Şunu dedin:", gpt: "ChatGPT şunu dedi:", voice: "Ses modunu başlat", dictate: "Dikte düğmesi", share: "Paylaş",
    copyMessage: "Mesajı kopyala", copyCode: "Kodu kopyala", remove: "Kaldır", thinking: "Düşünüyor", continue: "Oluşturmaya devam et" },
}[FAKE.language || "en"];

const uuid = (n) => `${String(n).padStart(8, "0")}-1111-4222-8333-444455556666`;

const script = SCRIPTS[FAKE.script || "task"];

// ---- Rendering of answers ------------------------------------------------

// The app shell's code block: no <pre>, a toolbar with the language and a
// localized copy button inside the block, the code in a <code> (classic)
// or in an editor that names its language, one div per line, showing only
// the lines near the viewport (viewer).
function markdownCopyBlock(code, rendering) {
  const toolbar = `<div class="toolbar"><span>wendlebox</span><button aria-label="${WORDS.copyCode}"><svg></svg>${WORDS.copyCode}</button></div>`;
  if (rendering === "viewer") {
    const lines = code.split("\n").slice(0, 6).map((line) => `<div>${escapeHtml(line.slice(0, 200)) || "<br>"}</div>`).join("");
    return `<div data-markdown-copy="code-block">${toolbar}<div data-language="wendlebox" class="cm-editor">${lines}</div></div>`;
  }
  return `<div data-markdown-copy="code-block">${toolbar}<div class="overflow-y-auto"><code class="whitespace-pre">` +
    `${escapeHtml(code)}</code></div></div>`;
}

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
  const { prose, code } = splitAtFence(text);
  const inline = SHELL ? '<span data-markdown-copy="inline-code">$1</span>' : "<code>$1</code>";
  let html = prose ? `<p>${escapeHtml(prose).replace(/`([^`]+)`/g, inline)}</p>` : "";
  if (code !== null) {
    if (SHELL) html += markdownCopyBlock(code, rendering);
    else html += rendering === "viewer" ? viewerBlock(code) : classicBlock(code);
  }
  return `<div class="markdown prose">${html}</div>`;
}

// A canvas answer: the message holds only a card, whose viewer shows the
// canvas's text line by line (the card's markup as public exporters read it).
function canvasCard() {
  return el('<div id="textdoc-message-6f1e"><div class="header"><span class="min-w-0 truncate">Hello file</span>' +
    '<button aria-label="Copy"><svg></svg></button></div><div class="cm-editor"><div class="cm-content"></div></div></div>');
}

function showInCanvas(card, text) {
  card.querySelector(".cm-content").innerHTML = text.split("\n").map((line) => `<div class="cm-line">${escapeHtml(line) || "<br>"}</div>`).join("");
}

// ---- The thread, in each layout --------------------------------------------

const thread = document.getElementById("thread");
let turnNumber = 0;

// A sent message: its text, and the card of a long paste the page made a
// file (2026-08-04). No capture shows that card's markup in the thread; it
// is a plain element with the file's name here. That a message that is
// only that file has no text bubble is not in a dated capture: issue 40
// reports it ("the message sent shows only the file's card, with no text
// bubble"). Its bar is the user half's usual one (Copy, Share).
function userTurn(prompt, key, tiles, file) {
  turnNumber++;
  const userBar = `<div class="turn-action-controls"><button aria-label="${WORDS.copyMessage}"><svg></svg></button>` +
    `<button aria-label="${WORDS.share}"><svg></svg></button></div>`;
  if (SHELL && file && !prompt) {
    const exchange = el(`<div data-turn-key="${key}"><div class="user-half"><div class="file-card">${escapeHtml(file)}</div>` +
      `${userBar}</div></div>`);
    thread.appendChild(exchange);
    unmountOld();
    return exchange;
  }
  if (SHELL) {
    // The user half is marked by its bubble only; its own action bar is
    // there from the start, before the answer's.
    const exchange = el(`<div data-turn-key="${key}"><div class="user-half"><div data-user-message-bubble>` +
      `<div class="whitespace-pre-wrap"></div></div>${userBar}</div></div>`);
    const bubble = exchange.querySelector("[data-user-message-bubble]");
    if (file) bubble.prepend(el(`<div class="file-card">${escapeHtml(file)}</div>`));
    exchange.querySelector(".whitespace-pre-wrap").textContent = prompt;
    for (const tile of tiles) bubble.appendChild(tile);
    thread.appendChild(exchange);
    unmountOld();
    return exchange;
  }
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

// The answer's place in the thread: `show(html)` renders its markdown so
// far, `finish(markdown)` adds the controls of a complete answer, and
// `before(element)` puts what the page shows before the answer (thinking).
function answerTurn(userElement, key) {
  turnNumber++;
  if (SHELL) {
    // The answer unit exists only once the answer has text; the action bar
    // is its sibling, added when the answer is complete.
    userElement.appendChild(el('<span data-chatgpt-agent-turn-start hidden></span>'));
    userElement.appendChild(el(`<h4 class="sr-only" data-conversation-role="assistant">${WORDS.gpt}</h4>`));
    let unit = null;
    return {
      part: userElement,
      before: (element) => userElement.appendChild(element),
      show(html) {
        if (!unit) unit = userElement.appendChild(el(`<div data-content-search-unit-key="${key}:assistant"><div></div></div>`));
        unit.firstChild.innerHTML = html;
      },
      finish(answerMarkdown) {
        addControls(userElement, answerMarkdown, '<div class="turn-action-controls"></div>');
      },
    };
  }
  if (CURRENT) {
    const part = el(`<section><h4 class="sr-only" data-conversation-role="assistant">${WORDS.gpt}</h4>` +
      `<div data-markdown-text-style="assistant-message"></div></section>`);
    userElement.appendChild(part);
    const body = part.lastChild;
    return { part, show: (html) => (body.innerHTML = html), before: (element) => part.insertBefore(element, body),
      finish: (text) => addControls(part, text, '<div class="flex"></div>') };
  }
  const article = el(`<article data-testid="conversation-turn-${turnNumber}" data-turn-id="${key}-a">` +
    `<div data-message-author-role="assistant" data-message-id="${key}-a"></div></article>`);
  thread.appendChild(article);
  const body = article.firstChild;
  return { part: article, show: (html) => (body.innerHTML = html), before: (element) => article.insertBefore(element, body),
    finish: (text) => addControls(article, text, '<div class="flex"></div>') };
}

function addControls(where, answerMarkdown, barHtml) {
  const bar = el(barHtml);
  bar.innerHTML = CURRENT
    ? `<button aria-label="${WORDS.copy}"><svg></svg></button><button aria-label="${WORDS.good}"><svg></svg></button>` +
      `<button aria-label="${WORDS.read}"><svg></svg></button>`
    : '<button data-testid="copy-turn-action-button" aria-label="Copy"><svg></svg></button>' +
      '<button data-testid="good-response-turn-action-button"><svg></svg></button>' +
      '<button data-testid="regenerate-turn-action-button" aria-label="Regenerate"><svg></svg></button>';
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
    const turn = answerTurn(userTurn(`earlier prompt ${i}`, uuid(900 + i), []), uuid(900 + i));
    turn.show(renderMarkdown(markdown(answer), "classic"));
    turn.finish(markdown(answer));
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

let answering = false;
function showSendOrVoice() {
  if (answering) return;
  const hasContent = typedText().length > 0 || form.querySelector(".tiles").children.length > 0;
  fillSlot(hasContent || !CURRENT ? sendButton : voiceButton);
  sendButton.disabled = !hasContent || form.querySelector('[role="progressbar"]') !== null;
}

function addTile(tile) {
  form.querySelector(".tiles").appendChild(tile);
  showSendOrVoice();
}

// Images: a preview with a progress bar while "uploading". The app shell
// has two file inputs, one for images and one taking any file.
if (SHELL) form.querySelector('input[type="file"]').before(el('<input type="file" accept="image/*" multiple hidden>'));
const uploads = [];
for (const input of form.querySelectorAll('input[type="file"]')) input.addEventListener("change", async (event) => {
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
  if (has("empty-answer") || has("image-answer")) {
    const turn = answerTurn(userElement, exchange.key);
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
