"""meshprobe.check(): the verdict for a process is the tool's and the batch record's on parts with known
answers, profiles and overrides behave as on the command line, and without a process it lists the mesh checks."""

import json

import numpy as np
import pytest

import meshprobe
from conftest import BRACKET, CUP, WALLS, same
from meshprobe import batch


# cup.stl: a 24 x 24 x 22 mm well (12,672 mm³) opening toward +z; thin-walls.stl: walls of 0.8, 1.5 and 3 mm.
@pytest.mark.parametrize("path, printer, verdict, code", [
    (CUP, "powder", "pass", "pocket"), (CUP, "top-down-resin", "warn", "pocket"),
    (CUP, "bottom-up-resin", "fail", "suction_cup"), (WALLS, "top-down-resin", "fail", "thin_wall")])
def test_verdict_is_the_tools_and_the_batch_records(path, printer, verdict, code, tool):
    result = meshprobe.check(meshprobe.load(path), printer=printer, resolution=48, threads=2)
    assert result.verdict == verdict and code in [f.code for f in result.findings]
    run = tool("check", path, "--printer", printer, "-r", "48", "--json", check=False)
    assert run.returncode == (3 if verdict == "fail" else 0), run.stderr
    findings = [{k: v for k, v in f.to_dict().items() if v is not None} for f in result.findings]
    for plain in (json.loads(run.stdout), json.loads(batch.part_record(str(path), printer=printer, resolution=48))):
        assert (plain["verdict"], plain["findings"]) == (verdict, findings) and same(result.to_dict(), plain)


def test_profiles_and_overrides_change_the_verdict_as_the_tools_options_do(cup):
    # The same part judged by a profile that allows big cups: only a warning.
    lenient = {"base": "bottom-up-resin", "suction_cups": {"fail_volume": 20000}}
    assert meshprobe.check(cup, profile=lenient, resolution=48).verdict == "warn"
    walls = meshprobe.load(WALLS)
    assert meshprobe.check(walls, printer="top-down-resin", min_wall=0.5, resolution=32).verdict == "warn"
    assert meshprobe.check(walls, printer="powder", warn_wall=3.5, resolution=32).counts["warn"] > 0
    text, source = batch._profile_text({"base": "powder", "walls": {"min": 0.2}})
    record = json.loads(batch.part_record(str(WALLS), profile_text=text, profile_source=source, resolution=32))
    assert record["verdict"] == "warn" and record["profile"]["walls"]["min"] == 0.2
    # The bracket's sealed void is about 12 x 8 x 4 mm: no 8 mm hole fits it, one of about 4 mm does.
    found = meshprobe.check(meshprobe.load(BRACKET), printer="powder", drain=8, resolution=64).findings
    (trapped,) = [f for f in found if f.code == "trapped"]
    assert trapped.drain is None is trapped.vent and 3.5 < trapped.largest_hole < 5
    assert "largest that fits is" in trapped.fix


@pytest.mark.parametrize("call, error, message", [
    (lambda m, p: meshprobe.check(m, profile=p), meshprobe.InputError, r'bad.json: "walls.min": expected a number'),
    (lambda m, p: meshprobe.check(m, profile=p.parent / "no.json"), meshprobe.InputError, "cannot read the profile"),
    (lambda m, p: meshprobe.check(m, printer="fdm", profile={"base": "fdm"}), ValueError, "printer or profile, not"),
    (lambda m, p: meshprobe.check(m, drain=1), ValueError, "need printer or profile"),
    (lambda m, p: batch.part_record(str(CUP), profile_text='{"base": "powder", "walls": {"mni": 1}}'),
     meshprobe.InputError, 'profile: "walls.mni": unknown key')])
def test_bad_profiles_and_arguments_are_refused(tmp_path, cup, call, error, message):
    (tmp_path / "bad.json").write_text('{"base": "powder", "walls": {"min": "thin"}}')
    with pytest.raises(error, match=message):
        call(cup, tmp_path / "bad.json")


def test_without_a_process_it_lists_the_mesh_checks(cup):
    flipped = meshprobe.Mesh(cup.vertices, np.asarray(cup.triangles)[:, ::-1].copy())
    assert meshprobe.check(cup) == [] and [w["code"] for w in meshprobe.check(flipped)] == ["inside-out"]
    fixed = meshprobe.check(flipped, printer="fdm", fix_winding=True, resolution=32)
    assert fixed.winding_fixed_faces == cup.triangle_count and fixed.verdict == "pass"
    mended, flips = meshprobe.fix_winding(flipped)
    assert flips == cup.triangle_count and meshprobe.check(mended) == []
