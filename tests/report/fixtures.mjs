// SPDX-License-Identifier: MIT
// Report pages written by `meshprobe report` into a scratch folder, the browser the tests open them in, and
// the checks several test files make of a page: how it stands the part, and its orientation table.
import { execFile } from 'node:child_process';
import { promisify } from 'node:util';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { after, before } from 'node:test';
import assert from 'node:assert/strict';

import { launch, openReport, waitUntilReady } from './browser.mjs';

const TOOL = process.env.MESHPROBE_EXECUTABLE;
const SOURCE = process.env.MESHPROBE_SOURCE_DIR;
const WORK = process.env.MESHPROBE_REPORT_WORK_DIR;
if (!TOOL || !SOURCE || !WORK)
  throw new Error('set MESHPROBE_EXECUTABLE, MESHPROBE_SOURCE_DIR and MESHPROBE_REPORT_WORK_DIR (ctest does)');

/// The window the fixtures use: the bracket's 1.2 mm rib lands near the red end, its 2 mm walls in yellow.
export const WINDOW = ['--min', '1', '--max', '3'];

export function workPath(file) {
  mkdirSync(WORK, { recursive: true });
  return join(WORK, file);
}

/// Launches the browser while the tool writes a file's pages ({ name: [mesh or example, ...arguments] }), opens
/// those named in `open`: `browser`, `made` (name -> { html, summary: the tool's JSON }) and `pages` (name -> openReady's).
export function withBrowser(pages, open = []) {
  const state = { pages: {} };
  const report = async ([name, [mesh, ...extra]]) => {
    const html = workPath(name + '.html'), path = mesh.includes('/') ? mesh : join(SOURCE, 'examples', mesh + '.stl');
    const args = ['report', path, '-o', html, '--json', '-r', '96', '-j', '1', ...extra];
    const { stdout, stderr } = await promisify(execFile)(TOOL, args, { encoding: 'utf8' });
    process.stderr.write(stderr);
    return [name, { html, summary: JSON.parse(stdout) }];
  };
  before(async () => {
    const launching = launch();
    try {
      state.made = Object.fromEntries(await Promise.all(Object.entries(pages).map(report)));
    } finally {
      state.browser = await launching;
    }
    for (const name of open) {
      state.pages[name] = await openReady(state.browser, state.made[name].html);
      // Flights of a few frames still ease in and end where they should, in a quarter of the user's time.
      await state.pages[name].page.evaluate(() => { window.meshprobeReport.view.flyMilliseconds = 150; });
    }
  });
  after(async () => { await state.browser?.close(); });
  return state;
}

/// Opens a page and waits until it is ready; fails with the page's errors when it is not.
export async function openReady(browser, file) {
  const opened = await openReport(browser, file);
  assert.equal(await waitUntilReady(opened.page), 'true', 'page not ready; errors: ' + opened.log.errors.join('\n'));
  return opened;
}

export function checkClean(log) {
  assert.deepEqual(log.errors, [], 'console errors');
  assert.deepEqual(log.refused, [], 'network requests');
}

export function near(got, want, what, tolerance = 6e-4) {
  const close = got.length === want.length && got.every((g, k) => Math.abs(g - want[k]) <= tolerance * Math.max(1, Math.abs(want[k])));
  assert.ok(close, what + ': ' + got + ' vs ' + want);
}

/// The numbers in a text such as "(1, 2.5, -3)" or "2 × 3.5 × 4".
export const figuresIn = (text) => (text.match(/-?\d+(\.\d+)?(e[-+]?\d+)?/g) ?? []).map(Number);

/// A table's rows against what the tool's figures call for: per cell its text, or the numbers in it.
export async function checkTable(page, id, rows) {
  const shown = await page.evaluate((t) => [...document.querySelectorAll('#' + t + ' tbody tr')]
    .map((r) => [...r.cells].map((c) => c.textContent.trim())), id);
  assert.equal(shown.length, rows.length, id + ': ' + shown.join(' | '));
  rows.forEach((row, i) => row.forEach((want, k) => (typeof want === 'string' ? assert.equal(shown[i][k], want, id + ' row ' + (i + 1))
    : near(figuresIn(shown[i][k]), [want].flat(), id + ' row ' + (i + 1) + ' column ' + (k + 1)))));
}

/// The rows of the thin-area, cavity and drain-hole tables for the tool's findings: number, faces, area, thinnest and
/// centre; name, volume, centre, size and lowest point; number, cavity and kind, diameter, length, drill point, reach.
export const thinRows = (areas) => areas.map((a) => [String(a.id), a.faces, a.area, a.min_thickness, a.centroid]);
export const cavityRows = (cavities) => cavities.map((c) => [c.name + '-' + c.number, c.volume, c.centroid,
  c.bounds[1].map((h, k) => h - c.bounds[0][k]), c.lowest_point]);
export const drainRows = (cavities) => cavities.flatMap((c) => ['drain', 'vent'].filter((kind) => c[kind])
  .map((kind) => [c.name + '-' + c.number + ' ' + kind, c[kind]])).map(([name, hole], i) => [String(i + 1), name, hole.diameter,
  hole.length, hole.exit_point, hole.reachable ? 'yes' : 'no: the part is in the way']);

/// Every vertex drawn at its height along `up` (model coordinates) above the lowest one, the part centred
/// over a level plate at height 0 with its arrow pointing up, and the camera framing it upright.
export async function checkStanding(page, up) {
  const drawn = await page.evaluate((u) => {
    const { view } = window.meshprobeReport, p = view.positions, v = view.model.position.clone(), n = Math.hypot(...u);
    const heights = Array.from({ length: p.length / 3 }, (_, i) => (p[3 * i] * u[0] + p[3 * i + 1] * u[1] + p[3 * i + 2] * u[2]) / n);
    const base = heights.reduce((a, b) => Math.min(a, b)), top = heights.reduce((a, b) => Math.max(a, b));
    const drawnAt = (i) => view.model.localToWorld(v.fromArray(p, 3 * i));
    let error = 0, lo = [Infinity, Infinity], hi = [-Infinity, -Infinity];
    heights.forEach((h, i) => {
      const { x, y, z } = drawnAt(i);
      [error, lo, hi] = [Math.max(error, Math.abs(y - h + base)), [Math.min(lo[0], x), Math.min(lo[1], z)],
        [Math.max(hi[0], x), Math.max(hi[1], z)]];
    });
    const screen = (h) => drawnAt(heights.indexOf(h)).project(view.camera).toArray();
    const pointing = (type) => {
      const helper = view.plateGroup.children.find((c) => c.type === type);
      return [helper.position.y, ...v.set(0, 1, 0).applyQuaternion(helper.quaternion).toArray()];
    };
    const plate = [...document.querySelectorAll('#labels .label')].find((l) => l.textContent.startsWith('up (build direction'));
    return { error, scale: top - base, centre: [lo[0] + hi[0], lo[1] + hi[1]], cameraHeight: view.camera.position.y, plate: plate.textContent,
      helpers: [...pointing('GridHelper'), ...pointing('ArrowHelper').slice(1), ...view.camera.up.toArray()],
      low: screen(base), high: screen(top) };
  }, up);
  const tolerance = 1e-4 * Math.max(1, drawn.scale), what = 'up ' + up + ': ' + JSON.stringify(drawn);
  assert.ok(drawn.error < tolerance && Math.hypot(...drawn.centre) < tolerance, what);
  near(drawn.helpers, [0, 0, 1, 0, 0, 1, 0, 0, 1, 0], 'plate at height 0 and level, its arrow and the camera upright', 1e-6);
  near(figuresIn(drawn.plate), up.map((c) => c / Math.hypot(...up)), 'the plate\'s label ' + drawn.plate);
  assert.ok(drawn.cameraHeight > 0 && drawn.high[1] > drawn.low[1], 'camera above the plate, top above bottom on screen: ' + what);
  for (const point of [drawn.low, drawn.high]) assert.ok(Math.abs(point[0]) < 1 && Math.abs(point[1]) < 1, 'framed: ' + what);
}

/// The page opens in the best direction (or the one the user chose); a click on any row of the orientation table
/// stands the part that way with its overhangs, islands and suction cups (those of the analysed direction only).
export async function checkOrientation(page, summary, opensBest) {
  const { directions, best_up: best } = summary.orientation;
  const cups = summary.check?.findings.some((f) => f.code === 'suction_cup') ?? false;
  await page.bringToFront();
  const check = async (d) => {
    const shown = await page.evaluate(() => {
      const { view } = window.meshprobeReport, hatch = view.overhangGroup.children.find((m) => m.geometry.type === 'BufferGeometry');
      const p = hatch?.geometry.attributes.position.array ?? [], [a, b, c] = [0, 1, 2].map(() => view.up.clone());
      let area = 0;
      for (let i = 0; i < p.length; i += 9)
        area += b.fromArray(p, i + 3).sub(a.fromArray(p, i)).cross(c.fromArray(p, i + 6).sub(a)).length() / 2;
      return { up: document.body.dataset.up, area, cones: view.overhangGroup.children.length - (hatch ? 1 : 0),
        rings: view.suctionGroup.visible ? view.suctionGroup.children.length : 0,
        rows: [...document.querySelectorAll('#orientation-table tbody tr')].map((r) => r.className) };
    });
    assert.ok(Math.abs(shown.area - d.overhang_area) <= 1e-3 * Math.max(1, d.overhang_area), d.up + ': hatched ' + shown.area);
    assert.deepEqual([shown.up, shown.cones, shown.rings > 0, shown.rows], [d.up, d.island_points.length,
      cups && d.up === summary.trapped.up, directions.map((row) => (row === d ? 'current' : ''))]);
    await checkStanding(page, d.up_vector);
  };
  assert.equal(best, directions[0].up);
  await checkTable(page, 'orientation-table', directions.map((d, i) => [String(i + 1), d.up, d.estimated_volume, d.sealed_volume,
    d.overhang_area, d.islands, d.build_height, d.footprint]));
  await check(directions.find((d) => d.up === (opensBest ? best : summary.trapped.up)));
  for (let i = directions.length - 1; i >= 0; --i) {
    await page.click('#orientation-table tbody tr:nth-child(' + (i + 1) + ')');
    await check(directions[i]);
  }
}
