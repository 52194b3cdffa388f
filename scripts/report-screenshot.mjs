// SPDX-License-Identifier: MIT
// Screenshot of a report page as it first opens, offline: node scripts/report-screenshot.mjs REPORT.html OUT.png
import { launch, openReport, waitUntilReady } from '../tests/report/browser.mjs';

const [file, output] = process.argv.slice(2);
if (!file || !output) throw new Error('usage: node scripts/report-screenshot.mjs REPORT.html OUT.png');
const browser = await launch();
try {
  const { page, log } = await openReport(browser, file);
  await page.setViewport({ width: 1200, height: 720 });
  if ((await waitUntilReady(page)) !== 'true') throw new Error('the page failed: ' + log.errors.join('\n'));
  await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
  await page.screenshot({ path: output });
  if (log.errors.length || log.refused.length) throw new Error('console errors or requests: ' + JSON.stringify(log));
} finally {
  await browser.close();
}
