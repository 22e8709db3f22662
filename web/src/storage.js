// What survives a reload: the text, its name and the settings. The text is kept apart from the
// small settings, so a setting never rewrites a large program. Storage may be missing or full
// (private windows, quotas); the page then works without it.
const SETTINGS = 'kvx-simulator';
const TEXT = 'kvx-simulator.text';
const TEXT_DELAY_MS = 400;

function write(key, value) {
  try {
    localStorage.setItem(key, value);
  } catch {
    // Not kept; the page goes on.
  }
}

export function loadSaved() {
  try {
    const settings = JSON.parse(localStorage.getItem(SETTINGS) ?? '{}') ?? {};
    return { ...settings, text: localStorage.getItem(TEXT) ?? '' };
  } catch {
    return { text: '' };
  }
}

export function save(changes) {
  let settings = {};
  try {
    settings = JSON.parse(localStorage.getItem(SETTINGS) ?? '{}') ?? {};
  } catch {
    // A damaged entry is replaced.
  }
  write(SETTINGS, JSON.stringify({ ...settings, ...changes }));
}

// Typing saves the text once it pauses, so a keystroke in a large program stays cheap.
export function textKeeper(currentText) {
  let timer = 0;
  const flush = () => {
    clearTimeout(timer);
    timer = 0;
    write(TEXT, currentText());
  };
  addEventListener('pagehide', () => timer !== 0 && flush());
  return {
    changed() {
      clearTimeout(timer);
      timer = setTimeout(flush, TEXT_DELAY_MS);
    },
    now: flush,
  };
}

// What belongs to one program, by its name: its scenarios and its watch table. A shared
// program's are kept nowhere until the learner takes it as theirs.
const perProgram = (kind, program) => `kvx-simulator.${kind}.${program}`;

export function loadFor(kind, program) {
  try {
    return localStorage.getItem(perProgram(kind, program));
  } catch {
    return null;
  }
}

export function saveFor(kind, program, value) {
  write(perProgram(kind, program), value);
}
