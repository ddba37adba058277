// The real wendlebox binary and the real extension in headless Chromium,
// against a local ChatGPT-shaped page served over HTTPS as chatgpt.com.
// The page asks for a small file and an image, then a 200 KB file shown
// only in part (only the page's copy action gives the whole answer), then
// says done.
import { test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import fs from "node:fs";
import https from "node:https";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";
import { chromium as playwright } from "playwright-core";

const here = path.dirname(fileURLToPath(import.meta.url));
const source = path.resolve(here, "../..");
const build = process.env.WENDLEBOX_BUILD_DIR || path.join(source, "build");
const chromium = process.env.CHROMIUM || "/usr/bin/chromium";

function temporaryFolder(name) {
  return fs.mkdtempSync(path.join(os.tmpdir(), `wendlebox-e2e-${name}-`));
}

function selfSignedCertificate(folder) {
  execFileSync("openssl", ["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
    "-subj", "/CN=chatgpt.com", "-addext", "subjectAltName=DNS:chatgpt.com",
    "-keyout", path.join(folder, "key.pem"), "-out", path.join(folder, "cert.pem")], { stdio: "ignore" });
  return { key: fs.readFileSync(path.join(folder, "key.pem")), cert: fs.readFileSync(path.join(folder, "cert.pem")) };
}

const TYPES = { ".html": "text/html", ".js": "text/javascript", ".css": "text/css" };

// The page reports what was typed into its composer and what was uploaded.
function servePage(certificate, typed, uploaded) {
  const server = https.createServer(certificate, (request, response) => {
    const url = new URL(request.url, "https://chatgpt.com");
    if (request.method === "POST" && (url.pathname === "/typed" || url.pathname === "/uploaded")) {
      let body = "";
      request.on("data", (chunk) => (body += chunk));
      request.on("end", () => {
        if (url.pathname === "/typed") typed.push(body);
        else uploaded.push(JSON.parse(body));
        response.end("ok");
      });
      return;
    }
    let file = path.join(here, "fake_chatgpt", "index.html");
    if (url.pathname === "/page.js") file = path.join(here, "fake_chatgpt", "page.js");
    if (url.pathname.startsWith("/node_modules/")) file = path.join(here, path.normalize(url.pathname));
    if (!file.startsWith(here) || !fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { "Content-Type": TYPES[path.extname(file)] || "application/octet-stream" });
    response.end(fs.readFileSync(file));
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve(server)));
}

// The browser opener wendlebox finds on PATH: it starts Chromium with the
// extension on the URL it is given and leaves it running.
function writeOpener(bin, profile, port) {
  const extension = path.join(build, "extension");
  const flags = ["--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    `--user-data-dir=${profile}`, `--load-extension=${extension}`, `--disable-extensions-except=${extension}`,
    `--host-resolver-rules=MAP chatgpt.com 127.0.0.1:${port}`, "--ignore-certificate-errors",
    // Recent Chromium ignores --load-extension unless this switch is allowed again.
    "--disable-features=DisableLoadExtensionCommandLineSwitch", "--remote-debugging-port=0"];
  const script = `#!/bin/sh\necho "$1" >> "${bin}/urls"\n` +
    `setsid "${chromium}" ${flags.map((f) => `'${f}'`).join(" ")} "$1" >"${bin}/chromium.log" 2>&1 &\n` +
    `echo $! > "${bin}/chromium.pid"\n`;
  fs.writeFileSync(path.join(bin, "xdg-open"), script, { mode: 0o755 });
}

function run(command, args, options) {
  return new Promise((resolve) => {
    const child = spawn(command, args, options);
    let out = "";
    let err = "";
    child.stdout.on("data", (d) => (out += d));
    child.stderr.on("data", (d) => (err += d));
    const timer = setTimeout(() => child.kill("SIGKILL"), 150_000);
    child.on("close", (code) => {
      clearTimeout(timer);
      resolve({ code, out, err });
    });
  });
}

const bigContent = Array.from({ length: 22000 }, (_, i) => `row ${i}`).join("\n") + "\n";

// What the system clipboard holds, read through the DevTools protocol of
// the Chromium that the opener started.
async function clipboardText(profile) {
  const port = fs.readFileSync(path.join(profile, "DevToolsActivePort"), "utf8").split("\n")[0];
  const browser = await playwright.connectOverCDP(`http://127.0.0.1:${port}`);
  try {
    const context = browser.contexts()[0];
    await context.grantPermissions(["clipboard-read", "clipboard-write"], { origin: "https://chatgpt.com" });
    const page = context.pages().find((p) => p.url().startsWith("https://chatgpt.com/"));
    await page.bringToFront();
    const held = await page.evaluate(() => navigator.clipboard.readText());
    // The reading means something only if this clipboard takes writes.
    const probe = await page.evaluate(async () => {
      await navigator.clipboard.writeText("probe");
      return navigator.clipboard.readText();
    });
    assert.equal(probe, "probe");
    return held;
  } finally {
    await browser.close();
  }
}

test("a task runs end to end through the extension in Chromium", { timeout: 200_000 }, async () => {
  const certificates = temporaryFolder("cert");
  const home = temporaryFolder("home");
  const work = temporaryFolder("work");
  const bin = temporaryFolder("bin");
  const profile = temporaryFolder("profile");
  const typed = [];
  const uploaded = [];
  const server = await servePage(selfSignedCertificate(certificates), typed, uploaded);
  const picture = Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), Buffer.from("pixels")]);
  fs.writeFileSync(path.join(work, "pic.png"), picture);
  writeOpener(bin, profile, server.address().port);
  fs.mkdirSync(path.join(home, ".config/wendlebox"), { recursive: true });
  fs.writeFileSync(path.join(home, ".config/wendlebox/settings.json"), '{"sounds": false, "git": false}');
  try {
    const env = { ...process.env, HOME: home, PATH: `${bin}:${process.env.PATH}`, NO_COLOR: "1" };
    for (const name of ["XDG_CONFIG_HOME", "WENDLEBOX_LANG", "LANG", "LC_ALL", "LANGUAGE", "LC_MESSAGES"]) delete env[name];
    const result = await run(path.join(build, "wendlebox"), ["make the file"], { cwd: work, env, stdio: ["ignore", "pipe", "pipe"] });
    const log = fs.existsSync(path.join(bin, "chromium.log")) ? fs.readFileSync(path.join(bin, "chromium.log"), "utf8") : "";
    assert.equal(result.code, 0, `stdout:\n${result.out}\nstderr:\n${result.err}\nchromium:\n${log.slice(-3000)}`);
    assert.equal(fs.readFileSync(path.join(work, "hello.txt"), "utf8"), "Hello from the browser\n");
    assert.equal(fs.readFileSync(path.join(work, "big.txt"), "utf8"), bigContent);
    assert.doesNotMatch(await clipboardText(profile), /wendlebox/);
    const chats = JSON.parse(fs.readFileSync(path.join(home, ".config/wendlebox/chats.json"), "utf8"));
    assert.equal(chats[0].url, "https://chatgpt.com/c/0c0ffee0-1234-4abc-8def-0123456789ab");
    assert.match(result.out, /ChatGPT Writing big\.txt\.\nWrote big\.txt\n/);
    assert.match(result.out, /ChatGPT Created hello\.txt and big\.txt\.\n/);
    assert.doesNotMatch(result.out, /turn 4/);  // no answer needed a retry
    assert.equal(typed.length, 3);
    // The image went up with the second message, as the file it was.
    assert.deepEqual(uploaded, [{ name: "pic.png", type: "image/png", bytes: Array.from(picture) }]);
    assert.match(typed[0], /adapt\.\n\nUser task: make the file\nWorking folder: .*\nExtra folders allowed for file actions:\n\(none\)$/);
    assert.match(typed[1], /^Wendlebox tool results \(JSON\):\n\[\n  \{\n    "ok": true,/);
  } finally {
    const pidFile = path.join(bin, "chromium.pid");
    if (fs.existsSync(pidFile)) {
      try {
        // Chromium runs in a session of its own: end the whole group.
        process.kill(-Number(fs.readFileSync(pidFile, "utf8")), "SIGKILL");
      } catch {}
    }
    server.close();
    await new Promise((resolve) => setTimeout(resolve, 200));
    for (const folder of [certificates, home, work, bin, profile]) fs.rmSync(folder, { recursive: true, force: true, maxRetries: 5 });
  }
});
