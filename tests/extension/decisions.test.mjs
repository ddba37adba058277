// The extension's decisions on page situations, one row per public fact
// about ChatGPT's page (the fact's date is in each row's name): where each
// landmark is, which message is the one sent, when an answer is complete,
// when a page blocks a job. The pages are the smallest markup that shows
// each fact; what no capture shows is said so in the row.
import { test } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { contentModules, extension } from "./extension_dom.mjs";
import { ID, SHELL_COMPOSER, agentBlock, page, shellExchange } from "./decision_pages.mjs";

// ---- Where the landmarks are ----------------------------------------------

const landmarkRows = [
  ["2025: #prompt-textarea, test ids on send, stop and copy; article turns with roles and message ids",
    '<form><div id="prompt-textarea" class="ProseMirror" contenteditable="true"></div>' +
    '<button data-testid="send-button" aria-label="Send prompt"></button></form>' +
    '<article data-testid="conversation-turn-1"><div data-message-author-role="user" data-message-id="u1">hi</div></article>' +
    '<article data-testid="conversation-turn-2"><div data-message-author-role="assistant" data-message-id="a1">hello</div>' +
    '<button data-testid="copy-turn-action-button"></button></article>',
    ({ L }) => {
      const composer = L.locateComposer();
      assert.equal(composer.rules.editor.selector, "#prompt-textarea");
      assert.equal(L.locateSend(composer.form).rule.kind, "test id");
      const [user, answer] = L.messages();
      assert.deepEqual([user.role, user.key, answer.role, answer.key], ["user", "u1:user", "assistant", "a1:assistant"]);
      assert.equal(L.locateCopy(L.answerControls(answer)).rule.kind, "test id");
    }],
  ["2026-03-20: turns in section[data-turn-id], roles kept",
    '<section data-turn-id="t1"><div data-message-author-role="user">hi</div></section>' +
    '<section data-turn-id="t2"><div data-message-author-role="assistant">hello</div><button aria-label="Copy"></button></section>',
    ({ L, $ }) => {
      const [user, answer] = L.messages();
      assert.equal(user.part, $('[data-turn-id="t1"]'));
      assert.equal(L.answerControls(answer).length, 1);
    }],
  ["2026-08-12: signed-out send button: #composer-submit-button, \"Send prompt\", send-button test id, no type",
    '<form><textarea></textarea><button id="composer-submit-button" aria-label="Send prompt" data-testid="send-button"></button></form>',
    ({ L, $ }) => assert.equal(L.sendButton(L.composer().form), $("#composer-submit-button"))],
  ["2026-08-14: stop-button and composer-plus-btn test ids still served",
    '<form><div class="ProseMirror" contenteditable="true"></div><button data-testid="composer-plus-btn"></button>' +
    '<button data-testid="stop-button" aria-label="Stop streaming"></button></form>',
    ({ L, $ }) => {
      const { form } = L.composer();
      assert.equal(L.stopButton(form, null), $('[data-testid="stop-button"]'));
      assert.equal(L.sendButton(form), null);
    }],
  ["2026-09-22: app-shell exchanges: user half by its bubble, answer unit, no author roles",
    shellExchange("make the file", "<p>Sure.</p>"),
    ({ L, $ }) => {
      const [user, answer] = L.messages();
      assert.deepEqual([user.role, answer.role], ["user", "assistant"]);
      assert.equal(L.userText(user), "make the file");
      assert.equal(answer.body, $('[data-content-search-unit-key$=":assistant"]'));
    }],
  ["2026-09-24: bare ProseMirror in form[data-chatgpt-composer]; send type=submit; stop in its slot, localized, no test id",
    SHELL_COMPOSER,
    ({ L, $, document }) => {
      const composer = L.locateComposer();
      assert.equal(composer.rules.form.selector, "form[data-chatgpt-composer]");
      const send = L.sendButton(composer.form);
      assert.equal(send, $('button[type="submit"]'));
      Object.assign(send, { type: "button" }).setAttribute("aria-label", "Parar");
      assert.equal(L.stopButton(composer.form, document.querySelector(".slot")), send);
    }],
  ["2026-09-25: completion bar .turn-action-controls beside the answer unit; the user half's bar is no answer control",
    shellExchange("make the file", "<p>Sure.</p>", { bar: false }),
    ({ L, $ }) => {
      const answer = L.messages()[1];
      assert.equal(L.answerControls(answer).length, 0, "the user half's Copy and Share are not the answer's");
      $("[data-turn-key]").insertAdjacentHTML("beforeend", '<div class="turn-action-controls"><button aria-label="Copy response"></button></div>');
      assert.equal(L.answerControls(answer).length, 1);
    }],
  ["2026-09: a Thinking/Activity block before any answer unit: the answer has begun, with nothing to read",
    // No capture shows the Activity block's markup: a plain element here.
    shellExchange("make the file", null, { bar: false }).replace("</h4>", '</h4><div class="activity"><button>Thinking</button></div>'),
    ({ L }) => {
      const answer = L.messages()[1];
      assert.deepEqual([answer.role, answer.body], ["assistant", null]);
    }],
  ["2026-10: stop found only by its label, in many languages, words not first",
    SHELL_COMPOSER,
    ({ L, $, document }) => {
      const button = $('button[type="submit"]');
      button.type = "button";
      for (const label of ["스트리밍 중지", "ストリーミングを停止", "Parar", "Yanıtı durdur"]) {
        button.setAttribute("aria-label", label);
        assert.equal(L.stopButton(L.composer().form, document.querySelector(".slot")), button, label);
      }
    }],
  ["2026-10: two file inputs (images, any file); an attachment chip \"Remove <name>\"",
    SHELL_COMPOSER.replace("<div class=\"ProseMirror\"", '<div class="chip"><span>a.txt</span><button aria-label="Remove a.txt"></button></div><div class="ProseMirror"'),
    ({ L, $ }) => {
      const { form } = L.composer();
      assert.equal(L.fileInput(form), $('input[accept="image/*"]'));
      assert.equal(L.attachmentTiles(form).length, 1);
    }],
  ["2026-10-09: the composer's \"Add files and more\" and \"Dictate\" are neither send nor stop",
    SHELL_COMPOSER,
    ({ L, $, document }) => {
      const { form } = L.composer();
      $('button[type="submit"]').remove();
      assert.equal(L.sendButton(form), null);
      assert.equal(L.stopButton(form, document.querySelector(".slot")), null);
      assert.equal(L.stopButton(form, form), null);
    }],
  ["2026-10-09: code blocks with <pre> and without on one page; the code block's button labelled \"Copy\" is not the answer's",
    shellExchange("x", '<pre><code class="language-js">a()</code></pre>' + agentBlock),
    ({ L, R }) => {
      const answer = L.messages()[1];
      assert.equal(R.replyText(answer.body), '```js\na()\n```\n\n```wendlebox\n{"status":"done","message":"ok"}\n```');
      assert.equal(L.answerControls(answer).length, 2);
      assert.equal(L.copyButtonByWords(L.answerControls(answer)).getAttribute("aria-label"), "Copy response");
    }],
  ["2026-08-16: sponsored content beside the answer body; an ad as a turn of its own",
    // No capture shows an ad turn's markup: a turn with a markdown body and
    // no user half here.
    shellExchange("x", "<p>Sure.</p>", { bar: false }).replace("<p>Sure.</p></div></div>",
      '<p>Sure.</p></div></div><aside aria-label=" Sponsored "><p>Buy</p><button aria-label="Hide ad"></button></aside>') +
    '<div data-turn-key="ad-1"><div class="markdown"><p>An ad</p></div></div>',
    ({ L, S }) => {
      const all = L.messages();
      assert.deepEqual([...all.map((m) => m.role)], ["user", "assistant"], "an ad turn is no message");
      const answer = all[1];
      assert.equal(L.answerControls(answer).length, 0, "the ad's buttons are no answer controls");
      const sent = { before: { keys: new Set(), bodies: new WeakSet() }, prompt: S.promptRecord("x", "inline") };
      assert.equal(S.locateSent(sent).answer.body, answer.body);
    }],
  ["2026-09-27: timestamp separators inside turns are no message text",
    shellExchange("make it", "<p>Sure.</p>").replace("<div><div data-user", '<div role="separator">Today</div><div><div data-user'),
    ({ L, R }) => {
      const [user, answer] = L.messages();
      assert.equal(L.userText(user), "make it");
      assert.equal(R.replyText(answer.body), "Sure.");
    }],
  ["2026-07-10: Cloudflare's bot-management script on a healthy page is no browser check; its interstitial is",
    SHELL_COMPOSER + '<script src="/cdn-cgi/challenge-platform/scripts/jsd/main.js"></script>',
    ({ L, document }) => {
      assert.equal(L.pageBlocker(), null);
      document.body.innerHTML = '<iframe src="https://challenges.cloudflare.com/cdn-cgi/challenge-platform/x"></iframe>';
      document.title = "Just a moment...";
      assert.match(L.pageBlocker().landmark, /challenge page \(challenge title\)/);
    }],
  ["2026-09-25: the signed-out page: transcript items with roles, a textarea, one button that is send and stop in turn",
    // No capture shows a form around the composer: a plain box here.
    '<header><button data-login-button>Log in</button></header><main data-logged-out><ol data-conversation-transcript>' +
    '<li id="u1" data-message-role="user">make the file</li>' +
    '<li id="pending-1" data-message-role="assistant" data-message-streaming><div data-assistant-markdown><p>Sure</p></div></li></ol>' +
    '<div><textarea id="mobile-composer-prompt"></textarea><button data-composer-submit data-send-label="Send" data-stop-label="Stop" ' +
    'aria-disabled="true"></button></div></main>',
    ({ L, $ }) => {
      const composer = L.composer();
      assert.equal(composer.editor, $("textarea"));
      const button = $("[data-composer-submit]");
      assert.equal(L.sendButton(composer.form), button);
      assert.equal(L.usable(button), false, "idle: aria-disabled, no disabled");
      button.setAttribute("data-stop-generating", "");
      button.type = "button";
      assert.equal(L.stopButton(composer.form, null), button);
      assert.equal(L.sendButton(composer.form), null);
      const [user, answer] = L.messages();
      assert.deepEqual([user.role, user.key, L.userText(user)], ["user", "u1:user", "make the file"]);
      assert.equal(answer.body, $("[data-assistant-markdown]"));
      assert.deepEqual([L.markedStreaming(answer), L.markedComplete(answer)], [true, false]);
      answer.part.removeAttribute("data-message-streaming");
      answer.part.setAttribute("data-message-complete", "");
      assert.deepEqual([L.markedStreaming(answer), L.markedComplete(answer)], [false, true]);
      assert.equal(L.signedOut(), true);
      assert.equal(L.fileInput(composer.form), null);
      assert.equal(L.pageBlocker(), null, "the header's login button is no login dialog");
    }],
  ["2026-09-29: the signed-out page's errors: \"Unable to connect. Retry\", its rate-limit and login dialogs",
    // The dialogs' content is not captured: a line of text here.
    '<ol data-conversation-transcript><li id="r" data-message-role="assistant"><button data-conversation-recovery-retry ' +
    'aria-description="Unable to connect. Retry">Retry</button></li></ol>',
    ({ L, document }) => {
      assert.deepEqual({ ...L.pageBlocker() }, { situation: 'ChatGPT could not answer: "Unable to connect. Retry"', landmark: "connection retry button" });
      document.body.innerHTML = '<div id="no-auth-soft-rate-limit-dialog" role="dialog"><p>You have hit the free limit.</p></div>';
      assert.equal(L.pageBlocker().landmark, "rate-limit notice");
      document.body.innerHTML = '<div id="modal-no-auth-login" role="dialog"><p>Log in to keep chatting.</p></div>';
      assert.equal(L.pageBlocker().landmark, "login dialog");
    }],
  ["2026-09-27: a generated image has no answer unit; the user's own picture is not it",
    // No capture shows a generated image's markup: an <img> in a plain box here.
    shellExchange('<img src="blob:mine">make a cat', null, { bar: false }),
    ({ L, $ }) => {
      const answer = L.messages()[1];
      assert.equal(L.answerImage(answer), null);
      $("[data-turn-key]").insertAdjacentHTML("beforeend", '<div class="image"><img alt="Generated image"></div>');
      assert.equal(L.answerImage(answer), $('img[alt="Generated image"]'));
    }],
  ["2026-09-27: the answer's Copy response / Good response / Share bar inside the answer unit is no answer text",
    shellExchange("x", '<p>Sure.</p><div><button aria-label="Copy response"></button><button aria-label="Good response">Good</button>' +
      '<button aria-label="Share">Share</button></div>', { bar: false }),
    ({ L, R }) => assert.equal(R.replyText(L.messages()[1].body), "Sure.")],
  ["undated: citation markers in the copied markdown; the copy still holds the code block the page shows",
    shellExchange("x", "<p>See the docs.</p>" + agentBlock),
    ({ L, Reading }) => {
      const copied = 'See the docs :contentReference[oaicite:0]{index=0}.\n\n```wendlebox\n{"status":"done","message":"ok"}\n```';
      assert.equal(Reading.holdsShownCode(copied, L.messages()[1].body), true);
      assert.equal(Reading.holdsShownCode("See the docs.", L.messages()[1].body), false);
    }],
];

for (const [fact, html, check] of landmarkRows) test(`landmarks: ${fact}`, async () => check(await page(html)));

// ---- Chat addresses ---------------------------------------------------------

const addressRows = [
  ["the new-chat page gets the server's address", "/", `/c/${ID}`, true],
  ["2026-09-24: a placeholder, then the server's address", `/c/local-chatgpt%3A${ID}`, `/c/${ID}`, true],
  ["a saved chat moved to another chat", `/c/${ID}`, "/c/11111111-2222-4333-8444-555555555555", false],
  ["2026-08-13: a new chat first at WEB:<uuid>", `/c/WEB:${ID.replace("0c0", "aaa")}`, `/c/${ID}`, true],
  ["2026-08-13: a new chat first at WEB%3A<uuid>", `/c/WEB%3A${ID.replace("0c0", "aaa")}`, `/c/${ID}`, true],
  ["2026-10: a new chat inside a Project", `/g/g-p-68a0/c/local-chatgpt%3A${ID.replace("0c0", "aaa")}`, `/g/g-p-68a0/c/${ID}`, true],
  ["a chat shown inside its Project is the same chat", `/c/${ID}`, `/g/g-p-68a0/c/${ID}`, true],
  ["2026-09-25: a visitor's chat gets its /uc/ address", "/", `/uc/${ID}`, true],
  ["a server's address moved to a placeholder is another chat", `/c/${ID}`, "/c/local-chatgpt%3Aabc", false],
  ["the chat left for a page that shows none", `/c/${ID}`, "/gpts", false],
  ["an address with no id names no chat", "/", "/c/", false],
];

test("addresses: which moves keep the chat", async () => {
  const { L } = await page("");
  for (const [fact, from, to, same] of addressRows) assert.equal(L.sameChat(from, to), same, fact);
  assert.equal(L.placeholderAddress(`/c/local-chatgpt%3A${ID}`), true);
  assert.equal(L.placeholderAddress(`/c/${ID}`), false);
  assert.equal(L.placeholderAddress(`/c/WEB:${ID}`), true);
  assert.equal(L.placeholderAddress(`/g/g-p-68a0/c/local-chatgpt%3A${ID}`), true);
});

// ---- Which message is the one sent -------------------------------------------

test("sent message: 2026-06-09 virtualized chat: older turns unmounted, the new one found by its text and kept by key", async () => {
  const older = shellExchange("make the file", "<p>old</p>", { key: "old-1" });
  const { S, L, document } = await page(older);
  const sent = { before: S.messagesBefore(), key: null, prompt: S.promptRecord("make the file", "inline") };
  assert.equal(S.locateSent(sent), null, "the same prompt sent before is not this one");
  document.querySelector("[data-turn-key]").remove();
  document.body.insertAdjacentHTML("beforeend", shellExchange("make the file", null, { bar: false, key: "new-1" }));
  const found = S.locateSent(sent);
  assert.equal(found.user.key, "new-1:user");
  assert.equal(sent.key, "new-1:user");
  assert.equal(L.messages().length, 2);
});

test("sent message: a long prompt shown cut short is the one sent; another text is not", async () => {
  const long = "Wendlebox tool results (JSON):\n" + "x".repeat(5000);
  const { S } = await page(shellExchange(long.slice(0, 300), null, { bar: false }));
  const before = { keys: new Set(), bodies: new WeakSet() };
  assert.ok(S.locateSent({ before, prompt: S.promptRecord(long, "inline") }));
  assert.equal(S.locateSent({ before, prompt: S.promptRecord("something else", "inline") }), null);
});

test("sent message: 2026-08-04 a prompt the page made a file; an exchange with only its card, no bubble (reported, not captured)", async () => {
  // No capture shows the file card's markup: a plain element here. That the
  // message has no text bubble is issue 40's report, not a dated capture.
  const { S, document } = await page(shellExchange("earlier", "<p>old</p>", { key: "old-1" }));
  const sent = { before: S.messagesBefore(), key: null, prompt: S.promptRecord("x".repeat(20000), "attached") };
  document.body.insertAdjacentHTML("beforeend", '<div data-turn-key="new-1"><div class="file-card">Pasted text.txt</div>' +
    '<span data-chatgpt-agent-turn-start hidden></span></div>');
  const found = S.locateSent(sent);
  assert.equal(found.user.key, "new-1:user");
  assert.equal(found.answer.body, null, "the answer has begun, with nothing yet");
  const inline = { before: { keys: new Set(["old-1:user"]), bodies: new WeakSet() }, prompt: S.promptRecord("x", "inline") };
  assert.equal(S.locateSent(inline), null, "an inline prompt is never a message with no text");
});

// ---- When the answer is complete ---------------------------------------------

// What the page shows at one look, as `see` reports it; rows change only
// what matters to them.
function seen(changes = {}) {
  return { found: { user: {}, answer: {} }, stopShown: false, streaming: false, streamStarted: 0, streamEnded: 0,
    text: "done", controls: 0, activity: "1:1", continueOffered: () => false, wholeAgentBlock: () => false,
    answerControlsOnPage: () => false, image: () => false, markedComplete: false, hasAnswer: true,
    usersShown: () => 'the page shows 1 user message, the last reading "You said:"', ...changes };
}

// Each row: the looks at the page, at their times (ms after the send), and
// the verdict of the last look.
const completionRows = [
  ["the page's stream ended and the text stayed", [[0, { streamStarted: 1, streaming: true, text: "do" }],
    [50, { streamStarted: 1, streamEnded: 40, text: "done" }], [200, { streamStarted: 1, streamEnded: 40 }]], "complete"],
  ["the stop control still shows", [[0, { streamEnded: 40, stopShown: true }], [5000, { streamEnded: 40, stopShown: true }]], "wait"],
  ["the text is still changing", [[0, { streamEnded: 40, text: "a" }], [50, { streamEnded: 40, text: "ab" }]], "wait"],
  ["2026-09-25: the answer's controls appeared and stayed", [[0, { controls: 2, streamStarted: 1 }], [150, { controls: 2, streamStarted: 1 }]], "complete"],
  ["controls that flash are no end", [[0, { controls: 2, streamStarted: 1 }], [50, { controls: 2, streamStarted: 1 }]], "wait"],
  ["no stream and no controls seen: a quiet whole agent block", [[0, { wholeAgentBlock: () => true }], [1200, { wholeAgentBlock: () => true }]], "complete"],
  ["no stream seen, but the page shows controls on answers: quiet is no end", [[0, { answerControlsOnPage: () => true }],
    [14_000, { answerControlsOnPage: () => true }]], "wait"],
  ["a thinking pause is no end", [[0, { text: "I will" }], [1200, { text: "I will" }]], "wait"],
  ["an answer cut short is continued", [[0, { continueOffered: () => true }], [200, { continueOffered: () => true }]], "continue"],
  ["the sent message gone for 15 seconds, named with what the page shows", [[0, { found: null }], [15_500, { found: null }]],
    "fail", /no longer shown on the page; the page shows 1 user message, the last reading "You said:"/],
  ["2026-09-25: the signed-out page marks the answer complete", [[0, { markedComplete: true, streamStarted: 1 }],
    [150, { markedComplete: true, streamStarted: 1 }]], "complete"],
  ["2026-09-25: a signed-out answer still marked streaming", [[0, { streaming: true, streamStarted: 1 }],
    [5000, { streaming: true, streamStarted: 1 }]], "wait"],
  ["2026-09: thinking with the stop control shown, no answer text yet", [[0, { text: null, stopShown: true }],
    [60_000, { text: null, stopShown: true }]], "wait"],
  ["2026-09-27: an answer stopped before any text renders nothing: reported within seconds",
    [[0, { text: null, stopShown: true }], [500, { text: null }], [2600, { text: null }]], "fail"],
  ["an answer ended with no text is not reported before it has held", [[0, { text: null, stopShown: true }], [500, { text: null }],
    [1500, { text: null }]], "wait"],
  ["2026-09-27: a generated image and no answer text: reported within seconds", [[0, { text: null, stopShown: true }],
    [100, { text: null, image: () => true }], [2200, { text: null, image: () => true }]], "fail"],
  // The watchdog: from the send, nothing watched changing for 15 seconds
  // while no stop control shows and no answer request is open.
  ["watchdog: no answer begun, nothing changes for 15 seconds", [[0, { text: null, hasAnswer: false, activity: "0:1" }],
    [15_500, { text: null, hasAnswer: false, activity: "0:1" }]], "fail", /did not begin an answer: nothing changed on the page for 15 seconds/],
  ["watchdog: a page that still changes is waited for", [[0, { text: null, activity: "0:1" }], [10_000, { text: null, activity: "0:2" }],
    [20_000, { text: null, activity: "0:2" }]], "wait"],
  ["issue 48: an answer stopped before any text whose unit keeps its heading, beside an earlier answer's controls",
    [[0, { text: "", answerControlsOnPage: () => true }], [15_500, { text: "", answerControlsOnPage: () => true }]], "fail",
    /answer ended with no text: the answer after the sent prompt is empty/],
  ["watchdog: text with no sign of completion beside answers with controls", [[0, { answerControlsOnPage: () => true }],
    [15_500, { answerControlsOnPage: () => true }]], "fail", /stopped before any sign that it is complete.*4 characters/],
  ["watchdog: a whole agent block that stays, beside answers with controls, is reported", [[0, { answerControlsOnPage: () => true,
    wholeAgentBlock: () => true }], [15_500, { answerControlsOnPage: () => true, wholeAgentBlock: () => true }]], "complete"],
  ["2026-10-21: a short reply finished before the first look: its controls are there at once", [[0, { controls: 3 }],
    [150, { controls: 3 }]], "complete"],
];

for (const [situation, looks, verdict, named] of completionRows) {
  test(`answer complete: ${situation} → ${verdict}`, async () => {
    const { A } = await page("");
    const tab = { streams: null, showsAnswerControls: false };
    const watch = A.newWatch({ at: 10 }, 10);
    let decision;
    for (const [at, changes] of looks) decision = A.judge(watch, tab, seen(changes), 10 + at);
    assert.equal(decision.verdict, verdict, JSON.stringify(decision));
    if (/image/.test(situation) && verdict === "fail") assert.match(decision.situation, /generated image/);
    if (named) assert.match(decision.situation, named);
  });
}

// ---- When a job is claimed and released ----------------------------------------

// A worker stand-in whose polls answer from a list, then as a program that
// could not prove itself (which ends the tab's polling).
function polls(...replies) {
  return () => replies.shift() || { status: 0, impostor: true };
}

test("jobs: a job is claimed before anything is done, and one claimed elsewhere is left alone", async () => {
  const { J, sent } = await page(SHELL_COMPOSER, { answers: {
    poll: polls({ status: 200, body: { id: 4, prompt: "", probe: true } }, { status: 200, body: { id: 5, prompt: "x" } }),
    claim: (message) => ({ claimed: message.id === 4 }), result: { status: 200 } } });
  await J.pollForever(J.newTab());
  assert.deepEqual(sent.map((m) => m.type), ["poll", "claim", "result", "poll", "claim", "poll"]);
  const result = sent[2].result;
  assert.equal(result.id, 4);
  assert.equal(result.url, "https://chatgpt.com/");
  assert.equal(JSON.parse(result.text).landmarks[0].found, true);
  assert.ok(!sent.some((m) => m.type === "sending"), "job 5 was not sent: another tab holds it");
});

test("jobs: after a reload a job never sent is released; one sent is followed to its answer", async () => {
  const released = await page("", { answers: { inflight: { inflight: { id: 7 } }, release: { ok: true } } });
  await released.J.resumeInflight(released.J.newTab());
  assert.deepEqual(JSON.parse(JSON.stringify(released.sent)), [{ type: "inflight" }, { type: "release", id: 7 }]);

  const prompt = released.S.promptRecord("make the file", "inline");
  const recovered = await page(shellExchange("make the file", agentBlock), { answers: {
    inflight: { inflight: { id: 8, prompt } }, current: () => new Promise(() => {}), result: { status: 200 } } });
  const tab = recovered.J.newTab();
  await recovered.J.resumeInflight(tab);
  const result = recovered.sent.find((m) => m.type === "result").result;
  assert.equal(result.id, 8);
  assert.equal(result.text, '```wendlebox\n{"status":"done","message":"ok"}\n```', JSON.stringify(result));
});

// The page's security policy blocks the page's world from reaching
// 127.0.0.1 (2026-08-05): only the worker talks to the program.
test("the scripts in the page never reach the program themselves", async () => {
  // messages.js names the program's address for the worker, which loads it too.
  for (const name of contentModules.concat("page_world.js").filter((name) => name !== "messages.js")) {
    const source = fs.readFileSync(path.join(extension, name), "utf8");
    assert.doesNotMatch(source, /127\.0\.0\.1|XMLHttpRequest|WebSocket|\.bridge\b/, name);
    if (name !== "page_world.js") assert.doesNotMatch(source, /\bfetch\(/, name);
  }
});
