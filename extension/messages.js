// Where the wendlebox program listens, and the names of the messages the
// content script sends the worker: imported by both, so each is spelt in
// this one place. The program's build reads WENDLEBOX_PORT from here too.
// (page_world.js, which runs in the page's own world, imports nothing: its
// window messages are checked against the content script's by the
// extension's tests.)
export const WENDLEBOX_PORT = 47833;

export const bridge = `http://127.0.0.1:${WENDLEBOX_PORT}`;
// Content script -> worker: chrome.runtime messages, by their `type`.
export const worker = Object.freeze({
  setToken: "setToken",
  getToken: "getToken",
  poll: "poll",
  current: "current",
  claim: "claim",
  sending: "sending",
  inflight: "inflight",
  release: "release",
  result: "result",
  ended: "ended",
});
// Sends the worker one of those messages; the answer comes as a promise. A
// name the worker does not know is refused here rather than left unanswered.
export function toWorker(message) {
  if (!Object.hasOwn(worker, message.type)) return Promise.reject(new Error(`no worker message ${message.type}`));
  return (globalThis.browser || globalThis.chrome).runtime.sendMessage(message);
}
