// How fast the extension moves a job on ChatGPT-shaped pages in headless
// Chromium, with this script playing the wendlebox program on the bridge
// port (polls held as the program holds them): (1) from a job published to
// the job handed to the extension's waiting poll, and to a short prompt
// sent by the page; (2) from the page's own end of an answer to the result
// reaching the program; (3) from a 250 KB prompt reaching the extension to
// the page sending it, on each page layout. Then (4) the real program: a
// turn's whole cost outside ChatGPT, from the page's end of an answer with
// a list_files action to the page sending the tool results.
import { createHmac } from "node:crypto";
import http from "node:http";
import { performance } from "node:perf_hooks";
import { BRIDGE_PORT, startHarness } from "../tests/extension/harness.mjs";

const TOKEN = "0123456789abcdef0123456789abcdef";
const ANSWERS = 10;

// The program's side of the bridge: one job at a time, results timed;
// a poll that asks to wait is held until there is news, as the program does.
// Answers are signed with the session's key, made from the token and the
// pairing key setup gave the extension.
function fakeProgram(pairingKey) {
  const key = createHmac("sha256", pairingKey).update(`session\n${TOKEN}`).digest("hex");
  const program = { job: null, served: 0, handed: 0, results: [], held: [] };
  const nothingNew = (poll) => (poll.unchanged ? program.job && String(program.job.id) === poll.unchanged : !program.job);
  // Each answer is signed over the request's nonce, as the program signs it.
  function send(response, status, body) {
    const nonce = response.req.headers["x-wendlebox-nonce"] || "";
    const signature = createHmac("sha256", key).update(`answer\n${nonce}\n${status}\n${body}`).digest("hex");
    response.writeHead(status, { "Content-Type": "application/json", "X-Wendlebox-Signature": signature }).end(body);
  }
  function answer(response) {
    if (!program.job) return send(response, 204, "");
    program.served = program.served || Date.now();
    program.handed = program.handed || performance.now();
    send(response, 200, JSON.stringify(program.job));
  }
  program.settle = () => {
    for (const poll of program.held.filter((p) => !nothingNew(p))) {
      clearTimeout(poll.timer);
      answer(poll.response);
    }
    program.held = program.held.filter(nothingNew);
  };
  const server = http.createServer((request, response) => {
    const url = new URL(request.url, "http://127.0.0.1");
    if (url.pathname === "/next") {
      const poll = { response, unchanged: url.searchParams.get("unchanged") };
      const wait = Number(url.searchParams.get("wait") || 0);
      if (!wait || !nothingNew(poll)) return answer(response);
      poll.timer = setTimeout(() => {
        program.held = program.held.filter((p) => p !== poll);
        answer(response);
      }, wait * 1000);
      program.held.push(poll);
      return;
    }
    let body = "";
    request.on("data", (chunk) => (body += chunk));
    request.on("end", () => {
      const result = JSON.parse(body);
      if (program.job && result.id === program.job.id) {
        program.results.push({ ...result, at: Date.now() });
        program.job = null;
        program.settle();
      }
      send(response, 200, '{"ok":true}');
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
  program.handed = 0;
  program.job = { id, prompt };
  program.published = performance.now();
  program.settle();
  await until(() => program.results.some((r) => r.id === id), `result of job ${id}`);
  return program.results.find((r) => r.id === id);
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const format = (values) => `median ${median(values)} ms, max ${Math.max(...values)} ms (n=${values.length})`;

const harness = await startHarness();
const { program, server } = await fakeProgram(harness.pairingKey);
try {
  const GENERATIONS = ["2025", "2026-mid", "2026-09", "2026-10"];
  for (const generation of ["2026-09", "2026-10"]) {
    const tab = await harness.openTab({ generation, script: "short" }, `https://chatgpt.com/#wendlebox=${TOKEN}`);
    const latencies = [];
    const handed = [];
    const sent = [];
    for (let round = 1; round <= ANSWERS; round++) {
      const id = round + 1000 * GENERATIONS.indexOf(generation);
      const ended = harness.state.events.length;
      // The extension's poll must be waiting already, as it is between turns.
      await until(() => program.held.length > 0, "the extension's poll");
      const publishedAt = Date.now();
      const result = await job(program, id, `question ${id}`);
      if (result.error) throw new Error(result.error);
      const events = harness.state.events.slice(ended);
      latencies.push(result.at - events.find((e) => e.type === "answer-ended").at);
      handed.push(Number((program.handed - program.published).toFixed(2)));
      sent.push(events.find((e) => e.type === "typed").at - publishedAt);
    }
    console.log(`extension: job published -> handed to the extension's waiting poll (${generation} layout): ${format(handed)}`);
    console.log(`extension: job published -> short prompt sent by the page (${generation} layout): ${format(sent)}`);
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
  server.close();

  // The real program: page's end of an answer asking for list_files ->
  // the tool results sent by the page.
  const turns = [];
  for (let round = 0; round < 5; round++) {
    const run = await harness.run({ page: { generation: "2026-10", script: "listing" } });
    if (run.code !== 0) throw new Error(run.out + run.err);
    const ended = run.events.find((e) => e.type === "answer-ended");
    const next = run.events.filter((e) => e.type === "typed")[1];
    turns.push(next.at - ended.at);
  }
  console.log(`program + extension: page's end of answer -> next prompt sent, list_files between: ${format(turns)}`);
} finally {
  await harness.stop();
  server.close();
}
