"""meshprobe.check(): the verdict for a process agrees with the tool's and the batch record's on parts with
known answers, the profile overrides and files behave as on the command line, and the old mesh-check form is
kept."""

import json

import numpy as np
import pytest

import meshprobe
from conftest import EXAMPLES
from meshprobe import batch

# cup.stl: a 24 x 24 x 22 mm well (12,672 mm³) opening toward +z; thin-walls.stl: walls of 0.8, 1.5 and 3 mm.
CUP, WALLS = EXAMPLES / "cup.stl", EXAMPLES / "thin-walls.stl"


def plain(findings):
    return [{k: v for k, v in vars(f).items() if v is not None} for f in findings]


@pytest.mark.parametrize("path, printer, verdict, code", [
    (CUP, "powder", "pass", "pocket"), (CUP, "top-down-resin", "warn", "pocket"),
    (CUP, "bottom-up-resin", "fail", "suction_cup"), (WALLS, "top-down-resin", "fail", "thin_wall"),
], ids=["cup-powder", "cup-top-down", "cup-bottom-up", "walls-top-down"])
def test_verdict_matches_the_tool_and_the_batch_record(path, printer, verdict, code, tool):
    result = meshprobe.check(meshprobe.load(path), printer=printer, resolution=48, threads=2)
    assert result.verdict == verdict and code in [f.code for f in result.findings]
    assert result.counts[verdict] if verdict != "pass" else result.counts["fail"] == result.counts["warn"] == 0
    record = json.loads(batch.part_record(str(path), printer=printer, resolution=48))
    assert (record["verdict"], record["findings"]) == (verdict, plain(result.findings))
    run = tool("check", path, "--printer", printer, "-r", "48", "--json", check=False)
    assert run.returncode == (3 if verdict == "fail" else 0), run.stderr
    report = json.loads(run.stdout)
    assert (report["verdict"], report["findings"]) == (verdict, plain(result.findings))


def test_suction_cup_volume_and_overrides(tmp_path):
    cup = meshprobe.load(CUP)
    (finding,) = [f for f in meshprobe.check(cup, printer="bottom-up-resin", resolution=48).findings
                  if f.code == "suction_cup"]
    assert finding.unit == "mm³" and finding.measure == pytest.approx(24 * 24 * 22, rel=0.1)
    # The same part judged by a file-like dict that allows big cups: only a warning.
    lenient = {"base": "bottom-up-resin", "suction_cups": {"fail_volume": 20000}}
    assert meshprobe.check(cup, profile=lenient, resolution=48).verdict == "warn"
    walls = meshprobe.load(WALLS)
    assert meshprobe.check(walls, printer="top-down-resin", min_wall=0.5, resolution=32).verdict == "warn"
    text, source = batch._profile_text({"base": "powder", "walls": {"min": 0.2}})
    record = json.loads(batch.part_record(str(WALLS), profile_text=text, profile_source=source, resolution=32))
    assert record["verdict"] == "warn" and record["profile"]["walls"]["min"] == 0.2


def test_a_drain_wider_than_the_sealed_cavity_names_the_largest_that_fits():
    # The bracket's sealed void is about 12 x 8 x 4 mm: no 8 mm hole fits it, one of about 4 mm does.
    bracket = meshprobe.load(str(EXAMPLES / "bracket.stl"))
    found = meshprobe.check(bracket, printer="powder", drain=8, resolution=64).findings
    trapped = [f for f in found if f.code == "trapped"]
    assert len(trapped) == 1 and trapped[0].drain is None and trapped[0].vent is None
    assert 3.5 < trapped[0].largest_hole < 5 and "largest that fits is" in trapped[0].fix


def test_bad_profiles_and_arguments_are_refused(tmp_path):
    bad = tmp_path / "bad.json"
    bad.write_text('{"base": "powder", "walls": {"min": "thin"}}')
    cup = meshprobe.load(CUP)
    for call, error, message in [
        (lambda: meshprobe.check(cup, profile=bad), meshprobe.InputError, r'bad.json: "walls.min": expected a number'),
        (lambda: meshprobe.check(cup, profile=tmp_path / "missing.json"), meshprobe.InputError,
         "cannot read the profile file"),
        (lambda: meshprobe.check(cup, printer="fdm", profile={"base": "fdm"}), ValueError,
         "printer or profile, not both"),
        (lambda: meshprobe.check(cup, min_wall=1), ValueError, "need printer or profile"),
        (lambda: batch.part_record(str(CUP), profile_text='{"base": "powder", "walls": {"mni": 1}}'),
         meshprobe.InputError, 'profile: "walls.mni": unknown key'),
    ]:
        with pytest.raises(error, match=message):
            call()


def test_without_a_process_it_lists_the_mesh_checks():
    cup = meshprobe.load(CUP)
    flipped = meshprobe.Mesh(cup.vertices, np.asarray(cup.triangles)[:, ::-1].copy())
    assert meshprobe.check(cup) == [] and [w["code"] for w in meshprobe.check(flipped)] == ["inside-out"]
    fixed = meshprobe.check(flipped, printer="fdm", fix_winding=True, resolution=32)
    assert fixed.winding_fixed_faces == cup.triangle_count and fixed.verdict == "pass"
    mended, flips = meshprobe.fix_winding(flipped)
    assert flips == cup.triangle_count and meshprobe.check(mended) == []
