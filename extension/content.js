// Content script for ChatGPT pages opened by the wendlebox program (the
// build joins it with the modules it imports), and the only module that
// acts when loaded: it takes the session token from the address, then runs
// the tab's jobs (jobs.js) until the program ends.

import * as M from "./messages.js";
import * as J from "./jobs.js";
import { listenToStreams } from "./answer.js";

const TOKEN_PATTERN = /(?:^#|&)wendlebox=([0-9a-f]{32})(?=&|$)/;
// The session's port, after the token when it is not the first.
const PORT_PATTERN = /(?:^#|&)port=([^&]*)/g;

async function start() {
  // The page's streams are followed from its first request (a reloaded
  // page resumes an answer's stream at once).
  const tab = J.newTab();
  listenToStreams(tab);
  const match = location.hash.match(TOKEN_PATTERN);
  let token = match && match[1];
  if (token) {
    const ports = Array.from(location.hash.matchAll(PORT_PATTERN), (found) => found[1]);
    // Page scripts must not see the token; the tab keeps it in the worker.
    history.replaceState(history.state, "", location.pathname + location.search);
    // An address that names a port no session has (or two ports) is no
    // session's link: the tab acts on nothing.
    if (ports.length > 1 || (ports.length === 1 && !M.bridgeAt(ports[0]))) return;
    if (!(await M.toWorker({ type: M.worker.setToken, token, port: ports[0] })).ok) return;
  } else {
    token = (await M.toWorker({ type: M.worker.getToken })).token;
  }
  if (!token) return;
  await J.resumeInflight(tab);
  J.pollForever(tab);
}

start();
