// What the browser tests and the bench share: Debian's browsers driven by puppeteer-core, the
// site served on a free local port, and the page's controls found as a user finds them.
import { readFile } from 'node:fs/promises';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';
import { serveSite } from '../serve.mjs';

export const BROWSERS = {
  chromium: () =>
    puppeteer.launch({
      executablePath: process.env.KVX_CHROMIUM ?? '/usr/bin/chromium',
      headless: true,
      args: ['--no-sandbox', '--disable-gpu'],
    }),
  firefox: () =>
    puppeteer.launch({
      browser: 'firefox',
      protocol: 'webDriverBiDi',
      executablePath: process.env.KVX_FIREFOX ?? '/usr/bin/firefox-esr',
      headless: true,
    }),
};

export async function startSite(siteDir) {
  const server = await serveSite(siteDir, 0);
  return { server, url: `http://127.0.0.1:${server.address().port}/` };
}

export async function exampleNames(siteDir) {
  const index = JSON.parse(await readFile(join(siteDir, 'examples', 'index.json'), 'utf8'));
  return index.map((entry) => entry.name);
}

// A page in a context of its own, so no test sees another's stored program. Errors thrown in
// the page and blocked content (the CSP) are collected for the test to check.
export async function openPage(browser, url) {
  const context = await browser.createBrowserContext();
  const page = await context.newPage();
  await page.setViewport({ width: 1280, height: 800 });
  const problems = [];
  page.on('pageerror', (error) => problems.push(`page error: ${error.message}`));
  await page.evaluateOnNewDocument(() => {
    document.addEventListener('securitypolicyviolation', (event) => {
      (window.kvxViolations ??= []).push(`${event.violatedDirective} ${event.blockedURI}`);
    });
  });
  await page.goto(url);
  await page.waitForFunction(() => document.querySelector('#status-line').textContent.includes('Faktor'));
  page.problems = async () => [...problems, ...(await page.evaluate(() => window.kvxViolations ?? []))];
  return { page, close: () => context.close() };
}

export const statusPart = (page, part) => page.$eval(`.status-${part}`, (e) => e.textContent);

export function waitForStatus(page, part, text, timeout = 10000) {
  return page.waitForFunction(
    (selector, want) => document.querySelector(selector)?.textContent === want,
    { timeout },
    `.status-${part}`,
    text,
  );
}

export async function pickExample(page, name) {
  // The menu is filled once the examples have arrived, which a busy machine may delay.
  await page.waitForFunction((selector) => document.querySelector(selector) !== null, {}, `[data-example="${name}"]`);
  await page.click('#examples');
  await page.click(`[data-example="${name}"]`);
  await waitForStatus(page, 'program', name);
}

export const ledLabel = (page, bit) => page.$eval(`[aria-label^="LED A0.${bit}:"]`, (e) => e.getAttribute('aria-label'));

export function waitForLed(page, bit, on, timeout = 5000) {
  return page.waitForFunction(
    (selector, want) => document.querySelector(selector)?.getAttribute('aria-label').endsWith(want),
    { timeout },
    `[aria-label^="LED A0.${bit}:"]`,
    on ? ': an' : ': aus',
  );
}

// The editor sits in a shadow root; its lines as the user sees them.
export const editorLines = (page) =>
  page.evaluate(() => [...document.querySelector('#editor').shadowRoot.querySelectorAll('.cm-line')].map((l) => l.textContent));

export const inEditor = (page, selector) => page.$$(`pierce/${selector}`);
