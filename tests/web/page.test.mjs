// The built page in a real browser (Debian's Chromium, driven by
// playwright-core), opened from disk: run() against the native program with
// the page's flags, typing and running a query, the result table, the
// operator tree of real runs and its intermediate tables, errors and
// warnings at their place in the editor, sharing an address, the download,
// the query's formula and its copy buttons, and a large input that runs
// while the page stays responsive. Keeps screenshots in
// build-web/artifacts/.
//
//   node --test tests/web/page.test.mjs
//
// RELALG_PAGE (default web/dist/relalg.html) is the page; CHROMIUM (default
// /usr/bin/chromium) the browser. With RELALG_WEB_BENCH=DIR it also times
// the 1,000,000-row scan and union workloads of the benchmark generator in
// DIR (made there by ../shared/bench/gen.py, or RELALG_BENCH_GEN, when
// missing) against the native program and prints the ratios.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { tmpdir } from 'node:os';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { cliArgs, pageOptions } from '../../web/src/run.js';
import { readDiagnostics } from '../../web/src/messages.js';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
// playwright-core is a package of web/ (web/package.json).
const { chromium } = createRequire(join(root, 'web/package.json'))('playwright-core');
const pagePath = resolve(root, process.env.RELALG_PAGE ?? 'web/dist/relalg.html');
const pageUrl = pathToFileURL(pagePath).href;
const browserPath = process.env.CHROMIUM ?? '/usr/bin/chromium';
const artifacts = join(root, 'build-web/artifacts');
const profile = mkdtempSync(join(tmpdir(), 'relalg-chromium-'));
const native = resolve(root, process.env.RELALG ?? 'build/relalg');

let context;
let page;

async function openPage(url = pageUrl) {
  const p = await context.newPage();
  p.on('pageerror', (e) => assert.fail(`page error: ${e.message}`));
  await p.goto(url);
  await p.evaluate(() => window.relalg.ready);
  return p;
}

async function setInput(p, text) {
  await p.evaluate((t) => (window.relalg.input = t), text);
}

// The cells of the table in `selector`: header cells, then body rows.
async function tableCells(p, selector) {
  return p.$eval(selector, (t) => ({
    caption: t.caption ? t.caption.textContent : '',
    head: [...t.tHead.rows[0].cells].map((c) => c.textContent),
    rows: [...t.tBodies[0].rows].map((r) => [...r.cells].map((c) => c.textContent)),
  }));
}

// The native program over input with the flags of options: {output,
// status, messages, diagnostics, explain}, as run() gives them, times left
// out; the diagnostics from a second run with --diagnostics=json.
function runNative(input, options) {
  const out = join(profile, 'native.out');
  const plan = join(profile, 'plan.json');
  rmSync(plan, { force: true });
  const json = spawnSync(native, [...cliArgs(options, plan), '--diagnostics=json', '-', out], { input });
  rmSync(plan, { force: true });
  const r = spawnSync(native, [...cliArgs(options, plan), '-', out], { input });
  const explain = existsSync(plan) ? withoutTimes(JSON.parse(readFileSync(plan, 'utf8'))) : null;
  return {
    output: readFileSync(out, 'utf8'),
    status: r.status,
    messages: r.stderr.toString('utf8'),
    diagnostics: readDiagnostics(json.stderr.toString('utf8')),
    explain,
  };
}

function withoutTimes(doc) {
  if (doc) for (const n of doc.nodes) delete n.time;
  return doc;
}

// Replaces the query line in the editor by typing, and runs it with Ctrl+Enter.
async function typeQuery(p, query) {
  await p.locator('.cm-content').focus();
  await p.keyboard.press('Control+Home');
  await p.keyboard.press('Shift+End');
  await p.keyboard.type(query);
  await p.evaluate(() => (document.getElementById('progress').textContent = ''));
  await p.keyboard.press('Control+Enter');
  await p.waitForFunction(() => /^Exit status/.test(document.getElementById('progress').textContent));
}

const marks = (p, cls) => p.$$eval(cls, (e) => e.map((x) => x.textContent));
// The messages shown beneath the editor's lines, in order.
const lineMessages = (p) => p.$$eval('.rl-message-line', (e) => e.flatMap((x) => x.dataset.messages.split('\n')));

before(async () => {
  assert.ok(existsSync(pagePath), `${pagePath} is missing: run web/build.sh`);
  context = await chromium.launchPersistentContext(profile, {
    executablePath: browserPath,
    headless: true,
    viewport: { width: 1200, height: 900 },
    permissions: ['clipboard-read', 'clipboard-write'],
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--no-first-run'],
  });
  page = await openPage();
});

after(async () => {
  if (context) await context.close();
  rmSync(profile, { recursive: true, force: true });
});

test('run() gives what the command line gives with the page\'s flags', async () => {
  const dir = join(root, 'tests/cases/example_students_without_enrolments');
  const input = readFileSync(join(dir, 'input.txt'), 'utf8');
  assert.deepEqual(await page.evaluate((t) => window.relalg.options(t), input), pageOptions(input));
  const r = await page.evaluate((t) => window.relalg.run(t), input);
  assert.deepEqual(Object.keys(r).sort(), ['diagnostics', 'explain', 'messages', 'output', 'status']);
  assert.equal(r.output, readFileSync(join(dir, 'expected.txt'), 'utf8'));
  assert.deepEqual({ ...r, explain: withoutTimes(r.explain) }, runNative(input, pageOptions(input)));
  // A failing run, with its message and the plan up to the failure; and the
  // plain command line, without warnings or plan.
  const inputs = ['nosuch\nR(a int)\n', "select(R, EQ(b, 'x y'))\nR(a int, b text)\n1, 'x y'\n"];
  for (const text of inputs) {
    const got = await page.evaluate((t) => window.relalg.run(t), text);
    assert.deepEqual({ ...got, explain: withoutTimes(got.explain) }, runNative(text, pageOptions(text)));
    const plain = await page.evaluate((t) => window.relalg.run(t, {}), text);
    assert.deepEqual(plain, runNative(text, {}));
    assert.equal(plain.explain, null);
  }
  const bad = await page.evaluate(() => window.relalg.run('nosuch\nR(a int)\n'));
  assert.equal(bad.messages, "relalg: <stdin>:1:1: error: no table named 'nosuch'\nnosuch\n^~~~~~\n");
  assert.deepEqual(bad.explain.nodes.map((n) => [n.op, n.failed]), [['fail', true]]);
  const text = await page.evaluate(() => window.relalg.run('R\nR(a int)\n1\n', { explain: 'text', trace: 1 }));
  assert.match(text.explain, /^R -> R\(a int\): 1 row in [0-9.]+ ms\n    R\(a int\)\n    1\npath: evaluated whole: .*; without --explain, --trace and --warn: printed from row lines\n$/);
});

test('a typed query runs with Ctrl+Enter and with Run, and shows its table', async () => {
  await page.selectOption('#examples', 'university/all_students');
  const line1 = page.locator('.cm-line').first();
  await line1.click();
  await page.keyboard.press('End');
  await page.keyboard.press('Shift+Home');
  await page.keyboard.type('project(select(students, EQ(year, 3)), name)');
  await page.keyboard.press('Control+Enter');
  await page.waitForSelector('#result table');
  let t = await tableCells(page, '#result table');
  assert.deepEqual(t.head, ['name text']);
  assert.deepEqual(t.rows, [["'Edsger'"], ["'Grace'"], ["'Niklaus'"], ["'Tony'"]]);
  assert.match(t.caption, /4 rows/);
  // The query's words are highlighted: the operation name has its colour.
  const colour = await page.$$eval('.cm-line:first-child span', (spans) =>
    spans.filter((s) => s.textContent === 'project').map((s) => getComputedStyle(s).color));
  assert.deepEqual(colour, ['rgb(124, 58, 237)']);

  await line1.click();
  await page.keyboard.press('End');
  await page.keyboard.press('Shift+Home');
  await page.keyboard.type('select(students, GT(id, 9))');
  await page.getByRole('button', { name: 'Run', exact: true }).click();
  await page.waitForFunction(() => /2 rows/.test(document.querySelector('#result caption')?.textContent));
  t = await tableCells(page, '#result table');
  assert.deepEqual(t.head, ['id int', 'name text', 'year int']);
  assert.deepEqual(t.rows, [['10', "'Margaret'", '2'], ['11', "'Tony'", '3']]);
  assert.match(t.caption, /^\(no name\)/);
});

test('the download is the output file', async () => {
  const saved = join(profile, 'download.txt');
  const save = async () => {
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
    await download.saveAs(saved);
    return readFileSync(saved, 'utf8');
  };
  // Straight after the run shown, and after another run took its place.
  const first = await save();
  const input = await page.evaluate(() => window.relalg.input);
  const want = await page.evaluate((t) => window.relalg.run(t), input);
  assert.equal(first, want.output);
  await page.evaluate(() => window.relalg.run('R\nR(a int)\n'));
  assert.equal(await save(), want.output);
});

const STUDENTS = "students(id int, name text, year int)\n1, 'Ada', 1\n3, 'Grace', 3\n4, 'Zoë😀', 3\n";

test('an error shows at its place in the editor and in the list', async () => {
  await setInput(page, `project(studnts, name)\n${STUDENTS}`);
  await page.click('#run');
  await page.waitForSelector('#messages li');
  const message = "no table named 'studnts'; did you mean 'students'?";
  assert.deepEqual(await marks(page, '.rl-underline-error'), ['studnts']);
  assert.deepEqual(await lineMessages(page), [`error: ${message}`]);
  assert.deepEqual(await marks(page, '#messages li'), [`error: line 1, column 9: ${message}`]);
  assert.match(await page.textContent('#result'), /exit status 1/);
  // The failed node is marked in the tree.
  assert.deepEqual(await marks(page, '.plan-node.failed'), ['fail studnts failed here']);
  // A click on the message selects its extent.
  await page.click('#messages li');
  assert.equal(await page.evaluate(() => window.relalg.selection), 'studnts');

  // Characters of several bytes (and UTF-16 pairs) before the spot. The
  // query line is selected to its end and typed over: the messages beneath
  // it are no part of the text, so its line end stays.
  await typeQuery(page, "union(select(students, EQ(name, 'Zoë😀')), studnts)");
  assert.equal(await page.evaluate(() => window.relalg.input), `union(select(students, EQ(name, 'Zoë😀')), studnts)\n${STUDENTS}`);
  assert.deepEqual(await marks(page, '.rl-underline-error'), ['studnts']);
  assert.deepEqual(await marks(page, '#messages li'), [`error: line 1, column 47: ${message}`]);
});

test('warnings show at their place, on the query line and on table lines', async () => {
  await setInput(page, "select(students, EQ(yeer, 3))\nstudents(id int, name text, year int)\n1, 'Ada', 1\n3, 'Grace', 3, 8\n4, 'Zoë😀', 3, 9\n");
  await typeQuery(page, "select(students, AND(GTE(year, 1), NEQ(nme, 'Zoë😀')))");
  assert.deepEqual(await marks(page, '.rl-underline-warning'), ['nme', '8', '9']);
  assert.deepEqual(await marks(page, '#messages li'), [
    "warning: line 1, column 40: 'nme' is not a column of the operand (id, name, year): it compares as the integer 0; did you mean 'name'?",
    "warning: line 4, column 16: this row has 4 values for 3 columns of table 'students': the extra values are ignored",
    "warning: line 5, column 19: this row has 4 values for 3 columns of table 'students': the extra values are ignored",
  ]);
  const row = "warning: this row has 4 values for 3 columns of table 'students': the extra values are ignored";
  assert.deepEqual(await lineMessages(page), [
    "warning: 'nme' is not a column of the operand (id, name, year): it compares as the integer 0; did you mean 'name'?", row, row]);
  // Warnings change nothing else: the result is there.
  assert.match((await tableCells(page, '#result table')).caption, /3 rows/);
  await page.click('#messages li >> nth=2');
  assert.equal(await page.evaluate(() => window.relalg.selection), '9');
});

test('the slips students make are warned about in place: a word that is a value, a decimal constant', async () => {
  await setInput(page, "students\nstudents(id int, name text, year int)\n1, 'Ada', 1\n3, 'Grace', 3\n");
  await typeQuery(page, 'union(select(students, EQ(name, Ada)), select(students, GTE(year, 2.5)))');
  assert.deepEqual(await marks(page, '.rl-underline-warning'), ['Ada', '2.5']);
  assert.deepEqual(await marks(page, '#messages li'), [
    "warning: line 1, column 33: 'Ada' is not a column of the operand (id, name, year): it compares as the integer 0; did you mean the string 'Ada'?",
    "warning: line 1, column 67: the constant '2.5' reads as the integer 2: the text after its digits is dropped (integers are whole numbers)",
  ]);
});

test('the operator tree shows row counts and each node\'s rows', async () => {
  await page.selectOption('#examples', 'university/students_without_enrolments');
  await page.click('#run');
  await page.waitForSelector('.plan-node');
  // The tree is the plan of run(): a button per node, in its order, with
  // its label and row count.
  const doc = (await page.evaluate((t) => window.relalg.run(t), await page.evaluate(() => window.relalg.input))).explain;
  const nodes = await page.$$eval('.plan-node', (b) => b.map((x) => [Number(x.dataset.id), x.textContent]));
  assert.deepEqual(nodes.map(([id]) => id), doc.nodes.map((n) => n.id));
  nodes.forEach(([id, text], i) => {
    const n = doc.nodes[i];
    const rows = n.evaluated ? `${n.rows} row${n.rows === 1 ? '' : 's'}, ` : '';
    assert.ok(text.startsWith(`${n.op} ${n.label} ${rows}`), `${text} for node ${id}`);
  });
  // The join takes the place of the projection, selection and product.
  assert.match(nodes[0][1], /^join project\(select\(\.\.\.\), id, name\) as a hash join on id = sid 2 rows, [0-9.]+ ms$/);
  const rename = doc.nodes.find((n) => n.op === 'rename');
  const minus = doc.nodes.find((n) => n.op === 'minus');
  // The tree nests as the plan does: minus under rename.
  assert.equal(await page.$eval(`.plan-node[data-id="${minus.id}"]`, (b) => b.closest('ul').closest('li').querySelector('.plan-node').dataset.id), String(rename.id));

  await page.click(`.plan-node[data-id="${rename.id}"]`);
  let t = await tableCells(page, '#trace table');
  assert.deepEqual(t.head, ['sid int']);
  assert.deepEqual(t.rows, [['6'], ['11']]);
  assert.match(t.caption, /^rename\(minus\(\.\.\.\), idle\(sid\)\) 2 rows$/);
  assert.equal(await page.evaluate(() => window.relalg.selection),
    'rename(minus(project(students, id), rename(project(enrolments, student), enrolled(id))), idle(sid))');

  // A product under a selection without an equality to join on is never built.
  await typeQuery(page, 'select(product(students, rename(students, other(id2, name2, year2))), LT(id, id2))');
  await page.click('.plan-node[data-id] >> text=/^product/');
  assert.match(await page.textContent('#trace'), /never built/);
  assert.match(await page.textContent('.plan-node.selected'), /not built: the selection tests each pair of rows$/);
  assert.match((await tableCells(page, '#result table')).caption, /55 rows/);

  // A node with more rows than the trace keeps shows the first 50.
  const rows = Array.from({ length: 60 }, (_, i) => `${i}, 'n${i}'`).join('\n');
  await setInput(page, `project(R, a)\nR(a int, b text)\n${rows}\n`);
  await page.click('#run');
  await page.waitForSelector('.plan-node[data-id="1"]');
  await page.click('.plan-node[data-id="1"]');
  t = await tableCells(page, '#trace table');
  assert.match(t.caption, /60 rows, first 50 shown/);
  assert.equal(t.rows.length, 50);
  assert.deepEqual(t.rows[49], ['49', "'n49'"]);
});

test('Share puts the input into the address, and the address brings it back', async () => {
  const input = "select(R, EQ(b, 'é ü'))\r\nR(a int, b text)\n1, 'é ü'\r\n\n" + 'S(x int)\n7\n'.repeat(50);
  await setInput(page, input);
  await page.click('#share');
  await page.waitForFunction(() => location.hash.length > 1);
  const url = await page.evaluate(() => location.href);
  assert.match(url, /#z=[A-Za-z0-9_-]+$/);
  assert.ok(url.length < input.length, 'the fragment is compressed');
  const other = await openPage(url);
  assert.equal(await other.evaluate(() => window.relalg.input), input);
  await other.click('#run');
  await other.waitForSelector('#result table');
  // The query's constant loses its blank, so no row matches, and a warning says so.
  const t = await tableCells(other, '#result table');
  assert.deepEqual([t.head, t.rows], [['a int', 'b text'], []]);
  assert.match((await marks(other, '#messages li'))[0], /^warning: line 1, column 17: /);
  await other.close();
});

test('a share link to 100,001 columns shows the first 100 and says how many more', async () => {
  const query = `project(students, ${Array(100001).fill('id').join(', ')})`;
  const input = `${query}\nstudents(id int, name text)\n1, 'Ada'\n2, 'Alan'\n`;
  await setInput(page, input);
  // The address still holds the last share: wait for this one's.
  const before = await page.evaluate(() => location.hash);
  await page.click('#share');
  await page.waitForFunction((old) => location.hash.length > 1 && location.hash !== old, before, { timeout: 60000 });
  const url = await page.evaluate(() => location.href);
  const other = await openPage(url);
  assert.equal(await other.evaluate(() => window.relalg.input), input);
  const start = Date.now();
  await other.click('#run');
  await other.waitForSelector('#result table', { timeout: 60000 });
  const t = await tableCells(other, '#result table');
  assert.equal(t.head.length, 101);
  assert.equal(t.head[100], '... and 99,901 more columns');
  assert.deepEqual(t.rows.map((r) => r.slice(0, 2)), [['1', '1'], ['2', '2']]);
  assert.ok(Date.now() - start < 20000, `the table took ${Date.now() - start} ms`);
  await other.close();
});

test('a cut or changed share link shows why and leaves the editor empty', async () => {
  const good = await page.evaluate(() => location.href);
  for (const [hash, words] of [['#z=AAAA', /does not hold a readable input/], ['#z=' + 'A'.repeat(10), /does not hold a readable input/]]) {
    const other = await openPage(pageUrl + hash);
    assert.equal(await other.evaluate(() => window.relalg.input), '');
    assert.match(await other.textContent('#progress'), words);
    await other.close();
  }
  // Changing the address of an open page to a broken one keeps the user's text.
  const p = await openPage(good);
  const before = await p.evaluate(() => window.relalg.input);
  await p.evaluate(() => (location.hash = '#z=!!'));
  await p.waitForFunction(() => /not opened/.test(document.querySelector('#progress').textContent));
  assert.equal(await p.evaluate(() => window.relalg.input), before);
  await p.close();
});

test('the Extended operations switch reads join, njoin, intersect and divide', async () => {
  const input = "divide(R, project(select(R, EQ(a, 1)), b))\nR(a int, b text)\n1, 'x'\n1, 'y'\n2, 'x'\n3, 'x'\n3, 'y'\n";
  const p = await openPage();
  assert.equal(await p.isChecked('#extended'), false);
  await setInput(p, input);
  await p.click('#run');
  await p.waitForFunction(() => /^Exit status 1/.test(document.getElementById('progress').textContent));
  assert.match((await marks(p, '#messages li'))[0], /^error: line 1, column 1: unknown operation 'divide'/);
  // Switched on: the page runs as relalg --extended, shows the operation as
  // written in the plan, and typesets its formula with its own symbol.
  await p.check('#extended');
  assert.deepEqual(await p.evaluate((t) => window.relalg.options(t), input), pageOptions(input, true));
  await p.click('#run');
  await p.waitForSelector('#result table');
  const t = await tableCells(p, '#result table');
  assert.deepEqual([t.head, t.rows], [['a int'], [['1'], ['3']]]);
  // The plan names the node by the operation as written; its definition's nodes are drawn apart.
  assert.equal(await p.textContent('#plan .plan-node >> nth=0 >> .plan-op'), 'divide');
  assert.equal(await p.textContent('#plan .plan-node >> nth=0 >> .plan-text'), 'divide(R, project(...))');
  assert.ok((await p.$$('#plan .plan-node.definition')).length >= 5);
  assert.match(await p.$eval('#formula annotation', (a) => a.textContent), /\\div/);
  const r = await p.evaluate((t) => window.relalg.run(t), input);
  assert.deepEqual({ ...r, explain: withoutTimes(r.explain) }, runNative(input, pageOptions(input, true)));
  assert.equal(r.explain.nodes[0].extended, 'divide');
  // Its address keeps the switch.
  await p.click('#share');
  await p.waitForFunction(() => location.hash.length > 1);
  const url = await p.evaluate(() => location.href);
  assert.match(url, /#z=[A-Za-z0-9_-]+&x$/);
  const other = await openPage(url);
  assert.equal(await other.isChecked('#extended'), true);
  assert.equal(await other.evaluate(() => window.relalg.input), input);
  await other.close();
  await p.close();
  // An exercise written with them turns it on.
  const q = await openPage();
  await q.selectOption('#examples', 'grading/extended/exercises/took_what_ada_took');
  assert.equal(await q.isChecked('#extended'), true);
  await q.close();
});

test('the examples menu holds every example of examples/', async () => {
  const values = await page.$$eval('#examples option', (o) => o.map((x) => x.value).filter(Boolean));
  assert.ok(values.includes('university/honours_list'));
  await page.selectOption('#examples', 'university/honours_list');
  assert.equal(await page.evaluate(() => window.relalg.input), readFileSync(join(root, 'examples/university/honours_list.txt'), 'utf8'));
});

test('a screenshot of a run with its result, plan and a warning', async () => {
  const p = await openPage();
  await p.selectOption('#examples', 'university/first_or_final_years');
  await typeQuery(p, 'project(select(students, OR(EQ(year, 1), EQ(yeer, 3))), year, name)');
  assert.deepEqual(await marks(p, '.rl-underline-warning'), ['yeer']);
  assert.match((await tableCells(p, '#result table')).caption, /3 rows/);
  await p.click('.plan-node[data-id="1"]');
  await p.waitForSelector('#trace table');
  mkdirSync(artifacts, { recursive: true });
  await p.screenshot({ path: join(artifacts, 'relalg-page.png'), fullPage: true });
  await p.close();
});

// The formulas the native program writes for an input.
function nativeFormulas(input) {
  const form = (f) => spawnSync(native, [`--notation=${f}`, '-'], { input }).stdout.toString('utf8').replace(/\n$/, '');
  return { unicode: form('unicode'), latex: form('latex') };
}

test('the formula of the query is typeset, and the buttons copy its LaTeX and Unicode forms', async () => {
  const p = await openPage();
  await p.selectOption('#examples', 'university/classmates_in_the_same_year');
  await p.click('#run');
  await p.waitForFunction(() => /^Exit status/.test(document.getElementById('progress').textContent));
  const input = await p.evaluate(() => window.relalg.input);
  const expected = nativeFormulas(input);
  assert.deepEqual(await p.evaluate(() => window.relalg.formula), expected);
  // KaTeX's MathML: the operators as symbols, the subscripts as subscripts.
  const math = await p.$eval('#formula math', (m) => ({
    text: m.textContent, subscripts: m.querySelectorAll('msub').length, tex: m.querySelector('annotation')?.textContent,
  }));
  assert.equal(math.tex, expected.latex);
  for (const symbol of ['π', 'σ', 'ρ', '×', '∧', '<']) assert.ok(math.text.includes(symbol), symbol);
  assert.equal(math.subscripts, 3);
  const box = await p.$eval('#formula math', (m) => m.getBoundingClientRect().width);
  assert.ok(box > 200, `the formula is laid out (${box} px wide)`);

  await p.click('#copy-latex');
  await p.waitForFunction(() => /as LaTeX/.test(document.getElementById('progress').textContent));
  assert.equal(await p.evaluate(() => navigator.clipboard.readText()), expected.latex);
  await p.click('#copy-unicode');
  await p.waitForFunction(() => /as Unicode/.test(document.getElementById('progress').textContent));
  assert.equal(await p.evaluate(() => navigator.clipboard.readText()), expected.unicode);
  mkdirSync(artifacts, { recursive: true });
  await p.screenshot({ path: join(artifacts, 'relalg-formula.png'), fullPage: true });

  // Special characters, typed: the LaTeX still typesets, as the text it escapes.
  await typeQuery(p, "project(select(students, OR(EQ(name, 'A_b#%&$~^{}'), NOT(LTE(year, -1)))), name)");
  const special = nativeFormulas(await p.evaluate(() => window.relalg.input));
  assert.deepEqual(await p.evaluate(() => window.relalg.formula), special);
  assert.ok((await p.$eval('#formula math', (m) => m.textContent)).includes('A_b#%&$~^{}'));
  assert.equal(await p.$$eval('#formula .katex-error', (e) => e.length), 0);

  // A query without a result has no formula, and nothing to copy.
  await typeQuery(p, 'project(studnts, name)');
  assert.equal(await p.evaluate(() => window.relalg.formula), null);
  assert.match(await p.$eval('#formula', (e) => e.textContent), /No formula/);
  assert.ok(await p.$eval('#copy-latex', (b) => b.disabled));
  await p.close();
});

test('a large input runs in the worker while the page stays responsive', async () => {
  const rows = [];
  for (let i = 0; i < 300000; i++) rows.push(`${i % 1000}, 'v${i}', ${i}`);
  const input = `union(R,R)\nR(a int, b text, c int)\n${rows.join('\n')}\n`;
  // Run waits for no other run: one still going would keep this one from starting.
  await page.waitForFunction(() => !document.body.classList.contains('busy'), null, { timeout: 120000 });
  await setInput(page, input);
  await page.click('#run');
  await page.waitForFunction(() => /Evaluating|Receiving/.test(document.getElementById('progress').textContent));
  // The main thread answers while the engine works.
  const ticks = await page.evaluate(() => new Promise((r) => { let n = 0; const t = setInterval(() => { if (++n === 5) { clearInterval(t); r(n); } }, 10); }));
  assert.equal(ticks, 5);
  await page.waitForFunction(() => /Exit status 0/.test(document.getElementById('progress').textContent), null, { timeout: 120000 });
  const t = await tableCells(page, '#result table');
  assert.match(t.caption, /300,000 rows, first 1,000 shown/);
  assert.equal(t.rows.length, 1000);
  assert.deepEqual(t.rows[0], ['0', "'v0'", '0']);
});

const benchDir = process.env.RELALG_WEB_BENCH;
test('speed against the native program (RELALG_WEB_BENCH)', { skip: !benchDir && 'RELALG_WEB_BENCH is not set' }, async () => {
  const gen = process.env.RELALG_BENCH_GEN ?? resolve(root, '../shared/bench/gen.py');
  const median = (xs) => xs.sort((a, b) => a - b)[Math.floor(xs.length / 2)];
  const lines = [];
  for (const w of ['scan', 'union']) {
    const dir = join(benchDir, w);
    if (!existsSync(join(dir, 'input.txt'))) {
      assert.ok(existsSync(gen), `${gen} is missing: set RELALG_BENCH_GEN to the benchmark generator`);
      spawnSync('python3', [gen, w, '1000000', dir], { stdio: 'inherit' });
    }
    const inputPath = join(dir, 'input.txt');
    const text = readFileSync(inputPath, 'utf8');
    await page.evaluate((t) => (window.benchInput = t), text);
    // Plain (`relalg INPUT OUTPUT`) and with the page's flags, native and
    // page runs taking turns, so that both meet the same load.
    const flags = cliArgs(pageOptions(text), join(dir, 'plan.json'));
    const times = { native: [], nativePage: [], engine: [], enginePage: [], run: [], runPage: [] };
    const pageRun = (options) => page.evaluate(async (o) => {
      const t1 = performance.now();
      const res = await window.relalg.run(window.benchInput, o ?? undefined);
      return { ms: performance.now() - t1, engineMs: window.relalg.lastTiming.engineMs, status: res.status };
    }, options);
    const nativeRun = (args) => {
      const t0 = process.hrtime.bigint();
      const r = spawnSync(native, [...args, inputPath, join(dir, 'native.out')]);
      assert.equal(r.status, 0);
      return Number(process.hrtime.bigint() - t0) / 1e6;
    };
    for (let i = 0; i < 5; i++) {
      times.native.push(nativeRun([]));
      let r = await pageRun({});
      assert.equal(r.status, 0);
      times.engine.push(r.engineMs);
      times.run.push(r.ms);
      times.nativePage.push(nativeRun(flags));
      r = await pageRun(null);
      assert.equal(r.status, 0);
      times.enginePage.push(r.engineMs);
      times.runPage.push(r.ms);
    }
    // The Run button (the page's flags), from the click to the table shown,
    // with the input in the editor.
    await page.evaluate(() => (window.relalg.input = window.benchInput));
    const button = [];
    for (let i = 0; i < 3; i++) {
      button.push(await page.evaluate(() => new Promise((resolve) => {
        const progress = document.getElementById('progress');
        const t0 = performance.now();
        const seen = new MutationObserver(() => {
          if (/^Exit status/.test(progress.textContent) && document.querySelector('#result table')) {
            seen.disconnect();
            resolve(performance.now() - t0);
          }
        });
        seen.observe(progress, { childList: true, characterData: true, subtree: true });
        document.getElementById('run').click();
      })));
    }
    const n = median(times.native);
    const np = median(times.nativePage);
    const ratio = (xs, base) => `${median(xs).toFixed(0)} ms (x${(median(xs) / base).toFixed(2)})`;
    lines.push(`${w} plain: native ${n.toFixed(0)} ms, WebAssembly engine ${ratio(times.engine, n)}, run() ${ratio(times.run, n)}`);
    lines.push(`${w} ${flags.join(' ')}: native ${np.toFixed(0)} ms, WebAssembly engine ${ratio(times.enginePage, np)}, ` +
      `run() ${ratio(times.runPage, np)}, Run button to table ${ratio(button, np)}`);
    await page.evaluate(() => delete window.benchInput);
  }
  mkdirSync(artifacts, { recursive: true });
  writeFileSync(join(artifacts, 'bench.txt'), lines.join('\n') + '\n');
  console.log(lines.join('\n'));
});
