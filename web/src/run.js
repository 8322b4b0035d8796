// Runs of the engine module: the input and the command line's options in;
// the output file's bytes, the exit status, standard error and the explain
// output out. Shared by the page's worker and the Node comparison with the
// native program, so both drive the module the same way and name the same
// flags.
//
// Options: {warn: 'off' | 'on' | 'error', explain: 'none' | 'json' | 'text',
// trace: N or null, maxRows: N or null, extended: true or false}, the flags
// --warn, --warn=error, --explain=FILE.json, --explain, --trace=N,
// --max-rows=N and --extended.
import { readDiagnostics } from './messages.js';

const utf8 = new TextDecoder('utf-8');

// Rows of each intermediate table the page keeps (--trace=N).
export const PAGE_TRACE_ROWS = 50;
// A plan document holds each node's text, so a deeply nested query makes
// one that grows with the square of its length; past this many bytes of
// node texts the page runs without it.
export const PLAN_TEXT_LIMIT = 32 << 20;

const WARN = { off: 0, on: 1, error: 2 };
const EXPLAIN = { none: 0, json: 1, text: 2 };

// An estimate of the bytes of node texts in the plan of a query line: the
// length of every parenthesised group, added up (a group within a group
// counts in both, as a node within a node does).
export function planTextBytes(line) {
  const open = [];
  let total = line.length;
  for (let i = 0; i < line.length; i++) {
    const c = line.charCodeAt(i);
    if (c === 40) open.push(i);
    else if (c === 41 && open.length) total += i - open.pop();
  }
  for (const i of open) total += line.length - i;
  return total;
}

// The options the page runs an input with: warnings, the plan as JSON and
// the first PAGE_TRACE_ROWS rows of each node; no plan for a query whose
// plan document would be too large; the extended operations when the
// page's switch is on.
export function pageOptions(text, extended = false) {
  const nl = text.indexOf('\n');
  const line = nl < 0 ? text : text.slice(0, nl);
  if (planTextBytes(line) > PLAN_TEXT_LIMIT) return { warn: 'on', explain: 'none', trace: null, maxRows: null, extended };
  return { warn: 'on', explain: 'json', trace: PAGE_TRACE_ROWS, maxRows: null, extended };
}

function normal(options = {}) {
  const o = { warn: 'off', explain: 'none', trace: null, maxRows: null, extended: false, ...options };
  if (typeof o.extended !== 'boolean') throw new Error('extended must be true or false');
  if (!(o.warn in WARN)) throw new Error(`warn must be off, on or error, not ${o.warn}`);
  if (!(o.explain in EXPLAIN)) throw new Error(`explain must be none, json or text, not ${o.explain}`);
  for (const k of ['trace', 'maxRows']) {
    if (o[k] !== null && !(Number.isInteger(o[k]) && o[k] >= 0)) throw new Error(`${k} must be a whole number or null`);
  }
  if (o.trace !== null && o.trace > 0x7fffffff) throw new Error('trace is too large');
  // As on the command line, tracing alone explains as text.
  if (o.trace !== null && o.explain === 'none') o.explain = 'text';
  return o;
}

// The command line's flags for options; a JSON plan goes to planFile, which
// must end in .json.
export function cliArgs(options, planFile = 'plan.json') {
  const o = normal(options);
  const args = [];
  if (o.warn === 'on') args.push('--warn');
  if (o.warn === 'error') args.push('--warn=error');
  if (o.explain === 'json') args.push(`--explain=${planFile}`);
  if (o.explain === 'text') args.push('--explain');
  if (o.trace !== null) args.push(`--trace=${o.trace}`);
  if (o.maxRows !== null) args.push(`--max-rows=${o.maxRows}`);
  if (o.extended) args.push('--extended');
  return args;
}

function bytesAt(M, ptr, size) {
  return M.HEAPU8.slice(ptr, ptr + size);
}

// Runs the len bytes at ptr (in the module's memory) and returns the
// result's handle with what it holds; the output stays in the module's
// memory (M.HEAPU8, from outPtr for outSize bytes) until freeRun.
function runAt(M, ptr, len, options) {
  const o = normal(options);
  const flags = WARN[o.warn] | (EXPLAIN[o.explain] << 2) | (o.extended ? 16 : 0);
  const r = M._relalg_run(ptr, len, flags, o.trace ?? -1, o.maxRows ?? -1);
  M._free(ptr);
  if (r === 0) throw new Error('the engine memory is exhausted');
  const messageBytes = bytesAt(M, M._relalg_messages(r), M._relalg_messages_size(r));
  const diagnosticBytes = bytesAt(M, M._relalg_diagnostics(r), M._relalg_diagnostics_size(r));
  const explainBytes = bytesAt(M, M._relalg_explain(r), M._relalg_explain_size(r));
  return {
    handle: r,
    status: M._relalg_status(r),
    outPtr: M._relalg_output(r),
    outSize: M._relalg_output_size(r),
    messages: utf8.decode(messageBytes),
    messageBytes,
    diagnostics: readDiagnostics(utf8.decode(diagnosticBytes)),
    explain: utf8.decode(explainBytes),
    explainBytes,
    rows: M._relalg_rows(r),
  };
}

export function freeRun(M, run) {
  M._relalg_free(run.handle);
}

// The output of a run not yet freed, as a view into the module's memory
// (valid until the module next allocates).
export function outputView(M, run) {
  return M.HEAPU8.subarray(run.outPtr, run.outPtr + run.outSize);
}

// Runs a text, written as UTF-8 straight into the module's memory. The
// caller frees the run.
export function runText(M, text, options) {
  // ASCII needs one byte a character; more is tried only when that is short.
  for (const per of [1, 3]) {
    const cap = Math.max(1, text.length * per);
    const ptr = M._malloc(cap);
    if (ptr === 0) throw new Error('the input does not fit in the engine memory');
    const { read, written } = new TextEncoder().encodeInto(text, M.HEAPU8.subarray(ptr, ptr + cap));
    if (read === text.length) return { ...runAt(M, ptr, written, options), inputSize: written };
    M._free(ptr);
  }
  throw new Error('the input could not be encoded');
}

// Runs the input's bytes. Returns {status, output: Uint8Array, messages,
// messageBytes (standard error's bytes, which a cut quotation may leave
// short of valid UTF-8), diagnostics (the same messages as objects,
// messages.js), explain (text: the JSON document, "null", or the text
// form), explainBytes, rows (the result table's row count)}.
export function runModule(M, input, options) {
  const ptr = M._malloc(Math.max(1, input.length));
  if (ptr === 0) throw new Error('the input does not fit in the engine memory');
  M.HEAPU8.set(input, ptr);
  const run = runAt(M, ptr, input.length, options);
  try {
    const { status, messages, messageBytes, diagnostics, explain, explainBytes, rows } = run;
    return { status, output: outputView(M, run).slice(), messages, messageBytes, diagnostics, explain, explainBytes, rows };
  } finally {
    freeRun(M, run);
  }
}

// The longest query line whose formula the page writes: a longer one makes
// a formula too long to read, or for KaTeX to lay out.
export const FORMULA_QUERY_LIMIT = 20000;

// The formula of the query of a text, as `relalg --notation=unicode` and
// `--notation=latex` write it (with --extended when extended): {status,
// unicode, latex, messages}, the formulas without their line feed (empty
// when status is not 0, messages then holding the failure a plain run
// gives).
export function formulaText(M, text, extended = false) {
  const bytes = new TextEncoder().encode(text);
  const ptr = M._malloc(Math.max(1, bytes.length));
  if (ptr === 0) throw new Error('the input does not fit in the engine memory');
  M.HEAPU8.set(bytes, ptr);
  const forms = {};
  try {
    for (const [name, form] of [['unicode', 0], ['latex', 1]]) {
      const r = M._relalg_formula(ptr, bytes.length, form | (extended ? 2 : 0));
      if (r === 0) throw new Error('the engine memory is exhausted');
      forms[name] = {
        status: M._relalg_status(r),
        output: utf8.decode(bytesAt(M, M._relalg_output(r), M._relalg_output_size(r))),
        messages: utf8.decode(bytesAt(M, M._relalg_messages(r), M._relalg_messages_size(r))),
      };
      M._relalg_free(r);
    }
  } finally {
    M._free(ptr);
  }
  const ok = forms.unicode.status === 0;
  return {
    status: forms.unicode.status,
    unicode: ok ? forms.unicode.output.replace(/\n$/, '') : '',
    latex: ok ? forms.latex.output.replace(/\n$/, '') : '',
    messages: forms.unicode.messages,
  };
}
