// Runs of the engine module: the input in; the output file's bytes, the exit
// status, standard error and the plan tree (JSON text) out. Shared by the
// page's worker and the Node comparison with the native program, so both
// drive the module the same way.

const utf8 = new TextDecoder('utf-8');

function bytesAt(M, ptr, size) {
  return M.HEAPU8.slice(ptr, ptr + size);
}

// Runs the len bytes at ptr (in the module's memory) and returns the
// result's handle with what it holds; the output stays in the module's
// memory (M.HEAPU8, from outPtr for outSize bytes) until freeRun.
function runAt(M, ptr, len) {
  const r = M._relalg_run(ptr, len);
  M._free(ptr);
  if (r === 0) throw new Error('the engine memory is exhausted');
  const messageBytes = bytesAt(M, M._relalg_messages(r), M._relalg_messages_size(r));
  return {
    handle: r,
    status: M._relalg_status(r),
    outPtr: M._relalg_output(r),
    outSize: M._relalg_output_size(r),
    messages: utf8.decode(messageBytes),
    messageBytes,
    explain: utf8.decode(bytesAt(M, M._relalg_explain(r), M._relalg_explain_size(r))),
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
export function runText(M, text) {
  // ASCII needs one byte a character; more is tried only when that is short.
  for (const per of [1, 3]) {
    const cap = Math.max(1, text.length * per);
    const ptr = M._malloc(cap);
    if (ptr === 0) throw new Error('the input does not fit in the engine memory');
    const { read, written } = new TextEncoder().encodeInto(text, M.HEAPU8.subarray(ptr, ptr + cap));
    if (read === text.length) return { ...runAt(M, ptr, written), inputSize: written };
    M._free(ptr);
  }
  throw new Error('the input could not be encoded');
}

// Runs the input's bytes. Returns {status, output: Uint8Array, messages,
// messageBytes (standard error's bytes, which a cut quotation may leave
// short of valid UTF-8), explain, rows (the result table's row count)}.
export function runModule(M, input) {
  const ptr = M._malloc(Math.max(1, input.length));
  if (ptr === 0) throw new Error('the input does not fit in the engine memory');
  M.HEAPU8.set(input, ptr);
  const run = runAt(M, ptr, input.length);
  try {
    const { status, messages, messageBytes, explain, rows } = run;
    return { status, output: outputView(M, run).slice(), messages, messageBytes, explain, rows };
  } finally {
    freeRun(M, run);
  }
}
