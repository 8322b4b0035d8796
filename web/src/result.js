// Takes the output file apart for display: the echo of the input, then the
// result table as the command line prints it (a header line
// `NAME(col type, col type)`, then one line per row with the cells joined by
// `,`).

// What follows the input in the echo: the line feed its last line may lack,
// and the empty line the final read adds.
export function echoSuffix(input) {
  if (input.length === 0) return '\n';
  return input.endsWith('\n') ? '\n' : '\n\n';
}

// The length in bytes of the echo of an input given as bytes.
export function echoLength(bytes) {
  if (bytes.length === 0) return 1;
  return bytes.length + (bytes[bytes.length - 1] === 10 ? 1 : 2);
}

// The printed result table of a run over input, or '' when there is none.
export function resultText(input, output) {
  const skip = input.length + echoSuffix(input).length;
  return output.length > skip ? output.slice(skip) : '';
}

// Reads a header line into {name, columns: [{name, type}]}. Column names and
// type words hold no blank and no comma, so `, ` and the first blank of each
// definition split it; `NAME()` has no columns.
export function parseHeader(line) {
  const open = line.indexOf('(');
  if (open < 0) return { name: line, columns: [] };
  const name = line.slice(0, open);
  let inner = line.slice(open + 1);
  if (inner.endsWith(')')) inner = inner.slice(0, -1);
  if (inner === '') return { name, columns: [] };
  const columns = inner.split(', ').map((def) => {
    const blank = def.indexOf(' ');
    return blank < 0 ? { name: def, type: '' } : { name: def.slice(0, blank), type: def.slice(blank + 1) };
  });
  return { name, columns };
}

// Splits a printed row into its cells, the first `limit` of them at most.
// A string cell may hold commas inside a quoted run: as when the row was
// read, a comma ends a cell unless exactly one apostrophe has been taken
// into it. When that gives fewer cells than the table has columns but a
// plain split gives exactly as many, the plain split is taken (a cell read
// up to the end of its input line holds an odd apostrophe and may stand
// before others after a projection).
export function splitRow(line, width, limit = Infinity) {
  const cells = [];
  let cur = '';
  let quotes = 0;
  for (const ch of line) {
    if (ch === ',' && quotes !== 1) {
      cells.push(cur);
      if (cells.length >= limit) return cells;
      cur = '';
      quotes = 0;
    } else {
      if (ch === "'") quotes++;
      cur += ch;
    }
  }
  cells.push(cur);
  if (width !== undefined && cells.length < width) {
    let commas = 0;
    for (let i = line.indexOf(','); i >= 0; i = line.indexOf(',', i + 1)) commas++;
    if (commas + 1 === width) return Number.isFinite(limit) ? line.split(',', limit) : line.split(',');
  }
  return cells;
}

// The first `limit` rows of a printed table and its row count:
// {name, columns, rows: [[cell]], rowCount}. rowCount may be given when it
// is known (counted elsewhere for a large output); else it is counted here.
// Each row holds its first `columnLimit` cells at most.
export function parseTable(text, limit = 1000, rowCount = undefined, columnLimit = Infinity) {
  if (text === '') return null;
  let nl = text.indexOf('\n');
  if (nl < 0) nl = text.length;
  const header = parseHeader(text.slice(0, nl));
  const width = header.columns.length;
  const rows = [];
  let pos = nl + 1;
  let counted = 0;
  while (pos < text.length) {
    let end = text.indexOf('\n', pos);
    if (end < 0) end = text.length;
    if (rows.length < limit) {
      const line = text.slice(pos, end);
      rows.push(width === 0 ? [] : splitRow(line, width, columnLimit));
    } else if (rowCount !== undefined) {
      break;
    }
    counted++;
    pos = end + 1;
  }
  return { ...header, rows, rowCount: rowCount !== undefined ? rowCount : counted };
}
