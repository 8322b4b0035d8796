// The editor of the page: CodeMirror over the whole input file, split into
// lines at line feeds only (a carriage return stays part of its line, as the
// engine reads it), with the input highlighting, Ctrl+Enter to run, and the
// engine's messages shown at their place: the extent underlined and the
// messages beneath the line.
import { EditorState, StateEffect, StateField, Prec, Compartment } from '@codemirror/state';
import {
  EditorView, Decoration, keymap, lineNumbers, highlightActiveLine,
  highlightActiveLineGutter, highlightSpecialChars, drawSelection,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap } from '@codemirror/commands';
import { relalgInput, relalgInputFor, relalgHighlight } from './lang.js';

// The highlighting, which the Extended operations switch changes.
const language = new Compartment();

// Set the messages to show: [{from, to, severity, message}].
export const setMarks = StateEffect.define();

const marksField = StateField.define({
  create: () => Decoration.none,
  update(marks, tr) {
    marks = marks.map(tr.changes);
    for (const e of tr.effects) {
      if (!e.is(setMarks)) continue;
      const doc = tr.state.doc;
      const items = [];
      const lines = new Map(); // line start -> {severity, texts}
      for (const m of e.value) {
        const from = Math.min(m.from, doc.length);
        const to = Math.min(Math.max(m.to, from), doc.length);
        const cls = `rl-underline rl-underline-${m.severity}`;
        if (to > from) items.push(Decoration.mark({ class: cls, attributes: { title: m.message } }).range(from, to));
        const start = doc.lineAt(from).from;
        const line = lines.get(start) ?? { severity: 'warning', texts: [] };
        if (m.severity === 'error') line.severity = 'error';
        line.texts.push(`${m.severity}: ${m.message}`);
        lines.set(start, line);
      }
      // The messages stand beneath their line as the line's own generated
      // content, so they take no place in the text: a selection or a key
      // at the line's end never reaches into them.
      for (const [start, line] of lines) {
        items.push(Decoration.line({
          class: `rl-message-line rl-${line.severity}`,
          attributes: { 'data-messages': line.texts.join('\n') },
        }).range(start));
      }
      marks = Decoration.set(items, true);
    }
    return marks;
  },
  provide: (f) => EditorView.decorations.from(f),
});

export function createEditor(parent, doc, onRun) {
  const runKey = { key: 'Mod-Enter', run: () => (onRun(), true), preventDefault: true };
  return new EditorView({
    parent,
    state: EditorState.create({
      doc,
      extensions: [
        EditorState.lineSeparator.of('\n'),
        lineNumbers(),
        highlightActiveLineGutter(),
        highlightSpecialChars(),
        history(),
        drawSelection(),
        highlightActiveLine(),
        Prec.highest(keymap.of([runKey, { key: 'Ctrl-Enter', run: runKey.run, preventDefault: true }])),
        keymap.of([...defaultKeymap, ...historyKeymap]),
        language.of(relalgInput),
        relalgHighlight,
        marksField,
        EditorView.contentAttributes.of({ 'aria-label': 'input file' }),
      ],
    }),
  });
}

// Highlights join, njoin, intersect and divide as operations, or not.
export function setExtendedSyntax(view, extended) {
  view.dispatch({ effects: language.reconfigure(relalgInputFor(extended)) });
}

export function setDoc(view, text) {
  view.dispatch({ changes: { from: 0, to: view.state.doc.length, insert: text }, effects: setMarks.of([]) });
}
