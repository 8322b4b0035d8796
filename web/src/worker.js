// The page's worker: loads the engine module (its code stands before this in
// the worker's script) and runs inputs posted to it, so that a large input
// never blocks the page. Posts {id, phase} as a run moves on, then
// {id, done: true, ...} or {id, failed: message}.
import { runModule } from './run.js';
import { echoLength, countRows } from './result.js';

/* global createRelalg */
let module = null;

async function engine() {
  if (module === null) module = await createRelalg();
  return module;
}

self.onmessage = async (event) => {
  const { id, input } = event.data;
  try {
    if (id === 'warm') {
      await engine();
      self.postMessage({ id, done: true });
      return;
    }
    self.postMessage({ id, phase: 'loading' });
    const M = await engine();
    const bytes = new Uint8Array(input);
    self.postMessage({ id, phase: 'evaluating', bytes: bytes.length });
    const t0 = performance.now();
    const r = runModule(M, bytes);
    const t1 = performance.now();
    self.postMessage({ id, phase: 'receiving', bytes: r.output.length });
    const output = new TextDecoder('utf-8').decode(r.output);
    const t2 = performance.now();
    const rowCount = r.status === 0 ? countRows(r.output, echoLength(bytes)) : 0;
    const t3 = performance.now();
    self.postMessage(
      {
        id,
        done: true,
        status: r.status,
        output,
        bytes: r.output.buffer,
        messages: r.messages,
        explain: r.explain,
        rowCount,
        engineMs: t1 - t0,
        decodeMs: t2 - t1,
        countMs: t3 - t2,
        sentAt: performance.timeOrigin + performance.now(),
      },
      [r.output.buffer],
    );
  } catch (e) {
    // The module is not to be trusted after a trap: start afresh next time.
    module = null;
    const why = e instanceof RangeError
      ? `the query is nested too deeply for this browser's stack (${e.message})`
      : String((e && e.message) || e);
    self.postMessage({ id, failed: why });
  }
};
