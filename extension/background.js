// Service worker: the only part of the extension that talks to the local
// wendlebox program (a page's own scripts may not reach 127.0.0.1). The
// build joins it with what it imports into one script, which Chromium runs
// as the service worker and Firefox as the background script.
import { createWorker } from "./worker.js";

createWorker(globalThis.browser || globalThis.chrome).listen();
