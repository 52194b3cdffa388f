// SPDX-License-Identifier: MIT
// Report pages of the bundled examples, written by `meshprobe report` into a scratch folder.
import { execFile } from 'node:child_process';
import { promisify } from 'node:util';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';

const TOOL = process.env.MESHPROBE_EXECUTABLE;
const SOURCE = process.env.MESHPROBE_SOURCE_DIR;
const WORK = process.env.MESHPROBE_REPORT_WORK_DIR;
if (!TOOL || !SOURCE || !WORK)
  throw new Error('set MESHPROBE_EXECUTABLE, MESHPROBE_SOURCE_DIR and MESHPROBE_REPORT_WORK_DIR (ctest does)');

/// `meshprobe report examples/NAME.stl -o ... --json` with the given extra arguments; resolves to the page's
/// path and the JSON the tool printed. Asynchronous, so that the tool writes pages while the browser starts.
export async function makeReport(name, extra = [], tag = 'full') {
  return makeReportOf(join(SOURCE, 'examples', name + '.stl'), name + '-' + tag, extra);
}

/// The same for any mesh file; the page is NAME.html in the scratch folder.
export async function makeReportOf(mesh, name, extra = []) {
  mkdirSync(WORK, { recursive: true });
  const html = join(WORK, name + '.html');
  const args = ['report', mesh, '-o', html, '--json', '-r', '96', '-j', '1', ...extra];
  const { stdout, stderr } = await promisify(execFile)(TOOL, args, { encoding: 'utf8' });
  process.stderr.write(stderr);
  return { html, summary: JSON.parse(stdout) };
}

/// The window the fixtures use: the bracket's 1.2 mm rib lands near the red end, its 2 mm walls in yellow.
export const WINDOW = ['--min', '1', '--max', '3'];

export function workPath(file) {
  mkdirSync(WORK, { recursive: true });
  return join(WORK, file);
}
