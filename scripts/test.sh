#!/usr/bin/env bash
# Sets everything up (packages, Release build) and runs the test suite.
# Usage: scripts/test.sh [--asan] [--build-dir DIR] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
args=("$@")
for ((i = 0; i < ${#args[@]}; i++)); do
  case "${args[i]}" in
    --asan) build_dir=build-asan ;;
    --build-dir) build_dir="${args[i + 1]}" ;;
  esac
done
scripts/setup.sh "$@"
ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)"
