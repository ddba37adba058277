// Rebuilds the plain text of a rendered ChatGPT answer, turning every code
// block back into a fenced block: "```" + language + "\n" + code + "\n```".
// The wendlebox agent block must come back exactly as ChatGPT wrote it.

(function (root) {
  const BLOCK_TAGS = new Set([
    "P", "DIV", "SECTION", "ARTICLE", "H1", "H2", "H3", "H4", "H5", "H6",
    "BLOCKQUOTE", "TABLE", "TR", "HR",
  ]);
  const SKIPPED_TAGS = new Set(["BUTTON", "SVG", "STYLE", "SCRIPT", "TEMPLATE"]);

  function languageOf(pre, code) {
    const owner = code || pre;
    for (const name of owner.classList || []) {
      if (name.startsWith("language-")) return name.slice("language-".length);
    }
    // Newer renderings carry the language only as a label in the header.
    for (const element of pre.querySelectorAll("*")) {
      if (code && (element.contains(code) || code.contains(element))) continue;
      const label = visibleText(element).trim().split(/\s+/)[0];
      if (label) return label;
    }
    return "";
  }

  function visibleText(node) {
    if (node.nodeType === 3) return node.nodeValue;
    if (node.nodeType !== 1 || SKIPPED_TAGS.has(node.tagName.toUpperCase())) return "";
    let text = "";
    for (const child of node.childNodes) text += visibleText(child);
    return text;
  }

  function codeText(pre, code) {
    const text = visibleText(code || pre);
    return text.endsWith("\n") ? text.slice(0, -1) : text;
  }

  // Code blocks are kept aside while the prose around them is tidied, so
  // not one character inside them changes.
  function fence(pre, blocks) {
    const code = pre.querySelector("code");
    blocks.push("```" + languageOf(pre, code) + "\n" + codeText(pre, code) + "\n```");
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
    if (tag === "PRE") return fence(node, blocks);
    if (tag === "BR") return "\n";
    if (tag === "CODE") return "`" + node.textContent + "`";
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

  root.wendleboxReplyText = wendleboxReplyText;
  if (typeof module === "object" && module.exports) module.exports = { wendleboxReplyText };
})(typeof globalThis !== "undefined" ? globalThis : this);
