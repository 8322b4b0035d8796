// Reads what the engine writes to standard error into a list of messages,
// each with its place in the input when it has one. The positioned form is
//
//   relalg: INPUT:LINE:COL: error: MESSAGE      (or warning:)
//   <the line, or a window of it cut with "...">
//   <blanks>^~~~                                 (the extent under the excerpt)
//
// where COL counts bytes of the line as written, from 1. The excerpt shows
// a byte that a terminal would not show as one column as \xHH and a
// character of several bytes as one column, and the caret line follows the
// excerpt's columns, so the caret's column is not COL where such bytes
// stand before it. A message without a place is the single line
// `relalg: MESSAGE`. Anything else is kept as text of the message before
// it, so an unexpected form is shown rather than lost.

const POSITIONED = /^relalg: (.*?):(\d+):(\d+): (error|warning): (.*)$/;
const CARET = /^( *)(\^~*)$/;
const ESCAPE = /^\\x[0-9a-f]{2}/;

function utf8Length(cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// The bytes of the line that the columns [from, from + width) of an excerpt
// show: an escape \xHH is one byte in four columns, any other character its
// UTF-8 bytes in one column. (A "..." that marks a cut is never under the
// caret.)
export function excerptBytes(excerpt, from, width) {
  let col = 0;
  let bytes = 0;
  for (let i = 0; i < excerpt.length && col < from + width;) {
    let w = 1;
    let b;
    let units;
    if (ESCAPE.test(excerpt.slice(i, i + 4))) {
      w = 4;
      b = 1;
      units = 4;
    } else {
      const cp = excerpt.codePointAt(i);
      b = utf8Length(cp);
      units = cp >= 0x10000 ? 2 : 1;
    }
    if (col >= from) bytes += b;
    col += w;
    i += units;
  }
  return bytes;
}

// Returns [{severity, message, input, line, col, length, width, text}]: line
// and col 1-based (col in bytes), null when not positioned; width is the
// caret's run of columns and length the bytes of the line it covers (at
// least 1), read from the excerpt. `text` holds every line that belongs to
// the message.
export function parseMessages(stderr) {
  const out = [];
  if (!stderr) return out;
  const lines = stderr.split('\n');
  if (lines[lines.length - 1] === '') lines.pop();
  let current = null;
  for (let i = 0; i < lines.length; i++) {
    const line = lines[i];
    const m = POSITIONED.exec(line);
    if (m) {
      current = {
        severity: m[4],
        message: m[5],
        input: m[1],
        line: Number(m[2]),
        col: Number(m[3]),
        length: 1,
        width: null,
        text: [line],
      };
      out.push(current);
      // The excerpt and the caret line, which always follow.
      const caret = i + 2 < lines.length ? CARET.exec(lines[i + 2]) : null;
      if (caret) {
        current.width = caret[2].length;
        current.length = Math.max(1, excerptBytes(lines[i + 1], caret[1].length, caret[2].length));
        current.text.push(lines[i + 1], lines[i + 2]);
        i += 2;
      }
    } else if (line.startsWith('relalg: ')) {
      current = { severity: 'error', message: line.slice(8), line: null, col: null, length: 0, width: null, text: [line] };
      out.push(current);
    } else if (current) {
      current.text.push(line);
    } else {
      current = { severity: 'error', message: line, line: null, col: null, length: 0, width: null, text: [line] };
      out.push(current);
    }
  }
  return out;
}

// The number of UTF-16 units in the first `bytes` bytes of the UTF-8 form
// of text (a byte column into a character offset); stops at the text's end.
export function byteToCharOffset(text, bytes) {
  let b = 0;
  let i = 0;
  while (i < text.length && b < bytes) {
    const c = text.codePointAt(i);
    b += utf8Length(c);
    i += c >= 0x10000 ? 2 : 1;
  }
  return i;
}

// The bytes from byte `begin` of a line that `width` columns of its excerpt
// show, by the engine's rule: a printable ASCII byte or a character of
// several bytes is one column, any other byte (shown as \xHH) four. Unlike
// the excerpt, the line itself cannot mistake a written "\x41" for an
// escape.
export function lineBytes(text, begin, width) {
  let b = 0;
  let i = 0;
  while (i < text.length && b < begin) {
    const c = text.codePointAt(i);
    b += utf8Length(c);
    i += c >= 0x10000 ? 2 : 1;
  }
  let cols = 0;
  const start = b;
  while (i < text.length && cols < width) {
    const c = text.codePointAt(i);
    cols += c < 32 || c === 127 ? 4 : 1;
    b += utf8Length(c);
    i += c >= 0x10000 ? 2 : 1;
  }
  return b - start;
}

// The editor range [from, to) of a positioned message in a document whose
// lines are given by lineText(n) (1-based) and lineStart(n), or null when the
// line does not exist. The extent is measured on the line itself when the
// caret's width is known. The range is at least one character unless the
// line is empty or the place is its end.
export function messageRange(msg, lineCount, lineText, lineStart) {
  if (msg.line == null || msg.line < 1 || msg.line > lineCount) return null;
  const text = lineText(msg.line);
  const start = lineStart(msg.line);
  const begin = Math.max(0, msg.col - 1);
  const length = msg.width ? lineBytes(text, begin, msg.width) : Math.max(1, msg.length);
  const from = byteToCharOffset(text, begin);
  let to = byteToCharOffset(text, begin + Math.max(1, length));
  if (to <= from) to = Math.min(text.length, from + 1);
  return { from: start + from, to: start + to };
}
