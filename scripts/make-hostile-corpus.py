#!/usr/bin/python3
"""Writes the hostile mesh files that once crashed, hung or exhausted the reader, and malformed files of
every format, into a folder: the repro set of the tool's robustness test and the seeds of the fuzzer.

Usage: make-hostile-corpus.py OUTDIR
Each entry of CORPUS is (file name, bytes, meshprobe arguments after the path, expected exit code); standard
output lists them, one a line: the file name, the expected exit code, the command, then its further arguments,
separated by tabs."""
import io
import math
import os
import struct
import sys
import zipfile


def off_file(vertex_count, vertices, faces):
    lines = ["OFF", f"{vertex_count} {len(faces)} 0"]
    lines += [" ".join(str(c) for c in v) for v in vertices]
    lines += [" ".join(str(i) for i in [len(f)] + list(f)) for f in faces]
    return ("\n".join(lines) + "\n").encode()


TETRA = [(0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1)]
TETRA_FACES = [(0, 2, 1), (0, 1, 3), (0, 3, 2), (1, 2, 3)]


def three_mf(model_xml):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        z.writestr("[Content_Types].xml",
                   '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/'
                   'package/2006/content-types"><Default Extension="rels" ContentType="application/'
                   'vnd.openxmlformats-package.relationships+xml"/><Default Extension="model" ContentType='
                   '"application/vnd.ms-package.3dmanufacturing-3dmodel+xml"/></Types>')
        z.writestr("_rels/.rels",
                   '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/'
                   'package/2006/relationships"><Relationship Target="/3D/3dmodel.model" Id="rel0" Type='
                   '"http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"/></Relationships>')
        z.writestr("3D/3dmodel.model", model_xml)
    return buffer.getvalue()


def model_xml(faces, vertices=TETRA):
    vs = "".join(f'<vertex x="{x}" y="{y}" z="{z}"/>' for x, y, z in vertices)
    ts = "".join(f'<triangle v1="{a}" v2="{b}" v3="{c}"/>' for a, b, c in faces)
    return ('<?xml version="1.0" encoding="UTF-8"?><model unit="millimeter" xmlns="http://schemas.microsoft.com/'
            '3dmanufacturing/core/2015/02"><resources><object id="1" type="model"><mesh><vertices>' + vs +
            '</vertices><triangles>' + ts + '</triangles></mesh></object></resources><build><item objectid="1"/>'
            '</build></model>')


def truncated_binary_ply():
    header = ("ply\nformat binary_little_endian 1.0\nelement vertex 100\nproperty float x\nproperty float y\n"
              "property float z\nelement face 50\nproperty list uchar int vertex_indices\nend_header\n").encode()
    return header + struct.pack("<3f", 0, 0, 0) * 5  # 5 of the 100 vertices, no faces


def nested_gltf(depth):
    nodes = ",".join('{"children":[%d]}' % (i + 1) for i in range(depth - 1)) + ",{}"
    return ('{"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[' + nodes + ']}').encode()


def huge_chunk_glb():
    """A JSON chunk that claims 3.5 GB in a 218-byte file."""
    json_text = b'{"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{}]}'
    body = struct.pack("<I4s", 0xE0000000, b"JSON") + json_text
    return struct.pack("<4sII", b"glTF", 2, 218) + body + b" " * (218 - 12 - len(body))


def big_polygon_obj(corners):
    lines = [f"v {math.cos(2 * math.pi * i / corners):.6f} {math.sin(2 * math.pi * i / corners):.6f} 0"
             for i in range(corners)]
    lines.append("f " + " ".join(str(i + 1) for i in range(corners)))
    return ("\n".join(lines) + "\n").encode()


def huge_tetra_obj(size):
    corners = [(0, 0, 0), (size, 0, 0), (0, size, 0), (0, 0, size)]
    return ("".join(f"v {x} {y} {z}\n" for x, y, z in corners) + "f 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n").encode()


INFO = ["info"]
CORPUS = [
    ("off-announces-more-vertices.off", off_file(8, TETRA, TETRA_FACES), INFO, 2),
    ("off-announces-more-faces.off", off_file(4, TETRA, TETRA_FACES)[:-8], INFO, 2),
    ("off-index-beyond.off", off_file(4, TETRA, TETRA_FACES[:3] + [(0, 1, 99)]), INFO, 2),
    ("off-index-negative.off", off_file(4, TETRA, TETRA_FACES[:3] + [(0, 1, -1)]), INFO, 2),
    ("ply-index-beyond.ply", ("ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\n"
                              "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
                              "0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 1 99\n").encode(), INFO, 2),
    ("obj-index-beyond.obj", huge_tetra_obj(1)[:-1] + b"\nf 1 2 99\n", INFO, 2),
    ("3mf-index-beyond.3mf", three_mf(model_xml(TETRA_FACES[:3] + [(0, 1, 99)])), INFO, 2),
    ("3mf-truncated.3mf", three_mf(model_xml(TETRA_FACES))[:300], INFO, 2),
    ("3mf-broken-xml.3mf", three_mf(model_xml(TETRA_FACES)[:400]), INFO, 2),
    ("3mf-no-vertices.3mf", three_mf(model_xml(TETRA_FACES, vertices=[])), INFO, 2),
    ("ply-truncated-binary.ply", truncated_binary_ply(), INFO, 2),
    ("ply-header-only.ply", b"ply\nformat ascii 1.0\ncomment x\n", INFO, 2),
    ("gltf-nested-nodes.gltf", nested_gltf(100000), INFO, 2),
    ("glb-huge-chunk.glb", huge_chunk_glb(), INFO, 2),
    ("obj-polygon-20000-corners.obj", big_polygon_obj(20000), INFO, 2),
    ("stl-truncated.stl", struct.pack("<80sI", b"binary", 1000) + b"\0" * 500, INFO, 2),
    ("stl-nan.stl", struct.pack("<80sI", b"binary", 1) + struct.pack("<12fH", 0, 0, 0, math.nan, 0, 0, 1, 0, 0,
                                                                       0, 1, 0, 0), INFO, 2),
    # A part so large that, even centred on its box, the grid's 0.001 mm margin vanishes in double precision:
    # the set-up refuses it (an analysis failure, exit 1).
    ("huge-tetrahedron.obj", huge_tetra_obj(1e15), ["trapped", "-r", "64"], 1),
]


def main():
    if len(sys.argv) != 2 or sys.argv[1].startswith("-"):  # "--help" is no folder to fill
        sys.exit(__doc__)
    os.makedirs(sys.argv[1], exist_ok=True)
    for name, data, args, expected in CORPUS:
        with open(os.path.join(sys.argv[1], name), "wb") as f:
            f.write(data)
        print("\t".join([name, str(expected)] + args))


if __name__ == "__main__":
    main()
