// Whole tasks of the real binary through the real extension in headless
// Chromium, one per page layout and per situation that has broken the
// extension before. Each ends with the right answer or a clear error.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { BRIDGE_PORT, bigInput, closeStandIn, hmac, listening, picture, poll, standIn, startHarness } from "./harness.mjs";
import { testLate2026 } from "./late2026_cases.mjs";
import { pageFromSkeleton } from "./skeleton_page.mjs";

let harness;
before(async () => (harness = await startHarness()));
after(async () => harness && harness.stop());

const bigContent = Array.from({ length: 22000 }, (_, i) => `row ${i}`).join("\n") + "\n";

function succeeded(run) {
  assert.equal(run.code, 0, `stdout:\n${run.out}\nstderr:\n${run.err}`);
  assert.equal(run.read("hello.txt"), "Hello from the browser\n");
  assert.doesNotMatch(run.out, /turn 3/); // every answer parsed at the first try
}

// The three-answer task: a file, an image and a 250 KB read; a 200 KB file
// that only the copy action gives whole; done.
function didTheTask(run) {
  assert.equal(run.code, 0, `stdout:\n${run.out}\nstderr:\n${run.err}`);
  assert.equal(run.read("hello.txt"), "Hello from the browser\n");
  assert.equal(run.read("big.txt"), bigContent);
  assert.match(run.out, /ChatGPT Writing big\.txt\.\nWrote big\.txt\n/);
  assert.match(run.out, /ChatGPT Created hello\.txt and big\.txt\.\n/);
  assert.doesNotMatch(run.out, /turn 4/);
  assert.equal(run.typed.length, 3);
  assert.match(run.typed[0], /adapt\.\n\nUser task: make the file\nWorking folder: .*\nExtra folders allowed for file actions:\n\(none\)$/);
  assert.match(run.typed[1], /^Wendlebox tool results \(JSON\):\n\[\n  \{\n    "ok": true,/);
  assert.ok(run.typed[1].includes(JSON.stringify(bigInput).slice(1, -1)), "the 250 KB read reached ChatGPT whole");
  assert.deepEqual(run.uploaded, [{ name: "pic.png", type: "image/png", bytes: Array.from(picture) }]);
  assert.ok(!run.events.some((e) => e.type === "wrong-input"), "the image went through the composer's own input");
}

test("2025 layout: a whole task", async () => {
  didTheTask(await harness.run({ page: { generation: "2025" } }));
});

test("mid-2026 layout: a whole task, and the clipboard is left alone", async () => {
  didTheTask(await harness.run({ page: { generation: "2026-mid" } }));
  const { held, probe } = await harness.clipboardText();
  assert.equal(probe, "probe");
  assert.doesNotMatch(held, /wendlebox/);
});

test("current layout in Portuguese: a long chat with two turns mounted, a hidden older chat, another file input first", async () => {
  didTheTask(await harness.run({ page: { generation: "2026-09", language: "pt", history: 12,
    situations: ["hidden-conversation", "second-file-input"] } }));
});

// The app shell of late 2026: each run starts a new chat, whose address is
// first a placeholder and then the server's; only the server's is saved.
for (const [language, situations] of [["en", ["activity"]], ["ko", []], ["tr", ["activity"]]]) {
  test(`app shell in ${language}: a whole task in a new chat${situations.length ? ", thinking before each answer" : ""}`, async () => {
    const run = await harness.run({ page: { generation: "2026-10", language, history: language === "ko" ? 4 : 0, situations } });
    didTheTask(run);
    assert.match(run.out, /Chat: https:\/\/chatgpt\.com\/c\/0c0ffee0-1234-4abc-8def-0123456789ab\n/);
  });
}

// New chats whose first address is of another shape, and a chat inside a
// Project: each is the same chat as the server's address that follows; a
// Project chat is saved by its conversation address.
for (const [shape, page] of [["WEB:", { placeholder: "WEB:" }], ["WEB%3A", { placeholder: "WEB%3A" }],
  ["a Project", { project: "g-p-68a0c0ffee" }]]) {
  test(`app shell, a new chat first at ${shape}: a short task, the chat saved`, async () => {
    const run = await harness.run({ page: { generation: "2026-10", script: "short", ...page } });
    succeeded(run);
    assert.match(run.out, /Chat: https:\/\/chatgpt\.com\/c\/0c0ffee0-1234-4abc-8def-0123456789ab\n/);
  });
}

// The page for visitors without an account: the prompt typed exactly into
// its textarea, the answer complete when the page marks it so. Its chats
// are not saved (ChatGPT keeps no history for visitors).
test("signed-out page: a whole task", async () => {
  const run = await harness.run({ page: { serve: "signed-out" } });
  succeeded(run);
  assert.equal(run.typed.length, 2);
  assert.match(run.typed[0], /^You are working through Wendlebox[^]*\nUser task: make the file\n/);
  assert.doesNotMatch(run.out, /Chat: /);
});

test("app shell in Japanese: a dictation button in the send button's place is not the stop button", async () => {
  succeeded(await harness.run({ page: { generation: "2026-10", language: "ja", script: "short", situations: ["dictation-beside-send"] } }));
});

const older = [
  ["a dictation button beside the send button is not the stop button", "2026-mid", ["dictation-beside-send"]],
  ["where the page's stream cannot be watched, a thinking pause is not the end", "2026-09", ["hidden-stream", "thinking"]],
  ["an answer cut short is continued and read whole", "2025", ["cut-short"]],
  ["an answer written into a canvas is read from the canvas", "2025", ["canvas"]],
];
for (const [situation, generation, situations] of older) {
  test(`${generation} layout: ${situation}`, async () => {
    succeeded(await harness.run({ page: { generation, script: "short", situations } }));
  });
}

test("stop buttons of dictation and read aloud do not hold the answer; the user's draft is kept", async () => {
  const run = await harness.run({ page: { generation: "2026-09", script: "short", situations: ["stop-lookalikes", "draft"] },
    inspect: (tab) => tab.evaluate(() => document.querySelector(".ProseMirror").textContent) });
  succeeded(run);
  assert.doesNotMatch(run.typed[0], /draft/);
  assert.match(run.typed[0], /^You are working through Wendlebox/);
  assert.equal(run.inspected, "my half-written draft");
});

test("a preamble that pauses is not taken for the answer", async () => {
  succeeded(await harness.run({ page: { generation: "2026-09", script: "short", situations: ["thinking"] } }));
});

test("a reload during an answer: the answer is found again, the prompt not sent twice", async () => {
  const run = await harness.run({ page: { generation: "2026-09", script: "short", situations: ["reload"] } });
  succeeded(run);
  assert.equal(run.typed.length, 2);
});

test("Ctrl-C in the program stops ChatGPT's answer in the page", async () => {
  const run = await harness.run({ page: { generation: "2026-09", script: "short", situations: ["slow-answer"] },
    during: async (program, events) => {
      await poll(() => events.some((e) => e.type === "answer-started"), 30_000, "the answer to start");
      program.kill("SIGINT");
      await poll(() => events.some((e) => e.type === "stopped"), 30_000, "the page's stop button");
    } });
  assert.equal(run.code, 0, `stdout:\n${run.out}\nstderr:\n${run.err}`);
  assert.match(run.out, /Interrupted\.\n/);
  assert.equal(run.read("hello.txt"), null);
});

const failures = [
  ["an error answer", { situations: ["error-answer"] }, /answered with an error: "Something went wrong.*\[step: wait for the answer; landmark: error message/],
  ["a rate-limit notice", { situations: ["rate-limit"] }, /usage limit notice: "You've reached our limit.*\[step: (confirm the prompt was sent|wait for the answer); landmark: rate-limit notice\]/],
  ["a login dialog", { situations: ["login-dialog"] }, /asks you to log in.*landmark: login dialog\]/],
  ["a logged-out page", { serve: "logged-out" }, /logged-out page.*\[step: find the composer; landmark: login button\]/],
  ["a challenge page", { serve: "challenge" }, /browser check.*\[step: find the composer; landmark: challenge page \(challenge title\)\]/],
  ["a short page with only a challenge script", { serve: "challenge-script" },
    /browser check.*\[step: find the composer; landmark: challenge page \(challenge script on a page without ChatGPT\)\]/],
  ["a disabled composer", { situations: ["disabled-composer"] }, /message box is disabled \[step: find the composer/],
  ["another chat opened during the answer", { situations: ["other-chat"] }, /moved to another chat.*\[step: wait for the answer; landmark: page address/],
  ["a refused image", { script: "image", situations: ["image-refused"] }, /refused pic\.png: "pic\.png: this file type is not supported\.".*\[step: attach images/],
  ["a prompt that never shows as sent", { situations: ["never-shown"] },
    /did not appear as a user message within 15 seconds; the page shows no user message \[step: confirm the prompt was sent/],
];

// Answers with no text are reported at once (long before the 90 seconds
// without progress), naming what the page showed.
failures.push(
  ["an answer that ends with no text", { generation: "2026-10", situations: ["empty-answer"] }, /answer ended with no text.*\[step: wait for the answer/],
  ["an image answer", { generation: "2026-10", situations: ["image-answer"] }, /generated image instead of text.*\[step: wait for the answer; landmark: image in the answer/],
  ["an image to attach", { serve: "signed-out", script: "image" }, /page is signed out.*\[step: attach images/],
  ["its rate-limit dialog", { serve: "signed-out", situations: ["rate-limit"] }, /usage limit notice: "You've hit the free limit.*landmark: rate-limit notice\]/],
  ["\"Unable to connect\"", { serve: "signed-out", situations: ["unable-to-connect"] }, /could not answer: "Unable to connect\. Retry".*landmark: connection retry button\]/],
  ["its login dialog", { serve: "signed-out", situations: ["login-modal"] }, /asks you to log in.*landmark: login dialog\]/],
);

const appShellFailures = new Set(["an error answer", "another chat opened during the answer"]);
for (const [situation, page, message] of failures) {
  const generations = page.generation || page.serve ? [page.generation || page.serve]
    : appShellFailures.has(situation) ? ["2026-09", "2026-10"] : ["2026-09"];
  for (const generation of generations) test(`${generation} layout: ${situation} ends the task with an error that names it`, async () => {
    const run = await harness.run({ page: { generation, script: "short", ...page }, inspect: () => harness.icon() });
    assert.equal(run.code, 1, `stdout:\n${run.out}\nstderr:\n${run.err}`);
    assert.match(run.err, /^Wendlebox: Browser: /);
    assert.match(run.err, message);
    assert.doesNotMatch(run.out, /WRONG/);
    // The toolbar icon says the tab stopped, and on what.
    assert.equal(run.inspected.badge, "!");
    assert.match(run.inspected.title, message);
  });
}

// `wendlebox --probe` on each layout finds every landmark, and the page
// rebuilt from its skeleton shows them the same way; the report holds no
// message text.
function probed(run) {
  assert.equal(run.code, 0, `stdout:\n${run.out}\nstderr:\n${run.err}`);
  const [found, candidates] = run.out.split(/\n\d+ of \d+ landmarks found\.\n/);
  const landmarks = found.split("\n").filter((line) => line.startsWith("  "));
  // The message boxes and file inputs the page has, and which are used.
  assert.match(candidates, /^Message boxes on the page:\n(  .*\n)*  \S.* \d+×\d+  \(used\)\n/);
  assert.ok(landmarks.length >= 8, run.out);
  assert.match(run.out, /\n(\d+) of \1 landmarks found\./);
  const name = /wendlebox-probe-\d+\.json/.exec(run.out)[0];
  return { landmarks, report: run.read(name) };
}

for (const generation of ["2025", "2026-mid", "2026-09", "2026-10"]) {
  test(`${generation} layout: --probe finds every landmark, and so does the page rebuilt from its skeleton`, async () => {
    const page = { generation, language: generation === "2026-10" ? "ko" : "en", history: 2, situations: ["draft"] };
    const live = probed(await harness.run({ page, args: ["--probe"] }));
    for (const words of ["earlier prompt", "Earlier answer", "my half-written draft", "write_file"])
      assert.ok(!live.report.includes(words), `the report holds "${words}"`);
    const html = pageFromSkeleton(JSON.parse(live.report).skeleton);
    const rebuilt = probed(await harness.run({ page: { serve: "html", html }, args: ["--probe"] }));
    assert.deepEqual(rebuilt.landmarks, live.landmarks);
  });
}

testLate2026(test, () => harness);

// Two sessions at once in two folders, each in a tab of its own: the second
// listens on the next port, which its tab's address names; each tab works
// for its own session and both chats are saved.
test("two tabs run two sessions at once, each on its own port", async () => {
  const page = { generation: "2026-10", script: "short" };
  const runs = await harness.runAtOnce([{ page }, { page, prompt: "make the file here too" }]);
  assert.doesNotMatch(runs[0].address, /port=/);
  assert.match(runs[1].address, /^https:\/\/chatgpt\.com\/#wendlebox=[0-9a-f]{32}&port=47834$/);
  for (const [index, run] of runs.entries()) {
    succeeded(run);
    assert.match(run.chats, /"url": "https:\/\/chatgpt\.com\/c\/0c0ffee0-1234-4abc-8def-0123456789ab"/);
    // Its own first prompt, typed in its own tab, named its own folder.
    const first = run.typed.find((typed) => typed.includes(`Working folder: ${run.work}\n`));
    assert.ok(first && first.includes(index ? "User task: make the file here too\n" : "User task: make the file\n"), run.typed.join("\n---\n"));
  }
});

// A process that took the port while no session runs, with a link that
// carries a token of its own: the tab never sends it the token (only
// requests signed with a key it cannot make without the pairing key), and
// its answers, signed or not, stop the tab before anything is typed.
for (const [how, signs] of [["unsigned", false], ["signed with its own token", true]]) {
  test(`a squatter on the bridge port with its own link gets nothing and types nothing (answers ${how})`, async () => {
    const token = "0123456789abcdef0123456789abcdef";
    const seen = [];
    const squatter = standIn((request, response, requestBody) => {
      seen.push(request.url + " " + JSON.stringify(request.headers) + requestBody);
      const body = '{"id":1,"prompt":"WRONG: the squatter\'s job"}';
      const nonce = request.headers["x-wendlebox-nonce"] || "";
      const headers = { "Content-Type": "application/json" };
      if (signs) headers["X-Wendlebox-Signature"] = hmac(token, `answer\n${nonce}\n200\n${body}`);
      response.writeHead(200, headers).end(body);
    });
    await listening(squatter);
    const tab = await harness.openTab({ generation: "2026-09" }, `https://chatgpt.com/#wendlebox=${token}`);
    try {
      await tab.waitForSelector("text=the wendlebox program has ended", { timeout: 30_000 });
      assert.ok(seen.some((request) => request.includes("x-wendlebox-signature")), "the extension signed its request");
      assert.ok(!seen.some((request) => request.includes(token)), `the token reached the squatter: ${seen.join(", ")}`);
      assert.equal(harness.state.typed.length, 0, "the squatter's job was not sent");
    } finally {
      await tab.close();
      closeStandIn(squatter);
    }
  });
}

// A link whose port is no session's (here the one just past the last) starts
// nothing in its tab: what listens there hears nothing, and the token leaves
// the address. A tab of a session on a port of the range, opened after it,
// is served by the same worker meanwhile.
test("a link naming a port outside the sessions' ports is ignored", async () => {
  const token = "0123456789abcdef0123456789abcdef";
  const heard = { outside: [], inside: [] };
  const listen = (port, where) => new Promise((resolve) => {
    const server = standIn((request, response) => {
      heard[where].push(request.url);
      response.writeHead(204).end();
    });
    server.listen(port, "127.0.0.1", () => resolve(server));
  });
  const outside = await listen(BRIDGE_PORT + 20, "outside");
  const inside = await listen(BRIDGE_PORT + 1, "inside");
  const hostile = await harness.openTab({ generation: "2026-09" }, `https://chatgpt.com/#wendlebox=${token}&port=${BRIDGE_PORT + 20}`);
  const served = await harness.openTab({ generation: "2026-09" }, `https://chatgpt.com/#wendlebox=${token}&port=${BRIDGE_PORT + 1}`);
  try {
    await poll(() => heard.inside.length > 0, 30_000, "the served tab's poll");
    assert.deepEqual(heard.outside, []);
    assert.equal(hostile.url(), "https://chatgpt.com/");
  } finally {
    await hostile.close();
    await served.close();
    closeStandIn(outside);
    closeStandIn(inside);
  }
});

// Our program ends in the middle of an answer and another takes its port:
// the withdrawal check's unsigned answer stops ChatGPT's answer, and the
// answer never goes to the newcomer.
test("a program that takes the port after ours ended mid-answer gets no answer", async () => {
  const posted = [];
  const squatter = standIn((request, response, body) => {
    if (request.method === "POST") posted.push(body);
    response.writeHead(200, { "Content-Type": "application/json" }).end('{"id":1,"prompt":"WRONG"}');
  });
  try {
    await harness.run({ page: { generation: "2026-09", script: "short", situations: ["slow-answer"] },
      during: async (program, events) => {
        program.stdin.on("error", () => {});
        await poll(() => events.some((e) => e.type === "answer-started"), 30_000, "the answer to start");
        const ended = new Promise((resolve) => program.once("exit", resolve));
        program.kill("SIGKILL");
        await ended;
        await listening(squatter);
        await poll(() => events.some((e) => e.type === "stopped"), 30_000, "the page's stop button");
      },
      inspect: (tab) => tab.waitForSelector("text=the wendlebox program has ended", { timeout: 30_000 }) });
    assert.deepEqual(posted, []);
  } finally {
    closeStandIn(squatter);
  }
});

// The program was paired anew (setup run again) and the browser kept the
// extension with the old key: the program refuses it and says once on the
// terminal to reload it, and the tab says so too, before anything is typed.
test("an extension that holds an old pairing key is told, on the terminal and in the tab, to be reloaded", async () => {
  const told = "The Wendlebox extension in the browser holds a pairing key other than this program's";
  const run = await harness.run({ page: { generation: "2026-09" }, pairingKey: "b".repeat(64),
    during: async (program, _events, printed) => {
      await poll(() => printed().includes(told), 30_000, "the terminal's message");
      program.kill("SIGINT");
    },
    inspect: async (tab) => (await tab.waitForSelector("text=holds a pairing key other than", { timeout: 30_000 })).textContent() });
  assert.equal(run.out.split(told).length, 2, run.out);
  assert.match(run.out, /Reload Wendlebox in the browser's extensions page \(edge:\/\/extensions or chrome:\/\/extensions\)\./);
  assert.match(run.inspected, /^Wendlebox: this extension holds a pairing key other than the wendlebox program's .* Reload Wendlebox in the browser's extensions page/);
  assert.equal(harness.state.typed.length, 0);
});

// The test plays the program, signing as the paired program does; the
// answer to the first result is lost, and the result is sent again.
test("a result whose answer was lost is sent again until the program takes it", async () => {
  const token = "fedcba9876543210fedcba9876543210";
  const key = hmac(harness.pairingKey, `session\n${token}`);
  const results = [];
  let taken = false;
  const program = standIn((request, response, body) => {
    const reply = (status, text) => response.writeHead(status, { "Content-Type": "application/json",
      "X-Wendlebox-Signature": hmac(key, `answer\n${request.headers["x-wendlebox-nonce"]}\n${status}\n${text}`) }).end(text);
    if (request.method === "POST") {
      results.push(JSON.parse(body));
      if (results.length === 1) return request.socket.destroy();
      taken = true;
      return reply(200, '{"ok":true}');
    }
    if (taken) return setTimeout(() => reply(204, ""), 300);
    reply(200, JSON.stringify({ id: 1, prompt: "make the file" }));
  });
  await listening(program);
  const tab = await harness.openTab({ generation: "2026-09", script: "short" }, `https://chatgpt.com/#wendlebox=${token}`);
  try {
    await poll(() => taken, 60_000, "the result sent again");
    assert.equal(results.length, 2);
    assert.deepEqual(results[1], results[0]);
    assert.match(results[0].text, /```wendlebox/);
    assert.equal(harness.state.typed.length, 1);
  } finally {
    await tab.close();
    closeStandIn(program);
  }
});

// The probe's report names no attachment, no e-mail address and no
// identifier, whatever its alphabet.
test("the probe report masks attachment names, e-mail addresses and identifiers", async () => {
  const secrets = ["secret", "plan.pdf", "alice.smith@example.com", "bob@mail.example.org", "Zx9QpL2mVb7TnR", "QpLmVbTnRx",
    "идентификатор", "ид7ент8ификатор", "usr_8fK2pQ9xLm"];
  const html = '<!doctype html><title>ChatGPT</title><main><form data-chatgpt-composer="">' +
    '<div class="ProseMirror" contenteditable="true" aria-label="Ask ChatGPT"></div>' +
    '<div data-attachment-key="Zx9QpL2mVb7TnR" data-owner="идентификатор" data-file="ид7ент8ификатор" title="secret plan.pdf">' +
    '<button type="button" aria-label="Remove secret plan.pdf"></button></div>' +
    '<button type="submit" aria-label="Send prompt" data-x="QpLmVbTnRx"></button></form>' +
    '<nav aria-label="Account of alice.smith@example.com" data-user="usr_8fK2pQ9xLm" title="bob@mail.example.org"></nav></main>';
  const run = await harness.run({ page: { serve: "html", html }, args: ["--probe"] });
  assert.equal(run.code, 0, `stdout:\n${run.out}\nstderr:\n${run.err}`);
  const report = run.read(/wendlebox-probe-\d+\.json/.exec(run.out)[0]);
  for (const secret of secrets) assert.ok(!report.includes(secret), `the report holds "${secret}"`);
  assert.match(report, /"aria-label": "Remove <name>"/);
  assert.match(report, /"aria-label": "Send prompt"/);
});
