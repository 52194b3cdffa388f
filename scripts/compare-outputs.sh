#!/bin/bash
# Runs two builds of the tool over the same parts and options and compares everything they write: each
# command's --json output, its text summary, its exit code, and every file it writes (reports, colour
# files, cavity meshes, drill cylinders, batch records), byte for byte. Only the measured time ("seconds",
# also inside a report page and batch records) and the tool's version are left out of the comparison.
#
# Usage: scripts/compare-outputs.sh OLD_TOOL NEW_TOOL [WORK_DIR]
# The parts: examples/*.stl, the same parts off the origin, an open, an inside-out and a two-body mesh,
# and the hostile files of scripts/make-hostile-corpus.py. Exit 0 when every output is identical.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 OLD_TOOL NEW_TOOL [WORK_DIR]" >&2
  exit 2
fi
old_tool=$(realpath "$1")
new_tool=$(realpath "$2")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=${3:-$(mktemp -d)}
mkdir -p "$work/parts"
parts=$work/parts

cp "$source_dir"/examples/*.stl "$parts/"
/usr/bin/python3 "$source_dir/scripts/make-hostile-corpus.py" "$parts/hostile" >/dev/null
# Meshes the examples do not cover: off the origin, open, inside-out, two bodies (ASCII STL written here).
/usr/bin/python3 - "$parts" <<'EOF'
import struct, sys
out = sys.argv[1]

def read_stl(path):
    data = open(path, "rb").read()
    count = struct.unpack_from("<I", data, 80)[0]
    tris = []
    for i in range(count):
        v = struct.unpack_from("<12f", data, 84 + 50 * i)
        tris.append([v[3:6], v[6:9], v[9:12]])
    return tris

def write_stl(path, tris):
    with open(path, "w") as f:
        f.write("solid part\n")
        for t in tris:
            f.write(" facet normal 0 0 0\n  outer loop\n")
            for p in t:
                f.write("   vertex {!r} {!r} {!r}\n".format(*p))
            f.write("  endloop\n endfacet\n")
        f.write("endsolid part\n")

bracket = read_stl(out + "/bracket.stl")
cup = read_stl(out + "/cup.stl")
write_stl(out + "/bracket-far.stl", [[(p[0] + 600, p[1] + 600, p[2] + 25) for p in t] for t in bracket])
write_stl(out + "/cup-open.stl", cup[: len(cup) - 40])
write_stl(out + "/cup-inside-out.stl", [[t[0], t[2], t[1]] for t in cup])
write_stl(out + "/two-bodies.stl", bracket + [[(p[0] + 80, p[1], p[2]) for p in t] for t in cup])
EOF

# One case per line: a name and the arguments after the mesh; OUT/ in an argument is the case's output folder.
cases=(
  "info|info"
  "info-cm|info --units cm"
  "thickness|thickness --min 0 --max 2"
  "thickness-perface|thickness --min 0.5 --max 3 --per-face --samples 7 --min-thin-area 0"
  "thickness-color-ply|thickness --min 0 --max 2 --color OUT/colour.ply"
  "thickness-color-glb|thickness --min 0 --max 1.5 --color OUT/colour.glb -j 1"
  "thickness-color-3mf|thickness --min 0 --max 2 --color OUT/colour.3mf --fix-winding"
  "thickness-color-obj|thickness --min 0 --max 2 --color OUT/colour.obj --strict"
  "trapped|trapped -r 64"
  "trapped-solids|trapped -r 96 --up -x --cavities OUT/cavities.stl --drain-holes 3 --drain-holes-file OUT/drills.ply"
  "trapped-columns|trapped -r 64 --up 0,0.3,1 --cavities OUT/cavities.ply --cavities-as columns --min-cavity 5"
  "trapped-printer|trapped -r 64 --printer bottom-up-resin --drain-holes 2.5 --cavities OUT/cavities.glb"
  "orient|orient -r 32 --directions 6"
  "orient-powder|orient -r 32 --printer powder --min-cavity 1"
  "check-resin|check --printer bottom-up-resin -r 64"
  "check-fdm|check --printer fdm -r 48 --strict"
  "check-powder|check --printer powder -r 64 --min-wall 1.5 --drain 4"
  "areas-faces|areas --faces 0-40,100 --label rib"
  "areas-thin|areas --thin 0 1.5"
  "report|report -r 64 -o OUT/report.html"
  "report-printer|report -r 64 --printer bottom-up-resin --drain-holes 3 -o OUT/report.html"
  "report-window|report -r 48 --min 0.5 --max 3 --samples 7 --min-thin-area 0.5 --up +y -o OUT/report.html"
  "report-no-trapped|report --no-trapped --fix-winding -o OUT/report.html"
  "report-no-thickness|report --no-thickness -r 48 --min-cavity 2 -o OUT/report.html"
)

# Removes what may differ between two runs: the time taken, the tool's version and the side's own folder
# in the paths of written files.
normalise() { # file side
  LC_ALL=C sed -E -e 's/"seconds": ?[-0-9.e+]+/"seconds":0/g' -e 's/"version": ?"[^"]*"/"version":""/g' \
    -e "s|$work/$2/|WORK/|g" "$1"
}

run_case() { # tool side part case args...
  local tool=$1 side=$2 part=$3 name=$4
  shift 4
  local out=$work/$side/$(basename "$part")/$name
  mkdir -p "$out"
  local args=()
  for arg in "$@"; do args+=("${arg//OUT\//$out/}"); done
  for mode in json text; do
    local flag=()
    [ "$mode" = json ] && flag=(--json)
    set +e
    "$tool" "${args[0]}" "$part" "${args[@]:1}" "${flag[@]}" -q >"$out/$mode.stdout" 2>"$out/$mode.stderr"
    echo $? >"$out/$mode.exit"
    set -e
  done
}

run_batch() { # tool side
  local out=$work/$2/batch
  mkdir -p "$out"
  set +e
  "$1" batch "$parts"/*.stl --trapped -r 32 --thickness 0 2 --printer powder --ordered -q -o "$out/records.jsonl" \
    >/dev/null 2>"$out/stderr"
  echo $? >"$out/exit"
  set -e
}

meshes=("$parts"/*.stl)
hostile=("$parts"/hostile/*)
for side in old new; do
  tool=$old_tool
  [ $side = new ] && tool=$new_tool
  for part in "${meshes[@]}"; do
    for case in "${cases[@]}"; do
      read -r -a args <<<"${case#*|}"
      run_case "$tool" $side "$part" "${case%%|*}" "${args[@]}"
    done
  done
  # Hostile files: the error or result of the commands that read them.
  for part in "${hostile[@]}"; do
    for case in "info|info" "thickness|thickness --min 0 --max 2" "trapped|trapped -r 16" \
      "report|report -r 16 -o OUT/report.html"; do
      read -r -a args <<<"${case#*|}"
      run_case "$tool" $side "$part" "${case%%|*}" "${args[@]}"
    done
  done
  run_batch "$tool" $side
done

compared=0
differ=0
while IFS= read -r -d '' file; do
  relative=${file#"$work/old/"}
  other=$work/new/$relative
  compared=$((compared + 1))
  if [ ! -f "$other" ]; then
    echo "only in the old tool's output: $relative"
    differ=$((differ + 1))
  elif ! cmp -s <(normalise "$file" old) <(normalise "$other" new); then
    echo "differs: $relative"
    differ=$((differ + 1))
  fi
done < <(find "$work/old" -type f -print0 | sort -z)
while IFS= read -r -d '' file; do
  relative=${file#"$work/new/"}
  [ -f "$work/old/$relative" ] || { echo "only in the new tool's output: $relative"; differ=$((differ + 1)); }
done < <(find "$work/new" -type f -print0 | sort -z)

echo "compared $compared files of ${#meshes[@]} meshes x ${#cases[@]} cases, ${#hostile[@]} hostile files" \
  "and a batch: $differ differ"
[ $differ -eq 0 ]
