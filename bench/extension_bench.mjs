// How fast the extension moves a job on ChatGPT-shaped pages in headless
// Chromium, with this script playing the wendlebox program on the bridge
// port: (1) from the page's own end of an answer to the result reaching
// the program, (2) from a 250 KB prompt reaching the extension to the page
// sending it, on each page layout.
import { createHmac } from "node:crypto";
import http from "node:http";
import { BRIDGE_PORT, startHarness } from "../tests/extension/harness.mjs";

const TOKEN = "0123456789abcdef0123456789abcdef";
const ANSWERS = 10;

// The program's side of the bridge: one job at a time, results timed.
function fakeProgram() {
  const program = { job: null, served: 0, results: [] };
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, "http://127.0.0.1");
    if (url.pathname === "/hello") {
      const proof = createHmac("sha256", TOKEN).update(url.searchParams.get("challenge")).digest("hex");
      return response.writeHead(200, { "Content-Type": "application/json" }).end(JSON.stringify({ proof }));
    }
    if (url.pathname === "/next") {
      if (!program.job) return response.writeHead(204).end();
      program.served = program.served || Date.now();
      return response.writeHead(200, { "Content-Type": "application/json" }).end(JSON.stringify(program.job));
    }
    let body = "";
    request.on("data", (chunk) => (body += chunk));
    request.on("end", () => {
      const result = JSON.parse(body);
      if (program.job && result.id === program.job.id) {
        program.results.push({ ...result, at: Date.now() });
        program.job = null;
      }
      response.writeHead(200, { "Content-Type": "application/json" }).end('{"ok":true}');
    });
  });
  return new Promise((resolve) => server.listen(BRIDGE_PORT, "127.0.0.1", () => resolve({ program, server })));
}

async function until(check, what) {
  const deadline = Date.now() + 60_000;
  while (!check()) {
    if (Date.now() > deadline) throw new Error(`timed out: ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 5));
  }
}

async function job(program, id, prompt) {
  program.served = 0;
  program.job = { id, prompt };
  await until(() => program.results.some((r) => r.id === id), `result of job ${id}`);
  return program.results.find((r) => r.id === id);
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const format = (values) => `median ${median(values)} ms, max ${Math.max(...values)} ms (n=${values.length})`;

const { program, server } = await fakeProgram();
const harness = await startHarness();
try {
  const GENERATIONS = ["2025", "2026-mid", "2026-09", "2026-10"];
  for (const generation of ["2026-09", "2026-10"]) {
    const tab = await harness.openTab({ generation, script: "short" }, `https://chatgpt.com/#wendlebox=${TOKEN}`);
    const latencies = [];
    for (let round = 1; round <= ANSWERS; round++) {
      const id = round + 1000 * GENERATIONS.indexOf(generation);
      const ended = harness.state.events.length;
      const result = await job(program, id, `question ${id}`);
      if (result.error) throw new Error(result.error);
      const end = harness.state.events.slice(ended).find((e) => e.type === "answer-ended");
      latencies.push(result.at - end.at);
    }
    console.log(`extension: page's end of answer -> result at the program (${generation} layout): ${format(latencies)}`);
    await tab.close();
  }

  // A tool-results prompt carrying a 240 KB file read.
  const content = Array.from({ length: 21000 }, (_, i) => `input ${i}`).join("\n") + "\n";
  const prompt = "Wendlebox tool results (JSON):\n" + JSON.stringify([{ ok: true, content, path: "input.txt" }], null, 2);
  for (const generation of GENERATIONS) {
    const page = await harness.openTab({ generation, script: "short" }, `https://chatgpt.com/#wendlebox=${TOKEN}`);
    const times = [];
    for (let round = 0; round < 3; round++) {
      const id = 100 + times.length + 10 * GENERATIONS.indexOf(generation);
      const typedBefore = harness.state.events.filter((e) => e.type === "typed").length;
      const result = await job(program, id, prompt);
      if (result.error) throw new Error(result.error);
      const typed = harness.state.events.filter((e) => e.type === "typed")[typedBefore];
      if (harness.state.typed[harness.state.typed.length - 1] !== prompt) throw new Error("the page did not get the prompt whole");
      times.push(typed.at - program.served);
    }
    console.log(`extension: ${(prompt.length / 1000).toFixed(0)} KB prompt, job fetched -> sent (${generation} layout): ${format(times)}`);
    await page.close();
  }
} finally {
  await harness.stop();
  server.close();
}
