// SPDX-License-Identifier: MIT
// Report pages written by `meshprobe report` into a scratch folder, and the browser the tests open them in.
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

/// `meshprobe report MESH -o WORK/NAME.html --json` with the given extra arguments (MESH an example's name or a
/// path); resolves to the page's path and the JSON the tool printed. Asynchronous, so that the tool writes
/// pages while the browser starts.
export async function makeReport(mesh, extra = [], name = mesh) {
  mkdirSync(WORK, { recursive: true });
  const html = join(WORK, name + '.html');
  const path = mesh.includes('/') ? mesh : join(SOURCE, 'examples', mesh + '.stl');
  const args = ['report', path, '-o', html, '--json', '-r', '96', '-j', '1', ...extra];
  const { stdout, stderr } = await promisify(execFile)(TOOL, args, { encoding: 'utf8' });
  process.stderr.write(stderr);
  return { html, summary: JSON.parse(stdout) };
}

/// The same with the page's name first, as earlier tests call it.
export const makeReportOf = (mesh, name, extra = []) => makeReport(mesh, extra, name);

/// The window the fixtures use: the bracket's 1.2 mm rib lands near the red end, its 2 mm walls in yellow.
export const WINDOW = ['--min', '1', '--max', '3'];

export function workPath(file) {
  mkdirSync(WORK, { recursive: true });
  return join(WORK, file);
}

/// Launches the browser for a test file while `make()` writes its pages, and closes it after the file's
/// tests. The returned object gets `browser` and `made` (what make resolved to).
export function withBrowser(make) {
  const state = {};
  before(async () => {
    const launching = launch();
    try {
      state.made = await make();
    } finally {
      state.browser = await launching;
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
