// Testen: runs a scenario against the program editor's text in the worker, on a session of its
// own, and shows what `kvx test --coverage` reports: each failure at its scenario line, the
// summary with the coverage totals, the program lines never executed and the contacts seen
// one way only. The last run's waveform can be downloaded.
import { downloadText } from './files.js';

export const NEVER_RUN = 'Zeile nie ausgeführt';
export const ONE_WAY = 'Kontakt nur in einem Zustand gesehen (nie 0 und 1)';

// The line of a diagnostic "NAME:LINE: error: TEXT".
export function diagnosticLine(text) {
  return Number(/:(\d+): error: /.exec(text)?.[1] ?? 0);
}

export function createTestRun({ button, summary, detail, legend, vcdButton }, send) {
  let next = 1;
  let running = 0;
  let pending = null;
  let vcd = null;

  vcdButton.addEventListener('click', () => vcd && downloadText(vcd.name, vcd.text));

  function show(text, failedRun) {
    summary.textContent = text;
    summary.classList.toggle('failed', failedRun);
  }

  return {
    running: () => running !== 0,
    // `job`: { program, programText, scenario, scenarioText, onResult }.
    start(job) {
      if (running !== 0) return;
      running = next++;
      pending = job;
      button.disabled = true;
      show('läuft…', false);
      detail.textContent = '';
      legend.hidden = true;
      send({ type: 'test', id: running, ...job, onResult: undefined });
    },
    // The worker's answer; the job's onResult marks the editors.
    finished({ id, result, ms }) {
      if (id !== running) return;
      running = 0;
      button.disabled = false;
      const job = pending;
      pending = null;
      vcd = result.vcd ? { name: job.scenario.replace(/\.scn$/i, '.vcd'), text: result.vcd } : null;
      vcdButton.disabled = vcd === null;
      if (result.error) {
        show(result.error.replace(/\n$/, ''), true);
      } else {
        show(`${result.passed} passed, ${result.failed} failed${result.coverage?.totals ?? ''}`, result.failed > 0);
      }
      // Failures of the whole scenario have no line to stand at.
      detail.textContent = result.failures
        .filter((failure) => failure.line <= 0)
        .map((failure) => `${job.scenario}: error: ${failure.text}`)
        .join('\n');
      legend.hidden = !result.coverage;
      summary.dataset.ms = String(Math.round(ms));
      job.onResult(result);
    },
  };
}

// The coverage as marks on program lines, two kinds with their explanation as the tip. A line
// never run is marked as that only: its contact was not seen at all.
export function coverageMarks(coverage) {
  if (!coverage) return [];
  const never = new Set(coverage.linesNeverRun);
  return [
    ...coverage.linesNeverRun.map((line) => ({ line, className: 'cm-cov-never', title: NEVER_RUN })),
    ...coverage.contactsOneWay
      .filter((line) => !never.has(line))
      .map((line) => ({ line, className: 'cm-cov-oneway', title: ONE_WAY })),
  ];
}
