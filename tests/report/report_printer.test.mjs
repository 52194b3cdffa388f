// SPDX-License-Identifier: MIT
// The part as it sits in the printer: for --up, --printer and --profile the page turns the part so that its
// build direction points up on screen and stands it on the plate, while every place it names stays in model
// coordinates. Drain holes show in a colour of their own and cavities from the start.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';

import { makeReport, openReady, withBrowser, workPath } from './fixtures.mjs';
import { viewColours } from './pixels.mjs';

const profile = workPath('sideways.json');
writeFileSync(profile, JSON.stringify({ base: 'fdm', up: '+x' }));

// Each case: the report's arguments and the build direction the page must turn upwards (the page's own
// tests cover an oblique one).
const CASES = [
  { tag: 'up-minus-z', mesh: 'bracket', extra: ['--up', '-z', '--drain-holes', '2'], up: [0, 0, -1] },
  { tag: 'printer', mesh: 'cup', extra: ['--printer', 'bottom-up-resin'], up: [0, 0, -1] },
  { tag: 'profile', mesh: 'cup', extra: ['--profile', profile], up: [1, 0, 0] },
];
const state = withBrowser(() => Promise.all(CASES.map((c) => makeReport(c.mesh, ['--no-thickness', ...c.extra], c.tag))));
const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];

CASES.forEach((c, number) => describe('report ' + c.extra.join(' '), () => {
  let page, log;
  before(async () => { ({ page, log } = await openReady(state.browser, state.made[number].html)); });
  after(async () => { await page?.close(); });

  // Under -z the model's top rests on the plate and its bottom is drawn highest.
  test('every point stands at its height along the build direction above the plate', async () => {
    const drawn = await page.evaluate((up) => {
      const { view } = window.meshprobeReport;
      const grid = view.plateGroup.children.find((g) => g.type === 'GridHelper');
      const along = (v) => up[0] * view.positions[3 * v] + up[1] * view.positions[3 * v + 1] + up[2] * view.positions[3 * v + 2];
      let low = 0, high = 0;
      for (let v = 1; v < view.positions.length / 3; ++v) {
        if (along(v) < along(low)) low = v;
        if (along(v) > along(high)) high = v;
      }
      const onScreen = (v) => {
        const p = view.model.localToWorld(view.camera.position.clone().fromArray(view.positions, 3 * v)).project(view.camera);
        return [p.x, p.y];
      };
      return { positions: Array.from(view.positions), matrix: view.model.matrixWorld.elements.slice(),
        grid: { position: grid.position.toArray(), normal: grid.up.clone().applyQuaternion(grid.quaternion).toArray() },
        cameraUp: view.camera.up.toArray(), cameraHeight: view.camera.position.y, low: onScreen(low), high: onScreen(high) };
    }, c.up);
    const heights = Array.from({ length: drawn.positions.length / 3 }, (_, v) => dot(drawn.positions.slice(3 * v, 3 * v + 3), c.up));
    const base = Math.min(...heights), tolerance = 1e-4 * Math.max(1, Math.max(...heights) - base);
    const m = drawn.matrix;
    let minX = Infinity, maxX = -Infinity, minZ = Infinity, maxZ = -Infinity;
    heights.forEach((height, v) => {
      // The column-major matrix times the vertex.
      const [x, y, z] = [0, 1, 2].map((r) => m[r] * drawn.positions[3 * v] + m[4 + r] * drawn.positions[3 * v + 1] + m[8 + r] * drawn.positions[3 * v + 2] + m[12 + r]);
      assert.ok(Math.abs(y - (height - base)) < tolerance, 'vertex ' + v + ' drawn at height ' + y);
      [minX, maxX, minZ, maxZ] = [Math.min(minX, x), Math.max(maxX, x), Math.min(minZ, z), Math.max(maxZ, z)];
    });
    // The plate: level, at height 0, under the middle of the part.
    assert.equal(drawn.grid.position[1], 0);
    drawn.grid.normal.forEach((n, k) => assert.ok(Math.abs(n - [0, 1, 0][k]) < 1e-9, 'plate normal ' + drawn.grid.normal));
    assert.ok(Math.abs(minX + maxX) < tolerance && Math.abs(minZ + maxZ) < tolerance, 'part centred on the plate');
    // Seen by the camera: up is up, the camera above the plate, the part's top above its bottom on screen.
    assert.deepEqual(drawn.cameraUp, [0, 1, 0]);
    assert.ok(drawn.cameraHeight > 0, 'camera at height ' + drawn.cameraHeight);
    assert.ok(drawn.high[1] > drawn.low[1], 'top on screen at ' + drawn.high + ', bottom at ' + drawn.low);
    for (const point of [drawn.low, drawn.high]) assert.ok(Math.abs(point[0]) < 1 && Math.abs(point[1]) < 1, 'framed: ' + point);
    // The summary counts the cavities in words: the cup turned over or on its side drains completely.
    const count = state.made[number].summary.trapped.cavities.length;
    assert.equal(count === 0, c.mesh === 'cup');
    const summary = await page.evaluate(() => document.getElementById('summary-list').textContent);
    assert.match(summary, new RegExp(' mm³ in ' + count + (count === 1 ? ' cavity' : ' cavities') + ' \\(up '));
    if (number > 0) return;

    // The bracket under -z: labels and tables in model coordinates; cavities from the start, drain holes in
    // their own colour, apart from the thin-wall red.
    const cavities = state.made[0].summary.trapped.cavities;
    assert.ok(cavities.length > 0, 'the bracket traps material under -z');
    const shown = await page.evaluate(() => ({
      labels: [...document.querySelectorAll('#labels .label')].filter((l) => / mm³/.test(l.textContent)).map((l) => l.textContent),
      rows: [...document.querySelectorAll('#cavity-table tbody tr')].map((r) => r.cells[2].textContent),
      drills: [...document.querySelectorAll('#drain-table tbody tr')].map((r) => r.cells[4].textContent),
      checked: document.getElementById('toggle-cavities').checked, visible: window.meshprobeReport.view.cavityGroup.visible,
    }));
    const numbers = (text) => text.match(/\(([^)]*)\)/)[1].split(', ').map(Number);
    const near = (got, want, what) => got.forEach((g, k) => assert.ok(Math.abs(g - want[k]) <= 1e-3 * Math.max(1, Math.abs(want[k])),
      what + ': ' + got + ' vs ' + want));
    cavities.forEach((cavity, i) => {
      near(numbers(shown.rows[i]), cavity.centroid, 'table row ' + (i + 1));
      near(numbers(shown.labels[i].split('centre')[1]), cavity.centroid, 'label ' + (i + 1));
    });
    const holes = cavities.flatMap((h) => [h.drain, h.vent]).filter(Boolean);
    assert.equal(shown.drills.length, holes.length);
    shown.drills.forEach((text, i) => near(numbers(text), holes[i].exit_point, 'drill ' + (i + 1)));
    assert.deepEqual([shown.checked, shown.visible], [true, true]);
    const lit = await viewColours(page);
    await page.click('#toggle-drain');
    const unlit = await viewColours(page);
    await page.click('#toggle-drain');
    assert.ok(lit.cavity > 0.002 && lit.drain > 0.0001, 'cavity and drain-hole pixels: ' + JSON.stringify(lit));
    assert.ok(unlit.drain < lit.drain / 20, 'drain-hole pixels with the holes off: ' + unlit.drain);
    assert.ok(lit.thin < 1e-5, 'red pixels: ' + lit.thin); // without thickness colours nothing else is red
    assert.deepEqual(log.errors, []);
  });
}));
