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

async function pipe(bytes, stream) {
  const out = new Response(new Blob([bytes]).stream().pipeThrough(stream));
  return new Uint8Array(await out.arrayBuffer());
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

// The text held by a fragment (with or without '#'), or null when it holds
// none or cannot be read.
export async function decodeFragment(fragment) {
  const f = fragment.startsWith('#') ? fragment.slice(1) : fragment;
  try {
    if (f.startsWith('z=')) {
      const bytes = await pipe(fromBase64Url(f.slice(2)), new DecompressionStream('deflate-raw'));
      return new TextDecoder().decode(bytes);
    }
    if (f.startsWith('t=')) return new TextDecoder().decode(fromBase64Url(f.slice(2)));
  } catch (_) {
    return null;
  }
  return null;
}
