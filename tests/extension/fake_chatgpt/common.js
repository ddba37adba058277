// What the fake pages share: the scripted answers, how an answer's
// markdown splits at its agent block, and small helpers for building the
// page and reporting to the test server.
export const report = (what, body) => fetch(`/${what}`, { method: "POST", body: typeof body === "string" ? body : JSON.stringify(body) });
export const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));
export const escapeHtml = (text) => text.replace(/&/g, "&amp;").replace(/</g, "&lt;").replace(/>/g, "&gt;");
export const el = (html) => {
  const template = document.createElement("template");
  template.innerHTML = html.trim();
  return template.content.firstChild;
};

// ---- The scripted answers ----------------------------------------------

const bigContent = Array.from({ length: 22000 }, (_, i) => `row ${i}`).join("\n") + "\n";
const FENCE = "```wendlebox\n";
export const SCRIPTS = {
  // A small file and an image; a 200 KB file in a viewer that shows only a
  // few of its lines (only the copy action gives the whole block), with a
  // 250 KB file read; then done.
  task: [
    { prose: "I will create the file.", rendering: "classic",
      json: JSON.stringify({ status: "continue", message: "Writing hello.txt.", actions: [
        { type: "write_file", path: "hello.txt", content: "Hello from the browser\n" },
        { type: "attach_image", path: "pic.png" }, { type: "read_file", path: "input.txt" }] }) },
    { prose: "Now the big one.", rendering: "viewer",
      json: JSON.stringify({ status: "continue", message: "Writing big.txt.",
        actions: [{ type: "write_file", path: "big.txt", content: bigContent }] }, null, 2) },
    { prose: "All done.", rendering: "classic", json: '{"status":"done","message":"Created hello.txt and big.txt."}' },
  ],
  short: [
    { prose: "Let me look at this first. I will write `hello.txt`.", rendering: "classic",
      json: JSON.stringify({ status: "continue", message: "Writing hello.txt.",
        actions: [{ type: "write_file", path: "hello.txt", content: "Hello from the browser\n" }] }) },
    { prose: "All done.", rendering: "classic", json: '{"status":"done","message":"Created hello.txt."}' },
  ],
  // A list of the working folder, then done.
  listing: [
    { prose: "Let me look.", rendering: "classic",
      json: '{"status":"continue","message":"Looking.","actions":[{"type":"list_files","path":"."}]}' },
    { prose: "All done.", rendering: "classic", json: '{"status":"done","message":"Seen."}' },
  ],
  image: [
    { prose: "Show me.", rendering: "classic",
      json: '{"status":"continue","message":"Looking.","actions":[{"type":"attach_image","path":"pic.png"}]}' },
    { prose: "All done.", rendering: "classic", json: '{"status":"done","message":"Seen."}' },
  ],
};
export const markdown = (answer) => `${answer.prose}\n\n${FENCE}${answer.json}\n\`\`\``;

// Any prefix of an answer's markdown as the page has it while streaming:
// the prose, and the agent block's code so far (null before its fence).
export function splitAtFence(text) {
  const fence = text.indexOf(FENCE);
  const prose = (fence < 0 ? text : text.slice(0, fence)).trim();
  const code = fence < 0 ? null : text.slice(fence + FENCE.length).replace(/\n?`{0,3}$/, "");
  return { prose, code };
}
