// The real wendlebox binary and the real extension in one headless browser
// (Chromium, or Firefox ESR), against local ChatGPT-shaped pages served
// over HTTPS as chatgpt.com. The browser opener that wendlebox finds on
// PATH records the address; the harness opens it in a new tab of the
// running browser.
import { execFileSync, spawn } from "node:child_process";
import crypto from "node:crypto";
import fs from "node:fs";
import http from "node:http";
import https from "node:https";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { chromium as playwright } from "playwright-core";
import puppeteer from "puppeteer-core";

const here = path.dirname(fileURLToPath(import.meta.url));
const source = path.resolve(here, "../..");
export const build = process.env.WENDLEBOX_BUILD_DIR || path.join(source, "build");
// The bridge port, where the extension itself takes it from.
export const BRIDGE_PORT = Number(
  /const WENDLEBOX_PORT = (\d+);/.exec(fs.readFileSync(path.join(source, "extension", "messages.js"), "utf8"))[1]);
const chromium = process.env.CHROMIUM || "/usr/bin/chromium";
const firefox = process.env.FIREFOX || "/usr/bin/firefox-esr";
const TYPES = { ".html": "text/html", ".js": "text/javascript", ".css": "text/css" };

export const bigInput = Array.from({ length: 21000 }, (_, i) => `input ${i}`).join("\n") + "\n";
export const picture = Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), Buffer.from("pixels")]);

// Cloudflare's interstitial: its title, the Turnstile frame and its own
// script, and none of ChatGPT's application.
const CHALLENGE_PAGE = '<!doctype html><html lang="en-US"><head><title>Just a moment...</title></head><body>' +
  '<div class="main-wrapper" role="main"><div class="main-content"><h1>chatgpt.com</h1>' +
  '<p>Verify you are human by completing the action below.</p>' +
  '<div><iframe src="https://challenges.cloudflare.com/cdn-cgi/challenge-platform/h/b/turnstile/if/ov2/av0/rcv/0/0"></iframe></div>' +
  '</div></div><script src="/cdn-cgi/challenge-platform/h/b/orchestrate/chl_page/v1"></script></body></html>';
// The bot-management script and its hidden frame are on every healthy page.
export const BOT_MANAGEMENT = '<script src="/cdn-cgi/challenge-platform/scripts/jsd/main.js"></script>' +
  '<iframe height="1" width="1" style="position:absolute;top:0;left:0;border:none;visibility:hidden"></iframe>';
// An interstitial whose title is in another language and whose widget the
// page cannot see (a closed shadow root): only the challenge script, on a
// short page without ChatGPT's application.
const SCRIPT_ONLY_PAGE = '<!doctype html><title>chatgpt.com</title><p>Verificando…</p>' +
  '<script src="/cdn-cgi/challenge-platform/h/b/orchestrate/chl_page/v1"></script>';
const LOGGED_OUT_PAGE = '<!doctype html><title>ChatGPT</title><header><button data-testid="login-button">Log in</button>' +
  `<button data-testid="signup-button">Sign up for free</button></header><main><h1>What can I help with?</h1></main>${BOT_MANAGEMENT}`;

export function temporaryFolder(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `wendlebox-e2e-${name}-`));
}

function selfSignedCertificate(folder) {
  execFileSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
    "-subj", "/CN=chatgpt.com", "-addext", "subjectAltName=DNS:chatgpt.com",
    "-keyout", path.join(folder, "key.pem"), "-out", path.join(folder, "cert.pem")], { stdio: "ignore" });
  return { key: fs.readFileSync(path.join(folder, "key.pem")), cert: fs.readFileSync(path.join(folder, "cert.pem")) };
}

const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

export async function poll(find, limitMs, what) {
  const deadline = Date.now() + limitMs;
  for (;;) {
    const found = await find();
    if (found) return found;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await pause(50);
  }
}

export const hmac = (key, text) => crypto.createHmac("sha256", key).update(text).digest("hex");

// A stand-in for a program on the bridge port. Like the program, it closes
// each connection after its answer, so that no request of a later test can
// reach it through a connection the browser kept.
export function standIn(handle) {
  return http.createServer(async (request, response) => {
    response.shouldKeepAlive = false;
    let body = "";
    for await (const chunk of request) body += chunk;
    handle(request, response, body);
  });
}

export const listening = (server) => new Promise((resolve) => server.listen(BRIDGE_PORT, "127.0.0.1", resolve));

export function closeStandIn(server) {
  server.close();
  server.closeAllConnections();
}

function readBody(request) {
  return new Promise((resolve) => {
    const chunks = [];
    request.on("data", (chunk) => chunks.push(chunk));
    request.on("end", () => resolve(Buffer.concat(chunks).toString("utf8")));
  });
}

// The conversation request: the answer's text comes back in chunks, with a
// pause after the first pauseAt characters when asked.
async function streamAnswer(request, response) {
  const { text, pauseAt, pauseMs } = JSON.parse(await readBody(request));
  response.writeHead(200, { "Content-Type": "text/event-stream" });
  let sent = 0;
  if (pauseAt >= 0) {
    response.write(text.slice(0, pauseAt));
    sent = pauseAt;
    await new Promise((resolve) => {
      const timer = setTimeout(resolve, pauseMs || 1500);
      request.on("close", () => (clearTimeout(timer), resolve()));
    });
  }
  const chunk = Math.ceil((text.length - sent) / 6);
  while (sent < text.length) {
    if (response.destroyed) return;
    response.write(text.slice(sent, sent + chunk));
    sent += chunk;
    await pause(60);
  }
  response.end();
}

// Serves the page for the current situation and collects what the page
// reports: prompts sent, files uploaded, events.
function servePages(certificate, state, port) {
  const server = https.createServer(certificate, async (request, response) => {
    const url = new URL(request.url, "https://chatgpt.com");
    if (request.method === "POST" && /^\/backend-(api|anon)\//.test(url.pathname)) return streamAnswer(request, response);
    if (request.method === "POST") {
      const body = await readBody(request);
      if (url.pathname === "/typed") {
        state.typed.push(body);
        state.events.push({ type: "typed", at: Date.now() });
      }
      else if (url.pathname === "/uploaded") state.uploaded.push(...JSON.parse(body));
      else if (url.pathname === "/event") state.events.push(JSON.parse(body));
      response.end("ok");
      return;
    }
    if (url.pathname === "/" || /^\/(g\/[^/]+\/)?(c|uc)\//.test(url.pathname)) {
      const page = state.page;
      const shell = page.serve === "signed-out" ? "signed_out.html" : "index.html";
      let html = fs.readFileSync(path.join(here, "fake_chatgpt", shell), "utf8")
        .replace("<!--FAKE-->", `<script>window.FAKE = ${JSON.stringify(page)};</script>`)
        .replace("<!--BOT-MANAGEMENT-->", BOT_MANAGEMENT);
      if (page.serve === "challenge") html = CHALLENGE_PAGE;
      if (page.serve === "logged-out") html = LOGGED_OUT_PAGE;
      if (page.serve === "html") html = page.html;
      if (page.serve === "challenge-script") html = SCRIPT_ONLY_PAGE;
      response.writeHead(200, { "Content-Type": "text/html" }).end(html);
      return;
    }
    if (url.pathname.startsWith("/cdn-cgi/challenge-platform/")) {
      response.writeHead(200, { "Content-Type": "text/javascript" }).end("/* bot management */");
      return;
    }
    let file = ["/page.js", "/thread.js", "/signed_out.js", "/common.js"].includes(url.pathname) ? path.join(here, "fake_chatgpt", url.pathname) : null;
    if (url.pathname.startsWith("/node_modules/")) file = path.join(here, path.normalize(url.pathname));
    if (!file || !file.startsWith(here) || !fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { "Content-Type": TYPES[path.extname(file)] || "application/octet-stream" });
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve, reject) => {
    server.once("error", reject);
    server.listen(port, "127.0.0.1", () => resolve(server));
  });
}

// Chromium maps chatgpt.com to the pages' port itself; Playwright drives it
// over the DevTools protocol, which also reaches the extension's worker.
async function chromiumEngine(profile, port, installed) {
  const browserProcess = startChromium(profile, port, installed.extension);
  const portFile = path.join(profile, "DevToolsActivePort");
  const devtools = await poll(() => fs.existsSync(portFile) && fs.readFileSync(portFile, "utf8").split("\n")[0], 30_000, "Chromium");
  const browser = await playwright.connectOverCDP(`http://127.0.0.1:${devtools}`);
  const context = browser.contexts()[0];
  return {
    context,
    newTab: () => context.newPage(),
    async close() {
      await browser.close().catch(() => {});
      const exited = new Promise((resolve) => (browserProcess.exitCode !== null ? resolve() : browserProcess.once("exit", resolve)));
      try {
        process.kill(-browserProcess.pid, "SIGKILL");
      } catch {
        // It has ended already.
      }
      await exited;
    },
  };
}

// Firefox can only point chatgpt.com at this machine, so the pages are on
// port 443 (the test runs in a network namespace of its own); Puppeteer
// drives it over WebDriver BiDi and installs the .xpi as a temporary add-on.
async function firefoxEngine(installed) {
  const browser = await puppeteer.launch({ browser: "firefox", executablePath: firefox, headless: true,
    acceptInsecureCerts: true, extraPrefsFirefox: { "network.dns.localDomains": "chatgpt.com" } });
  // The packed add-on, as setup pairs it for the user.
  await browser.installExtension(installed.package);
  return { newTab: () => browser.newPage(), close: () => browser.close().catch(() => {}) };
}

function startChromium(profile, port, extension) {
  const flags = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    `--user-data-dir=${profile}`, `--load-extension=${extension}`, `--disable-extensions-except=${extension}`,
    `--host-resolver-rules=MAP chatgpt.com 127.0.0.1:${port}`, "--ignore-certificate-errors",
    // Recent Chromium ignores --load-extension unless this switch is allowed again.
    "--disable-features=DisableLoadExtensionCommandLineSwitch", "--remote-debugging-port=0", "about:blank"];
  return spawn(chromium, flags, { stdio: "ignore", detached: true });
}

function runProgram(args, options, limitMs) {
  const child = spawn(path.join(build, "wendlebox"), args, options);
  let out = "";
  const finished = new Promise((resolve) => {
    let err = "";
    child.stdout.on("data", (d) => (out += d));
    child.stderr.on("data", (d) => (err += d));
    const timer = setTimeout(() => child.kill("SIGKILL"), limitMs);
    // A program that cannot start fails the run; it must not end the test
    // process and leave the browser behind.
    child.on("error", (error) => {
      clearTimeout(timer);
      resolve({ code: -1, out, err: err + String(error) });
    });
    child.on("close", (code) => {
      clearTimeout(timer);
      resolve({ code, out, err });
    });
  });
  return { child, finished, output: () => out };
}

// `wendlebox setup` as a user runs it, in a home of its own: the browser
// loads the extension it installs there, paired with the program.
function installWithSetup(home) {
  const env = { ...process.env, HOME: home, SHELL: "/bin/sh" };
  for (const name of ["XDG_CONFIG_HOME", "XDG_DATA_HOME"]) delete env[name];
  execFileSync(path.join(build, "wendlebox"), ["setup"], { env, stdio: "ignore" });
  const data = path.join(home, ".local/share/wendlebox");
  return { extension: path.join(data, "extension"), package: path.join(data, "wendlebox.xpi"),
    pairingKey: fs.readFileSync(path.join(data, "pairing-key"), "utf8") };
}

// The program of each run finds the pairing key where setup left it.
function pair(home, pairingKey) {
  const data = path.join(home, ".local/share/wendlebox");
  fs.mkdirSync(data, { recursive: true, mode: 0o700 });
  fs.writeFileSync(path.join(data, "pairing-key"), pairingKey, { mode: 0o600 });
}

export async function startHarness({ browser = "chromium" } = {}) {
  const folders = { certificates: temporaryFolder("cert"), profile: temporaryFolder("profile"), setup: temporaryFolder("setup") };
  const installed = installWithSetup(folders.setup);
  const state = { page: {}, typed: [], uploaded: [], events: [] };
  const server = await servePages(selfSignedCertificate(folders.certificates), state, browser === "firefox" ? 443 : 0);
  const engine = browser === "firefox" ? await firefoxEngine(installed)
    : await chromiumEngine(folders.profile, server.address().port, installed);
  const context = engine.context;

  // One task of the real program against the page described by `page`.
  // `during`, when given, acts while the program runs (for instance sends
  // it Ctrl-C); it gets the child process, the page's events and what the
  // program has printed so far.
  // `pairingKey` stands for a program paired anew since the browser loaded
  // the extension (setup run again without a reload).
  async function run(options) {
    Object.assign(state, { page: options.page, typed: [], uploaded: [], events: [] });
    return (await launch(options)).finish();
  }

  // Several tasks of the real program at once, each in a folder and a tab
  // of its own, on the same page description.
  async function runAtOnce(runs) {
    Object.assign(state, { page: runs[0].page, typed: [], uploaded: [], events: [] });
    const launched = [];
    try {
      for (const options of runs) launched.push(await launch(options));
    } catch (error) {
      await Promise.all(launched.map((task) => task.finish()));
      throw error;
    }
    return Promise.all(launched.map((task) => task.finish()));
  }

  // Starts one task and opens its tab; `finish` waits for it to end.
  async function launch({ prompt = "make the file", args = [prompt], limitMs = 60_000, inspect, during,
    pairingKey = installed.pairingKey }) {
    const home = temporaryFolder("home");
    const work = temporaryFolder("work");
    const bin = temporaryFolder("bin");
    fs.writeFileSync(path.join(work, "pic.png"), picture);
    fs.writeFileSync(path.join(work, "input.txt"), bigInput);
    fs.writeFileSync(path.join(bin, "xdg-open"), `#!/bin/sh\necho "$1" >> "${bin}/urls"\n`, { mode: 0o755 });
    fs.mkdirSync(path.join(home, ".config/wendlebox"), { recursive: true });
    fs.writeFileSync(path.join(home, ".config/wendlebox/settings.json"), '{"sounds": false, "git": false}');
    pair(home, pairingKey);
    const env = { ...process.env, HOME: home, PATH: `${bin}:${process.env.PATH}`, NO_COLOR: "1" };
    for (const name of ["XDG_CONFIG_HOME", "WENDLEBOX_LANG", "LANG", "LC_ALL", "LANGUAGE", "LC_MESSAGES"]) delete env[name];
    let tab = null;
    const cleanUp = async () => {
      if (tab) await tab.close().catch(() => {});
      for (const folder of [home, work, bin]) fs.rmSync(folder, { recursive: true, force: true, maxRetries: 5 });
    };
    let started;
    let address;
    try {
      // With `during`, standard input stays open (the follow-up prompt waits) until it is done.
      started = runProgram(args, { cwd: work, env, stdio: [during ? "pipe" : "ignore", "pipe", "pipe"] }, limitMs);
      const urls = path.join(bin, "urls");
      const opened = await poll(() => fs.existsSync(urls) && fs.readFileSync(urls, "utf8").trim(), 20_000, "the browser opener");
      tab = await engine.newTab();
      // The program opens a private page that forwards to ChatGPT, or (where
      // the browser could not read it) the address itself.
      address = opened.startsWith("/") ? /href="([^"]*)"/.exec(fs.readFileSync(opened, "utf8"))[1].replaceAll("&amp;", "&") : opened;
      await tab.goto(opened.startsWith("/") ? `file://${opened}` : opened);
    } catch (error) {
      if (started) started.child.kill("SIGKILL");
      await cleanUp();
      throw error;
    }
    async function finish() {
      try {
        if (during) {
          await during(started.child, state.events, started.output);
          started.child.stdin.end();
        }
        const result = await started.finished;
        const inspected = inspect ? await inspect(tab) : undefined;
        const written = Object.fromEntries(fs.readdirSync(work).filter((name) => fs.statSync(path.join(work, name)).isFile()).map((name) => [name, fs.readFileSync(path.join(work, name), "utf8")]));
        const read = (name) => written[name] ?? null;
        const seenIn = path.join(home, ".config/wendlebox/extension-seen-in");
        const browserSeen = fs.existsSync(seenIn) ? fs.readFileSync(seenIn, "utf8") : null;
        const chatsFile = path.join(home, ".config/wendlebox/chats.json");
        const chats = fs.existsSync(chatsFile) ? fs.readFileSync(chatsFile, "utf8") : null;
        return { ...result, typed: state.typed, uploaded: state.uploaded, events: state.events, read, inspected, browserSeen,
          chats, work, address };
      } finally {
        await cleanUp();
      }
    }
    return { finish };
  }

  // What the system clipboard holds, read in a chatgpt.com tab.
  async function clipboardText() {
    await context.grantPermissions(["clipboard-read", "clipboard-write"], { origin: "https://chatgpt.com" });
    state.page = { generation: "2026-mid" };
    const tab = await context.newPage();
    try {
      await tab.goto("https://chatgpt.com/");
      const held = await tab.evaluate(() => navigator.clipboard.readText());
      // The reading means something only if this clipboard takes writes.
      const probe = await tab.evaluate(async () => {
        await navigator.clipboard.writeText("probe");
        return navigator.clipboard.readText();
      });
      return { held, probe };
    } finally {
      await tab.close();
    }
  }

  async function stop() {
    await engine.close();
    server.close();
    for (const folder of Object.values(folders)) fs.rmSync(folder, { recursive: true, force: true, maxRetries: 5 });
  }

  // A tab on the fake page, for runs where the test plays the program.
  async function openTab(page, url) {
    Object.assign(state, { page, typed: [], uploaded: [], events: [] });
    const tab = await engine.newTab();
    await tab.goto(url);
    return tab;
  }

  // The extension's toolbar icon for the ChatGPT tab: its badge and title.
  async function icon() {
    const worker = context.serviceWorkers().find((w) => w.url().startsWith("chrome-extension://")) ||
      await context.waitForEvent("serviceworker");
    // The extension may not read tabs' addresses: the ChatGPT tab is the one with a badge.
    return worker.evaluate(async () => {
      for (const tab of await chrome.tabs.query({})) {
        const badge = await chrome.action.getBadgeText({ tabId: tab.id });
        if (badge) return { badge, title: await chrome.action.getTitle({ tabId: tab.id }) };
      }
      return { badge: "", title: "" };
    });
  }

  return { run, runAtOnce, clipboardText, openTab, icon, state, stop, pairingKey: installed.pairingKey };
}
