// Content script for ChatGPT pages opened by the wendlebox program (the
// build joins it with the modules it imports), and the only module that
// acts when loaded: it takes the session token from the address, then runs
// the tab's jobs (jobs.js) until the program ends.

import * as M from "./messages.js";
import * as J from "./jobs.js";
import { listenToStreams } from "./answer.js";

const TOKEN_PATTERN = /(?:^#|&)wendlebox=([0-9a-f]{32})(?=&|$)/;

async function start() {
  // The page's streams are followed from its first request (a reloaded
  // page resumes an answer's stream at once).
  const tab = J.newTab();
  listenToStreams(tab);
  const match = location.hash.match(TOKEN_PATTERN);
  let token = match && match[1];
  if (token) {
    // Page scripts must not see the token; the tab keeps it in the worker.
    history.replaceState(history.state, "", location.pathname + location.search);
    await M.toWorker({ type: M.worker.setToken, token });
  } else {
    token = (await M.toWorker({ type: M.worker.getToken })).token;
  }
  if (!token) return;
  await J.resumeInflight(tab);
  J.pollForever(tab);
}

start();
