// The service worker's work: each tab's record (its session token and the
// port of its session, the job ids it handled and the job being answered,
// kept in session storage so neither a restart of the worker nor a reload
// of the page loses a job),
// the signed requests to the wendlebox program, the toolbar icon, and the
// handler of each message of the content script. Made for one browser API
// (`api`, chrome or browser) and one fetch, so tests run it on stand-ins.
import * as M from "./messages.js";
import { tabRecords } from "./tab_records.js";

export function createWorker(api, fetch = globalThis.fetch.bind(globalThis)) {
  const records = tabRecords(api.storage.session);
  // Sent with every request, so the program can tell an extension that does
  // not match it (the user updated one and not the other).
  // The browser is named too, so that doctor can say where the extension was seen.
  const VERSION_HEADER = { "X-Wendlebox-Extension": api.runtime.getManifest().version,
    "X-Wendlebox-Browser": /\bFirefox\//.test(globalThis.navigator ? navigator.userAgent : "") ? "firefox" : "chromium" };

  // The toolbar icon shows, for each tab, where its link to the program
  // stands; the title says it in words, with the error that stopped a job.
  const ICON_STATES = {
    connected: { badge: "on", color: "#1a7f37", title: "Wendlebox: connected to the wendlebox program" },
    working: { badge: "…", color: "#0969da", title: "Wendlebox: ChatGPT is answering a prompt from wendlebox" },
    error: { badge: "!", color: "#cf222e", title: "Wendlebox: the last prompt stopped on an error: " },
    ended: { badge: "off", color: "#6e7781", title: "Wendlebox: the wendlebox program has ended" },
    impostor: { badge: "!", color: "#cf222e", title: "Wendlebox: stopped; the program on the bridge port could not prove it is wendlebox" },
    unpaired: { badge: "!", color: "#cf222e",
      title: "Wendlebox: this copy of the extension is not paired with the wendlebox program; run wendlebox setup and load the extension folder it names" },
    mismatch: { badge: "!", color: "#cf222e",
      title: "Wendlebox: this extension holds another pairing key than the wendlebox program; reload Wendlebox in the browser's extensions page" },
  };

  const shownStates = new Map();

  async function showState(tabId, name, detail = "") {
    const state = ICON_STATES[name];
    if (!api.action || shownStates.get(tabId) === name + detail) return;
    shownStates.set(tabId, name + detail);
    await Promise.all([
      api.action.setBadgeText({ tabId, text: state.badge }),
      api.action.setBadgeBackgroundColor({ tabId, color: state.color }),
      api.action.setTitle({ tabId, title: state.title + detail }),
    ]).catch(() => {});  // the tab may have closed meanwhile
  }

  // The user may withdraw the extension's access to a site (Firefox offers it
  // in the add-on's permissions, Chromium in its site access): without
  // ChatGPT's the page never hears of wendlebox, without 127.0.0.1's no
  // request reaches the program. The icon says which is missing; a click on
  // it asks for them back.
  const NEEDED_ORIGINS = [
    { origin: "https://chatgpt.com/*", what: "chatgpt.com (ChatGPT's page)" },
    { origin: "http://127.0.0.1/*", what: "127.0.0.1 (the wendlebox program)" },
  ];

  async function missingOrigins() {
    if (!api.permissions) return [];
    const granted = await Promise.all(NEEDED_ORIGINS.map(({ origin }) => api.permissions.contains({ origins: [origin] })));
    return NEEDED_ORIGINS.filter((_, index) => !granted[index]);
  }

  async function showPermissions() {
    if (!api.action) return;
    const missing = await missingOrigins();
    const title = missing.length
      ? `Wendlebox may not reach ${missing.map(({ what }) => what).join(" or ")}: click this icon to allow it`
      : "Wendlebox";
    await Promise.all([api.action.setBadgeText({ text: missing.length ? "!" : "" }),
      api.action.setBadgeBackgroundColor({ color: "#cf222e" }), api.action.setTitle({ title })]).catch(() => {});
  }

  const WITHDRAWAL_WAIT_SECONDS = 25;

  const hex = (bytes) => Array.from(new Uint8Array(bytes), (b) => b.toString(16).padStart(2, "0")).join("");

  // Keys kept for the worker's life: the imported signing key of each key
  // text, and each session token's key made with the pairing key.
  const signingKeys = new Map();
  const sessionKeys = new Map();

  async function hmacHex(token, text) {
    let key = signingKeys.get(token);
    if (!key) {
      key = await crypto.subtle.importKey("raw", new TextEncoder().encode(token), { name: "HMAC", hash: "SHA-256" },
        false, ["sign"]);
      signingKeys.set(token, key);
    }
    return hex(await crypto.subtle.sign("HMAC", key, new TextEncoder().encode(text)));
  }

  // The pairing key that setup put among the extension's files, private to
  // the user like the folder it installed them in; no web page may read it
  // (it is no web-accessible resource). Without it the extension acts for no
  // session: a token alone, which a link can carry, proves nothing. Once read
  // it is kept for the worker's life (setup keeps the key it made; a new one
  // comes only with a new install of the extension); a read that failed is
  // tried again at the next request, so a copy paired later is seen.
  const PAIRING_KEY = /^[0-9a-f]{64}$/;
  let pairing = null;
  let pairingId = null;

  async function pairingKey({ again = false } = {}) {
    if (pairing && !again) return pairing;
    try {
      const { key } = await (await fetch(api.runtime.getURL("pairing.json"), { cache: "no-store" })).json();
      if (PAIRING_KEY.test(key) && key !== pairing) {
        pairing = key;
        pairingId = (await hmacHex(key, "pairing id")).slice(0, 16);
        sessionKeys.clear();
      }
    } catch {
      // Not readable now: the request goes unpaired (or with the key read
      // before), and the next one reads again.
    }
    return pairing;
  }

  async function sessionKey(token) {
    const paired = await pairingKey();
    if (!paired) return null;
    if (!sessionKeys.has(token)) sessionKeys.set(token, await hmacHex(paired, `session\n${token}`));
    return sessionKeys.get(token);
  }

  // The program's refusal of a request signed with another pairing key than
  // its own. It cannot be signed (the program has no key in common with this
  // extension), so anyone on the port may send it; it only stops the tab and
  // says to reload the extension, as any answer that is not the program's
  // stops it.
  function isPairingMismatch(status, text) {
    try {
      return status === 403 && JSON.parse(text).error === "Pairing mismatch";
    } catch {
      return false;
    }
  }

  // The token never leaves the extension: each request is signed over a fresh
  // nonce with a key made from the token and the pairing key, and only an
  // answer signed over that nonce with the same key is acted on. Any process
  // may hold the port while no session runs, and may bring a link with a token
  // of its own; without the pairing key it can neither learn nor make the
  // signing key, so it gets nothing from the tab and can give it nothing.
  //
  // Each tab talks to its own session, on the port its address named.
  async function bridgeRequest(path, { token, port }, options = {}, readAgain = true) {
    const bridge = M.bridgeAt(String(port || M.WENDLEBOX_PORT));
    if (!bridge) return { status: 0 };
    const key = await sessionKey(token);
    if (!key) return { status: 0, unpaired: true };
    const nonce = hex(crypto.getRandomValues(new Uint8Array(16)));
    const method = options.method || "GET";
    const signature = await hmacHex(key, `request\n${nonce}\n${method}\n${path}\n${options.body || ""}`);
    let response;
    let text;
    try {
      response = await fetch(`${bridge}${path}`, {
        cache: "no-store", ...options,
        headers: { ...VERSION_HEADER, ...options.headers, "X-Wendlebox-Nonce": nonce, "X-Wendlebox-Signature": signature,
          "X-Wendlebox-Pairing": pairingId },
      });
      text = await response.text();
    } catch {
      return { status: 0 };
    }
    const expected = await hmacHex(key, `answer\n${nonce}\n${response.status}\n${text}`);
    if (response.headers.get("X-Wendlebox-Signature") !== expected) {
      if (!isPairingMismatch(response.status, text)) return { status: 0, impostor: true };
      // Setup may have paired this folder anew since the key was read: with
      // the key it holds now the request may pass.
      const before = pairing;
      if (readAgain && (await pairingKey({ again: true })) !== before) return bridgeRequest(path, { token, port }, options, false);
      return { status: 0, mismatch: true };
    }
    return { status: response.status, body: text ? JSON.parse(text) : null };
  }

  // The answer goes only to the program that still offers its job, as a
  // signed answer shows just before it is sent: a program that took the port
  // after ours ended gets nothing. A job no longer offered was taken (an
  // earlier sending arrived) or withdrawn: there is nothing left to send.
  async function postResult(session, result) {
    const offered = await bridgeRequest("/next", session);
    if (offered.status === 0) return offered;
    if (offered.status !== 200 || !offered.body || offered.body.id !== result.id) return { status: 200, gone: true };
    return bridgeRequest("/result", session, {
      method: "POST",
      headers: { "Content-Type": "application/json" },
      body: JSON.stringify(result),
    });
  }

  // Why the program's side refused the tab, as the icon's state names it.
  function refusal(reply) {
    return (reply.impostor && "impostor") || (reply.unpaired && "unpaired") || (reply.mismatch && "mismatch") || null;
  }

  const handlers = {
    // A page opened by wendlebox brings its token in the address fragment,
    // and its session's port when it is not the first. A port that is no
    // session's is refused: a link could otherwise aim the tab's requests
    // at any program on this machine.
    async [M.worker.setToken](message, tabId) {
      if (!M.bridgeAt(message.port)) return { ok: false };
      const port = Number(message.port || M.WENDLEBOX_PORT);
      await records.update(tabId, (record) => {
        if (record.token !== message.token || record.port !== port)
          Object.assign(record, { token: message.token, port, handled: [], inflight: null, failed: false });
      });
      return { ok: true };
    },
    async [M.worker.getToken](_message, tabId) {
      return { token: (await records.read(tabId)).token };
    },
    // The program holds the poll until a job comes or `waitSeconds` pass.
    async [M.worker.poll](message, tabId) {
      const session = await records.read(tabId);
      if (!session.token) return { status: 0 };
      const reply = await bridgeRequest(`/next?wait=${message.waitSeconds}`, session);
      // The record as it is once the program answered (the poll may wait long).
      const record = await records.read(tabId);
      if (refusal(reply)) await showState(tabId, refusal(reply));
      else if ((reply.status === 200 || reply.status === 204) && !record.inflight && !record.failed) await showState(tabId, "connected");
      if (reply.status === 200 && record.handled.includes(reply.body.id)) return { status: 204 };
      return reply;
    },
    // The job the program offers, unfiltered, once it is no longer job `id`
    // (the program holds the poll until then): while an answer runs, a job
    // that is gone (or replaced) means the user stopped the prompt, and an
    // answer that is not the program's means it is gone.
    async [M.worker.current](message, tabId) {
      const session = await records.read(tabId);
      if (!session.token) return { status: 0 };
      const reply = await bridgeRequest(`/next?wait=${WITHDRAWAL_WAIT_SECONDS}&unchanged=${message.id}`, session);
      if (refusal(reply)) await showState(tabId, refusal(reply));
      return { status: reply.status, id: reply.body && reply.body.id, impostor: reply.impostor || reply.mismatch };
    },
    // Recorded before the prompt is sent, so one job is never sent twice.
    async [M.worker.claim](message, tabId) {
      const claimed = await records.update(tabId, (record) => {
        if (record.handled.includes(message.id)) return false;
        record.handled = [...record.handled.slice(-50), message.id];
        record.inflight = { id: message.id };
        record.failed = false;
        return true;
      });
      if (claimed) await showState(tabId, "working");
      return { claimed };
    },
    // The prompt is about to be sent: after a reload the page looks for it
    // and its answer instead of sending it again.
    async [M.worker.sending](message, tabId) {
      const ok = await records.update(tabId, (record) => {
        if (!record.inflight || record.inflight.id !== message.id) return false;
        record.inflight = { id: message.id, prompt: message.prompt, path: message.path };
        return true;
      });
      return { ok };
    },
    async [M.worker.inflight](_message, tabId) {
      return { inflight: (await records.read(tabId)).inflight || null };
    },
    // A job claimed but never sent (the page went away first) is offered again.
    async [M.worker.release](message, tabId) {
      await records.update(tabId, (record) => {
        record.handled = record.handled.filter((id) => id !== message.id);
        record.inflight = null;
      });
      return { ok: true };
    },
    // The result is posted while other messages of the tab may come (a
    // reloaded page claims the next job): the record is changed before and
    // after the wait, never saved as it was read before it.
    async [M.worker.result](message, tabId) {
      const session = await records.read(tabId);
      if (!session.token) return { status: 0 };
      // The icon says how the job ended before the program hears it: the
      // program may end at once on an error.
      await records.update(tabId, (record) => { record.failed = Boolean(message.result.error); });
      if (message.result.error) await showState(tabId, "error", message.result.error);
      else await showState(tabId, "connected");
      const reply = await postResult(session, message.result);
      if (refusal(reply)) await showState(tabId, refusal(reply));
      // No answer at all (a connection lost in a flood): the content script
      // sends it again until the program answers.
      if (reply.status === 0) return { ...reply, retry: !refusal(reply) };
      await records.update(tabId, (record) => {
        if (record.inflight && record.inflight.id === message.result.id) record.inflight = null;
      });
      return reply;
    },
    // The content script gave up on the program (it stopped answering). An
    // error that stopped the last prompt stays shown: it says why.
    async [M.worker.ended](_message, tabId) {
      if (!(await records.read(tabId)).failed) await showState(tabId, "ended");
      return { ok: true };
    },
  };

  // Listens to the content scripts, the tabs and the user's grants.
  function listen() {
    showPermissions();
    if (api.permissions && api.permissions.onAdded) {
      api.permissions.onAdded.addListener(showPermissions);
      api.permissions.onRemoved.addListener(showPermissions);
    }
    if (api.action) {
      // Asked at once, inside the click: Firefox grants nothing asked later.
      api.action.onClicked.addListener(() => {
        api.permissions.request({ origins: NEEDED_ORIGINS.map(({ origin }) => origin) }).catch(() => {});
      });
    }
    api.runtime.onMessage.addListener((message, sender, sendResponse) => {
      const handler = handlers[message && message.type];
      const tabId = sender.tab && sender.tab.id;
      if (!handler || tabId === undefined) return false;
      handler(message, tabId)
        .then(sendResponse)
        .catch((error) => sendResponse({ status: 0, error: String(error) }));
      return true; // the answer comes asynchronously
    });
    api.tabs.onRemoved.addListener((tabId) => {
      shownStates.delete(tabId);
      records.forget(tabId);
    });
  }

  return { handlers, listen, records };
}
