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
//              that is send and stop in turn.
// Every list is in order of trust: structure first, test ids next, words
// last, and words in many languages, matched anywhere in a label. Each rule
// has a kind, so a failure (and the probe) says which landmark was missing
// and how the others were found.

(function (root) {
  const { visibleText, codeText } = root.wendleboxText;
  const structure = (selector) => ({ kind: "structure", selector });
  const testId = (selector) => ({ kind: "test id", selector });

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

  // Messages. An exchange holds both halves on the pages since 2026-09;
  // each half is found by whatever the page offers, most specific first.
  const EXCHANGE = "[data-turn-key]";
  const USER_HALF = [structure("[data-user-message-bubble]"), structure('[data-content-search-unit-key$=":user"]'),
    structure('[data-message-author-role="user"]')];
  const ANSWER_UNIT = [structure('[data-content-search-unit-key$=":assistant"]'),
    structure('[data-message-author-role="assistant"]')];
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
  const CONVERSATION_CONTENT = '[data-user-message-bubble], [data-content-search-unit-key], [data-message-author-role], ' +
    '[data-markdown-text-style], .whitespace-pre-wrap, nav a, nav li, [data-testid^="history-item"]';
  const ATTACHMENT = '[data-testid*="attachment"], [data-testid*="file-tile"], [data-attachment], img[src^="blob:"]';
  // What only ChatGPT's own application shows; a browser check shows none of it.
  const APP_SHELL = `#thread, ${EXCHANGE}, ${AUTHOR}, nav, [data-conversation-transcript], [data-logged-out]`;

  // Not "regenerate": answers that went well offer that in their action bar.
  const ERROR_ANSWER = [".text-token-text-error", '[data-testid*="error"]', '[data-testid*="retry"]'];
  const RATE_LIMIT = ['[data-testid*="rate-limit"]', '[data-testid*="usage-limit"]', "#no-auth-soft-rate-limit-dialog"];
  // The signed-out page's "Unable to connect. Retry" in place of an answer.
  const RECOVERY_RETRY = "button[data-conversation-recovery-retry]";
  // What only the signed-out page shows.
  const SIGNED_OUT = "[data-logged-out], button[data-login-button]";
  // The signed-out page's dialog that asks the visitor to log in.
  const LOGIN_MODAL = "#modal-no-auth-login";
  const NOTICE = '[role="alert"], [role="status"], [data-testid*="toast"], [data-testid*="banner"]';
  const DIALOG = 'dialog[open], [role="dialog"], [role="alertdialog"]';
  const LOGIN = ['[data-testid="login-button"]', '[data-testid="signup-button"]', "button[data-login-button]", 'a[href*="/auth/login"]',
    'a[href*="/log-in"]'];
  // A browser check's own widgets. Cloudflare's bot-management script
  // (/cdn-cgi/challenge-platform/…) is on every healthy page too, so it
  // counts only on a short page without the application that stays so.
  const CHALLENGE_WIDGET = ["#challenge-form", "#challenge-running", "#cf-challenge-running", "#challenge-stage",
    'iframe[src*="challenges.cloudflare.com"]', 'form[action*="__cf_chl"]', ".cf-turnstile",
    'input[name="cf-turnstile-response"]'];
  const CHALLENGE_SCRIPT = 'script[src*="/cdn-cgi/challenge-platform/"]';
  const CHALLENGE_GRACE_MS = 3000;
  const SHORT_PAGE = 2000;

  // Addresses: a chat at /c/<id>, inside a Project at /g/<project>/c/<id>,
  // a visitor's at /uc/<id>. A new chat is first shown at a placeholder
  // (local-chatgpt%3A<uuid>, WEB:<uuid>, WEB%3A<uuid>), then at the
  // server's address; only a full UUID is the server's and names the chat.
  const CHAT_PATH = /^(?:\/g\/([^/]+))?\/(?:c|uc)\/([^/]+)/;
  const SERVER_ID = /^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$/i;

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

  // The first shown element of the first rule that finds one, with that rule.
  function locate(rules, scope = document) {
    for (const rule of rules) {
      for (const element of scope.querySelectorAll(rule.selector)) if (shown(element)) return { element, rule };
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

  // The composer: its form scopes the send and stop buttons and the file
  // input, so controls elsewhere on the page (read aloud, other uploads)
  // are never taken for them.
  function locateComposer() {
    for (const formRule of COMPOSER_FORM) {
      for (const form of document.querySelectorAll(formRule.selector)) {
        const editor = locate(EDITOR, form);
        if (editor && shown(form)) return { form, editor: editor.element, rules: { form: formRule, editor: editor.rule } };
      }
    }
    const editor = locate(EDITOR.slice(0, 4));
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

  function fileInput(form) {
    const inputs = Array.from(form.querySelectorAll('input[type="file"]'));
    return inputs.find((input) => /image|\*/.test(input.accept || "*")) || inputs[0] || null;
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
      const body = role === "user" ? item : item.querySelector(TRANSCRIPT_BODY);
      found.push({ role, key: item.id ? `${item.id}:${role}` : null, body, part: item, marker: null, rule: structure(TRANSCRIPT_ITEM) });
    }
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

  // What the answer shows so far: its text, and a canvas card's.
  function answerText(message) {
    const card = canvasCard(message);
    return message.body.textContent + (card && !message.body.contains(card) ? card.textContent : "");
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

  // An error shown in place of (or after) an answer, with its retry button.
  function answerError(scope) {
    const marked = firstShown(ERROR_ANSWER, scope);
    if (marked) return (marked.parentElement || marked).textContent.trim().slice(0, 200) || label(marked);
    // By words: a retry button beside a message. A button among other
    // buttons only (an answer's action bar may offer "Regenerate") is not one.
    const retry = byWords(scope, "button", WORDS.retry);
    if (!retry) return null;
    const message = visibleText(retry.parentElement).trim();
    return message || null;
  }

  function appShell() {
    return Boolean(locateComposer() || document.querySelector(APP_SHELL));
  }

  // A browser check: its title or widget counts at once; the challenge
  // script alone only on a short page without the application, once that
  // has lasted past a grace period (the application may still be loading).
  let challengeScriptSince = 0;
  function challenge() {
    if (appShell()) {
      challengeScriptSince = 0;
      return null;
    }
    if (WORDS.challengeTitle.test(document.title.trim())) return "challenge title";
    if (document.querySelector(CHALLENGE_WIDGET.join(","))) return "challenge widget";
    const short = ((document.body && document.body.innerText) || "").length < SHORT_PAGE;
    if (!short || !document.querySelector(CHALLENGE_SCRIPT)) {
      challengeScriptSince = 0;
      return null;
    }
    challengeScriptSince = challengeScriptSince || Date.now();
    return Date.now() - challengeScriptSince >= CHALLENGE_GRACE_MS ? "challenge script on a page without ChatGPT" : null;
  }

  // Situations of the whole page that stop a job: each is named, with the
  // landmark that showed it.
  function pageBlocker() {
    const check = challenge();
    if (check) return { situation: "ChatGPT shows a browser check (challenge page); complete it in this tab", landmark: `challenge page (${check})` };
    if (firstShown([LOGIN_MODAL])) return { situation: "ChatGPT asks you to log in; log in in this browser", landmark: "login dialog" };
    const retry = firstShown([RECOVERY_RETRY]);
    if (retry) {
      const said = (retry.getAttribute("aria-description") || label(retry)).slice(0, 200);
      return { situation: `ChatGPT could not answer: "${said}"`, landmark: "connection retry button" };
    }
    for (const dialog of document.querySelectorAll(DIALOG)) {
      if (!shown(dialog)) continue;
      if (firstShown(LOGIN, dialog) || byWords(dialog, "button, a", WORDS.login))
        return { situation: "ChatGPT asks you to log in; log in in this browser", landmark: "login dialog" };
    }
    // A notice of the page's own, not text inside the conversation (an
    // answer may well speak of limits).
    const limit = firstShown(RATE_LIMIT) || Array.from(document.querySelectorAll(NOTICE)).find(
      (notice) => shown(notice) && !notice.closest(`${EXCHANGE}, ${AUTHOR}, ${MESSAGE_TURN}`) &&
        WORDS.limit.test(notice.textContent));
    if (limit) return { situation: `ChatGPT shows a usage limit notice: "${limit.textContent.trim().slice(0, 200)}"`, landmark: "rate-limit notice" };
    return null;
  }

  // The page for visitors without an account, where no file can be attached.
  function signedOut() {
    return Boolean(firstShown([SIGNED_OUT]));
  }

  // A logged-out page: no composer, but a way to log in.
  function loggedOut() {
    return Boolean(firstShown(LOGIN) || byWords(document, "header button, header a, nav button, nav a", WORDS.login));
  }

  // The chat a page address shows: its server id (null while the address
  // is a placeholder), or null for a page that shows no chat.
  function chatOf(path) {
    const match = CHAT_PATH.exec(path);
    if (!match) return null;
    return { id: SERVER_ID.test(match[2]) ? match[2].toLowerCase() : null };
  }

  // Whether the page address `path` is a placeholder for a chat the server
  // has not named yet.
  function placeholderAddress(path) {
    const chat = chatOf(path);
    return Boolean(chat && !chat.id);
  }

  // Whether a move of the page from `from` to `to` keeps the same chat: a
  // page that named no chat yet (the new-chat page, or a placeholder) gets
  // its address, a named chat may be shown at another address of the same
  // id (inside its Project or not); any other move is to another chat.
  function sameChat(from, to) {
    if (from === to) return true;
    const before = chatOf(from);
    const after = chatOf(to);
    if (!after) return false;
    return !before || !before.id || before.id === after.id;
  }

  const ruleText = (rules) => rules.map((rule) => rule.selector).join(", ");

  root.wendleboxLandmarks = {
    composer, locateComposer, editorDisabled, sendButton, locateSend, stopButton, locateStop, fileInput, usable, shown,
    messages, userText, attachmentTiles, answerControls, locateCopy, canvasCard, canvasTitle, canvasContent, answerText, copyButton, copyButtonByWords, continueButton, answerError,
    pageBlocker, loggedOut, signedOut, appShell, label, words: WORDS, placeholderAddress, sameChat, markedComplete, markedStreaming, answerImage,
    selectors: { codeBlock: CODE_BLOCK, inlineCode: INLINE_CODE, codeContent: CODE_CONTENT, uploadProgress: UPLOAD_PROGRESS,
      notice: UPLOAD_NOTICE, conversation: CONVERSATION_CONTENT, trailingBreak: TRAILING_BREAK },
    names: { composer: `composer form (${ruleText(COMPOSER_FORM.concat(EDITOR))})`,
      send: `send button (${ruleText(SEND)}, or a send label)`,
      fileInput: 'file input in the composer form (input[type="file"])',
      userMessage: `user message (${EXCHANGE} ${ruleText(USER_HALF)} or ${ROLE_MARKER}, or ${AUTHOR})`,
      answer: `answer (${ruleText(ANSWER_UNIT)}, ${ANSWER_BODY})` },
  };
})(globalThis);
