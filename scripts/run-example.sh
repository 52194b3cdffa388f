#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (packages), builds only the tool (Release, in build/; no tests or
# benchmarks; the build's output goes to build/run-example.log), then runs the three analyses of meshprobe
# on the bundled bracket and writes the cavity and thickness-colour files to example-output/.
# Usage: scripts/run-example.sh [OUTPUT_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-example-output}"
part=examples/bracket.stl
tool=build/cli/meshprobe

scripts/setup.sh --packages-only
echo "building the meshprobe tool (a few minutes the first time; log in build/run-example.log)..."
mkdir -p build
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j "$(nproc)" --target meshprobe; } \
    >build/run-example.log 2>&1; then
  tail -n 30 build/run-example.log >&2
  echo "run-example: the build failed; the whole log is build/run-example.log" >&2
  exit 1
fi
mkdir -p "$out"

run() {
  echo
  echo "\$ meshprobe $(printf '%q ' "$@")"
  "$tool" "$@"
}

run info "$part"
run trapped "$part" --resolution 256 --cavities "$out/bracket-cavities.glb"
run trapped "$part" --resolution 256 --up -z
run thickness "$part" --min 0 --max 2 --color "$out/bracket-thickness.ply"
run areas "$part" --thin 0 1.5 --label "thin rib"
if "$tool" report --help >/dev/null 2>&1; then
  run report "$part" --min 1 --max 3 -o "$out/bracket-report.html"
fi

echo
echo "Written to $out/:"
echo "  bracket-cavities.glb   one object per trapped cavity (Closed: sealed; Open: opens upward)"
echo "  bracket-thickness.ply  the bracket coloured by wall thickness: red at 0 mm, through yellow, to green"
echo "                         just below 2 mm; grey where no wall is thinner than 2 mm"
if [ -f "$out/bracket-report.html" ]; then
  echo "  bracket-report.html    everything in one page: open it in a browser"
fi
