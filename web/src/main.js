// The page: the editor, the Run, Share and Download buttons, the examples
// menu, and the views of a run (the query's formula, result table, operator
// tree with the intermediate tables, messages at their place). Runs as
// `relalg --warn --explain=plan.json --trace=50 - OUTPUT < input` would
// (run.js, pageOptions). Exposes window.relalg.run(text, options), a Promise
// of {output, status, messages, diagnostics, explain}: output and messages
// are exactly what the command line writes to OUTPUT and to standard error,
// diagnostics the same messages as objects (as --diagnostics=json writes
// them), explain the plan document read from JSON (null without one);
// window.relalg.formula is the formula shown ({unicode, latex}, or null).
import { EXAMPLES } from 'virtual:examples';
import { Engine } from './engine.js';
import { createEditor, setDoc, setMarks, setExtendedSyntax } from './editor.js';
import { messageRange, byteToCharOffset } from './messages.js';
import { parseTable, resultText } from './result.js';
import { renderPlan } from './plan.js';
import { pageOptions } from './run.js';
import { encodeFragment, decodeFragment } from './share.js';
import { showFormula, shownFormula, copyText } from './formula.js';

// Rows shown in a table; the row count always gives the whole.
const SHOWN_ROWS = 1000;
const SHOWN_COLUMNS = 100;
// The example in the editor when the address holds no input.
const DEFAULT_EXAMPLE = 'university/names_of_third_years';

const $ = (id) => document.getElementById(id);
// The Extended operations switch: relalg --extended.
const extendedOn = () => $('extended').checked;
// The page's options for a text, with the switch as it stands.
const optionsFor = (text) => pageOptions(text, extendedOn());
const engine = new Engine();
let view = null;
let last = null; // the last run shown: {input, output, run, status, messages, diagnostics, explain}

function mb(n) {
  return n >= 1e6 ? `${(n / 1e6).toFixed(1)} MB` : n >= 1e3 ? `${(n / 1e3).toFixed(1)} kB` : `${n} bytes`;
}

function plural(n, word) {
  return `${n.toLocaleString('en-US')} ${word}${n === 1 ? '' : 's'}`;
}

// ---- Progress --------------------------------------------------------------

let busySince = 0;
let busyTimer = 0;
let phaseText = '';

function showProgress(text) {
  phaseText = text;
  const secs = ((performance.now() - busySince) / 1000).toFixed(1);
  $('progress').textContent = `${phaseText} (${secs} s)`;
}

function setBusy(busy) {
  document.body.classList.toggle('busy', busy);
  $('run').disabled = busy;
  $('stop').hidden = !busy;
  clearInterval(busyTimer);
  if (busy) {
    busySince = performance.now();
    busyTimer = setInterval(() => showProgress(phaseText), 100);
  }
}

// ---- Running ---------------------------------------------------------------

const PHASES = {
  loading: () => 'Loading the engine',
  evaluating: (m) => `Evaluating ${mb(m.bytes)} of input`,
  receiving: (m) => `Receiving ${mb(m.bytes)} of output`,
};

// The explain output of a run as run() gives it: the plan document read
// from JSON, the text form as it is, null for none.
function readExplain(text, options) {
  const explain = options.explain ?? 'none';
  if (explain === 'text' || (explain === 'none' && options.trace != null)) return text;
  try {
    return JSON.parse(text);
  } catch (_) {
    return null;
  }
}

// Runs text in the worker with the command line's options (run.js; the
// page's own by default). With wantText the output comes back as text too
// (what run() gives); the page itself needs only the first rows of the
// result table, and the output's bytes when they are downloaded.
async function runText(text, wantText, options = optionsFor(text), onProgress = () => {}, formula = false) {
  const t0 = performance.now();
  const r = await engine.run(text, { options, text: wantText, rows: SHOWN_ROWS, formula },
    (m) => onProgress(PHASES[m.phase] ? PHASES[m.phase](m) : m.phase));
  const explain = readExplain(r.explain, options);
  window.relalg.lastTiming = { engineMs: r.engineMs, decodeMs: r.decodeMs, totalMs: performance.now() - t0 };
  return {
    result: { output: r.output, status: r.status, messages: r.messages, diagnostics: r.diagnostics, explain },
    run: r.run,
    rowCount: r.rowCount,
    preview: r.preview,
    formula: r.formula,
  };
}

async function runEditor() {
  if (document.body.classList.contains('busy')) return;
  const input = view.state.doc.toString();
  setBusy(true);
  showProgress('Starting');
  try {
    const options = optionsFor(input);
    const { result, run, rowCount, preview, formula } = await runText(input, false, options, showProgress, true);
    showProgress('Showing the result');
    await new Promise((r) => setTimeout(r, 0));
    show(result, { input, run, rowCount, preview, options });
    showFormula($('formula-section'), $('formula'), formula);
    const t = window.relalg.lastTiming;
    $('progress').textContent = `Exit status ${result.status} in ${(t.totalMs / 1000).toFixed(2)} s`;
  } catch (e) {
    $('progress').textContent = `The run failed: ${e.message}`;
  } finally {
    setBusy(false);
  }
}

// ---- Showing a run ---------------------------------------------------------

function tableElement(allColumns, rows, rowCount, caption) {
  // Columns are capped as rows are: the first SHOWN_COLUMNS, then a cell
  // that says how many more there are.
  const columns = allColumns.slice(0, SHOWN_COLUMNS);
  const hiddenColumns = allColumns.length - columns.length;
  const table = document.createElement('table');
  const cap = document.createElement('caption');
  cap.textContent = caption;
  const count = document.createElement('span');
  count.className = 'row-count';
  count.textContent =
    rowCount === null ? '' : rows.length < rowCount ? `${plural(rowCount, 'row')}, first ${rows.length.toLocaleString('en-US')} shown` : plural(rowCount, 'row');
  cap.append(' ', count);
  table.append(cap);
  const head = document.createElement('thead');
  const tr = document.createElement('tr');
  for (const c of columns) {
    const th = document.createElement('th');
    th.append(c.name);
    const type = document.createElement('span');
    type.className = 'col-type';
    type.textContent = c.type;
    th.append(' ', type);
    tr.append(th);
  }
  if (hiddenColumns > 0) {
    const th = document.createElement('th');
    th.className = 'more-columns';
    th.textContent = `... and ${hiddenColumns.toLocaleString('en-US')} more ${hiddenColumns === 1 ? 'column' : 'columns'}`;
    tr.append(th);
  }
  head.append(tr);
  table.append(head);
  const body = document.createElement('tbody');
  const ints = columns.map((c) => c.type === 'int');
  for (const row of rows) {
    const r = document.createElement('tr');
    row.slice(0, columns.length).forEach((cell, i) => {
      const td = document.createElement('td');
      if (ints[i]) td.className = 'int';
      td.textContent = cell;
      r.append(td);
    });
    if (hiddenColumns > 0) r.append(document.createElement('td'));
    body.append(r);
  }
  table.append(body);
  return table;
}

function showMessages(parsed) {
  const list = $('messages');
  list.replaceChildren();
  const doc = view.state.doc;
  const marks = [];
  for (const m of parsed) {
    const li = document.createElement('li');
    li.className = `message ${m.severity}`;
    const range = messageRange(m, doc.lines, (n) => doc.line(n).text, (n) => doc.line(n).from);
    const where = m.line !== null ? `line ${m.line}, column ${m.column}: ` : '';
    li.textContent = `${m.severity}: ${where}${m.message}`;
    if (range) {
      marks.push({ ...range, severity: m.severity, message: m.message });
      li.tabIndex = 0;
      li.addEventListener('click', () => {
        view.dispatch({ selection: { anchor: range.from, head: range.to }, scrollIntoView: true });
        view.focus();
      });
    }
    list.append(li);
  }
  view.dispatch({ effects: setMarks.of(marks) });
  $('messages-section').hidden = parsed.length === 0;
}

// Shows a node's intermediate table (its first rows, from the trace) and
// marks its text in the query line.
function selectNode(node, button) {
  document.querySelectorAll('.plan-node.selected').forEach((b) => b.classList.remove('selected'));
  button.classList.add('selected');
  const into = $('trace');
  into.replaceChildren();
  const caption = node.label;
  if (node.trace && node.columns) {
    into.append(tableElement(node.columns, node.trace.rows, node.trace.total, caption));
  } else {
    const p = document.createElement('p');
    p.className = 'no-result';
    p.textContent = node.failed ? `${caption}: the run failed here.`
      : node.fused ? `${caption}: never built; the selection above tests each pair of rows as it is made.`
        : node.evaluated ? `${caption}: no rows were kept for this node.` : `${caption}: not evaluated.`;
    into.append(p);
  }
  if (node.span) {
    // The span without the blanks at its edges, as the node's text.
    const query = view.state.doc.line(1).text;
    let from = byteToCharOffset(query, node.span[0]);
    let to = byteToCharOffset(query, node.span[1]);
    while (from < to && query[from] === ' ') from++;
    while (to > from && query[to - 1] === ' ') to--;
    view.dispatch({ selection: { anchor: from, head: to } });
  }
}

// Shows a run's result for the input in the editor (or opts.input).
// opts.preview, the start of the result table, and opts.rowCount stand for
// the output's text when the run did not bring it; opts.run is the
// worker's number of the run, whose bytes Download saves.
function show(result, opts = {}) {
  const input = opts.input ?? view.state.doc.toString();
  last = { ...result, input, run: opts.run, options: opts.options ?? optionsFor(input) };
  showMessages(result.diagnostics ?? []);
  const out = $('result');
  out.replaceChildren();
  const text = result.status !== 0 ? '' : opts.preview ?? resultText(input, result.output);
  const table = text ? parseTable(text, SHOWN_ROWS, opts.rowCount, SHOWN_COLUMNS) : null;
  if (table) {
    out.append(tableElement(table.columns, table.rows, table.rowCount, table.name === '' ? '(no name)' : table.name));
  } else {
    const p = document.createElement('p');
    p.className = 'no-result';
    p.textContent = `No result: exit status ${result.status}.`;
    out.append(p);
  }
  const plan = renderPlan($('plan'), result.explain && typeof result.explain === 'object' ? result.explain : null, selectNode);
  if (!plan && last.options.explain === 'none' && result.status !== undefined) {
    const p = document.createElement('p');
    p.className = 'no-result';
    p.textContent = 'The plan of a query this large is not shown.';
    $('plan').append(p);
  }
  $('plan-section').hidden = !plan && last.options.explain !== 'none';
  $('trace').replaceChildren();
  $('download').disabled = false;
  $('progress').textContent = `Exit status ${result.status}`;
}

// ---- Download, share, examples, files --------------------------------------

// The output file of the run shown: from the worker, which holds the last
// run's output; by running the input again when a later run took its place.
async function outputBytes() {
  if (last.output !== undefined) return new TextEncoder().encode(last.output);
  const held = await engine.bytes(last.run).catch(() => null);
  if (held) return held;
  const again = await runText(last.input, true, last.options);
  return new TextEncoder().encode(again.result.output);
}

async function download() {
  if (!last) return;
  const bytes = await outputBytes();
  const a = document.createElement('a');
  a.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  a.download = 'output.txt';
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 1000);
}

// An address of an input to be read with the extended operations ends in
// EXTENDED_MARK, after the input's fragment (share.js).
const EXTENDED_MARK = '&x';

function readAddress(hash) {
  const extended = hash.endsWith(EXTENDED_MARK);
  return { fragment: extended ? hash.slice(0, -EXTENDED_MARK.length) : hash, extended };
}

async function share() {
  const fragment = await encodeFragment(view.state.doc.toString());
  history.replaceState(null, '', `#${fragment}${extendedOn() ? EXTENDED_MARK : ''}`);
  const link = $('share-link');
  link.value = location.href;
  link.hidden = false;
  link.select();
  try {
    await navigator.clipboard.writeText(location.href);
    $('progress').textContent = 'The address of this input is in the clipboard.';
  } catch (_) {
    $('progress').textContent = 'The address of this input is in the address bar.';
  }
}

async function copyFormula(form) {
  const formula = shownFormula();
  if (!formula) return;
  const name = form === 'latex' ? 'LaTeX' : 'Unicode';
  $('progress').textContent = (await copyText(formula[form]))
    ? `The formula is in the clipboard, as ${name}.` : 'The browser did not allow copying.';
}

async function openFile(file) {
  $('progress').textContent = `Reading ${file.name}`;
  const text = new TextDecoder('utf-8').decode(await file.arrayBuffer());
  setDoc(view, text);
  $('progress').textContent = `${file.name}: ${mb(text.length)}`;
}

function fillExamples() {
  const menu = $('examples');
  for (const name of Object.keys(EXAMPLES)) {
    const o = document.createElement('option');
    o.value = name;
    o.textContent = name.replace('/', ': ').replace(/_/g, ' ');
    menu.append(o);
  }
  menu.addEventListener('change', () => {
    const text = EXAMPLES[menu.value];
    if (text !== undefined) {
      // The exercises written with the extended operations need them.
      if (menu.value.includes('extended/')) setExtended(true);
      setDoc(view, text);
    }
    menu.value = '';
  });
}

// Turns the Extended operations switch on or off, with the highlighting.
function setExtended(on) {
  $('extended').checked = on;
  setExtendedSyntax(view, on);
}

async function init() {
  const first = EXAMPLES[DEFAULT_EXAMPLE] ?? Object.values(EXAMPLES)[0] ?? '';
  // An input's address opens that input; one that cannot be read leaves the
  // editor empty, with a message, rather than showing another input.
  const address = readAddress(location.hash);
  const fromAddress = location.hash ? await decodeFragment(address.fragment) : null;
  view = createEditor($('editor'), fromAddress === null ? first : fromAddress.text ?? '', runEditor);
  if (fromAddress?.text !== undefined && address.extended) setExtended(true);
  // Why the address was not opened, kept in view once the engine is ready.
  let addressError = fromAddress?.error ?? null;
  if (addressError) $('progress').textContent = addressError;
  fillExamples();
  $('run').addEventListener('click', runEditor);
  $('extended').addEventListener('change', () => setExtended(extendedOn()));
  $('stop').addEventListener('click', () => engine.stop());
  $('share').addEventListener('click', share);
  $('download').addEventListener('click', download);
  $('copy-latex').addEventListener('click', () => copyFormula('latex'));
  $('copy-unicode').addEventListener('click', () => copyFormula('unicode'));
  $('open').addEventListener('change', (e) => e.target.files[0] && openFile(e.target.files[0]));
  window.addEventListener('hashchange', async () => {
    const changed = readAddress(location.hash);
    const got = await decodeFragment(changed.fragment);
    if (got?.text !== undefined) setExtended(changed.extended);
    if (got?.error) {
      // The user's text stays as it is.
      addressError = got.error;
      $('progress').textContent = got.error;
    } else if (got !== null && got.text !== view.state.doc.toString()) {
      setDoc(view, got.text);
    }
  });
  engine.warm().then(
    () => ($('progress').textContent = addressError ?? 'Ready.'),
    (e) => ($('progress').textContent = `The engine could not be loaded: ${e.message}`),
  );
}

window.relalg = {
  // The whole program over an input text, with the page's options or the
  // given ones ({warn, explain, trace, maxRows, extended}, run.js).
  run: async (text, options) => {
    const t = String(text);
    return (await runText(t, true, options ?? optionsFor(t))).result;
  },
  // The options the page runs an input text with.
  options: (text) => optionsFor(String(text)),
  // The Extended operations switch.
  get extended() {
    return extendedOn();
  },
  set extended(on) {
    setExtended(Boolean(on));
  },
  // The input in the editor, and a way to replace it.
  get input() {
    return view.state.doc.toString();
  },
  set input(text) {
    setDoc(view, String(text));
  },
  // The text selected in the editor.
  get selection() {
    const { from, to } = view.state.selection.main;
    return view.state.sliceDoc(from, to);
  },
  // The formula shown: {unicode, latex}, or null.
  get formula() {
    return shownFormula();
  },
  lastTiming: null,
  ready: null,
};
window.relalg.ready = new Promise((resolve) => {
  const start = () => init().then(resolve);
  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
});
