// SPDX-License-Identifier: MIT
// What the page makes of the cavities: the tool's numbers (with the gaps --min-cavity leaves), the cavities
// it left out, one colour per cavity shared by its row, label and surface, labels that name each cavity's
// volume and places, and the drain holes listed under their cavity.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';

import { cavityRows, checkClean, checkTable, drainRows, figuresIn, near, openReady, withBrowser, workPath } from './fixtures.mjs';

/// A 20 mm cube with three sealed voids: 2 and 3 mm cubes low down (the tool's cavities 1 and 2) and a
/// 6 x 6 x 8 mm one above them.
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

const MIN_CAVITY = 50; // mm³: between the small voids and the large one
const options = [threeVoids(), '--no-thickness', '--drain-holes', '1'];
const state = withBrowser({ all: options, filtered: [...options, '--min-cavity', String(MIN_CAVITY)] });

const css = (hex) => 'rgb(' + [0, 2, 4].map((i) => parseInt(hex.slice(i, i + 2), 16)).join(', ') + ')';

// Each case: the page, the cavities it lists (indices into the unfiltered list), and the summary's wording.
const CASES = [
  { name: 'all', listed: [0, 1, 2], count: '3 cavities', tiny: null },
  { name: 'filtered', listed: [2], count: '1 cavity', tiny: 2 },
];

for (const { name, listed, count, tiny } of CASES)
  test(name + ': each cavity listed and labelled under the tool\'s number with its figures, in a colour of its own', async () => {
    const all = state.made.all.summary.trapped.cavities, { trapped } = state.made[name].summary;
    assert.deepEqual(all.map((c) => [c.number, c.volume < MIN_CAVITY]), [[1, true], [2, true], [3, false]]);
    const cavities = listed.map((i) => all[i]);
    const { page: tab, log } = await openReady(state.browser, state.made[name].html);
    await checkTable(tab, 'cavity-table', cavityRows(cavities));
    await checkTable(tab, 'drain-table', drainRows(cavities));
    // What a user sees besides: swatch colours, labels, the summary, and the colours the surfaces are drawn in.
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
    near(figuresIn(left?.slice(1).join(' ') ?? ''), [tiny, MIN_CAVITY, smallVolume], 'tiny cavities in ' + page.summary);
  });
