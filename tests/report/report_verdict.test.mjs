// SPDX-License-Identifier: MIT
// The verdict banner of `report --printer`: the cup faces the vat of a bottom-up resin printer, so the page
// opens with a failing verdict, lists the tool's findings, and a click on one flies the view to its place.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';

import { launch, openReport, waitUntilReady } from './browser.mjs';
import { makeReport } from './fixtures.mjs';

let browser;
let judged;
let plain;
before(async () => {
  const launching = launch();
  try {
    [judged, plain] = await Promise.all([
      makeReport('cup', ['--printer', 'bottom-up-resin', '--no-thickness'], 'verdict'),
      makeReport('cup', ['--no-thickness'], 'no-verdict'),
    ]);
  } finally {
    browser = await launching;
  }
});
after(async () => { await browser?.close(); });

describe('report --printer', () => {
  let page, log;
  before(async () => {
    ({ page, log } = await openReport(browser, judged.html));
    assert.equal(await waitUntilReady(page), 'true', 'page not ready; errors: ' + log.errors.join('\n'));
  });
  after(async () => { await page?.close(); });

  test('opens with the verdict the tool computed and one row per finding', async () => {
    const check = judged.summary.check;
    assert.ok(check.findings.length > 0, 'the cup under a bottom-up printer has findings');
    const shown = await page.evaluate(() => ({
      hidden: document.getElementById('verdict-section').hidden,
      banner: document.getElementById('verdict').textContent,
      className: document.getElementById('verdict').className,
      codes: [...document.querySelectorAll('#finding-table tbody tr')].map((row) => row.children[1].textContent),
    }));
    assert.equal(shown.hidden, false);
    assert.match(shown.banner, new RegExp('^' + check.verdict.toUpperCase() + ' for bottom-up-resin'));
    assert.equal(shown.className, 'verdict ' + check.verdict);
    assert.deepEqual(shown.codes, check.findings.map((f) => f.code));
    assert.deepEqual(log.errors, []);
  });

  test('clicking a finding flies the view to its place', async () => {
    const index = judged.summary.check.findings.findIndex((f) => Array.isArray(f.where));
    assert.ok(index >= 0, 'a finding with a place');
    await page.click('#finding-table tbody tr:nth-child(' + (index + 1) + ')');
    const key = 'finding-' + (index + 1);
    await page.waitForFunction((k) => document.body.dataset.selected === k, { timeout: 20000 }, key);
    // The place is in model coordinates; the view centres on where the turned part shows it.
    const where = judged.summary.check.findings[index].where;
    const { target, shown } = await page.evaluate((point) => {
      const { view } = window.meshprobeReport;
      return { target: view.controls.target.toArray(), shown: view.model.localToWorld(view.controls.target.clone().fromArray(point)).toArray() };
    }, where);
    const distance = Math.hypot(...target.map((t, k) => t - shown[k]));
    assert.ok(distance < 1e-3, 'view centred on ' + shown + ' (' + where + ' in the model), not ' + target);
  });
});

test('without --printer or --profile the page has no verdict', async () => {
  const { page, log } = await openReport(browser, plain.html);
  try {
    assert.equal(await waitUntilReady(page), 'true', 'page not ready; errors: ' + log.errors.join('\n'));
    assert.equal(plain.summary.check, undefined);
    assert.equal(await page.evaluate(() => document.getElementById('verdict-section').hidden), true);
  } finally {
    await page.close();
  }
});
