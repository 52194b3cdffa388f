#!/usr/bin/env bash
# Fails when the shared library exports any symbol outside the two public classes.
# Usage: scripts/check-exports.sh path/to/libmeshanalysis.so
set -euo pipefail
lib="$1"
symbols=$(nm -DC --defined-only "$lib" | awk '{ $1 = ""; $2 = ""; sub(/^  /, ""); print }')
stray=$(printf '%s\n' "$symbols" | grep -v -E '(Analysis::MeshAnalyzer|VoxelizerTrapVolume)' | grep -v '^$' || true)
if [ -n "$stray" ]; then
  echo "check-exports: $lib exports symbols outside the public classes:" >&2
  printf '%s\n' "$stray" >&2
  exit 1
fi
for class in Analysis::MeshAnalyzer VoxelizerTrapVolume; do
  if ! printf '%s\n' "$symbols" | grep -q "$class::"; then
    echo "check-exports: $lib does not export $class" >&2
    exit 1
  fi
done
count=$(printf '%s\n' "$symbols" | grep -c . || true)
echo "check-exports: $lib exports $count symbols, all of Analysis::MeshAnalyzer and VoxelizerTrapVolume"
