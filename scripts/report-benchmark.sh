#!/usr/bin/env bash
# Size and time to interactive of the report of a generated 1.2M-triangle part (a hollow sphere: a 1.5 to
# 4.5 mm wall around a sealed void), in headless Chromium with the network off. Needs a configured build/
# with the benchmarks (the default).
# Usage: scripts/report-benchmark.sh [TRIANGLES] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."

triangles=${1:-1200000}
runs=${2:-3}
cmake --build build --target meshprobe meshprobe_make_hollow_sphere -j 2 >/dev/null
mkdir -p example-output
build/bench/meshprobe_make_hollow_sphere "$triangles" example-output/hollow-sphere.stl
# One ray per face keeps the analysis short: the page's size and speed do not depend on it.
build/cli/meshprobe report example-output/hollow-sphere.stl -o example-output/hollow-sphere-report.html \
  --samples 1 --min 1 --max 2.5 -q --json > example-output/hollow-sphere-report.json
echo "analyses and report written in $(sed 's/.*"seconds":\([0-9.e+-]*\).*/\1/' example-output/hollow-sphere-report.json) s (before writing)"
node scripts/report-benchmark.mjs example-output/hollow-sphere-report.html "$runs"
