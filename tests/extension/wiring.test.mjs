// The extension's parts talk by message names: each name one side uses
// must be one the other side knows, or a message would vanish unanswered.
import { test } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import vm from "node:vm";
import { contentScripts, extension, extensionPage, poll } from "./extension_dom.mjs";

const source = (name) => fs.readFileSync(path.join(extension, name), "utf8");
// Every script of the content script's world, as one text.
const content = contentScripts.map(source).join("\n");
const all = (text, pattern) => new Set(Array.from(text.matchAll(pattern), (m) => m[1]));

test("every message the content script sends the worker has its name and a handler", () => {
  const context = {};
  vm.runInNewContext(source("messages.js"), context);
  const names = new Set(Object.keys(context.wendleboxMessages.worker));
  const sent = all(content, /type: M\.worker\.(\w+)/g);
  const handled = all(source("background.js"), /\[M\.worker\.(\w+)\]\(/g);
  assert.ok(sent.size > 0);
  for (const name of sent) {
    assert.ok(names.has(name), `${name} is not in messages.js`);
    assert.ok(handled.has(name), `the worker has no handler for ${name}`);
  }
});

test("the window messages of the page's world and the content script match", () => {
  const posted = (text) => all(text, /postMessage\(\{ wendlebox: "(\w+)"/g);
  const heard = (text) => all(text, /data\.wendlebox [!=]== "(\w+)"/g);
  const page = source("page_world.js");
  assert.deepEqual([...posted(page)].sort(), [...heard(content)].sort());
  assert.deepEqual([...posted(content)].sort(), [...heard(page)].sort());
});

// Only content.js acts when loaded: every other script only defines its
// names, so each can be loaded alone (after the scripts before it) and
// tested. Loading them sends nothing, listens to nothing and leaves the
// page as it was.
test("every content script but content.js loads without acting", () => {
  const html = '<main id="thread"><p>unchanged</p></main>';
  const { window, document, sent, listened } = extensionPage(html, { url: "https://chatgpt.com/#wendlebox=" + "a".repeat(32) });
  assert.deepEqual(sent, []);
  assert.deepEqual(listened, []);
  assert.equal(document.body.innerHTML, html);
  assert.equal(window.location.hash, "#wendlebox=" + "a".repeat(32));
  for (const name of ["Text", "Landmarks", "ReplyText", "Composer", "Probe", "Sent", "Answer", "Reading", "Jobs"])
    assert.ok(window[`wendlebox${name}`], `wendlebox${name} is defined`);
});

test("content.js starts the tab: the token leaves the address for the worker", async () => {
  const token = "0123456789abcdef0123456789abcdef";
  const { window, sent } = extensionPage("", { url: `https://chatgpt.com/c/x#wendlebox=${token}`, withContent: true,
    answers: { setToken: { ok: true }, inflight: { inflight: null }, poll: () => new Promise(() => {}) } });
  await poll(() => sent.some((m) => m.type === "poll"));
  assert.deepEqual(sent.slice(0, 3).map((m) => m.type), ["setToken", "inflight", "poll"]);
  assert.equal(sent[0].token, token);
  assert.equal(window.location.href, "https://chatgpt.com/c/x");
});
