"""meshprobe.check(): the verdict for a process agrees with the tool's on parts with known answers, the
profile overrides and files behave as on the command line, and the old mesh-check form is kept."""

import json
import os
import subprocess

import numpy as np
import pytest

import meshprobe
from meshprobe import batch

TOOL = os.environ.get("MESHPROBE_TOOL")


def columns(xs, ys, heights):
    """A closed block of columns (the C++ tests' testmesh::columns): column (i, j) stands over
    [xs[i], xs[i+1]] x [ys[j], ys[j+1]] up to heights[j][i]; neighbours share the wall between heights."""
    positions, triangles, index = [], [], {}
    ny, nx = len(heights), len(heights[0])

    def vertex(i, j, z):
        key = (xs[i], ys[j], z)
        if key not in index:
            index[key] = len(positions)
            positions.append(key)
        return index[key]

    def height(i, j):
        return heights[j][i] if 0 <= i < nx and 0 <= j < ny else 0

    def quad(a, b, c, d):
        triangles.extend([(a, b, c), (a, c, d)])

    for j in range(ny):
        for i in range(nx):
            h = height(i, j)
            quad(vertex(i, j, 0), vertex(i, j + 1, 0), vertex(i + 1, j + 1, 0), vertex(i + 1, j, 0))
            quad(vertex(i, j, h), vertex(i + 1, j, h), vertex(i + 1, j + 1, h), vertex(i, j + 1, h))
            w, e = min(h, height(i - 1, j)), min(h, height(i + 1, j))
            s, n = min(h, height(i, j - 1)), min(h, height(i, j + 1))
            if w < h:
                quad(vertex(i, j, w), vertex(i, j, h), vertex(i, j + 1, h), vertex(i, j + 1, w))
            if e < h:
                quad(vertex(i + 1, j, e), vertex(i + 1, j + 1, e), vertex(i + 1, j + 1, h), vertex(i + 1, j, h))
            if s < h:
                quad(vertex(i, j, s), vertex(i + 1, j, s), vertex(i + 1, j, h), vertex(i, j, h))
            if n < h:
                quad(vertex(i, j + 1, n), vertex(i, j + 1, h), vertex(i + 1, j + 1, h), vertex(i + 1, j + 1, n))
    return meshprobe.Mesh(np.array(positions, dtype=np.float32), np.array(triangles, dtype=np.uint32))


# A 20 mm cube with a 12 x 12 mm pocket from z = 4 up: 2304 mm³ opening toward +z.
CUP = columns([0, 4, 16, 20], [0, 4, 16, 20], [[20, 20, 20], [20, 4, 20], [20, 20, 20]])
# A 30 x 30 x 3 mm plate with fins 0.3 mm and 0.7 mm thick.
FINS = columns([0, 10, 10.3, 20, 20.7, 30], [0, 5, 25, 30], [[3] * 5, [3, 10, 3, 10, 3], [3] * 5])


def write_stl(mesh, path):
    v, f = np.asarray(mesh.vertices), np.asarray(mesh.triangles)
    with open(path, "wb") as out:
        out.write(b"\0" * 80 + np.uint32(len(f)).tobytes())
        for t in f:
            out.write(np.zeros(3, np.float32).tobytes() + v[t].astype(np.float32).tobytes() + b"\0\0")


@pytest.mark.parametrize("mesh,printer,verdict,code", [
    (CUP, "powder", "pass", "pocket"),
    (CUP, "top-down-resin", "warn", "pocket"),
    (CUP, "bottom-up-resin", "fail", "suction_cup"),
    (FINS, "powder", "fail", "thin_wall"),
], ids=["cup-powder", "cup-top-down", "cup-bottom-up", "fins-powder"])
def test_verdict_matches_the_tool(mesh, printer, verdict, code, tmp_path):
    result = meshprobe.check(mesh, printer=printer, resolution=48, threads=2)
    assert result.verdict == verdict
    assert code in [f.code for f in result.findings]
    assert result.counts[verdict] if verdict != "pass" else result.counts["fail"] == result.counts["warn"] == 0
    path = tmp_path / "part.stl"
    write_stl(mesh, path)
    record = json.loads(batch.part_record(str(path), printer=printer, resolution=48))
    assert record["verdict"] == result.verdict
    assert record["findings"] == [{k: v for k, v in vars(f).items() if v is not None} for f in result.findings]
    if TOOL is None:
        pytest.skip("MESHPROBE_TOOL is not set")
    run = subprocess.run([TOOL, "check", str(path), "--printer", printer, "-r", "48", "--json"],
                         capture_output=True)
    assert run.returncode == (3 if verdict == "fail" else 0), run.stderr
    report = json.loads(run.stdout)
    assert report["verdict"] == result.verdict
    assert report["findings"] == [{k: v for k, v in vars(f).items() if v is not None} for f in result.findings]


def test_suction_cup_volume_and_overrides():
    cup = meshprobe.check(CUP, printer="bottom-up-resin", resolution=48).findings[0]
    assert cup.code == "suction_cup" and cup.unit == "mm³"
    assert cup.measure == pytest.approx(2304, rel=0.1)
    # The same part judged by a file-like dict that allows big cups: only a warning.
    lenient = meshprobe.check(CUP, profile={"base": "bottom-up-resin", "suction_cups": {"fail_volume": 5000}},
                              resolution=48)
    assert lenient.verdict == "warn"
    assert meshprobe.check(FINS, printer="powder", min_wall=0.2).verdict == "warn"


def test_a_drain_wider_than_the_sealed_cavity_names_the_largest_that_fits():
    # The bracket's sealed void is about 12 x 8 x 4 mm: no 8 mm hole fits it, one of about 4 mm does.
    bracket = meshprobe.load(os.path.join(os.path.dirname(__file__), "..", "..", "examples", "bracket.stl"))
    found = meshprobe.check(bracket, printer="powder", drain=8, resolution=64).findings
    trapped = [f for f in found if f.code == "trapped"]
    assert len(trapped) == 1 and trapped[0].drain is None and trapped[0].vent is None
    assert 3.5 < trapped[0].largest_hole < 5 and "largest that fits is" in trapped[0].fix


def test_bad_profiles_and_arguments_are_refused(tmp_path):
    bad = tmp_path / "bad.json"
    bad.write_text('{"base": "powder", "walls": {"min": "thin"}}')
    with pytest.raises(meshprobe.InputError, match=r'bad.json: "walls.min": expected a number'):
        meshprobe.check(CUP, profile=bad)
    with pytest.raises(meshprobe.InputError, match="cannot read the profile file"):
        meshprobe.check(CUP, profile=tmp_path / "missing.json")
    with pytest.raises(ValueError, match="printer or profile, not both"):
        meshprobe.check(CUP, printer="fdm", profile={"base": "fdm"})
    with pytest.raises(ValueError, match="need printer or profile"):
        meshprobe.check(CUP, min_wall=1)


def test_batch_takes_a_profile_dict_read_once(tmp_path):
    path = tmp_path / "fins.stl"
    write_stl(FINS, path)
    text, source = batch._profile_text({"base": "powder", "walls": {"min": 0.2}})
    record = json.loads(batch.part_record(str(path), profile_text=text, profile_source=source, resolution=32))
    assert record["verdict"] == "warn" and record["profile"]["walls"]["min"] == 0.2
    with pytest.raises(meshprobe.InputError, match='profile: "walls.mni": unknown key'):
        batch.part_record(str(path), profile_text='{"base": "powder", "walls": {"mni": 1}}')


def test_without_a_process_it_lists_the_mesh_checks():
    flipped = meshprobe.Mesh(np.asarray(CUP.vertices), np.asarray(CUP.triangles)[:, ::-1].copy())
    assert meshprobe.check(CUP) == []
    assert [w["code"] for w in meshprobe.check(flipped)] == ["inside-out"]
    fixed = meshprobe.check(flipped, printer="fdm", fix_winding=True, resolution=32)
    assert fixed.winding_fixed_faces == len(CUP.triangles) and fixed.verdict == "pass"
