// Rebuilds the plain text of a rendered ChatGPT answer, turning every code
// block back into a fenced block: "```" + language + "\n" + code + "\n```".
// The wendlebox agent block must come back exactly as ChatGPT wrote it.
// Code blocks are <pre> on older pages and [data-markdown-copy="code-block"]
// (no <pre>, a toolbar with the language and a copy button inside) on the
// current one.

import { textOf, visibleText, codeText, tagOf } from "./text.js";
import { selectors } from "./landmarks.js";

const { codeBlock: CODE_BLOCK, inlineCode: INLINE_CODE, codeContent: CODE_CONTENT } = selectors;
const BLOCK_TAGS = new Set([
  "P", "DIV", "SECTION", "ARTICLE", "H1", "H2", "H3", "H4", "H5", "H6",
  "BLOCKQUOTE", "TABLE", "TR", "HR",
]);

function codeRoot(pre) {
  for (const selector of CODE_CONTENT) {
    const found = pre.querySelector(selector);
    if (found) return found;
  }
  return pre;
}

function languageOf(pre, code) {
  const named = pre.closest("[data-language]") || pre.querySelector("[data-language]");
  if (named && named.getAttribute("data-language")) return named.getAttribute("data-language");
  for (const name of code.classList || []) {
    if (name.startsWith("language-")) return name.slice("language-".length);
  }
  if (code === pre) return "";
  // Newer renderings carry the language only as a label in the header.
  for (const element of pre.querySelectorAll("*")) {
    if (element.contains(code) || code.contains(element)) continue;
    const label = visibleText(element).trim().split(/\s+/)[0];
    if (label) return label;
  }
  return "";
}

// Code blocks are kept aside while the prose around them is tidied, so
// not one character inside them changes.
function fence(pre, blocks) {
  const code = codeRoot(pre);
  blocks.push("```" + languageOf(pre, code) + "\n" + codeText(code) + "\n```");
  return `\n\n\u0000${blocks.length - 1}\u0000\n\n`;
}

function listItems(list, rules) {
  let text = "\n";
  let number = Number(list.getAttribute("start") || 1);
  for (const item of list.children) {
    if (tagOf(item) !== "LI") continue;
    const marker = tagOf(list) === "OL" ? `${number++}. ` : "- ";
    text += marker + textOf(item, rules).trim().replace(/\n/g, "\n   ") + "\n";
  }
  return text + "\n";
}

// Markdown-like prose: blocks apart, list markers, inline code in
// backticks, table cells split by tabs, code blocks set aside in `blocks`.
function proseRules(blocks) {
  const rules = {
    element(node, inner) {
      const tag = tagOf(node);
      if (node.matches(CODE_BLOCK)) return fence(node, blocks);
      if (tag === "BR") return "\n";
      if (node.matches(INLINE_CODE)) return "`" + node.textContent + "`";
      if (tag === "UL" || tag === "OL") return listItems(node, rules);
      const text = inner();
      if (tag === "LI") return text;
      if (tag === "TD" || tag === "TH") return text + "\t";
      return BLOCK_TAGS.has(tag) ? "\n\n" + text + "\n\n" : text;
    },
  };
  return rules;
}

function replyText(element) {
  const blocks = [];
  const prose = textOf(element, proseRules(blocks))
    .replace(/\t\n/g, "\n")
    .replace(/\n{3,}/g, "\n\n")
    .trim();
  // NUL marks where a code block was set aside: no text on a page holds one.
  // eslint-disable-next-line no-control-regex
  return prose.replace(/\u0000(\d+)\u0000/g, (_, index) => blocks[Number(index)]);
}

// The text of the last code block as the page shows it, line by line
// (a viewer may render only some of the lines), or null without one.
function lastCodeBlockLines(element) {
  const blocks = Array.from(element.querySelectorAll(CODE_BLOCK)).filter((block) => !block.parentElement.closest(CODE_BLOCK));
  if (!blocks.length) return null;
  return codeText(codeRoot(blocks[blocks.length - 1])).split("\n");
}

export { replyText, lastCodeBlockLines };
