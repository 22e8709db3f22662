// The page's tools as a user meets them, in Debian's Chromium and Firefox ESR: the Variablen
// table, Testen against the native runner's words, Aufzeichnen replayed by the native runner,
// and Teilen by link into a fresh browser profile.
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { copyFile, mkdtemp, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { BROWSERS, openPage, pickExample, startSite, statusPart, waitForLed, waitForStatus } from './browsers.mjs';

const SITE = process.env.KVX_SITE;
const EXAMPLES = fileURLToPath(new URL('../../examples/', import.meta.url));
const DOCS = process.env.KVX_SHOTS ? fileURLToPath(new URL('../../docs/', import.meta.url)) : null;
// The native runner the page's results are compared with; the Makefile names it.
const NATIVE = process.env.KVX_NATIVE ?? fileURLToPath(new URL('../../build/cli/kvx', import.meta.url));

// kvx test PROGRAM SCENARIO [--coverage FILE] in `folder`, so the names it prints are the page's.
function kvxTest(folder, args) {
  return new Promise((resolve) => {
    execFile(NATIVE, ['test', ...args], { cwd: folder }, (error, stdout, stderr) =>
      resolve({ code: error?.code ?? 0, stdout, stderr }),
    );
  });
}

async function folderWith(t, files) {
  const folder = await mkdtemp(join(tmpdir(), 'kvx-tools-'));
  t.after(() => rm(folder, { recursive: true, force: true }));
  for (const [name, text] of Object.entries(files)) {
    if (text === null) await copyFile(join(EXAMPLES, name), join(folder, name));
    else await writeFile(join(folder, name), text);
  }
  return folder;
}

// What the page downloads, read from the Blob behind the link instead of the disk, which
// Firefox driven over BiDi does not hand over.
function catchDownloads(page) {
  return page.evaluate(() => {
    window.kvxDownloads = [];
    const blobs = new Map();
    const make = URL.createObjectURL;
    URL.createObjectURL = (blob) => {
      const url = make(blob);
      blobs.set(url, blob);
      return url;
    };
    const click = HTMLAnchorElement.prototype.click;
    HTMLAnchorElement.prototype.click = function () {
      const blob = blobs.get(this.href);
      if (!blob) return click.call(this);
      blob.text().then((text) => window.kvxDownloads.push({ name: this.download, text }));
    };
  });
}

async function downloaded(page) {
  await page.waitForFunction(() => window.kvxDownloads.length > 0);
  return page.evaluate(() => window.kvxDownloads.shift());
}

// An element inside one of the editors' shadow roots.
const inside = (page, host, selector) =>
  page.evaluateHandle((h, s) => document.querySelector(h).shadowRoot.querySelector(s), host, selector);

// Clicks the end of the scenario line `text` and replaces its last character by `last`.
async function changeLastCharacter(page, text, last) {
  const line = await page.evaluateHandle(
    (want) => [...document.querySelector('#scenario-editor').shadowRoot.querySelectorAll('.cm-line')].find((l) => l.textContent === want),
    text,
  );
  await line.click();
  await page.keyboard.press('End');
  await page.keyboard.press('Backspace');
  await page.keyboard.type(last);
}

const summary = (page) =>
  page
    .waitForFunction(() => /passed|error/.test(document.querySelector('#test-summary').textContent), { timeout: 30000 })
    .then(() => page.$eval('#test-summary', (e) => e.textContent));

for (const [name, launch] of Object.entries(BROWSERS)) {
  describe(name, () => {
    let browser;
    let site;
    let open;
    const shots = name === 'chromium' && DOCS !== null;

    before(async () => {
      site = await startSite(SITE);
      browser = await launch();
      open = async (t, url = site.url) => {
        const { page, close } = await openPage(browser, url);
        t.after(async () => {
          assert.deepEqual(await page.problems(), []);
          await close();
        });
        return page;
      };
    });
    after(async () => {
      await browser?.close();
      site?.server.close();
    });

    test('a forced switch drives its LED until Alles entforcen; the table comes back with its program', async (t) => {
      const page = await open(t);
      await pickExample(page, 'timer.awl');
      await page.keyboard.press('F4');
      for (const operand of ['E0.0', 'MW']) {
        await page.type('#watch-add', operand);
        await page.keyboard.press('Enter');
      }
      await page.waitForFunction(() => document.querySelectorAll('#watch-rows tr:not(.watch-message-row)').length === 2);
      assert.match(await page.$eval('#watch-rows tr:nth-child(4)', (e) => e.textContent), /^MW: /);
      await page.type('[aria-label="Steuerwert, Zeile 1"]', '1');
      await page.click('#watch-rows tr:first-child .watch-actions button:nth-child(2)');
      await waitForLed(page, 1, true);
      await waitForStatus(page, 'state', 'Läuft | Forciert');
      assert.equal(await page.$eval('#watch-rows tr:first-child', (e) => e.classList.contains('forced')), true);
      assert.equal(await page.$$eval('#panel .switch.forced', (all) => all.length), 1);
      if (shots) {
        await page.click('#status-toggle');
        await page.waitForSelector('pierce/.cm-status-forced');
        await page.screenshot({ path: `${DOCS}web-watch.png` });
      }
      await page.click('#watch-release-all');
      await waitForLed(page, 1, false);
      await waitForStatus(page, 'state', 'Läuft');
      await page.reload();
      await waitForStatus(page, 'program', 'timer.awl');
      await page.waitForFunction(() => document.querySelector('[aria-label="Operand, Zeile 1"]')?.value === 'E0.0');
    });

    test("Testen reports an example's scenario as kvx test does, failures at their lines", async (t) => {
      const page = await open(t);
      await pickExample(page, 'timer.awl');
      await page.click('#test');
      assert.match(await summary(page), /^23 passed, 0 failed, lines executed: 10 of 10/);
      await page.click('[data-scenario="timer.scn"]');
      await changeLastCharacter(page, 'expect T37 20', '1');
      await page.keyboard.down('Control');
      await page.keyboard.press('t');
      await page.keyboard.up('Control');
      const shown = await summary(page);
      const marked = await (await page.waitForSelector('pierce/.cm-test-failure')).evaluate((e) => e.textContent);
      await catchDownloads(page);
      await page.click('#scenario-download');
      const scenario = await downloaded(page);
      assert.equal(scenario.name, 'timer.scn');
      const folder = await folderWith(t, { 'timer.awl': null, 'timer.scn': scenario.text });
      const native = await kvxTest(folder, ['timer.awl', 'timer.scn', '--coverage', 'cov.info']);
      const lines = native.stdout.trimEnd().split('\n');
      assert.equal(marked, lines[0]);
      assert.match(marked, /^timer\.scn:24: /);
      assert.equal(shown, lines.at(-1));
      if (shots) await page.screenshot({ path: `${DOCS}web-test-failure.png` });
      await changeLastCharacter(page, 'expect T37 21', '0');
      assert.equal((await page.$$('pierce/.cm-test-failure')).length, 0, 'an edit clears the marks');
    });

    test('coverage marks the lines never run and the contacts seen one way', async (t) => {
      const page = await open(t);
      await pickExample(page, 'lamps.awl');
      await page.click('#scenario-new');
      await (await inside(page, '#scenario-editor', '.cm-content')).click();
      await page.keyboard.type('scan\nexpect A0.1 1\n');
      await page.click('#test');
      await summary(page);
      await page.click('#program-tab');
      assert.equal(await summary(page), '1 passed, 0 failed, lines executed: 5 of 7, contacts seen both ways: 0 of 4');
      const marks = await page.evaluate(() =>
        [...document.querySelector('#editor').shadowRoot.querySelectorAll('.cm-cov-never, .cm-cov-oneway')].map(
          (e) => `${e.className.includes('never') ? 'never' : 'oneway'} ${e.textContent}`,
        ),
      );
      assert.deepEqual(
        marks.filter((m) => !m.includes('//')),
        ['oneway LD E0.0', 'oneway U E0.1', 'oneway LDN E0.2', 'never LD M0.0', 'never = A0.7'],
      );
      if (shots) await page.screenshot({ path: `${DOCS}web-coverage.png` });
    });

    test('a recorded session replays green with the native kvx test', async (t) => {
      const page = await open(t);
      await pickExample(page, 'lamps.awl');
      await catchDownloads(page);
      await page.click('#record');
      await waitForStatus(page, 'recording', '● Aufzeichnung: lamps.scn');
      for (const bit of [0, 1, 0]) {
        await page.click(`[aria-label="Schalter E0.${bit}"]`);
        await new Promise((done) => setTimeout(done, 150));
      }
      await page.click('#record');
      await page.waitForSelector('#record-offer:not([hidden])');
      assert.equal(await statusPart(page, 'recording'), '');
      await page.click('#record-download');
      const recording = await downloaded(page);
      assert.equal(recording.name, 'lamps.scn');
      const folder = await folderWith(t, { 'lamps.awl': null, 'lamps.scn': recording.text });
      const native = await kvxTest(folder, ['lamps.awl', 'lamps.scn']);
      assert.equal(native.code, 0, native.stdout + native.stderr);
      assert.match(native.stdout, / 0 failed$/m);
    });

    test('a shared link opens read-only in a fresh profile and runs; too long and broken links are refused', async (t) => {
      const page = await open(t);
      await pickExample(page, 'lamps.awl');
      await page.click('#share');
      await page.click('#share-copy');
      await page.waitForSelector('#share-link:not([hidden])');
      const link = await page.$eval('#share-link', (e) => e.value);
      assert.match(link, /#v1:[A-Za-z0-9_-]+$/);

      const other = await open(t, link);
      await waitForStatus(other, 'program', 'lamps.awl');
      await waitForLed(other, 1, true);
      const editable = () => inside(other, '#editor', '.cm-content').then((e) => e.evaluate((c) => c.contentEditable));
      assert.equal(await editable(), 'false');
      assert.match(await other.$eval('#shared-text', (e) => e.textContent), /^Geteiltes Programm lamps\.awl/);
      await other.click('#shared-edit');
      assert.equal(await editable(), 'true');
      assert.equal(await other.evaluate(() => location.hash), '');

      const broken = await open(t, link.slice(0, -12));
      await broken.waitForFunction(() => !document.querySelector('#message').hidden);
      assert.equal(await broken.$eval('#message', (e) => e.textContent), 'Der Link ist beschädigt oder unvollständig.');

      // Text that deflate cannot shrink much: distinct numbers on every line.
      const big = Array.from({ length: 3000 }, (_, n) => `// ${(n * 7919) % 100003} ${(n * 104729) % 99991}`);
      await page.evaluate(
        (text) => {
          const files = new DataTransfer();
          files.items.add(new File([text], 'big.awl'));
          document.querySelector('#panel').dispatchEvent(new DragEvent('drop', { dataTransfer: files, bubbles: true }));
        },
        ['ORGANIZATION_BLOCK MAIN:OB1', 'BEGIN', 'NETWORK 1', ...big, 'LD E0.0', '= A0.0', 'END_ORGANIZATION_BLOCK'].join('\n'),
      );
      await waitForStatus(page, 'program', 'big.awl');
      await page.click('#share');
      await page.click('#share-copy');
      await page.waitForFunction(() => document.querySelector('#share-message').textContent !== '');
      assert.match(await page.$eval('#share-message', (e) => e.textContent), /^Der Link wäre \d+ Zeichen lang, mehr als die 8000/);
      assert.equal(await page.$eval('#share-link', (e) => e.hidden), true);
    });
  });
}
