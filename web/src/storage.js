// What survives a reload: the text, its name and the settings. Storage may be missing or full
// (private windows, quotas); the page then works without it.
const KEY = 'kvx-simulator';

export function loadSaved() {
  try {
    return JSON.parse(localStorage.getItem(KEY) ?? '{}') ?? {};
  } catch {
    return {};
  }
}

export function save(changes) {
  try {
    localStorage.setItem(KEY, JSON.stringify({ ...loadSaved(), ...changes }));
  } catch {
    // Not kept; the page goes on.
  }
}
