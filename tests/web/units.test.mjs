// The page's readers of the engine's output: messages as the engine's JSON
// objects and their places in the editor, the printed result table
// (header, rows with quoted commas, row counts), the plan document and the
// flags the page runs with.
//
//   node --test tests/web/units.test.mjs
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { readDiagnostics, byteToCharOffset, messageRange } from '../../web/src/messages.js';
import { echoSuffix, echoLength, resultText, parseHeader, splitRow, parseTable } from '../../web/src/result.js';
import { readPlan, nodeSummary } from '../../web/src/plan.js';
import { pageOptions, planTextBytes, cliArgs } from '../../web/src/run.js';
import { encodeFragment, decodeFragment } from '../../web/src/share.js';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const pick = (m) => ({ severity: m.severity, message: m.message, line: m.line, column: m.column, length: m.length });

// What the engine writes with --diagnostics=json for an input with the
// tricky spots: a carriage return under the caret, characters of several
// bytes before it, table lines.
const CRLF_INPUT = "select(R, EQ(b, 'Zoë😀'), x)\r\nR(a int, b text)\r\n1x, 'Zoë', 7\n😀, 'x'\n";
const CRLF = [
  '{"severity":"warning","message":"select takes an expression and a condition: this comma is dropped, and the text after it runs into the condition","file":"<stdin>","line":1,"column":28,"length":1}',
  '{"severity":"warning","message":"text after the closing parenthesis is ignored","file":"<stdin>","line":1,"column":32,"length":1}',
  '{"severity":"warning","message":"this line ends with a carriage return (a file from Windows?): it is part of the line\'s last value, and a line holding only one is not empty, so it does not end a table block","file":"<stdin>","line":2,"column":17,"length":1}',
  '{"severity":"warning","message":"\'1x\' in int column \'a\' of table \'R\' is not an integer: it reads as 1","file":"<stdin>","line":3,"column":1,"length":2}',
  '{"severity":"warning","message":"this row has 3 values for 2 columns of table \'R\': the extra values are ignored","file":"<stdin>","line":3,"column":13,"length":1}',
  '{"severity":"warning","message":"\'😀\' in int column \'a\' of table \'R\' is not an integer: it reads as 0","file":"<stdin>","line":4,"column":1,"length":4}',
].join('\n') + '\n';

test('messages from the engine\'s JSON lines', async (t) => {
  const cases = [
    ['empty', '', []],
    ['one without a place', '{"severity":"error","message":"out of memory: the tables and results of this query do not fit","file":null,"line":0,"column":0,"length":0}\n',
      [{ severity: 'error', message: 'out of memory: the tables and results of this query do not fit', line: null, column: null, length: 0 }]],
    ['placed, with a suggestion', '{"severity":"error","message":"no table named \'Rx\'; did you mean \'R\'?","file":"<stdin>","line":1,"column":249,"length":2,"suggestion":"R"}\n',
      [{ severity: 'error', message: "no table named 'Rx'; did you mean 'R'?", line: 1, column: 249, length: 2 }]],
    ['a line that is no JSON is kept', 'something odd\n',
      [{ severity: 'error', message: 'something odd', line: null, column: null, length: 0 }]],
  ];
  for (const [name, lines, want] of cases) {
    await t.test(name, () => assert.deepEqual(readDiagnostics(lines).map(pick), want));
  }
  assert.equal(readDiagnostics(CRLF).length, 6);
  assert.equal(readDiagnostics('{"severity":"error","message":"m","file":"f","line":1,"column":1,"length":1,"suggestion":"R"}')[0].suggestion, 'R');
});

test('messages go to their place in the editor', () => {
  const place = (input, jsonLines) => {
    const lines = input.split('\n');
    const starts = [];
    let at = 0;
    for (const l of lines) {
      starts.push(at);
      at += l.length + 1;
    }
    return readDiagnostics(jsonLines).map((m) => {
      const r = messageRange(m, lines.length, (n) => lines[n - 1], (n) => starts[n - 1]);
      return r && input.slice(r.from, r.to);
    });
  };
  const at = (line, column, length) => `{"severity":"error","message":"m","file":"<stdin>","line":${line},"column":${column},"length":${length}}\n`;
  assert.deepEqual(place(CRLF_INPUT, CRLF), [',', '\r', '\r', '1x', '7', '😀']);
  assert.deepEqual(place("union(select(R,EQ(b,'\t')),Q)\n", at(1, 27, 1)), ['Q']);
  assert.deepEqual(place('union(R,\\x41)\n', at(1, 9, 4)), ['\\x41']);
  assert.deepEqual(place('union(R,)\n', at(1, 9, 0)), [')']);
  assert.deepEqual(place('x\n', at(3, 1, 1)), [null]);
  assert.deepEqual(place('x\n', '{"severity":"error","message":"no place","file":null,"line":0,"column":0,"length":0}\n'), [null]);
});

test('byte columns become character offsets', () => {
  assert.equal(byteToCharOffset('abc', 2), 2);
  assert.equal(byteToCharOffset('éa', 2), 1); // é is two bytes
  assert.equal(byteToCharOffset('€a', 3), 1);
  assert.equal(byteToCharOffset('😀a', 4), 2); // two UTF-16 units
  assert.equal(byteToCharOffset('ab', 10), 2);
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

test('rows are cut to the columns shown', () => {
  const wide = 100001;
  const text = `(${Array.from({ length: wide }, () => 'id int').join(', ')})\n${Array(wide).fill('7').join(',')}\n`;
  const t = parseTable(text, 1000, undefined, 100);
  assert.equal(t.columns.length, wide);
  assert.deepEqual(t.rows, [Array(100).fill('7')]);
  assert.deepEqual(splitRow("1,'a,b',2", 3, 2), ['1', "'a,b'"]);
  assert.deepEqual(splitRow("O'Brien,5,6", 3, 2), ["O'Brien", '5']);
});

test('share addresses: round trip, and refusals of cut, changed or oversized ones', async () => {
  const text = 'project(students, name)\nstudents(id int, name text)\n1, \'Ada\'\n';
  const f = await encodeFragment(text);
  assert.deepEqual(await decodeFragment('#' + f), { text });
  assert.equal(await decodeFragment('#section-2'), null);
  assert.equal(await decodeFragment(''), null);
  for (const bad of ['#z=' + f.slice(2, 12), '#z=!!!!', '#t=' + Buffer.from([0xff, 0xfe]).toString('base64url')]) {
    const got = await decodeFragment(bad);
    assert.match(got.error, /does not hold a readable input/, bad);
  }
  // A small input that inflates past the limit: refused while inflating.
  const big = await encodeFragment('x'.repeat(1 << 20));
  assert.ok(big.length < 5000);
  assert.match((await decodeFragment(big, 1 << 16)).error, /larger than 0 MB once unpacked|larger than .* once unpacked/);
  assert.deepEqual(await decodeFragment(big), { text: 'x'.repeat(1 << 20) });
});

test('the plan document', () => {
  // A real document (of the explain_json_example_plan case), every time 0.25.
  const text = readFileSync(join(root, 'tests/cases/explain_json_example_plan/stderr.exact'), 'utf8');
  const doc = JSON.parse(text.slice(text.indexOf('{')).replace(/"time":T/g, '"time":0.25'));
  const plan = readPlan(doc);
  assert.equal(plan.root, doc.root);
  assert.deepEqual(plan.order, doc.nodes.map((n) => n.id));
  for (const n of doc.nodes) {
    const got = plan.nodes.get(n.id);
    assert.deepEqual([got.op, got.label, got.span, got.children, got.rowCount, got.evaluated, got.fused, got.columns],
      [n.op, n.label, n.span, n.children, n.rows, n.evaluated, n.fused, n.columns], `node ${n.id}`);
    assert.equal(nodeSummary(got), n.evaluated ? `${n.rows} row${n.rows === 1 ? '' : 's'}, 0.250 ms` : nodeSummary(got));
  }
  // Every node hangs from the root through its parents.
  for (const n of doc.nodes) {
    if (n.parent >= 0) assert.ok(plan.nodes.get(n.parent).children.includes(n.id), `node ${n.id} under ${n.parent}`);
  }
  assert.equal(nodeSummary({ fused: true }), 'not built: the selection tests each pair of rows');
  assert.equal(nodeSummary({ failed: true }), 'failed here');
  assert.equal(nodeSummary({ evaluated: false }), 'not evaluated');
  assert.equal(nodeSummary({ evaluated: true, rowCount: 1, time: null }), '1 row');
  assert.equal(nodeSummary({ evaluated: true, rowCount: 12345, time: 1.5 }), '12,345 rows, 1.500 ms');
  const traced = readPlan({ root: 0, nodes: [{ id: 0, op: 'table', rows: 3, evaluated: true, columns: [],
    trace: { rows: [['1', "'x'"]], total: 3, truncated: true } }] });
  assert.deepEqual(traced.nodes.get(0).trace, { rows: [['1', "'x'"]], total: 3, truncated: true });
  assert.equal(readPlan(null), null);
  assert.equal(readPlan({ nodes: [] }), null);
});

test('the flags the page runs with', () => {
  assert.deepEqual(cliArgs(pageOptions('R\nR(a int)\n')), ['--warn', '--explain=plan.json', '--trace=50']);
  assert.deepEqual(cliArgs({ warn: 'error', explain: 'text', trace: 2, maxRows: 3 }),
    ['--warn=error', '--explain', '--trace=2', '--max-rows=3']);
  assert.deepEqual(cliArgs({}), []);
  // The Extended operations switch.
  assert.deepEqual(cliArgs(pageOptions('R\nR(a int)\n', true)), ['--warn', '--explain=plan.json', '--trace=50', '--extended']);
  assert.equal(pageOptions('R\n').extended, false);
  assert.deepEqual(cliArgs({ extended: true }), ['--extended']);
  assert.throws(() => cliArgs({ extended: 'yes' }));
  assert.throws(() => cliArgs({ warn: 'loud' }));
  assert.throws(() => cliArgs({ trace: -1 }));
  assert.equal(planTextBytes('union(R,S)'), 10 + 4);
  assert.equal(planTextBytes('union(R,S'), 9 + 4);
  // A right-nested chain grows with the square of its length: past the
  // limit the plan is left out.
  const chain = (n) => `${'union(R,'.repeat(n)}R${')'.repeat(n)}`;
  assert.equal(pageOptions(chain(1000)).explain, 'json');
  assert.equal(pageOptions(chain(5000)).explain, 'none');
  assert.equal(pageOptions(`R\n${chain(5000)}`).explain, 'json'); // only the query line counts
});
