// Runs in the page's own world. While the extension captures an answer, the
// text that the page's copy button writes is handed to the extension (a
// window message tagged with the extension's nonce) instead of reaching the
// clipboard, so the user's clipboard is left as it was.

(function () {
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
})();
