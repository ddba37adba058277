// A stand-in for the ChatGPT web application, shaped like the real page where
// the extension looks: a ProseMirror composer, send and stop buttons, answers
// streamed in chunks with rendered code blocks, and the address moving to
// /c/<uuid> after the first message.
import { Schema } from "prosemirror-model";
import { marks, nodes } from "prosemirror-schema-basic";
import { EditorState } from "prosemirror-state";
import { EditorView } from "prosemirror-view";

const schema = new Schema({ nodes, marks });
const sendButton = document.querySelector('[data-testid="send-button"]');
const thread = document.getElementById("thread");
const conversationId = "0c0ffee0-1234-4abc-8def-0123456789ab";

const view = new EditorView(document.getElementById("editor"), {
  state: EditorState.create({ schema }),
  attributes: { id: "prompt-textarea", class: "ProseMirror" },
  dispatchTransaction(transaction) {
    view.updateState(view.state.apply(transaction));
    sendButton.disabled = view.state.doc.textContent.length === 0;
  },
});

function typedText() {
  const doc = view.state.doc;
  return doc.textBetween(0, doc.content.size, "\n", (node) => (node.type.name === "hard_break" ? "\n" : ""));
}

function escapeHtml(text) {
  return text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
}

// The scripted answers, in order: a small file in the classic rendering; a
// 200 KB file in a read-only viewer that shows only some of its lines, so
// only the copy button gives the whole block; then done.
const bigContent = Array.from({ length: 22000 }, (_, i) => `row ${i}`).join("\n") + "\n";

const answers = [
  {
    prose: "I will create the file.",
    json: `{"status":"continue","message":"Writing hello.txt.","actions":[{"type":"write_file","path":"hello.txt","content":${JSON.stringify("Hello from the browser\n")}},{"type":"attach_image","path":"pic.png"}]}`,
    rendering: "classic",
  },
  {
    prose: "Now the big one.",
    json: JSON.stringify({ status: "continue", message: "Writing big.txt.",
      actions: [{ type: "write_file", path: "big.txt", content: bigContent }] }, null, 2),
    rendering: "viewer",
  },
  { prose: "All done.", json: '{"status":"done","message":"Created hello.txt and big.txt."}', rendering: "classic" },
];
let answered = 0;

function markdown(answer) {
  return `${answer.prose}\n\n\`\`\`wendlebox\n${answer.json}\n\`\`\``;
}

function classicBlock(code) {
  const highlighted = escapeHtml(code).replace(/"([^"]*)"/g, '<span class="hljs-string">"$1"</span>');
  return `<pre><div class="rounded-md"><div class="flex items-center px-4 py-2 text-xs">wendlebox` +
    `<button class="copy">Copy code</button></div><div class="overflow-y-auto p-4">` +
    `<code class="language-wendlebox hljs">${highlighted}\n</code></div></div></pre>`;
}

// Like an editor that renders only the lines near the viewport: the first
// few lines, long ones cut short.
function viewerBlock(code) {
  const shown = code.split("\n").slice(0, 6).map((line) => line.slice(0, 200));
  const lines = shown.map((line) => `<div class="cm-line">${escapeHtml(line) || "<br>"}</div>`).join("");
  return `<pre><div class="header"><span>wendlebox</span><button>Copy</button></div><div class="cm-editor">` +
    `<div class="cm-scroller"><div class="cm-content" contenteditable="false">${lines}</div></div></div></pre>`;
}

function renderAnswer(answer, codeSoFar) {
  const block = answer.rendering === "viewer" ? viewerBlock(codeSoFar) : classicBlock(codeSoFar);
  return `<div class="markdown prose"><p>${escapeHtml(answer.prose)}</p>${block}</div>`;
}

async function stream(answer) {
  const stop = document.createElement("button");
  stop.dataset.testid = "stop-button";
  stop.textContent = "Stop";
  document.getElementById("composer").appendChild(stop);
  const turn = document.createElement("article");
  turn.dataset.testid = `conversation-turn-${thread.children.length + 1}`;
  const message = document.createElement("div");
  message.dataset.messageAuthorRole = "assistant";
  turn.appendChild(message);
  thread.appendChild(turn);
  const chunk = Math.ceil(answer.json.length / 6);
  for (let end = chunk; ; end += chunk) {
    message.innerHTML = renderAnswer(answer, answer.json.slice(0, end));
    if (end >= answer.json.length) break;
    await new Promise((resolve) => setTimeout(resolve, 150));
  }
  stop.remove();
  const actions = document.createElement("div");
  actions.innerHTML = '<button data-testid="copy-turn-action-button">Copy</button>';
  // As the real page does: the copy action writes the answer's markdown.
  actions.firstChild.addEventListener("click", () => navigator.clipboard.writeText(markdown(answer)));
  turn.appendChild(actions);
}

// Uploads are reported to the test server, which checks what arrived.
document.querySelector('input[type="file"]').addEventListener("change", async (event) => {
  for (const file of event.target.files) {
    const bytes = new Uint8Array(await file.arrayBuffer());
    await fetch("/uploaded", { method: "POST", body: JSON.stringify({ name: file.name, type: file.type, bytes: Array.from(bytes) }) });
  }
});

sendButton.addEventListener("click", async () => {
  const prompt = typedText();
  view.dispatch(view.state.tr.delete(0, view.state.doc.content.size));
  await fetch("/typed", { method: "POST", body: prompt });
  const user = document.createElement("article");
  user.innerHTML = `<div data-message-author-role="user"></div>`;
  user.firstChild.textContent = prompt;
  thread.appendChild(user);
  if (!location.pathname.startsWith("/c/")) history.pushState({}, "", `/c/${conversationId}`);
  await new Promise((resolve) => setTimeout(resolve, 300));
  await stream(answers[Math.min(answered++, answers.length - 1)]);
});
