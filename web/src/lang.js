// Highlighting of an input file in the editor: the query line (operations,
// predicate keywords, names, literals), table headers (table name, column
// names, type words) and row lines (each value by its column's type). The
// line roles follow the loader: line 1 is the query, the first non-empty
// line after an empty one is a header, the lines after it are rows.
import { StreamLanguage, HighlightStyle, syntaxHighlighting } from '@codemirror/language';
import { tags as t } from '@lezer/highlight';

const OPERATIONS = new Set(['union', 'minus', 'product', 'project', 'rename', 'select']);
// Read with --extended (the page's Extended operations switch).
const EXTENDED = new Set(['join', 'njoin', 'intersect', 'divide']);
const PREDICATES = new Set(['NOT', 'AND', 'OR', 'EQ', 'NEQ', 'LT', 'LTE', 'GT', 'GTE']);

// The query line keeps a stack of the calls it is inside, {op, arg}, so
// that a name before "(" reads by its place: an operation, a predicate
// keyword inside a condition, or the new table name of rename. With
// extended, join, njoin, intersect and divide are operations too, and
// join's third operand is a condition.
function queryToken(stream, state, extended) {
  const top = state.calls[state.calls.length - 1];
  if (stream.eatSpace()) return null;
  if (stream.match(/^'[^'(), ]*'?/)) return 'string';
  if (stream.match(/^[+-]?\d+(?![^(), ])/)) return 'number';
  if (stream.eat('(')) {
    state.calls.push({ op: state.pending ?? '', arg: 0 });
    state.pending = null;
    return 'paren';
  }
  if (stream.eat(')')) {
    state.calls.pop();
    return 'paren';
  }
  if (stream.eat(',')) {
    if (top) top.arg++;
    return 'separator';
  }
  if (stream.match(/^[^(), ']+/)) {
    const word = stream.current();
    if (stream.peek() !== '(') return 'variableName';
    state.pending = word;
    if (top && top.op === 'rename' && top.arg >= 1) return 'className';
    const inCondition = top && (PREDICATES.has(top.op) || (top.op === 'select' && top.arg >= 1) ||
      (extended && top.op === 'join' && top.arg >= 2));
    if (inCondition) return PREDICATES.has(word) ? 'operatorKeyword' : 'invalid';
    return OPERATIONS.has(word) || (extended && EXTENDED.has(word)) ? 'keyword' : 'invalid';
  }
  stream.next();
  return null;
}

function headerToken(stream, state) {
  switch (state.part) {
    case 'name':
      if (stream.eat('(')) {
        state.part = 'column';
        return 'paren';
      }
      stream.match(/^[^(]+/);
      return 'className';
    case 'column':
      if (stream.eatSpace()) return null;
      if (stream.eat(',')) return 'separator';
      if (stream.eat(')')) {
        state.part = 'after';
        return 'paren';
      }
      stream.match(/^[^ ,)]+/);
      state.part = 'type';
      state.types = state.types.concat([false]);
      return 'propertyName';
    case 'type':
      if (stream.eatSpace()) return null;
      if (stream.peek() === ',' || stream.peek() === ')') {
        state.part = 'column';
        return headerToken(stream, state);
      }
      stream.match(/^[^ ,()]*(\([^,()]*\))?/) || stream.next();
      if (stream.current() === 'int') state.types[state.types.length - 1] = true;
      state.part = 'ignored';
      return 'typeName';
    case 'ignored':
      if (stream.eat(',')) {
        state.part = 'column';
        return 'separator';
      }
      if (stream.eat(')')) {
        state.part = 'after';
        return 'paren';
      }
      stream.match(/^[^,)]+/);
      return 'comment';
    default:
      stream.skipToEnd();
      return 'comment';
  }
}

// One value of a row line: it ends at a blank or comma unless exactly one
// apostrophe has been taken into it.
function rowToken(stream, state) {
  if (stream.match(/^[ ,]+/)) return null;
  let quotes = 0;
  while (!stream.eol()) {
    const c = stream.peek();
    if ((c === ' ' || c === ',') && quotes !== 1) break;
    if (c === "'") quotes++;
    stream.next();
  }
  const column = state.cell++;
  if (column >= state.types.length) return 'comment';
  return state.types[column] ? 'number' : 'string';
}

// The input's highlighting, with or without the extended operations.
export const relalgInputFor = (extended) => StreamLanguage.define({
  name: 'relalg',
  startState: () => ({ line: 0, inBlock: false, role: 'query', part: 'name', types: [], cell: 0, calls: [], pending: null }),
  copyState: (s) => ({ ...s, calls: s.calls.map((c) => ({ ...c })) }),
  blankLine(state) {
    state.line++;
    state.inBlock = false;
  },
  token(stream, state) {
    if (stream.sol()) {
      state.line++;
      state.cell = 0;
      if (state.line === 1) {
        state.role = 'query';
      } else if (!state.inBlock) {
        state.role = 'header';
        state.part = 'name';
        state.types = [];
        // A header with an empty name leaves the loader between blocks.
        state.inBlock = !stream.string.startsWith('(');
      } else {
        state.role = 'row';
      }
    }
    if (state.role === 'query') return queryToken(stream, state, extended);
    if (state.role === 'header') return headerToken(stream, state);
    return rowToken(stream, state);
  },
  tokenTable: { separator: t.separator, paren: t.paren },
});

export const relalgInput = relalgInputFor(false);

export const relalgHighlight = syntaxHighlighting(
  HighlightStyle.define([
    { tag: t.keyword, color: '#7c3aed', fontWeight: 'bold' },
    { tag: t.operatorKeyword, color: '#b45309', fontWeight: 'bold' },
    { tag: t.invalid, color: '#dc2626', textDecoration: 'underline wavy' },
    { tag: t.variableName, color: '#1d4ed8' },
    { tag: t.string, color: '#047857' },
    { tag: t.number, color: '#be185d' },
    { tag: t.className, color: '#0f766e', fontWeight: 'bold' },
    { tag: t.propertyName, color: '#1d4ed8' },
    { tag: t.typeName, color: '#9333ea', fontStyle: 'italic' },
    { tag: t.comment, color: '#6b7280' },
    { tag: [t.paren, t.separator], color: '#374151' },
  ]),
);
