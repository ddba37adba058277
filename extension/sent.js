// Which message on the page is the prompt a job sent, and whether the page
// still shows that chat: a job follows only its own turn, never an older
// one, another chat or a message the user sent meanwhile.

import * as L from "./landmarks.js";
import { sameChat } from "./chat_addresses.js";
import * as B from "./blockers.js";
import { until, StepError } from "./wait.js";

// The page shows a sent message at once; nothing for this long is an
// error, never a longer wait.
const SENT_LIMIT_MS = 15 * 1000;
const PROMPT_HEAD = 2000;

const normal = (text) => text.replace(/\s+/g, " ").trim();

// What is kept of a prompt to know it again on the page: its head, and
// whether the page took it as an attached file.
function promptRecord(prompt, handover) {
  return { head: prompt.slice(0, PROMPT_HEAD), whole: prompt.length <= PROMPT_HEAD, attached: handover === "attached" };
}

// Whether a user message shows this prompt: the same text (a long one may
// be shown cut short), or, for a prompt the page took as a pasted file,
// an attachment tile.
function showsPrompt(message, prompt) {
  // A prompt the page made a file shows only as a file, whose markup
  // varies: the first user message new since the send is it.
  if (prompt.attached) return true;
  const shown = normal(L.userText(message));
  const wanted = normal(prompt.head);
  if (!shown) return false;
  if (prompt.whole) return shown === wanted || (shown.length >= 200 && wanted.startsWith(shown));
  return wanted.startsWith(shown) || shown.startsWith(wanted);
}

// Whether `text` (the composer's) is this prompt, sent already.
function sameAsSent(text, prompt) {
  const shown = normal(text);
  const sent = normal(prompt.head);
  return Boolean(shown) && (prompt.whole ? shown === sent : shown.startsWith(sent));
}

// What the page shows of its user messages, for an error that says why
// the sent one was not found among them.
function userMessagesShown() {
  const users = L.messages().filter((m) => m.role === "user");
  if (!users.length) return "the page shows no user message";
  const text = normal(L.userText(users[users.length - 1]));
  return `the page shows ${users.length} user message${users.length > 1 ? "s" : ""}, the last reading "${text.slice(0, 60)}${text.length > 60 ? "…" : ""}"`;
}

// The messages shown before a prompt is sent; none of them is its message.
function messagesBefore() {
  const keys = new Set();
  const bodies = new WeakSet();
  for (const m of L.messages()) {
    if (m.key) keys.add(m.key);
    if (m.body) bodies.add(m.body);
  }
  return { keys, bodies };
}

// The user message of the sent prompt: by its key once known, else the
// last user message, new since the send, that shows the prompt; with the
// answer after it, if any.
function locateSent(sent) {
  const all = L.messages();
  let index = sent.key ? all.findIndex((m) => m.key === sent.key) : -1;
  if (index < 0) {
    for (let i = all.length - 1; i >= 0; i--) {
      const m = all[i];
      if (m.role !== "user" || sent.before.keys.has(m.key) || sent.before.bodies.has(m.body)) continue;
      if (showsPrompt(m, sent.prompt)) {
        index = i;
        break;
      }
    }
  }
  if (index < 0) return null;
  const user = all[index];
  sent.key = sent.key || user.key;
  let answer = null;
  for (let i = index + 1; i < all.length && all[i].role !== "user"; i++) if (all[i].role === "assistant") answer = all[i];
  return { user, answer };
}

// The conversation the prompt went to; a new chat gets its address (at
// most a placeholder, then the server's), any other move means the user
// opened another chat.
function checkAddress(sent, step) {
  const path = location.pathname;
  if (path === sent.path) return;
  if (sameChat(sent.path, path)) {
    sent.path = path;
    return;
  }
  throw new StepError(step, "The tab moved to another chat while ChatGPT was answering; the answer can no longer be read",
    `page address (${sent.path} became ${path})`);
}

// Where an error would show for the sent prompt: in its answer, or, before
// there is one, in the user's turn and anything the page put after it.
function errorScopes(found) {
  if (!found) return [];
  if (found.answer) return [found.answer.part];
  const scopes = [found.user.part];
  for (let next = found.user.part.nextElementSibling; next; next = next.nextElementSibling) scopes.push(next);
  return scopes;
}

function checkBlockers(step, found) {
  const blocker = B.pageBlocker();
  if (blocker) throw new StepError(step, blocker.situation, blocker.landmark);
  for (const scope of errorScopes(found)) {
    const error = B.answerError(scope);
    if (error) throw new StepError(step, `ChatGPT answered with an error: "${error}"`, "error message or retry button in the answer");
  }
}

async function waitForSent(sent) {
  return until(() => locateSent(sent), {
    limitMs: sent.limitMs, step: "confirm the prompt was sent",
    situation: () => `The sent prompt did not appear as a user message within ${sent.limitMs / 1000} seconds; ${userMessagesShown()}`,
    landmark: L.names.userMessage,
    check: () => {
      checkAddress(sent, "confirm the prompt was sent");
      checkBlockers("confirm the prompt was sent", null);
    },
  });
}

export {
  SENT_LIMIT_MS, promptRecord, showsPrompt, sameAsSent, userMessagesShown, messagesBefore, locateSent, checkAddress, checkBlockers, waitForSent,
};
