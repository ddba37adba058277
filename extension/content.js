// Content script for ChatGPT pages opened by the wendlebox program. It takes
// the session token from the address, polls the program (through the
// service worker) for jobs, sends each job's prompt, follows the turn it
// started until the page shows positive evidence that the answer is
// complete, and sends the answer's text back. Whatever stops a job is
// reported as an error naming the step, never left as a silent wait.

(function () {
  const M = globalThis.wendleboxMessages;
  const L = globalThis.wendleboxLandmarks;
  const C = globalThis.wendleboxComposer;
  const { sleep, nextChange, until, StepError } = globalThis.wendleboxWait;

  const TOKEN_PATTERN = /(?:^#|&)wendlebox=([0-9a-f]{32})(?=&|$)/;
  // Each poll is held by the program until a job comes (or this long); a
  // program that answers at once is asked again after POLL_INTERVAL_MS.
  const POLL_WAIT_SECONDS = 25;
  const POLL_INTERVAL_MS = 500;
  const FAILED_POLLS_BEFORE_GONE = 6;
  const SENT_LIMIT_MS = 30 * 1000;
  const RECOVER_LIMIT_MS = 30 * 1000;
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
  // A new chat is first shown at a placeholder address, then at the
  // server's; only the server's names the chat.
  const PLACEHOLDER_CHAT = /^\/c\/local-/;
  const ADDRESS_LIMIT_MS = 10 * 1000;
  const COPY_LIMIT_MS = 3000;
  // How often, while an answer runs, a program that does not hold polls is
  // asked whether it still wants it.
  const WITHDRAWAL_CHECK_MS = 1000;
  const PROMPT_HEAD = 2000;
  const PROBE_LOAD_LIMIT_MS = 15 * 1000;

  // Tags the messages exchanged with page_world.js in the page's world.
  const NONCE = Array.from(crypto.getRandomValues(new Uint8Array(16)), (b) => b.toString(16).padStart(2, "0")).join("");

  function worker(message) {
    return (globalThis.browser || chrome).runtime.sendMessage(message);
  }

  // The page's conversation streams, as page_world.js reports them.
  const streams = { active: new Set(), started: 0, ended: 0 };
  window.addEventListener("message", (event) => {
    const data = event.data;
    if (event.source !== window || !data || data.wendlebox !== "stream") return;
    if (data.phase === "start") {
      streams.active.add(data.id);
      streams.started = Date.now();
    } else {
      streams.active.delete(data.id);
      streams.ended = Date.now();
    }
  });

  const normal = (text) => text.replace(/\s+/g, " ").trim();

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

  // The user message of the sent prompt: by its key once known, else the
  // last user message, new since the send, that shows the prompt.
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

  function messagesBefore() {
    const keys = new Set();
    const bodies = new WeakSet();
    for (const m of L.messages()) {
      if (m.key) keys.add(m.key);
      bodies.add(m.body);
    }
    return { keys, bodies };
  }

  // The conversation the prompt went to; a new chat gets its address (at
  // most a placeholder, then the server's), any other move means the user
  // opened another chat.
  function checkAddress(sent, step) {
    const path = location.pathname;
    if (path === sent.path) return;
    const unnamed = !sent.path.includes("/c/") || PLACEHOLDER_CHAT.test(sent.path);
    if (unnamed && path.startsWith("/c/")) {
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
    const blocker = L.pageBlocker();
    if (blocker) throw new StepError(step, blocker.situation, blocker.landmark);
    for (const scope of errorScopes(found)) {
      const error = L.answerError(scope);
      if (error) throw new StepError(step, `ChatGPT answered with an error: "${error}"`, "error message or retry button in the answer");
    }
  }

  async function waitForSent(sent) {
    return until(() => locateSent(sent), {
      limitMs: sent.limitMs, step: "confirm the prompt was sent",
      situation: `The sent prompt did not appear as a user message within ${sent.limitMs / 1000} seconds`,
      landmark: L.names.userMessage,
      check: () => {
        checkAddress(sent, "confirm the prompt was sent");
        checkBlockers("confirm the prompt was sent", null);
      },
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
  // program for that; `sent.withdrawn` tells waitForAnswer.
  async function watchWithdrawal(sent) {
    while (!sent.finished) {
      const started = Date.now();
      let current = null;
      try {
        current = await worker({ type: M.worker.current, id: sent.jobId });
      } catch {}
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

  // Whether the page has shown controls on a finished answer: then an
  // answer without them is not finished, however quiet it is.
  let pageShowsAnswerControls = false;

  function lastCodeBlockIsWhole(answer) {
    const lines = globalThis.wendleboxLastCodeBlockLines(answer.body);
    if (!lines) return false;
    try {
      JSON.parse(lines.join("\n"));
      return true;
    } catch {
      return false;
    }
  }

  function quietEnough(answer, quietMs) {
    if (pageShowsAnswerControls || L.messages().some((m) => m.role === "assistant" && L.answerControls(m).length)) {
      pageShowsAnswerControls = true;
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
  async function waitForAnswer(sent) {
    if (sent.jobId !== undefined) watchWithdrawal(sent);
    try {
      return await followAnswer(sent);
    } finally {
      sent.finished = true;
    }
  }

  // The answer is complete when the stop control is gone, its text has
  // stopped changing, and the page gave positive word: the conversation's
  // network stream ended, or the answer's own controls appeared and stayed.
  async function followAnswer(sent) {
    const step = "wait for the answer";
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
      checkAddress(sent, step);
      if (sent.withdrawn) stopWithdrawnAnswer(sent);
      const found = locateSent(sent);
      if (!found) {
        if (now - progressAt > SENT_LIMIT_MS)
          throw new StepError(step, "The sent prompt is no longer shown on the page", L.names.userMessage);
        await nextChange(100);
        continue;
      }
      const { user, answer } = found;
      checkBlockers(step, found);
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
        if (controls.length) pageShowsAnswerControls = true;
        const pageGivesNoWord = streams.started < since && !controls.length && quietEnough(answer, now - changedAt);
        if (streamEnded || controlsStayed || pageGivesNoWord) return answer;
      }
      if (now - progressAt > NO_PROGRESS_LIMIT_MS)
        throw new StepError(step, `ChatGPT showed no progress on the answer for ${NO_PROGRESS_LIMIT_MS / 1000} seconds`, L.names.answer);
      await nextChange(STEADY_MS);
    }
  }

  // The answer's markdown source, exactly as the page's own copy button
  // produces it; null when there is no button or it gives nothing in time.
  function copiedText(button) {
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
  function holdsShownCode(text, body) {
    const lines = globalThis.wendleboxLastCodeBlockLines(body);
    return !lines || lines.every((line) => text.includes(line));
  }

  // Candidates in order of trust, each checked against what the page shows:
  // the page's copy action (found by place, then by its label), then the
  // text rebuilt from the rendered answer.
  async function messageText(answer) {
    const controls = L.answerControls(answer);
    const tried = new Set();
    for (const button of [L.copyButton(controls), L.copyButtonByWords(controls)]) {
      if (!button || tried.has(button)) continue;
      tried.add(button);
      const copied = await copiedText(button);
      if (copied !== null && holdsShownCode(copied, answer.body)) return copied;
    }
    const rebuilt = globalThis.wendleboxReplyText(answer.body);
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

  async function replyText(answer) {
    const text = await messageText(answer);
    const card = L.canvasCard(answer);
    if (card && !(text && text.includes("```wendlebox"))) return canvasText(card);
    if (text) return text;
    throw new StepError("read the answer", "Could not read ChatGPT's answer: neither the copy action nor the text rebuilt from the page holds the code block the page shows",
      "copy button in the answer's controls, code blocks in the answer");
  }

  function promptRecord(prompt, handover) {
    return { head: prompt.slice(0, PROMPT_HEAD), whole: prompt.length <= PROMPT_HEAD, attached: handover === "attached" };
  }

  async function runJob(job) {
    const composer = await C.findComposer();
    const before = messagesBefore();
    const sent = { before, key: null, path: location.pathname, at: 0, limitMs: SENT_LIMIT_MS, jobId: job.id };
    const { handover, sendSlot, draft } = await C.submit(composer, job, async (handover) => {
      sent.prompt = promptRecord(job.prompt, handover);
      sent.at = Date.now();
      await worker({ type: M.worker.sending, id: job.id, prompt: sent.prompt, path: sent.path });
    });
    sent.sendSlot = sendSlot;
    sent.handover = handover;
    await waitForSent(sent);
    const answer = await waitForAnswer(sent);
    const text = await replyText(answer);
    await C.restoreDraft(draft);
    return text;
  }

  // After a reload the job that was being answered is found again: the
  // last user message showing its prompt, and the answer after it.
  async function recoverJob(inflight) {
    const sent = { before: { keys: new Set(), bodies: new WeakSet() }, key: null, path: location.pathname, at: Date.now(),
      prompt: inflight.prompt, limitMs: RECOVER_LIMIT_MS, jobId: inflight.id };
    await until(() => L.messages().length > 0 || null, {
      limitMs: RECOVER_LIMIT_MS, step: "recover after a reload", landmark: L.names.userMessage,
      situation: "The page was reloaded while ChatGPT answered, and it shows no conversation",
    });
    await waitForSent(sent).catch(() => {
      throw new StepError("recover after a reload", "The page was reloaded while ChatGPT answered, and the sent prompt is not shown any more",
        L.names.userMessage);
    });
    return replyText(await waitForAnswer(sent));
  }

  // The chat's address once the page has it from its server (a new chat is
  // at a placeholder address for a moment); the program saves it as the chat.
  async function chatAddress() {
    await until(() => !PLACEHOLDER_CHAT.test(location.pathname) || null, {
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
    await worker({ type: M.worker.result, result });
  }

  // `wendlebox --probe`: nothing is typed; the report says what the page
  // shows once it has loaded (or what blocks it).
  async function probePage() {
    await until(() => L.composer() || L.pageBlocker() || null, {
      limitMs: PROBE_LOAD_LIMIT_MS, step: "probe the page", situation: "", landmark: "",
    }).catch(() => {});
    return JSON.stringify(globalThis.wendleboxProbe.report());
  }

  async function handleJob(job) {
    const claim = await worker({ type: M.worker.claim, id: job.id });
    if (!claim || !claim.claimed) return;
    await finishJob(job.id, () => (job.probe ? probePage() : runJob(job)));
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
      const started = Date.now();
      let reply;
      try {
        reply = await worker({ type: M.worker.poll, waitSeconds: POLL_WAIT_SECONDS });
      } catch (error) {
        reply = { status: 0 };
      }
      // A server that could not prove it knows the token is not the
      // program: it gets nothing more from this tab.
      if (reply && reply.impostor) {
        showGoneNotice();
        return;
      }
      const reachable = reply && (reply.status === 200 || reply.status === 204);
      if (reachable) {
        answered = true;
        failures = 0;
        if (reply.status === 200 && reply.body) await handleJob(reply.body);
      } else if (answered && ++failures >= FAILED_POLLS_BEFORE_GONE) {
        showGoneNotice();
        await worker({ type: M.worker.ended }).catch(() => {});
        return;
      }
      await paced(started, POLL_INTERVAL_MS);
    }
  }

  async function start() {
    const match = location.hash.match(TOKEN_PATTERN);
    let token = match && match[1];
    if (token) {
      // Page scripts must not see the token; the tab keeps it in the worker.
      history.replaceState(history.state, "", location.pathname + location.search);
      await worker({ type: M.worker.setToken, token });
    } else {
      token = (await worker({ type: M.worker.getToken })).token;
    }
    if (!token) return;
    // A job whose prompt was sent before this page loaded (a reload) is
    // followed to its answer; one that was never sent is offered again.
    const inflight = (await worker({ type: M.worker.inflight })).inflight;
    if (inflight && inflight.prompt) await finishJob(inflight.id, () => recoverJob(inflight));
    else if (inflight) await worker({ type: M.worker.release, id: inflight.id });
    pollForever();
  }

  start();
})();
