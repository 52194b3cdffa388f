// SPDX-License-Identifier: MIT
// What the page makes of the findings: the tool's cavity numbers (with the gaps --min-cavity leaves), the
// cavities it left out, one colour per cavity shared by its row, label and surface, the drain holes listed
// under their cavity, and the verdict banner of --printer whose findings a click flies the view to.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';

import { makeReport, openReady, withBrowser, workPath } from './fixtures.mjs';

/// A 20 mm cube with two sealed voids: a 2 mm one low down (the tool's cavity 1) and a 6 x 6 x 8 mm one above.
function twoVoids() {
  const lines = [];
  const box = ([x0, y0, z0], [x1, y1, z1], inward, first) => {
    for (const [x, y, z] of [[x0, y0, z0], [x1, y0, z0], [x1, y1, z0], [x0, y1, z0], [x0, y0, z1], [x1, y0, z1], [x1, y1, z1], [x0, y1, z1]])
      lines.push(`v ${x} ${y} ${z}`);
    for (const q of [[1, 4, 3, 2], [5, 6, 7, 8], [1, 2, 6, 5], [2, 3, 7, 6], [3, 4, 8, 7], [4, 1, 5, 8]]) {
      const [a, b, c, d] = (inward ? [...q].reverse() : q).map((v) => v + first);
      lines.push(`f ${a} ${b} ${c}`, `f ${a} ${c} ${d}`);
    }
  };
  box([0, 0, 0], [20, 20, 20], false, 0);
  box([3, 3, 2], [5, 5, 4], true, 8);
  box([7, 7, 8], [13, 13, 16], true, 16);
  writeFileSync(workPath('two-voids.obj'), lines.join('\n') + '\n');
  return workPath('two-voids.obj');
}

const MIN_CAVITY = 50; // mm³: between the two voids
const state = withBrowser(() => {
  const options = ['--no-thickness', '--drain-holes', '1'];
  return Promise.all([makeReport(twoVoids(), options, 'two-voids-all'),
    makeReport(workPath('two-voids.obj'), [...options, '--min-cavity', String(MIN_CAVITY)], 'two-voids-filtered'),
    makeReport('cup', ['--printer', 'bottom-up-resin', '--no-thickness'], 'verdict')]);
});

/// What a user reads of the findings on a page: cavity rows with their swatch colours, labels, drain rows,
/// the summary, the colour each cavity surface is drawn in, and the verdict.
async function readFindings(file, keepOpen = false) {
  const { page, log } = await openReady(state.browser, file);
  const read = await page.evaluate(() => ({
    rows: [...document.querySelectorAll('#cavity-table tbody tr')].map((r) => ({
      name: r.cells[0].textContent.trim(), swatch: getComputedStyle(r.querySelector('.swatch')).backgroundColor })),
    labels: [...document.querySelectorAll('#labels .label')].filter((l) => /^\w+-\d+ · /.test(l.textContent))
      .map((l) => ({ name: l.textContent.split(' · ')[0], colour: getComputedStyle(l).borderLeftColor })),
    drains: [...document.querySelectorAll('#drain-table tbody tr')].map((r) => r.cells[1].textContent.trim()),
    summary: document.getElementById('summary-list').textContent,
    drawn: window.meshprobeReport.view.cavityGroup.children.map((m) => m.material.color.getHexString()),
    verdict: document.getElementById('verdict-section').hidden ? null : {
      banner: document.getElementById('verdict').textContent, className: document.getElementById('verdict').className,
      codes: [...document.querySelectorAll('#finding-table tbody tr')].map((row) => row.children[1].textContent) },
  }));
  assert.deepEqual(log.errors, []);
  if (!keepOpen) await page.close();
  return keepOpen ? { read, page } : read;
}

const css = (hex) => 'rgb(' + [0, 2, 4].map((i) => parseInt(hex.slice(i, i + 2), 16)).join(', ') + ')';

describe('cavities on the page', () => {
  test('every cavity is listed and labelled under the tool\'s number, in one colour of its own', async () => {
    const { summary, html } = state.made[0];
    const cavities = summary.trapped.cavities;
    assert.deepEqual(cavities.map((c) => c.number), [1, 2]);
    assert.ok(cavities[0].volume < MIN_CAVITY && cavities[1].volume > MIN_CAVITY, 'volumes ' + cavities.map((c) => c.volume));
    const page = await readFindings(html);
    const names = cavities.map((c) => c.name + '-' + c.number);
    assert.deepEqual([page.rows.map((r) => r.name), page.labels.map((l) => l.name)], [names, names]);
    assert.equal(new Set(page.drawn).size, 2, 'one colour per cavity: ' + page.drawn);
    page.drawn.forEach((hex, i) => assert.deepEqual([page.rows[i].swatch, page.labels[i].colour], [css(hex), css(hex)], 'cavity ' + i));
    assert.match(page.summary, /trapped volume[\d.,]+ mm³ in 2 cavities/);
    assert.doesNotMatch(page.summary, /tiny cavities/);
    // Drain and vent rows name their cavity by the same number; no verdict without --printer.
    assert.ok(page.drains.length >= 2);
    for (const row of page.drains) assert.match(row, /^Closed-[12] (drain|vent)$/);
    assert.equal(page.verdict, null);
  });

  test('cavities below --min-cavity are counted apart and the others keep their numbers', async () => {
    const [small, large] = state.made[0].summary.trapped.cavities;
    const page = await readFindings(state.made[1].html);
    assert.deepEqual([page.rows.map((r) => r.name), page.labels.map((l) => l.name)], [[large.name + '-2'], [large.name + '-2']]);
    for (const row of page.drains) assert.match(row, /^Closed-2 (drain|vent)$/);
    assert.match(page.summary, /trapped volume[\d.,]+ mm³ in 1 cavity \(/);
    const tiny = page.summary.match(/tiny cavities1 below 50 mm³, ([\d.,]+) mm³ in all \(not listed\)/);
    assert.ok(tiny, page.summary);
    assert.ok(Math.abs(Number(tiny[1].replace(/,/g, '')) - small.volume) < 1e-3 * small.volume, tiny[1] + ' vs ' + small.volume);
  });
});

test('report --printer opens with the tool\'s verdict, a row per finding, and a click flies to its place', async () => {
  const { summary, html } = state.made[2];
  const check = summary.check;
  const { read, page } = await readFindings(html, true);
  try {
    assert.ok(check.findings.length > 0, 'the cup under a bottom-up printer has findings');
    assert.match(read.verdict.banner, new RegExp('^' + check.verdict.toUpperCase() + ' for bottom-up-resin'));
    assert.equal(read.verdict.className, 'verdict ' + check.verdict);
    assert.deepEqual(read.verdict.codes, check.findings.map((f) => f.code));
    const index = check.findings.findIndex((f) => Array.isArray(f.where));
    assert.ok(index >= 0, 'a finding with a place');
    await page.evaluate(() => { window.meshprobeReport.view.flyMilliseconds = 150; });
    await page.click('#finding-table tbody tr:nth-child(' + (index + 1) + ')');
    await page.waitForFunction((k) => document.body.dataset.selected === k, { timeout: 20000 }, 'finding-' + (index + 1));
    // The place is in model coordinates; the view centres on where the turned part shows it.
    const { target, shown } = await page.evaluate((point) => {
      const { view } = window.meshprobeReport;
      return { target: view.controls.target.toArray(), shown: view.model.localToWorld(view.controls.target.clone().fromArray(point)).toArray() };
    }, check.findings[index].where);
    assert.ok(Math.hypot(...target.map((t, k) => t - shown[k])) < 1e-3, 'view centred on ' + shown + ', not ' + target);
  } finally {
    await page.close();
  }
});
