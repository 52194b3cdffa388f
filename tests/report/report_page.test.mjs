// SPDX-License-Identifier: MIT
// Each example's report offline in headless Chromium, showing the tool's figures; the bracket's page in use, the
// cup's under a bottom-up resin printer with its verdict, and broken copies of it that fail visibly.
import { describe, test } from 'node:test';
import { readFileSync, writeFileSync } from 'node:fs';
import assert from 'node:assert/strict';

import { openReport, waitUntilReady } from './browser.mjs';
import { cavityRows, checkClean, checkOrientation, checkTable, drainRows, figuresIn, near, thinRows, WINDOW, withBrowser,
  workPath } from './fixtures.mjs';
import { viewColours } from './pixels.mjs';

const state = withBrowser({ bracket: ['bracket', ...WINDOW, '--drain-holes', '2'], 'thin-walls': ['thin-walls', ...WINDOW],
  cup: ['cup', ...WINDOW, '--printer', 'bottom-up-resin'] }, ['bracket', 'thin-walls', 'cup']);
const pages = state.pages;
// A page in the background gets no animation frames: the one in use comes to the front.
const inPage = async (name, read, ...args) => {
  await pages[name].page.bringToFront();
  return pages[name].page.evaluate(read, ...args);
};
const click = async (name, selector, selected) => {
  await pages[name].page.bringToFront();
  await pages[name].page.click(selector);
  await pages[name].page.waitForFunction((s) => document.body.dataset.selected === s, { timeout: 20000 }, selected);
};
const toggle = (name, id) => pages[name].page.click('#toggle-' + id);

describe('every example\'s report', () => {
  for (const name of ['bracket', 'thin-walls', 'cup'])
    test(name + ': three.js\'s licence, the tool\'s geometry, a row per finding with its figures, every face colour on the legend', async () => {
      const { summary } = state.made[name];
      const shown = await inPage(name, () => {
        const { scene, view } = window.meshprobeReport, text = (id) => document.getElementById(id).textContent;
        return { licence: text('three-license'), legend: scene.legend,
          facts: Object.fromEntries([...document.querySelectorAll('#summary-list dt')].map((t) => [t.textContent, t.nextElementSibling.textContent])),
          triangles: view.triangles.length / 3, vertices: view.positions.length / 3,
          drains: text('drain-table'), legendText: text('legend'),
          faceColours: [...new Set(Array.from({ length: view.faceColours.length / 3 },
            (_, f) => view.faceColours.subarray(3 * f, 3 * f + 3).join(',')))] };
      });
      checkClean(pages[name].log);
      assert.match(shown.licence, /three\.js authors[\s\S]*Permission is hereby granted/);
      assert.deepEqual([shown.triangles, shown.vertices], [summary.triangles, summary.vertices]);
      const { info, thickness } = summary, facts = ['triangles', 'vertices', 'size', 'volume', 'area', 'edges', 'thickness window'];
      near(facts.flatMap((term) => figuresIn(shown.facts[term])), [summary.triangles, summary.vertices,
        ...info.bounds[1].map((h, k) => h - info.bounds[0][k]), info.volume, info.volume / 1000, info.area, info.border_edges,
        info.nonmanifold_edges, info.bad_edges, thickness.min, thickness.max], 'summary');
      await checkTable(pages[name].page, 'cavity-table', cavityRows(summary.trapped.cavities));
      await checkTable(pages[name].page, 'thin-table', thinRows(summary.thin_areas));
      assert.equal(/not requested/.test(shown.drains), name !== 'bracket');
      const onLegend = new Set([...shown.legend.stops.map((s) => s.rgb.join(',')), shown.legend.noWallRgb.join(',')]);
      for (const colour of shown.faceColours) assert.ok(onLegend.has(colour), 'face colour ' + colour + ' not on the legend');
      assert.match(shown.legendText, /Wall thickness, mm[\s\S]*no wall within 3 mm/);
      // Faces inside the window in the ramp's hues, faces with no wall within max in the neutral grey.
      const colours = await viewColours(pages[name].page);
      assert.ok(colours.thickness + colours.noWall > 0.05, 'thickness colours cover ' + JSON.stringify(colours));
    });
});

describe('bracket.stl report in use', () => {
  let first; // the camera as the page opens
  const camera = () => inPage('bracket', () => {
    const { camera, controls } = window.meshprobeReport.view;
    return { position: camera.position.toArray(), distance: camera.position.distanceTo(controls.target) };
  });
  const labels = () => inPage('bracket', () => [...document.querySelectorAll('#labels .label')].filter((l) => !l.hidden)
    .map((l) => ({ text: l.textContent, box: l.getBoundingClientRect().toJSON() })));
  const apart = (boxes) => boxes.forEach((a, i) => boxes.slice(i + 1).forEach((b) => assert.ok(
    a.right <= b.left || b.right <= a.left || a.bottom <= b.top || b.bottom <= a.top, 'overlap ' + JSON.stringify([a, b]))));

  test('summary, histogram, the 1.2 mm rib in red; the colour map and the cavities switch off', async () => {
    const { thickness } = state.made.bracket.summary;
    const facts = await inPage('bracket', () => document.getElementById('summary-list').textContent);
    assert.match(facts, /watertightyes[\s\S]*mesh checksno problems found/);
    assert.match(facts, /thinnest wall1\.2 mm[\s\S]*trapped volume\S+ mm³ in 2 cavities/);
    const bars = await inPage('bracket', () => [...document.querySelectorAll('#histogram rect title')].map((t) => t.textContent));
    // A bar per bin, and the last for the faces at max.
    assert.deepEqual(bars.map((bar) => Number(bar.split(': ')[1].split(' ')[0])),
      [...thickness.histogram.map((bin) => bin.faces), thickness.faces_at_max]);
    const [seeThrough, shownLabels] = [await viewColours(pages.bracket.page), await labels()];
    await toggle('bracket', 'cavities');
    const [solid, hiddenLabels] = [await viewColours(pages.bracket.page), await labels()];
    await toggle('bracket', 'thickness');
    const plain = await viewColours(pages.bracket.page), legendHidden = await inPage('bracket', () => document.getElementById('legend').hidden);
    await toggle('bracket', 'thickness');
    await toggle('bracket', 'cavities');
    assert.ok(solid.thin > 0.003, 'red-orange pixels: ' + solid.thin);
    assert.ok(plain.thickness < 0.002 && legendHidden, 'thickness colours with the map off: ' + plain.thickness);
    assert.ok(seeThrough.cavity > 0.002 && solid.cavity < 0.001, 'cavity colours shown ' + seeThrough.cavity + ', off ' + solid.cavity);
    // A label per cavity shown, none hidden, apart from each other.
    assert.deepEqual([shownLabels, hiddenLabels].map((all) => all.filter((l) => / mm³/.test(l.text)).length),
      [state.made.bracket.summary.trapped.cavities.length, 0]);
    apart(shownLabels.map((l) => l.box));
  });

  test('a cavity row flies to it, a thin-area row highlights its outlined faces, a drain row selects its hole', async () => {
    first = await camera();
    await click('bracket', '#cavity-table tbody tr:first-child', 'cavity-1');
    const selected = await inPage('bracket', () => [document.getElementById('toggle-cavities').checked,
      document.querySelector('#cavity-table tbody tr:first-child').classList.contains('selected')]);
    assert.deepEqual(selected, [true, true]);
    assert.ok((await camera()).distance < first.distance * 0.8, 'camera moved closer');
    assert.ok((await viewColours(pages.bracket.page)).cavity > 0.03, 'cavity colours after the click');
    // Each thin area outlined inside the tool's box of it.
    const outlines = await inPage('bracket', () => window.meshprobeReport.view.thinGroup.children
      .filter((c) => c.type === 'LineSegments').map((c) => Array.from(c.geometry.getAttribute('position').array)));
    const areas = state.made.bracket.summary.thin_areas;
    assert.deepEqual(outlines.map((points, i) => points.length >= 9 && points.every((c, j) => c >= areas[i].bounds[0][j % 3] - 1e-3
      && c <= areas[i].bounds[1][j % 3] + 1e-3)), areas.map(() => true), 'an outline per area, inside its box');
    await toggle('bracket', 'cavities'); // the solid part
    await click('bracket', '#thin-table tbody tr:first-child', 'thin-1');
    const colours = await viewColours(pages.bracket.page);
    await toggle('bracket', 'cavities');
    assert.ok(colours.highlight > 0.001, 'highlight pixels: ' + colours.highlight);
    // Drill and marker per suggested hole, the marker where the drill starts.
    const { cavities } = state.made.bracket.summary.trapped, holes = cavities.flatMap((c) => [c.drain, c.vent]).filter(Boolean);
    await checkTable(pages.bracket.page, 'drain-table', drainRows(cavities));
    const markers = await inPage('bracket', () => window.meshprobeReport.view.drainGroup.children
      .filter((m) => m.geometry.type === 'SphereGeometry').map((m) => m.position.toArray()));
    assert.ok(holes.length >= 2, 'holes suggested: ' + holes.length);
    near(markers.flat(), holes.flatMap((h) => h.exit_point), 'markers', 1e-4);
    await click('bracket', '#drain-table tbody tr:first-child', 'drain-1');
  });

  test('reset view returns to the first view; a section hides what is above it; labels never overlap', async () => {
    const { page } = pages.bracket;
    await page.click('#reset-view'); // from the last row's selection
    near((await camera()).position, first.position, 'reset view', 1e-6);
    const section = async (value) => {
      await inPage('bracket', (v) => Object.assign(document.getElementById('section'), { value: v }).dispatchEvent(new Event('input')), value);
      return (await viewColours(page)).thickness;
    };
    await toggle('bracket', 'cavities');
    const whole = await section(1000);
    assert.ok((await section(300)) < 0.7 * whole, 'a section at 30 % of the height');
    assert.ok((await section(1000)) > 0.95 * whole, 'no section');
    await toggle('bracket', 'cavities');
    // From far away the anchors crowd together, but labels never overlap.
    await inPage('bracket', () => {
      const { view } = window.meshprobeReport;
      view.camera.position.sub(view.controls.target).multiplyScalar(12).add(view.controls.target);
      view.camera.far *= 20;
      view.camera.updateProjectionMatrix();
      view.renderNow();
    });
    const far = (await labels()).map((l) => l.box);
    assert.ok(far.length >= 2, 'labels shown: ' + far.length);
    apart(far);
    checkClean(pages.bracket.log);
  });

  test('the orientation table opens in the best direction, and every row stands the part that way', () =>
    checkOrientation(pages.bracket.page, state.made.bracket.summary, true));
});

test('report --printer: orientation table, the tool\'s verdict, a row per finding in its colour whose click flies to it', async () => {
  const { check } = state.made.cup.summary;
  assert.ok(check.findings.length > 1 && check.findings.some((f) => f.severity !== check.findings[0].severity), 'findings of two kinds');
  await checkOrientation(pages.cup.page, state.made.cup.summary, false);
  const shown = await inPage('cup', () => ({ banner: document.getElementById('verdict').textContent,
    className: document.getElementById('verdict').className,
    severities: [...document.querySelectorAll('#finding-table tbody tr')].map((row) => row.cells[0].className) }));
  const { fail, warn, info } = check.counts;
  assert.match(shown.banner, new RegExp(`^${check.verdict.toUpperCase()} for bottom-up-resin: ${fail} failing, ${warn} warning, ${info} notes`));
  assert.equal(shown.className, 'verdict ' + check.verdict);
  assert.deepEqual(shown.severities, check.findings.map((f) => f.severity));
  await checkTable(pages.cup.page, 'finding-table',
    check.findings.map((f) => [f.severity, f.code, f.message + (f.fix ? ' — fix: ' + f.fix : ''), f.where ?? '—']));
  const index = check.findings.findIndex((f) => Array.isArray(f.where));
  await click('cup', '#finding-table tbody tr:nth-child(' + (index + 1) + ')', 'finding-' + (index + 1));
  // The place is in model coordinates; the view centres on where the turned part shows it.
  const { target, shown: place } = await inPage('cup', (point) => {
    const { view } = window.meshprobeReport;
    return { target: view.controls.target.toArray(), shown: view.model.localToWorld(view.controls.target.clone().fromArray(point)).toArray() };
  }, check.findings[index].where);
  near(target, place, 'view centred');
  assert.match(await inPage('cup', () => document.getElementById('summary-list').textContent), / mm³ in 0 cavities \(up -z\)/);
});

/// Replaces the text of one inline <script id=...> element.
function withScript(page, id, replace) {
  const open = page.indexOf('<script type="text/plain" id="' + id + '">');
  const start = page.indexOf('>', open) + 1, end = page.indexOf('</script>', start);
  return page.slice(0, start) + replace(page.slice(start, end)) + page.slice(end);
}

const breakages = {
  'nothing (the good page)': (page) => page,
  'viewer with a syntax error': (page) => withScript(page, 'report-viewer', (text) => text.replace('start() {', 'start() {{')),
  'viewer that throws while starting': (page) => withScript(page, 'report-viewer', (text) => text.replace('const summary = readJson', 'null.x;$&')),
  'viewer missing': (page) => withScript(page, 'report-viewer', () => ''),
  'three.js missing': (page) => withScript(page, 'three-module', () => ''),
  'binary data truncated': (page) => page.replace(/(<script type="application\/octet-stream" id="report-binary">[A-Za-z0-9+/]{16})/, '$1!!'),
};

// A page whose viewer cannot run ends in its error state with a console error. Copies load side by side.
describe('copies of a good page', { concurrency: true }, () => {
  for (const [what, breakPage] of Object.entries(breakages)) {
    const good = what.startsWith('nothing');
    test('with ' + what + (good ? ' becomes ready' : ' fail visibly'), async () => {
      const file = workPath('broken-' + what.replace(/\W+/g, '-') + '.html');
      writeFileSync(file, breakPage(readFileSync(state.made.cup.html, 'utf8')));
      const { page, log } = await openReport(state.browser, file);
      const ready = await waitUntilReady(page);
      const message = await page.evaluate(() => document.getElementById('viewer-error').textContent);
      await page.close();
      assert.deepEqual([ready, log.errors.length > 0, /failed to start/.test(message)], good ? ['true', false, false] : ['error', true, true]);
    });
  }
});
