// Where the wendlebox program listens, and the names of the messages the
// content script sends the worker: loaded first by both, so each is spelt
// in this one place. The program's build reads WENDLEBOX_PORT from here too.
// (page_world.js cannot load this file: Chrome runs a listed file once per
// page, in the first world that lists it. Its window messages are checked
// against content.js by the extension's tests.)
const WENDLEBOX_PORT = 47833;

globalThis.wendleboxMessages = Object.freeze({
  bridge: `http://127.0.0.1:${WENDLEBOX_PORT}`,
  // Content script -> worker: chrome.runtime messages, by their `type`.
  worker: Object.freeze({
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
  }),
  // Sends the worker one of those messages; the answer comes as a promise.
  toWorker: (message) => (globalThis.browser || globalThis.chrome).runtime.sendMessage(message),
});
