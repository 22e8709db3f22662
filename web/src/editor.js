// The program editor: CodeMirror with line numbers and the instruction-list highlighting,
// plus two layers of its own: a failed load's message under its line, and the program status
// beside each instruction line.
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { EditorState, Prec, StateEffect, StateField } from '@codemirror/state';
import {
  Decoration,
  EditorView,
  WidgetType,
  drawSelection,
  highlightActiveLine,
  highlightActiveLineGutter,
  keymap,
  lineNumbers,
} from '@codemirror/view';
import { awlSupport } from './awl-language.js';

class MessageWidget extends WidgetType {
  constructor(text) {
    super();
    this.text = text;
  }
  eq(other) {
    return other.text === this.text;
  }
  toDOM() {
    const box = document.createElement('div');
    box.className = 'cm-load-error';
    box.setAttribute('role', 'alert');
    box.textContent = this.text;
    return box;
  }
}

const setLoadError = StateEffect.define();

// The message stays with its line while the user edits, until the next load.
const loadErrorField = StateField.define({
  create: () => Decoration.none,
  update(marks, transaction) {
    let next = marks.map(transaction.changes);
    for (const effect of transaction.effects) {
      if (!effect.is(setLoadError)) continue;
      next = Decoration.none;
      const { line, text } = effect.value ?? {};
      if (line >= 1 && line <= transaction.state.doc.lines) {
        const at = transaction.state.doc.line(line);
        next = Decoration.set([
          Decoration.line({ class: 'cm-load-error-line' }).range(at.from),
          Decoration.widget({ widget: new MessageWidget(text), block: true, side: 1 }).range(at.to),
        ]);
      }
    }
    return next;
  },
  provide: (field) => EditorView.decorations.from(field),
});

class StatusWidget extends WidgetType {
  constructor(row) {
    super();
    this.row = row;
    this.key = JSON.stringify(row);
  }
  eq(other) {
    return other.key === this.key;
  }
  toDOM() {
    const { state, vke, ops } = this.row;
    const box = document.createElement('span');
    box.className = `cm-status cm-status-${state}`;
    const didRun = state === 'executed' || state === 'faulted';
    if (state === 'skipped') box.title = 'Schritt inaktiv';
    if (state === 'notrun') box.title = 'nicht bearbeitet';
    const result = document.createElement('span');
    result.className = `cm-status-vke ${didRun && vke ? 'one' : 'zero'}`;
    result.textContent = didRun ? `VKE ${vke}` : 'VKE -';
    box.appendChild(result);
    if (didRun) {
      for (const op of ops ?? []) {
        const value = document.createElement('span');
        value.className = 'cm-status-op';
        value.textContent = op;
        box.appendChild(value);
      }
    }
    return box;
  }
}

const setStatus = StateEffect.define();

const statusField = StateField.define({
  create: () => Decoration.none,
  update(marks, transaction) {
    // Once edited, the text is no longer the program the status belongs to.
    if (transaction.docChanged) return Decoration.none;
    for (const effect of transaction.effects) {
      if (effect.is(setStatus)) return statusDecorations(transaction.state.doc, effect.value);
    }
    return marks;
  },
  provide: (field) => EditorView.decorations.from(field),
});

const setFaultLine = StateEffect.define();

// The line of a run-time fault, red as in the window, also where no capture reached it.
const faultField = StateField.define({
  create: () => Decoration.none,
  update(marks, transaction) {
    if (transaction.docChanged) return Decoration.none;
    for (const effect of transaction.effects) {
      if (!effect.is(setFaultLine)) continue;
      const line = effect.value;
      const doc = transaction.state.doc;
      return line >= 1 && line <= doc.lines
        ? Decoration.set([Decoration.line({ class: 'cm-status-fault-line' }).range(doc.line(line).from)])
        : Decoration.none;
    }
    return marks;
  },
  provide: (field) => EditorView.decorations.from(field),
});

function statusDecorations(doc, rows) {
  const ranges = [];
  for (const row of rows) {
    if (row.line < 1 || row.line > doc.lines) continue;
    const at = doc.line(row.line);
    ranges.push(Decoration.widget({ widget: new StatusWidget(row), side: 1 }).range(at.to));
  }
  return Decoration.set(ranges, true);
}

const mono = "'DejaVu Sans Mono', monospace";

const editorTheme = EditorView.theme({
  '&': { height: '100%', backgroundColor: '#fff' },
  '.cm-scroller': { fontFamily: mono, fontSize: '13px' },
  '.cm-load-error-line': { backgroundColor: '#fde0e0' },
  '.cm-load-error': {
    padding: '2px 8px',
    backgroundColor: '#fde0e0',
    color: '#a00000',
    borderLeft: '3px solid #d00000',
    fontFamily: mono,
    whiteSpace: 'pre-wrap',
  },
  '.cm-status': { marginLeft: '2em', fontSize: '12px', color: '#333' },
  '.cm-status > span': { marginLeft: '0.8em', padding: '0 4px', borderRadius: '3px', backgroundColor: '#eef1f5' },
  '.cm-status > .cm-status-vke': { color: '#fff', backgroundColor: '#303030' },
  '.cm-status > .cm-status-vke.one': { backgroundColor: '#e01010' },
  '.cm-status-skipped, .cm-status-notrun': { color: '#888' },
  '.cm-status-skipped > .cm-status-vke, .cm-status-notrun > .cm-status-vke': {
    backgroundColor: '#ddd',
    color: '#888',
  },
  '.cm-status-notrun': { fontStyle: 'italic' },
  '.cm-status-fault-line': { backgroundColor: '#f8c4c4' },
  '.cm-status-faulted > .cm-status-op': { backgroundColor: '#f8c4c4', color: '#a00000' },
});

// The editor lives in a shadow root: there CodeMirror's styles are constructed style sheets,
// which the page's content security policy allows without 'unsafe-inline'.
export function createEditor(host, { onLoad, onChange, onViewport }) {
  const root = host.attachShadow({ mode: 'open' });
  const view = new EditorView({
    parent: root,
    root,
    state: EditorState.create({
      doc: '',
      extensions: [
        lineNumbers(),
        highlightActiveLineGutter(),
        highlightActiveLine(),
        drawSelection(),
        history(),
        awlSupport(),
        Prec.highest(keymap.of([{ key: 'Mod-Enter', run: () => (onLoad(), true) }])),
        keymap.of([...defaultKeymap, ...historyKeymap, indentWithTab]),
        editorTheme,
        loadErrorField,
        statusField,
        faultField,
        EditorView.contentAttributes.of({ 'aria-label': 'Programmtext' }),
        EditorView.updateListener.of((update) => {
          if (update.docChanged) onChange();
          if (update.viewportChanged || update.docChanged) onViewport();
        }),
      ],
    }),
  });

  return {
    view,
    text: () => view.state.doc.toString(),
    setText(text) {
      view.dispatch({
        changes: { from: 0, to: view.state.doc.length, insert: text },
        effects: setLoadError.of(null),
      });
    },
    showLoadError(line, text) {
      view.dispatch({ effects: setLoadError.of({ line, text }) });
      if (line >= 1 && line <= view.state.doc.lines) {
        view.dispatch({ effects: EditorView.scrollIntoView(view.state.doc.line(line).from, { y: 'center' }) });
      }
    },
    clearLoadError() {
      view.dispatch({ effects: setLoadError.of(null) });
    },
    showStatus(rows) {
      view.dispatch({ effects: setStatus.of(rows) });
    },
    showFaultLine(line, scroll) {
      const effects = [setFaultLine.of(line)];
      if (scroll && line >= 1 && line <= view.state.doc.lines) {
        effects.push(EditorView.scrollIntoView(view.state.doc.line(line).from, { y: 'center' }));
      }
      view.dispatch({ effects });
    },
    // The lines on screen, with the margin CodeMirror renders either side.
    visibleLines() {
      const { from, to } = view.viewport;
      return { first: view.state.doc.lineAt(from).number, last: view.state.doc.lineAt(to).number };
    },
    hasFocus: () => view.hasFocus,
  };
}
