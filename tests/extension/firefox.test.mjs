// Whole tasks of the real binary through the Firefox build of the extension
// in headless Firefox ESR: each page layout once (the signed-out page too),
// the situations where Firefox takes input differently (a paste, the
// user's draft, a reload), the pages of the late-2026 facts, and two
// sessions at once.
import { after, before, test } from "node:test";
import assert from "node:assert/strict";
import { closeStandIn, hmac, listening, standIn, startHarness } from "./harness.mjs";
import { testLate2026 } from "./late2026_cases.mjs";

let harness;
before(async () => (harness = await startHarness({ browser: "firefox" })));
after(async () => harness && harness.stop());

function succeeded(run) {
  assert.equal(run.code, 0, `stdout:\n${run.out}\nstderr:\n${run.err}`);
  assert.equal(run.read("hello.txt"), "Hello from the browser\n");
  assert.doesNotMatch(run.out, /turn 3/); // every answer parsed at the first try
}

test("app shell: a whole task with an image and a 250 KB read", async () => {
  const run = await harness.run({ page: { generation: "2026-10" } });
  assert.equal(run.code, 0, `stdout:\n${run.out}\nstderr:\n${run.err}`);
  assert.equal(run.read("hello.txt"), "Hello from the browser\n");
  assert.equal(run.typed.length, 3);
  assert.equal(run.uploaded.length, 1);
  assert.equal(run.browserSeen, "firefox"); // for doctor
});

for (const generation of ["2025", "2026-mid", "2026-09"]) {
  test(`${generation} layout: a short task`, async () => {
    succeeded(await harness.run({ page: { generation, script: "short" } }));
  });
}

// The page for visitors without an account: a plain textarea, one button
// that is send and stop in turn, the answer marked complete by the page.
test("signed-out page: a short task", async () => {
  const run = await harness.run({ page: { serve: "signed-out" } });
  succeeded(run);
  assert.match(run.typed[0], /^You are working through Wendlebox/);
});

test("the user's draft is kept and not sent", async () => {
  const run = await harness.run({ page: { generation: "2026-09", script: "short", situations: ["draft"] },
    inspect: (tab) => tab.evaluate(() => document.querySelector(".ProseMirror").textContent) });
  succeeded(run);
  assert.match(run.typed[0], /^You are working through Wendlebox/);
  assert.equal(run.inspected, "my half-written draft");
});

test("a reload during an answer: the answer is found again, the prompt not sent twice", async () => {
  const run = await harness.run({ page: { generation: "2026-09", script: "short", situations: ["reload"] } });
  succeeded(run);
  assert.equal(run.typed.length, 2);
});

test("an error answer ends the task with an error that names it", async () => {
  const run = await harness.run({ page: { generation: "2026-10", script: "short", situations: ["error-answer"] } });
  assert.equal(run.code, 1, `stdout:\n${run.out}\nstderr:\n${run.err}`);
  assert.match(run.err, /answered with an error: "Something went wrong.*\[step: wait for the answer; landmark: error message/);
});

testLate2026(test, () => harness);

// Two sessions at once, each in a tab of its own on its own port.
test("two tabs run two sessions at once, each on its own port", async () => {
  const page = { generation: "2026-10", script: "short" };
  const runs = await harness.runAtOnce([{ page }, { page, prompt: "make the file here too" }]);
  assert.match(runs[1].address, /#wendlebox=[0-9a-f]{32}&port=47834$/);
  for (const run of runs) {
    succeeded(run);
    assert.match(run.chats, /"url": "https:\/\/chatgpt\.com\/c\/0c0ffee0-1234-4abc-8def-0123456789ab"/);
  }
});

// A program that holds the port while no session runs, with a link that
// carries its own token, signs its answers with that token: without the
// pairing key, which setup put in this user's package, that proves nothing.
test("a squatter on the bridge port with its own link types nothing", async () => {
  const token = "0123456789abcdef0123456789abcdef";
  const squatter = standIn((request, response) => {
    const body = '{"id":1,"prompt":"WRONG: the squatter\'s job"}';
    const signature = hmac(token, `answer\n${request.headers["x-wendlebox-nonce"] || ""}\n200\n${body}`);
    response.writeHead(200, { "Content-Type": "application/json", "X-Wendlebox-Signature": signature }).end(body);
  });
  await listening(squatter);
  const tab = await harness.openTab({ generation: "2026-09" }, `https://chatgpt.com/#wendlebox=${token}`);
  try {
    await tab.waitForFunction(() => document.body.innerText.includes("the wendlebox program has ended"), { timeout: 30_000 });
    assert.equal(harness.state.typed.length, 0, "the squatter's job was not sent");
  } finally {
    await tab.close();
    closeStandIn(squatter);
  }
});
