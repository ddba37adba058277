// Turns the skeleton in a `wendlebox --probe` report back into a page: the
// same elements, attributes and labels, with placeholder text where the
// page had text. Served as chatgpt.com in the tests (or opened by hand with
// the extension loaded), it shows what the extension finds on the page the
// report came from.
//   node tests/extension/skeleton_page.mjs wendlebox-probe-<time>.json > page.html
import fs from "node:fs";
import { fileURLToPath } from "node:url";

const VOID = new Set(["area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"]);
const escapeAttribute = (value) => value.replace(/&/g, "&amp;").replace(/"/g, "&quot;").replace(/</g, "&lt;");

function elementHtml(node) {
  const attributes = Object.entries(node.attributes || {})
    .map(([name, value]) => (value === "" ? ` ${name}` : ` ${name}="${escapeAttribute(value)}"`)).join("");
  if (VOID.has(node.tag)) return `<${node.tag}${attributes}>`;
  // A script is kept for its address only: it must not run.
  const inner = node.tag === "script" ? "" : (node.text ? "text " : "") + (node.children || []).map(nodeHtml).join("");
  return `<${node.tag}${attributes}>${inner}</${node.tag}>`;
}

function nodeHtml(node) {
  return elementHtml(node).repeat(node.repeat || 1);
}

export function pageFromSkeleton(skeleton) {
  const body = (skeleton.children || []).map(nodeHtml).join("");
  return `<!doctype html><html><head><meta charset="utf-8"><title>ChatGPT</title></head><body>${body}</body></html>`;
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  process.stdout.write(pageFromSkeleton(JSON.parse(fs.readFileSync(process.argv[2], "utf8")).skeleton) + "\n");
}
