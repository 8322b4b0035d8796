// The formulas of every input of tests/cases and examples/ as the page
// shows them: the LaTeX form must parse in KaTeX (the page's renderer) with
// no LaTeX-incompatible input, the Unicode form must be one line, and a
// query that has no result must fail with a plain run's status and
// message. A few examples are compared with forms written by hand.
//
//   node --test tests/notation/render.test.mjs
//
// RELALG (default build/relalg) is the program; KaTeX comes from web/'s
// npm packages (web/build.sh installs them).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { readdirSync, existsSync, statSync } from 'node:fs';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import katex from '../../web/node_modules/katex/dist/katex.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const relalg = resolve(root, process.env.RELALG ?? 'build/relalg');

function inputs() {
  const found = [];
  const cases = join(root, 'tests/cases');
  for (const name of readdirSync(cases).sort()) {
    const p = join(cases, name, 'input.txt');
    if (existsSync(p)) found.push(p);
  }
  const walk = (d) => {
    for (const name of readdirSync(d).sort()) {
      const p = join(d, name);
      if (statSync(p).isDirectory()) walk(p);
      else if (name.endsWith('.txt')) found.push(p);
    }
  };
  walk(join(root, 'examples'));
  return found;
}

function run(args) {
  const r = spawnSync(relalg, args, { maxBuffer: 1 << 30 });
  return { status: r.status, stdout: r.stdout.toString('utf8'), stderr: r.stderr.toString('latin1') };
}

// KaTeX in strict mode, as the page renders it: a parse error throws. Text
// outside KaTeX's fonts (in \text) is allowed; nothing else that real LaTeX
// would not take is.
function render(latex) {
  return katex.renderToString(latex, {
    throwOnError: true,
    displayMode: true,
    output: 'mathml',
    strict: (code) => (code === 'unknownSymbol' ? 'ignore' : 'error'),
  });
}

test('every case and example: formulas render, failures match a plain run', () => {
  let rendered = 0;
  let failed = 0;
  for (const file of inputs()) {
    const plain = run([file, '/dev/null']);
    const latex = run(['--notation=latex', file]);
    const unicode = run(['--notation=unicode', file]);
    assert.equal(latex.status, unicode.status, file);
    if (latex.status === 0) {
      assert.match(latex.stdout, /^[^\n]*\n$/, file);
      assert.match(unicode.stdout, /^[^\n]*\n$/, file);
      assert.doesNotThrow(() => render(latex.stdout.trimEnd()), file);
      // Evaluation may still refuse a product too large for memory.
      if (plain.status !== 0) assert.match(plain.stderr, /the result would hold|the rows it keeps/, file);
      rendered++;
    } else {
      assert.equal(latex.status, 1, file);
      assert.equal(plain.status, 1, file);
      assert.equal(latex.stderr, plain.stderr, file);
      assert.equal(unicode.stderr, plain.stderr, file);
      assert.equal(latex.stdout, '', file);
      failed++;
    }
  }
  assert.ok(rendered > 150, `only ${rendered} formulas rendered`);
  assert.ok(failed > 10, `only ${failed} failing queries`);
});

const examples = [
  ['examples/university/names_of_third_years.txt',
    'π name (σ year = 3 (students))',
    '\\pi_{\\text{name}}(\\sigma_{\\text{year} = 3}(\\text{students}))'],
  ['examples/university/classmates_in_the_same_year.txt',
    'π year, name, name2 (σ year = year2 ∧ id < id2 (students × ρ other(id2, name2, year2) (students)))',
    '\\pi_{\\text{year}, \\text{name}, \\text{name2}}(\\sigma_{\\text{year} = \\text{year2} \\wedge \\text{id} < \\text{id2}}' +
      '(\\text{students} \\times \\rho_{\\text{other}(\\text{id2}, \\text{name2}, \\text{year2})}(\\text{students})))'],
  ['examples/university/students_without_enrolments.txt',
    'π id, name (σ id = sid (students × ρ idle(sid) (π id (students) − ρ enrolled(id) (π student (enrolments)))))', null],
  ['examples/university/took_programming_or_logic.txt',
    "π name (σ id = student (students × (π student (σ course = 'CS101' (enrolments)) ∪ π student (σ course = 'PH101' (enrolments)))))",
    null],
  ['examples/university/transcript_of_ada.txt',
    "π title, credits, grade (σ name = 'Ada' ∧ id = student ∧ course = code (students × enrolments × courses))",
    "\\pi_{\\text{title}, \\text{credits}, \\text{grade}}(\\sigma_{\\text{name} = \\text{`Ada'} \\wedge \\text{id} = \\text{student} " +
      "\\wedge \\text{course} = \\text{code}}(\\text{students} \\times \\text{enrolments} \\times \\text{courses}))"],
];

for (const [file, unicode, latex] of examples) {
  test(`the formula of ${file}`, () => {
    const u = run(['--notation=unicode', join(root, file)]);
    assert.equal(u.status, 0, u.stderr);
    assert.equal(u.stdout, `${unicode}\n`);
    if (latex !== null) assert.equal(run(['--notation=latex', join(root, file)]).stdout, `${latex}\n`);
  });
}

test('a formula with every operator renders as the symbols it names', () => {
  const latex = '\\pi_{\\text{a}}(\\sigma_{\\neg (\\text{a} \\neq 1) \\vee \\text{a} \\leq 2 \\wedge \\text{b} \\geq 3}' +
    '(\\text{R} \\times \\text{S})) \\cup \\rho_{\\text{Q}(\\text{a})}(\\text{T}) - \\text{U}';
  const math = render(latex);
  for (const symbol of ['π', 'σ', 'ρ', '×', '∪', '−', '¬', '≠', '≤', '≥', '∨', '∧']) assert.ok(math.includes(symbol), symbol);
});
