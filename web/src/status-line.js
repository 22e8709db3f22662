// The status line in the window's words: run state, scan rate, simulated clock, program.
export function stateText(state) {
  const run = state.running ? 'Läuft' : state.faulted ? `Gestoppt durch Fehler: ${state.fault}` : 'Gestoppt';
  return state.forced ? `${run} | Forciert` : run;
}

export function timeText(state) {
  const seconds = Math.floor(state.timeMs / 1000);
  const millis = String(state.timeMs % 1000).padStart(3, '0');
  return `Zeit ${seconds}.${millis} s, Faktor 1:${state.faktor}`;
}

// The last scan's duration, written as the window writes scan times.
export function scanTimeText(us) {
  if (us < 10) return `${us.toFixed(1)} µs`;
  return us < 1000 ? `${us.toFixed(0)} µs` : `${(us / 1000).toFixed(1)} ms`;
}

export function createStatusLine(element) {
  const parts = ['state', 'rate', 'time', 'program', 'recording'].map((name) => {
    const span = document.createElement('span');
    span.className = `status-${name}`;
    element.appendChild(span);
    return span;
  });
  return {
    // `recorded` names the scenario being recorded, '' when nothing is.
    update(state, recorded = '') {
      const texts = [
        stateText(state),
        state.running ? `${state.scansPerSecond} Scans/s` : '',
        timeText(state),
        state.program || 'Kein Programm',
        recorded ? `● Aufzeichnung: ${recorded}` : '',
      ];
      texts.forEach((text, i) => {
        if (parts[i].textContent !== text) parts[i].textContent = text;
      });
      parts[0].classList.toggle('fault', state.faulted && !state.running);
      parts[4].hidden = !recorded;
      // The raw figure is there for measuring tools; people read the tip.
      parts[1].title = state.running ? `Zyklus ${scanTimeText(state.scanUs)}` : '';
      parts[1].dataset.scanUs = state.running ? String(state.scanUs) : '';
    },
  };
}
