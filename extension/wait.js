// Waiting on the page: woken by its changes rather than by a fixed clock,
// so the extension reacts within milliseconds of what the page shows.

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

const wakers = new Set();
let observer = null;

function wakeAll() {
  for (const wake of Array.from(wakers)) wake();
}

// Resolves at the page's next change (DOM or a message from its world),
// or after limitMs at the latest.
function nextChange(limitMs) {
  if (!observer) {
    observer = new MutationObserver(wakeAll);
    observer.observe(document, { subtree: true, childList: true, characterData: true, attributes: true });
    window.addEventListener("message", wakeAll);
  }
  return new Promise((resolve) => {
    const wake = () => {
      wakers.delete(wake);
      clearTimeout(timer);
      resolve();
    };
    const timer = setTimeout(wake, limitMs);
    wakers.add(wake);
  });
}

// A failure that says which step of a job failed and which landmark of the
// page was missing or showed the problem.
class StepError extends Error {
  constructor(step, situation, landmark) {
    super(`${situation} [step: ${step}; landmark: ${landmark}]`);
  }
}

// Calls find until it returns something; check may throw at each round
// (a blocker seen on the page). Throws StepError when time runs out, with
// the situation (or what a function of it says the page shows then).
async function until(find, { limitMs, step, situation, landmark, check = () => {} }) {
  const deadline = Date.now() + limitMs;
  for (;;) {
    check();
    const found = find();
    if (found) return found;
    if (Date.now() > deadline) throw new StepError(step, typeof situation === "function" ? situation() : situation, landmark);
    await nextChange(100);
  }
}

export { sleep, nextChange, until, StepError };
