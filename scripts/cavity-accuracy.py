#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""How far the trapped-volume voxel count and the estimate fall from a cavity's true volume.

Writes parts with one sealed cavity of known volume (a 20 mm block holding a 10 mm cube, or a faceted
sphere of radius 5 mm whose polyhedral volume is computed exactly), runs `meshprobe trapped --json` at
several resolutions and prints a Markdown table of the errors. Usage:

    scripts/cavity-accuracy.py [build/cli/meshprobe] [64 128 256 512 1024]
"""
import json
import math
import os
import struct
import subprocess
import sys
import tempfile


def box(lo, hi, inward=False):
    x0, y0, z0 = lo
    x1, y1, z1 = hi
    v = [(x0, y0, z0), (x1, y0, z0), (x1, y1, z0), (x0, y1, z0),
         (x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)]
    quads = [(0, 3, 2, 1), (4, 5, 6, 7), (0, 1, 5, 4), (2, 3, 7, 6), (1, 2, 6, 5), (0, 4, 7, 3)]
    tris = []
    for a, b, c, d in quads:
        tris += [(v[a], v[b], v[c]), (v[a], v[c], v[d])]
    return [(t[0], t[2], t[1]) for t in tris] if inward else tris


def sphere(centre, r, rings=48, segments=96, inward=False):
    def point(i, j):
        theta = math.pi * i / rings
        phi = 2 * math.pi * j / segments
        return (centre[0] + r * math.sin(theta) * math.cos(phi), centre[1] + r * math.sin(theta) * math.sin(phi),
                centre[2] + r * math.cos(theta))
    tris = []
    for i in range(rings):
        for j in range(segments):
            a, b, c, d = point(i, j), point(i + 1, j), point(i + 1, j + 1), point(i, j + 1)
            if i > 0:
                tris.append((a, b, d))
            if i < rings - 1:
                tris.append((b, c, d))
    return [(t[0], t[2], t[1]) for t in tris] if inward else tris


def volume(tris):
    """Signed enclosed volume of triangles as float32 coordinates, as the STL file stores them."""
    f = lambda p: [struct.unpack('f', struct.pack('f', c))[0] for c in p]
    total = 0.0
    for a, b, c in tris:
        a, b, c = f(a), f(b), f(c)
        total += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                  a[2] * (b[0] * c[1] - b[1] * c[0])) / 6.0
    return total


def write_stl(path, tris):
    with open(path, 'wb') as out:
        out.write(b'\0' * 80 + struct.pack('<I', len(tris)))
        for t in tris:
            out.write(struct.pack('<12fH', 0, 0, 0, *t[0], *t[1], *t[2], 0))


def main():
    tool = sys.argv[1] if len(sys.argv) > 1 else 'build/cli/meshprobe'
    resolutions = [int(n) for n in sys.argv[2:]] or [64, 128, 256, 512, 1024]
    # Offsets keep the cavity walls off the voxel boundaries; a wall that lies exactly on one costs a whole
    # layer instead of half a layer on average.
    parts = {
        'cube 10 mm': (box((0, 0, 0), (20, 20, 20)), box((5.03, 5.07, 5.11), (15.03, 15.07, 15.11), True)),
        'sphere r 5 mm': (box((0, 0, 0), (20, 20, 20)), sphere((10.03, 9.97, 10.05), 5, inward=True)),
    }
    print('| cavity | N | voxel mm | voxel volume error | estimate error |')
    print('|---|---|---|---|---|')
    with tempfile.TemporaryDirectory() as folder:
        for name, (outer, inner) in parts.items():
            path = os.path.join(folder, 'part.stl')
            write_stl(path, outer + inner)
            truth = -volume(inner)
            for n in resolutions:
                run = subprocess.run([tool, 'trapped', path, '-r', str(n), '-q', '--json'], check=True,
                                     capture_output=True, text=True)
                report = json.loads(run.stdout)
                cavity = report['cavities'][0]
                voxel = (cavity['volume'] - truth) / truth * 100
                estimate = (cavity['estimated_volume'] - truth) / truth * 100
                print(f"| {name} | {n} | {report['voxel_size']:.4f} | {voxel:+.2f} % | {estimate:+.2f} % |",
                      flush=True)


if __name__ == '__main__':
    main()
