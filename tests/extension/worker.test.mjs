// The service worker's handlers on a stand-in browser API and a stand-in
// program on the bridge, which signs its answers as the program does.
import { test } from "node:test";
import assert from "node:assert/strict";
import crypto from "node:crypto";
import * as M from "../../extension/messages.js";
import { createWorker } from "../../extension/worker.js";

const PAIRING = "ab".repeat(32);
const TOKEN = "0123456789abcdef0123456789abcdef";
const TAB = 3;
const hmac = (key, text) => crypto.createHmac("sha256", key).update(text).digest("hex");
const SESSION_KEY = hmac(PAIRING, `session\n${TOKEN}`);

// The extension API as far as the worker uses it: session storage, the
// toolbar icon (its title per tab) and the events it listens to.
function standInBrowser() {
  const stored = new Map();
  const titles = new Map();
  const listeners = {};
  const event = (name) => ({ addListener: (listener) => { listeners[name] = listener; } });
  const api = {
    runtime: { getManifest: () => ({ version: "0.1.0" }), getURL: (file) => `chrome-extension://wendlebox/${file}`,
      onMessage: event("message") },
    storage: { session: {
      get: async (key) => (stored.has(key) ? { [key]: structuredClone(stored.get(key)) } : {}),
      set: async (items) => { for (const [key, value] of Object.entries(items)) stored.set(key, structuredClone(value)); },
      remove: async (key) => { stored.delete(key); },
    } },
    action: { setBadgeText: async () => {}, setBadgeBackgroundColor: async () => {}, onClicked: event("clicked"),
      setTitle: async ({ tabId, title }) => { titles.set(tabId, title); } },
    permissions: { contains: async () => true, request: async () => true, onAdded: event("added"), onRemoved: event("removed") },
    tabs: { onRemoved: event("tabRemoved") },
  };
  return { api, titles, listeners, record: (tab = TAB) => stored.get(`tab:${tab}`) };
}

// The program: `route(method, path, body)` gives { status, body, forged },
// where a forged answer is signed with a key that is not the session's.
function standInProgram(route) {
  const requests = [];
  const ports = [];
  async function fetch(url, options = {}) {
    if (url.endsWith("/pairing.json")) return new Response(JSON.stringify({ key: PAIRING }));
    const { pathname, search, port } = new URL(url);
    const method = options.method || "GET";
    requests.push(`${method} ${pathname}${search}`);
    ports.push(Number(port));
    const reply = await route(method, pathname + search, options.body, Number(port));
    const text = reply.body === undefined ? "" : JSON.stringify(reply.body);
    const key = reply.forged ? hmac("another key", "session") : SESSION_KEY;
    const signature = hmac(key, `answer\n${options.headers["X-Wendlebox-Nonce"]}\n${reply.status}\n${text}`);
    return new Response(text || null, { status: reply.status, headers: { "X-Wendlebox-Signature": signature } });
  }
  return { fetch, requests, ports };
}

// A worker listening on a stand-in browser; `send` is a content script's
// message from the tab, answered as the browser would.
function startWorker(route) {
  const browser = standInBrowser();
  const program = standInProgram(route);
  createWorker(browser.api, program.fetch).listen();
  const send = (message, sender = { tab: { id: TAB } }) => new Promise((resolve) => {
    if (!browser.listeners.message(message, sender, resolve)) resolve("not handled");
  });
  return { ...browser, ...program, send };
}

test("the worker handles every message name the content script may send, and no other", async () => {
  const { handlers } = createWorker(standInBrowser().api, async () => new Response(""));
  assert.deepEqual(Object.keys(handlers).sort(), Object.values(M.worker).sort());
  // A content script's message of another name is refused before it is sent.
  await assert.rejects(M.toWorker({ type: "pol" }), /no worker message pol/);
});

test("a job is claimed once, its result goes to the program that still offers it, and the tab's record is cleared", async () => {
  const worker = startWorker((method) => (method === "POST" ? { status: 200, body: { ok: true } } : { status: 200, body: { id: 7 } }));
  assert.deepEqual(await worker.send({ type: M.worker.setToken, token: TOKEN }), { ok: true });
  assert.deepEqual(await worker.send({ type: M.worker.claim, id: 7 }), { claimed: true });
  assert.deepEqual(await worker.send({ type: M.worker.claim, id: 7 }), { claimed: false });
  const reply = await worker.send({ type: M.worker.result, result: { id: 7, text: "done", url: "https://chatgpt.com/c/x" } });
  assert.deepEqual(reply, { status: 200, body: { ok: true } });
  assert.deepEqual(worker.requests, ["GET /next", "POST /result"]);
  assert.deepEqual(worker.record(), { token: TOKEN, port: M.WENDLEBOX_PORT, handled: [7], inflight: null, failed: false });
  assert.match(worker.titles.get(TAB), /connected/);
});

test("hostile: an answer not signed with the session's key is acted on by no handler", async () => {
  const worker = startWorker(() => ({ status: 200, body: { id: 9, prompt: "rm -rf ~" }, forged: true }));
  await worker.send({ type: M.worker.setToken, token: TOKEN });
  assert.deepEqual(await worker.send({ type: M.worker.poll, waitSeconds: 1 }), { status: 0, impostor: true });
  assert.match(worker.titles.get(TAB), /could not prove it is wendlebox/);
  // A result is then never posted, and says to stop rather than retry.
  const reply = await worker.send({ type: M.worker.result, result: { id: 9, text: "secret" } });
  assert.deepEqual(reply, { status: 0, impostor: true, retry: false });
  assert.deepEqual(worker.requests, ["GET /next?wait=1", "GET /next"]);
  // A message from no tab (another extension's page) is not handled.
  assert.equal(await worker.send({ type: M.worker.getToken }, {}), "not handled");
});

test("a result that waits on the program keeps what the tab recorded meanwhile", async () => {
  // The program takes its time over the result of job 7; meanwhile the
  // page (reloaded) claims job 8 and sends its prompt.
  let answerResult;
  const resultAnswered = new Promise((resolve) => { answerResult = resolve; });
  let resultArrived;
  const resultPosted = new Promise((resolve) => { resultArrived = resolve; });
  const worker = startWorker(async (method) => {
    if (method === "GET") return { status: 200, body: { id: 7 } };
    resultArrived();
    await resultAnswered;
    return { status: 200, body: { ok: true } };
  });
  await worker.send({ type: M.worker.setToken, token: TOKEN });
  await worker.send({ type: M.worker.claim, id: 7 });
  const result = worker.send({ type: M.worker.result, result: { id: 7, text: "done" } });
  await resultPosted;
  assert.deepEqual(await worker.send({ type: M.worker.claim, id: 8 }), { claimed: true });
  assert.deepEqual(await worker.send({ type: M.worker.sending, id: 8, prompt: "p", path: "/c/x" }), { ok: true });
  answerResult();
  assert.equal((await result).status, 200);
  assert.deepEqual(worker.record(), { token: TOKEN, port: M.WENDLEBOX_PORT, handled: [7, 8], inflight: { id: 8, prompt: "p", path: "/c/x" },
    failed: false });
});

// Two tabs of two sessions: each talks to the port its address named, and
// each tab's icon says how its own session stands.
test("each tab talks to its own session's port, and its icon is its own", async () => {
  const worker = startWorker((method, _path, _body, port) => (port === M.WENDLEBOX_PORT + 1
    ? { status: 200, body: { id: 1, prompt: "second" } } : { status: 204 }));
  assert.deepEqual(await worker.send({ type: M.worker.setToken, token: TOKEN }), { ok: true });
  const other = { tab: { id: 4 } };
  assert.deepEqual(await worker.send({ type: M.worker.setToken, token: TOKEN, port: String(M.WENDLEBOX_PORT + 1) }, other),
    { ok: true });
  assert.deepEqual(await worker.send({ type: M.worker.poll, waitSeconds: 1 }), { status: 204, body: null });
  assert.equal((await worker.send({ type: M.worker.poll, waitSeconds: 1 }, other)).body.prompt, "second");
  assert.deepEqual(worker.ports, [M.WENDLEBOX_PORT, M.WENDLEBOX_PORT + 1]);
  await worker.send({ type: M.worker.claim, id: 1 }, other);
  assert.match(worker.titles.get(TAB), /connected/);
  assert.match(worker.titles.get(4), /ChatGPT is answering/);
  assert.equal(worker.record(4).port, M.WENDLEBOX_PORT + 1);
});

// A link may name any port: one that is not a session's (another program's,
// out of range or malformed) is refused, and no request goes anywhere.
test("hostile: a port outside the sessions' ports, or malformed, is refused and never asked", async () => {
  const worker = startWorker(() => ({ status: 200, body: { id: 1, prompt: "WRONG" } }));
  for (const port of ["80", "6379", String(M.WENDLEBOX_PORT - 1), String(M.WENDLEBOX_LAST_PORT + 1), "047834", "4783x",
    "", "47834 ", "0x babe", "1e5", 47834])
    assert.deepEqual(await worker.send({ type: M.worker.setToken, token: TOKEN, port }), { ok: false }, `port ${port}`);
  assert.equal(worker.record(), undefined);
  assert.deepEqual(await worker.send({ type: M.worker.poll, waitSeconds: 1 }), { status: 0 });
  assert.deepEqual(worker.requests, []);
  assert.equal(M.bridgeAt(String(M.WENDLEBOX_LAST_PORT)), `http://127.0.0.1:${M.WENDLEBOX_LAST_PORT}`);
});
