// The extension's parts talk by message names: each name one side uses
// must be one the other side knows, or a message would vanish unanswered.
import { test } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import path from "node:path";
import vm from "node:vm";
import { fileURLToPath } from "node:url";

const extension = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../../extension");
const source = (name) => fs.readFileSync(path.join(extension, name), "utf8");
const all = (text, pattern) => new Set(Array.from(text.matchAll(pattern), (m) => m[1]));

test("every message the content script sends the worker has its name and a handler", () => {
  const context = {};
  vm.runInNewContext(source("messages.js"), context);
  const names = new Set(Object.keys(context.wendleboxMessages.worker));
  const sent = all(source("content.js"), /type: M\.worker\.(\w+)/g);
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
  const content = source("content.js");
  assert.deepEqual([...posted(page)].sort(), [...heard(content)].sort());
  assert.deepEqual([...posted(content)].sort(), [...heard(page)].sort());
});
