// The page's worker: loads the engine module (its code stands before this in
// the worker's script) and runs the input texts posted to it (with the
// command line's options, as run.js reads them), so that a large input
// never blocks the page. Posts {id, phase} as a run moves on,
// then {id, done: true, ...} or {id, failed: message}. The output stays in
// the module's memory until the next run: as text, a run sends the first
// rows of the result table (`preview`), and the whole output only when
// asked; its bytes are sent on request ({id, bytes: true}). With `formula`,
// the answer also holds the query's formula (run.js, formulaText), or null
// for a query line too long to show one.
import { runText, freeRun, outputView, formulaText, FORMULA_QUERY_LIMIT } from './run.js';

/* global createRelalg */
let module = null;
let held = null; // the last run, kept for its bytes

async function engine() {
  if (module === null) module = await createRelalg();
  return module;
}

// The start of the result table: its header line and up to `rows` rows.
function preview(output, from, rows) {
  let end = from;
  for (let n = 0; n <= rows && end < output.length; n++) {
    const nl = output.indexOf(10, end);
    end = nl < 0 ? output.length : nl + 1;
  }
  return new TextDecoder('utf-8').decode(output.subarray(from, end));
}

function release() {
  if (held && module) freeRun(module, held);
  held = null;
}

// The formula of the input's query, written before the run so that its
// copy of the input is gone before the run takes its memory.
function formulaOf(M, input, extended) {
  const nl = input.indexOf('\n');
  const line = nl < 0 ? input : input.slice(0, nl);
  return line.length > FORMULA_QUERY_LIMIT ? null : formulaText(M, input, extended);
}

async function handle({ id, input, options, text, rows, bytes, formula }) {
  if (id === 'warm') {
    await engine();
    return { id, done: true };
  }
  if (bytes) {
    if (!held) throw new Error('no run to download');
    const out = outputView(module, held).slice();
    return [{ id, done: true, bytes: out.buffer }, [out.buffer]];
  }
  self.postMessage({ id, phase: 'loading' });
  const M = await engine();
  release();
  const written = formula ? formulaOf(M, input, Boolean(options?.extended)) : undefined;
  self.postMessage({ id, phase: 'evaluating', bytes: input.length });
  const t0 = performance.now();
  held = runText(M, input, options);
  const t1 = performance.now();
  self.postMessage({ id, phase: 'receiving', bytes: held.outSize });
  const out = outputView(M, held);
  const echo = held.inputSize === 0 ? 1 : held.inputSize + (M.HEAPU8[held.outPtr + held.inputSize - 1] === 10 ? 1 : 2);
  return {
    id,
    done: true,
    status: held.status,
    output: text ? new TextDecoder('utf-8').decode(out) : undefined,
    preview: held.status === 0 ? preview(out, echo, rows) : '',
    size: held.outSize,
    messages: held.messages,
    diagnostics: held.diagnostics,
    explain: held.explain,
    rowCount: held.rows,
    formula: written,
    engineMs: t1 - t0,
    decodeMs: performance.now() - t1,
  };
}

self.onmessage = async (event) => {
  const { id } = event.data;
  try {
    const answer = await handle(event.data);
    if (Array.isArray(answer)) self.postMessage(answer[0], answer[1]);
    else self.postMessage(answer);
  } catch (e) {
    // The module is not to be trusted after a trap: start afresh next time.
    module = null;
    held = null;
    const why = e instanceof RangeError
      ? `the query is nested too deeply for this browser's stack (${e.message})`
      : String((e && e.message) || e);
    self.postMessage({ id, failed: why });
  }
};
