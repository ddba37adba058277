// Where things are on ChatGPT's page. The page has changed its markup
// several times; this table covers the three layouts seen so far:
//   2025       test ids on every control, one <article> per message;
//   mid-2026   the composer in its own <form>, message ids on messages;
//   2026-09    one [data-turn-key] block per exchange, conversation-role
//              markers, no test ids on the send and copy buttons.
// Every list is in order of trust: structure first, words last, and words
// in several languages, never in English alone. A failure names the
// landmark that was missing, so a user's report says what moved.

(function (root) {
  const COMPOSER_FORM = ['form[data-type="unified-composer"]', "form:has(.ProseMirror)", "form:has(textarea)"];
  const EDITOR = [
    "#prompt-textarea",
    ".ProseMirror[contenteditable]",
    '[contenteditable][role="textbox"]',
    "textarea",
  ];
  const SEND = ['button[data-testid="send-button"]', 'button#composer-submit-button:not([data-testid="stop-button"])',
    'button[type="submit"]'];
  const STOP = ['[data-testid="stop-button"]'];
  // Controls near the send button that must never count as the stop control.
  const VOICE = '[data-testid*="speech"], [data-testid*="voice"], [data-testid*="dictat"]';

  // Messages: the 2026-09 markers, then the older author-role attributes.
  const EXCHANGE = "[data-turn-key]";
  const ROLE_MARKER = "[data-conversation-role]";
  const ANSWER_BODY = '[data-markdown-text-style="assistant-message"]';
  const AUTHOR = "[data-message-author-role]";
  const MESSAGE_TURN = 'article, [data-testid^="conversation-turn"], [data-turn-id]';
  const COPY = ['[data-testid="copy-turn-action-button"]'];

  // Not "regenerate": answers that went well offer that in their action bar.
  const ERROR_ANSWER = [".text-token-text-error", '[data-testid*="error"]', '[data-testid*="retry"]'];
  const RATE_LIMIT = ['[data-testid*="rate-limit"]', '[data-testid*="usage-limit"]'];
  const NOTICE = '[role="alert"], [role="status"], [data-testid*="toast"], [data-testid*="banner"]';
  const DIALOG = 'dialog[open], [role="dialog"], [role="alertdialog"]';
  const LOGIN = ['[data-testid="login-button"]', '[data-testid="signup-button"]', 'a[href*="/auth/login"]',
    'a[href*="/log-in"]'];
  const CHALLENGE = ["#challenge-form", "#challenge-running", "#cf-challenge-running",
    'iframe[src*="challenges.cloudflare.com"]', 'script[src*="/cdn-cgi/challenge-platform/"]',
    'form[action*="__cf_chl"]'];

  // Last-resort words, matched against labels (aria-label, title, text).
  const WORDS = {
    send: /^(send|enviar|envoyer|senden|invia|verzenden|wyślij|отправить|gönder|送信|发送|傳送|보내기)/i,
    stop: /^(stop|parar|detener|interromper|arrêter|stopp|anhalten|interrompi|停止|중지|остановить)/i,
    copy: /^(copy|copiar|copier|kopieren|copia|kopiëren|kopiuj|копировать|kopyala|コピー|复制|複製|복사)/i,
    retry: /^(retry|regenerate|try again|tentar novamente|reintentar|volver a intentar|réessayer|erneut|riprova|再試行|重试|다시)/i,
    login: /^(log ?in|sign ?in|sign ?up|entrar|fazer login|iniciar sesión|acceder|se connecter|anmelden|accedi|ログイン|登录|로그인)/i,
    limit: /(limit|límite|limite|リミット|上限|限制|한도)/i,
  };

  function shown(element) {
    if (!element || !element.isConnected) return false;
    return typeof element.checkVisibility === "function" ? element.checkVisibility() : true;
  }

  function firstShown(selectors, scope = document) {
    for (const selector of selectors) {
      for (const found of scope.querySelectorAll(selector)) if (shown(found)) return found;
    }
    return null;
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
  function composer() {
    for (const selector of COMPOSER_FORM) {
      for (const form of document.querySelectorAll(selector)) {
        const editor = firstShown(EDITOR, form);
        if (editor && shown(form)) return { form, editor };
      }
    }
    const editor = firstShown(EDITOR.slice(0, 2));
    return editor ? { form: editor.closest("form") || editor.parentElement, editor } : null;
  }

  function editorDisabled(editor) {
    if (editor.tagName === "TEXTAREA") return editor.disabled || editor.readOnly;
    return editor.getAttribute("contenteditable") === "false" || editor.getAttribute("aria-disabled") === "true" ||
      Boolean(editor.closest("fieldset[disabled]"));
  }

  function sendButton(form) {
    return firstShown(SEND, form) || byWords(form, "button", WORDS.send);
  }

  // The stop control takes the send button's place while an answer runs;
  // dictation, voice and read-aloud controls are never it.
  function stopButton(form, sendSlot) {
    const marked = firstShown(STOP, form);
    if (marked) return marked;
    if (!sendSlot || !sendSlot.isConnected) return null;
    for (const button of sendSlot.querySelectorAll("button")) {
      if (!shown(button) || button.matches(VOICE) || button.matches(SEND.join(","))) continue;
      if (WORDS.stop.test(label(button))) return button;
    }
    return null;
  }

  function fileInput(form) {
    const inputs = Array.from(form.querySelectorAll('input[type="file"]'));
    return inputs.find((input) => /image|\*/.test(input.accept || "*")) || inputs[0] || null;
  }

  function textOf(element, skipped) {
    let text = "";
    for (const node of element.childNodes) {
      if (node.nodeType === 3) text += node.nodeValue;
      else if (node.nodeType === 1 && !skipped(node)) text += textOf(node, skipped);
    }
    return text;
  }

  // The messages of the conversation shown, in page order, each with its
  // role, a key that survives re-rendering when the page gives one, the
  // element to read and the element that holds its controls.
  function messages() {
    const found = [];
    for (const exchange of document.querySelectorAll(EXCHANGE)) {
      if (!shown(exchange)) continue;
      for (const marker of exchange.querySelectorAll(ROLE_MARKER)) {
        const part = marker.parentElement;
        const role = marker.getAttribute("data-conversation-role");
        const body = role === "assistant" ? last(part.querySelectorAll(ANSWER_BODY)) : part;
        found.push({ role, key: `${exchange.getAttribute("data-turn-key")}:${role}`, body, part, marker });
      }
    }
    if (found.length) return found;
    for (const element of document.querySelectorAll(AUTHOR)) {
      const part = element.closest(MESSAGE_TURN) || element.parentElement;
      if (!shown(part)) continue;
      const role = element.getAttribute("data-message-author-role");
      const id = element.getAttribute("data-message-id");
      found.push({ role, key: id ? `${id}:${role}` : null, body: element, part, marker: null });
    }
    return found;
  }

  function last(list) {
    return list.length ? list[list.length - 1] : null;
  }

  // What a user message shows of its prompt (controls and the screen
  // reader's role marker left out).
  function userText(message) {
    return textOf(message.body, (node) => node === message.marker || /^(BUTTON|SVG|STYLE|SCRIPT)$/i.test(node.tagName));
  }

  // Attached files shown with a sent message: tiles with a picture or a
  // file name, outside the prompt's own text.
  function attachmentTiles(scope) {
    return scope.querySelectorAll('[data-testid*="attachment"], [data-testid*="file-tile"], [data-attachment], img[src^="blob:"]');
  }

  // The answer's controls (copy, feedback, read aloud) sit after its body
  // in the same turn; buttons inside the body belong to code blocks.
  function answerControls(message) {
    if (!message.body) return [];
    return Array.from(message.part.querySelectorAll("button")).filter((button) =>
      shown(button) && !message.body.contains(button) &&
      (message.body.compareDocumentPosition(button) & Node.DOCUMENT_POSITION_FOLLOWING));
  }

  function copyButton(controls) {
    return controls.find((button) => button.matches(COPY.join(","))) || controls[0] || null;
  }

  function copyButtonByWords(controls) {
    return controls.find((button) => WORDS.copy.test(label(button))) || null;
  }

  // An error shown in place of (or after) an answer, with its retry button.
  function answerError(scope) {
    const marked = firstShown(ERROR_ANSWER, scope);
    if (marked) return (marked.parentElement || marked).textContent.trim().slice(0, 200) || label(marked);
    // By words: a retry button beside a message. A button among other
    // buttons only (an answer's action bar may offer "Regenerate") is not one.
    const retry = byWords(scope, "button", WORDS.retry);
    if (!retry) return null;
    const message = textOf(retry.parentElement, (node) => /^(BUTTON|SVG)$/i.test(node.tagName)).trim();
    return message || null;
  }

  // Situations of the whole page that stop a job: each is named, with the
  // landmark that showed it.
  function pageBlocker() {
    const challenge = firstShown(CHALLENGE) || document.querySelector(CHALLENGE.join(","));
    if (challenge) return { situation: "ChatGPT shows a browser check (challenge page); complete it in this tab", landmark: "challenge page" };
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

  // A logged-out page: no composer, but a way to log in.
  function loggedOut() {
    return Boolean(firstShown(LOGIN) || byWords(document, "header button, header a, nav button, nav a", WORDS.login));
  }

  root.wendleboxLandmarks = {
    composer, editorDisabled, sendButton, stopButton, fileInput, usable, shown, messages, userText,
    attachmentTiles, answerControls, copyButton, copyButtonByWords, answerError, pageBlocker, loggedOut,
    names: { composer: "composer form (" + COMPOSER_FORM.concat(EDITOR).join(", ") + ")",
      send: "send button (" + SEND.join(", ") + ", or a send label)",
      fileInput: 'file input in the composer form (input[type="file"])',
      userMessage: `user message (${EXCHANGE} ${ROLE_MARKER}, or ${AUTHOR})`,
      answer: `answer (${ANSWER_BODY}, or ${AUTHOR}="assistant")` },
  };
})(typeof globalThis !== "undefined" ? globalThis : this);
