// When the answer to a sent prompt is complete: the stop control is gone,
// the answer's text has stopped changing, and the page gave positive word
// (its network stream ended, or the answer's own controls appeared and
// stayed). Meanwhile the program is asked whether it still wants the
// answer, and whatever stops the answer is reported, never waited out: a
// page on which nothing changes while it shows no work under way ends the
// wait with what it shows.

import * as M from "./messages.js";
import * as L from "./landmarks.js";
import * as CL from "./composer_landmarks.js";
import * as S from "./sent.js";
import { lastCodeBlockLines } from "./reply_text.js";
import { sleep, nextChange, StepError } from "./wait.js";

// Nothing watched changed for this long (no new text, no stop control,
// no open answer request, no controls, no mark of completion).
const WATCHDOG_MS = 15 * 1000;
const ANSWER_LIMIT_MS = 20 * 60 * 1000;
// Evidence must hold this long before it counts: a control that flashes
// or a text that is still growing is not an end.
const STEADY_MS = 100;
// On a page that shows neither answer controls nor its network stream,
// the evidence left is a quiet text with no stop control: briefly, when
// the answer's last code block is a whole agent block (JSON that parses),
// else only after a long quiet (the page may be thinking between parts),
// which ends before the watchdog's.
const QUIET_MS = 1000;
const LONG_QUIET_MS = 12 * 1000;
// An answer that the page has ended with no text (its stream broke, or it
// is a generated image) is reported once that has held this long.
const NOTHING_MS = 2000;
// How often, while an answer runs, a program that does not hold polls is
// asked whether it still wants it.
const WITHDRAWAL_CHECK_MS = 1000;

// Follows the page world's reports of its conversation streams.
function listenToStreams(tab) {
  window.addEventListener("message", (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.wendlebox !== "stream") return;
    if (data.phase === "start") {
      tab.streams.active.add(data.id);
      tab.streams.started = Date.now();
    } else {
      tab.streams.active.delete(data.id);
      tab.streams.ended = Date.now();
    }
  });
}

// Waits out the rest of `intervalMs` since `started`: a program that does
// not hold polls is not asked in a tight loop.
async function paced(started, intervalMs) {
  const elapsed = Date.now() - started;
  if (elapsed < intervalMs) await sleep(intervalMs - elapsed);
}

// The user pressed Ctrl-C in the program: its job is gone from /next (or
// another took its place). While the answer runs, one poll waits at the
// program for that; `sent.withdrawn` tells followAnswer.
async function watchWithdrawal(sent) {
  while (!sent.finished) {
    const started = Date.now();
    let current = null;
    try {
      current = await M.toWorker({ type: M.worker.current, id: sent.jobId });
    } catch {
      // The worker restarted; ask again.
    }
    if (sent.finished) return;
    // An answer the program did not sign means another program holds
    // the port: ours is gone, and the answer is stopped all the same.
    if (current && (current.impostor || current.status === 204 || (current.status === 200 && current.id !== sent.jobId))) {
      sent.withdrawn = true;
      sent.impostor = Boolean(current.impostor);
      return;
    }
    await paced(started, WITHDRAWAL_CHECK_MS);
  }
}

function stopWithdrawnAnswer(sent) {
  const composer = CL.composer();
  const stop = composer && CL.stopButton(composer.form, sent.sendSlot);
  if (stop) stop.click();
  if (sent.impostor)
    throw new StepError("wait for the answer", "The program on the bridge port could not prove it is wendlebox; ChatGPT's answer was stopped",
      "the program's current job");
  throw new StepError("wait for the answer", "The program withdrew the job (the user stopped the prompt); ChatGPT's answer was stopped",
    "the program's current job");
}

function lastCodeBlockIsWhole(answer) {
  const lines = lastCodeBlockLines(answer.body);
  if (!lines) return false;
  try {
    JSON.parse(lines.join("\n"));
    return true;
  } catch {
    return false;
  }
}

// What the page shows of the sent prompt's answer at one moment. The
// costlier readings are functions, read only when the decision needs them.
function see(sent, tab) {
  const found = S.locateSent(sent);
  if (!found) return { found: null };
  const { user, answer } = found;
  const composer = CL.composer();
  return {
    found,
    stopShown: Boolean(composer && CL.stopButton(composer.form, sent.sendSlot)),
    streaming: tab.streams.active.size > 0 || Boolean(answer && L.markedStreaming(answer)),
    markedComplete: Boolean(answer && L.markedComplete(answer)),
    streamStarted: tab.streams.started,
    streamEnded: tab.streams.ended,
    text: answer && answer.body ? L.answerText(answer) : null,
    controls: answer ? L.answerControls(answer).length : 0,
    activity: (answer ? answer.part.textContent.length : 0) + ":" + user.part.textContent.length,
    // The page began an answer (its place, heading or unit shows).
    hasAnswer: Boolean(answer),
    usersShown: () => S.userMessagesShown(),
    continueOffered: () => L.usable(L.continueButton()),
    wholeAgentBlock: () => lastCodeBlockIsWhole(answer),
    image: () => Boolean(answer && L.answerImage(answer)),
    answerControlsOnPage: () => L.messages().some((m) => m.role === "assistant" && L.answerControls(m).length),
  };
}

// What the decision remembers between two looks at the page.
function newWatch(sent, now) {
  return { since: sent.at, deadline: now + ANSWER_LIMIT_MS, lastText: null, changedAt: now, controlsSince: 0,
    progressAt: now, lastLook: null, stopSeen: false, nothingSince: 0 };
}

const WAIT = Object.freeze({ verdict: "wait" });
const fail = (situation, landmark) => ({ verdict: "fail", situation, landmark });

// Whether the page has shown controls on a finished answer: then an
// answer without them is not finished, however quiet it is.
function quietEnough(tab, seen, quietMs) {
  if (tab.showsAnswerControls || seen.answerControlsOnPage()) {
    tab.showsAnswerControls = true;
    return false;
  }
  return quietMs >= LONG_QUIET_MS || (quietMs >= QUIET_MS && seen.wholeAgentBlock());
}

// An answer the page ended with no text: the stop control came and went
// (or the stream ended, or the page marked the answer done) and no text
// came; or a generated image with no text, once the stop control is gone.
function endedWithNothing(watch, seen, now) {
  const { text, stopShown, streaming } = seen;
  const quietAndEmpty = !(text && text.trim()) && !stopShown && !streaming;
  const image = quietAndEmpty && seen.image();
  const ended = image || watch.stopSeen || seen.streamEnded >= watch.since || seen.markedComplete || seen.controls > 0;
  if (!quietAndEmpty || !ended) {
    watch.nothingSince = 0;
    return null;
  }
  watch.nothingSince = watch.nothingSince || now;
  if (now - watch.nothingSince < NOTHING_MS) return null;
  return image
    ? fail("ChatGPT answered with a generated image instead of text; ask it to answer in text", "image in the answer (no answer text)")
    : fail("ChatGPT's answer ended with no text (the page stopped it before any text came)", L.names.answer);
}

// The decision, at time `now`, on what was seen: "wait", "complete",
// "continue" (press the page's offer to go on with an answer it cut
// short) or "fail" with the situation.
function judge(watch, tab, seen, now) {
  if (now > watch.deadline) return fail("ChatGPT did not finish an answer within 20 minutes", L.names.answer);
  if (!seen.found) {
    return now - watch.progressAt > WATCHDOG_MS
      ? fail(`The sent prompt is no longer shown on the page; ${seen.usersShown()}`, L.names.userMessage) : WAIT;
  }
  const { text, controls, stopShown, streaming } = seen;
  if (text !== watch.lastText) {
    watch.lastText = text;
    watch.changedAt = now;
  }
  watch.controlsSince = controls ? watch.controlsSince || now : 0;
  const look = [text, controls, seen.activity, seen.markedComplete].join("\u0000");
  if (stopShown || streaming || look !== watch.lastLook) watch.progressAt = now;
  watch.lastLook = look;
  watch.stopSeen = watch.stopSeen || stopShown;
  const nothing = endedWithNothing(watch, seen, now);
  if (nothing) return nothing;

  if (text && text.trim() && !stopShown && !streaming && now - watch.changedAt >= STEADY_MS) {
    if (seen.continueOffered()) {
      watch.since = now;
      watch.controlsSince = 0;
      watch.progressAt = now;
      return { verdict: "continue" };
    }
    const streamEnded = seen.streamEnded >= watch.since;
    const controlsStayed = watch.controlsSince && now - watch.controlsSince >= STEADY_MS;
    if (controls) tab.showsAnswerControls = true;
    const pageGivesNoWord = seen.streamStarted < watch.since && !controls && quietEnough(tab, seen, now - watch.changedAt);
    if (streamEnded || controlsStayed || seen.markedComplete || pageGivesNoWord) return { verdict: "complete" };
  }
  if (now - watch.progressAt > WATCHDOG_MS) return stillPage(seen);
  return WAIT;
}

// The page stopped changing with no work under way: a whole agent block
// is a finished answer (never left unreported); anything else is named
// by what the page shows.
function stillPage(seen) {
  const still = `nothing changed on the page for ${WATCHDOG_MS / 1000} seconds, with no stop button and no answer request open`;
  const { text } = seen;
  if (text && text.trim()) {
    if (seen.wholeAgentBlock()) return { verdict: "complete" };
    return fail(`ChatGPT's answer stopped before any sign that it is complete: ${still}; the answer shows ${text.trim().length} characters ` +
      `and no controls`, "a sign that the answer is complete (its controls, the end of the page's answer request, its complete mark)");
  }
  if (seen.hasAnswer) return fail(`ChatGPT's answer ended with no text: the answer after the sent prompt is empty, and ${still}`, L.names.answer);
  return fail(`ChatGPT did not begin an answer: ${still}; the page shows the sent prompt and no answer after it`, L.names.answer);
}

// Waits for the answer to the sent prompt, watching meanwhile whether the
// program still wants it.
async function waitForAnswer(sent, tab) {
  if (sent.jobId !== undefined) watchWithdrawal(sent);
  try {
    return await followAnswer(sent, tab);
  } finally {
    sent.finished = true;
  }
}

async function followAnswer(sent, tab) {
  const step = "wait for the answer";
  const watch = newWatch(sent, Date.now());
  for (;;) {
    S.checkAddress(sent, step);
    if (sent.withdrawn) stopWithdrawnAnswer(sent);
    const seen = see(sent, tab);
    if (seen.found) S.checkBlockers(step, seen.found);
    const decision = judge(watch, tab, seen, Date.now());
    if (decision.verdict === "fail") throw new StepError(step, decision.situation, decision.landmark);
    if (decision.verdict === "complete") return seen.found.answer;
    if (decision.verdict === "continue") L.continueButton().click();
    await nextChange(seen.found ? STEADY_MS : 100);
  }
}

export { listenToStreams, paced, waitForAnswer, see, newWatch, judge };
