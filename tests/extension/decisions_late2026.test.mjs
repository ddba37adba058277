// The extension's decisions on the page facts of October and November 2026
// (release notes of extensions that drive the page, which give no markup,
// and undated fixtures indexed with the October material), one row per
// fact. Where no source shows the markup, the row says what stands in.
import { test } from "node:test";
import assert from "node:assert/strict";
import { SHELL_COMPOSER, agentBlock, page, shellExchange } from "./decision_pages.mjs";

// No source shows the zero-size twin's markup: another editor in a box of
// no height here.
const TWIN = '<div style="height:0;overflow:hidden"><div class="ProseMirror" contenteditable="true" data-composer-markdown><p></p></div></div>';
const withTwinFirst = SHELL_COMPOSER.replace("<div class=\"ProseMirror\"", `${TWIN}<div class="ProseMirror"`);
const visible = '[aria-label="Ask ChatGPT"]';

const composerRows = [
  ["2026-11-11: a zero-size twin of the editor first in the composer: the rendered one is used", withTwinFirst],
  ["2026-11-11: the twin in a composer form of its own, first in the page", `<form data-chatgpt-composer>${TWIN}</form>${SHELL_COMPOSER}`],
  ["2026-11-11 (Panelize): an editor marked aria-hidden is not rendered", SHELL_COMPOSER.replace("<div class=\"ProseMirror\"",
    '<div class="ProseMirror" contenteditable="true" data-composer-markdown aria-hidden="true"></div><div class="ProseMirror"')],
  ["2026-11-11: an editor inside a hidden box is not rendered", SHELL_COMPOSER.replace("<div class=\"ProseMirror\"",
    '<div hidden><div class="ProseMirror" contenteditable="true" data-composer-markdown></div></div><div class="ProseMirror"')],
  // Not from a source: a fixed bar escapes the clip of a box of no size.
  ["a composer in a fixed bar inside a box of no size is rendered", SHELL_COMPOSER.replace(/^<form/, TWIN.replace(/<div class.*/,
    '<div style="position:fixed"><form')).replace(/<\/form>$/, "</form></div></div>")],
];

for (const [fact, html] of composerRows) {
  test(`composer: ${fact}`, async () => {
    const { L, $ } = await page(html);
    assert.equal(L.composer().editor, $(visible));
    const candidates = L.composerCandidates();
    assert.ok(candidates.every((c) => c.used || !c.rendered));
    const used = candidates.filter((c) => c.used);
    assert.deepEqual([used.length, used[0].element === $(visible), used[0].rendered], [1, true, true]);
    assert.equal(L.sendButton(L.composer().form), $('button[type="submit"]'));
  });
}

test("composer: 2026-11-11 an empty idle composer with no send button, its place holding the dictation button, is ready", async () => {
  const { C, L, $ } = await page(SHELL_COMPOSER.replace('<button type="submit" aria-label="Send"></button>', ""));
  const composer = await C.findComposer();
  assert.equal(composer.editor, $(visible));
  assert.equal(L.sendButton(composer.form), null);
});

// The page restores a prompt it sent into the composer after a reload
// (2026-11-24); a draft of the user's own is kept aside and put back.
const draftRows = [
  ["2026-11-24: the last user message's words, restored", "make the file", ""],
  ["2026-11-24: a long prompt this tab sent before the reload, restored whole", "x".repeat(3000) + " tail", ""],
  ["the user's own draft", "my half-written draft", "my half-written draft"],
  ["a draft that only begins like the sent prompt", "make the file bigger", "make the file bigger"],
];

test("composer: text sent already is emptied and not kept; the user's draft is kept", async () => {
  for (const [situation, held, kept] of draftRows) {
    const { C, J, S, $ } = await page(shellExchange("make the file", "<p>Done.</p>") + '<div class="composer">' +
      '<textarea id="mobile-composer-prompt"></textarea><button data-composer-submit aria-disabled="false"></button></div>');
    $("textarea").value = held;
    const tab = J.newTab();
    tab.sentPrompts.push(S.promptRecord("x".repeat(3000) + " tail", "inline"));
    const composer = await C.findComposer();
    const { draft } = await C.submit(composer, { prompt: "next prompt" }, async () => {}, J.sentAlready(tab));
    assert.equal(draft, kept, situation);
    assert.equal($("textarea").value, "next prompt", situation);
  }
});

test("composer: 2026-11-25 the composer's multi-file input; never a camera's, never one outside the composer", async () => {
  const { L, $ } = await page('<input type="file" multiple id="outside">' + SHELL_COMPOSER.replace('<input type="file" accept="image/*" hidden>',
    '<input type="file" accept="image/*" capture="environment" id="camera"><input type="file" accept="image/*" id="single">' +
    '<input type="file" accept="application/pdf" multiple id="documents"><input type="file" accept="image/*" multiple id="multi">'));
  assert.equal(L.fileInput(L.composer().form), $("#multi"));
  const inputs = L.fileInputs();
  assert.deepEqual(JSON.parse(JSON.stringify(inputs.map((i) => [i.element.id || "any", i.capture, i.multiple, i.inComposer, i.used]))), [
    ["outside", null, true, false, false], ["camera", "environment", false, true, false], ["single", null, false, true, false],
    ["documents", null, true, true, false], ["multi", null, true, true, true], ["any", null, false, true, false]]);
  $("#multi").remove();
  assert.equal(L.fileInput(L.composer().form), $("#single"), "with no multi-file input, one that takes pictures");
});

// No source shows the chip's markup beyond "Remove <name>" (2026-10): a box
// with the name, or with a preview only, here. The page drops the chip
// `drops` times after showing it (2026-11-25: "hydration drops").
async function attachOnce({ drops, chip }) {
  const { C, L, $, window, document } = await page(SHELL_COMPOSER);
  window.DataTransfer = class {
    constructor() {
      this.files = [];
      this.items = { add: (file) => this.files.push(file) };
    }
  };
  const input = L.fileInput(L.composer().form);
  Object.defineProperty(input, "files", { set() {}, get: () => [] });
  let given = 0;
  input.addEventListener("change", () => {
    given++;
    const tile = document.createElement("div");
    tile.innerHTML = chip;
    $("form").prepend(tile.firstChild);
    if (given <= drops) setTimeout(() => $("form").firstChild.remove(), 30);
  });
  const attachment = { name: "pic.png", mime: "image/png", base64: "iVBORw0KGgo=" };
  const result = await C.attach(L.composer().form, [attachment]).then(() => "staged", (error) => error.message);
  return { result, given };
}

const chipRows = [
  ["2026-10: a chip that names the file", { drops: 0, chip: '<div><span>pic.png</span><button aria-label="Remove pic.png"></button></div>' },
    { result: "staged", given: 1 }],
  ["2026-11-25: a chip with a preview only", { drops: 0, chip: '<div data-testid="file-tile"><img src="blob:x"></div>' },
    { result: "staged", given: 1 }],
  ["2026-11-25: a chip that vanishes once: the file is given again", { drops: 1, chip: '<div><button aria-label="Remove pic.png"></button></div>' },
    { result: "staged", given: 2 }],
  ["2026-11-25: a chip that vanishes twice: a named error", { drops: 2, chip: '<div><button aria-label="Remove pic.png"></button></div>' },
    { result: "the page did not take the attachment pic.png [step: attach images; landmark: attachment chip in the composer " +
      "(the file's name or a preview)]", given: 2 }],
];

for (const [fact, pageDoes, outcome] of chipRows) {
  test(`attachments: ${fact}`, async () => assert.deepEqual(await attachOnce(pageDoes), outcome));
}

// ---- Messages ------------------------------------------------------------------

// The second unit name, from a completion-chime extension's fixtures
// (undated, indexed with October 2026 material). No fixture shows whether
// these units stand in a [data-turn-key] exchange: here they do not.
const SEARCH_UNITS = '<div class="thread"><div class="turn">' +
  '<div data-chatgpt-search-unit-key="fallback-turn-0:1:user" data-chatgpt-search-message-ids="u-1">' +
  '<div data-user-message-bubble><div class="whitespace-pre-wrap">make the file</div></div></div>' +
  '<div class="turn-action-controls"><button aria-label="Copy message"></button></div></div><div class="turn">' +
  '<div data-chatgpt-search-unit-key="fallback-turn-0:2:assistant" data-chatgpt-search-message-ids="a-1">' +
  '<h4 class="sr-only" data-conversation-role="assistant">ChatGPT said:</h4>' +
  `<div data-markdown-text-style="assistant-message"><p>Sure.</p>${agentBlock}</div></div>` +
  '<div class="turn-action-controls"><button aria-label="Copy response"></button></div></div></div>';

test("messages: undated (Oct 2026) the second unit name, its message ids, the body by its text style", async () => {
  const { L, S, R, $, document } = await page(SEARCH_UNITS);
  const [user, answer] = L.messages();
  assert.deepEqual([user.role, user.key, L.userText(user)], ["user", "u-1:user", "make the file"]);
  assert.deepEqual([answer.role, answer.key], ["assistant", "a-1:assistant"]);
  assert.equal(answer.body, $('[data-markdown-text-style="assistant-message"]'));
  assert.equal(R.replyText(answer.body), 'Sure.\n\n```wendlebox\n{"status":"done","message":"ok"}\n```');
  assert.deepEqual(Array.from(L.answerControls(answer), (b) => b.getAttribute("aria-label")), ["Copy response"]);
  // As the answer ends, its unit is drawn anew with its selection id: the
  // same answer, after the sent message.
  const sent = { before: { keys: new Set(), bodies: new WeakSet() }, prompt: S.promptRecord("make the file", "inline") };
  assert.equal(S.locateSent(sent).answer.key, "a-1:assistant");
  const unit = document.querySelector('[data-chatgpt-search-unit-key$=":assistant"]');
  const redrawn = unit.cloneNode(true);
  redrawn.setAttribute("data-chatgpt-selection-message-id", "a-final");
  unit.replaceWith(redrawn);
  const found = S.locateSent(sent);
  assert.deepEqual([found.answer.key, found.answer.body], ["a-final:assistant", redrawn.lastChild]);
});

// The signed-out page as captured (2026-09-25 to 2026-10-07): headings
// h4[data-message-attribution] ("You said:"; the answer's heading text is
// not captured) and the user's words in a <button> bubble.
const SIGNED_OUT = '<main data-logged-out><ol data-conversation-transcript><li id="u1" data-message-role="user">' +
  '<h4 data-message-attribution>You said:</h4><button data-user-message-bubble><p data-user-message-copy>make the file</p></button></li>' +
  '<li id="pending-1" data-message-role="assistant" data-message-streaming><h4 data-message-attribution>ChatGPT said:</h4>' +
  '<div data-assistant-markdown><p data-assistant-stream-block data-assistant-stream-block-index="0">Sure.</p></div></li></ol></main>';

test("messages: 2026-09-25 the signed-out page's headings are no text; the words in its button bubble are", async () => {
  const { L, S, document } = await page(SIGNED_OUT);
  const [user, answer] = L.messages();
  assert.equal(L.userText(user), "make the file");
  assert.equal(L.answerText(answer), "Sure.");
  const sent = { before: { keys: new Set(), bodies: new WeakSet() }, prompt: S.promptRecord("make the file", "inline") };
  assert.equal(S.locateSent(sent).answer.body, answer.body);
  // Not captured: the complete answer in a new item with another id.
  const item = document.querySelector("#pending-1");
  const done = item.cloneNode(true);
  done.id = "m-1";
  done.removeAttribute("data-message-streaming");
  done.setAttribute("data-message-complete", "");
  item.replaceWith(done);
  const found = S.locateSent(sent);
  assert.deepEqual([found.answer.key, L.markedComplete(found.answer), L.answerText(found.answer)], ["m-1:assistant", true, "Sure."]);
});

test("messages: issue 48 an answer stopped before any text, whose unit keeps its heading, has no text", async () => {
  const { L, R } = await page(shellExchange("make the file", null).replace('<div class="turn-action-controls"><button aria-label="Copy response">',
    `<div data-content-search-unit-key="x:assistant"><h4 class="sr-only" data-conversation-role="assistant">ChatGPT said:</h4>` +
    '<div data-markdown-text-style="assistant-message"></div></div><div class="turn-action-controls"><button aria-label="Copy response">'));
  const answer = L.messages()[1];
  assert.equal(L.answerText(answer), "");
  assert.equal(R.replyText(answer.body), "");
});

test("messages: 2026-09 desktop app: the web shell's markup in a timeline scroller of virtualized turns", async () => {
  // The adapter names the scroller and the turn content; how they nest is
  // not shown: the scroller around the turns here.
  const { L } = await page('<div data-app-action-timeline-scroll><div data-virtualized-turn-content>' +
    shellExchange("make the file", "<p>Sure.</p>") + "</div></div>" + SHELL_COMPOSER);
  const [user, answer] = L.messages();
  assert.deepEqual([L.userText(user), L.answerText(answer), L.answerControls(answer).length], ["make the file", "Sure.", 2]);
  assert.ok(L.composer());
});
