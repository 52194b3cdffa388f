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
  { tag: 'orient-fdm', mesh: 'bracket', extra: ['--no-thickness', '--printer', 'fdm', '--directions', '26'] },
  { tag: 'orient-resin', mesh: 'cup', extra: ['--no-thickness', '--printer', 'bottom-up-resin'] },
];

let browser;
before(async () => {
  [browser] = await Promise.all([launch(), ...CASES.map(async (c) => { c.report = await makeReport(c.mesh, c.extra, c.tag); })]);
});
after(async () => { await browser?.close(); });

async function open(c) {
  const { page, log } = await openReport(browser, c.report.html);
  assert.equal(await waitUntilReady(page), 'true', log.errors.join('\n'));
  return page;
}

/// What the page shows: its direction, where the model's up and lowest point are drawn, the area of the
/// hatched faces, the island cones, the suction-cup rings and which row is current.
const shown = (page) => page.evaluate(() => {
  const { view } = window.meshprobeReport;
  const hatch = view.overhangGroup.children.find((m) => m.geometry.type === 'BufferGeometry');
  const p = hatch?.geometry.attributes.position.array ?? [];
  let area = 0;
  for (let i = 0; i < p.length; i += 9) {
    const u = [0, 1, 2].map((k) => p[i + 3 + k] - p[i + k]), w = [0, 1, 2].map((k) => p[i + 6 + k] - p[i + k]);
    area += Math.hypot(u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]) / 2;
  }
  const drawnUp = view.model.localToWorld(view.up.clone()).sub(view.model.localToWorld(view.up.clone().set(0, 0, 0)));
  return { up: document.body.dataset.up, drawnUp: drawnUp.toArray(), lowest: view.partBox.min.y, area,
    cones: view.overhangGroup.children.length - (hatch ? 1 : 0), rings: view.suctionGroup.visible ? view.suctionGroup.children.length : 0,
    rows: [...document.querySelectorAll('#orientation-table tbody tr')].map((r) => [r.cells[1].textContent, r.className]) };
});

function assertStanding(state, d) {
  assert.equal(state.up, d.up);
  state.drawnUp.forEach((c, k) => assert.ok(Math.abs(c - [0, 1, 0][k]) < 1e-6, 'drawn up ' + state.drawnUp));
  assert.ok(Math.abs(state.lowest) < 1e-4, 'lowest point at ' + state.lowest);
  assert.ok(Math.abs(state.area - d.overhang_area) <= 1e-3 * Math.max(1, d.overhang_area), d.up + ': hatched ' + state.area);
  assert.equal(state.cones, d.island_points.length);
}

test('rows best first; the page opens in the best or the chosen direction; every row turns the part', async () => {
  for (const c of CASES) {
    const { summary } = c.report, { directions, ranking, best_up: best } = summary.orientation;
    const page = await open(c);
    let state = await shown(page);
    assert.deepEqual([best, ...state.rows.map(([up]) => up)], [directions[0].up, ...directions.map((d) => d.up)]);
    // The first criterion decides within the measurement's noise (5 % of an area, a voxel layer of a volume).
    const key = ranking[0], least = Math.min(...directions.map((d) => d[key])), voxel = directions[0].voxel_size;
    assert.ok(directions[0][key] <= least + Math.max(0.05 * least, Math.cbrt(least) ** 2 * voxel, 8 * voxel ** 2), c.tag);
    assertStanding(state, directions.find((d) => d.up === (c.opensBest ? best : summary.trapped.up)));
    const cups = summary.check?.findings.some((f) => f.code === 'suction_cup') ?? false;
    assert.equal(state.rings > 0, cups && (!c.opensBest || best === summary.trapped.up), c.tag);
    for (let i = directions.length - 1; i >= 0; --i) {
      await page.click('#orientation-table tbody tr:nth-child(' + (i + 1) + ')');
      state = await shown(page);
      assertStanding(state, directions[i]);
      assert.deepEqual(state.rows.map(([, current]) => current === 'current'), directions.map((_, j) => j === i));
      assert.equal(state.rings > 0, cups && directions[i].up === summary.trapped.up, 'suction cups of the judged direction only');
    }
    await page.close();
  }
});

test('the section plane hides what is above it; holes differ from the thin-wall red; labels do not overlap', async () => {
  const page = await open(CASES[0]);
  const toggleCavities = () => page.evaluate(() => document.getElementById('toggle-cavities').click());
  const section = (value) => page.evaluate((v) => Object.assign(document.getElementById('section'), { value: v })
    .dispatchEvent(new Event('input')), value);
  await toggleCavities();
  const whole = (await viewColours(page)).thickness;
  await section(300);
  assert.ok((await viewColours(page)).thickness < 0.7 * whole, 'a section at 30 % of the height');
  await section(1000);
  assert.ok((await viewColours(page)).thickness > 0.95 * whole, 'no section');
  const hues = await page.evaluate(() => {
    const { view, scene } = window.meshprobeReport, hole = view.drainGroup.children[0].material.color;
    return [hole, new hole.constructor(...scene.legend.stops[0].rgb.map((c) => c / 255))].map((c) => c.getHSL({}).h * 360);
  });
  assert.ok(Math.abs(hues[0] - hues[1]) > 90, 'hues ' + hues);

  // From far away the anchors crowd together: labels must stack or hide, never overlap.
  await toggleCavities();
  const boxes = await page.evaluate(() => {
    const { view } = window.meshprobeReport;
    view.camera.position.sub(view.controls.target).multiplyScalar(12).add(view.controls.target);
    view.camera.far *= 20;
    view.camera.updateProjectionMatrix();
    view.renderNow();
    return [...document.querySelectorAll('#labels .label')].filter((l) => !l.hidden).map((l) => l.getBoundingClientRect().toJSON());
  });
  assert.ok(boxes.length >= 2, 'labels shown: ' + boxes.length);
  for (const [i, a] of boxes.entries())
    for (const b of boxes.slice(i + 1))
      assert.ok(a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top, 'overlap ' + JSON.stringify([a, b]));
  await page.close();
});
