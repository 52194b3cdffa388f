// SPDX-License-Identifier: MIT
// Opens report pages in Debian's headless Chromium with every network request refused, and collects what
// the page logs: shared by the browser tests and the benchmark.
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
// puppeteer-core lives in report/node_modules (npm ci there).
const require = createRequire(join(here, '..', '..', 'report', 'package.json'));
const puppeteer = require('puppeteer-core');

export const CHROMIUM = process.env.MESHPROBE_CHROMIUM || '/usr/bin/chromium';

export const launch = () => puppeteer.launch({
  executablePath: CHROMIUM, headless: true, defaultViewport: { width: 1280, height: 800 },
  args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--use-gl=swiftshader', '--enable-unsafe-swiftshader',
    '--window-size=1280,800', '--host-resolver-rules=MAP * ~NOTFOUND'],
});

/// Opens the file with request interception that aborts anything but data: and blob: URLs (and the file
/// itself), and records console errors, page errors and refused requests.
export async function openReport(browser, file) {
  const page = await browser.newPage();
  const log = { errors: [], refused: [] };
  page.on('console', (message) => { if (message.type() === 'error') log.errors.push(message.text()); });
  page.on('pageerror', (error) => log.errors.push(String(error)));
  await page.setRequestInterception(true);
  const url = pathToFileURL(file).href;
  page.on('request', (request) => {
    const target = request.url();
    if (target === url || /^(data|blob):/.test(target)) return request.continue();
    log.refused.push(target);
    request.abort();
  });
  await page.goto(url, { waitUntil: 'load', timeout: 60000 });
  return { page, log };
}

/// Waits until the page says it is ready (or failed); returns the final state.
export async function waitUntilReady(page, timeout = 60000) {
  await page.waitForFunction(() => document.body.dataset.ready === 'true' || document.body.dataset.ready === 'error',
    { timeout, polling: 50 });
  return page.evaluate(() => document.body.dataset.ready);
}
