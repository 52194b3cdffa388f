#!/usr/bin/env bash
# Installs the Debian packages meshprobe needs (skipping those present), then configures and builds it.
# Usage: scripts/setup.sh [--asan] [--packages-only] [--build-dir DIR] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake g++ libgtest-dev libgmock-dev libbenchmark-dev libembree-dev qtbase5-dev
          libassimp-dev libcli11-dev nlohmann-json3-dev python3-pytest python3-jsonschema)

build_dir=build
build_type=Release
packages_only=0
cmake_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --asan) build_dir=build-asan; build_type=RelWithDebInfo; cmake_args+=(-DMESHPROBE_SANITIZE=ON) ;;
    --build-dir) build_dir="$2"; shift ;;
    --packages-only) packages_only=1 ;;
    *) cmake_args+=("$1") ;;
  esac
  shift
done

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "$packages_only" -eq 0 ] || exit 0

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE="$build_type" ${cmake_args[@]+"${cmake_args[@]}"}
cmake --build "$build_dir" -j "$(nproc)"
