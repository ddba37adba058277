// Whole tasks on the fake pages drawn from the page facts of October and
// November 2026, run in Chromium (e2e.test.mjs) and Firefox
// (firefox.test.mjs): each ends with the right answer or an error that
// names what the page showed, well within the run's 45 seconds.
import assert from "node:assert/strict";

const LIMIT_MS = 45_000;

function ok(run) {
  assert.equal(run.code, 0, `stdout:\n${run.out}\nstderr:\n${run.err}`);
}

function wroteTheFile(run) {
  ok(run);
  assert.equal(run.read("hello.txt"), "Hello from the browser\n");
  assert.doesNotMatch(run.out, /turn 3/); // every answer parsed at the first try
}

// The image task: the picture reached the page once, through the
// composer's own input.
function sentThePicture(run) {
  ok(run);
  assert.match(run.out, /ChatGPT Seen\.\n/);
  assert.equal(run.uploaded.length, 1, JSON.stringify(run.uploaded.map((u) => u.name)));
  assert.equal(run.uploaded[0].name, "pic.png");
  assert.ok(!run.events.some((e) => e.type === "wrong-input"), "the picture went to the camera's input");
}

const editorText = (tab) => tab.evaluate(() => document.querySelector("#editor .ProseMirror").textContent);

export const late2026Cases = [
  ["2026-11-11: a zero-size twin of the editor first in the composer", { generation: "2026-10", script: "short", situations: ["twin-composer"] },
    wroteTheFile],
  ["2026-11-11: no send button while the composer is empty, a picture staged before any text",
    { generation: "2026-10", script: "image", situations: ["no-send-while-empty"] }, sentThePicture],
  ["2026-11-24: after a reload the page puts the sent prompt back into the composer: emptied, not sent, not kept",
    { generation: "2026-09", script: "short", situations: ["reload", "restored-draft"] }, (run) => {
      wroteTheFile(run);
      assert.equal(run.typed.length, 2);
      assert.match(run.typed[1], /^Wendlebox tool results \(JSON\):\n/);
      assert.equal(run.inspected, "");
    }, editorText],
  ["2026-11-25: a camera-capture input first in the composer", { generation: "2026-10", script: "image", situations: ["camera-input"] },
    sentThePicture],
  ["2026-11-25: a staged picture's chip vanishes once: the picture is given again", { generation: "2026-10", script: "image",
    situations: ["chip-vanishes"] }, sentThePicture],
  ["undated (Oct 2026): the answer unit's second name, no exchange around it", { generation: "2026-10", script: "short",
    situations: ["search-units"] }, wroteTheFile],
  ["the answer unit drawn anew with its selection id when complete", { generation: "2026-10", script: "short",
    situations: ["search-units", "answer-new-id"] }, wroteTheFile],
  ["signed-out page, headings and the button bubble as captured, the answer's item drawn anew with another id when complete",
    { serve: "signed-out", situations: ["answer-new-id"] }, wroteTheFile],
  ["issue 48: an answer stopped before any text, whose unit keeps its heading, beside an earlier answer's controls",
    { generation: "2026-10", script: "short", history: 1, situations: ["stopped-with-heading"] }, (run) => {
      assert.equal(run.code, 1, `stdout:\n${run.out}\nstderr:\n${run.err}`);
      assert.match(run.err, /answer ended with no text.*\[step: wait for the answer; landmark: answer/);
    }],
];

// Registers each case with `test` for the browser of `harness()`.
export function testLate2026(test, harness) {
  for (const [situation, page, check, inspect] of late2026Cases) {
    test(`late 2026: ${situation}`, async () => {
      check(await harness().run({ page, limitMs: LIMIT_MS, inspect }));
    });
  }
}
