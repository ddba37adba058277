// Each tab's record in the browser's session storage: its session token
// and its session's port, the job ids it handled (so one job is never sent
// twice) and the job being answered (so a reload of the page finds it
// again). Kept there so neither a restart of the worker nor a reload of the
// page loses a job.

const EMPTY = Object.freeze({ token: null, port: null, handled: [], inflight: null });

export function tabRecords(storage) {
  const key = (tabId) => `tab:${tabId}`;
  // The last change of each tab's record, which the next one waits for.
  const changes = new Map();

  async function read(tabId) {
    const stored = await storage.get(key(tabId));
    return stored[key(tabId)] || structuredClone(EMPTY);
  }

  // Changes a tab's record: `change` gets the record as it is now, may
  // alter it, and its value is the answer. Changes of one tab run one after
  // the other, each reading what the one before saved, so a handler that
  // waits on the program between two changes never saves over a change
  // made meanwhile.
  function update(tabId, change) {
    const run = (changes.get(tabId) || Promise.resolve()).then(async () => {
      const record = await read(tabId);
      const before = JSON.stringify(record);
      const answer = change(record);
      if (JSON.stringify(record) !== before) await storage.set({ [key(tabId)]: record });
      return answer;
    });
    changes.set(tabId, run.catch(() => {}));
    return run;
  }

  function forget(tabId) {
    changes.delete(tabId);
    return storage.remove(key(tabId));
  }

  return { read, update, forget };
}
