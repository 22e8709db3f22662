// The page: wires the panel, the run control, the editor, the files and the status line to
// the engine in its worker. The page never scans; it only sends what the user does and shows
// what the worker reports.
import { COMMANDS, commandForKey, keyName } from './commands.js';
import { createEditor } from './editor.js';
import { buildExamplesMenu, downloadText, fetchExamples, programName, wireDrop, wireFileInput } from './files.js';
import { createPanel } from './panel.js';
import { loadSaved, save, textKeeper } from './storage.js';
import { createStatusLine } from './status-line.js';

const $ = (id) => document.getElementById(id);

const worker = new Worker('worker.js');
const send = (message) => worker.postMessage(message);

let state = { running: false, faulted: false, faktor: 1, program: '', leds: 0, switches: 0, timeMs: 0 };
let name = '';
let statusWanted = false;
// Edited since the last load: the program status no longer belongs to the lines on screen.
let edited = false;
const saved = loadSaved();

const panel = createPanel($('panel'), (bit) => send({ type: 'toggle', bit }));
const statusLine = createStatusLine($('status-line'));
const buttons = new Map();

const keeper = textKeeper(() => editor.text());
const editor = createEditor($('editor'), {
  onLoad: () => loadProgram(),
  onChange: () => {
    edited = true;
    keeper.changed();
  },
  onViewport: () => requestCapture(),
});

function hasProgram() {
  return state.program !== '';
}

function run(command) {
  if (!command.enabled({ ...state, hasProgram: hasProgram() })) return;
  send({ type: 'command', cmd: command.id });
}

function refreshButtons() {
  const now = { ...state, hasProgram: hasProgram() };
  for (const command of COMMANDS) buttons.get(command.id).disabled = !command.enabled(now);
}

function loadProgram() {
  send({ type: 'load', name: programName(name), text: editor.text() });
}

function openText(fileName, text) {
  name = programName(fileName);
  editor.setText(text);
  save({ name });
  keeper.now();
  loadProgram();
}

function requestCapture() {
  send({ type: 'capture', range: statusWanted ? editor.visibleLines() : null });
}

// The window's program status marks a run-time fault's line and scrolls to it.
let faultShown = 0;

function showFault(scroll) {
  const line = statusWanted && !edited && state.faulted && !state.running ? state.faultLine : 0;
  if (line !== faultShown || (scroll && line !== 0)) editor.showFaultLine(line, scroll);
  faultShown = line;
}

function setStatusWanted(on) {
  statusWanted = on;
  $('status-toggle').setAttribute('aria-pressed', String(on));
  save({ programStatus: on });
  if (!on) editor.showStatus([]);
  showFault(on);
  requestCapture();
}

const fromWorker = {
  ready() {
    if (Number.isInteger(saved.faktor)) send({ type: 'faktor', faktor: saved.faktor });
    if (saved.text) loadProgram();
  },
  failed({ error }) {
    $('message').textContent = `Die Simulation konnte nicht starten: ${error}`;
    $('message').hidden = false;
  },
  loaded({ error, line }) {
    if (error === '') {
      edited = false;
      editor.clearLoadError();
      $('message').hidden = true;
      return;
    }
    const text = error.replace(/\n$/, '');
    if (line >= 1) {
      editor.showLoadError(line, text);
      $('message').hidden = true;
    } else {
      editor.clearLoadError();
      $('message').textContent = text;
      $('message').hidden = false;
    }
  },
  state({ state: next }) {
    const newFault = next.faulted && !next.running && !(state.faulted && !state.running);
    state = next;
    showFault(newFault);
    panel.update(state.leds, state.switches, hasProgram());
    statusLine.update(state);
    refreshButtons();
    if (state.faktor !== saved.faktor) save({ faktor: state.faktor });
    saved.faktor = state.faktor;
  },
  status({ status }) {
    if (statusWanted && !edited) editor.showStatus(status.rows ?? []);
  },
};

worker.onmessage = ({ data }) => fromWorker[data.type]?.(data);
worker.onerror = (event) => fromWorker.failed({ error: event.message || 'worker.js' });

function buildRunControl() {
  const group = $('run-control');
  for (const command of COMMANDS) {
    const button = document.createElement('button');
    button.type = 'button';
    button.textContent = command.label;
    button.dataset.command = command.label;
    if (command.keys.length > 0) button.title = command.keys.join(' oder ');
    button.addEventListener('click', () => run(command));
    buttons.set(command.id, button);
    group.appendChild(button);
  }
  refreshButtons();
}

// A digit typed into the editor (inside its shadow root) or a field belongs there.
function typing(event) {
  return event.composedPath().some((node) => node.matches?.('.cm-editor, input, textarea, select'));
}

function showHelp() {
  const dialog = $('help-dialog');
  if (!dialog.open) dialog.showModal();
}

function onKey(event) {
  if (event.defaultPrevented || event.repeat) return;
  const keyNameText = keyName(event);
  if (/^[0-7]$/.test(keyNameText) && !typing(event)) {
    send({ type: 'toggle', bit: Number(keyNameText) });
    return;
  }
  const command = commandForKey(keyNameText);
  if (command) {
    event.preventDefault();
    run(command);
  } else if (keyNameText === 'F1') {
    event.preventDefault();
    showHelp();
  } else if (keyNameText === 'Ctrl+Enter') {
    event.preventDefault();
    loadProgram();
  } else if (keyNameText === 'F3') {
    event.preventDefault();
    setStatusWanted(!statusWanted);
  }
}

function start() {
  buildRunControl();
  document.addEventListener('keydown', onKey);
  $('load').addEventListener('click', loadProgram);
  $('save').addEventListener('click', () => downloadText(name, editor.text()));
  $('status-toggle').addEventListener('click', () => setStatusWanted(!statusWanted));
  $('help').addEventListener('click', showHelp);
  wireFileInput($('open'), $('file-input'), openText);
  wireDrop(document.body, openText);
  panel.update(0, 0, false);
  statusLine.update({ ...state, scansPerSecond: 0 });
  name = saved.name ?? '';
  if (saved.programStatus) setStatusWanted(true);
  if (saved.text) editor.setText(saved.text);
  fetchExamples()
    .then((examples) =>
      buildExamplesMenu($('examples'), $('examples-menu'), examples, (example) => openText(example.name, example.text)),
    )
    .catch(() => {
      $('examples').disabled = true;
    });
}

start();
