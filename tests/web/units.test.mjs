// The page's readers of the engine's text: messages from standard error
// (positioned or not, with excerpt and caret line), and the printed result
// table (header, rows with quoted commas, row counts).
//
//   node --test tests/web/units.test.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { parseMessages, byteToCharOffset, messageRange } from '../../web/src/messages.js';
import { echoSuffix, echoLength, resultText, parseHeader, splitRow, parseTable } from '../../web/src/result.js';
import { readNode, planRoot } from '../../web/src/plan.js';

const pick = (m) => ({ severity: m.severity, message: m.message, line: m.line, col: m.col, length: m.length });

test('messages from standard error', async (t) => {
  const cases = [
    ['empty', '', []],
    ['one line without a place', "relalg: no table named 'R'\n",
      [{ severity: 'error', message: "no table named 'R'", line: null, col: null, length: 0 }]],
    ['positioned, with excerpt and caret line',
      "relalg: <stdin>:1:7: error: no table named 'S'\nunion(S,R)\n      ^\n",
      [{ severity: 'error', message: "no table named 'S'", line: 1, col: 7, length: 1 }]],
    ['an excerpt and caret line behind a gutter',
      'relalg: <stdin>:1:1: error: unknown operation\n  1 | Union(R,S)\n    | ^~~~~\n',
      [{ severity: 'error', message: 'unknown operation', line: 1, col: 1, length: 5 }]],
    ['an extent under a bare excerpt', 'relalg: in.txt:2:3: warning: w\nR(a int)\n  ^~~~~\n',
      [{ severity: 'warning', message: 'w', line: 2, col: 3, length: 5 }]],
    ['a path with colons', 'relalg: C:/x:y.txt:4:2: error: e\n',
      [{ severity: 'error', message: 'e', line: 4, col: 2, length: 1 }]],
    ['a warning, then an error, no caret lines',
      'relalg: <stdin>:3:1: warning: first\nrelalg: <stdin>:1:2: error: second\n',
      [{ severity: 'warning', message: 'first', line: 3, col: 1, length: 1 },
        { severity: 'error', message: 'second', line: 1, col: 2, length: 1 }]],
    ['text of another form is kept', 'something odd\n',
      [{ severity: 'error', message: 'something odd', line: null, col: null, length: 0 }]],
  ];
  for (const [name, stderr, want] of cases) {
    await t.test(name, () => assert.deepEqual(parseMessages(stderr).map(pick), want));
  }
  // Lines after a message belong to it.
  assert.deepEqual(parseMessages('relalg: a\nmore\n')[0].text, ['relalg: a', 'more']);
});

test('byte columns become character offsets', () => {
  assert.equal(byteToCharOffset('abc', 2), 2);
  assert.equal(byteToCharOffset('éa', 2), 1); // é is two bytes
  assert.equal(byteToCharOffset('€a', 3), 1);
  assert.equal(byteToCharOffset('😀a', 4), 2); // two UTF-16 units
  assert.equal(byteToCharOffset('ab', 10), 2);
  const lines = ["select(R,EQ(b,'é'))", 'R(a int)'];
  const range = (m) => messageRange(m, lines.length, (n) => lines[n - 1], (n) => (n === 1 ? 0 : lines[0].length + 1));
  assert.deepEqual(range({ line: 1, col: 15, length: 4 }), { from: 14, to: 17 });
  assert.deepEqual(range({ line: 2, col: 3, length: 3 }), { from: 22, to: 25 });
  assert.equal(range({ line: 3, col: 1, length: 1 }), null);
  assert.equal(range({ line: null, col: null, length: 0 }), null);
});

test('the result table after the echo', async (t) => {
  assert.equal(echoSuffix(''), '\n');
  assert.equal(echoSuffix('R\n'), '\n');
  assert.equal(echoSuffix('R'), '\n\n');
  assert.equal(echoLength(new Uint8Array([])), 1);
  assert.equal(echoLength(new Uint8Array([82, 10])), 3);
  assert.equal(echoLength(new Uint8Array([82])), 3);
  assert.equal(resultText('R\nR(a int)\n1', 'R\nR(a int)\n1\n\nR(a int)\n1\n'), 'R(a int)\n1\n');
  assert.equal(resultText('x\n', 'x\n\n'), '');

  const headers = [
    ['R(a int, b text)', { name: 'R', columns: [{ name: 'a', type: 'int' }, { name: 'b', type: 'text' }] }],
    ['(name text)', { name: '', columns: [{ name: 'name', type: 'text' }] }],
    ['R(a , b int)', { name: 'R', columns: [{ name: 'a', type: '' }, { name: 'b', type: 'int' }] }],
    ['R()', { name: 'R', columns: [] }],
    ['R( )', { name: 'R', columns: [{ name: '', type: '' }] }],
    ['R(b char(20))', { name: 'R', columns: [{ name: 'b', type: 'char(20)' }] }],
  ];
  for (const [line, want] of headers) await t.test(`header ${line}`, () => assert.deepEqual(parseHeader(line), want));

  const rows = [
    ["1,'x'", 2, ['1', "'x'"]],
    ["1,'a,b',2", 3, ['1', "'a,b'", '2']],
    ["'x y',", 2, ["'x y'", '']],
    [",,", 3, ['', '', '']],
    // An odd apostrophe: the plain split when it gives the table's width.
    ["O'Brien, 3,5", 2, ["O'Brien, 3,5"]],
    ["O'Brien,5", 2, ["O'Brien", '5']],
  ];
  for (const [line, width, want] of rows) await t.test(`row ${line}`, () => assert.deepEqual(splitRow(line, width), want));
});

test('tables are cut to the rows shown and counted whole', () => {
  const text = 'R(a int)\n1\n2\n3\n';
  assert.deepEqual(parseTable(text, 2), { name: 'R', columns: [{ name: 'a', type: 'int' }], rows: [['1'], ['2']], rowCount: 3 });
  assert.deepEqual(parseTable('R()\n\n\n').rows, [[], []]);
  assert.equal(parseTable('R(a int)\n').rowCount, 0);
  assert.equal(parseTable(''), null);
  assert.equal(parseTable('R(a int)\n1\n2\n3\n', 1, 3).rowCount, 3);
});

test('plan nodes are read defensively', () => {
  const node = readNode(planRoot({ plan: { op: 'union', text: 'union(R,S)', span: [0, 10], rows: 3,
    columns: [{ name: 'a', type: 'int' }], children: [{ op: 'table', text: 'R', row_count: 2, trace: [[1], [null]] }, null] } }));
  assert.equal(node.op, 'union');
  assert.deepEqual(node.span, [0, 10]);
  assert.equal(node.rowCount, 3);
  assert.equal(node.children.length, 1);
  assert.equal(node.children[0].rowCount, 2);
  assert.deepEqual(node.children[0].traceRows, [['1'], ['']]);
  assert.equal(readNode(planRoot(null)), null);
  assert.equal(readNode({}).op, '?');
  assert.equal(readNode({ trace: { columns: ['x'], rows: [['1']] } }).columns[0].name, 'x');
});
