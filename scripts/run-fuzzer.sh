#!/usr/bin/env bash
# Builds the libFuzzer target (Clang 14, ASan + UBSan, in build-fuzz/) and runs it on the generated seed
# corpus for a bounded time. Fails on any crash, timeout, leak or out-of-memory the fuzzer reports.
# Usage: scripts/run-fuzzer.sh [SECONDS] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DMESHPROBE_FUZZ=ON \
  -DMESHPROBE_BUILD_TESTS=OFF -DMESHPROBE_BUILD_BENCH=OFF -DMESHPROBE_BUILD_CLI=OFF "$@" >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target meshprobe_fuzzer
corpus=build-fuzz/corpus
rm -rf "$corpus" build-fuzz/artifacts
mkdir -p build-fuzz/artifacts
/usr/bin/python3 scripts/make-fuzz-seeds.py "$corpus"
# Each input runs import (in a child process, with its own time limit of a few seconds) and every
# analysis on small settings: 15 s per input is a hang, 2 GB of resident memory an explosion. The
# per-allocation limit is off: a reader's huge allocation happens in the child, where it is an expected
# outcome that the parent reports as a rejected file (the child's sanitizer report still shows on stderr).
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  build-fuzz/meshprobe_fuzzer "$corpus" -max_total_time="$seconds" -timeout=15 -rss_limit_mb=2048 -malloc_limit_mb=1000000 \
  -max_len=65536 -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1
