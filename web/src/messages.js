// The engine's messages as the page receives them: one JSON object per
// message (relalg --diagnostics=json), each with its severity, its text,
// and its place: line (from 1) and column (bytes of the line as written,
// from 1) and the length in bytes of the text it is about; line 0 for a
// message without a place. This turns them into objects and places them in
// the editor.

function utf8Length(cp) {
  return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// The messages of a run from the engine's JSON lines: [{severity, message,
// line, column, length, suggestion}], line null for a message without a
// place. A line that is not JSON is kept as a message of its own, so an
// unexpected form is shown rather than lost.
export function readDiagnostics(jsonLines) {
  const out = [];
  if (!jsonLines) return out;
  for (const line of jsonLines.split('\n')) {
    if (line === '') continue;
    let d;
    try {
      d = JSON.parse(line);
    } catch {
      out.push({ severity: 'error', message: line, line: null, column: null, length: 0 });
      continue;
    }
    out.push({
      severity: d.severity,
      message: d.message,
      line: d.line > 0 ? d.line : null,
      column: d.line > 0 ? d.column : null,
      length: d.length,
      ...(d.suggestion !== undefined ? { suggestion: d.suggestion } : {}),
    });
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

// The editor range [from, to) of a placed message in a document whose
// lines are given by lineText(n) (1-based) and lineStart(n), or null when
// the message has no place or its line does not exist. The range is at
// least one character unless the line is empty or the place is its end.
export function messageRange(msg, lineCount, lineText, lineStart) {
  if (msg.line == null || msg.line < 1 || msg.line > lineCount) return null;
  const text = lineText(msg.line);
  const start = lineStart(msg.line);
  const begin = Math.max(0, msg.column - 1);
  const from = byteToCharOffset(text, begin);
  let to = byteToCharOffset(text, begin + Math.max(1, msg.length));
  if (to <= from) to = Math.min(text.length, from + 1);
  return { from: start + from, to: start + to };
}
