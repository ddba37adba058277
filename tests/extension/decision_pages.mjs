// The pages of the decision tables: the extension's scripts loaded into a
// small page, with short names for them, and the markup that rows share.
import { extensionPage } from "./extension_dom.mjs";

export const ID = "0c0ffee0-1234-4abc-8def-0123456789ab";

// A page with the extension's modules loaded, and short names for them
// (L: the page's landmarks, the composer's and the blockers' together).
export async function page(html, options) {
  const loaded = await extensionPage(html, options);
  const m = loaded.modules;
  const L = { ...m["landmarks.js"], ...m["composer_landmarks.js"], ...m["blockers.js"],
    ...m["chat_addresses.js"], names: { ...m["landmarks.js"].names, ...m["composer_landmarks.js"].names } };
  return { ...loaded, L, S: m["sent.js"], A: m["answer.js"], R: m["reply_text.js"], C: m["composer.js"], J: m["jobs.js"],
    Reading: m["reading.js"], $: (selector) => loaded.document.querySelector(selector) };
}

export const SHELL_COMPOSER = '<form data-chatgpt-composer data-thread-find-composer="true">' +
  '<input type="file" accept="image/*" hidden><input type="file" hidden>' +
  '<button type="button" data-composer-navigation-target="add-context" aria-label="Add files and more"></button>' +
  '<div class="ProseMirror" contenteditable="true" data-composer-markdown aria-label="Ask ChatGPT" role="textbox"><p></p></div>' +
  '<button type="button" aria-label="Dictate"></button><span class="slot"><button type="submit" aria-label="Send"></button></span></form>';

// One exchange of the app shell: the user half by its bubble, the answer
// unit keyed "…:assistant" with its action bar beside it.
export function shellExchange(prompt, answerHtml, { bar = true, key = ID } = {}) {
  return `<div data-turn-key="${key}"><div><div data-user-message-bubble><div class="whitespace-pre-wrap">${prompt}</div></div>` +
    '<div class="turn-action-controls"><button aria-label="Copy message"></button><button aria-label="Share"></button></div></div>' +
    '<span data-chatgpt-agent-turn-start hidden></span><h4 class="sr-only" data-conversation-role="assistant">ChatGPT said:</h4>' +
    (answerHtml === null ? "" : `<div data-content-search-unit-key="${key}:assistant"><div class="markdown">${answerHtml}</div></div>`) +
    (bar ? '<div class="turn-action-controls"><button aria-label="Copy response"></button><button aria-label="Good response"></button></div>' : "") +
    "</div>";
}

export const agentBlock = '<div data-markdown-copy="code-block"><div><span>wendlebox</span><button aria-label="Copy">Copy</button></div>' +
  '<div><code>{"status":"done","message":"ok"}</code></div></div>';
