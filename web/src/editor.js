// The editors: CodeMirror with line numbers and a language's highlighting, plus layers of
// their own: messages under their lines (a failed load's, a test's failures), marks on whole
// lines (coverage), and in the program editor the program status beside each instruction line.
import { defaultKeymap, history, historyKeymap, indentWithTab } from '@codemirror/commands';
import { Compartment, EditorState, Prec, StateEffect, StateField } from '@codemirror/state';
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

class MessageWidget extends WidgetType {
  constructor(text, className) {
    super();
    this.text = text;
    this.className = className;
  }
  eq(other) {
    return other.text === this.text && other.className === this.className;
  }
  toDOM() {
    const box = document.createElement('div');
    box.className = `cm-line-message ${this.className}`;
    box.setAttribute('role', 'alert');
    box.textContent = this.text;
    return box;
  }
}

// Messages under their lines, each line marked with `className`-line. A load error stays with
// its line while the user edits, until the next load; a test's failures go with the first edit,
// since they belong to the text that ran.
function lineMessages(className, clearOnEdit) {
  const set = StateEffect.define();
  const field = StateField.define({
    create: () => Decoration.none,
    update(marks, transaction) {
      let next = clearOnEdit && transaction.docChanged ? Decoration.none : marks.map(transaction.changes);
      for (const effect of transaction.effects) {
        if (!effect.is(set)) continue;
        const doc = transaction.state.doc;
        const ranges = [];
        for (const { line, text } of effect.value) {
          if (line < 1 || line > doc.lines) continue;
          const at = doc.line(line);
          ranges.push(Decoration.line({ class: `${className}-line` }).range(at.from));
          ranges.push(Decoration.widget({ widget: new MessageWidget(text, className), block: true, side: 1 }).range(at.to));
        }
        next = Decoration.set(ranges, true);
      }
      return next;
    },
    provide: (f) => EditorView.decorations.from(f),
  });
  return { set, field };
}

const loadErrors = lineMessages('cm-load-error', false);
const failures = lineMessages('cm-test-failure', true);

// Whole lines marked with a class and explained by a tip: { line, className, title }.
const setLineMarks = StateEffect.define();

const lineMarkField = StateField.define({
  create: () => Decoration.none,
  update(marks, transaction) {
    if (transaction.docChanged) return Decoration.none;
    for (const effect of transaction.effects) {
      if (!effect.is(setLineMarks)) continue;
      const doc = transaction.state.doc;
      const ranges = effect.value
        .filter(({ line }) => line >= 1 && line <= doc.lines)
        .map(({ line, className, title }) =>
          Decoration.line({ class: className, attributes: { title } }).range(doc.line(line).from),
        );
      return Decoration.set(ranges, true);
    }
    return marks;
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
      (ops ?? []).forEach((op, i) => {
        const value = document.createElement('span');
        value.className = this.row.forced?.[i] ? 'cm-status-op cm-status-forced' : 'cm-status-op';
        if (this.row.forced?.[i]) value.title = 'forciert';
        value.textContent = op;
        box.appendChild(value);
      });
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
  '.cm-load-error-line, .cm-test-failure-line': { backgroundColor: '#fde0e0' },
  '.cm-line-message': {
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
  // The window's colour for a forced operand.
  '.cm-status > .cm-status-forced': { backgroundColor: 'rgb(255, 236, 140)' },
  '.cm-cov-never': { backgroundColor: '#ececec', color: '#777' },
  '.cm-cov-oneway': { backgroundImage: 'linear-gradient(90deg, #ffb74d 0 4px, #fff3e0 4px)' },
});

// The editor lives in a shadow root: there CodeMirror's styles are constructed style sheets,
// which the page's content security policy allows without 'unsafe-inline'. `language` is the
// highlighting; the editor's documents are EditorStates, so one view can show several in turn.
export function createEditor(host, { language, label, onLoad, onChange, onViewport = () => {} }) {
  const root = host.attachShadow({ mode: 'open' });
  const editable = new Compartment();
  const extensions = [
    lineNumbers(),
    highlightActiveLineGutter(),
    highlightActiveLine(),
    drawSelection(),
    history(),
    language,
    Prec.highest(keymap.of([{ key: 'Mod-Enter', run: () => (onLoad(), true) }])),
    keymap.of([...defaultKeymap, ...historyKeymap, indentWithTab]),
    editorTheme,
    loadErrors.field,
    failures.field,
    lineMarkField,
    statusField,
    faultField,
    editable.of([]),
    EditorView.contentAttributes.of({ 'aria-label': label }),
    EditorView.updateListener.of((update) => {
      if (update.docChanged) onChange();
      if (update.viewportChanged || update.docChanged) onViewport();
    }),
  ];
  const newState = (doc = '') => EditorState.create({ doc, extensions });
  const view = new EditorView({ parent: root, root, state: newState() });
  const scrollTo = (line) => EditorView.scrollIntoView(view.state.doc.line(line).from, { y: 'center' });
  const onScreen = (line) => line >= 1 && line <= view.state.doc.lines;

  return {
    view,
    text: () => view.state.doc.toString(),
    setText(text) {
      view.dispatch({
        changes: { from: 0, to: view.state.doc.length, insert: text },
        effects: loadErrors.set.of([]),
      });
    },
    newState,
    // Shows `state` and returns the one shown before.
    swap(state) {
      const old = view.state;
      view.setState(state);
      return old;
    },
    setReadOnly(on) {
      const lock = on ? [EditorState.readOnly.of(true), EditorView.editable.of(false)] : [];
      view.dispatch({ effects: editable.reconfigure(lock) });
    },
    showLoadError(line, text) {
      view.dispatch({ effects: loadErrors.set.of([{ line, text }]) });
      if (onScreen(line)) view.dispatch({ effects: scrollTo(line) });
    },
    clearLoadError() {
      view.dispatch({ effects: loadErrors.set.of([]) });
    },
    // A test's failures, each { line, text }, the first one scrolled to.
    showFailures(list) {
      const effects = [failures.set.of(list)];
      const first = list.find(({ line }) => onScreen(line));
      if (first) effects.push(scrollTo(first.line));
      view.dispatch({ effects });
    },
    showLineMarks(marks) {
      view.dispatch({ effects: setLineMarks.of(marks) });
    },
    showStatus(rows) {
      view.dispatch({ effects: setStatus.of(rows) });
    },
    showFaultLine(line, scroll) {
      const effects = [setFaultLine.of(line)];
      if (scroll && onScreen(line)) effects.push(scrollTo(line));
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
