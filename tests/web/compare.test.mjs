// The WebAssembly module against the native program: every input of
// tests/cases and examples/ must give the same output bytes, exit status
// and standard error, byte for byte, as `relalg - OUTPUT < input`.
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
import { runModule } from '../../web/src/run.js';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const native = resolve(root, process.env.RELALG ?? 'build/relalg');
const wasm = resolve(root, process.env.RELALG_WASM ?? 'build-web/relalg.js');
const createRelalg = createRequire(import.meta.url)(wasm);

function inputs() {
  const found = [];
  const cases = join(root, 'tests/cases');
  for (const name of readdirSync(cases).sort()) {
    const p = join(cases, name, 'input.txt');
    if (existsSync(p)) found.push([`cases/${name}`, p]);
  }
  const ex = join(root, 'examples');
  for (const dir of readdirSync(ex, { withFileTypes: true }).filter((d) => d.isDirectory())) {
    for (const f of readdirSync(join(ex, dir.name)).sort()) {
      if (f.endsWith('.txt')) found.push([`examples/${dir.name}/${f}`, join(ex, dir.name, f)]);
    }
  }
  return found;
}

const tmp = mkdtempSync(join(tmpdir(), 'relalg-web-'));
const outFile = join(tmp, 'out.txt');
let M = await createRelalg();

function runNative(input) {
  rmSync(outFile, { force: true });
  const r = spawnSync(native, ['-', outFile], { input, maxBuffer: 1 << 30 });
  if (r.error) throw r.error;
  return { status: r.status, output: existsSync(outFile) ? readFileSync(outFile) : Buffer.alloc(0), stderr: r.stderr };
}

function runWasm(input) {
  try {
    return runModule(M, input);
  } catch (e) {
    // A trap leaves the module unusable; the next input gets a new one.
    M = null;
    throw e;
  }
}

// Inputs the cases do not hold, for what the WebAssembly build does
// differently: nesting deeper than the engine evaluates without a thread of
// its own, and a long right-nested chain.
function generated() {
  const nest = (n, f, inner) => { let q = inner; for (let i = 0; i < n; i++) q = f(q); return q; };
  const R = 'R(a int, b text)\n1, \'x\'\n2, \'y\'\n';
  return [
    ['left-nested union, 500 levels', nest(500, (q) => `union(${q},R)`, 'R')],
    ['NOT chain, 500 levels', `select(R,${nest(500, (p) => `NOT(${p})`, 'EQ(a,1)')})`],
    ['right-nested union, 20000 levels', nest(20000, (q) => `union(R,${q})`, 'R')],
    ['nested projections, 300 levels', nest(300, (q) => `project(${q},a,b)`, 'R')],
  ].map(([name, query]) => [`generated/${name}`, Buffer.from(`${query}\n${R}`)]);
}

const all = inputs().concat(generated());
test('there are inputs to compare', () => assert.ok(all.length > 100, `${all.length} inputs`));


for (const [name, path] of all) {
  test(name, async () => {
    if (M === null) M = await createRelalg();
    const input = Buffer.isBuffer(path) ? path : readFileSync(path);
    const want = runNative(input);
    const got = runWasm(input);
    assert.equal(got.status, want.status, 'exit status');
    assert.equal(Buffer.from(got.messageBytes).toString('latin1'), want.stderr.toString('latin1'), 'standard error');
    assert.ok(Buffer.from(got.output).equals(want.output), `output differs (${got.output.length} bytes, native ${want.output.length})`);
    assert.equal(got.explain, 'null', 'explain');
    // The row count the page shows: the lines after the echo less the header.
    const echo = input.length === 0 ? 1 : input.length + (input[input.length - 1] === 10 ? 1 : 2);
    const lines = want.status === 0 ? want.output.subarray(echo).toString('latin1').split('\n').length - 2 : 0;
    assert.equal(got.rows, Math.max(0, lines), 'rows');
  });
}

test.after(() => rmSync(tmp, { recursive: true, force: true }));
