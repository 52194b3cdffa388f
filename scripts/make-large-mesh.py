#!/usr/bin/python3
"""Writes a closed, bumpy, scan-like surface (a deformed UV sphere, 100 mm across) as a binary STL with
about TRIANGLES triangles, for import, scale and interruption checks on large parts.

Usage: make-large-mesh.py TRIANGLES OUT.stl"""
import sys

import numpy as np


def bumpy_sphere(triangles):
    rings = max(4, int(round((triangles / 4) ** 0.5)))
    segments = max(3, (triangles + 2 * rings) // (2 * rings))
    theta = np.linspace(0, np.pi, rings + 1)[1:-1]
    phi = np.linspace(0, 2 * np.pi, segments, endpoint=False)
    t, p = np.meshgrid(theta, phi, indexing="ij")
    radius = 50 * (1 + 0.04 * np.sin(7 * t) * np.cos(5 * p) + 0.02 * np.sin(23 * p + 11 * t))
    ring = np.stack([radius * np.sin(t) * np.cos(p), radius * np.sin(t) * np.sin(p), radius * np.cos(t)], axis=-1)
    vertices = np.concatenate([[[0, 0, 50]], ring.reshape(-1, 3), [[0, 0, -50]]]).astype(np.float32)
    south = len(vertices) - 1
    at = lambda r, s: 1 + r * segments + (s % segments)
    s = np.arange(segments)
    faces = [np.stack([np.zeros(segments, int), at(0, s), at(0, s + 1)], axis=1)]
    for r in range(rings - 2):
        a, b, c, d = at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s + 1)
        faces += [np.stack([a, b, c], axis=1), np.stack([a, c, d], axis=1)]
    last = rings - 2
    faces.append(np.stack([at(last, s), np.full(segments, south), at(last, s + 1)], axis=1))
    return vertices, np.concatenate(faces)


def write_binary_stl(path, vertices, faces):
    record = np.zeros(len(faces), dtype=[("normal", "<f4", 3), ("corners", "<f4", (3, 3)), ("attr", "<u2")])
    record["corners"] = vertices[faces]
    with open(path, "wb") as f:
        f.write(b"meshprobe generated surface".ljust(80, b" "))
        f.write(np.uint32(len(faces)).tobytes())
        f.write(record.tobytes())


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    write_binary_stl(sys.argv[2], *bumpy_sphere(int(sys.argv[1])))
