// A tab's jobs, from the program's poll to the result: each job is claimed
// before its prompt is sent (so one job is never sent twice), followed to
// its answer, and its text or the error that stopped it is sent back.
// Whatever stops a job is reported as an error naming the step, never left
// as a silent wait.

import * as M from "./messages.js";
import * as L from "./landmarks.js";
import { placeholderAddress } from "./chat_addresses.js";
import * as CL from "./composer_landmarks.js";
import * as B from "./blockers.js";
import * as C from "./composer.js";
import * as S from "./sent.js";
import * as A from "./answer.js";
import { answerText } from "./reading.js";
import { report } from "./probe.js";
import { sleep, until, StepError } from "./wait.js";

// Each poll is held by the program until a job comes (or this long); a
// program that answers at once is asked again after POLL_INTERVAL_MS.
const POLL_WAIT_SECONDS = 25;
const POLL_INTERVAL_MS = 500;
const FAILED_POLLS_BEFORE_GONE = 6;
const RECOVER_LIMIT_MS = 30 * 1000;
const ADDRESS_LIMIT_MS = 10 * 1000;
const PROBE_LOAD_LIMIT_MS = 15 * 1000;
// A result that got no answer (its connection was lost) is sent again.
const RESULT_RETRY_MS = 1000;
const RESULT_LIMIT_MS = 60 * 1000;

// What a tab learns of its page while it runs jobs: the page's
// conversation streams (as page_world.js reports them), whether the page
// has shown controls on a finished answer, and the nonce that tags the
// messages exchanged with page_world.js.
function newTab() {
  const nonce = Array.from(crypto.getRandomValues(new Uint8Array(16)), (b) => b.toString(16).padStart(2, "0")).join("");
  return { streams: { active: new Set(), started: 0, ended: 0 }, showsAnswerControls: false, nonce, sentPrompts: [] };
}

// Whether the composer's text was sent already: a prompt this tab sent
// (before a reload too), or the words of a user message on the page.
function sentAlready(tab) {
  return (text) => {
    if (tab.sentPrompts.some((prompt) => S.sameAsSent(text, prompt))) return true;
    const record = S.promptRecord(text, "inline");
    return L.messages().some((m) => m.role === "user" && S.showsPrompt(m, record));
  };
}

async function runJob(job, tab) {
  const composer = await C.findComposer();
  const before = S.messagesBefore();
  const sent = { before, key: null, path: location.pathname, at: 0, limitMs: S.SENT_LIMIT_MS, jobId: job.id };
  const { sendSlot, draft } = await C.submit(composer, job, async (handover) => {
    sent.prompt = S.promptRecord(job.prompt, handover);
    sent.at = Date.now();
    tab.sentPrompts = tab.sentPrompts.slice(-7).concat([sent.prompt]);
    await M.toWorker({ type: M.worker.sending, id: job.id, prompt: sent.prompt, path: sent.path });
  }, sentAlready(tab));
  sent.sendSlot = sendSlot;
  await S.waitForSent(sent);
  const answer = await A.waitForAnswer(sent, tab);
  const text = await answerText(answer, tab.nonce);
  await C.restoreDraft(draft);
  return text;
}

// After a reload the job that was being answered is found again: the
// last user message showing its prompt, and the answer after it.
async function recoverJob(inflight, tab) {
  const sent = { before: { keys: new Set(), bodies: new WeakSet() }, key: null, path: location.pathname, at: Date.now(),
    prompt: inflight.prompt, limitMs: RECOVER_LIMIT_MS, jobId: inflight.id };
  await until(() => L.messages().length > 0 || null, {
    limitMs: RECOVER_LIMIT_MS, step: "recover after a reload", landmark: L.names.userMessage,
    situation: "The page was reloaded while ChatGPT answered, and it shows no conversation",
  });
  await S.waitForSent(sent).catch(() => {
    throw new StepError("recover after a reload", "The page was reloaded while ChatGPT answered, and the sent prompt is not shown any more",
      L.names.userMessage);
  });
  return answerText(await A.waitForAnswer(sent, tab), tab.nonce);
}

// The chat's address once the page has it from its server (a new chat is
// at a placeholder address for a moment); the program saves it as the chat.
async function chatAddress() {
  await until(() => !placeholderAddress(location.pathname) || null, {
    limitMs: ADDRESS_LIMIT_MS, step: "learn the chat's address", situation: "", landmark: "page address",
  }).catch(() => {});
  return location.href;
}

async function finishJob(id, work) {
  let result;
  try {
    const text = await work();
    result = { id, text, url: await chatAddress() };
  } catch (error) {
    result = { id, error: String((error && error.message) || error), url: location.href };
  }
  // Sent until the program answers: a result lost on the way would leave
  // the program waiting for ever (it ignores a repeat).
  const deadline = Date.now() + RESULT_LIMIT_MS;
  for (;;) {
    const reply = await M.toWorker({ type: M.worker.result, result }).catch(() => ({ status: 0, retry: true }));
    if (!reply || !reply.retry || Date.now() > deadline) return reply;
    await sleep(RESULT_RETRY_MS);
  }
}

// `wendlebox --probe`: nothing is typed; the report says what the page
// shows once it has loaded (or what blocks it).
async function probePage() {
  await until(() => CL.composer() || B.pageBlocker() || null, {
    limitMs: PROBE_LOAD_LIMIT_MS, step: "probe the page", situation: "", landmark: "",
  }).catch(() => {});
  return JSON.stringify(report());
}

async function handleJob(job, tab) {
  const claim = await M.toWorker({ type: M.worker.claim, id: job.id });
  if (!claim || !claim.claimed) return null;
  return finishJob(job.id, () => (job.probe ? probePage() : runJob(job, tab)));
}

// A job whose prompt was sent before this page loaded (a reload) is
// followed to its answer; one that was never sent is offered again.
async function resumeInflight(tab) {
  const inflight = (await M.toWorker({ type: M.worker.inflight })).inflight;
  if (inflight && inflight.prompt) tab.sentPrompts.push(inflight.prompt);
  if (inflight && inflight.prompt) await finishJob(inflight.id, () => recoverJob(inflight, tab));
  else if (inflight) await M.toWorker({ type: M.worker.release, id: inflight.id });
}

const GONE = "Wendlebox: the wendlebox program has ended. Run wendlebox again to continue here.";
const UNPAIRED = "Wendlebox: this copy of the extension is not paired with the wendlebox program. " +
  "Run wendlebox setup and load the extension folder it names.";
// In the user's language, as the program says it on the terminal.
const MISMATCH = {
  en: "Wendlebox: this extension holds a pairing key other than the wendlebox program's (it was not reloaded " +
    "after wendlebox setup, or another copy of it is loaded). Reload Wendlebox in the browser's extensions page " +
    "(edge://extensions or chrome://extensions); the terminal names the folder wendlebox setup installed.",
  pt: "Wendlebox: esta extensão tem uma chave de pareamento diferente da do programa wendlebox (ela não foi " +
    "recarregada depois do wendlebox setup, ou outra cópia dela está carregada). Recarregue o Wendlebox na página " +
    "de extensões do navegador (edge://extensions ou chrome://extensions); o terminal mostra a pasta que o " +
    "wendlebox setup instalou.",
  es: "Wendlebox: esta extensión tiene una clave de emparejamiento distinta de la del programa wendlebox (no se " +
    "recargó después de wendlebox setup, o hay otra copia cargada). Recarga Wendlebox en la página de extensiones " +
    "del navegador (edge://extensions o chrome://extensions); la terminal indica la carpeta que instaló wendlebox setup.",
};
const mismatchNotice = () => MISMATCH[String(navigator.language || "").slice(0, 2).toLowerCase()] || MISMATCH.en;

function showGoneNotice(text = GONE) {
  const notice = document.createElement("div");
  notice.textContent = text;
  notice.setAttribute("role", "status");
  notice.style.cssText =
    "position:fixed;right:16px;bottom:16px;z-index:2147483647;padding:8px 12px;border-radius:8px;" +
    "background:#333;color:#fff;font:13px system-ui,sans-serif;box-shadow:0 2px 8px rgba(0,0,0,.3)";
  (document.body || document.documentElement).appendChild(notice);
}

async function pollForever(tab) {
  let answered = false;
  let failures = 0;
  for (;;) {
    const started = Date.now();
    let reply;
    try {
      reply = await M.toWorker({ type: M.worker.poll, waitSeconds: POLL_WAIT_SECONDS });
    } catch {
      reply = { status: 0 };
    }
    // A server that could not prove it is this user's program gets
    // nothing more from this tab; without the pairing key none can.
    if (reply && (reply.impostor || reply.unpaired || reply.mismatch)) {
      showGoneNotice(reply.mismatch ? mismatchNotice() : reply.unpaired ? UNPAIRED : GONE);
      return;
    }
    const reachable = reply && (reply.status === 200 || reply.status === 204);
    if (reachable) {
      answered = true;
      failures = 0;
      const posted = reply.status === 200 && reply.body ? await handleJob(reply.body, tab) : null;
      if (posted && (posted.impostor || posted.mismatch)) {
        showGoneNotice(posted.mismatch ? mismatchNotice() : GONE);
        return;
      }
    } else if (answered && ++failures >= FAILED_POLLS_BEFORE_GONE) {
      showGoneNotice();
      await M.toWorker({ type: M.worker.ended }).catch(() => {});
      return;
    }
    await A.paced(started, POLL_INTERVAL_MS);
  }
}

export { newTab, resumeInflight, pollForever, sentAlready };
