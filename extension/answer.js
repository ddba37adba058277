// When the answer to a sent prompt is complete: the stop control is gone,
// the answer's text has stopped changing, and the page gave positive word
// (its network stream ended, or the answer's own controls appeared and
// stayed). Meanwhile the program is asked whether it still wants the
// answer, and whatever stops the answer is reported, never waited out.

(function (root) {
  const M = root.wendleboxMessages;
  const L = root.wendleboxLandmarks;
  const S = root.wendleboxSent;
  const { sleep, nextChange, StepError } = root.wendleboxWait;

  const NO_PROGRESS_LIMIT_MS = 90 * 1000;
  const ANSWER_LIMIT_MS = 20 * 60 * 1000;
  // Evidence must hold this long before it counts: a control that flashes
  // or a text that is still growing is not an end.
  const STEADY_MS = 100;
  // On a page that shows neither answer controls nor its network stream,
  // the evidence left is a quiet text with no stop control: briefly, when
  // the answer's last code block is a whole agent block (JSON that parses),
  // else only after a long quiet (the page may be thinking between parts).
  const QUIET_MS = 1000;
  const LONG_QUIET_MS = 20 * 1000;
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
      if (current && (current.status === 204 || (current.status === 200 && current.id !== sent.jobId))) {
        sent.withdrawn = true;
        return;
      }
      await paced(started, WITHDRAWAL_CHECK_MS);
    }
  }

  function stopWithdrawnAnswer(sent) {
    const composer = L.composer();
    const stop = composer && L.stopButton(composer.form, sent.sendSlot);
    if (stop) stop.click();
    throw new StepError("wait for the answer", "The program withdrew the job (the user stopped the prompt); ChatGPT's answer was stopped",
      "the program's current job");
  }

  function lastCodeBlockIsWhole(answer) {
    const lines = root.wendleboxReplyText.lastCodeBlockLines(answer.body);
    if (!lines) return false;
    try {
      JSON.parse(lines.join("\n"));
      return true;
    } catch {
      return false;
    }
  }

  // Whether the page has shown controls on a finished answer: then an
  // answer without them is not finished, however quiet it is.
  function quietEnough(tab, answer, quietMs) {
    if (tab.showsAnswerControls || L.messages().some((m) => m.role === "assistant" && L.answerControls(m).length)) {
      tab.showsAnswerControls = true;
      return false;
    }
    return quietMs >= LONG_QUIET_MS || (quietMs >= QUIET_MS && lastCodeBlockIsWhole(answer));
  }

  // An answer the page cut short ("Continue generating") is continued, so
  // the whole answer is read; returns whether it pressed the button.
  function continueCutAnswer() {
    const button = L.continueButton();
    if (!button || !L.usable(button)) return false;
    button.click();
    return true;
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
    const streams = tab.streams;
    const deadline = Date.now() + ANSWER_LIMIT_MS;
    // The end of the page's stream counts only for the latest request.
    let since = sent.at;
    let lastText = null;
    let changedAt = Date.now();
    let controlsSince = 0;
    let progressAt = Date.now();
    let lastActivity = null;
    for (;;) {
      const now = Date.now();
      if (now > deadline) throw new StepError(step, "ChatGPT did not finish an answer within 20 minutes", L.names.answer);
      S.checkAddress(sent, step);
      if (sent.withdrawn) stopWithdrawnAnswer(sent);
      const found = S.locateSent(sent);
      if (!found) {
        if (now - progressAt > S.SENT_LIMIT_MS)
          throw new StepError(step, "The sent prompt is no longer shown on the page", L.names.userMessage);
        await nextChange(100);
        continue;
      }
      const { user, answer } = found;
      S.checkBlockers(step, found);
      const composer = L.composer();
      const stopShown = Boolean(composer && L.stopButton(composer.form, sent.sendSlot));
      const streaming = streams.active.size > 0;
      const text = answer && answer.body ? L.answerText(answer) : null;
      if (text !== lastText) {
        lastText = text;
        changedAt = now;
      }
      const controls = answer ? L.answerControls(answer) : [];
      controlsSince = controls.length ? controlsSince || now : 0;
      const activity = (answer ? answer.part.textContent.length : 0) + ":" + user.part.textContent.length;
      if (stopShown || streaming || activity !== lastActivity) progressAt = now;
      lastActivity = activity;

      if (text && text.trim() && !stopShown && !streaming && now - changedAt >= STEADY_MS) {
        if (continueCutAnswer()) {
          since = Date.now();
          controlsSince = 0;
          progressAt = since;
          await nextChange(STEADY_MS);
          continue;
        }
        const streamEnded = streams.ended >= since;
        const controlsStayed = controlsSince && now - controlsSince >= STEADY_MS;
        if (controls.length) tab.showsAnswerControls = true;
        const pageGivesNoWord = streams.started < since && !controls.length && quietEnough(tab, answer, now - changedAt);
        if (streamEnded || controlsStayed || pageGivesNoWord) return answer;
      }
      if (now - progressAt > NO_PROGRESS_LIMIT_MS)
        throw new StepError(step, `ChatGPT showed no progress on the answer for ${NO_PROGRESS_LIMIT_MS / 1000} seconds`, L.names.answer);
      await nextChange(STEADY_MS);
    }
  }

  root.wendleboxAnswer = Object.freeze({ listenToStreams, paced, waitForAnswer });
})(globalThis);
