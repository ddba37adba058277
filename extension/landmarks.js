// Where things are on ChatGPT's page. The page has changed its markup
// several times, and accounts are served different builds at the same
// moment; this table covers the four layouts seen so far:
//   2025       test ids on every control, one <article> per message;
//   mid-2026   the composer in its own <form>, message ids on messages;
//   2026-09    one [data-turn-key] block per exchange, conversation-role
//              markers, no test ids on the send and copy buttons;
//   2026-10    the app shell: the user half marked only by its bubble, the
//              answer a unit keyed "…:assistant" with its action bar beside
//              it, code blocks without <pre>;
//   signed out the page for visitors without an account: an ordered
//              transcript of items with a role, a plain textarea, one button
//              that is send and stop in turn;
//   2026-10/11 units under a second name (data-chatgpt-search-unit-key),
//              found by their keys alone where no exchange holds them.
// The composer's landmarks are in composer_landmarks.js, what stops a job
// in blockers.js, which chat an address shows in chat_addresses.js.
// Every list is in order of trust: structure first, test ids next, words
// last, and words in many languages, matched anywhere in a label. Each rule
// has a kind, so a failure (and the probe) says which landmark was missing
// and how the others were found.

import { visibleText, codeText, plainText } from "./text.js";
const structure = (selector) => ({ kind: "structure", selector });
const testId = (selector) => ({ kind: "test id", selector });

// Messages. An exchange holds both halves on the pages since 2026-09;
// each half is found by whatever the page offers, most specific first.
const EXCHANGE = "[data-turn-key]";
const USER_HALF = [structure("[data-user-message-bubble]"), structure('[data-content-search-unit-key$=":user"]'),
  structure('[data-chatgpt-search-unit-key$=":user"]'), structure('[data-message-author-role="user"]')];
const ANSWER_UNIT = [structure('[data-content-search-unit-key$=":assistant"]'),
  structure('[data-chatgpt-search-unit-key$=":assistant"]'), structure('[data-message-author-role="assistant"]')];
// A unit by either name, and what names the message it holds, most
// lasting first (the selection id may come only as the answer ends).
const UNIT = "[data-content-search-unit-key], [data-chatgpt-search-unit-key]";
const UNIT_KEYS = ["data-content-search-unit-key", "data-chatgpt-search-unit-key"];
const MESSAGE_IDS = ["data-chatgpt-selection-message-id", "data-chatgpt-search-message-ids", "data-message-id"];
const BUBBLE = "[data-user-message-bubble]";
const ROLE_MARKER = "[data-conversation-role]";
const ANSWER_BODY = '[data-markdown-text-style="assistant-message"]';
// An answer that has begun but shows nothing yet (the page thinks first).
const ANSWER_START = "[data-chatgpt-agent-turn-start]";
const AUTHOR = "[data-message-author-role]";
// The signed-out page's transcript: one item per message, with its role
// and an id; the answer being written is marked streaming, and complete
// once done; its text is in its markdown body.
const TRANSCRIPT_ITEM = "ol[data-conversation-transcript] > li[data-message-role]";
const TRANSCRIPT_BODY = "[data-assistant-markdown]";
const MARKED_COMPLETE = "[data-message-complete]";
const MARKED_STREAMING = "[data-message-streaming]";
const MESSAGE_TURN = 'article, [data-testid^="conversation-turn"], [data-turn-id]';
const COPY = ['[data-testid="copy-turn-action-button"]'];
// A canvas answer's card in the message: a title, and the canvas's text
// in a code viewer or a document editor.
const CANVAS_CARD = '[id^="textdoc-message-"]';
const CANVAS_TITLE = "span.truncate";
// Sponsored content beside an answer: an <aside> (labelled " Sponsored "
// in English) whose buttons are the ad's, never the answer's.
const SPONSORED = "aside";
// Code in an answer: blocks are <pre> on older pages and
// [data-markdown-copy="code-block"] (no <pre>, a toolbar inside) on the
// current one; the code itself is a <code>, a CodeMirror-style viewer's
// content, or an editor that names its language, tried in that order.
const CODE_BLOCK = 'pre, [data-markdown-copy="code-block"]';
const INLINE_CODE = 'code, [data-markdown-copy="inline-code"]';
const CODE_CONTENT = ["code", ".cm-content, [data-code-content]", "[data-language]"];
// An upload still running, and the notices by which ChatGPT refuses one.
// The placeholder <br> that keeps an empty last line open in the editor.
const TRAILING_BREAK = "br.ProseMirror-trailingBreak";
const UPLOAD_PROGRESS = '[role="progressbar"]';
const UPLOAD_NOTICE = '[role="alert"], [data-testid*="toast"]';
// Where the user's words are: messages, and the list of chats.
const CONVERSATION_CONTENT = '[data-user-message-bubble], [data-content-search-unit-key], [data-chatgpt-search-unit-key], ' +
  '[data-message-author-role], [data-message-role], ' +
  '[data-markdown-text-style], .whitespace-pre-wrap, nav a, nav li, [data-testid^="history-item"]';
const ATTACHMENT = '[data-testid*="attachment"], [data-testid*="file-tile"], [data-attachment], img[src^="blob:"]';

// Words, matched anywhere in labels (aria-label, title, text).
const WORDS = {
  send: /(send|enviar|envoyer|senden|invia|verzenden|wyślij|отправ|gönder|送信|发送|傳送|보내기)/i,
  stop: /(stop|parar|detener|interromper|arrêter|stopp|anhalten|interrompi|durdur|停止|중지|остановить)/i,
  // Dictation, voice and reading aloud have stop buttons of their own.
  notAnswer: /(dictat|voice|voz|voix|stimme|ditado|dictado|dettatura|aloud|vorlesen|dikte|sesli|ses modu|音声|ディクテーション|読み上げ|音読|语音|語音|听写|聽寫|朗读|朗讀|음성|받아쓰기|소리 내어)/i,
  copy: /(copy|copiar|copier|kopieren|copia|kopiëren|kopiuj|копировать|kopyala|コピー|复制|複製|복사)/i,
  retry: /^(retry|regenerate|try again|tentar novamente|reintentar|volver a intentar|réessayer|erneut|riprova|再試行|重试|다시)/i,
  login: /^(log ?in|sign ?in|sign ?up|entrar|fazer login|iniciar sesión|acceder|se connecter|anmelden|accedi|ログイン|登录|로그인)/i,
  limit: /(limit|límite|limite|リミット|上限|限制|한도)/i,
  continueAnswer: /(continue generating|continuar gerando|continuar generando|continuer à générer|weiter generieren|continua a generare|生成を続ける|继续生成|繼續生成|계속 생성|oluşturmaya devam)/i,
  remove: /(remove|remover|quitar|eliminar|supprimer|entfernen|rimuovi|kaldır|削除|삭제|移除|删除)/i,
  challengeTitle: /^(just a moment|um momento|un momento|un instant|einen moment|un attimo|chwileczkę|bir dakika|しばらくお待ちください|请稍候|請稍候|잠시만)/i,
};

function shown(element) {
  if (!element || !element.isConnected) return false;
  return typeof element.checkVisibility === "function" ? element.checkVisibility() : true;
}

// The first element of the first rule that finds one that passes `test`
// (shown, unless told), with that rule.
function locate(rules, scope = document, test = shown) {
  for (const rule of rules) {
    for (const element of scope.querySelectorAll(rule.selector)) if (test(element)) return { element, rule };
  }
  return null;
}

function firstShown(selectors, scope = document) {
  const found = locate(selectors.map(structure), scope);
  return found && found.element;
}

function label(element) {
  return (element.getAttribute("aria-label") || element.getAttribute("title") || element.textContent || "").trim();
}

function byWords(scope, selector, words) {
  for (const element of scope.querySelectorAll(selector)) if (shown(element) && words.test(label(element))) return element;
  return null;
}

function usable(button) {
  return button && !button.disabled && button.getAttribute("aria-disabled") !== "true";
}

function last(list) {
  return list.length ? list[list.length - 1] : null;
}

function lastShown(rules, scope) {
  for (const rule of rules) {
    const found = last(Array.from(scope.querySelectorAll(rule.selector)).filter(shown));
    if (found) return found;
  }
  return null;
}

// The halves of one exchange. The role marker is the screen reader's
// heading ("You said:"), kept so that it is never read as the prompt.
function exchangeHalves(exchange) {
  const key = exchange.getAttribute("data-turn-key");
  const markers = Array.from(exchange.querySelectorAll(ROLE_MARKER));
  const marker = (role) => markers.find((m) => m.getAttribute("data-conversation-role") === role) || null;
  const halves = [];
  const userMarker = marker("user");
  const userBody = locate(USER_HALF, exchange);
  if (userBody || userMarker) {
    halves.push({ role: "user", key: `${key}:user`, body: userBody ? userBody.element : userMarker.parentElement,
      part: exchange, marker: userMarker, rule: userBody ? userBody.rule : structure(`${EXCHANGE} ${ROLE_MARKER}`) });
  }
  const answerMarker = marker("assistant");
  let answerBody = lastShown(ANSWER_UNIT, exchange);
  let rule = answerBody && ANSWER_UNIT.find((r) => answerBody.matches(r.selector));
  if (answerBody) answerBody = answerBody.querySelector(ANSWER_BODY) || answerBody;
  if (!answerBody && answerMarker) {
    answerBody = last(answerMarker.parentElement.querySelectorAll(ANSWER_BODY));
    rule = structure(`${ROLE_MARKER} ${ANSWER_BODY}`);
  }
  if (answerBody || answerMarker || exchange.querySelector(ANSWER_START)) {
    // A prompt the page made a file shows only the file's card, with no
    // bubble: the exchange's user half is there, with no text.
    if (!halves.length) halves.push({ role: "user", key: `${key}:user`, body: null, part: exchange, marker: null, rule: structure(EXCHANGE) });
    halves.push({ role: "assistant", key: `${key}:assistant`, body: answerBody, part: exchange, marker: answerMarker, rule });
  }
  return halves;
}

// The messages of the conversation shown, in page order, each with its
// role, a key that survives re-rendering when the page gives one, the
// element to read (null for an answer not begun) and the element that
// holds its controls.
function messages() {
  const found = [];
  for (const exchange of document.querySelectorAll(EXCHANGE)) if (shown(exchange)) found.push(...exchangeHalves(exchange));
  if (found.length) return found;
  for (const item of document.querySelectorAll(TRANSCRIPT_ITEM)) {
    if (!shown(item)) continue;
    const role = item.getAttribute("data-message-role");
    const body = role === "user" ? item.querySelector(BUBBLE) || item : item.querySelector(TRANSCRIPT_BODY);
    found.push({ role, key: item.id ? `${item.id}:${role}` : null, body, part: item, marker: null, rule: structure(TRANSCRIPT_ITEM) });
  }
  if (found.length) return found;
  found.push(...unitMessages());
  if (found.length) return found;
  for (const element of document.querySelectorAll(AUTHOR)) {
    const part = element.closest(MESSAGE_TURN) || element.parentElement;
    if (!shown(part)) continue;
    const role = element.getAttribute("data-message-author-role");
    const id = element.getAttribute("data-message-id");
    found.push({ role, key: id ? `${id}:${role}` : null, body: element, part, marker: null, rule: structure(AUTHOR) });
  }
  return found;
}

// The messages of a page whose units stand in no exchange: each unit by
// its key's role, named by its message id (or its key), its turn the
// largest box around it that holds no other unit (where its controls are).
function unitMessages() {
  const found = [];
  for (const unit of document.querySelectorAll(UNIT)) {
    const unitKey = UNIT_KEYS.map((name) => unit.getAttribute(name)).find(Boolean) || "";
    const role = /:assistant$/.test(unitKey) ? "assistant" : /:user$/.test(unitKey) ? "user" : null;
    if (!role || !shown(unit) || unit.parentElement.closest(UNIT)) continue;
    const id = MESSAGE_IDS.map((name) => unit.getAttribute(name)).find(Boolean);
    let part = unit;
    while (part.parentElement && part.parentElement !== document.body && part.parentElement.querySelectorAll(UNIT).length === 1) part = part.parentElement;
    const body = role === "user" ? unit.querySelector(BUBBLE) || unit : unit.querySelector(ANSWER_BODY) || unit;
    const rule = ANSWER_UNIT.concat(USER_HALF).find((r) => unit.matches(r.selector)) || structure(UNIT);
    found.push({ role, key: `${id || unitKey.replace(/:(user|assistant)$/, "")}:${role}`, body, part, marker: null, rule });
  }
  return found;
}

// What a user message shows of its prompt (controls and the screen
// reader's role marker left out).
function userText(message) {
  return message.body ? visibleText(message.body, (node) => node === message.marker) : "";
}

// Attached files shown in the composer or with a sent message: tiles with
// a picture or a file name, and chips that offer to remove a file.
function attachmentTiles(scope) {
  const tiles = new Set(scope.querySelectorAll(ATTACHMENT));
  for (const button of scope.querySelectorAll("button")) {
    if (WORDS.remove.test(button.getAttribute("aria-label") || "") && button.parentElement) tiles.add(button.parentElement);
  }
  const all = Array.from(tiles);
  return all.filter((tile) => !all.some((other) => other !== tile && other.contains(tile)));
}

// The answer's controls (copy, feedback, read aloud) come after its body
// in the same turn, beside it or below it; buttons inside the body belong
// to code blocks, those of a canvas card to the canvas, those of an ad to
// the ad, and the user half's bar comes before the answer.
function answerControls(message) {
  if (!message.body) return [];
  return Array.from(message.part.querySelectorAll("button")).filter((button) =>
    shown(button) && !message.body.contains(button) && !button.closest(CANVAS_CARD) && !button.closest(SPONSORED) &&
    (message.body.compareDocumentPosition(button) & Node.DOCUMENT_POSITION_FOLLOWING));
}

// The page's own word that an answer is complete (the signed-out page
// marks the answer's item so).
function markedComplete(message) {
  return message.part.matches(MARKED_COMPLETE);
}

function markedStreaming(message) {
  return message.part.matches(MARKED_STREAMING);
}

// A picture the page shows as the answer (a generated image has no
// answer unit): one after the answer's start, not in the user's message.
function answerImage(message) {
  const start = message.marker || message.part.querySelector(ANSWER_START);
  const userHalf = USER_HALF.map((rule) => rule.selector).join(", ");
  return Array.from(message.part.querySelectorAll("img")).find((image) => shown(image) && !image.closest(userHalf) &&
    (!start || start.compareDocumentPosition(image) & Node.DOCUMENT_POSITION_FOLLOWING)) || null;
}

function canvasCard(message) {
  if (!message.body) return null;
  return message.body.querySelector(CANVAS_CARD) || Array.from(message.part.querySelectorAll(CANVAS_CARD)).find((card) =>
    message.body.compareDocumentPosition(card) & Node.DOCUMENT_POSITION_FOLLOWING) || null;
}

function canvasTitle(card) {
  const title = card.querySelector(CANVAS_TITLE);
  return (title ? title.textContent : "").trim();
}

// The canvas's text as its card shows it: code line by line, or a document.
function canvasContent(card) {
  const code = card.querySelector(".cm-content");
  if (code) return codeText(code);
  const document = card.querySelector(".ProseMirror");
  return document ? visibleText(document) : "";
}

// What the answer shows so far: its text (headings left out), and a
// canvas card's.
function answerText(message) {
  const card = canvasCard(message);
  return plainText(message.body) + (card && !message.body.contains(card) ? card.textContent : "");
}

function copyButton(controls) {
  return controls.find((button) => button.matches(COPY.join(","))) || controls[0] || null;
}

// The copy button the job would try first, with how it was found.
function locateCopy(controls) {
  const marked = controls.find((button) => button.matches(COPY.join(",")));
  if (marked) return { element: marked, rule: testId(COPY.join(", ")) };
  const worded = copyButtonByWords(controls);
  if (worded) return { element: worded, rule: { kind: "label words", selector: `button after the answer ("${label(worded)}")` } };
  return controls.length ? { element: controls[0], rule: structure("first button after the answer") } : null;
}

function copyButtonByWords(controls) {
  return controls.find((button) => WORDS.copy.test(label(button))) || null;
}

// The page offers to go on with an answer it cut short.
function continueButton() {
  return byWords(document, "button", WORDS.continueAnswer);
}


const ruleText = (rules) => rules.map((rule) => rule.selector).join(", ");

export {
  usable, shown, locate, firstShown, byWords, structure, testId,
  messages, userText, attachmentTiles, answerControls, locateCopy, canvasCard, canvasTitle, canvasContent, answerText, copyButton,
  copyButtonByWords, continueButton, label, WORDS as words, markedComplete, markedStreaming, answerImage,
};
export const selectors = { codeBlock: CODE_BLOCK, inlineCode: INLINE_CODE, codeContent: CODE_CONTENT, uploadProgress: UPLOAD_PROGRESS,
  notice: UPLOAD_NOTICE, conversation: CONVERSATION_CONTENT, trailingBreak: TRAILING_BREAK, exchange: EXCHANGE, author: AUTHOR,
  messageTurn: MESSAGE_TURN };
export const names = {
  userMessage: `user message (${EXCHANGE} ${ruleText(USER_HALF)} or ${ROLE_MARKER}, ${TRANSCRIPT_ITEM}, ${UNIT}, or ${AUTHOR})`,
  answer: `answer (${ruleText(ANSWER_UNIT)}, ${ANSWER_BODY})` };
