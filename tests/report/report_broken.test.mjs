// SPDX-License-Identifier: MIT
// A report whose viewer cannot run must not pass for a working one: each broken copy of a good page
// ends in the page's error state with a console error.
import { describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, writeFileSync } from 'node:fs';

import { openReport, waitUntilReady } from './browser.mjs';
import { makeReport, withBrowser, workPath } from './fixtures.mjs';

const state = withBrowser(async () => readFileSync((await makeReport('cup', ['--min', '1', '--max', '4'], 'good')).html, 'utf8'));

/// Replaces the text of one inline <script id=...> element.
function withScript(page, id, replace) {
  const open = page.indexOf('<script type="text/plain" id="' + id + '">');
  assert.ok(open >= 0, 'no script ' + id);
  const start = page.indexOf('>', open) + 1, end = page.indexOf('</script>', start);
  return page.slice(0, start) + replace(page.slice(start, end)) + page.slice(end);
}

const breakages = {
  'nothing (the good page)': (page) => page,
  'viewer with a syntax error': (page) => withScript(page, 'report-viewer', (text) => text.replace('export function start()', 'export function start() {{')),
  'viewer that throws while starting': (page) => withScript(page, 'report-viewer', (text) => text.replace('const summary = readJson', 'null.x; const summary = readJson')),
  'viewer missing': (page) => withScript(page, 'report-viewer', () => ''),
  'three.js missing': (page) => withScript(page, 'three-module', () => ''),
  'binary data truncated': (page) => page.replace(/(<script type="application\/octet-stream" id="report-binary">[A-Za-z0-9+/]{16})/, '$1!!'),
};

// The broken copies stop before drawing anything: they load side by side.
describe('copies of a good page', { concurrency: true }, () => {
  for (const [what, breakPage] of Object.entries(breakages)) {
    test('with ' + what + (what.startsWith('nothing') ? ' becomes ready' : ' fail visibly'), async () => {
      const file = workPath('broken-' + what.replace(/\W+/g, '-') + '.html');
      writeFileSync(file, breakPage(state.made));
      const { page, log } = await openReport(state.browser, file);
      const ready = await waitUntilReady(page);
      const message = await page.evaluate(() => document.getElementById('viewer-error').textContent);
      await page.close();
      if (what.startsWith('nothing')) return assert.deepEqual([ready, log.errors], ['true', []]);
      assert.equal(ready, 'error');
      assert.ok(log.errors.length > 0, 'a console error');
      assert.match(message, /failed to start/);
    });
  }
});
