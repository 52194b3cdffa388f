#!/usr/bin/env bash
# Holds each folder to its arrows: which project folders its files may include. The host-facing library
# never includes the toolkit, its two analyses never include each other, only the toolkit's adapters
# include the host-facing library, and nothing above the toolkit does.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder (a path prefix) | include prefixes it must not use
rules=(
  "host/|common/ analysis/ trapvolume/ toolkit/ batch/ cli/ python/ report/"
  "common/|analysis/ trapvolume/ toolkit/ batch/ cli/ python/ report/"
  "analysis/|trapvolume/ toolkit/ batch/ cli/ python/ report/"
  "trapvolume/|analysis/ toolkit/ batch/ cli/ python/ report/"
  "toolkit/include/|host/ common/ analysis/ trapvolume/ toolkit/src/ batch/ cli/ python/ report/"
  "toolkit/json/|host/ common/ analysis/ trapvolume/ toolkit/src/ batch/ cli/ python/ report/"
  "toolkit/src/io/|host/ common/ analysis/ trapvolume/ toolkit/src/adapters/ batch/ cli/ python/ report/"
  "toolkit/src/checks/|host/ common/ analysis/ trapvolume/ batch/ cli/ python/ report/"
  "toolkit/src/thickness/|host/ common/ analysis/ trapvolume/ batch/ cli/ python/ report/"
  "toolkit/src/cavities/|host/ common/ analysis/ trapvolume/ batch/ cli/ python/ report/"
  "toolkit/src/orient/|host/ common/ analysis/ trapvolume/ batch/ cli/ python/ report/"
  "toolkit/src/placement/|host/ common/ analysis/ trapvolume/ batch/ cli/ python/ report/"
  "toolkit/src/runtime/|host/ common/ analysis/ trapvolume/ batch/ cli/ python/ report/"
  "toolkit/src/adapters/|batch/ cli/ python/ report/"
  "batch/|host/ common/ analysis/ trapvolume/ cli/ python/ report/"
  "report/|host/ common/ analysis/ trapvolume/ cli/ python/"
  "cli/|host/ common/ analysis/ trapvolume/ python/"
  "python/|host/ common/ analysis/ trapvolume/ cli/"
)

status=0
for rule in "${rules[@]}"; do
  folder=${rule%%|*}
  for banned in ${rule#*|}; do
    hits=$(git ls-files "$folder" | grep -E '\.(cpp|h)$' | xargs -r grep -nE "^#include \"$banned" || true)
    if [ -n "$hits" ]; then
      echo "check-layers: $folder must not include $banned:" >&2
      printf '%s\n' "$hits" >&2
      status=1
    fi
  done
done
# An adapter header that includes the host-facing library stays inside adapters/: elsewhere it would bring
# that library in through the back door.
for header in $(git ls-files 'toolkit/src/adapters/*.h'); do
  grep -qE '^#include "(host|common|analysis|trapvolume)/' "$header" || continue
  hits=$(git ls-files toolkit/src batch cli python report | grep -E '\.(cpp|h)$' | grep -v '^toolkit/src/adapters/' |
         xargs -r grep -nF "#include \"$header\"" || true)
  if [ -n "$hits" ]; then
    echo "check-layers: $header includes the host-facing library; only adapters/ may include it:" >&2
    printf '%s\n' "$hits" >&2
    status=1
  fi
done
# A toolkit source folder this script does not know has no rule yet.
for dir in $(git ls-files toolkit/src | cut -d/ -f3 | sort -u); do
  printf '%s\n' "${rules[@]}" | grep -q "^toolkit/src/$dir/|" ||
    { echo "check-layers: toolkit/src/$dir/ has no rule here" >&2; status=1; }
done
[ $status -eq 0 ] && echo "check-layers: every folder keeps to its arrows"
exit $status
