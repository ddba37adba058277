// wendleboxReplyText on DOM fixtures shaped like ChatGPT's rendered answers.
import { test } from "node:test";
import assert from "node:assert/strict";
import { extensionPage } from "./extension_dom.mjs";

const { window, modules } = await extensionPage();
const { replyText: wendleboxReplyText, lastCodeBlockLines } = modules["reply_text.js"];

function answer(html) {
  const holder = window.document.createElement("div");
  holder.innerHTML = `<div data-message-author-role="assistant"><div class="markdown prose">${html}</div></div>`;
  return holder.firstChild;
}

// A code block as ChatGPT renders it: a header with the language and a
// copy button, then highlighted code.
function codeBlock(language, code, { languageClass = true } = {}) {
  const escaped = code.replace(/&/g, "&amp;").replace(/</g, "&lt;");
  const spans = escaped.replace(/"([^"]*)"/g, '<span class="hljs-string">"$1"</span>');
  return `<pre class="!overflow-visible"><div class="contain-inline-size rounded-md">` +
    `<div class="flex items-center text-token-text-secondary px-4 py-2 text-xs">${language}` +
    `<div class="sticky"><button class="flex gap-1"><svg></svg>Copy code</button></div></div>` +
    `<div class="overflow-y-auto p-4" dir="ltr"><code class="${languageClass ? `language-${language} ` : ""}` +
    `whitespace-pre!">${spans}\n</code></div></div></pre>`;
}

const agentJson = '{"status":"continue","message":"Writing it.","actions":[{"type":"write_file","path":"a.md","content":"# Title\\n\\n\\n\\nend"}]}';

test("a code block with header and copy button comes back as a fenced block", () => {
  const text = wendleboxReplyText(answer(`<p>Here you go.</p>${codeBlock("wendlebox", agentJson)}<p>Done.</p>`));
  assert.equal(text, "Here you go.\n\n```wendlebox\n" + agentJson + "\n```\n\nDone.");
});

test("several blocks keep their own languages", () => {
  const text = wendleboxReplyText(answer(codeBlock("js", "let a = 1;") + codeBlock("wendlebox", '{"status":"done"}')));
  assert.equal(text, '```js\nlet a = 1;\n```\n\n```wendlebox\n{"status":"done"}\n```');
});

test("inline code and lists keep their markdown", () => {
  const text = wendleboxReplyText(answer(
    "<p>Run <code>make test</code> then:</p><ul><li>check <strong>this</strong></li><li>and that</li></ul>" +
    '<ol start="3"><li>three</li><li>four</li></ol>'));
  assert.equal(text, "Run `make test` then:\n\n- check this\n- and that\n\n3. three\n4. four");
});

test("a block whose JSON holds backticks and blank lines comes back byte for byte", () => {
  const json = '{"status":"continue","actions":[{"type":"write_file","path":"r.md","content":"```js\\nx\\n```"}]}\n\n\n\n';
  const text = wendleboxReplyText(answer(codeBlock("wendlebox", json)));
  assert.equal(text, "```wendlebox\n" + json + "\n```");
});

test("without a language class the header label names the language", () => {
  const text = wendleboxReplyText(answer(codeBlock("wendlebox", '{"status":"done"}', { languageClass: false })));
  assert.equal(text, '```wendlebox\n{"status":"done"}\n```');
});

test("a bare pre without header or class gives an unlabelled fence", () => {
  const text = wendleboxReplyText(answer("<pre>plain\ntext</pre>"));
  assert.equal(text, "```\nplain\ntext\n```");
});

// Newer renderings: a read-only viewer whose lines are <div>s, with the
// language only in the header label, or lines split by <br>.
function viewerBlock(label, lines, { lineTag = "div" } = {}) {
  const body = lineTag === "div"
    ? lines.map((line) => `<div class="cm-line">${line.replace(/</g, "&lt;") || "<br>"}</div>`).join("")
    : lines.map((line) => `<span>${line.replace(/</g, "&lt;")}</span>`).join("<br>");
  return `<pre><div class="header"><span>${label}</span><button>Copy</button></div>` +
    `<div class="cm-editor"><div class="cm-scroller"><div class="cm-content" contenteditable="false">${body}` +
    `</div></div></div></pre>`;
}

test("CodeMirror-style line divs without a language class", () => {
  const lines = ["{", '  "status": "done",', "", '  "message": "ok"', "}"];
  const text = wendleboxReplyText(answer("<p>Done.</p>" + viewerBlock("wendlebox", lines)));
  assert.equal(text, "Done.\n\n```wendlebox\n" + lines.join("\n") + "\n```");
});

test("br-separated lines in a code element", () => {
  const html = '<pre><div>json</div><div><code><span>{</span><br><span>"a": 1</span><br><span>}</span></code></div></pre>';
  assert.equal(wendleboxReplyText(answer(html)), '```json\n{\n"a": 1\n}\n```');
});

test("a block with no label at all", () => {
  const html = '<pre><div class="cm-content"><div>x</div><div>y</div></div></pre>';
  assert.equal(wendleboxReplyText(answer(html)), "```\nx\ny\n```");
});

test("the last code block's lines as shown", () => {
  const element = answer(codeBlock("js", "a") + viewerBlock("wendlebox", ["{", '"status":"done"', "}"]));
  assert.deepEqual([...lastCodeBlockLines(element)], ["{", '"status":"done"', "}"]);
  assert.equal(lastCodeBlockLines(answer("<p>none</p>")), null);
});

// The app shell: no <pre>; a toolbar with the language and a localized copy
// button inside the block; code in a <code>, or an editor naming its
// language with one div per line; inline code as a marked span.
test("app-shell code blocks and inline code keep their markdown, toolbars left out", () => {
  const toolbar = '<div class="toolbar"><span>wendlebox</span><button aria-label="코드 복사">코드 복사</button></div>';
  const classic = `<div data-markdown-copy="code-block">${toolbar}<div><code>${agentJson}</code></div></div>`;
  const editor = `<div data-markdown-copy="code-block">${toolbar}<div data-language="json"><div>{</div><div><br></div><div>}</div></div></div>`;
  const element = answer(`<p>Run <span data-markdown-copy="inline-code">make</span>.</p>${classic}${editor}`);
  assert.equal(wendleboxReplyText(element), "Run `make`.\n\n```wendlebox\n" + agentJson + "\n```\n\n```json\n{\n\n}\n```");
  assert.deepEqual([...lastCodeBlockLines(element)], ["{", "", "}"]);
});
