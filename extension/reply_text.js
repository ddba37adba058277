// Rebuilds the plain text of a rendered ChatGPT answer, turning every code
// block back into a fenced block: "```" + language + "\n" + code + "\n```".
// The wendlebox agent block must come back exactly as ChatGPT wrote it.
// Code blocks are <pre> on older pages and [data-markdown-copy="code-block"]
// (no <pre>, a toolbar with the language and a copy button inside) on the
// current one. Also the one walker for the text a person sees of an element.

(function (root) {
  const BLOCK_TAGS = new Set([
    "P", "DIV", "SECTION", "ARTICLE", "H1", "H2", "H3", "H4", "H5", "H6",
    "BLOCKQUOTE", "TABLE", "TR", "HR",
  ]);
  const SKIPPED_TAGS = new Set(["BUTTON", "SVG", "STYLE", "SCRIPT", "TEMPLATE"]);
  const CODE_BLOCK = 'pre, [data-markdown-copy="code-block"]';
  const INLINE_CODE = 'code, [data-markdown-copy="inline-code"]';

  // The element holding the code: a <code> element in the classic
  // rendering, the content area of a CodeMirror-style viewer, an editor
  // that names its language, else the whole block.
  function codeRoot(pre) {
    return pre.querySelector("code") || pre.querySelector(".cm-content, [data-code-content]") ||
      pre.querySelector("[data-language]") || pre;
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

  // The text a person sees of a node: controls, pictures and scripts left
  // out, and whatever `skipped` names.
  function visibleText(node, skipped = () => false) {
    if (node.nodeType === 3) return node.nodeValue;
    if (node.nodeType !== 1 || SKIPPED_TAGS.has(node.tagName.toUpperCase()) || skipped(node)) return "";
    let text = "";
    for (const child of node.childNodes) text += visibleText(child, skipped);
    return text;
  }

  // Code text where lines may be <div>s (one per line) or split by <br>.
  function lineText(node) {
    if (node.nodeType === 3) return node.nodeValue;
    if (node.nodeType !== 1) return "";
    const tag = node.tagName.toUpperCase();
    if (SKIPPED_TAGS.has(tag)) return "";
    if (tag === "BR") return "\n";
    const lineChildren = Array.from(node.children).filter((child) => child.tagName.toUpperCase() === "DIV");
    if (lineChildren.length && lineChildren.length === node.children.length) {
      // An empty line holds a lone <br> placeholder, which is no text.
      return lineChildren
        .map((line) => {
          const text = lineText(line);
          return line.lastChild && line.lastChild.nodeName.toUpperCase() === "BR" ? text.slice(0, -1) : text;
        })
        .join("\n");
    }
    let text = "";
    for (const child of node.childNodes) text += lineText(child);
    return text;
  }

  function codeText(code) {
    const text = lineText(code);
    return text.endsWith("\n") ? text.slice(0, -1) : text;
  }

  // Code blocks are kept aside while the prose around them is tidied, so
  // not one character inside them changes.
  function fence(pre, blocks) {
    const code = codeRoot(pre);
    blocks.push("```" + languageOf(pre, code) + "\n" + codeText(code) + "\n```");
    return `\n\n\u0000${blocks.length - 1}\u0000\n\n`;
  }

  function listItems(list, blocks) {
    let text = "\n";
    let number = Number(list.getAttribute("start") || 1);
    for (const item of list.children) {
      if (item.tagName.toUpperCase() !== "LI") continue;
      const marker = list.tagName.toUpperCase() === "OL" ? `${number++}. ` : "- ";
      text += marker + render(item, blocks).trim().replace(/\n/g, "\n   ") + "\n";
    }
    return text + "\n";
  }

  function render(node, blocks) {
    if (node.nodeType === 3) return node.nodeValue;
    if (node.nodeType !== 1) return "";
    const tag = node.tagName.toUpperCase();
    if (SKIPPED_TAGS.has(tag)) return "";
    if (node.matches(CODE_BLOCK)) return fence(node, blocks);
    if (tag === "BR") return "\n";
    if (node.matches(INLINE_CODE)) return "`" + node.textContent + "`";
    if (tag === "UL" || tag === "OL") return listItems(node, blocks);
    let text = "";
    for (const child of node.childNodes) text += render(child, blocks);
    if (tag === "LI") return text;
    if (tag === "TD" || tag === "TH") return text + "\t";
    return BLOCK_TAGS.has(tag) ? "\n\n" + text + "\n\n" : text;
  }

  function wendleboxReplyText(element) {
    const blocks = [];
    const prose = render(element, blocks)
      .replace(/\t\n/g, "\n")
      .replace(/\n{3,}/g, "\n\n")
      .trim();
    return prose.replace(/\u0000(\d+)\u0000/g, (_, index) => blocks[Number(index)]);
  }

  // The text of the last code block as the page shows it, line by line
  // (a viewer may render only some of the lines), or null without one.
  function lastCodeBlockLines(element) {
    const blocks = Array.from(element.querySelectorAll(CODE_BLOCK)).filter((block) => !block.parentElement.closest(CODE_BLOCK));
    if (!blocks.length) return null;
    return codeText(codeRoot(blocks[blocks.length - 1])).split("\n");
  }

  root.wendleboxReplyText = wendleboxReplyText;
  root.wendleboxLastCodeBlockLines = lastCodeBlockLines;
  root.wendleboxVisibleText = visibleText;
  root.wendleboxCodeText = codeText;
  if (typeof module === "object" && module.exports) module.exports = { wendleboxReplyText, lastCodeBlockLines, visibleText };
})(typeof globalThis !== "undefined" ? globalThis : this);
