// SPDX-License-Identifier: MIT
// The part as it sits in the printer: for --up, --printer and --profile the page turns the part so that its
// build direction points up on screen and stands it on the plate, while every place it names stays in model
// coordinates. Drain holes show in a colour of their own and cavities from the start.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { writeFileSync } from 'node:fs';

import { launch, openReport, waitUntilReady } from './browser.mjs';
import { makeReport, workPath } from './fixtures.mjs';
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

let browser;
before(async () => {
  const launching = launch();
  try {
    const made = await Promise.all(CASES.map((c) => makeReport(c.mesh, ['--no-thickness', ...c.extra], c.tag)));
    made.forEach((report, i) => { CASES[i].report = report; });
  } finally {
    browser = await launching;
  }
});
after(async () => { await browser?.close(); });

async function open(file) {
  const opened = await openReport(browser, file);
  assert.equal(await waitUntilReady(opened.page), 'true', 'page not ready; errors: ' + opened.log.errors.join('\n'));
  return opened;
}

/// The model's vertices, the matrix the page draws them with, and what the camera makes of two of them.
async function drawnPart(page, lowIndex, highIndex) {
  return page.evaluate((low, high) => {
    const { view } = window.meshprobeReport;
    const grid = view.plateGroup.children.find((c) => c.type === 'GridHelper');
    const onScreen = (v) => {
      const p = view.model.localToWorld(view.camera.position.clone().fromArray(view.positions, 3 * v)).project(view.camera);
      return [p.x, p.y];
    };
    return {
      positions: Array.from(view.positions),
      matrix: view.model.matrixWorld.elements.slice(),
      grid: { position: grid.position.toArray(), normal: grid.up.clone().applyQuaternion(grid.quaternion).toArray() },
      cameraUp: view.camera.up.toArray(),
      cameraHeight: view.camera.position.y,
      low: onScreen(low),
      high: onScreen(high),
    };
  }, lowIndex, highIndex);
}

/// Column-major 4x4 matrix times a point.
function transform(m, x, y, z) {
  return [0, 1, 2].map((r) => m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r]);
}

const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];

function extremes(positions, up) {
  let low = 0, high = 0;
  const along = (v) => dot(positions.slice(3 * v, 3 * v + 3), up);
  for (let v = 1; v < positions.length / 3; ++v) {
    if (along(v) < along(low)) low = v;
    if (along(v) > along(high)) high = v;
  }
  return { low, high, base: along(low), height: along(high) - along(low) };
}

for (const c of CASES) {
  describe('report ' + c.extra.join(' '), () => {
    let page, log;
    before(async () => { ({ page, log } = await open(c.report.html)); });
    after(async () => { await page?.close(); });

    // Under -z the model's top rests on the plate and its bottom is drawn highest.
    test('every point stands at its height along the build direction above the plate', async () => {
      const first = await drawnPart(page, 0, 0);
      const { low, high, base, height } = extremes(first.positions, c.up);
      const drawn = await drawnPart(page, low, high);
      const tolerance = 1e-4 * Math.max(1, height);
      let minX = Infinity, maxX = -Infinity, minZ = Infinity, maxZ = -Infinity;
      for (let v = 0; v < drawn.positions.length / 3; ++v) {
        const model = drawn.positions.slice(3 * v, 3 * v + 3);
        const [x, y, z] = transform(drawn.matrix, ...model);
        assert.ok(Math.abs(y - (dot(model, c.up) - base)) < tolerance, 'vertex ' + v + ' drawn at height ' + y);
        minX = Math.min(minX, x); maxX = Math.max(maxX, x);
        minZ = Math.min(minZ, z); maxZ = Math.max(maxZ, z);
      }
      // The plate: level, at height 0, under the middle of the part.
      assert.equal(drawn.grid.position[1], 0);
      drawn.grid.normal.forEach((n, k) => assert.ok(Math.abs(n - [0, 1, 0][k]) < 1e-9, 'plate normal ' + drawn.grid.normal));
      assert.ok(Math.abs(minX + maxX) < tolerance && Math.abs(minZ + maxZ) < tolerance, 'part centred on the plate');
      // Seen by the camera: up is up, the camera above the plate, the part's top above its bottom on screen.
      assert.deepEqual(drawn.cameraUp, [0, 1, 0]);
      assert.ok(drawn.cameraHeight > 0, 'camera at height ' + drawn.cameraHeight);
      assert.ok(drawn.high[1] > drawn.low[1], 'top on screen at ' + drawn.high + ', bottom at ' + drawn.low);
      for (const point of [drawn.low, drawn.high]) assert.ok(Math.abs(point[0]) < 1 && Math.abs(point[1]) < 1, 'framed: ' + point);
    });
  });
}

describe('report --up -z of the bracket', () => {
  let page, log, report;
  before(async () => {
    report = CASES[0].report;
    ({ page, log } = await open(report.html));
  });
  after(async () => { await page?.close(); });

  test('labels and tables give model coordinates', async () => {
    const cavities = report.summary.trapped.cavities;
    assert.ok(cavities.length > 0, 'the bracket traps material under -z');
    const shown = await page.evaluate(() => ({
      labels: [...document.querySelectorAll('#labels .label')].filter((l) => / mm³/.test(l.textContent)).map((l) => l.textContent),
      rows: [...document.querySelectorAll('#cavity-table tbody tr')].map((r) => r.cells[2].textContent),
      drills: [...document.querySelectorAll('#drain-table tbody tr')].map((r) => r.cells[4].textContent),
    }));
    const numbers = (text) => text.match(/\(([^)]*)\)/)[1].split(', ').map(Number);
    const near = (got, want, what) => got.forEach((g, k) => assert.ok(Math.abs(g - want[k]) <= 1e-3 * Math.max(1, Math.abs(want[k])),
      what + ': ' + got + ' vs ' + want));
    cavities.forEach((cavity, i) => {
      near(numbers(shown.rows[i]), cavity.centroid, 'table row ' + (i + 1));
      near(numbers(shown.labels[i].split('centre')[1]), cavity.centroid, 'label ' + (i + 1));
    });
    const holes = cavities.flatMap((c) => [c.drain, c.vent]).filter(Boolean);
    assert.equal(shown.drills.length, holes.length);
    shown.drills.forEach((text, i) => near(numbers(text), holes[i].exit_point, 'drill ' + (i + 1)));
  });

  test('cavities show from the start, drain holes in their own colour, apart from the thin-wall red', async () => {
    const state = await page.evaluate(() => ({
      checked: document.getElementById('toggle-cavities').checked,
      visible: window.meshprobeReport.view.cavityGroup.visible,
    }));
    assert.deepEqual(state, { checked: true, visible: true });
    const shown = await viewColours(page);
    await page.click('#toggle-drain');
    const hidden = await viewColours(page);
    await page.click('#toggle-drain');
    assert.ok(shown.cavity > 0.002, 'cavity pixels: ' + shown.cavity);
    assert.ok(shown.drain > 0.0001, 'drain-hole pixels: ' + shown.drain);
    assert.ok(hidden.drain < shown.drain / 20, 'drain-hole pixels with the holes off: ' + hidden.drain);
    // Without thickness colours nothing else is red: the holes add none.
    assert.ok(shown.thin < 1e-5, 'red pixels: ' + shown.thin);
    assert.deepEqual(log.errors, []);
  });
});
