// SPDX-License-Identifier: MIT
// Time to interactive of a report page in headless Chromium, offline: from the start of navigation to the
// page's ready flag (first frame drawn, tables filled). node scripts/report-benchmark.mjs REPORT.html [RUNS]
import { statSync } from 'node:fs';

import { launch, openReport, waitUntilReady } from '../tests/report/browser.mjs';

const [file, runsText] = process.argv.slice(2);
if (!file) throw new Error('usage: node scripts/report-benchmark.mjs REPORT.html [RUNS]');
const runs = Number(runsText || 3);
const results = [];
for (let run = 0; run < runs; ++run) {
  // A fresh browser each time: no cache, no warm compiled code.
  const browser = await launch();
  try {
    const { page, log } = await openReport(browser, file);
    if ((await waitUntilReady(page, 120000)) !== 'true') throw new Error('the page failed: ' + log.errors.join('\n'));
    const timings = await page.evaluate(() => window.meshprobeReport.timings);
    const heap = await page.evaluate(() => performance.memory ? performance.memory.usedJSHeapSize : 0);
    results.push({ ...timings, heap });
    console.log(`run ${run + 1}: interactive after ${(timings.readyMs / 1000).toFixed(2)} s ` +
      `(base64 decode ${timings.decodeMs.toFixed(0)} ms, scene ${timings.buildMs.toFixed(0)} ms), JS heap ${(heap / 1e6).toFixed(0)} MB`);
  } finally {
    await browser.close();
  }
}
const ready = results.map((r) => r.readyMs).sort((a, b) => a - b);
console.log(`report ${file}: ${(statSync(file).size / 1e6).toFixed(1)} MB; ` +
  `time to interactive median ${(ready[Math.floor(ready.length / 2)] / 1000).toFixed(2)} s over ${runs} runs`);
