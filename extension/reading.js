// The text of a complete answer, exactly as ChatGPT wrote it: the page's
// own copy action when it gives a text that holds the code the page shows,
// else the text rebuilt from the rendered answer, else a canvas's text.

import * as L from "./landmarks.js";
import * as R from "./reply_text.js";
import { StepError } from "./wait.js";

const COPY_LIMIT_MS = 3000;

// The answer's markdown source, exactly as the page's own copy button
// produces it; null when there is no button or it gives nothing in time.
function copiedText(button, nonce) {
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
      if (event.source !== window || !data || data.nonce !== nonce) return;
      if (data.wendlebox === "armed") button.click();
      if (data.wendlebox === "captured") finish(typeof data.text === "string" && data.text.trim() ? data.text : null);
    }
    window.addEventListener("message", listen);
    window.postMessage({ wendlebox: "capture", nonce, timeoutMs: COPY_LIMIT_MS }, location.origin);
  });
}

// A text that lacks a line of the last code block the page shows cannot
// be the answer (the agent block is normally that block).
function holdsShownCode(text, body) {
  const lines = R.lastCodeBlockLines(body);
  return !lines || lines.every((line) => text.includes(line));
}

// Candidates in order of trust, each checked against what the page shows:
// the page's copy action (found by place, then by its label), then the
// text rebuilt from the rendered answer.
async function messageText(answer, nonce) {
  const controls = L.answerControls(answer);
  const tried = new Set();
  for (const button of [L.copyButton(controls), L.copyButtonByWords(controls)]) {
    if (!button || tried.has(button)) continue;
    tried.add(button);
    const copied = await copiedText(button, nonce);
    if (copied !== null && holdsShownCode(copied, answer.body)) return copied;
  }
  const rebuilt = R.replyText(answer.body);
  return rebuilt && holdsShownCode(rebuilt, answer.body) ? rebuilt : null;
}

// An answer written into a canvas: the message holds a card that shows
// the canvas's text. An agent block there is read from it; anything else
// is reported as a canvas answer, which the chat's text does not hold.
function canvasText(card) {
  const shown = L.canvasContent(card);
  try {
    JSON.parse(shown);
    return "```wendlebox\n" + shown.replace(/\n$/, "") + "\n```";
  } catch {
    if (/```wendlebox\n/.test(shown)) return shown;
  }
  throw new StepError("read the answer", `ChatGPT wrote its answer into a canvas ("${L.canvasTitle(card)}") instead of the chat; ask it to answer in the chat`,
    "canvas card in the answer");
}

async function answerText(answer, nonce) {
  const text = await messageText(answer, nonce);
  const card = L.canvasCard(answer);
  if (card && !(text && text.includes("```wendlebox"))) return canvasText(card);
  if (text) return text;
  throw new StepError("read the answer", "Could not read ChatGPT's answer: neither the copy action nor the text rebuilt from the page holds the code block the page shows",
    "copy button in the answer's controls, code blocks in the answer");
}

export { answerText, holdsShownCode, canvasText };
