# SPDX-License-Identifier: MIT
"""End to end through the built tool: every command's JSON validates against schemas/, option order, units
(--units and the unit a 3MF file declares), standard input, JSON without NaN or infinities, and every option
at the edges of its range.

Run by ctest with Debian's /usr/bin/python3; MESHPROBE is the tool, MESHPROBE_SOURCE the source tree."""
import json
import math
import os
import pathlib
import re
import subprocess
import zipfile

import jsonschema
import pytest

TOOL = os.environ["MESHPROBE"]
SOURCE = pathlib.Path(os.environ["MESHPROBE_SOURCE"])
EXAMPLES = SOURCE / "examples"


def run(*args, stdin=None):
    return subprocess.run([TOOL, *map(str, args)], input=stdin, capture_output=True, timeout=300)


def schema(name):
    return json.loads((SOURCE / "schemas" / f"{name}.json").read_text())


def no_float_oddities(text):
    def reject(constant):
        raise AssertionError(f"{constant} in JSON output")
    return json.loads(text, parse_constant=reject)


def tetrahedron(path, size):
    corners = [(0, 0, 0), (size, 0, 0), (0, size, 0), (0, 0, size)]
    path.write_text("".join(f"v {x} {y} {z}\n" for x, y, z in corners) + "f 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n")
    return path


@pytest.mark.parametrize("args", [
    ["info", "cup"], ["trapped", "cup", "-r", "32"], ["trapped", "bracket", "-r", "48", "--cavities", "{tmp}/c.glb"],
    ["thickness", "thin-walls", "--min", "0.5", "--max", "1", "--samples", "1", "--per-face"],
    ["thickness", "bracket", "--min", "0", "--max", "2", "--color", "{tmp}/t.3mf"],
    ["areas", "bracket", "--faces", "0-3"], ["areas", "--thin", "0", "1.5", "bracket"],
    ["check", "cup", "--printer", "powder", "-r", "32"], ["check", "bracket", "--printer", "fdm", "-r", "48"],
    ["check", "bracket", "--printer", "bottom-up-resin", "-r", "48"],
    ["check", "bracket", "--printer", "top-down-resin", "-r", "48"],
    ["orient", "bracket", "-r", "16", "--directions", "6"],
    ["orient", "cup", "-r", "16", "--printer", "bottom-up-resin", "--refine"],
], ids=lambda a: "-".join(a[:2] + a[3:4]))
def test_json_matches_its_schema(args, tmp_path):
    args = [str(EXAMPLES / f"{a}.stl") if (EXAMPLES / f"{a}.stl").exists() else a.replace("{tmp}", str(tmp_path))
            for a in args]
    result = run(*args, "--json")
    report = no_float_oddities(result.stdout)
    jsonschema.validate(report, schema(args[0]))
    # check exits 3 for a failing verdict; the bracket's sealed cavity gives every process something to say.
    assert result.returncode == (3 if report.get("verdict") == "fail" else 0), result.stderr
    assert args[0] != "check" or "bracket" not in args[1] or report["findings"]
    for written in report.get("files", {}).values():
        assert pathlib.Path(written).stat().st_size > 0


@pytest.mark.parametrize("mesh,printer", [("cup.stl", "bottom-up-resin"), ("bracket.stl", "bottom-up-resin"),
                                          ("bracket.stl", "powder")])
def test_check_finds_what_orient_measured_for_the_best_direction(mesh, printer):
    """check --up with orient's best_up (and with -z, where the cup forms a suction cup) reports the sealed
    cavities and suction cups of orient's row for that direction, count and volume, and its support area."""
    orient = no_float_oddities(run("orient", EXAMPLES / mesh, "--printer", printer, "-r", "48", "--json").stdout)
    rows = {row["up"]: row for row in orient["directions"]}
    for up in (orient["best_up"], "-z"):
        result = run("check", EXAMPLES / mesh, "--printer", printer, "--up", up, "-r", "48", "--json")
        findings = no_float_oddities(result.stdout)["findings"]
        for code, count, volume in (("trapped", "sealed_cavities", "sealed_volume"),
                                    ("suction_cup", "suction_cups", "suction_volume")):
            found = [f["measure"] for f in findings if f["code"] == code]
            assert len(found) == rows[up].get(count, 0), (up, code)
            assert sum(found) == pytest.approx(rows[up].get(volume, 0.0), rel=1e-9), (up, code)
        supports = [f for f in findings if f["code"] == "supports"]
        assert [f["measure"] for f in supports] == ([pytest.approx(rows[up]["overhang_area"], rel=1e-9)]
                                                    if rows[up]["overhang_area"] or rows[up]["islands"] else []), up
        if rows[up]["islands"]:
            assert f"; {rows[up]['islands']} region" in supports[0]["message"], up
    if printer == "bottom-up-resin" and mesh == "cup.stl":
        assert rows["-z"]["suction_cups"] == 1 and orient["directions"][0]["suction_cups"] == 0


def test_profile_schema_accepts_what_check_prints_and_check_reads_it(tmp_path):
    printed = no_float_oddities(run("check", EXAMPLES / "cup.stl", "--printer", "fdm", "-r", "16", "--json").stdout)
    jsonschema.validate(printed["profile"], schema("profile.schema"))
    path = tmp_path / "fdm.json"
    path.write_text(json.dumps(printed["profile"]))
    again = no_float_oddities(run("check", EXAMPLES / "cup.stl", "--profile", path, "-r", "16", "--json").stdout)
    assert (again["profile"], again["verdict"]) == (printed["profile"], printed["verdict"])


@pytest.mark.parametrize("args", [["thickness", "cup.stl", "--min", "0", "--max", "1e39"], ["info", "nonexistent.stl"],
                                  ["trapped", "cup.stl", "--cavities", EXAMPLES / "cup.stl"],
                                  ["check", "cup.stl", "--printer", "sla"]], ids=lambda a: a[0])
def test_failure_is_one_json_error_object(args):
    result = run(args[0], EXAMPLES / args[1], *args[2:], "--json")
    report = no_float_oddities(result.stdout)
    jsonschema.validate(report, schema("error"))
    assert result.returncode == report["exit_code"] == 2
    assert report["error"] in result.stderr.decode()


def test_thin_window_then_mesh_in_any_order():
    reports = [json.loads(run("areas", *o, "--json").stdout) for o in (
        ["--thin", "0", "1.5", EXAMPLES / "bracket.stl"], [EXAMPLES / "bracket.stl", "--thin", "0", "1.5"])]
    assert reports[0]["selected_faces"] == reports[1]["selected_faces"] == 196
    assert reports[0]["areas"] == reports[1]["areas"]


def bounds(*args, stdin=None):
    result = run("info", *args, "--json", stdin=stdin)
    assert result.returncode == 0, result.stderr
    report = json.loads(result.stdout)
    return report["units"], report["bounds"][1]


@pytest.mark.parametrize("args", [
    ["info"], ["trapped", "-r", "8"], ["orient", "-r", "8", "--directions", "6"],
    ["thickness", "--min", "0", "--max", "1", "--samples", "1"], ["areas", "--faces", "0"],
    ["report", "-r", "8", "--samples", "1", "-o", "{tmp}/r.html"]], ids=lambda a: a[0])
def test_every_summary_names_the_unit(args, tmp_path):
    if run(args[0], "--help").returncode != 0:
        pytest.skip(f"built without {args[0]}")
    args = [str(a).replace("{tmp}", str(tmp_path)) for a in args]
    result = run(args[0], EXAMPLES / "cup.stl", *args[1:], "--units", "cm")
    assert result.returncode == 0, result.stderr
    assert re.search(r"^units +cm\b", result.stdout.decode(), re.M), result.stdout.decode()
    assert bounds(EXAMPLES / "cup.stl", "--units", "cm") == ("cm", pytest.approx([300, 300, 250], rel=1e-6))


def three_mf_box(path, unit):
    model = (f'<?xml version="1.0" encoding="UTF-8"?>\n<model unit="{unit}" xml:lang="en-US" '
             'xmlns="http://schemas.microsoft.com/3dmanufacturing/core/2015/02"><resources>'
             '<object id="1" type="model"><mesh><vertices>'
             + "".join(f'<vertex x="{x}" y="{y}" z="{z}"/>' for z in (0, 1) for y in (0, 2) for x in (0, 3))
             + '</vertices><triangles>'
             + "".join(f'<triangle v1="{a}" v2="{b}" v3="{c}"/>' for a, b, c in [
                 (0, 2, 1), (1, 2, 3), (4, 5, 6), (5, 7, 6), (0, 1, 4), (1, 5, 4),
                 (2, 6, 3), (3, 6, 7), (0, 4, 2), (2, 4, 6), (1, 3, 5), (3, 7, 5)])
             + '</triangles></mesh></object></resources><build><item objectid="1"/></build></model>')
    with zipfile.ZipFile(path, "w") as z:
        z.writestr("[Content_Types].xml", '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.'
                   'openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/'
                   'vnd.openxmlformats-package.relationships+xml"/><Default Extension="model" ContentType="application/'
                   'vnd.ms-package.3dmanufacturing-3dmodel+xml"/></Types>')
        z.writestr("_rels/.rels", '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.'
                   'openxmlformats.org/package/2006/relationships"><Relationship Target="/3D/3dmodel.model" '
                   'Id="rel0" Type="http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel"/></Relationships>')
        z.writestr("3D/3dmodel.model", model)
    return path


@pytest.mark.parametrize("unit,short,scale", [
    ("millimeter", "mm", 1), ("micron", "micron", 0.001), ("centimeter", "cm", 10), ("inch", "in", 25.4),
    ("foot", "ft", 304.8), ("meter", "m", 1000)])
def test_3mf_declared_unit_is_applied(tmp_path, unit, short, scale):
    # --units is for formats without units: the file's own unit wins.
    shown, top = bounds(three_mf_box(tmp_path / "box.3mf", unit), "--units", "cm")
    assert shown == short and top == pytest.approx([3 * scale, 2 * scale, 1 * scale], rel=1e-6)


@pytest.mark.parametrize("name,fmt", [("cup.stl", "stl"), ("box.3mf", "3mf")])
def test_standard_input_with_format(tmp_path, name, fmt):
    path = EXAMPLES / name if fmt == "stl" else three_mf_box(tmp_path / name, "millimeter")
    from_file = json.loads(run("info", path, "--json").stdout)
    result = run("info", "-", "--format", fmt, "--json", stdin=path.read_bytes())
    assert result.returncode == 0, result.stderr
    from_stdin = json.loads(result.stdout)
    assert from_stdin["mesh"] == "-"
    assert [from_stdin[k] for k in ("triangles", "vertices", "bounds", "volume")] == [
        from_file[k] for k in ("triangles", "vertices", "bounds", "volume")]
    assert list(tmp_path.iterdir()) in ([], [path])  # no temporary copy left behind


def test_json_floats_are_in_their_shortest_form():
    result = run("thickness", EXAMPLES / "thin-walls.stl", "--min", "0.5", "--max", "1", "--samples", "1",
                 "--per-face", "--json")
    literals = json.loads(result.stdout, parse_float=str)
    values = literals["thickness"] + [a["min_thickness"] for a in literals["thin_areas"]]
    assert any(abs(float(v) - 0.79998) < 1e-5 for v in values)  # the 0.8 mm wall, less the 2e-5 start offset
    # A float needs at most 9 significant digits to read back exactly; widened to a double, the wall's
    # value would print as 0.7999801635742188.
    assert all(len(re.sub(r"e.*|[-.]", "", v).lstrip("0")) <= 9 for v in values)


def numbers(value):
    if isinstance(value, (dict, list)):
        return [n for v in (value.values() if isinstance(value, dict) else value) for n in numbers(v)]
    return [value]


@pytest.mark.parametrize("args", [["info"], ["trapped", "-r", "8"], ["thickness", "--min", "0", "--max", "1"],
                                  ["areas", "--thin", "0", "1"]], ids=lambda a: a[0])
def test_huge_coordinates_never_give_null_or_infinity(tmp_path, args):
    result = run(args[0], tetrahedron(tmp_path / "t.obj", "1e38"), *args[1:], "--json")
    report = no_float_oddities(result.stdout)
    assert None not in numbers(report)
    assert all(math.isfinite(n) for n in numbers(report) if isinstance(n, float))
    jsonschema.validate(report, schema(args[0] if result.returncode == 0 else "error"))
    units = run("info", tetrahedron(tmp_path / "t.obj", "1e36"), "--units", "m", "--json")
    assert units.returncode == 2 and "exceed single precision" in json.loads(units.stdout)["error"]


# Every option at the edges of its range: refused (exit 2, the message names the option or the value) just
# outside it, at zero, negative, infinite, NaN or empty where those are outside; taken just inside (None).
T, TH = ["trapped", "-r", "8"], ["thickness", "--min", "0", "--max", "1"]
BOUNDARIES = [
    (["info", "--units", ""], "--units"), (["info", "--units", "km"], "--units"), (["info", "--units", "in"], None),
    (["trapped", "-r", "0"], "--resolution"), (["trapped", "-r", "1291"], "--resolution"),
    (["trapped", "-r", "1"], None),
    (T + ["-j", "0"], "--threads"), (T + ["-j", "4097"], "--threads"), (T + ["-j", "4096"], None),
    (T + ["--min-cavity", "-0.001"], "--min-cavity"), (T + ["--min-cavity", "inf"], "--min-cavity"),
    (T + ["--min-cavity", "0"], None), (T + ["--min-cavity", ""], "'' is not a number"),
    (T + ["--drain-holes", "-0.001"], "--drain-holes"),
    (T + ["--drain-holes", "nan"], "--drain-holes"), (T + ["--drain-holes", "1000000.1"], "--drain-holes"),
    (T + ["--drain-holes", "1000000"], "box diagonal"),
    (T + ["--drain-holes", "1.7321"], "valid range 0 (no holes) to 1.73205 mm"),
    (T + ["--drain-holes", "0"], "--drain-holes"), (T + ["--drain-holes", "1.732"], None),
    (T + ["--up", "0,0,0"], "--up"), (T + ["--up", "nan,0,1"], "--up"), (T + ["--up", ""], "--up"),
    (T + ["--up", "0,0.001,1"], None), (T + ["--printer", ""], "--printer"), (T + ["--cavities", ""], "--cavities"),
    (T + ["--cavities-as", "columns"], None), (TH + ["--samples", "-1"], "--samples"),
    (TH + ["--samples", "2147483648"], "--samples"), (["thickness", "--min", "-0.001", "--max", "1"], "--min"),
    (["thickness", "--min", "inf", "--max", "1"], "--min"), (["thickness", "--min", "0", "--max", "nan"], "--max"),
    (["thickness", "--min", "1", "--max", "0.999"], "--min"),
    (["thickness", "--min", "0", "--max", "1000000.1"], "--max"),
    (["thickness", "--min", "1", "--max", "1", "--samples", "1"], None), (TH + ["-j", "0"], "--threads"),
    (TH + ["--color", ""], "--color"), (TH + ["--samples", "0", "--min-thin-area", "inf"], "--min-thin-area"),
    (["areas", "--faces", ""], "--faces"), (["areas", "--faces", "4"], "face 4"), (["areas", "--faces", "-1"], "-1"),
    (["areas", "--faces", "3-4"], "face 4"), (["areas", "--faces", "0-3"], None),
    (["areas", "--thin", "0", "inf"], "--thin"), (["areas", "--thin", "-1", "1"], "--thin"),
    (["orient", "-r", "4", "--directions", "0"], "--directions"),
    (["orient", "-r", "4", "--directions", "10001"], "--directions"),
    (["orient", "-r", "4", "--directions", "1"], None), (["orient", "-r", "4", "-j", "0"], "--threads"),
    (["orient", "-r", "4", "--directions", "6", "-j", "4097"], "--threads"),
]


@pytest.mark.parametrize("args,refusal", BOUNDARIES, ids=[" ".join(a) for a, _ in BOUNDARIES])
def test_every_option_at_the_edges_of_its_range(tmp_path, args, refusal):
    result = run(args[0], tetrahedron(tmp_path / "t.obj", "1"), *args[1:], "--quiet")
    if refusal is None:
        assert result.returncode == 0, result.stderr
    else:
        assert result.returncode == 2 and refusal in result.stderr.decode(), result.stderr


@pytest.mark.parametrize("args, code", [(["info", "cup.stl"], 1), (["check", "cup.stl", "--printer", "bottom-up-resin",
                                                                      "-r", "16"], 3)], ids=["info", "failing-check"])
def test_a_report_that_cannot_reach_stdout_fails_keeping_a_failing_verdicts_code(args, code):
    with open("/dev/full", "w") as full:
        done = subprocess.run([TOOL, args[0], EXAMPLES / args[1], *args[2:]], stdout=full, stderr=subprocess.PIPE)
    assert done.returncode == code and b"cannot write to standard output" in done.stderr, done.stderr
