// SPDX-License-Identifier: MIT
// The orientation table: the page opens with the part standing in the best direction (or in the one the
// user chose), a row's click turns it, overhangs and islands follow, the section plane cuts away what lies
// above it, drain holes keep a colour apart from the thin-wall red and labels never overlap.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';

import { launch, openReport, waitUntilReady } from './browser.mjs';
import { makeReport, WINDOW } from './fixtures.mjs';
import { viewColours } from './pixels.mjs';

const CASES = [
  { tag: 'orient-best', mesh: 'bracket', extra: [...WINDOW, '--drain-holes', '2'], opensBest: true },
  { tag: 'orient-fdm', mesh: 'bracket', extra: ['--no-thickness', '--printer', 'fdm', '--directions', '26'], opensBest: false },
  { tag: 'orient-resin', mesh: 'cup', extra: ['--no-thickness', '--printer', 'bottom-up-resin'], opensBest: false },
];

let browser;
before(async () => {
  const launching = launch();
  try {
    (await Promise.all(CASES.map((c) => makeReport(c.mesh, c.extra, c.tag)))).forEach((r, i) => { CASES[i].report = r; });
  } finally {
    browser = await launching;
  }
});
after(async () => { await browser?.close(); });

async function open(c) {
  const { page, log } = await openReport(browser, c.report.html);
  assert.equal(await waitUntilReady(page), 'true', log.errors.join('\n'));
  return page;
}

/// What the page shows now: the chosen direction, where the model's up and lowest point are drawn, the area
/// of the hatched faces, the island cones, the rows' directions and the current row.
const shown = (page) => page.evaluate(() => {
  const { view } = window.meshprobeReport;
  const d = view.currentDirection();
  const world = (v) => view.model.localToWorld(v.clone()).sub(view.model.localToWorld(v.clone().set(0, 0, 0)));
  const hatch = view.overhangGroup.children.find((m) => m.geometry.type === 'BufferGeometry');
  let area = 0;
  const p = hatch ? hatch.geometry.attributes.position.array : [];
  for (let i = 0; i < p.length; i += 9) {
    const u = [3, 4, 5].map((k) => p[i + k] - p[i + k - 3]), w = [6, 7, 8].map((k) => p[i + k] - p[i + k - 6]);
    area += Math.hypot(u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]) / 2;
  }
  return { up: document.body.dataset.up, drawnUp: world(view.up).toArray(), lowest: view.partBox.min.y, area,
    cones: view.overhangGroup.children.length - (hatch ? 1 : 0), figures: d,
    rows: [...document.querySelectorAll('#orientation-table tbody tr')].map((r) => [r.cells[1].textContent, r.className]),
    rings: view.suctionGroup.visible ? view.suctionGroup.children.length : 0 };
});

function assertStanding(state, direction) {
  assert.equal(state.up, direction.up);
  state.drawnUp.forEach((c, k) => assert.ok(Math.abs(c - [0, 1, 0][k]) < 1e-6, 'drawn up ' + state.drawnUp));
  assert.ok(Math.abs(state.lowest) < 1e-4, 'lowest point at ' + state.lowest);
  assert.ok(Math.abs(state.area - direction.overhang_area) <= 1e-3 * Math.max(1, direction.overhang_area),
    direction.up + ': hatched ' + state.area + ' mm², the tool ' + direction.overhang_area);
  assert.equal(state.cones, direction.island_points.length);
}

test('rows best first; the page opens in the best or the chosen direction; every row turns the part', async () => {
  for (const c of CASES) {
    const { directions, ranking, best_up: best } = c.report.summary.orientation;
    const page = await open(c);
    let state = await shown(page);
    assert.deepEqual(state.rows.map(([up]) => up), directions.map((d) => d.up));
    assert.equal(directions[0].up, best);
    // The first criterion decides within the measurement's noise (5 % of an area, a voxel layer of a volume).
    const key = ranking[0], least = Math.min(...directions.map((d) => d[key]));
    const voxel = Math.max(...directions.map((d) => d.voxel_size));
    assert.ok(directions[0][key] <= least + Math.max(0.05 * least, Math.cbrt(least) ** 2 * voxel, 8 * voxel ** 2), c.tag);
    const opened = c.opensBest ? best : c.report.summary.trapped.up;
    assertStanding(state, directions.find((d) => d.up === opened));
    assert.equal(state.rings > 0, c.report.summary.check?.findings.some((f) => f.code === 'suction_cup') ?? false, c.tag);
    for (let i = directions.length - 1; i >= 0; --i) {
      await page.click('#orientation-table tbody tr:nth-child(' + (i + 1) + ')');
      state = await shown(page);
      assertStanding(state, directions[i]);
      assert.deepEqual(state.rows.map(([, current]) => current === 'current'), directions.map((_, j) => j === i));
      if (directions[i].up !== c.report.summary.trapped.up) assert.equal(state.rings, 0, 'suction cups of another direction');
    }
    await page.close();
  }
});

test('the section plane hides what is above it; holes differ from the thin-wall red; labels do not overlap', async () => {
  const page = await open(CASES[0]);
  await page.evaluate(() => document.getElementById('toggle-cavities').click());
  const section = (value) => page.evaluate((v) => {
    const slider = document.getElementById('section');
    slider.value = v;
    slider.dispatchEvent(new Event('input'));
  }, value);
  const whole = await viewColours(page);
  await section(300);
  const cut = await viewColours(page);
  assert.ok(cut.thickness < 0.7 * whole.thickness, 'coloured part ' + whole.thickness + ' then ' + cut.thickness);
  await section(1000);
  assert.ok((await viewColours(page)).thickness > 0.95 * whole.thickness);

  const colours = await page.evaluate(() => {
    const { view, scene } = window.meshprobeReport;
    const hole = view.drainGroup.children[0].material.color, hue = (c) => c.getHSL({}).h * 360;
    return { hole: hue(hole), red: hue(new hole.constructor(...scene.legend.stops[0].rgb.map((c) => c / 255))) };
  });
  assert.ok(Math.abs(colours.hole - colours.red) > 90, JSON.stringify(colours));

  // From far away every anchor lies close to the others: labels must stack or hide, never overlap.
  await page.evaluate(() => document.getElementById('toggle-cavities').click());
  const boxes = await page.evaluate(() => {
    const { view } = window.meshprobeReport;
    view.camera.position.sub(view.controls.target).multiplyScalar(12).add(view.controls.target);
    view.camera.far *= 20;
    view.camera.updateProjectionMatrix();
    view.renderNow();
    return [...document.querySelectorAll('#labels .label')].filter((l) => !l.hidden).map((l) => {
      const r = l.getBoundingClientRect();
      return [r.left, r.top, r.right, r.bottom];
    });
  });
  assert.ok(boxes.length >= 2, 'labels shown: ' + boxes.length);
  for (const [i, a] of boxes.entries())
    for (const b of boxes.slice(i + 1)) assert.ok(a[2] <= b[0] || b[2] <= a[0] || a[3] <= b[1] || b[3] <= a[1], 'overlap ' + a + ' / ' + b);
  await page.close();
});
