#!/usr/bin/env bash
# Sets everything up (packages, Release build) and runs the test suite.
# Usage: scripts/test.sh [--asan] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
[ "${1:-}" = "--asan" ] && build_dir=build-asan
scripts/setup.sh "$@"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
