// Runs in the page's own world, where the page's fetch and clipboard live.
// 1. While the extension captures an answer, the text that the page's copy
//    button writes is handed to the extension (a window message tagged
//    with the extension's nonce) instead of reaching the clipboard, so the
//    user's clipboard is left as it was.
// 2. The page's conversation request is watched: its response stream
//    ending is the page's own word that an answer is complete.
// 3. The prompt is pasted from here: the page reads a paste event's data
//    in its own world, where the extension's objects do not reach in
//    Firefox.

(function () {
  // The request that streams an answer, and the one that resumes it after a reload.
  const CONVERSATION_STREAM = /\/backend-api\/(?:f\/)?conversation(?:\/[0-9a-f-]{36}\/stream)?$/;

  function announce(message) {
    window.postMessage({ wendlebox: "stream", ...message }, location.origin);
  }

  function watchConversationStreams() {
    const fetch = window.fetch;
    if (typeof fetch !== "function") return;
    let streams = 0;
    window.fetch = function (input) {
      const pending = fetch.apply(this, arguments);
      let url;
      try {
        url = new URL(typeof input === "string" || input instanceof URL ? input : input.url, location.href);
      } catch {
        return pending;
      }
      if (!CONVERSATION_STREAM.test(url.pathname)) return pending;
      const id = ++streams;
      announce({ phase: "start", id });
      pending.then(
        (response) => {
          if (!response.body) return announce({ phase: "end", id, ok: response.ok });
          // A copy of the stream is read to its end; the page reads its own.
          const reader = response.clone().body.getReader();
          const drain = () => reader.read().then(({ done }) => (done ? announce({ phase: "end", id, ok: response.ok }) : drain()));
          drain().catch(() => announce({ phase: "end", id, ok: false }));
        },
        () => announce({ phase: "end", id, ok: false }),
      );
      return pending;
    };
  }

  function captureClipboard() {
    const clipboard = navigator.clipboard;
    if (!clipboard) return;
    const writeText = clipboard.writeText.bind(clipboard);
    const write = clipboard.write ? clipboard.write.bind(clipboard) : null;
    let capture = null; // { nonce, timer } while the extension waits for a copy

    function takeCapture() {
      const taken = capture;
      if (taken) clearTimeout(taken.timer);
      capture = null;
      return taken;
    }

    function deliver(taken, text) {
      window.postMessage({ wendlebox: "captured", nonce: taken.nonce, text }, location.origin);
    }

    clipboard.writeText = function (text) {
      const taken = takeCapture();
      if (!taken) return writeText(text);
      deliver(taken, String(text));
      return Promise.resolve();
    };

    if (write) {
      clipboard.write = async function (items) {
        const taken = takeCapture();
        if (!taken) return write(items);
        for (const item of items) {
          if (item.types.includes("text/plain")) {
            deliver(taken, await (await item.getType("text/plain")).text());
            return;
          }
        }
        deliver(taken, null);
      };
    }

    window.addEventListener("message", (event) => {
      const data = event.data;
      if (event.source !== window || !data || data.wendlebox !== "capture" || typeof data.nonce !== "string") return;
      takeCapture();
      capture = { nonce: data.nonce, timer: setTimeout(takeCapture, data.timeoutMs || 5000) };
      window.postMessage({ wendlebox: "armed", nonce: data.nonce }, location.origin);
    });
  }

  // The extension asks with a cancelable event whose detail is the text,
  // after marking the editor; cancelling it says the paste was dispatched.
  function pasteOnRequest() {
    window.addEventListener("wendlebox-paste", (request) => {
      const target = document.querySelector("[data-wendlebox-paste-target]");
      if (typeof request.detail !== "string" || !target || !target.isContentEditable) return;
      const data = new DataTransfer();
      data.setData("text/plain", request.detail);
      const paste = new ClipboardEvent("paste", { clipboardData: data, bubbles: true, cancelable: true });
      // Firefox leaves a constructed paste event's data empty; the event's
      // own property gives the page the text.
      if (!paste.clipboardData || paste.clipboardData.getData("text/plain") !== request.detail)
        Object.defineProperty(paste, "clipboardData", { value: data });
      target.dispatchEvent(paste);
      request.preventDefault();
    });
  }

  watchConversationStreams();
  captureClipboard();
  pasteOnRequest();
})();
