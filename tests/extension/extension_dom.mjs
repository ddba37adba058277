// The extension's content script loaded into a jsdom page: its modules,
// as they are in the source tree, imported into the page's global (each
// page gets its own), with a small stand-in for the extension API that
// records every message to the worker and answers from a table. content.js,
// the one module that acts when loaded, is left out unless asked for.
// (Node links the modules here as the build joins them: a missing module
// or export fails the load.)
import fs from "node:fs";
import path from "node:path";
import vm from "node:vm";
import { fileURLToPath } from "node:url";
import { JSDOM } from "jsdom";

export const extension = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../../extension");
const manifest = JSON.parse(fs.readFileSync(path.join(extension, "manifest.json"), "utf8"));
// The content script's entry module, and every module it imports.
const [contentEntry] = manifest.content_scripts.find((entry) => !entry.world).js;
export function moduleGraph(entry) {
  const files = [];
  const visit = (file) => {
    if (files.includes(file)) return;
    files.push(file);
    const source = fs.readFileSync(path.join(extension, file), "utf8");
    for (const [, imported] of source.matchAll(/^import .* from "\.\/([\w.]+)";$/gm)) visit(imported);
  };
  visit(entry);
  return files;
}
export const contentModules = moduleGraph(contentEntry);

// `answers` maps a worker message type to its answer (a value, or a
// function of the message). `modules` maps each file to what it exports.
export async function extensionPage(html = "", { url = "https://chatgpt.com/", answers = {}, withContent = false } = {}) {
  const dom = new JSDOM(`<!doctype html><html><head><title>ChatGPT</title></head><body>${html}</body></html>`,
    { url, runScripts: "outside-only", pretendToBeVisual: true });
  const window = dom.window;
  // jsdom lays nothing out: an element here has a size unless it is
  // styled to none (width or height 0), or a box around it is not shown
  // (display none). As in a browser, a box of no size does not shrink
  // what overflows it.
  window.HTMLElement.prototype.getBoundingClientRect = function () {
    let drawn = this.style.width !== "0px" && this.style.height !== "0px";
    for (let box = this; box && box.style; box = box.parentElement) if (box.style.display === "none") drawn = false;
    const [width, height] = drawn ? [200, 24] : [0, 0];
    return { x: 0, y: 0, top: 0, left: 0, right: width, bottom: height, width, height };
  };
  const sent = [];
  // Listeners the scripts add to the page, by event type.
  const listened = [];
  const addEventListener = window.addEventListener.bind(window);
  window.addEventListener = (type, ...rest) => {
    listened.push(type);
    return addEventListener(type, ...rest);
  };
  window.chrome = {
    runtime: {
      sendMessage(message) {
        sent.push(message);
        const answer = answers[message.type];
        return Promise.resolve(typeof answer === "function" ? answer(message) : answer);
      },
      getManifest: () => manifest,
    },
  };
  const context = dom.getInternalVMContext();
  const loaded = new Map();
  const load = (file) => {
    if (!loaded.has(file)) {
      const source = fs.readFileSync(path.join(extension, file), "utf8");
      loaded.set(file, file.endsWith(".json")
        ? new vm.SyntheticModule(["default"], function () { this.setExport("default", JSON.parse(source)); }, { context, identifier: file })
        : new vm.SourceTextModule(source, { context, identifier: file }));
    }
    return loaded.get(file);
  };
  await load(contentEntry).link((specifier) => load(specifier.replace(/^\.\//, "")));
  for (const [file, module] of loaded) if (file !== contentEntry || withContent) await module.evaluate();
  const modules = Object.fromEntries(Array.from(loaded, ([file, module]) => [file, module.namespace]));
  return { window, document: window.document, sent, listened, dom, modules };
}

// Resolves once `find` returns something, checking at each turn of the
// event loop; fails after `limitMs`.
export async function poll(find, limitMs = 5000) {
  const deadline = Date.now() + limitMs;
  for (;;) {
    const found = find();
    if (found) return found;
    if (Date.now() > deadline) throw new Error("timed out");
    await new Promise((resolve) => setTimeout(resolve, 5));
  }
}
