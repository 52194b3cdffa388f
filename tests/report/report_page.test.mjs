// SPDX-License-Identifier: MIT
// The report of each bundled example in headless Chromium, offline: it becomes ready without errors or
// network requests, holds the JSON it was built from, and draws what it should.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';

import { checkClean, makeReport, openReady, WINDOW, withBrowser } from './fixtures.mjs';
import { viewColours } from './pixels.mjs';

const EXAMPLES = ['bracket', 'cup', 'thin-walls'];
// The tool writes every page while the browser starts.
const state = withBrowser(() => Promise.all([...EXAMPLES.map((name) => makeReport(name, WINDOW)),
  makeReport('bracket', [...WINDOW, '--drain-holes', '2'], 'drains'),
  makeReport('cup', ['--no-thickness', '--no-trapped', '--up', '1,0,1'], 'bare')]));
const made = (name) => state.made[[...EXAMPLES, 'drains', 'bare'].indexOf(name)];

/// Runs `read` in the page; what it returns.
const inPage = (page, read, ...args) => page.evaluate(read, ...args);

EXAMPLES.forEach((name) => describe(name + '.stl report', () => {
  let report, page, log;
  before(async () => { ({ page, log } = await openReady(state.browser, (report = made(name)).html)); });
  after(async () => { await page?.close(); });

  test('opens offline with three.js\'s licence, the tool\'s JSON, its geometry and a row per finding', async () => {
    checkClean(log);
    const shown = await inPage(page, () => {
      const { scene, view } = window.meshprobeReport;
      return {
        licence: document.getElementById('three-license').textContent,
        embedded: JSON.parse(document.getElementById('report-summary').textContent),
        triangles: view.triangles.length / 3, vertices: view.positions.length / 3,
        maxIndex: view.triangles.reduce((m, v) => Math.max(m, v), 0),
        cavities: (scene.cavities || []).map((c) => c.info), thinAreas: (scene.thinAreas || []).map((a) => a.info),
        cavityRows: [...document.querySelectorAll('#cavity-table tbody tr')].map((r) => r.cells[0].textContent.trim()),
        thinRows: document.querySelectorAll('#thin-table tbody tr').length,
        drains: document.getElementById('drain-table').textContent,
      };
    });
    const { summary } = report;
    assert.match(shown.licence, /three\.js authors[\s\S]*Permission is hereby granted/);
    assert.deepEqual(shown.embedded, summary);
    assert.deepEqual([shown.triangles, shown.vertices], [summary.triangles, summary.vertices]);
    assert.ok(shown.maxIndex < shown.vertices);
    assert.deepEqual([shown.cavities, shown.thinAreas], [summary.trapped.cavities, summary.thin_areas]);
    assert.deepEqual(shown.cavityRows, summary.trapped.cavities.map((c) => c.name + '-' + c.number));
    assert.equal(shown.thinRows, summary.thin_areas.length);
    assert.match(shown.drains, /not requested/);
  });

  test('every face colour is on the legend, whose hues run from red at min to green at max, drawn in mm', async () => {
    const { faceColours, legend, text, hidden } = await inPage(page, () => {
      const { view, scene } = window.meshprobeReport;
      return { faceColours: [...new Set(Array.from({ length: view.faceColours.length / 3 },
        (_, f) => view.faceColours.subarray(3 * f, 3 * f + 3).join(',')))], legend: scene.legend,
      text: document.getElementById('legend').textContent, hidden: document.getElementById('legend').hidden };
    });
    const onLegend = new Set([...legend.stops.map((s) => s.rgb.join(',')), legend.noWallRgb.join(',')]);
    for (const colour of faceColours) assert.ok(onLegend.has(colour), 'face colour ' + colour + ' not on the legend');
    assert.deepEqual(legend.stops[0].rgb, [255, 0, 0]);
    assert.deepEqual([legend.stops[0].thickness, legend.stops.at(-1).thickness], [report.summary.thickness.min, report.summary.thickness.max]);
    // Red falls and green rises along the scale: hue grows from 0 to 150.
    const hues = legend.stops.map(({ rgb: [r, g, b] }) => {
      const max = Math.max(r, g, b), min = Math.min(r, g, b);
      return max === r ? (60 * (g - b)) / (max - min) : 60 * ((b - r) / (max - min) + 2);
    });
    hues.slice(1).forEach((h, i) => assert.ok(h >= hues[i], 'hue ' + h + ' after ' + hues[i]));
    assert.ok(Math.abs(hues.at(-1) - 150) < 1);
    // Faces inside the window in the ramp's hues, faces with no wall within max in the neutral grey.
    const colours = await viewColours(page);
    assert.ok(colours.thickness + colours.noWall > 0.05, 'thickness colours cover ' + JSON.stringify(colours));
    assert.equal(hidden, false);
    assert.match(text, /Wall thickness, mm[\s\S]*no wall within 3 mm/);
  });
}));

describe('bracket.stl report in use', () => {
  let report, page, log;
  const camera = () => inPage(page, () => {
    const { camera, controls } = window.meshprobeReport.view;
    return { position: camera.position.toArray(), distance: camera.position.distanceTo(controls.target), target: controls.target.toArray() };
  });
  const clickAndWait = async (selector, selected) => {
    await page.click(selector);
    await page.waitForFunction((s) => document.body.dataset.selected === s, { timeout: 20000 }, selected);
  };
  before(async () => {
    ({ page, log } = await openReady(state.browser, (report = made('drains')).html));
    // Flights of a few frames still ease in and end where they should, in a quarter of the user's time.
    await inPage(page, () => { window.meshprobeReport.view.flyMilliseconds = 150; });
  });
  after(async () => { await page?.close(); });

  test('summary, histogram, and the 1.2 mm rib in the red end of the scale on the solid part', async () => {
    const facts = await inPage(page, () => document.getElementById('summary-list').textContent);
    assert.match(facts, /40 × 24 × 36 mm[\s\S]*watertightyes[\s\S]*mesh checksno problems found/);
    assert.match(facts, /thinnest wall1\.2 mm[\s\S]*trapped volume\S+ mm³ in 2 cavities/);
    const bars = await inPage(page, () => [...document.querySelectorAll('#histogram rect title')].map((t) => t.textContent));
    assert.equal(bars.length, report.summary.thickness.histogram.length + 1); // the last: the faces at max
    assert.match(bars.at(-1), new RegExp(': ' + report.summary.thickness.faces_at_max + ' faces$'));
    // Cavities show from the start through a see-through part; switched off, the colours are full strength.
    await page.click('#toggle-cavities');
    const colours = await viewColours(page);
    await page.click('#toggle-cavities');
    assert.ok(colours.thin > 0.003, 'red-orange pixels: ' + colours.thin);
  });

  test('switching the colour map off leaves no thickness colours and hides the legend', async () => {
    await page.click('#toggle-thickness');
    await inPage(page, () => new Promise(requestAnimationFrame));
    const colours = await viewColours(page);
    const legendHidden = await inPage(page, () => document.getElementById('legend').hidden);
    await page.click('#toggle-thickness');
    assert.ok(colours.thickness < 0.002, 'thickness colours with the map off: ' + colours.thickness);
    assert.equal(legendHidden, true);
  });

  test('cavities show from the start with labels apart, switch off, and a row click flies to one', async () => {
    const labels = () => inPage(page, () => [...document.querySelectorAll('#labels .label')]
      .filter((l) => !l.hidden && / mm³/.test(l.textContent)).map((l) => ({ text: l.textContent, box: l.getBoundingClientRect().toJSON() })));
    const [shown, shownLabels] = [await viewColours(page), await labels()];
    await page.click('#toggle-cavities');
    const [hidden, hiddenLabels] = [await viewColours(page), await labels()];
    await page.click('#toggle-cavities');
    assert.ok(shown.cavity > 0.002 && hidden.cavity < 0.001, 'cavity colours shown ' + shown.cavity + ', off ' + hidden.cavity);
    // Name, volume and place of each cavity.
    assert.ok(shownLabels.some((l) => /^Closed-1 · [\d.,]+ mm³centre \(.+\) mmlowest \(/.test(l.text)), 'labels: ' + shownLabels.map((l) => l.text));
    assert.equal(hiddenLabels.length, 0);
    const boxes = shownLabels.map((l) => l.box);
    boxes.forEach((a, i) => boxes.slice(i + 1).forEach((b, j) => assert.ok(
      a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top, 'labels ' + i + ' and ' + (i + j + 1) + ' overlap')));
    const far = await camera();
    await clickAndWait('#cavity-table tbody tr:first-child', 'cavity-1');
    const selected = await inPage(page, () => [document.getElementById('toggle-cavities').checked,
      document.querySelector('#cavity-table tbody tr:first-child').classList.contains('selected')]);
    assert.deepEqual(selected, [true, true]);
    assert.ok((await camera()).distance < far.distance * 0.8, 'camera moved closer');
    assert.ok((await viewColours(page)).cavity > 0.03, 'cavity colours after the click');
  });

  test('outlines every thin area along its border, and a row click highlights its faces', async () => {
    const outlines = await inPage(page, () => window.meshprobeReport.view.thinGroup.children
      .filter((c) => c.type === 'LineSegments').map((c) => Array.from(c.geometry.getAttribute('position').array)));
    const areas = report.summary.thin_areas;
    assert.equal(outlines.length, areas.length);
    outlines.forEach((points, i) => {
      assert.ok(points.length >= 9, 'area ' + (i + 1) + ' has an outline');
      const [low, high] = areas[i].bounds;
      points.forEach((c, j) => assert.ok(c >= low[j % 3] - 1e-3 && c <= high[j % 3] + 1e-3,
        'outline of area ' + (i + 1) + ' leaves its box: ' + c + ' on axis ' + (j % 3)));
    });
    await page.click('#toggle-cavities'); // the solid part
    await clickAndWait('#thin-table tbody tr:first-child', 'thin-1');
    const colours = await viewColours(page);
    await page.click('#toggle-cavities');
    assert.ok(colours.highlight > 0.001, 'highlight pixels: ' + colours.highlight);
  });

  test('the suggested drain holes and vents are drawn, listed, and a click selects one', async () => {
    const holes = report.summary.trapped.cavities.flatMap((c) => [c.drain, c.vent]).filter(Boolean);
    assert.ok(holes.length >= 2, 'holes suggested: ' + holes.length);
    const drawn = await inPage(page, () => ({
      rows: document.querySelectorAll('#drain-table tbody tr').length,
      visible: window.meshprobeReport.view.drainGroup.visible,
      // Drill and marker per hole; the marker where the drill starts.
      markers: window.meshprobeReport.view.drainGroup.children.filter((m) => m.geometry.type === 'SphereGeometry')
        .map((m) => m.position.toArray()),
    }));
    assert.deepEqual([drawn.rows, drawn.visible, drawn.markers.length], [holes.length, true, holes.length]);
    drawn.markers.forEach((p, i) => p.forEach((c, k) => assert.ok(Math.abs(c - holes[i].exit_point[k]) < 1e-4, 'marker ' + i)));
    await clickAndWait('#drain-table tbody tr:first-child', 'drain-1');
  });

  test('drag orbits, wheel zooms, right-drag pans, and reset view returns to the first camera', async () => {
    await inPage(page, () => window.meshprobeReport.view.resetView());
    const first = await camera();
    await page.click('#fit-part');
    await page.waitForFunction(() => document.body.dataset.camera === 'still');
    await page.mouse.move(300, 400);
    await page.mouse.down();
    await page.mouse.move(420, 330, { steps: 5 });
    await page.mouse.up();
    const moved = await camera();
    await page.mouse.wheel({ deltaY: -400 });
    await page.mouse.down({ button: 'right' });
    await page.mouse.move(380, 360, { steps: 5 });
    await page.mouse.up({ button: 'right' });
    const panned = await camera();
    await page.click('#reset-view');
    const reset = await camera();
    assert.ok(moved.position.some((c, k) => Math.abs(c - first.position[k]) > 1e-3), 'dragging orbits the camera');
    assert.ok(panned.distance < moved.distance * 0.95, 'wheel: ' + moved.distance + ' -> ' + panned.distance);
    assert.ok(panned.target.some((c, k) => Math.abs(c - moved.target[k]) > 1e-3), 'right-drag pans');
    reset.position.forEach((c, k) => assert.ok(Math.abs(c - first.position[k]) < 1e-6, 'axis ' + k + ': ' + c));
    checkClean(log);
  });
});

test('a report without analyses says "not analysed", stands the part on the plate under an upward arrow', async () => {
  const { page, log } = await openReady(state.browser, made('bare').html);
  const shown = await inPage(page, () => {
    const { view } = window.meshprobeReport;
    const helper = (type) => view.plateGroup.children.find((c) => c.type === type);
    const standing = (object) => new object.position.constructor(0, 1, 0).applyQuaternion(object.quaternion).toArray();
    const origin = view.model.localToWorld(view.model.position.clone().set(0, 0, 0));
    const up = view.model.localToWorld(view.model.position.clone().set(Math.SQRT1_2, 0, Math.SQRT1_2)).sub(origin);
    let lowest = Infinity;
    for (let i = 0; i < view.positions.length; i += 3)
      lowest = Math.min(lowest, view.model.localToWorld(origin.clone().fromArray(view.positions, i)).y);
    return { notes: [...document.querySelectorAll('.not-analysed')].map((n) => n.closest('section').id + ': ' + n.textContent),
      legendHidden: document.getElementById('legend').hidden, arrow: standing(helper('ArrowHelper')),
      grid: standing(helper('GridHelper')), gridHeight: helper('GridHelper').position.y, lowest, up: up.toArray(),
      visible: view.plateGroup.visible };
  });
  const colours = await viewColours(page);
  await page.close();
  checkClean(log);
  for (const section of ['thickness-section', 'thin-section', 'cavity-section', 'drain-section'])
    assert.ok(shown.notes.some((n) => n.startsWith(section + ': ') && /not (analysed|requested)/.test(n)), section + ' in ' + shown.notes);
  assert.ok(shown.legendHidden && colours.thickness < 0.002);
  // --up 1,0,1 points up on screen; both helpers stand along y, the arrow pointing along it, the grid across it.
  for (const helper of ['arrow', 'grid', 'up'])
    shown[helper].forEach((c, k) => assert.ok(Math.abs(c - [0, 1, 0][k]) < 1e-6, helper + ' along ' + shown[helper]));
  assert.ok(Math.abs(shown.gridHeight) < 1e-9 && Math.abs(shown.lowest) < 1e-4, 'plate at ' + shown.gridHeight + ', part from ' + shown.lowest);
  assert.equal(shown.visible, true);
});
