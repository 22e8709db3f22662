// The page: wires the panel, the run control, the editors, the files, the tools and the status
// line to the engine in its worker. The page never scans; it only sends what the user does and
// shows what the worker reports.
import { awlSupport } from './awl-language.js';
import { COMMANDS, commandForKey, keyName } from './commands.js';
import { createEditor } from './editor.js';
import { buildExamplesMenu, downloadText, fetchExamples, programName, wireDrop, wireFileInput } from './files.js';
import { createPanel } from './panel.js';
import { createRecording } from './recording.js';
import { createScenarioTabs, scenarioName } from './scenarios.js';
import { scnSupport } from './scn-language.js';
import { ShareError, decodeShare, encodeShare, shareLink } from './share.js';
import { loadFor, loadSaved, save, saveFor, textKeeper } from './storage.js';
import { createStatusLine } from './status-line.js';
import { coverageMarks, createTestRun, diagnosticLine } from './test-run.js';
import { createWatchTable } from './watch-table.js';

const $ = (id) => document.getElementById(id);

const worker = new Worker('worker.js');
const send = (message) => worker.postMessage(message);

let state = { running: false, faulted: false, faktor: 1, program: '', leds: 0, switches: 0, timeMs: 0 };
let name = '';
let statusWanted = false;
// Edited since the last load: the program status no longer belongs to the lines on screen.
let edited = false;
const saved = loadSaved();
// A program opened from a shared link: shown read-only and kept nowhere until the learner
// takes it with Bearbeiten. Null for the learner's own program.
let shared = null;
let watchShown = false;
// The program whose watch table the engine holds, to keep the table under its name.
let watchProgram = '';
let watchText = '';

const panel = createPanel($('panel'), (bit) => send({ type: 'toggle', bit }));
const statusLine = createStatusLine($('status-line'));
const buttons = new Map();

const keeper = textKeeper(() => editor.text());
const editor = createEditor($('editor'), {
  language: awlSupport(),
  label: 'Programmtext',
  onLoad: () => loadProgram(),
  onChange: () => {
    edited = true;
    if (!shared) keeper.changed();
  },
  onViewport: () => requestCapture(),
});
const scenarioEditor = createEditor($('scenario-editor'), {
  language: scnSupport(),
  label: 'Szenario',
  onLoad: () => loadProgram(),
  onChange: () => {
    tabs.edited();
    keepScenarios();
  },
});
const tabs = createScenarioTabs(
  {
    tablist: $('tabs'),
    programTab: $('program-tab'),
    newTab: $('scenario-new'),
    programHost: $('editor'),
    scenarioHost: $('scenario-editor'),
    tools: [$('scenario-download'), $('scenario-rename'), $('scenario-close')],
  },
  scenarioEditor,
  () => requestCapture(),
);

// The scenarios are kept under the program's name once typing pauses, as the text is.
let scenarioTimer = 0;
function keepScenarios() {
  clearTimeout(scenarioTimer);
  scenarioTimer = setTimeout(saveScenarios, 400);
}

function saveScenarios() {
  clearTimeout(scenarioTimer);
  scenarioTimer = 0;
  if (!shared) saveFor('scenarios', programName(name), JSON.stringify(tabs.list()));
}
addEventListener('pagehide', () => scenarioTimer !== 0 && saveScenarios());

function storedScenarios(program) {
  try {
    const list = JSON.parse(loadFor('scenarios', program) ?? '[]');
    return Array.isArray(list) ? list.filter((s) => typeof s?.name === 'string' && typeof s.text === 'string') : [];
  } catch {
    return [];
  }
}

// The program's own scenarios, and an example's scenario when the learner has none of its name.
function restoreScenarios(program, extra) {
  const list = storedScenarios(program);
  if (extra && !list.some((s) => s.name === extra.name)) list.push(extra);
  tabs.replaceAll(list);
}

const watchTable = createWatchTable(
  { body: $('watch-rows'), addInput: $('watch-add'), addError: $('watch-add-error') },
  (op, row, value) => send({ type: 'watch', op, row, value }),
);

const testRun = createTestRun(
  {
    button: $('test'),
    summary: $('test-summary'),
    detail: $('test-detail'),
    legend: $('coverage-legend'),
    vcdButton: $('test-vcd'),
  },
  send,
);

const recordingName = () => scenarioName(programName(name).replace(/\.awl$/i, ''));
const recording = createRecording(
  {
    button: $('record'),
    offer: $('record-offer'),
    offerText: $('record-offer-text'),
    download: $('record-download'),
    open: $('record-open'),
    dismiss: $('record-dismiss'),
  },
  send,
  {
    name: recordingName,
    onOpen: (scenario, text) => {
      tabs.add(scenario, text, true);
      saveScenarios();
    },
  },
);

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
  $('record').disabled = !hasProgram() && !state.recording;
}

function loadProgram() {
  send({ type: 'load', name: programName(name), text: editor.text() });
}

// Opening a program is the learner's own choice: a shared program on screen makes way for it.
function openText(fileName, text, scenario = null) {
  if (shared) leaveShared();
  saveScenarios();
  name = programName(fileName);
  editor.setText(text);
  save({ name });
  keeper.now();
  restoreScenarios(name, scenario);
  loadProgram();
}

function openScenario(fileName, text) {
  tabs.add(fileName, text, false);
  saveScenarios();
}

// A file by its extension: a scenario, a watch table, or else a program.
function openFile(fileName, text) {
  if (/\.scn$/i.test(fileName)) openScenario(fileName, text);
  else if (/\.var$/i.test(fileName)) send({ type: 'watch', op: 'setText', value: text });
  else openText(fileName, text);
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

function setWatchShown(on) {
  watchShown = on;
  $('watch').hidden = !on;
  $('watch-toggle').setAttribute('aria-pressed', String(on));
  save({ watchShown: on });
  if (on) $('watch-add').focus();
}

// Each program keeps its own watch table, as the window keeps it.
function restoreWatch(program) {
  if (program === watchProgram) return;
  watchProgram = program;
  send({ type: 'watch', op: 'setText', value: loadFor('watch', program) ?? '' });
}

// ---- Testen ----
function runTest() {
  const at = tabs.toTest();
  if (at < 0) {
    $('test-summary').textContent = 'Kein Szenario: + legt eines an, Szenario öffnen… lädt eine .scn-Datei.';
    return;
  }
  const scenario = tabs.scenario(at);
  const programText = editor.text();
  const program = programName(name);
  testRun.start({
    program,
    programText,
    scenario: scenario.name,
    scenarioText: scenario.text,
    onResult(result) {
      if (result.error) {
        tabs.select(-1);
        editor.showLoadError(diagnosticLine(result.error), result.error.replace(/\n$/, ''));
        return;
      }
      // Marks belong to the texts that ran; an editor edited meanwhile gets none.
      if (editor.text() === programText) editor.showLineMarks(coverageMarks(result.coverage));
      const failures = result.failures
        .filter((failure) => failure.line > 0)
        .map((failure) => ({ line: failure.line, text: `${scenario.name}:${failure.line}: ${failure.text}` }));
      const now = tabs.list()[at];
      if (failures.length === 0 || now?.name !== scenario.name || now.text !== scenario.text) return;
      tabs.select(at);
      scenarioEditor.showFailures(failures);
    },
  });
}

// ---- Teilen ----
async function makeLink() {
  const withScenarios = $('share-scenarios').checked;
  const field = $('share-link');
  const message = $('share-message');
  try {
    const fragment = await encodeShare({
      name: programName(name),
      text: editor.text(),
      scenarios: withScenarios ? tabs.list() : [],
    });
    const link = shareLink(fragment, withScenarios);
    field.value = link;
    field.hidden = false;
    field.select();
    try {
      await navigator.clipboard.writeText(link);
      message.textContent = `Link kopiert (${link.length} Zeichen).`;
    } catch {
      message.textContent = `Kopieren Sie den Link aus dem Feld (${link.length} Zeichen).`;
    }
  } catch (error) {
    if (!(error instanceof ShareError)) throw error;
    field.hidden = true;
    field.value = '';
    message.textContent = error.message;
  }
}

function showShared(program) {
  shared = program;
  name = programName(program.name);
  editor.setText(program.text);
  editor.setReadOnly(true);
  tabs.replaceAll(program.scenarios);
  $('shared-text').textContent = `Geteiltes Programm ${name}: nur zum Ansehen. Ihr eigenes Programm bleibt gespeichert.`;
  $('shared-banner').hidden = false;
}

function leaveShared() {
  shared = null;
  editor.setReadOnly(false);
  $('shared-banner').hidden = true;
  history.replaceState(null, '', location.pathname + location.search);
}

// Bearbeiten: the shared program becomes the learner's, unless they keep their own text.
function takeShared(choice) {
  if (choice === 'keep') {
    const own = loadSaved();
    leaveShared();
    name = own.name ?? '';
    editor.setText(own.text);
    restoreScenarios(programName(name), null);
    loadProgram();
    return;
  }
  leaveShared();
  save({ name });
  keeper.now();
  saveScenarios();
}

function editShared() {
  const own = loadSaved();
  if (own.text === '' || own.text === shared.text) {
    takeShared('replace');
    return;
  }
  const dialog = $('shared-choice');
  $('shared-choice-text').textContent =
    `Ihr eigenes gespeichertes Programm ${programName(own.name)} ist ein anderes. ` +
    'Soll das geteilte Programm es ersetzen?';
  dialog.returnValue = '';
  dialog.showModal();
}

const fromWorker = {
  ready() {
    if (Number.isInteger(saved.faktor)) send({ type: 'faktor', faktor: saved.faktor });
    opened.then(() => editor.text() !== '' && loadProgram());
  },
  failed({ error }) {
    $('message').textContent = `Die Simulation konnte nicht starten: ${error}`;
    $('message').hidden = false;
  },
  loaded({ name: loadedName, error, line }) {
    if (error === '') {
      edited = false;
      restoreWatch(loadedName);
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
    panel.update(state.leds, state.switches, hasProgram(), state.forcedLeds, state.forcedSwitches);
    recording.update(state);
    statusLine.update(state, recording.name());
    refreshButtons();
    if (state.faktor !== saved.faktor) save({ faktor: state.faktor });
    saved.faktor = state.faktor;
  },
  status({ status }) {
    if (statusWanted && !edited) editor.showStatus(status.rows ?? []);
  },
  watch(data) {
    watchTable.update(data);
    if (data.op === 'setText') $('watch-error').textContent = data.error;
    if (data.text === undefined) return;
    watchText = data.text;
    if (watchProgram !== '' && !shared) saveFor('watch', watchProgram, data.text);
  },
  tested: (data) => testRun.finished(data),
  recorded: (data) => recording.recorded(data),
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
  } else if (keyNameText === 'F4') {
    event.preventDefault();
    setWatchShown(!watchShown);
  } else if (keyNameText === 'Ctrl+Shift+E') {
    event.preventDefault();
    send({ type: 'watch', op: 'releaseAll' });
  } else if (keyNameText === 'Ctrl+T') {
    event.preventDefault();
    runTest();
  }
}

function wireTools() {
  $('watch-toggle').addEventListener('click', () => setWatchShown(!watchShown));
  $('watch-write-all').addEventListener('click', () => send({ type: 'watch', op: 'writeAll' }));
  $('watch-release-all').addEventListener('click', () => send({ type: 'watch', op: 'releaseAll' }));
  $('watch-save').addEventListener('click', () =>
    downloadText(programName(name).replace(/\.awl$/i, '.var'), watchText),
  );
  wireFileInput($('watch-load'), $('watch-input'), (_, text) => send({ type: 'watch', op: 'setText', value: text }));
  $('test').addEventListener('click', runTest);
  $('scenario-new').addEventListener('click', () => {
    tabs.add(recordingName(), '', false);
    saveScenarios();
  });
  wireFileInput($('scenario-open'), $('scenario-input'), openScenario);
  $('scenario-download').addEventListener('click', () => {
    const scenario = tabs.active();
    downloadText(scenario.name, scenario.text);
    tabs.saved();
  });
  $('scenario-rename').addEventListener('click', () => {
    const wanted = prompt('Neuer Name des Szenarios', tabs.active().name);
    if (wanted === null) return;
    tabs.rename(wanted.trim());
    saveScenarios();
  });
  $('scenario-close').addEventListener('click', () => {
    const scenario = tabs.active();
    if (tabs.isDirty() && !confirm(`${scenario.name} ist nicht heruntergeladen. Trotzdem schließen?`)) return;
    tabs.close();
    saveScenarios();
  });
  $('share').addEventListener('click', () => {
    $('share-message').textContent = '';
    $('share-link').hidden = true;
    $('share-dialog').showModal();
  });
  $('share-copy').addEventListener('click', makeLink);
  $('shared-edit').addEventListener('click', editShared);
  // A link pasted into a tab already showing the page, or the fragment removed by hand, changes
  // only the fragment; the page then starts over with what the address now says.
  addEventListener('hashchange', () => location.reload());
  $('shared-choice').addEventListener('close', () => {
    const choice = $('shared-choice').returnValue;
    if (choice) takeShared(choice);
  });
}

// The program on screen at start: a shared link's, else the learner's own.
async function openedProgram() {
  const fragment = location.hash.slice(1);
  if (fragment !== '') {
    try {
      showShared(await decodeShare(fragment));
      return;
    } catch (error) {
      $('message').textContent = error instanceof ShareError ? error.message : 'Der Link ist beschädigt oder unvollständig.';
      $('message').hidden = false;
    }
  }
  if (saved.text) editor.setText(saved.text);
  restoreScenarios(programName(name), null);
}

async function start() {
  buildRunControl();
  document.addEventListener('keydown', onKey);
  $('load').addEventListener('click', loadProgram);
  $('save').addEventListener('click', () => downloadText(programName(name), editor.text()));
  $('status-toggle').addEventListener('click', () => setStatusWanted(!statusWanted));
  $('help').addEventListener('click', showHelp);
  wireFileInput($('open'), $('file-input'), openText);
  wireDrop(document.body, openFile);
  wireTools();
  panel.update(0, 0, false);
  statusLine.update({ ...state, scansPerSecond: 0 });
  name = saved.name ?? '';
  if (saved.programStatus) setStatusWanted(true);
  if (saved.watchShown) setWatchShown(true);
  fetchExamples()
    .then((examples) =>
      buildExamplesMenu($('examples'), $('examples-menu'), examples, (example) =>
        openText(
          example.name,
          example.text,
          example.scenario ? { name: example.scenario, text: example.scenarioText } : null,
        ),
      ),
    )
    .catch(() => {
      $('examples').disabled = true;
    });
  await openedProgram();
}

const opened = start();
