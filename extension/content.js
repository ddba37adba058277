// Content script for ChatGPT pages opened by the wendlebox program. It takes
// the session token from the address, polls the program (through the
// service worker) for jobs, types each job into the chat, waits for the
// answer and sends its text back.

(function () {
  // Where things are on the page, each with fallbacks in order of trust.
  const SELECTORS = {
    composer: ["#prompt-textarea", 'div.ProseMirror[contenteditable="true"]', 'div[contenteditable="true"]', "textarea"],
    sendButton: ['button[data-testid="send-button"]', "#composer-submit-button", 'button[aria-label*="Send" i]'],
    stopButton: ['[data-testid="stop-button"]', 'button[aria-label*="Stop" i]'],
    assistantMessage: ['[data-message-author-role="assistant"]'],
    turnActions: ['[data-testid="copy-turn-action-button"]', 'button[aria-label="Copy"]'],
    turn: ['[data-testid^="conversation-turn"]', "article"],
    fileInput: ['input[type="file"]'],
  };

  const TOKEN_PATTERN = /(?:^#|&)wendlebox=([0-9a-f]{32})(?=&|$)/;
  const POLL_INTERVAL_MS = 500;
  const FAILED_POLLS_BEFORE_GONE = 6;
  const QUIET_MS = 1000;
  const COMPOSER_LIMIT_MS = 60 * 1000;
  const SEND_LIMIT_MS = 2 * 60 * 1000;
  const ANSWER_LIMIT_MS = 20 * 60 * 1000;
  const COPY_LIMIT_MS = 3000;

  // Tags the messages exchanged with page_clipboard.js in the page's world.
  const NONCE = Array.from(crypto.getRandomValues(new Uint8Array(16)), (b) => b.toString(16).padStart(2, "0")).join("");

  const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

  function first(selectors, root = document) {
    for (const selector of selectors) {
      const found = root.querySelector(selector);
      if (found) return found;
    }
    return null;
  }

  function all(selectors) {
    for (const selector of selectors) {
      const found = document.querySelectorAll(selector);
      if (found.length) return Array.from(found);
    }
    return [];
  }

  async function waitFor(find, limitMs, failure) {
    const deadline = Date.now() + limitMs;
    for (;;) {
      const found = find();
      if (found) return found;
      if (Date.now() > deadline) throw new Error(failure);
      await sleep(100);
    }
  }

  function worker(message) {
    return chrome.runtime.sendMessage(message);
  }

  function typePrompt(composer, prompt) {
    composer.focus();
    if (composer.tagName === "TEXTAREA") {
      const setter = Object.getOwnPropertyDescriptor(HTMLTextAreaElement.prototype, "value").set;
      setter.call(composer, prompt);
      composer.dispatchEvent(new Event("input", { bubbles: true }));
      return;
    }
    document.execCommand("selectAll", false);
    // insertText goes through the editor's own input handling, so line
    // breaks survive as they would when typed.
    document.execCommand("insertText", false, prompt);
  }

  async function attach(attachments) {
    const input = await waitFor(() => first(SELECTORS.fileInput), COMPOSER_LIMIT_MS, "The ChatGPT upload input was not found.");
    const files = new DataTransfer();
    for (const attachment of attachments) {
      const bytes = Uint8Array.from(atob(attachment.base64), (c) => c.charCodeAt(0));
      files.items.add(new File([bytes], attachment.name, { type: attachment.mime }));
    }
    input.files = files.files;
    input.dispatchEvent(new Event("change", { bubbles: true }));
  }

  // The send button stays disabled while uploads run; it is pressed once it
  // can be, else Enter is sent to the composer.
  async function send(composer) {
    const deadline = Date.now() + SEND_LIMIT_MS;
    while (Date.now() < deadline) {
      const button = first(SELECTORS.sendButton);
      if (button && !button.disabled && button.getAttribute("aria-disabled") !== "true") {
        button.click();
        return;
      }
      await sleep(200);
    }
    if (first(SELECTORS.sendButton)) throw new Error("The ChatGPT send button stayed disabled; an upload may have been refused.");
    composer.dispatchEvent(new KeyboardEvent("keydown", { key: "Enter", code: "Enter", keyCode: 13, bubbles: true }));
  }

  function turnOf(message) {
    for (const selector of SELECTORS.turn) {
      const turn = message.closest(selector);
      if (turn) return turn;
    }
    return message.parentElement || message;
  }

  // Finished: no stop button, the text unchanged for a while, and the
  // turn's action bar shown when the page shows such bars at all.
  async function waitForAnswer(countBefore) {
    const deadline = Date.now() + ANSWER_LIMIT_MS;
    const failure = "ChatGPT did not finish an answer within 20 minutes.";
    let message = await waitFor(() => {
      const messages = all(SELECTORS.assistantMessage);
      return messages.length > countBefore ? messages[messages.length - 1] : null;
    }, ANSWER_LIMIT_MS, failure);
    let lastText = null;
    let changedAt = Date.now();
    while (Date.now() < deadline) {
      await sleep(200);
      const messages = all(SELECTORS.assistantMessage);
      message = messages[messages.length - 1] || message;
      const text = message.textContent;
      if (text !== lastText) {
        lastText = text;
        changedAt = Date.now();
        continue;
      }
      const streaming = Boolean(first(SELECTORS.stopButton));
      const pageHasActionBars = Boolean(first(SELECTORS.turnActions));
      const actionsShown = !pageHasActionBars || Boolean(first(SELECTORS.turnActions, turnOf(message)));
      if (!streaming && Date.now() - changedAt >= QUIET_MS && actionsShown) return message;
    }
    throw new Error(failure);
  }

  // The answer's markdown source, exactly as the page's own copy button
  // produces it; null when there is no button or it gives nothing in time.
  function copiedText(message) {
    const button = first(SELECTORS.turnActions, turnOf(message));
    if (!button) return Promise.resolve(null);
    return new Promise((resolve) => {
      const timer = setTimeout(() => finish(null), COPY_LIMIT_MS);
      function finish(text) {
        clearTimeout(timer);
        window.removeEventListener("message", listen);
        resolve(text);
      }
      function listen(event) {
        const data = event.data;
        if (event.source !== window || !data || data.nonce !== NONCE) return;
        if (data.wendlebox === "armed") button.click();
        if (data.wendlebox === "captured") finish(typeof data.text === "string" && data.text.trim() ? data.text : null);
      }
      window.addEventListener("message", listen);
      window.postMessage({ wendlebox: "capture", nonce: NONCE, timeoutMs: COPY_LIMIT_MS }, location.origin);
    });
  }

  // A text that lacks a line of the last code block the page shows cannot
  // be the answer (the agent block is normally that block).
  function holdsShownCode(text, message) {
    const lines = globalThis.wendleboxLastCodeBlockLines(message);
    return !lines || lines.every((line) => text.includes(line));
  }

  async function replyText(message) {
    const copied = await copiedText(message);
    if (copied !== null && holdsShownCode(copied, message)) return copied;
    const rebuilt = globalThis.wendleboxReplyText(message);
    if (rebuilt && holdsShownCode(rebuilt, message)) return rebuilt;
    const copyProblem = copied === null ? "the copy button gave no text" : "the copied text lacks the answer's code block";
    throw new Error(`Could not read ChatGPT's answer: ${copyProblem}, and the text rebuilt from the page lacks it too.`);
  }

  async function runJob(job) {
    const composer = await waitFor(() => first(SELECTORS.composer), COMPOSER_LIMIT_MS, "The ChatGPT message box was not found.");
    const countBefore = all(SELECTORS.assistantMessage).length;
    if (job.attachments && job.attachments.length) await attach(job.attachments);
    typePrompt(composer, job.prompt);
    await send(composer);
    return replyText(await waitForAnswer(countBefore));
  }

  async function handleJob(job) {
    const claim = await worker({ type: "claim", id: job.id });
    if (!claim || !claim.claimed) return;
    let result;
    try {
      result = { id: job.id, text: await runJob(job), url: location.href };
    } catch (error) {
      result = { id: job.id, error: String((error && error.message) || error), url: location.href };
    }
    await worker({ type: "result", result });
  }

  function showGoneNotice() {
    const notice = document.createElement("div");
    notice.textContent = "Wendlebox: the wendlebox program has ended. Run wendlebox again to continue here.";
    notice.setAttribute("role", "status");
    notice.style.cssText =
      "position:fixed;right:16px;bottom:16px;z-index:2147483647;padding:8px 12px;border-radius:8px;" +
      "background:#333;color:#fff;font:13px system-ui,sans-serif;box-shadow:0 2px 8px rgba(0,0,0,.3)";
    (document.body || document.documentElement).appendChild(notice);
  }

  async function pollForever() {
    let answered = false;
    let failures = 0;
    for (;;) {
      let reply;
      try {
        reply = await worker({ type: "poll" });
      } catch (error) {
        reply = { status: 0 };
      }
      const reachable = reply && (reply.status === 200 || reply.status === 204);
      if (reachable) {
        answered = true;
        failures = 0;
        if (reply.status === 200 && reply.body) await handleJob(reply.body);
      } else if (answered && ++failures >= FAILED_POLLS_BEFORE_GONE) {
        showGoneNotice();
        return;
      }
      await sleep(POLL_INTERVAL_MS);
    }
  }

  async function start() {
    const match = location.hash.match(TOKEN_PATTERN);
    let token = match && match[1];
    if (token) {
      // Page scripts must not see the token; the tab keeps it in the worker.
      history.replaceState(history.state, "", location.pathname + location.search);
      await worker({ type: "setToken", token });
    } else {
      token = (await worker({ type: "getToken" })).token;
    }
    if (token) pollForever();
  }

  start();
})();
