// Measures the browser edition in headless Chromium: node web/test/bench.mjs SITE_DIR
// (a) the scan rate of each example, (b) the scan rate of a 200,000-instruction program as a
// share of what its scan time allows, (c) the time from a keystroke in the editor to the
// character on the page while that program runs, (d) for the largest example the length of its
// share link with and without its scenario and the time Testen takes from click to summary.
import { mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { BROWSERS, exampleNames, openPage, pickExample, startSite, waitForStatus } from './browsers.mjs';

const BIG = 200_000;
const KEYSTROKES = 30;
const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

// Networks of three bit instructions, then one that makes E0.0 visible on A0.0.
function bigProgram() {
  const lines = ['ORGANIZATION_BLOCK MAIN:OB1', 'BEGIN'];
  const networks = (BIG - 2) / 3;
  for (let n = 0; n < networks; ++n) {
    lines.push(`NETWORK ${n + 1}`, `LD M${n % 32}.${n % 8}`, `U E0.${(n + 1) % 8}`, `= M${(n + 7) % 32}.${(n + 3) % 8}`);
  }
  lines.push(`NETWORK ${networks + 1}`, 'LD E0.0', '= A0.0', 'END_ORGANIZATION_BLOCK', '');
  return lines.join('\n');
}

// The rate the status line shows and the scan time behind it, averaged over a few seconds.
async function measureRate(page, seconds) {
  const rates = [];
  const scanUs = [];
  await sleep(1500);
  for (let i = 0; i < seconds * 4; ++i) {
    await sleep(250);
    const { rate, us } = await page.$eval('.status-rate', (e) => ({ rate: e.textContent, us: e.dataset.scanUs }));
    rates.push(Number.parseInt(rate, 10));
    scanUs.push(Number(us));
  }
  const mean = (list) => list.reduce((a, b) => a + b, 0) / list.length;
  return { rate: mean(rates), scanUs: mean(scanUs) };
}

// The share link's length as the Teilen dialog reports it.
async function linkLength(page, withScenarios) {
  await page.click('#share');
  if ((await page.$eval('#share-scenarios', (e) => e.checked)) !== withScenarios) await page.click('#share-scenarios');
  await page.$eval('#share-message', (e) => (e.textContent = ''));
  await page.click('#share-copy');
  await page.waitForFunction(() => document.querySelector('#share-message').textContent !== '');
  const length = await page.$eval('#share-link', (e) => e.value.length);
  await page.keyboard.press('Escape');
  return length;
}

// From the click on Testen to the summary on the page.
function timeTest(page) {
  return page.evaluate(
    () =>
      new Promise((resolve) => {
        const summary = document.querySelector('#test-summary');
        const seen = new MutationObserver(() => {
          if (/passed/.test(summary.textContent)) {
            seen.disconnect();
            resolve(performance.now() - start);
          }
        });
        seen.observe(summary, { childList: true, characterData: true, subtree: true });
        const start = performance.now();
        document.querySelector('#test').click();
      }),
  );
}

// Keystrokes at the end of the last line: from each key's event to its character in the DOM.
async function keystrokeDelays(page) {
  const delays = [];
  const [line] = await page.$$('pierce/.cm-line');
  await line.click();
  await page.keyboard.press('End');
  for (let i = 0; i < KEYSTROKES; ++i) {
    const wait = page.evaluate(
      () =>
        new Promise((resolve) => {
          const content = document.querySelector('#editor').shadowRoot.querySelector('.cm-content');
          let pressed = 0;
          const mark = (event) => (pressed = event.timeStamp);
          window.addEventListener('keydown', mark, { capture: true, once: true });
          const length = content.firstChild.textContent.length;
          const seen = new MutationObserver(() => {
            if (content.firstChild.textContent.length > length) {
              seen.disconnect();
              resolve(performance.now() - pressed);
            }
          });
          seen.observe(content, { subtree: true, childList: true, characterData: true });
        }),
    );
    await sleep(20);
    await page.keyboard.press('x');
    delays.push(await wait);
    await sleep(80);
  }
  return delays.sort((a, b) => a - b);
}

async function main() {
  const siteDir = process.argv[2];
  if (!siteDir) {
    process.stderr.write('usage: node web/test/bench.mjs SITE_DIR\n');
    process.exit(2);
  }
  const site = await startSite(siteDir);
  const browser = await BROWSERS.chromium();
  const rows = [];
  const folder = await mkdtemp(join(tmpdir(), 'kvx-bench-'));
  try {
    const { page } = await openPage(browser, site.url);
    for (const name of await exampleNames(siteDir)) {
      await pickExample(page, name);
      const { rate } = await measureRate(page, 2);
      rows.push([`scans/s, ${name}`, rate.toFixed(0), '1000', rate >= 980]);
    }
    const largest = (
      await Promise.all(
        (await exampleNames(siteDir)).map(async (name) => ({
          name,
          size: (await readFile(join(siteDir, 'examples', name))).length,
        })),
      )
    ).sort((a, b) => b.size - a.size)[0].name;
    await pickExample(page, largest);
    for (const [what, withScenarios] of [
      [largest, false],
      [`${largest} and its scenario`, true],
    ]) {
      const length = await linkLength(page, withScenarios);
      rows.push([`share link, ${what}`, `${length} chars`, '<= 8000', length <= 8000]);
    }
    const runs = [];
    for (let i = 0; i < 5; ++i) runs.push(await timeTest(page));
    runs.sort((a, b) => a - b);
    rows.push([`Testen, ${largest}, click to summary, median of 5`, `${runs[2].toFixed(0)} ms`, '', true]);
    const file = join(folder, 'big.awl');
    await writeFile(file, bigProgram());
    const input = await page.$('#file-input');
    await input.uploadFile(file);
    await waitForStatus(page, 'program', 'big.awl', 120000);
    await waitForStatus(page, 'state', 'Läuft');
    const { rate, scanUs } = await measureRate(page, 3);
    const share = (rate * scanUs) / 1e6;
    rows.push([`scan time, ${BIG} instructions`, `${(scanUs / 1000).toFixed(2)} ms`, '', true]);
    rows.push([`scans/s, ${BIG} instructions`, rate.toFixed(0), '', true]);
    rows.push(['share of 1/(scan time)', `${(share * 100).toFixed(1)} %`, '>= 90 %', share >= 0.9]);
    const delays = await keystrokeDelays(page);
    const median = delays[Math.floor(delays.length / 2)];
    const worst = delays.at(-1);
    rows.push([`keystroke to DOM, median of ${KEYSTROKES}`, `${median.toFixed(1)} ms`, '<= 50 ms', median <= 50]);
    rows.push([`keystroke to DOM, worst of ${KEYSTROKES}`, `${worst.toFixed(1)} ms`, '<= 50 ms', worst <= 50]);
  } finally {
    await browser.close();
    site.server.close();
    await rm(folder, { recursive: true, force: true });
  }
  const table = [['figure', 'value', 'target', 'met'], ...rows.map(([a, b, c, met]) => [a, b, c, c === '' ? '' : met ? 'yes' : 'NO'])];
  const widths = table[0].map((_, i) => Math.max(...table.map((row) => row[i].length)));
  for (const row of table) process.stdout.write(`${row.map((cell, i) => cell.padEnd(widths[i])).join('  ').trimEnd()}\n`);
}

await main();
