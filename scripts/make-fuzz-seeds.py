#!/usr/bin/python3
"""Writes the seed corpus of fuzz/mesh_fuzzer.cpp: one byte naming the format (its position in the
fuzzer's extension list), then the file. Seeds are small valid meshes of every format, the bundled
examples, and the hostile files of make-hostile-corpus.py.

Usage: make-fuzz-seeds.py OUTDIR"""
import glob
import json
import os
import runpy
import struct
import sys
import types

HERE = os.path.dirname(os.path.abspath(__file__))
EXTENSIONS = [".stl", ".obj", ".ply", ".off", ".3mf", ".gltf", ".glb"]  # as in fuzz/mesh_fuzzer.cpp
LARGEST_SEED = 200_000  # bytes: keeps each run fast


def hostile():
    # The script's name has dashes, so it cannot be imported by name: run it and keep its functions.
    return types.SimpleNamespace(**runpy.run_path(os.path.join(HERE, "make-hostile-corpus.py")))


def valid_seeds(corpus):
    box = [(0, 0, 0), (2, 0, 0), (2, 2, 0), (0, 2, 0), (0, 0, 2), (2, 0, 2), (2, 2, 2), (0, 2, 2)]
    quads = [(0, 3, 2, 1), (4, 5, 6, 7), (0, 1, 5, 4), (1, 2, 6, 5), (2, 3, 7, 6), (3, 0, 4, 7)]
    triangles = [t for a, b, c, d in quads for t in ((a, b, c), (a, c, d))]
    obj = "".join(f"v {x} {y} {z}\n" for x, y, z in box) + "".join(
        "f " + " ".join(str(i + 1) for i in q) + "\n" for q in quads)
    ply = ("ply\nformat ascii 1.0\nelement vertex 8\nproperty float x\nproperty float y\nproperty float z\n"
           "element face 12\nproperty list uchar int vertex_indices\nend_header\n" +
           "".join(f"{x} {y} {z}\n" for x, y, z in box) + "".join(f"3 {a} {b} {c}\n" for a, b, c in triangles))
    stl = "solid box\n" + "".join(
        "facet normal 0 0 0\nouter loop\n" + "".join(f"vertex {' '.join(map(str, box[i]))}\n" for i in t) +
        "endloop\nendfacet\n" for t in triangles) + "endsolid box\n"
    positions = struct.pack(f"<{3 * len(box)}f", *[c for v in box for c in v])
    indices = struct.pack(f"<{3 * len(triangles)}H", *[i for t in triangles for i in t])
    gltf = {"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
            "nodes": [{"mesh": 0, "translation": [1, 0, 0]}],
            "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 1}]}],
            "buffers": [{"byteLength": len(positions) + len(indices)}],
            "bufferViews": [{"buffer": 0, "byteLength": len(positions)},
                            {"buffer": 0, "byteOffset": len(positions), "byteLength": len(indices)}],
            "accessors": [{"bufferView": 0, "componentType": 5126, "count": 8, "type": "VEC3",
                           "min": [0, 0, 0], "max": [2, 2, 2]},
                          {"bufferView": 1, "componentType": 5123, "count": 36, "type": "SCALAR"}]}
    text = json.dumps(gltf).encode()
    text += b" " * (-len(text) % 4)
    binary = positions + indices
    glb_body = struct.pack("<I4s", len(text), b"JSON") + text + struct.pack("<I4s", len(binary), b"BIN\0") + binary
    glb = struct.pack("<4sII", b"glTF", 2, 12 + len(glb_body)) + glb_body
    return [("box.obj", obj.encode()), ("box.ply", ply.encode()), ("box-ascii.stl", stl.encode()),
            ("box.off", corpus.off_file(8, box, triangles)),
            ("box.3mf", corpus.three_mf(corpus.model_xml(triangles, box))), ("box.glb", glb)]


def main():
    if len(sys.argv) != 2 or sys.argv[1].startswith("-"):
        sys.exit(__doc__)
    corpus = hostile()
    seeds = valid_seeds(corpus) + [(name, data) for name, data, _, _ in corpus.CORPUS]
    for path in sorted(glob.glob(os.path.join(HERE, "..", "examples", "*.stl"))):
        with open(path, "rb") as f:
            seeds.append((os.path.basename(path), f.read()))
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, data in seeds:
        if len(data) > LARGEST_SEED:
            continue
        extension = os.path.splitext(name)[1]
        with open(os.path.join(sys.argv[1], name), "wb") as f:
            f.write(bytes([EXTENSIONS.index(extension)]) + data)


if __name__ == "__main__":
    main()
