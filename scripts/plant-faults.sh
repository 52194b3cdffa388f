#!/usr/bin/env bash
# Plants one-line faults in the library, one at a time, and records which ones the unit tests catch.
#
# Usage: scripts/plant-faults.sh [--build DIR] [--list FILE] [--out FILE] [--only REGEX]
#   --build DIR   a configured build tree of this source tree (default: build)
#   --list FILE   the faults (default: scripts/faults.txt), one a line: FILE|SED-EXPRESSION, '#' starts a comment
#   --out FILE    where the outcome goes (default: DIR/faults-result.txt), one line per fault:
#                 caught / missed / not-applied / no-build, the fault, and the failing tests
#   --only REGEX  plant only the faults whose line matches REGEX
#
# Each fault must change exactly one line of its file. The file is copied aside first and copied back after
# the fault (also on Ctrl-C), so uncommitted work in the tree is never touched. Only the test executables
# that can see the planted folder are rebuilt and run: host/ and common/ faults run every unit test
# executable, analysis/ and trapvolume/ faults the executable of their folder. The executables are run
# directly (the same tests ctest runs, one process each instead of one per test); a run that takes longer
# than a minute counts as caught.
set -uo pipefail
cd "$(dirname "$0")/.."

build=build
list=scripts/faults.txt
out=
only=.
while [ $# -gt 0 ]; do
  case "$1" in
  --build) build=$2; shift 2 ;;
  --list) list=$2; shift 2 ;;
  --out) out=$2; shift 2 ;;
  --only) only=$2; shift 2 ;;
  *) echo "plant-faults: unknown argument $1" >&2; exit 2 ;;
  esac
done
out=${out:-$build/faults-result.txt}
[ -f "$build/CMakeCache.txt" ] || { echo "plant-faults: $build is not a configured build tree" >&2; exit 2; }
[ -f "$list" ] || { echo "plant-faults: no fault list $list" >&2; exit 2; }

backup=$(mktemp)
planted=
restore() {
  if [ -n "$planted" ]; then
    cat "$backup" >"$planted" # a fresh time stamp, so the next build compiles the original again
    planted=
  fi
}
trap 'restore; rm -f "$backup"; exit 130' INT TERM
trap 'restore; rm -f "$backup"' EXIT

executables_for() {
  case "$1" in
  host/* | common/*) echo host common analysis trapvolume ;;
  analysis/*) echo analysis ;;
  trapvolume/*) echo trapvolume ;;
  *) echo "" ;;
  esac
}

: >"$out"
caught=0
total=0
missed_list=
number=0
while IFS= read -r line; do
  case "$line" in '' | '#'*) continue ;; esac
  number=$((number + 1))
  echo "$line" | grep -Eq -- "$only" || continue
  file=${line%%|*}
  expression=${line#*|}
  executables=$(executables_for "$file")
  if [ ! -f "$file" ] || [ -z "$executables" ]; then
    echo "not-applied #$number $line (no such library file)" | tee -a "$out"
    continue
  fi
  cp -p "$file" "$backup"
  planted=$file
  sed -i -e "$expression" "$file"
  changed=$(diff "$backup" "$file" | grep -c '^>')
  if [ "$changed" -ne 1 ]; then
    restore
    echo "not-applied #$number $line ($changed lines changed)" | tee -a "$out"
    continue
  fi
  total=$((total + 1))
  targets=()
  for e in $executables; do targets+=(--target "meshprobe_${e}_tests"); done
  if ! cmake --build "$build" -j2 "${targets[@]}" >"$build/faults-build.log" 2>&1; then
    restore
    echo "no-build #$number $line" | tee -a "$out"
    continue
  fi
  failing=
  for e in $executables; do
    if ! timeout 60 "$build/tests/meshprobe_${e}_tests" --gtest_brief=1 >"$build/faults-run.log" 2>&1; then
      failing="$failing $e:$(grep -E '^\[  FAILED  \] [A-Za-z]' "$build/faults-run.log" | sed -E 's/^\[  FAILED  \] ([^ ,]+).*/\1/' | sort -u | tr '\n' ' ')"
      [ -z "${failing##*:}" ] && failing="$failing(crash or timeout)"
    fi
  done
  restore
  if [ -n "$failing" ]; then
    caught=$((caught + 1))
    echo "caught #$number $line --$failing" | tee -a "$out"
  else
    missed_list="$missed_list #$number"
    echo "missed #$number $line" | tee -a "$out"
  fi
done <"$list"

# Leave the tree's executables built from the unplanted sources.
cmake --build "$build" -j2 --target meshprobe_host_tests meshprobe_common_tests meshprobe_analysis_tests \
  meshprobe_trapvolume_tests >/dev/null 2>&1
echo "caught $caught of $total planted faults; missed:${missed_list:- none}" | tee -a "$out"
