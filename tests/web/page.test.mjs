// The built page in a real browser (Debian's Chromium, driven by
// playwright-core), opened from disk: typing and running a query, the result
// table, the operator tree and its intermediate tables, messages at their
// place in the editor, sharing an address, the download, and a large input
// that runs while the page stays responsive. Keeps a screenshot in
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

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
// playwright-core is a package of web/ (web/package.json).
const { chromium } = createRequire(join(root, 'web/package.json'))('playwright-core');
const pagePath = resolve(root, process.env.RELALG_PAGE ?? 'web/dist/relalg.html');
const pageUrl = pathToFileURL(pagePath).href;
const browserPath = process.env.CHROMIUM ?? '/usr/bin/chromium';
const artifacts = join(root, 'build-web/artifacts');
const profile = mkdtempSync(join(tmpdir(), 'relalg-chromium-'));

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

before(async () => {
  assert.ok(existsSync(pagePath), `${pagePath} is missing: run web/build.sh`);
  context = await chromium.launchPersistentContext(profile, {
    executablePath: browserPath,
    headless: true,
    viewport: { width: 1200, height: 900 },
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
      '--disable-sync', '--no-first-run'],
  });
  page = await openPage();
});

after(async () => {
  if (context) await context.close();
  rmSync(profile, { recursive: true, force: true });
});

test('run() gives the bytes of the command line for an example', async () => {
  const dir = join(root, 'tests/cases/example_names_of_third_years');
  const input = readFileSync(join(dir, 'input.txt'), 'utf8');
  const r = await page.evaluate((t) => window.relalg.run(t), input);
  assert.deepEqual(Object.keys(r).sort(), ['explain', 'messages', 'output', 'status']);
  assert.equal(r.output, readFileSync(join(dir, 'expected.txt'), 'utf8'));
  assert.equal(r.status, 0);
  assert.equal(r.messages, '');
  assert.equal(r.explain, null);
  const bad = await page.evaluate(() => window.relalg.run('nosuch\nR(a int)\n'));
  assert.deepEqual(bad, { output: 'nosuch\nR(a int)\n\n', status: 1, messages: "relalg: no table named 'nosuch'\n", explain: null });
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

test('an error shows in the list, and a positioned one at its place', async () => {
  await setInput(page, 'project(studnts, name)\nstudents(id int, name text)\n1, \'Ada\'\n');
  await page.click('#run');
  await page.waitForSelector('#messages li');
  assert.equal(await page.textContent('#messages li'), "error: no table named 'studnts'");
  assert.match(await page.textContent('#result'), /exit status 1/);

  // Positioned messages, as the engine will write them: an error in the
  // query and a warning on a row line.
  const output = await page.evaluate(() => window.relalg.input + '\n');
  await page.evaluate((out) => window.relalg.show({
    output: out,
    status: 1,
    messages: "relalg: <stdin>:1:9: error: no table named 'studnts'\n" +
      ' project(studnts, name)\n' +
      '         ^~~~~~~\n' +
      'relalg: <stdin>:3:4: warning: a value beyond the last column is ignored\n' +
      "1, 'Ada'\n" +
      '   ^~~~~\n',
    explain: null,
  }), output);
  assert.deepEqual(await page.$$eval('.rl-underline-error', (e) => e.map((x) => x.textContent)), ['studnts']);
  assert.deepEqual(await page.$$eval('.rl-underline-warning', (e) => e.map((x) => x.textContent)), ["'Ada'"]);
  assert.deepEqual(await page.$$eval('.rl-inline-message', (e) => e.map((x) => x.textContent)), [
    "error: no table named 'studnts'",
    'warning: a value beyond the last column is ignored',
  ]);
  assert.deepEqual(await page.$$eval('#messages li', (e) => e.map((x) => x.textContent)), [
    "error: line 1, column 9: no table named 'studnts'",
    'warning: line 3, column 4: a value beyond the last column is ignored',
  ]);
  // A click on the message selects its extent.
  await page.click('#messages li');
  assert.equal(await page.evaluate(() => window.relalg.selection), 'studnts');
});

test('the operator tree shows row counts and each node\'s rows', async () => {
  const query = 'project(select(students,EQ(year,3)),name)';
  const input = `${query}\nstudents(id int, name text, year int)\n3, 'Grace', 3\n4, 'Edsger', 3\n5, 'Barbara', 2\n`;
  await setInput(page, input);
  const r = await page.evaluate((t) => window.relalg.run(t), input);
  const cols = [{ name: 'id', type: 'int' }, { name: 'name', type: 'text' }, { name: 'year', type: 'int' }];
  const explain = {
    op: 'project', text: query, span: [0, 41], columns: [{ name: 'name', type: 'text' }], rows: 2, time: 0.1,
    failed: false, trace: [["'Edsger'"], ["'Grace'"]],
    children: [{
      op: 'select', text: 'select(students,EQ(year,3))', span: [8, 35], columns: cols, rows: 2, time: 0.05,
      failed: false, trace: { rows: [[3, "'Grace'", 3], [4, "'Edsger'", 3]] },
      children: [{ op: 'table', text: 'students', span: [15, 23], columns: cols, rows: 3, failed: false, children: [] }],
    }],
  };
  await page.evaluate((res) => window.relalg.show(res), { ...r, explain });
  const nodes = await page.$$eval('.plan-node', (b) => b.map((x) => x.textContent));
  assert.deepEqual(nodes, [`project ${query} 2 rows`, 'select select(students,EQ(year,3)) 2 rows', 'table students 3 rows']);
  await page.click('.plan-node[data-path="0.0"]');
  const t = await tableCells(page, '#trace table');
  assert.deepEqual(t.head, ['id int', 'name text', 'year int']);
  assert.deepEqual(t.rows, [['3', "'Grace'", '3'], ['4', "'Edsger'", '3']]);
  assert.equal(await page.evaluate(() => window.relalg.selection), 'select(students,EQ(year,3))');
  await page.click('.plan-node[data-path="0.0.0"]');
  assert.match(await page.textContent('#trace'), /No intermediate rows/);

  mkdirSync(artifacts, { recursive: true });
  await page.click('.plan-node[data-path="0.0"]');
  await page.screenshot({ path: join(artifacts, 'relalg-page.png'), fullPage: true });
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
  await other.close();
});

test('the examples menu holds every example of examples/', async () => {
  const values = await page.$$eval('#examples option', (o) => o.map((x) => x.value).filter(Boolean));
  assert.ok(values.includes('university/honours_list'));
  await page.selectOption('#examples', 'university/honours_list');
  assert.equal(await page.evaluate(() => window.relalg.input), readFileSync(join(root, 'examples/university/honours_list.txt'), 'utf8'));
});

test('a large input runs in the worker while the page stays responsive', async () => {
  const rows = [];
  for (let i = 0; i < 300000; i++) rows.push(`${i % 1000}, 'v${i}', ${i}`);
  const input = `union(R,R)\nR(a int, b text, c int)\n${rows.join('\n')}\n`;
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
  const native = resolve(root, process.env.RELALG ?? 'build/relalg');
  const median = (xs) => xs.sort((a, b) => a - b)[Math.floor(xs.length / 2)];
  const lines = [];
  for (const w of ['scan', 'union']) {
    const dir = join(benchDir, w);
    if (!existsSync(join(dir, 'input.txt'))) {
      assert.ok(existsSync(gen), `${gen} is missing: set RELALG_BENCH_GEN to the benchmark generator`);
      spawnSync('python3', [gen, w, '1000000', dir], { stdio: 'inherit' });
    }
    const inputPath = join(dir, 'input.txt');
    await page.evaluate((t) => (window.benchInput = t), readFileSync(inputPath, 'utf8'));
    // Native and page runs take turns, so that both meet the same load.
    const nativeTimes = [];
    const engine = [];
    const total = [];
    for (let i = 0; i < 5; i++) {
      const t0 = process.hrtime.bigint();
      spawnSync(native, [inputPath, join(dir, 'native.out')]);
      nativeTimes.push(Number(process.hrtime.bigint() - t0) / 1e6);
      const r = await page.evaluate(async () => {
        const t1 = performance.now();
        const res = await window.relalg.run(window.benchInput);
        return { ms: performance.now() - t1, engineMs: window.relalg.lastTiming.engineMs, status: res.status };
      });
      assert.equal(r.status, 0);
      engine.push(r.engineMs);
      total.push(r.ms);
    }
    // The Run button, from the click to the table shown, with the input in
    // the editor.
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
    const n = median(nativeTimes);
    const ratio = (xs) => `${median(xs).toFixed(0)} ms (x${(median(xs) / n).toFixed(2)})`;
    lines.push(`${w}: native ${n.toFixed(0)} ms, WebAssembly engine ${ratio(engine)}, run() ${ratio(total)}, ` +
      `Run button to table ${ratio(button)}`);
    await page.evaluate(() => delete window.benchInput);
  }
  mkdirSync(artifacts, { recursive: true });
  writeFileSync(join(artifacts, 'bench.txt'), lines.join('\n') + '\n');
  console.log(lines.join('\n'));
});
