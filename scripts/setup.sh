#!/usr/bin/env bash
# Installs the Debian packages meshprobe needs (skipping those present), then configures and builds it, and
# installs the Python package for Debian's /usr/bin/python3 (into /usr/local/lib/python3.X/dist-packages).
# Usage: scripts/setup.sh [--asan] [--packages-only] [--build-dir DIR] [extra CMake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake g++ libgtest-dev libgmock-dev libbenchmark-dev libembree-dev qtbase5-dev
          libassimp-dev libcli11-dev nlohmann-json3-dev nodejs chromium
          python3-dev python3-numpy pybind11-dev python3-pybind11 python3-pytest python3-distributed
          python3-jsonschema)

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
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# Debian's nodejs comes without npm; NodeSource's carries its own and conflicts with Debian's npm package.
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}" >&2
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The report's three.js (embedded at build time) and the browser tests' puppeteer-core, as pinned in
# report/package-lock.json; skipped when node_modules was installed from this very lock file. Never a
# browser download: the tests drive Debian's chromium.
if ! cmp -s report/package-lock.json report/node_modules/.meshprobe-installed-lock 2>/dev/null; then
  echo "setup: npm ci in report/" >&2
  (cd report && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
  cp report/package-lock.json report/node_modules/.meshprobe-installed-lock
fi

[ "$packages_only" -eq 0 ] || exit 0

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE="$build_type" ${cmake_args[@]+"${cmake_args[@]}"}
cmake --build "$build_dir" -j "$(nproc)"

# The Python module (not built under the sanitizers): `/usr/bin/python3 -c "import meshprobe"` works from here on.
if grep -q '^MESHPROBE_BUILD_PYTHON:BOOL=ON' "$build_dir/CMakeCache.txt"; then
  "${sudo_cmd[@]}" cmake --install "$build_dir" --component python >/dev/null
  echo "setup: installed the meshprobe Python package for /usr/bin/python3" >&2
fi
