// The run and timer commands with the window's words and keys. Each knows when it makes
// sense; a grayed command's keys do nothing, as in the window.
export const Command = Object.freeze({
  Continue: 0,
  Stop: 1,
  Einzelschritt: 2,
  Reset: 3,
  Langsamer: 4,
  Schneller: 5,
  Echtzeit: 6,
  Urloeschen: 7,
});

export const SLOWEST = 1000;

const stopped = (s) => s.hasProgram && !s.running;

export const COMMANDS = [
  { id: Command.Continue, label: 'Continue', keys: ['F9'], enabled: stopped },
  { id: Command.Stop, label: 'Stop', keys: ['Shift+F9', 'F6'], enabled: (s) => s.running },
  { id: Command.Einzelschritt, label: 'Einzelschriit', keys: ['F10', 'F7'], enabled: stopped },
  { id: Command.Reset, label: 'Reset', keys: ['Ctrl+R'], enabled: () => true },
  { id: Command.Urloeschen, label: 'Urlöschen', keys: ['Ctrl+Shift+R'], enabled: () => true },
  { id: Command.Langsamer, label: 'Langsamer', keys: ['Ctrl+-'], enabled: (s) => s.faktor < SLOWEST },
  { id: Command.Schneller, label: 'Schneller', keys: ['Ctrl++', 'Ctrl+='], enabled: (s) => s.faktor > 1 },
  { id: Command.Echtzeit, label: 'Echtzeit', keys: [], enabled: (s) => s.faktor > 1 },
];

// A key as the tables above write it: modifiers first, then the key. Shift is implied by
// '+' on most layouts, so it is left out for printable keys.
export function keyName(event) {
  const printable = event.key.length === 1;
  const key = printable ? event.key.toUpperCase() : event.key;
  return [
    event.ctrlKey || event.metaKey ? 'Ctrl' : '',
    event.altKey ? 'Alt' : '',
    event.shiftKey && (!printable || /[A-Z]/.test(key)) ? 'Shift' : '',
    key,
  ]
    .filter(Boolean)
    .join('+');
}

export function commandForKey(name) {
  return COMMANDS.find((command) => command.keys.includes(name));
}
