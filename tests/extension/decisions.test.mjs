// The extension's decisions on page situations, one row per public fact
// about ChatGPT's page (the fact's date is in each row's name): where each
// landmark is, which message is the one sent, when an answer is complete,
// when a page blocks a job. The pages are the smallest markup that shows
// each fact; what no capture shows is said so in the row.
import { test } from "node:test";
import assert from "node:assert/strict";
import { extensionPage } from "./extension_dom.mjs";

const ID = "0c0ffee0-1234-4abc-8def-0123456789ab";

// A page with the extension's scripts loaded, and short names for them.
function page(html, options) {
  const loaded = extensionPage(html, options);
  const w = loaded.window;
  return { ...loaded, L: w.wendleboxLandmarks, S: w.wendleboxSent, A: w.wendleboxAnswer, R: w.wendleboxReplyText,
    $: (selector) => loaded.document.querySelector(selector) };
}

const SHELL_COMPOSER = '<form data-chatgpt-composer data-thread-find-composer="true">' +
  '<input type="file" accept="image/*" hidden><input type="file" hidden>' +
  '<button type="button" data-composer-navigation-target="add-context" aria-label="Add files and more"></button>' +
  '<div class="ProseMirror" contenteditable="true" data-composer-markdown aria-label="Ask ChatGPT" role="textbox"><p></p></div>' +
  '<button type="button" aria-label="Dictate"></button><span class="slot"><button type="submit" aria-label="Send"></button></span></form>';

// One exchange of the app shell: the user half by its bubble, the answer
// unit keyed "…:assistant" with its action bar beside it.
function shellExchange(prompt, answerHtml, { bar = true, key = ID } = {}) {
  return `<div data-turn-key="${key}"><div><div data-user-message-bubble><div class="whitespace-pre-wrap">${prompt}</div></div>` +
    '<div class="turn-action-controls"><button aria-label="Copy message"></button><button aria-label="Share"></button></div></div>' +
    '<span data-chatgpt-agent-turn-start hidden></span><h4 class="sr-only" data-conversation-role="assistant">ChatGPT said:</h4>' +
    (answerHtml === null ? "" : `<div data-content-search-unit-key="${key}:assistant"><div class="markdown">${answerHtml}</div></div>`) +
    (bar ? '<div class="turn-action-controls"><button aria-label="Copy response"></button><button aria-label="Good response"></button></div>' : "") +
    "</div>";
}

const agentBlock = '<div data-markdown-copy="code-block"><div><span>wendlebox</span><button aria-label="Copy">Copy</button></div>' +
  '<div><code>{"status":"done","message":"ok"}</code></div></div>';

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
];

for (const [fact, html, check] of landmarkRows) test(`landmarks: ${fact}`, () => check(page(html)));

// ---- Chat addresses ---------------------------------------------------------

const addressRows = [
  ["the new-chat page gets the server's address", "/", `/c/${ID}`, true],
  ["2026-09-24: a placeholder, then the server's address", `/c/local-chatgpt%3A${ID}`, `/c/${ID}`, true],
  ["a saved chat moved to another chat", `/c/${ID}`, "/c/11111111-2222-4333-8444-555555555555", false],
];

test("addresses: which moves keep the chat", () => {
  const { L } = page("");
  for (const [fact, from, to, same] of addressRows) assert.equal(L.sameChat(from, to), same, fact);
  assert.equal(L.placeholderAddress(`/c/local-chatgpt%3A${ID}`), true);
  assert.equal(L.placeholderAddress(`/c/${ID}`), false);
});

// ---- Which message is the one sent -------------------------------------------

test("sent message: 2026-06-09 virtualized chat: older turns unmounted, the new one found by its text and kept by key", () => {
  const older = shellExchange("make the file", "<p>old</p>", { key: "old-1" });
  const { S, L, document } = page(older);
  const sent = { before: S.messagesBefore(), key: null, prompt: S.promptRecord("make the file", "inline") };
  assert.equal(S.locateSent(sent), null, "the same prompt sent before is not this one");
  document.querySelector("[data-turn-key]").remove();
  document.body.insertAdjacentHTML("beforeend", shellExchange("make the file", null, { bar: false, key: "new-1" }));
  const found = S.locateSent(sent);
  assert.equal(found.user.key, "new-1:user");
  assert.equal(sent.key, "new-1:user");
  assert.equal(L.messages().length, 2);
});

test("sent message: a long prompt shown cut short is the one sent; another text is not", () => {
  const long = "Wendlebox tool results (JSON):\n" + "x".repeat(5000);
  const { S } = page(shellExchange(long.slice(0, 300), null, { bar: false }));
  const before = { keys: new Set(), bodies: new WeakSet() };
  assert.ok(S.locateSent({ before, prompt: S.promptRecord(long, "inline") }));
  assert.equal(S.locateSent({ before, prompt: S.promptRecord("something else", "inline") }), null);
});

// ---- When the answer is complete ---------------------------------------------

// What the page shows at one look, as `see` reports it; rows change only
// what matters to them.
function seen(changes = {}) {
  return { found: { user: {}, answer: {} }, stopShown: false, streaming: false, streamStarted: 0, streamEnded: 0,
    text: "done", controls: 0, activity: "1:1", continueOffered: () => false, wholeAgentBlock: () => false,
    answerControlsOnPage: () => false, ...changes };
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
    [25_000, { answerControlsOnPage: () => true }]], "wait"],
  ["a thinking pause is no end", [[0, { text: "I will" }], [1200, { text: "I will" }]], "wait"],
  ["an answer cut short is continued", [[0, { continueOffered: () => true }], [200, { continueOffered: () => true }]], "continue"],
  ["no progress for 90 seconds", [[0, { text: null, activity: "0:1" }], [91_000, { text: null, activity: "0:1" }]], "fail"],
  ["the sent message gone for 30 seconds", [[0, { found: null }], [31_000, { found: null }]], "fail"],
];

for (const [situation, looks, verdict] of completionRows) {
  test(`answer complete: ${situation} → ${verdict}`, () => {
    const { A } = page("");
    const tab = { streams: null, showsAnswerControls: false };
    const watch = A.newWatch({ at: 10 }, 10);
    let decision;
    for (const [at, changes] of looks) decision = A.judge(watch, tab, seen(changes), 10 + at);
    assert.equal(decision.verdict, verdict, JSON.stringify(decision));
  });
}
