#!/usr/bin/env bash
# Plants one-line faults in the code, one at a time, and records which ones the unit tests catch.
#
# Usage: scripts/plant-faults.sh [--build DIR] [--list FILE] [--out FILE] [--only REGEX]
#   --build DIR   a configured build tree of this source tree (default: build)
#   --list FILE   the faults (default: scripts/faults.txt), one a line: FILE|SED-EXPRESSION, '#' starts a comment
#   --out FILE    where the outcome goes (default: DIR/faults-result.txt), one line per fault:
#                 caught / missed / not-applied / no-build, the fault, and the failing tests
#   --only REGEX  plant only the faults whose line matches REGEX
#
# Each fault must change exactly one line of its file. The file is copied aside first and copied back after
# the fault (also on Ctrl-C), so uncommitted work in the tree is never touched. Only the suites that can
# see the planted folder are rebuilt and run: host/ and common/ faults run every unit test executable of
# the analysis library, analysis/ and trapvolume/ faults the executable of their folder, toolkit/ faults the
# toolkit's executable, cli/ faults the tool's test executable (its end-to-end tests, signals included),
# python/ faults the module's tests, report/page/ faults the browser tests of the report. The suites are run
# directly (the same tests ctest runs, one process each instead of one per test); a unit test executable
# that takes longer than a minute (the tool's, which runs the tool on large parts, five), or another suite
# longer than ten, counts as caught.
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

suites_for() {
  case "$1" in
  host/* | common/*) echo host common analysis trapvolume ;;
  analysis/*) echo analysis ;;
  trapvolume/*) echo trapvolume ;;
  toolkit/*) echo toolkit ;;
  cli/*) echo cli ;;
  python/*) echo python ;;
  report/page/*) echo browser ;;
  *) echo "" ;;
  esac
}

# The build targets of a suite.
targets_of() {
  case "$1" in
  python) echo meshprobe_python meshprobe ;; # the extension and the package's .py files beside it
  browser) echo meshprobe ;;
  *) echo "meshprobe_${1}_tests" ;;
  esac
}

# Runs a suite; its output goes to $build/faults-run.log. Fails when a test fails.
run_suite() {
  local tool=$build/cli/meshprobe
  case "$1" in
  python) PYTHONPATH=$build/python MESHPROBE_TOOL=$tool timeout 600 /usr/bin/python3 -m pytest -q -x \
    -p no:cacheprovider python/tests ;;
  browser) MESHPROBE_EXECUTABLE=$tool MESHPROBE_SOURCE_DIR=$PWD MESHPROBE_REPORT_WORK_DIR=$build/faults-browser \
    MESHPROBE_CHROMIUM=$(command -v chromium) timeout 600 node --test --test-concurrency=1 tests/report/*.test.mjs ;;
  cli) timeout 300 "$build/tests/meshprobe_cli_tests" --gtest_brief=1 ;;
  *) timeout 60 "$build/tests/meshprobe_${1}_tests" --gtest_brief=1 ;;
  esac >"$build/faults-run.log" 2>&1
}

# The names of the failing tests in the last run.
failing_tests() {
  grep -E '^\[  FAILED  \] [A-Za-z]|^FAILED |^not ok ' "$build/faults-run.log" |
    sed -E 's/^\[  FAILED  \] ([^ ,]+).*/\1/; s/^FAILED ([^ ]+).*/\1/; s/^not ok [0-9]+ - (.*)/\1/' | sort -u | tr '\n' ' '
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
  suites=$(suites_for "$file")
  if [ ! -f "$file" ] || [ -z "$suites" ]; then
    echo "not-applied #$number $line (no such file, or no suite for its folder)" | tee -a "$out"
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
  for e in $suites; do for t in $(targets_of "$e"); do targets+=(--target "$t"); done; done
  if ! cmake --build "$build" -j2 "${targets[@]}" >"$build/faults-build.log" 2>&1; then
    restore
    echo "no-build #$number $line" | tee -a "$out"
    continue
  fi
  failing=
  for e in $suites; do
    if ! run_suite "$e"; then
      failing="$failing $e:$(failing_tests)"
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
all_targets=()
for e in host common analysis trapvolume toolkit cli python browser; do
  for t in $(targets_of "$e"); do all_targets+=(--target "$t"); done
done
cmake --build "$build" -j2 "${all_targets[@]}" >/dev/null 2>&1
echo "caught $caught of $total planted faults; missed:${missed_list:- none}" | tee -a "$out"
