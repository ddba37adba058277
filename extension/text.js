// The one walk over an element's text that every other module uses: the
// prompt a user message shows, the text the editor would send, code line
// by line, the answer rebuilt as markdown. Imports nothing.

const SKIPPED_TAGS = new Set(["BUTTON", "SVG", "STYLE", "SCRIPT", "TEMPLATE"]);
const tagOf = (element) => element.tagName.toUpperCase();
// Headings the page adds for screen readers and to say who wrote a
// message ("You said:", "ChatGPT said:"): never a message's words.
const HEADINGS = ["H1", "H2", "H3", "H4", "H5", "H6"];
const LABEL_HEADING = HEADINGS.map((h) => `${h}[data-conversation-role], ${h}[data-message-attribution]`).join(", ") + ", .sr-only";
// A message bubble may be a button (the signed-out page's): its words are text.
const WORDS_BUTTON = "[data-user-message-bubble]";

function skipped(element) {
  const tag = tagOf(element);
  if (SKIPPED_TAGS.has(tag)) return !(tag === "BUTTON" && element.matches(WORDS_BUTTON));
  return element.matches(LABEL_HEADING);
}

// The text of a node. Controls, pictures, scripts and the page's heading
// labels are never text; `rules.skip(element)` leaves out more, and
// `rules.element(element, inner)` may give an element's text itself
// (`inner()` is the text of its children), or undefined to walk on.
function textOf(node, rules = {}) {
  if (node.nodeType === 3) return node.nodeValue;
  if (node.nodeType !== 1 || skipped(node) || (rules.skip && rules.skip(node))) return "";
  const inner = () => {
    let text = "";
    for (const child of node.childNodes) text += textOf(child, rules);
    return text;
  };
  const own = rules.element ? rules.element(node, inner) : undefined;
  return own === undefined ? inner() : own;
}

// The text a person sees of a node, leaving out whatever `skipped` names.
const visibleText = (node, skipped) => textOf(node, { skip: skipped });

// Code, where lines may be <div>s (one per line) or split by <br>; an
// empty line holds a lone <br> placeholder, which is no text.
const CODE_LINES = {
  element(node) {
    if (tagOf(node) === "BR") return "\n";
    const lines = Array.from(node.children).filter((child) => tagOf(child) === "DIV");
    if (!lines.length || lines.length !== node.children.length) return undefined;
    return lines
      .map((line) => {
        const text = textOf(line, CODE_LINES);
        return line.lastChild && line.lastChild.nodeName.toUpperCase() === "BR" ? text.slice(0, -1) : text;
      })
      .join("\n");
  },
};

function codeText(code) {
  const text = textOf(code, CODE_LINES);
  return text.endsWith("\n") ? text.slice(0, -1) : text;
}

// An element's text so far, headings left out: the quick textContent
// unless a heading is inside.
const plainText = (node) => (node.querySelector(LABEL_HEADING) ? textOf(node) : node.textContent);

export { textOf, visibleText, codeText, tagOf, plainText, LABEL_HEADING as labelHeading };
