#!/usr/bin/env bash
# Fails when a git-tracked C++ file differs from what clang-format makes of it with the committed
# .clang-format, or has a line longer than its column limit (clang-format leaves long string literals and
# some comments as they are). Run `clang-format-14 -i FILE` to fix the first kind.
# Usage: scripts/check-format.sh [clang-format binary]
set -euo pipefail
cd "$(dirname "$0")/.."

formatter="${1:-clang-format-14}"
limit=$(awk -F': *' '$1 == "ColumnLimit" { print $2 }' .clang-format)
mapfile -t files < <(git ls-files '*.cpp' '*.h')

status=0
if ! "$formatter" --dry-run --Werror "${files[@]}"; then
  echo "check-format: the files above differ from $formatter's output" >&2
  status=1
fi
# Characters, not bytes: the comments hold a few non-ASCII symbols.
if LC_ALL=C.UTF-8 grep -nE "^.{$((limit + 1)),}" "${files[@]}" >&2; then
  echo "check-format: the lines above are longer than $limit characters" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "check-format: ${#files[@]} files follow .clang-format, no line over $limit characters"
exit "$status"
