// Reads what the engine writes to standard error into a list of messages,
// each with its place in the input when it has one. The positioned form is
//
//   relalg: INPUT:LINE:COL: error: MESSAGE      (or warning:)
//   <the line, as an excerpt>
//   <blanks>^~~~                                 (the extent under the excerpt)
//
// and a message without a place is the single line `relalg: MESSAGE`.
// Anything else is kept as text of the message before it, so an unexpected
// form is shown rather than lost.

const POSITIONED = /^relalg: (.*):(\d+):(\d+): (error|warning|note): (.*)$/;
// A caret line, perhaps behind a gutter of line numbers and bars.
const CARET = /^[ |0-9]*(\^~*)\s*$/;

// Returns [{severity, message, line, col, length, text}], line and col
// 1-based (col counts bytes, as the engine does), null when not positioned;
// length is the extent in bytes from the caret line (at least 1). `text`
// holds every line that belongs to the message.
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
        severity: m[4] === 'warning' ? 'warning' : m[4] === 'note' ? 'info' : 'error',
        message: m[5],
        input: m[1],
        line: Number(m[2]),
        col: Number(m[3]),
        length: 1,
        text: [line],
      };
      out.push(current);
      // The excerpt and the caret line, when they follow.
      const caret = lines[i + 2];
      const extent = i + 2 < lines.length ? CARET.exec(caret) : null;
      if (extent && !lines[i + 1].startsWith('relalg: ')) {
        current.length = extent[1].length;
        current.text.push(lines[i + 1], caret);
        i += 2;
      }
    } else if (line.startsWith('relalg: ')) {
      current = { severity: 'error', message: line.slice(8), line: null, col: null, length: 0, text: [line] };
      out.push(current);
    } else if (current) {
      current.text.push(line);
    } else {
      current = { severity: 'error', message: line, line: null, col: null, length: 0, text: [line] };
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
    b += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    i += c >= 0x10000 ? 2 : 1;
  }
  return i;
}

// The editor range [from, to) of a positioned message in a document whose
// lines are given by lineText(n) (1-based) and lineStart(n), or null when the
// line does not exist. The range is at least one character unless the line
// is empty.
export function messageRange(msg, lineCount, lineText, lineStart) {
  if (msg.line == null || msg.line < 1 || msg.line > lineCount) return null;
  const text = lineText(msg.line);
  const start = lineStart(msg.line);
  const from = byteToCharOffset(text, Math.max(0, msg.col - 1));
  let to = byteToCharOffset(text, Math.max(0, msg.col - 1) + Math.max(1, msg.length));
  if (to <= from) to = Math.min(text.length, from + 1);
  return { from: start + from, to: start + to };
}
