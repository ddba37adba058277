// A stand-in for the page ChatGPT serves to visitors without an account
// (captured 2026-09-25 to 2026-10-07): an ordered transcript of items with a
// role and an id, the answer being written marked streaming and then
// complete, a plain textarea, one button that is send and stop in turn, no
// file upload, and its own errors (window.FAKE.situations: "rate-limit",
// "unable-to-connect", "login-modal"); "answer-new-id" draws the finished
// answer anew under another id. What no capture shows is marked so.
import { SCRIPTS, el, escapeHtml, markdown, pause, report, splitAtFence } from "./common.js";

const FAKE = window.FAKE;
const has = (name) => (FAKE.situations || []).includes(name);
const script = SCRIPTS[FAKE.script || "short"];

// The answer's body: paragraphs p[data-assistant-stream-block] with their
// index, code in pre > code.language-X[data-assistant-syntax-highlighted]
// with its copy button in span[data-message-content-controls] inside the
// <pre> (captured); the button's label and where in the <pre> the span
// stands are not: "Copy" and before the code here.
function render(text) {
  const { prose, code } = splitAtFence(text);
  let html = prose ? `<p data-assistant-stream-block data-assistant-stream-block-index="0">${escapeHtml(prose)}</p>` : "";
  if (code !== null) {
    html += '<pre><span data-message-content-controls><button type="button" aria-label="Copy">Copy</button></span>' +
      `<code class="language-wendlebox" data-assistant-syntax-highlighted>${escapeHtml(code)}</code></pre>`;
  }
  return html;
}

// Each item's heading h4[data-message-attribution], "You said:" on the
// user's (captured, no sr-only); the answer's wording is not captured.
const heading = (role) => `<h4 data-message-attribution>${role === "user" ? "You said:" : "ChatGPT said:"}</h4>`;

const transcript = document.querySelector("[data-conversation-transcript]");
const textarea = document.getElementById("mobile-composer-prompt");
const button = document.querySelector("[data-composer-submit]");
const saved = JSON.parse(sessionStorage.getItem("fake-signed-out") || "null") || { answered: 0 };
let answering = false;

// Idle: aria-disabled="true", never `disabled` (captured). With text, usable:
// not captured, aria-disabled="false" here. How the idle button's type
// reads is not captured either: "submit" once there is text here. The
// aria-label follows the label shown (not captured).
function showSend() {
  button.removeAttribute("data-stop-generating");
  button.type = textarea.value ? "submit" : "button";
  button.setAttribute("aria-label", button.dataset.sendLabel);
  button.setAttribute("aria-disabled", textarea.value ? "false" : "true");
}

function showStop() {
  button.type = "button";
  button.setAttribute("data-stop-generating", "");
  button.setAttribute("aria-label", button.dataset.stopLabel);
  button.setAttribute("aria-disabled", "false");
}

textarea.addEventListener("input", () => answering || showSend());

async function answer(number) {
  answering = true;
  showStop();
  const text = markdown(script[Math.min(number, script.length - 1)]);
  // The pending-… id and the streaming mark are captured; that the item
  // stands in the transcript before any text comes is not.
  let item = el(`<li id="pending-${number}" data-message-role="assistant" data-message-streaming>${heading("assistant")}` +
    "<div data-assistant-markdown></div></li>");
  transcript.appendChild(item);
  const body = item.querySelector("[data-assistant-markdown]");
  // No capture shows the signed-out page's own request for an answer: one
  // the extension does not watch here, so only the page's marks count.
  const response = await fetch("/backend-anon/answer", { method: "POST", body: JSON.stringify({ text, pauseAt: -1 }) });
  const reader = response.body.getReader();
  const decoder = new TextDecoder();
  let received = "";
  for (;;) {
    const chunk = await reader.read();
    if (chunk.done) break;
    received += decoder.decode(chunk.value, { stream: true });
    body.innerHTML = render(received);
    // The retry button with its aria-description is captured; the item
    // around it, its "Retry" text and its coming after the first piece of
    // the answer (in place of the answer) are not.
    if (has("unable-to-connect")) {
      item.replaceWith(el('<li id="recovery" data-message-role="assistant"><button data-conversation-recovery-retry ' +
        'aria-description="Unable to connect. Retry">Retry</button></li>'));
      answering = false;
      showSend();
      return;
    }
  }
  // Whether the item's id changes once complete is not captured: it keeps
  // it here, or with "answer-new-id" the page draws it anew with another.
  if (has("answer-new-id")) {
    const redrawn = item.cloneNode(true);
    redrawn.id = `message-${number}`;
    item.replaceWith(redrawn);
    item = redrawn;
  }
  item.removeAttribute("data-message-streaming");
  item.setAttribute("data-message-complete", "");
  answering = false;
  showSend();
  saved.answered = number + 1;
  sessionStorage.setItem("fake-signed-out", JSON.stringify(saved));
  report("event", { type: "answer-ended", at: Date.now() });
}

async function send(event) {
  if (event) event.preventDefault();
  if (answering || button.getAttribute("aria-disabled") === "true") return;
  const prompt = textarea.value;
  textarea.value = "";
  showSend();
  await report("typed", prompt);
  const number = saved.answered;
  // Items with data-message-role and an id, and the user's words in
  // button[data-user-message-bubble] > p[data-user-message-copy], are
  // captured; the role values "user" and "assistant" and the user item's
  // id are not.
  const user = el(`<li id="user-${number}" data-message-role="user">${heading("user")}<button type="button" data-user-message-bubble>` +
    "<p data-user-message-copy></p></button></li>");
  user.querySelector("p").textContent = prompt;
  transcript.appendChild(user);
  // When the visitor's chat gets its /uc/ address is not captured: with
  // the first prompt here.
  if (!location.pathname.startsWith("/uc/")) history.pushState({}, "", "/uc/0c0ffee0-1234-4abc-8def-0123456789ab");
  await pause(150);
  // The two dialogs' ids are captured; their role="dialog" and content
  // are not: a line of text here.
  if (has("rate-limit")) {
    document.body.appendChild(el('<div id="no-auth-soft-rate-limit-dialog" role="dialog"><p>You\'ve hit the free limit for now.</p></div>'));
    return;
  }
  if (has("login-modal")) {
    document.body.appendChild(el('<div id="modal-no-auth-login" role="dialog"><p>Log in to keep chatting.</p></div>'));
    return;
  }
  await answer(number);
}

button.addEventListener("click", send);
// Whether Enter sends on this page is not captured: it does here, as on the
// signed-in composer (2026-07-06).
textarea.addEventListener("keydown", (event) => event.key === "Enter" && !event.shiftKey && send(event));
showSend();
