// One run of the engine module: the input's bytes in; the output file's
// bytes, the exit status, standard error and the plan tree (JSON text) out.
// Shared by the page's worker and the Node comparison with the native
// program, so both drive the module the same way.

const utf8 = new TextDecoder('utf-8');

function bytesAt(M, ptr, size) {
  return M.HEAPU8.slice(ptr, ptr + size);
}

// M is an instantiated module (createRelalg()). Returns
// {status, output: Uint8Array, messages: string, messageBytes: Uint8Array,
// explain: string}; messageBytes are standard error's bytes, which a cut
// quotation may leave short of valid UTF-8.
export function runModule(M, input) {
  const ptr = M._malloc(Math.max(1, input.length));
  if (ptr === 0) throw new Error('the input does not fit in the engine memory');
  M.HEAPU8.set(input, ptr);
  const r = M._relalg_run(ptr, input.length);
  M._free(ptr);
  if (r === 0) throw new Error('the engine memory is exhausted');
  try {
    const messageBytes = bytesAt(M, M._relalg_messages(r), M._relalg_messages_size(r));
    return {
      status: M._relalg_status(r),
      output: bytesAt(M, M._relalg_output(r), M._relalg_output_size(r)),
      messages: utf8.decode(messageBytes),
      messageBytes,
      explain: utf8.decode(bytesAt(M, M._relalg_explain(r), M._relalg_explain_size(r))),
    };
  } finally {
    M._relalg_free(r);
  }
}
