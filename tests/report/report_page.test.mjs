// SPDX-License-Identifier: MIT
// The report of each bundled example in headless Chromium, offline: it becomes ready without errors or
// network requests, holds the JSON it was built from, and draws what it should.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';

import { launch, openReport, waitUntilReady } from './browser.mjs';
import { makeReport, WINDOW } from './fixtures.mjs';
import { viewColours } from './pixels.mjs';

const EXAMPLES = ['bracket', 'cup', 'thin-walls'];
let browser;
const reports = {};
// The tool writes every page while the browser starts.
before(async () => {
  const launching = launch();
  try {
    const made = await Promise.all([
      ...EXAMPLES.map((name) => makeReport(name, WINDOW)),
      makeReport('bracket', [...WINDOW, '--drain-holes', '2'], 'drains'),
      makeReport('cup', ['--no-thickness', '--no-trapped', '--up', '1,0,1'], 'bare'),
    ]);
    [...EXAMPLES, 'drains', 'bare'].forEach((tag, i) => { reports[tag] = made[i]; });
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

function checkClean(log) {
  assert.deepEqual(log.errors, [], 'console errors');
  assert.deepEqual(log.refused, [], 'network requests');
}

for (const name of EXAMPLES) {
  describe(name + '.stl report', () => {
    let report, page, log;
    before(async () => {
      report = reports[name];
      ({ page, log } = await open(report.html));
    });
    after(async () => { await page?.close(); });

    test('opens offline without console errors, carrying three.js and its licence', async () => {
      checkClean(log);
      const licence = await page.evaluate(() => document.getElementById('three-license').textContent);
      assert.match(licence, /three\.js authors[\s\S]*Permission is hereby granted/);
    });

    test('embeds the JSON the tool printed, and the geometry it describes', async () => {
      const embedded = await page.evaluate(() => JSON.parse(document.getElementById('report-summary').textContent));
      assert.deepEqual(embedded, report.summary);
      const scene = await page.evaluate(() => {
        const { scene, view } = window.meshprobeReport;
        return {
          triangles: view.triangles.length / 3,
          vertices: view.positions.length / 3,
          maxIndex: view.triangles.reduce((m, v) => Math.max(m, v), 0),
          cavities: (scene.cavities || []).map((c) => c.info),
          thinAreas: (scene.thinAreas || []).map((a) => a.info),
        };
      });
      assert.equal(scene.triangles, report.summary.triangles);
      assert.equal(scene.vertices, report.summary.vertices);
      assert.ok(scene.maxIndex < scene.vertices);
      assert.deepEqual(scene.cavities, report.summary.trapped.cavities);
      assert.deepEqual(scene.thinAreas, report.summary.thin_areas);
    });

    test('lists every cavity and thin area in its table', async () => {
      const rows = await page.evaluate(() => ({
        cavities: [...document.querySelectorAll('#cavity-table tbody tr')].map((r) => r.cells[0].textContent.trim()),
        thin: document.querySelectorAll('#thin-table tbody tr').length,
        drains: document.getElementById('drain-table').textContent,
      }));
      assert.deepEqual(rows.cavities, report.summary.trapped.cavities.map((c) => c.name + '-' + c.number));
      assert.equal(rows.thin, report.summary.thin_areas.length);
      assert.match(rows.drains, /not requested/);
    });

    test('every face colour is on the legend, whose hues run from red to green', async () => {
      const { faceColours, legend } = await page.evaluate(() => {
        const { view, scene } = window.meshprobeReport;
        return { faceColours: [...new Set(Array.from({ length: view.faceColours.length / 3 },
          (_, f) => view.faceColours.subarray(3 * f, 3 * f + 3).join(',')))], legend: scene.legend };
      });
      const onLegend = new Set([...legend.stops.map((s) => s.rgb.join(',')), legend.noWallRgb.join(',')]);
      for (const colour of faceColours) assert.ok(onLegend.has(colour), 'face colour ' + colour + ' not on the legend');
      assert.deepEqual(legend.stops[0].rgb, [255, 0, 0]);
      assert.equal(legend.stops[0].thickness, report.summary.thickness.min);
      assert.equal(legend.stops.at(-1).thickness, report.summary.thickness.max);
      // Red falls and green rises along the scale: hue grows from 0 to 150.
      const hues = legend.stops.map(({ rgb: [r, g, b] }) => {
        const max = Math.max(r, g, b), min = Math.min(r, g, b);
        return max === r ? (60 * (g - b)) / (max - min) : 60 * ((b - r) / (max - min) + 2);
      });
      hues.slice(1).forEach((h, i) => assert.ok(h >= hues[i], 'hue ' + h + ' after ' + hues[i]));
      assert.ok(Math.abs(hues.at(-1) - 150) < 1);
    });

    test('draws the part in the thickness colours, with a legend in mm', async () => {
      const colours = await viewColours(page);
      // Faces inside the window in the ramp's hues, faces with no wall within max in the neutral grey.
      assert.ok(colours.thickness + colours.noWall > 0.05, 'thickness colours cover ' + JSON.stringify(colours));
      const legend = await page.evaluate(() => ({
        hidden: document.getElementById('legend').hidden,
        text: document.getElementById('legend').textContent,
      }));
      assert.equal(legend.hidden, false);
      assert.match(legend.text, /Wall thickness, mm/);
      assert.match(legend.text, /no wall within 3 mm/);
    });
  });
}

describe('bracket.stl report in use', () => {
  let report, page, log;
  before(async () => {
    report = reports.drains;
    ({ page, log } = await open(report.html));
    // Flights of a few frames still ease in and end where they should, in a quarter of the user's time.
    await page.evaluate(() => { window.meshprobeReport.view.flyMilliseconds = 150; });
  });
  after(async () => { await page?.close(); });

  test('shows its 1.2 mm rib in the red end of the scale on the solid part', async () => {
    // Cavities show from the start through a see-through part; switched off, the colours are full strength.
    await page.click('#toggle-cavities');
    const colours = await viewColours(page);
    await page.click('#toggle-cavities');
    assert.ok(colours.thin > 0.003, 'red-orange pixels: ' + colours.thin);
  });

  test('summary gives size, health, thinnest wall and trapped volume', async () => {
    const facts = await page.evaluate(() => document.getElementById('summary-list').textContent);
    assert.match(facts, /40 × 24 × 36 mm/);
    assert.match(facts, /watertightyes/);
    assert.match(facts, /mesh checksno problems found/);
    assert.match(facts, /thinnest wall1\.2 mm/);
    assert.match(facts, /trapped volume\S+ mm³ in 2 cavities/);
  });

  test('histogram has one bar per bin plus the faces at max', async () => {
    const bars = await page.evaluate(() => [...document.querySelectorAll('#histogram rect title')].map((t) => t.textContent));
    assert.equal(bars.length, report.summary.thickness.histogram.length + 1);
    assert.match(bars.at(-1), new RegExp(': ' + report.summary.thickness.faces_at_max + ' faces$'));
  });

  test('switching the colour map off leaves no thickness colours and hides the legend', async () => {
    await page.click('#toggle-thickness');
    await page.evaluate(() => new Promise(requestAnimationFrame));
    const colours = await viewColours(page);
    const legendHidden = await page.evaluate(() => document.getElementById('legend').hidden);
    await page.click('#toggle-thickness');
    assert.ok(colours.thickness < 0.002, 'thickness colours with the map off: ' + colours.thickness);
    assert.equal(legendHidden, true);
  });

  test('cavities show from the start in their own colours with labels, and switch off', async () => {
    const shown = await viewColours(page);
    const { labels, boxes } = await page.evaluate(() => {
      const shown = [...document.querySelectorAll('#labels .label')].filter((l) => !l.hidden);
      return { labels: shown.map((l) => l.textContent), boxes: shown.map((l) => l.getBoundingClientRect().toJSON()) };
    });
    await page.click('#toggle-cavities');
    const hidden = await viewColours(page);
    const labelsHidden = await page.evaluate(() =>
      [...document.querySelectorAll('#labels .label')].filter((l) => !l.hidden && / mm³/.test(l.textContent)).length);
    await page.click('#toggle-cavities');
    assert.ok(shown.cavity > 0.002, 'cavity colours at the start: ' + shown.cavity);
    assert.ok(hidden.cavity < 0.001, 'cavity colours switched off: ' + hidden.cavity);
    // Name, volume and place of each cavity.
    assert.ok(labels.some((l) => /^Closed-1 · [\d.,]+ mm³centre \(.+\) mmlowest \(/.test(l)), 'labels: ' + labels);
    assert.equal(labelsHidden, 0);
    boxes.forEach((a, i) => boxes.slice(i + 1).forEach((b, j) => assert.ok(
      a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top, 'labels ' + i + ' and ' + (i + j + 1) + ' overlap')));
  });

  test('clicking a cavity row flies to it and highlights it', async () => {
    const distanceBefore = await page.evaluate(() => window.meshprobeReport.view.camera.position.distanceTo(window.meshprobeReport.view.controls.target));
    await page.click('#cavity-table tbody tr:first-child');
    await page.waitForFunction(() => document.body.dataset.selected === 'cavity-1', { timeout: 20000 });
    const state = await page.evaluate(() => ({
      checked: document.getElementById('toggle-cavities').checked,
      rowSelected: document.querySelector('#cavity-table tbody tr:first-child').classList.contains('selected'),
      distance: window.meshprobeReport.view.camera.position.distanceTo(window.meshprobeReport.view.controls.target),
    }));
    const colours = await viewColours(page);
    assert.equal(state.checked, true);
    assert.equal(state.rowSelected, true);
    assert.ok(state.distance < distanceBefore * 0.8, 'camera moved closer: ' + distanceBefore + ' -> ' + state.distance);
    assert.ok(colours.cavity > 0.03, 'cavity colours after the click: ' + colours.cavity);
  });

  test('outlines every thin area along its border', async () => {
    const outlines = await page.evaluate(() => window.meshprobeReport.view.thinGroup.children
      .filter((c) => c.type === 'LineSegments').map((c) => Array.from(c.geometry.getAttribute('position').array)));
    const areas = report.summary.thin_areas;
    assert.equal(outlines.length, areas.length);
    outlines.forEach((points, i) => {
      assert.ok(points.length >= 9, 'area ' + (i + 1) + ' has an outline');
      const [low, high] = areas[i].bounds;
      points.forEach((c, j) => assert.ok(c >= low[j % 3] - 1e-3 && c <= high[j % 3] + 1e-3,
        'outline of area ' + (i + 1) + ' leaves its box: ' + c + ' on axis ' + (j % 3)));
    });
  });

  test('clicking a thin-area row highlights its faces', async () => {
    await page.click('#toggle-cavities'); // back to the solid part
    await page.click('#thin-table tbody tr:first-child');
    await page.waitForFunction(() => document.body.dataset.selected === 'thin-1', { timeout: 20000 });
    const colours = await viewColours(page);
    assert.ok(colours.highlight > 0.001, 'highlight pixels: ' + colours.highlight);
  });

  test('the suggested drain holes and vents are drawn, listed, and a click selects one', async () => {
    const holes = report.summary.trapped.cavities.flatMap((c) => [c.drain, c.vent]).filter(Boolean);
    assert.ok(holes.length >= 2, 'holes suggested: ' + holes.length);
    const drawn = await page.evaluate(() => ({
      rows: document.querySelectorAll('#drain-table tbody tr').length,
      visible: window.meshprobeReport.view.drainGroup.visible,
      // Drill and marker per hole; the marker where the drill starts.
      markers: window.meshprobeReport.view.drainGroup.children.filter((m) => m.geometry.type === 'SphereGeometry')
        .map((m) => m.position.toArray()),
    }));
    assert.equal(drawn.rows, holes.length);
    assert.equal(drawn.visible, true);
    assert.equal(drawn.markers.length, holes.length);
    drawn.markers.forEach((p, i) => p.forEach((c, k) => assert.ok(Math.abs(c - holes[i].exit_point[k]) < 1e-4, 'marker ' + i)));
    await page.click('#drain-table tbody tr:first-child');
    await page.waitForFunction(() => document.body.dataset.selected === 'drain-1', { timeout: 20000 });
    const embedded = await page.evaluate(() => JSON.parse(document.getElementById('report-summary').textContent));
    assert.deepEqual(embedded, report.summary);
  });

  test('drag orbits, wheel zooms, right-drag pans, and reset view returns to the first camera', async () => {
    const first = await page.evaluate(() => {
      const { view } = window.meshprobeReport;
      view.resetView();
      return view.camera.position.toArray();
    });
    await page.click('#fit-part');
    await page.waitForFunction(() => document.body.dataset.camera === 'still');
    await page.mouse.move(300, 400);
    await page.mouse.down();
    await page.mouse.move(420, 330, { steps: 5 });
    await page.mouse.up();
    const moved = await page.evaluate(() => window.meshprobeReport.view.camera.position.toArray());
    // The wheel zooms in; a right-drag pans, moving the point the camera turns about.
    const place = () => page.evaluate(() => {
      const { camera, controls } = window.meshprobeReport.view;
      return { distance: camera.position.distanceTo(controls.target), target: controls.target.toArray() };
    });
    const beforeZoom = await place();
    await page.mouse.wheel({ deltaY: -400 });
    await page.mouse.down({ button: 'right' });
    await page.mouse.move(380, 360, { steps: 5 });
    await page.mouse.up({ button: 'right' });
    const afterPan = await place();
    await page.click('#reset-view');
    const reset = await page.evaluate(() => window.meshprobeReport.view.camera.position.toArray());
    assert.ok(moved.some((c, k) => Math.abs(c - first[k]) > 1e-3), 'dragging orbits the camera');
    assert.ok(afterPan.distance < beforeZoom.distance * 0.95, 'wheel: ' + beforeZoom.distance + ' -> ' + afterPan.distance);
    assert.ok(afterPan.target.some((c, k) => Math.abs(c - beforeZoom.target[k]) > 1e-3), 'right-drag pans');
    reset.forEach((c, k) => assert.ok(Math.abs(c - first[k]) < 1e-6, 'axis ' + k + ': ' + c + ' vs ' + first[k]));
    checkClean(log);
  });
});

describe('report without analyses', () => {
  test('says "not analysed" where data is absent and still draws the part', async () => {
    const report = reports.bare;
    const { page, log } = await open(report.html);
    const notes = await page.evaluate(() =>
      [...document.querySelectorAll('.not-analysed')].map((n) => n.closest('section').id + ': ' + n.textContent));
    const legendHidden = await page.evaluate(() => document.getElementById('legend').hidden);
    const colours = await viewColours(page);
    await page.close();
    checkClean(log);
    for (const section of ['thickness-section', 'thin-section', 'cavity-section', 'drain-section'])
      assert.ok(notes.some((n) => n.startsWith(section + ': ') && /not (analysed|requested)/.test(n)), section + ' in ' + notes);
    assert.equal(legendHidden, true);
    assert.ok(colours.thickness < 0.002);
  });

  test('turns the part for its build direction and stands it on the plate under an upward arrow', async () => {
    const { page, log } = await open(reports.bare.html);
    const plate = await page.evaluate(() => {
      const { view } = window.meshprobeReport;
      const helper = (type) => view.plateGroup.children.find((c) => c.type === type);
      const arrow = helper('ArrowHelper'), grid = helper('GridHelper');
      const standing = (object) => new object.position.constructor(0, 1, 0).applyQuaternion(object.quaternion).toArray();
      const origin = view.model.localToWorld(view.model.position.clone().set(0, 0, 0));
      const up = view.model.localToWorld(view.model.position.clone().set(Math.SQRT1_2, 0, Math.SQRT1_2)).sub(origin);
      let lowest = Infinity;
      for (let i = 0; i < view.positions.length; i += 3)
        lowest = Math.min(lowest, view.model.localToWorld(origin.clone().fromArray(view.positions, i)).y);
      return { arrow: standing(arrow), grid: standing(grid), gridHeight: grid.position.y, lowest, up: up.toArray(),
        visible: view.plateGroup.visible };
    });
    await page.close();
    checkClean(log);
    // --up 1,0,1 points up on screen; both helpers stand along y, the arrow pointing along it, the grid across it.
    for (const helper of ['arrow', 'grid', 'up'])
      plate[helper].forEach((c, k) => assert.ok(Math.abs(c - [0, 1, 0][k]) < 1e-6, helper + ' along ' + plate[helper]));
    assert.ok(Math.abs(plate.gridHeight) < 1e-9 && Math.abs(plate.lowest) < 1e-4, 'plate at ' + plate.gridHeight + ', part from ' + plate.lowest);
    assert.equal(plate.visible, true);
  });
});
