// The engine lives here, away from the page, so that typing never waits for a scan. The loop
// wakes every millisecond or so and lets the engine's pacer catch up with the page's clock;
// the page hears of the state only when it changed, and no more often than it can paint.
/* global importScripts, createKvxEngine */
import { Command, SLOWEST } from './commands.js';

const STATE_EVERY_MS = 16;
const STATUS_EVERY_MS = 100;
const WATCH_EVERY_MS = 100;
const RATE_WINDOW_MS = 1000;
const RATE_MIN_SPAN_MS = 200;

let api = null;
let engine = 0;
let lastState = '';
let lastStateAt = -Infinity;
let captureRange = null;
let lastCaptureAt = -Infinity;
let lastStatus = '';
let lastWatch = '';
let lastWatchAt = -Infinity;
let samples = [];
let perSecond = 0;

// ccall copies a string argument onto the engine's stack, which a program of some megabytes
// overflows; the program text goes through the heap instead.
function heapText(module, text) {
  const bytes = new TextEncoder().encode(text);
  const at = module._malloc(bytes.length + 1);
  if (at === 0) throw new Error('the program does not fit into the memory of the simulation');
  // HEAPU8 is read after the allocation, which may have grown the memory.
  module.HEAPU8.set(bytes, at);
  module.HEAPU8[at + bytes.length] = 0;
  return at;
}

// Calls `call` with each text copied onto the heap, freed again afterwards.
function withHeapTexts(module, texts, call) {
  const pointers = [];
  try {
    for (const text of texts) pointers.push(heapText(module, text));
    return call(...pointers);
  } finally {
    pointers.forEach((at) => module._free(at));
  }
}

function bind(module) {
  const fn = (name, result, args) => module.cwrap(name, result, args);
  const load = fn('kvx_load', 'string', ['number', 'string', 'number']);
  const test = fn('kvx_test', 'string', ['number', 'string', 'number', 'string', 'number', 'number']);
  const watchSetText = fn('kvx_watch_set_text', 'string', ['number', 'number']);
  return {
    create: fn('kvx_create', 'number', []),
    load: (engineId, name, text) => withHeapTexts(module, [text], (at) => load(engineId, name, at)),
    test: (engineId, program, programText, scenario, scenarioText, coverage) =>
      withHeapTexts(module, [programText, scenarioText], (programAt, scenarioAt) =>
        test(engineId, program, programAt, scenario, scenarioAt, coverage ? 1 : 0),
      ),
    watchSetText: (engineId, text) => withHeapTexts(module, [text], (at) => watchSetText(engineId, at)),
    watchText: fn('kvx_watch_text', 'string', ['number']),
    watchSetOperand: fn('kvx_watch_set_operand', 'string', ['number', 'number', 'string']),
    watchRemove: fn('kvx_watch_remove', null, ['number', 'number']),
    watchSetFormat: fn('kvx_watch_set_format', null, ['number', 'number', 'string']),
    watchSetControl: fn('kvx_watch_set_control', null, ['number', 'number', 'string']),
    watchWrite: fn('kvx_watch_write', 'string', ['number', 'number']),
    watchWriteAll: fn('kvx_watch_write_all', 'number', ['number']),
    watchForce: fn('kvx_watch_force', 'string', ['number', 'number']),
    watchRelease: fn('kvx_watch_release', null, ['number', 'number']),
    watchReleaseAll: fn('kvx_watch_release_all', null, ['number']),
    watchValues: fn('kvx_watch_values', 'string', ['number']),
    recordStart: fn('kvx_record_start', null, ['number', 'string']),
    recordStop: fn('kvx_record_stop', 'string', ['number']),
    loadLine: fn('kvx_load_line', 'number', ['number']),
    pace: fn('kvx_pace', 'number', ['number', 'number']),
    command: fn('kvx_command', null, ['number', 'number']),
    setSwitch: fn('kvx_set_switch', null, ['number', 'number', 'number']),
    toggleSwitch: fn('kvx_toggle_switch', null, ['number', 'number']),
    state: fn('kvx_state', 'string', ['number']),
    capture: fn('kvx_capture', null, ['number', 'number', 'number']),
    status: fn('kvx_status', 'string', ['number']),
  };
}

// The scan rate over the last second, as the window's status line shows it; a run younger
// than that is measured over what it has, once that is long enough to mean something.
function scanRate(now, state) {
  if (!state.running || (samples.length > 0 && state.scans < samples.at(-1).scans)) samples = [];
  samples.push({ at: now, scans: state.scans });
  while (now - samples[0].at > RATE_WINDOW_MS) samples.shift();
  const span = now - samples[0].at;
  if (span >= RATE_MIN_SPAN_MS) perSecond = Math.round(((state.scans - samples[0].scans) * 1000) / span);
  if (!state.running) perSecond = 0;
  return perSecond;
}

function postState(now, force) {
  if (!force && now - lastStateAt < STATE_EVERY_MS) return;
  const text = api.state(engine);
  const state = JSON.parse(text);
  const scansPerSecond = scanRate(now, state);
  const key = `${text}|${scansPerSecond}`;
  if (!force && key === lastState) return;
  lastState = key;
  lastStateAt = now;
  postMessage({ type: 'state', state: { ...state, scansPerSecond } });
}

// Each capture is taken by the next scan; its result is sent with the next request, so a
// scan never waits for the page.
function postStatus(now, force) {
  if (captureRange === null || (!force && now - lastCaptureAt < STATUS_EVERY_MS)) return;
  lastCaptureAt = now;
  const text = api.status(engine);
  if (text !== lastStatus) {
    lastStatus = text;
    postMessage({ type: 'status', status: JSON.parse(text) });
  }
  api.capture(engine, captureRange.first, captureRange.last);
}

// The watch table's values, about ten times a second, and only when they changed.
function postWatch(now, force, extra = {}) {
  if (!force && now - lastWatchAt < WATCH_EVERY_MS) return;
  lastWatchAt = now;
  const text = api.watchValues(engine);
  if (!force && text === lastWatch) return;
  lastWatch = text;
  postMessage({ type: 'watch', values: JSON.parse(text), ...extra });
}

// A program whose scan outlasts the millisecond is owed a scan again at once. Browsers hold a
// repeated setTimeout back by 4 ms, which would idle such a program a good part of the time;
// a message to itself comes back at once, after the page's messages already waiting.
const again = new MessageChannel();
again.port1.onmessage = () => loop();

function loop() {
  const now = performance.now();
  const scans = api.pace(engine, now);
  postState(now, false);
  postStatus(now, false);
  postWatch(now, false);
  if (scans > 0) again.port2.postMessage(null);
  else setTimeout(loop, 1);
}

const handlers = {
  load({ name, text }) {
    const error = api.load(engine, name, text);
    postMessage({ type: 'loaded', name, error, line: error === '' ? 0 : api.loadLine(engine) });
  },
  command({ cmd }) {
    api.command(engine, cmd);
  },
  toggle({ bit }) {
    api.toggleSwitch(engine, bit);
  },
  setSwitch({ bit, on }) {
    api.setSwitch(engine, bit, on ? 1 : 0);
  },
  // The engine knows the Faktor only by its steps; it stops at the slowest by itself.
  faktor({ faktor }) {
    api.command(engine, Command.Echtzeit);
    for (let n = 1; n < faktor && n < SLOWEST; ++n) api.command(engine, Command.Langsamer);
  },
  // A change of the table: `op` names the engine's call, which takes the row and the value.
  watch({ op, row: asked, value }) {
    // A new row goes after the rows the engine has, however many adds are still on their way.
    const row = op === 'append' ? JSON.parse(api.watchValues(engine)).rows.length : asked;
    const calls = {
      setText: () => api.watchSetText(engine, value),
      append: () => api.watchSetOperand(engine, row, value),
      setOperand: () => api.watchSetOperand(engine, row, value),
      remove: () => api.watchRemove(engine, row),
      setFormat: () => api.watchSetFormat(engine, row, value),
      setControl: () => api.watchSetControl(engine, row, value),
      write: () => api.watchWrite(engine, row),
      writeAll: () => api.watchWriteAll(engine),
      force: () => api.watchForce(engine, row),
      release: () => api.watchRelease(engine, row),
      releaseAll: () => api.watchReleaseAll(engine),
    };
    const result = calls[op]?.();
    const error = typeof result === 'string' ? result : '';
    postWatch(performance.now(), true, { op, row, error, text: api.watchText(engine) });
  },
  // The test runs on a session of its own; the page's program scans on afterwards.
  test({ id, program, programText, scenario, scenarioText }) {
    const started = performance.now();
    let result;
    try {
      result = JSON.parse(api.test(engine, program, programText, scenario, scenarioText, true));
    } catch (error) {
      // E.g. texts too large for the engine's memory: the page still hears the run ended.
      const text = `${program}: error: ${error?.message ?? error}\n`;
      result = { output: '', passed: 0, failed: 0, failures: [], error: text, coverage: null, vcd: '' };
    }
    postMessage({ type: 'tested', id, result, ms: performance.now() - started });
  },
  recordStart({ date }) {
    api.recordStart(engine, date);
  },
  recordStop() {
    postMessage({ type: 'recorded', text: api.recordStop(engine) });
  },
  capture({ range }) {
    captureRange = range;
    lastStatus = '';
    if (range !== null) api.capture(engine, range.first, range.last);
  },
};

// What the page asks before the engine is compiled waits for it.
let early = [];

function handle(data) {
  handlers[data.type]?.(data);
  const now = performance.now();
  postState(now, true);
  // A single step or a load shows its own scan at once.
  if (data.type === 'command' || data.type === 'load') postStatus(now, true);
}

onmessage = ({ data }) => (early === null ? handle(data) : early.push(data));

async function start() {
  try {
    importScripts('kvx-engine.js');
    const module = await createKvxEngine();
    api = bind(module);
    engine = api.create();
    postMessage({ type: 'ready' });
    postState(performance.now(), true);
    const waiting = early;
    early = null;
    waiting.forEach(handle);
    loop();
  } catch (error) {
    postMessage({ type: 'failed', error: String(error?.message ?? error) });
  }
}

start();
