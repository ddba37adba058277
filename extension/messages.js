// Where the wendlebox program listens, and the names of the messages the
// content script sends the worker: imported by both, so each is spelt in
// this one place. The program's build reads WENDLEBOX_PORT and
// WENDLEBOX_LAST_PORT from here too.
// (page_world.js, which runs in the page's own world, imports nothing: its
// window messages are checked against the content script's by the
// extension's tests.)
export const WENDLEBOX_PORT = 47833;
// Several sessions run at once, each on the first free port from
// WENDLEBOX_PORT up to this one; a tab's address names its session's port
// when it is not the first. The extension talks to no port outside them.
export const WENDLEBOX_LAST_PORT = 47852;

// The address of the session on `port`, or null for a port that is no
// session's (malformed, or outside the ports above): a link may carry
// anything, and the extension must not be made to send requests to other
// programs on this machine.
export function bridgeAt(port = String(WENDLEBOX_PORT)) {
  if (typeof port !== "string" || !/^[1-9][0-9]{0,4}$/.test(port)) return null;
  const number = Number(port);
  if (number < WENDLEBOX_PORT || number > WENDLEBOX_LAST_PORT) return null;
  return `http://127.0.0.1:${number}`;
}
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
