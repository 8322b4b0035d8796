// The formula of the query in the editor, as textbooks write it: typeset by
// KaTeX as MathML, which the browser lays out with its own fonts (so the
// page fetches nothing and needs no font of its own), with buttons that copy
// the LaTeX and the Unicode forms. The forms are the ones
// `relalg --notation=latex` and `--notation=unicode` write (worker.js).
import katex from 'katex';

let current = null; // {unicode, latex} shown, or null

// The formula shown, or null.
export function shownFormula() {
  return current;
}

// Shows a run's formula: {status, unicode, latex} as the worker writes it,
// or null for a query line too long to have one shown.
export function showFormula(section, into, formula) {
  into.replaceChildren();
  current = formula && formula.status === 0 ? { unicode: formula.unicode, latex: formula.latex } : null;
  for (const b of section.querySelectorAll('button')) b.disabled = current === null;
  section.hidden = false;
  if (current === null) {
    const p = document.createElement('p');
    p.className = 'no-result';
    p.textContent = formula ? 'No formula: the query has no result (see the messages).'
      : 'The formula of a query this long is not shown.';
    into.append(p);
    return;
  }
  try {
    katex.render(current.latex, into, { output: 'mathml', displayMode: true, throwOnError: true });
  } catch (_) {
    // Not expected (every formula relalg writes parses); the text still reads.
    const code = document.createElement('code');
    code.textContent = current.unicode;
    into.append(code);
  }
}

// Puts text in the clipboard; false when the browser allows neither way.
export async function copyText(text) {
  try {
    await navigator.clipboard.writeText(text);
    return true;
  } catch (_) {
    const area = document.createElement('textarea');
    area.value = text;
    document.body.append(area);
    area.select();
    const ok = document.execCommand('copy');
    area.remove();
    return ok;
  }
}
