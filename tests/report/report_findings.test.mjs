// SPDX-License-Identifier: MIT
// The page's cavities: the tool's numbers (with the gaps --min-cavity leaves) and figures in rows and labels,
// one colour per cavity shared by row, label and surface, the drain holes under their cavity, those left out.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';

import { cavityRows, checkClean, checkTable, drainRows, figuresIn, near, openReady, thinRows, withBrowser, workPath } from './fixtures.mjs';

/// A 20 mm cube with three sealed voids: 2 and 3 mm cubes low down (cavities 1 and 2), a 6 x 6 x 8 mm one above.
function threeVoids() {
  const lines = [];
  const box = (low, high, inward) => {
    const first = lines.filter((l) => l[0] === 'v').length + 1; // corner c at low or high by its bits 1, 2, 4
    for (let c = 0; c < 8; ++c) lines.push('v ' + [0, 1, 2].map((k) => ((c >> k) & 1 ? high : low)[k]).join(' '));
    for (const q of [[0, 2, 3, 1], [4, 5, 7, 6], [0, 1, 5, 4], [1, 3, 7, 5], [3, 2, 6, 7], [2, 0, 4, 6]]) {
      const [a, b, c, d] = (inward ? [...q].reverse() : q).map((v) => v + first);
      lines.push(`f ${a} ${b} ${c}`, `f ${a} ${c} ${d}`);
    }
  };
  box([0, 0, 0], [20, 20, 20], false);
  box([3, 3, 2], [5, 5, 4], true);
  box([14, 14, 3], [17, 17, 6], true);
  box([7, 7, 8], [13, 13, 16], true);
  writeFileSync(workPath('three-voids.obj'), lines.join('\n') + '\n');
  return workPath('three-voids.obj');
}

// Each case: --min-cavity (mm³), the cavities listed (of the three), and the summary's wording.
const CASES = [
  { min: 0, listed: [0, 1, 2], count: '3 cavities', tiny: null },
  { min: 10, listed: [1, 2], count: '2 cavities', tiny: 1 },
  { min: 50, listed: [2], count: '1 cavity', tiny: 2 },
];
const options = [threeVoids(), '--min', '1', '--max', '4', '--drain-holes', '1']; // walls 2 and 3 mm thin
const state = withBrowser(Object.fromEntries(CASES.map(({ min }) => ['min-' + min, [...options, '--min-cavity', String(min)]])));
const css = (hex) => 'rgb(' + [0, 2, 4].map((i) => parseInt(hex.slice(i, i + 2), 16)).join(', ') + ')';

for (const { min, listed, count, tiny } of CASES)
  test('--min-cavity ' + min + ': each cavity listed and labelled under the tool\'s number with its figures, in a colour of its own', async () => {
    const all = state.made['min-0'].summary.trapped.cavities, { trapped } = state.made['min-' + min].summary;
    assert.deepEqual(all.map((c) => [c.number, CASES.filter((kept) => c.volume >= kept.min).length]), [[1, 1], [2, 2], [3, 3]]);
    const cavities = listed.map((i) => all[i]);
    const { page: tab, log } = await openReady(state.browser, state.made['min-' + min].html);
    await checkTable(tab, 'cavity-table', cavityRows(cavities));
    await checkTable(tab, 'drain-table', drainRows(cavities));
    await checkTable(tab, 'thin-table', thinRows(state.made['min-' + min].summary.thin_areas));
    const page = await tab.evaluate(() => ({
      swatches: [...document.querySelectorAll('#cavity-table .swatch')].map((s) => getComputedStyle(s).backgroundColor),
      labels: [...document.querySelectorAll('#labels .label')].filter((l) => /^\w+-\d+ · /.test(l.textContent))
        .map((l) => ({ text: l.textContent, colour: getComputedStyle(l).borderLeftColor })),
      summary: document.getElementById('summary-list').textContent,
      drawn: window.meshprobeReport.view.cavityGroup.children.map((m) => m.material.color.getHexString()),
    }));
    await tab.close();
    checkClean(log);
    cavities.forEach((cavity, i) => {
      const label = page.labels[i]?.text.match(/^(\w+-\d+) · ([\d.]+) mm³centre (.*) mmlowest (.*) mm$/);
      assert.equal(label?.[1], cavity.name + '-' + cavity.number, 'label ' + page.labels[i]?.text);
      near([Number(label[2]), ...figuresIn(label[3]), ...figuresIn(label[4])],
        [cavity.volume, ...cavity.centroid, ...cavity.lowest_point], label[0]);
    });
    assert.equal(new Set(page.drawn).size, cavities.length, 'one colour per cavity: ' + page.drawn);
    page.drawn.forEach((hex, i) => assert.deepEqual([page.swatches[i], page.labels[i].colour], [css(hex), css(hex)], 'cavity ' + i));
    // The summary: the total trapped volume, the cavities listed and those left out.
    const total = page.summary.match(/trapped volume([\d.]+) mm³ in (\d+ cavit\w+) \(/);
    assert.equal(total?.[2], count, page.summary);
    near([Number(total[1])], [trapped.trapped_volume], 'trapped volume');
    const left = page.summary.match(/tiny cavities(\d+) below (\d+) mm³, ([\d.]+) mm³ in all \(not listed\)/);
    if (tiny === null) return assert.equal(left, null, page.summary);
    const smallVolume = all.filter((_, i) => !listed.includes(i)).reduce((sum, c) => sum + c.volume, 0);
    near(figuresIn(left?.slice(1).join(' ') ?? ''), [tiny, min, smallVolume], 'tiny cavities in ' + page.summary);
  });
