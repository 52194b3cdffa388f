// SPDX-License-Identifier: MIT
// The part as it sits in the printer, for --up and --profile, while every place the page names stays in model
// coordinates; a report without analyses says so.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';

import { cavityRows, checkClean, checkOrientation, checkStanding, checkTable, drainRows, figuresIn, near, openReady, withBrowser,
  workPath } from './fixtures.mjs';
import { viewColours } from './pixels.mjs';

// FDM turned upside down by a profile, with the bracket's cavity drained from below.
const profile = workPath('upside-down.json');
writeFileSync(profile, JSON.stringify({ base: 'fdm', up: '-z' }));
const state = withBrowser({
  'upside-down': ['bracket', '--no-thickness', '--profile', profile, '--directions', '26', '--drain-holes', '2'],
  bare: ['cup', '--no-thickness', '--no-trapped', '--up', '1,0,1'],
});

test('a report without analyses says "not analysed" and stands the part on the plate along an oblique --up', async () => {
  const { page, log } = await openReady(state.browser, state.made.bare.html);
  const notes = await page.evaluate(() => [...document.querySelectorAll('.not-analysed')]
    .map((n) => n.closest('section').id + ': ' + n.textContent));
  const [legendHidden, colours] = [await page.evaluate(() => document.getElementById('legend').hidden), await viewColours(page)];
  const disabled = await page.evaluate(() => [...document.querySelectorAll('input[id^=toggle-]:disabled')].map((box) => box.id.slice(7)));
  await checkStanding(page, [1, 0, 1]);
  await page.close();
  checkClean(log);
  for (const section of ['thickness-section', 'thin-section', 'cavity-section', 'drain-section'])
    assert.ok(notes.some((n) => n.startsWith(section + ': ') && /not (analysed|requested)/.test(n)), section + ' in ' + notes);
  assert.ok(legendHidden && colours.thickness < 0.002);
  assert.deepEqual(disabled, ['thickness', 'thin', 'cavities', 'drain'], 'switches of what was not analysed');
});

test('under a profile\'s -z: labels and tables in model coordinates, drain holes in their own colour, rows turn the part', async () => {
  const { summary, html } = state.made['upside-down'];
  const { page, log } = await openReady(state.browser, html);
  await checkStanding(page, [0, 0, -1]);
  const { cavities } = summary.trapped;
  assert.ok(cavities.length > 0, 'the bracket traps material under -z');
  await checkTable(page, 'cavity-table', cavityRows(cavities));
  await checkTable(page, 'drain-table', drainRows(cavities));
  const shown = await page.evaluate(() => ({ summary: document.getElementById('summary-list').textContent,
    labels: [...document.querySelectorAll('#labels .label')].filter((l) => / mm³/.test(l.textContent)).map((l) => l.textContent) }));
  assert.match(shown.summary, new RegExp(' mm³ in ' + cavities.length + (cavities.length === 1 ? ' cavity' : ' cavities') + ' \\(up -z\\)'));
  cavities.forEach((cavity, i) => near(figuresIn(shown.labels[i].split('lowest')[1]), cavity.lowest_point, 'lowest point on label ' + (i + 1)));
  const lit = await viewColours(page);
  await page.click('#toggle-drain');
  const unlit = await viewColours(page);
  await page.click('#toggle-drain');
  assert.ok(lit.cavity > 0.002 && lit.drain > 0.0001, 'cavity and drain-hole pixels: ' + JSON.stringify(lit));
  assert.ok(unlit.drain < lit.drain / 20, 'drain-hole pixels with the holes off: ' + unlit.drain);
  assert.ok(lit.thin < 1e-5, 'red pixels: ' + lit.thin); // without thickness colours nothing else is red
  await checkOrientation(page, summary, false);
  checkClean(log);
  await page.close();
});
