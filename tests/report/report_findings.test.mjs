// SPDX-License-Identifier: MIT
// What the page makes of the findings: the tool's cavity numbers (with the gaps --min-cavity leaves), the
// cavities it left out, one colour per cavity shared by its row, label and surface, and the drain holes
// listed under their cavity.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';

import { launch, openReport, waitUntilReady } from './browser.mjs';
import { makeReportOf, workPath } from './fixtures.mjs';

/// A 20 mm cube with two sealed voids: a 2 mm one low down (the tool's cavity 1) and a 6 x 6 x 8 mm one above.
function twoVoids() {
  const lines = [];
  let count = 0;
  const box = ([x0, y0, z0], [x1, y1, z1], inward) => {
    for (const [x, y, z] of [[x0, y0, z0], [x1, y0, z0], [x1, y1, z0], [x0, y1, z0], [x0, y0, z1], [x1, y0, z1], [x1, y1, z1], [x0, y1, z1]])
      lines.push(`v ${x} ${y} ${z}`);
    const quads = [[1, 4, 3, 2], [5, 6, 7, 8], [1, 2, 6, 5], [2, 3, 7, 6], [3, 4, 8, 7], [4, 1, 5, 8]];
    for (const q of quads) {
      const [a, b, c, d] = (inward ? [...q].reverse() : q).map((v) => v + count);
      lines.push(`f ${a} ${b} ${c}`, `f ${a} ${c} ${d}`);
    }
    count += 8;
  };
  box([0, 0, 0], [20, 20, 20], false);
  box([3, 3, 2], [5, 5, 4], true);
  box([7, 7, 8], [13, 13, 16], true);
  const path = workPath('two-voids.obj');
  writeFileSync(path, lines.join('\n') + '\n');
  return path;
}

const MIN_CAVITY = 50; // mm³: between the two voids
let browser, all, filtered;
before(async () => {
  const launching = launch();
  try {
    const mesh = twoVoids();
    const options = ['--no-thickness', '--drain-holes', '1'];
    [all, filtered] = await Promise.all([makeReportOf(mesh, 'two-voids-all', options),
      makeReportOf(mesh, 'two-voids-filtered', [...options, '--min-cavity', String(MIN_CAVITY)])]);
  } finally {
    browser = await launching;
  }
});
after(async () => { await browser?.close(); });

/// What a user reads of the cavities on a page: table rows with their swatch colours, labels, drain rows,
/// the summary, and the colour each cavity surface is drawn in.
async function readCavities(file) {
  const { page, log } = await openReport(browser, file);
  assert.equal(await waitUntilReady(page), 'true', log.errors.join('\n'));
  const read = await page.evaluate(() => ({
    rows: [...document.querySelectorAll('#cavity-table tbody tr')].map((r) => ({
      name: r.cells[0].textContent.trim(), swatch: getComputedStyle(r.querySelector('.swatch')).backgroundColor })),
    labels: [...document.querySelectorAll('#labels .label')].filter((l) => /^\w+-\d+ · /.test(l.textContent))
      .map((l) => ({ text: l.textContent, colour: getComputedStyle(l).borderLeftColor })),
    drains: [...document.querySelectorAll('#drain-table tbody tr')].map((r) => r.cells[1].textContent.trim()),
    summary: document.getElementById('summary-list').textContent,
    drawn: window.meshprobeReport.view.cavityGroup.children.map((m) => m.material.color.getHexString()),
  }));
  await page.close();
  assert.deepEqual(log.errors, []);
  return read;
}

const css = (hex) => 'rgb(' + [0, 2, 4].map((i) => parseInt(hex.slice(i, i + 2), 16)).join(', ') + ')';

describe('cavities on the page', () => {
  test('every cavity is listed and labelled under the tool\'s number, in one colour of its own', async () => {
    const cavities = all.summary.trapped.cavities;
    assert.deepEqual(cavities.map((c) => c.number), [1, 2]);
    assert.ok(cavities[0].volume < MIN_CAVITY && cavities[1].volume > MIN_CAVITY, 'volumes ' + cavities.map((c) => c.volume));
    const page = await readCavities(all.html);
    const names = cavities.map((c) => c.name + '-' + c.number);
    assert.deepEqual(page.rows.map((r) => r.name), names);
    assert.deepEqual(page.labels.map((l) => l.text.split(' · ')[0]), names);
    assert.equal(new Set(page.drawn).size, 2, 'one colour per cavity: ' + page.drawn);
    page.drawn.forEach((hex, i) => {
      assert.equal(page.rows[i].swatch, css(hex), 'row ' + i);
      assert.equal(page.labels[i].colour, css(hex), 'label ' + i);
    });
    assert.match(page.summary, /trapped volume[\d.,]+ mm³ in 2 cavities/);
    assert.doesNotMatch(page.summary, /tiny cavities/);
    // Drain and vent rows name their cavity by the same number.
    assert.ok(page.drains.length >= 2);
    for (const row of page.drains) assert.match(row, /^Closed-[12] (drain|vent)$/);
  });

  test('cavities below --min-cavity are counted apart and the others keep their numbers', async () => {
    const [small, large] = all.summary.trapped.cavities;
    const page = await readCavities(filtered.html);
    assert.deepEqual(page.rows.map((r) => r.name), [large.name + '-2']);
    assert.deepEqual(page.labels.map((l) => l.text.split(' · ')[0]), [large.name + '-2']);
    for (const row of page.drains) assert.match(row, /^Closed-2 (drain|vent)$/);
    assert.match(page.summary, /trapped volume[\d.,]+ mm³ in 1 cavity \(/);
    const tiny = page.summary.match(/tiny cavities1 below 50 mm³, ([\d.,]+) mm³ in all \(not listed\)/);
    assert.ok(tiny, page.summary);
    assert.ok(Math.abs(Number(tiny[1].replace(/,/g, '')) - small.volume) < 1e-3 * small.volume, tiny[1] + ' vs ' + small.volume);
  });
});
