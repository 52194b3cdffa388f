#!/usr/bin/env bash
# Scale benchmark (not a test): a generated 10M-triangle closed surface through `info`, `trapped -r 512`
# and `thickness --samples 1`, each with its wall-clock time, peak memory and peak bytes per triangle.
# Usage: scripts/bench-10m.sh [TRIANGLES] [MESHPROBE]   (defaults: 10000000, build/cli/meshprobe)
set -euo pipefail
cd "$(dirname "$0")/.."
triangles=${1:-10000000}
tool=${2:-build/cli/meshprobe}
work=$(mktemp -d /tmp/meshprobe-scale-XXXXXX)
trap 'rm -rf "$work"' EXIT
mesh=$work/surface.stl
/usr/bin/python3 scripts/make-large-mesh.py "$triangles" "$mesh"
count=$(( ($(stat -c %s "$mesh") - 84) / 50 ))
echo "mesh: $count triangles, $(( $(stat -c %s "$mesh") >> 20 )) MB binary STL"
run() {
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$tool" "$@" --quiet >/dev/null
  read -r seconds kilobytes <"$work/time"
  printf '%-28s %7.1f s  %6d MB peak  %5d bytes/triangle\n' "$label" "$seconds" $((kilobytes >> 10)) \
    $((kilobytes * 1024 / count))
}
run "info" info "$mesh"
run "trapped -r 512" trapped "$mesh" -r 512
run "thickness --samples 1" thickness "$mesh" --min 0 --max 1 --samples 1
