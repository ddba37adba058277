// The extension's parts talk by window messages between the page's world
// and the content script (page_world.js imports nothing, so its names are
// read from its text), and the content script starts only from content.js.
// (The worker's message names are checked in worker.test.mjs.)
import { test } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import { contentModules, extension, extensionPage, poll } from "./extension_dom.mjs";

const source = (name) => fs.readFileSync(path.join(extension, name), "utf8");
// Every module of the content script, as one text.
const content = contentModules.map(source).join("\n");
const all = (text, pattern) => new Set(Array.from(text.matchAll(pattern), (m) => m[1]));

test("the window messages of the page's world and the content script match", () => {
  const posted = (text) => all(text, /postMessage\(\{ wendlebox: "(\w+)"/g);
  const heard = (text) => all(text, /data\.wendlebox [!=]== "(\w+)"/g);
  const page = source("page_world.js");
  assert.deepEqual([...posted(page)].sort(), [...heard(content)].sort());
  assert.deepEqual([...posted(content)].sort(), [...heard(page)].sort());
});

// Only content.js acts when loaded: every other module only defines its
// names, so each can be imported alone and tested. Importing them sends
// nothing, listens to nothing and leaves the page as it was.
test("every module of the content script but content.js loads without acting", async () => {
  const html = '<main id="thread"><p>unchanged</p></main>';
  const { window, document, sent, listened, modules } = await extensionPage(html, { url: "https://chatgpt.com/#wendlebox=" + "a".repeat(32) });
  assert.deepEqual(sent, []);
  assert.deepEqual(listened, []);
  assert.equal(document.body.innerHTML, html);
  assert.equal(window.location.hash, "#wendlebox=" + "a".repeat(32));
  assert.ok(contentModules.length > 10);
  for (const file of contentModules.filter((file) => file !== "content.js"))
    assert.ok(Object.keys(modules[file]).length > 0 || file.endsWith(".json"), `${file} exports its names`);
});

test("content.js starts the tab: the token leaves the address for the worker", async () => {
  const token = "0123456789abcdef0123456789abcdef";
  const { window, sent } = await extensionPage("", { url: `https://chatgpt.com/c/x#wendlebox=${token}`, withContent: true,
    answers: { setToken: { ok: true }, inflight: { inflight: null }, poll: () => new Promise(() => {}) } });
  await poll(() => sent.some((m) => m.type === "poll"));
  assert.deepEqual(sent.slice(0, 3).map((m) => m.type), ["setToken", "inflight", "poll"]);
  assert.equal(sent[0].token, token);
  assert.equal(window.location.href, "https://chatgpt.com/c/x");
});

// The port of a session after the first goes to the worker with the token;
// an address naming a port no session has (or two ports) starts nothing.
test("content.js hands the worker the address's port, and ignores an address with a hostile one", async () => {
  const token = "0123456789abcdef0123456789abcdef";
  const answers = { setToken: { ok: true }, inflight: { inflight: null }, poll: () => new Promise(() => {}) };
  const second = await extensionPage("", { url: `https://chatgpt.com/#wendlebox=${token}&port=47834`, withContent: true, answers });
  await poll(() => second.sent.some((m) => m.type === "poll"));
  assert.equal(JSON.stringify(second.sent[0]), JSON.stringify({ type: "setToken", token, port: "47834" }));
  for (const hash of ["&port=22", "&port=47853", "&port=4783%34", "&port=47834&port=22"]) {
    const page = await extensionPage("", { url: `https://chatgpt.com/#wendlebox=${token}${hash}`, withContent: true, answers });
    // The address is judged before the content script first waits, so it
    // has sent all it ever will once it is loaded.
    assert.deepEqual(page.sent, [], hash);
    assert.equal(page.window.location.href, "https://chatgpt.com/");  // the token is gone from the page's sight
  }
});
