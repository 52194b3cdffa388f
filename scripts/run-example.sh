#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine (packages, Release build in build/), then runs the three
# analyses of meshprobe on the bundled bracket and writes the cavity and thickness-colour files to
# example-output/.
# Usage: scripts/run-example.sh [OUTPUT_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-example-output}"
part=examples/bracket.stl
tool=build/cli/meshprobe

scripts/setup.sh
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
echo "  bracket-thickness.ply  the bracket coloured by wall thickness: red 0 mm, through yellow, to green at 2 mm and beyond"
if [ -f "$out/bracket-report.html" ]; then
  echo "  bracket-report.html    everything in one page: open it in a browser"
fi
