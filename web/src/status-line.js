// The status line in the window's words: run state, scan rate, simulated clock, program.
export function stateText(state) {
  if (state.running) return 'Läuft';
  return state.faulted ? `Gestoppt durch Fehler: ${state.fault}` : 'Gestoppt';
}

export function timeText(state) {
  const seconds = Math.floor(state.timeMs / 1000);
  const millis = String(state.timeMs % 1000).padStart(3, '0');
  return `Zeit ${seconds}.${millis} s, Faktor 1:${state.faktor}`;
}

export function createStatusLine(element) {
  const parts = ['state', 'rate', 'time', 'program'].map((name) => {
    const span = document.createElement('span');
    span.className = `status-${name}`;
    element.appendChild(span);
    return span;
  });
  return {
    update(state) {
      const texts = [
        stateText(state),
        state.running ? `${state.scansPerSecond} Scans/s` : '',
        timeText(state),
        state.program || 'Kein Programm',
      ];
      texts.forEach((text, i) => {
        if (parts[i].textContent !== text) parts[i].textContent = text;
      });
      parts[0].classList.toggle('fault', state.faulted && !state.running);
    },
  };
}
