// The WebAssembly module against the native program: every input of
// tests/cases and examples/ must give the same output bytes, exit status
// and standard error, byte for byte, and the same explain output (times
// aside), as the command line with the same flags. Each input runs three
// ways: plain (`relalg - OUTPUT < input`), with the page's flags
// (`relalg --warn --explain=plan.json --trace=50 - OUTPUT`, run.js
// pageOptions) and, for a case with an `args` file, with its own flags
// (but for the SQL translation, which the module does not do). The
// formula the page shows is compared with `--notation` for every input
// that is text.
//
//   node --test tests/web/compare.test.mjs
//
// RELALG (default build/relalg) is the native program, RELALG_WASM (default
// build-web/relalg.js) the module built by web/build.sh.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { createRequire } from 'node:module';
import { mkdtempSync, readFileSync, readdirSync, existsSync, rmSync } from 'node:fs';
import { join, resolve, dirname } from 'node:path';
import { tmpdir } from 'node:os';
import { fileURLToPath } from 'node:url';
import { runModule, pageOptions, cliArgs, formulaText } from '../../web/src/run.js';
import { readDiagnostics } from '../../web/src/messages.js';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const native = resolve(root, process.env.RELALG ?? 'build/relalg');
const wasm = resolve(root, process.env.RELALG_WASM ?? 'build-web/relalg.js');
const createRelalg = createRequire(import.meta.url)(wasm);

function inputs() {
  const found = [];
  const cases = join(root, 'tests/cases');
  for (const name of readdirSync(cases).sort()) {
    const p = join(cases, name, 'input.txt');
    const args = join(cases, name, 'args');
    if (existsSync(p)) found.push([`cases/${name}`, p, existsSync(args) ? readFileSync(args, 'utf8').split('\n').filter(Boolean) : null]);
  }
  const ex = join(root, 'examples');
  for (const dir of readdirSync(ex, { withFileTypes: true }).filter((d) => d.isDirectory())) {
    for (const f of readdirSync(join(ex, dir.name)).sort()) {
      if (f.endsWith('.txt')) found.push([`examples/${dir.name}/${f}`, join(ex, dir.name, f), null]);
    }
  }
  return found;
}

// The module's options for a case's own flags, and whether the native
// program writes the explain output to standard error with them; null for
// the SQL translation (--sql...) and the formula (--notation...), which
// the module gives through calls of their own.
function optionsOf(args) {
  if (args.some((a) => a.startsWith('--sql') || a.startsWith('--notation'))) return null;
  const options = {};
  let toStderr = false;
  for (let i = 0; i < args.length; i++) {
    const a = args[i];
    if (a === '--warn') options.warn = 'on';
    else if (a === '--warn=error') options.warn = 'error';
    else if (a === '--explain') [options.explain, toStderr] = ['text', true];
    else if (a === '--explain=json') [options.explain, toStderr] = ['json', true];
    else if (/^--trace(=\d+)?$/.test(a)) {
      options.trace = a === '--trace' ? 10 : Number(a.slice(8));
      if (!options.explain) [options.explain, toStderr] = ['text', true];
    } else if (a === '--max-rows') options.maxRows = Number(args[++i]);
    else if (/^--max-rows=\d+$/.test(a)) options.maxRows = Number(a.slice(11));
    else if (a === '--extended') options.extended = true;
    else throw new Error(`no module option for the flag ${a}`);
  }
  return { options, toStderr };
}

const tmp = mkdtempSync(join(tmpdir(), 'relalg-web-'));
const outFile = join(tmp, 'out.txt');
const planFile = join(tmp, 'plan.json');
let M = await createRelalg();

function runNative(input, args) {
  rmSync(outFile, { force: true });
  rmSync(planFile, { force: true });
  const r = spawnSync(native, [...args, '-', outFile], { input, maxBuffer: 1 << 30 });
  if (r.error) throw r.error;
  return {
    status: r.status,
    output: existsSync(outFile) ? readFileSync(outFile) : Buffer.alloc(0),
    stderr: r.stderr,
    plan: existsSync(planFile) ? readFileSync(planFile) : null,
  };
}

function runWasm(input, options) {
  try {
    return runModule(M, input, options);
  } catch (e) {
    // A trap leaves the module unusable; the next input gets a new one.
    M = null;
    throw e;
  }
}

// Explain output with every time written as T, as the cases write it.
const latin1 = (bytes) => Buffer.from(bytes).toString('latin1');
const untimed = (text) => text.replace(/"time":[0-9]+\.[0-9]{3}/g, '"time":T').replace(/[0-9]+\.[0-9]{3} ms/g, 'T ms');
function withoutTimes(doc) {
  for (const n of doc.nodes) {
    assert.ok(n.time === null || typeof n.time === 'number', `node ${n.id}: time ${n.time}`);
    delete n.time;
  }
  return doc;
}

// Inputs the cases do not hold, for what the WebAssembly build does
// differently: nesting deeper than the engine evaluates without a thread of
// its own, and a long right-nested chain (whose plan the page leaves out).
function generated() {
  const nest = (n, f, inner) => { let q = inner; for (let i = 0; i < n; i++) q = f(q); return q; };
  const R = 'R(a int, b text)\n1, \'x\'\n2, \'y\'\n';
  return [
    ['left-nested union, 500 levels', nest(500, (q) => `union(${q},R)`, 'R')],
    ['NOT chain, 500 levels', `select(R,${nest(500, (p) => `NOT(${p})`, 'EQ(a,1)')})`],
    ['right-nested union, 20000 levels', nest(20000, (q) => `union(R,${q})`, 'R')],
    ['nested projections, 300 levels', nest(300, (q) => `project(${q},a,b)`, 'R')],
    // Conditions a million levels deep, their operators cycling through
    // AND, OR and NOT: tested by a loop, so no stack grows with them.
    ['left-nested condition, 1,000,000 levels', `select(R,${deepCondition(1000000, 'left')})`],
    ['right-nested condition, 1,000,000 levels', `select(R,${deepCondition(1000000, 'right')})`],
  ].map(([name, query]) => [`generated/${name}`, Buffer.from(`${query}\n${R}`), null]);
}

// AND(AND(NOT(...),EQ(a,1)),EQ(b,'y'))... or its mirror, n levels deep.
function deepCondition(n, side) {
  const ops = ['AND', 'OR', 'NOT'];
  const open = [];
  const close = [];
  for (let i = 0; i < n; i++) {
    const op = ops[i % 3];
    const other = i % 2 ? "EQ(b,'y')" : 'EQ(a,1)';
    if (op === 'NOT') {
      open.push('NOT(');
      close.push(')');
    } else if (side === 'left') {
      open.push(`${op}(`);
      close.push(`,${other})`);
    } else {
      open.push(`${op}(${other},`);
      close.push(')');
    }
  }
  return open.reverse().join('') + "EQ(b,'x')" + close.join('');
}

const all = inputs().concat(generated());
test('there are inputs to compare', () => {
  assert.ok(all.length > 100, `${all.length} inputs`);
  assert.ok(all.filter(([, , args]) => args && optionsOf(args)).length >= 20, 'cases with their own flags');
  assert.deepEqual(cliArgs(pageOptions('R\n')), ['--warn', '--explain=plan.json', '--trace=50']);
  assert.deepEqual(cliArgs(pageOptions(`${'union(R,'.repeat(20000)}R${')'.repeat(20000)}\n`)), ['--warn']);
});

function compare(input, options, args, toStderr) {
  const want = runNative(input, args);
  const got = runWasm(input, options);
  const flags = args.join(' ') || 'no flags';
  assert.equal(got.status, want.status, `exit status (${flags})`);
  const stderr = toStderr ? latin1(got.messageBytes) + latin1(got.explainBytes) : latin1(got.messageBytes);
  assert.equal(untimed(stderr), untimed(latin1(want.stderr)), `standard error (${flags})`);
  assert.ok(Buffer.from(got.output).equals(want.output), `output differs (${flags}; ${got.output.length} bytes, native ${want.output.length})`);
  if (options.explain === 'json' && !toStderr) {
    if (want.plan === null || want.plan.length === 0) {
      assert.equal(got.explain, 'null', `explain (${flags})`);
    } else {
      assert.equal(untimed(latin1(got.explainBytes)), untimed(latin1(want.plan)), `explain file (${flags})`);
      assert.deepEqual(withoutTimes(JSON.parse(got.explain)), withoutTimes(JSON.parse(want.plan.toString('utf8'))));
    }
  } else if (!toStderr) {
    assert.equal(got.explain, 'null', `explain (${flags})`);
  }
  if (!toStderr) {
    // The same messages as objects: what --diagnostics=json writes.
    const json = runNative(input, [...args, '--diagnostics=json']);
    assert.deepEqual(got.diagnostics, readDiagnostics(json.stderr.toString('utf8')), `diagnostics (${flags})`);
  }
  return { want, got };
}

for (const [name, path, caseArgs] of all) {
  test(name, async () => {
    if (M === null) M = await createRelalg();
    const input = Buffer.isBuffer(path) ? path : readFileSync(path);
    const { want, got } = compare(input, {}, [], false);
    // The row count the page shows: the lines after the echo less the header.
    const echo = input.length === 0 ? 1 : input.length + (input[input.length - 1] === 10 ? 1 : 2);
    const lines = want.status === 0 ? want.output.subarray(echo).toString('latin1').split('\n').length - 2 : 0;
    assert.equal(got.rows, Math.max(0, lines), 'rows');

    // A case run with --extended is run so on the page too, its switch on.
    const extended = Boolean(caseArgs && caseArgs.includes('--extended'));
    const page = pageOptions(input.toString('utf8'), extended);
    compare(input, page, cliArgs(page, planFile), false);
    const own = caseArgs && optionsOf(caseArgs);
    if (own) compare(input, own.options, caseArgs, own.toStderr);

    // The formula the page shows, of an input that is text.
    let text = null;
    try {
      text = new TextDecoder('utf-8', { fatal: true }).decode(input);
    } catch (_) {
      return;
    }
    const formula = formulaText(M, text, extended);
    for (const form of ['unicode', 'latex']) {
      const flags = [`--notation=${form}`, ...(extended ? ['--extended'] : [])];
      const r = spawnSync(native, [...flags, '-'], { input, maxBuffer: 1 << 30 });
      assert.equal(formula.status, r.status, `--notation=${form}: exit status`);
      assert.equal(formula.status === 0 ? `${formula[form]}\n` : '', r.stdout.toString('utf8'), `--notation=${form}`);
      assert.equal(formula.messages, r.stderr.toString('utf8'), `--notation=${form}: standard error`);
    }
  });
}

test.after(() => rmSync(tmp, { recursive: true, force: true }));
