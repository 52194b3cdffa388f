#!/usr/bin/env bash
# Writes a real scan for the benchmarks: the Stanford bunny of Debian's libcgal-demo data (75,408 triangles),
# split twice into four by its edge midpoints (1,206,528 triangles), as OFF.
# Usage: scripts/make-scan-mesh.sh [OUT.off] [SUBDIVISIONS]   (default build/scan/bunny-1206k.off, 2)
# Installs Debian's libcgal-demo when it is missing.
set -euo pipefail
out="${1:-build/scan/bunny-1206k.off}"
levels="${2:-2}"
data=/usr/share/doc/libcgal-demo/data.tar.gz
if [ ! -f "$data" ]; then
  echo "make-scan-mesh: installing libcgal-demo" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends libcgal-demo
fi
[ -f "$data" ] || { echo "make-scan-mesh: $data is missing after installing libcgal-demo" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tar -xzf "$data" -C "$work" data/meshes/bunny00.off
# Midpoint subdivision is a few lines; no packaged tool does it on OFF without pulling in a mesh library.
/usr/bin/python3 - "$work/data/meshes/bunny00.off" "$out.tmp" "$levels" <<'PY'
import sys
src, dst, levels = sys.argv[1], sys.argv[2], int(sys.argv[3])
words = open(src).read().split()
assert words[0] == "OFF"
nv, nf = int(words[1]), int(words[2])
pos = 4
verts = [tuple(float(w) for w in words[pos + 3 * i: pos + 3 * i + 3]) for i in range(nv)]
pos += 3 * nv
faces = []
for _ in range(nf):
    k = int(words[pos])
    ids = [int(w) for w in words[pos + 1: pos + 1 + k]]
    pos += 1 + k
    faces += [(ids[0], ids[i], ids[i + 1]) for i in range(1, k - 1)]
for _ in range(levels):
    mid = {}
    def midpoint(a, b):
        key = (a, b) if a < b else (b, a)
        if key not in mid:
            pa, pb = verts[a], verts[b]
            mid[key] = len(verts)
            verts.append(((pa[0] + pb[0]) / 2, (pa[1] + pb[1]) / 2, (pa[2] + pb[2]) / 2))
        return mid[key]
    split = []
    for a, b, c in faces:
        ab, bc, ca = midpoint(a, b), midpoint(b, c), midpoint(c, a)
        split += [(a, ab, ca), (ab, b, bc), (ca, bc, c), (ab, bc, ca)]
    faces = split
with open(dst, "w") as f:
    f.write("OFF\n%d %d 0\n" % (len(verts), len(faces)))
    f.write("".join("%.9g %.9g %.9g\n" % v for v in verts))
    f.write("".join("3 %d %d %d\n" % t for t in faces))
PY
mv "$out.tmp" "$out"
echo "$out"
