// The fake application's thread: its layouts, labels and the rendering of
// answers, in each generation the page has served (window.FAKE). What no
// capture shows is marked as such.
import { el, escapeHtml, markdown, splitAtFence } from "./common.js";

export const FAKE = window.FAKE;
// Exchanges in [data-turn-key] blocks (2026-09 on); the app shell (2026-10).
export const CURRENT = FAKE.generation === "2026-09" || FAKE.generation === "2026-10";
export const SHELL = FAKE.generation === "2026-10";
export const has = (name) => (FAKE.situations || []).includes(name);
// The answer unit's second name, with its message ids and its body's text
// style (a completion-chime extension's fixtures, indexed with October 2026
// material): keys "fallback-turn-<n>:<m>:assistant" and ":user", the user's
// bubble inside the user unit. Whether these units stand in
// [data-turn-key] exchanges is not shown: in a plain box per exchange here,
// so that the units alone say who wrote what; what the message ids hold is
// not shown either (the exchange's id here).
const SEARCH_UNITS = SHELL && has("search-units");
// The page's labels. The Korean and Japanese stop labels and the Turkish
// "Yanıtı durdur" are the captured ones; no capture gives the others, which
// are the page's usual wording in each language.
export const WORDS = {
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

export const uuid = (n) => `${String(n).padStart(8, "0")}-1111-4222-8333-444455556666`;

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
export function renderMarkdown(text, rendering) {
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
export function canvasCard() {
  return el('<div id="textdoc-message-6f1e"><div class="header"><span class="min-w-0 truncate">Hello file</span>' +
    '<button aria-label="Copy"><svg></svg></button></div><div class="cm-editor"><div class="cm-content"></div></div></div>');
}

export function showInCanvas(card, text) {
  card.querySelector(".cm-content").innerHTML = text.split("\n").map((line) => `<div class="cm-line">${escapeHtml(line) || "<br>"}</div>`).join("");
}

// ---- The thread, in each layout --------------------------------------------

export const thread = document.getElementById("thread");
let turnNumber = 0;

// A sent message: its text, and the card of a long paste the page made a
// file (2026-08-04). No capture shows that card's markup in the thread; it
// is a plain element with the file's name here. That a message that is
// only that file has no text bubble is not in a dated capture: issue 40
// reports it ("the message sent shows only the file's card, with no text
// bubble"). Its bar is the user half's usual one (Copy, Share).
export function userTurn(prompt, key, tiles, file) {
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
    const bubbleHtml = '<div data-user-message-bubble><div class="whitespace-pre-wrap"></div></div>';
    const exchange = SEARCH_UNITS
      ? el(`<div class="exchange"><div class="user-half"><div data-chatgpt-search-unit-key="fallback-turn-${turnNumber}:1:user" ` +
        `data-chatgpt-search-message-ids="${key}-u">${bubbleHtml}</div>${userBar}</div></div>`)
      : el(`<div data-turn-key="${key}"><div class="user-half">${bubbleHtml}${userBar}</div></div>`);
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
export function answerTurn(userElement, key) {
  turnNumber++;
  if (SHELL) {
    // The answer unit exists only once the answer has text; the action bar
    // is its sibling, added when the answer is complete.
    const part = SEARCH_UNITS ? userElement.appendChild(el('<div class="answer-half"></div>')) : userElement;
    part.appendChild(el('<span data-chatgpt-agent-turn-start hidden></span>'));
    const heading = `<h4 class="sr-only" data-conversation-role="assistant">${WORDS.gpt}</h4>`;
    if (!SEARCH_UNITS) part.appendChild(el(heading));
    let unit = null;
    const newUnit = () => (SEARCH_UNITS
      ? el(`<div data-chatgpt-search-unit-key="fallback-turn-${turnNumber}:2:assistant" data-chatgpt-search-message-ids="${key}-a">` +
        `${heading}<div data-markdown-text-style="assistant-message"></div></div>`)
      : el(`<div data-content-search-unit-key="${key}:assistant"><div></div></div>`));
    return {
      part,
      before: (element) => part.appendChild(element),
      show(html) {
        if (!unit) unit = part.appendChild(newUnit());
        unit.lastChild.innerHTML = html;
      },
      finish(answerMarkdown) {
        // "answer-new-id": the finished answer's unit is drawn anew under
        // another id: with its selection id, which may come only as the
        // stream ends (late September material), or a new key. Not
        // captured as a redraw.
        if (unit && has("answer-new-id")) {
          const redrawn = unit.cloneNode(true);
          if (SEARCH_UNITS) redrawn.setAttribute("data-chatgpt-selection-message-id", `${key}-final`);
          else redrawn.setAttribute("data-content-search-unit-key", `${key}-final:assistant`);
          unit.replaceWith(redrawn);
          unit = redrawn;
        }
        addControls(part, answerMarkdown, '<div class="turn-action-controls"></div>');
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
  const mounted = thread.querySelectorAll("[data-turn-key], .exchange");
  for (let i = 0; i < mounted.length - 2; i++) mounted[i].remove();
}

export function earlierHistory(count) {
  for (let i = 0; i < count; i++) {
    const answer = { prose: `Earlier answer ${i}.`, json: '{"status":"done","message":"earlier"}' };
    const turn = answerTurn(userTurn(`earlier prompt ${i}`, uuid(900 + i), []), uuid(900 + i));
    turn.show(renderMarkdown(markdown(answer), "classic"));
    turn.finish(markdown(answer));
  }
}

// An older conversation the page keeps around, hidden.
export function hiddenConversation() {
  const old = el('<div hidden><div data-turn-key="99999999-0000-4000-8000-000000000000"><section>' +
    '<h4 class="sr-only" data-conversation-role="assistant">ChatGPT</h4><div data-markdown-text-style="assistant-message"></div></section></div></div>');
  old.querySelector("[data-markdown-text-style]").innerHTML = renderMarkdown(markdown({ prose: "Old.", json: '{"status":"done","message":"WRONG: a hidden chat"}' }), "classic");
  document.body.appendChild(old);
}
