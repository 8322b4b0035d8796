// The page address of an input: the whole input file, compressed with raw
// deflate and written in base64url into the fragment (`#z=...`), so that a
// shared address needs no server. Where the browser cannot compress, the
// plain bytes are written instead (`#t=...`).

function toBase64Url(bytes) {
  let s = '';
  const step = 0x8000;
  for (let i = 0; i < bytes.length; i += step) s += String.fromCharCode.apply(null, bytes.subarray(i, i + step));
  return btoa(s).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

function fromBase64Url(text) {
  const b64 = text.replace(/-/g, '+').replace(/_/g, '/');
  const s = atob(b64 + '==='.slice((b64.length + 3) % 4));
  const bytes = new Uint8Array(s.length);
  for (let i = 0; i < s.length; i++) bytes[i] = s.charCodeAt(i);
  return bytes;
}

// The largest input an address may unpack to; a link that would inflate
// to more is refused instead of filling the tab's memory.
export const MAX_SHARED_BYTES = 64 << 20;

class TooLarge extends Error {}

// The bytes of `bytes` through `stream`, refusing more than `limit` of them.
async function pipe(bytes, stream, limit = Infinity) {
  const reader = new Blob([bytes]).stream().pipeThrough(stream).getReader();
  const parts = [];
  let size = 0;
  for (;;) {
    const { done, value } = await reader.read();
    if (done) break;
    size += value.length;
    if (size > limit) {
      await reader.cancel();
      throw new TooLarge();
    }
    parts.push(value);
  }
  const out = new Uint8Array(size);
  let at = 0;
  for (const p of parts) {
    out.set(p, at);
    at += p.length;
  }
  return out;
}

// The fragment (without '#') that holds text.
export async function encodeFragment(text) {
  const bytes = new TextEncoder().encode(text);
  if (typeof CompressionStream === 'function') {
    try {
      return 'z=' + toBase64Url(await pipe(bytes, new CompressionStream('deflate-raw')));
    } catch (_) {
      // fall through to the plain form
    }
  }
  return 't=' + toBase64Url(bytes);
}

// What a fragment (with or without '#') holds: {text} for an input, {error}
// with a sentence for the user when it is an input's address that cannot
// be read or is too large, or null when it is no input's address at all.
export async function decodeFragment(fragment, limit = MAX_SHARED_BYTES) {
  const f = fragment.startsWith('#') ? fragment.slice(1) : fragment;
  if (!f.startsWith('z=') && !f.startsWith('t=')) return null;
  const mb = `${Math.round(limit / (1 << 20))} MB`;
  if (f.length > 2 * limit) return { error: `This address holds an input larger than ${mb}; it was not opened.` };
  try {
    const packed = fromBase64Url(f.slice(2));
    const bytes = f.startsWith('z=') ? await pipe(packed, new DecompressionStream('deflate-raw'), limit) : packed;
    if (bytes.length > limit) throw new TooLarge();
    return { text: new TextDecoder('utf-8', { fatal: true }).decode(bytes) };
  } catch (e) {
    if (e instanceof TooLarge) return { error: `This address holds an input larger than ${mb} once unpacked; it was not opened.` };
    return { error: 'This address does not hold a readable input (it may have been cut or changed); it was not opened.' };
  }
}
