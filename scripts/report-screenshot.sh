#!/usr/bin/env bash
# Writes the report of examples/bracket.stl to example-output/bracket-report.html and its screenshot, as
# the README shows it, to docs/report.png. Needs a configured build/ (scripts/setup.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build build --target meshprobe -j 2 >/dev/null
mkdir -p example-output docs
build/cli/meshprobe report examples/bracket.stl -o example-output/bracket-report.html --min 1 --max 3 -q
node scripts/report-screenshot.mjs example-output/bracket-report.html docs/report.png
echo "example-output/bracket-report.html ($(du -h example-output/bracket-report.html | cut -f1)), docs/report.png"
