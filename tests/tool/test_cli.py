# SPDX-License-Identifier: MIT
"""End to end through the built tool: every command's JSON validates against schemas/, option order, units
(--units and the unit a 3MF file declares), standard input, and JSON without NaN or infinities.

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


@pytest.mark.parametrize("args", [
    ["info", EXAMPLES / "cup.stl"],
    ["trapped", EXAMPLES / "cup.stl", "-r", "32"],
    ["trapped", EXAMPLES / "bracket.stl", "-r", "48", "--cavities", "{tmp}/c.glb"],
    ["thickness", EXAMPLES / "thin-walls.stl", "--min", "0.5", "--max", "1", "--samples", "1", "--per-face"],
    ["thickness", EXAMPLES / "bracket.stl", "--min", "0", "--max", "2", "--color", "{tmp}/t.3mf"],
    ["areas", EXAMPLES / "bracket.stl", "--faces", "0-3"],
    ["areas", "--thin", "0", "1.5", EXAMPLES / "bracket.stl"],
    ["check", EXAMPLES / "cup.stl", "--printer", "powder", "-r", "32"],
    ["orient", EXAMPLES / "bracket.stl", "-r", "16", "--directions", "6"],
    ["orient", EXAMPLES / "cup.stl", "-r", "16", "--printer", "bottom-up-resin", "--refine"],
], ids=["info", "trapped", "trapped-files", "thickness", "thickness-colour", "areas", "areas-thin", "check", "orient",
        "orient-resin-refined"])
def test_json_matches_its_schema(args, tmp_path):
    args = [str(a).replace("{tmp}", str(tmp_path)) for a in args]
    result = run(*args, "--json")
    assert result.returncode == 0, result.stderr
    report = no_float_oddities(result.stdout)
    jsonschema.validate(report, schema(args[0]))
    for written in report.get("files", {}).values():
        assert pathlib.Path(written).stat().st_size > 0


@pytest.mark.parametrize("printer", ["bottom-up-resin", "top-down-resin", "fdm"])
def test_check_json_on_a_failing_or_warning_part_matches_its_schema(printer):
    result = run("check", EXAMPLES / "bracket.stl", "--printer", printer, "-r", "48", "--json")
    report = no_float_oddities(result.stdout)
    jsonschema.validate(report, schema("check"))
    assert result.returncode == (3 if report["verdict"] == "fail" else 0), result.stderr
    assert report["findings"], "the bracket has a sealed cavity: every process says something about it"


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
    assert again["profile"] == printed["profile"]
    assert again["verdict"] == printed["verdict"]


@pytest.mark.parametrize("args,code", [
    (["thickness", EXAMPLES / "cup.stl", "--min", "0", "--max", "1e39"], 2),
    (["info", "/nonexistent.stl"], 2),
    (["trapped", EXAMPLES / "cup.stl", "--cavities", EXAMPLES / "cup.stl"], 2),
    (["check", EXAMPLES / "cup.stl", "--printer", "sla"], 2),
])
def test_failure_is_one_json_error_object(args, code):
    result = run(*args, "--json")
    assert result.returncode == code
    report = no_float_oddities(result.stdout)
    jsonschema.validate(report, schema("error"))
    assert report["exit_code"] == code
    assert report["error"] in result.stderr.decode()


def test_thin_window_then_mesh_in_any_order():
    orders = [["areas", "--thin", "0", "1.5", EXAMPLES / "bracket.stl", "--json"],
              ["areas", EXAMPLES / "bracket.stl", "--json", "--thin", "0", "1.5"]]
    reports = [json.loads(run(*o).stdout) for o in orders]
    assert reports[0]["selected_faces"] == reports[1]["selected_faces"] == 196
    assert reports[0]["areas"] == reports[1]["areas"]


def bounds(*args, stdin=None):
    result = run("info", *args, "--json", stdin=stdin)
    assert result.returncode == 0, result.stderr
    report = json.loads(result.stdout)
    return report["units"], report["bounds"][1]


@pytest.mark.parametrize("unit,scale", [("mm", 1), ("cm", 10), ("m", 1000), ("in", 25.4)])
def test_units_scale_files_without_units(unit, scale):
    shown, top = bounds(EXAMPLES / "cup.stl", "--units", unit)
    assert shown == unit
    assert top == pytest.approx([30 * scale, 30 * scale, 25 * scale], rel=1e-6)
    summary = run("info", EXAMPLES / "cup.stl", "--units", unit).stdout.decode()
    assert re.search(rf"^units +{unit}(, shown in mm)?$", summary, re.M), summary


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
    assert shown == short
    assert top == pytest.approx([3 * scale, 2 * scale, 1 * scale], rel=1e-6)


@pytest.mark.parametrize("name,fmt", [("cup.stl", "stl"), ("box.3mf", "3mf")])
def test_standard_input_with_format(tmp_path, name, fmt):
    path = EXAMPLES / name if fmt == "stl" else three_mf_box(tmp_path / name, "millimeter")
    from_file = json.loads(run("info", path, "--json").stdout)
    result = run("info", "-", "--format", fmt, "--json", stdin=path.read_bytes())
    assert result.returncode == 0, result.stderr
    from_stdin = json.loads(result.stdout)
    assert from_stdin["mesh"] == "-"
    for key in ("triangles", "vertices", "bounds", "volume"):
        assert from_stdin[key] == from_file[key]
    assert list(tmp_path.iterdir()) in ([], [path])  # no temporary copy left behind


def test_colour_ply_is_binary_with_face_colours_grey_at_max(tmp_path):
    out = tmp_path / "t.ply"
    result = run("thickness", EXAMPLES / "bracket.stl", "--min", "0", "--max", "2", "--color", out, "--json")
    report = json.loads(result.stdout)
    data = out.read_bytes()
    header, body = data.split(b"end_header\n", 1)
    assert b"format binary_little_endian 1.0" in header and b"property uchar red" in header
    vertices, faces = report["vertices"], report["triangles"]
    assert len(body) == 12 * vertices + 17 * faces
    colours = [body[12 * vertices + 17 * f + 13:12 * vertices + 17 * f + 17] for f in range(faces)]
    assert colours.count(bytes([128, 128, 128, 255])) == report["faces_at_max"]
    # Every face thinner than max is in a kept area, a dropped one or a crease reading.
    listed = sum(a["faces"] for a in report["thin_areas"])
    assert listed + report["dropped_faces"] + report["crease_faces"] == report["thin_faces"]


@pytest.mark.parametrize("part,window,walls", [
    # thin-walls.stl: walls of 0.8, 1.5 and 3 mm, each 16 x 16 mm, every wall one thin area of its two sides.
    ("thin-walls.stl", ("0", "2"), [(0.8, 512), (1.5, 512)]),
    ("thin-walls.stl", ("0", "0.8"), []),          # a wall of exactly max is not thin
    ("thin-walls.stl", ("0", "1.5"), [(0.8, 512)]),
    ("thin-walls.stl", ("1", "2"), [(0.8, 512), (1.5, 512)]),  # walls below min are thin areas too
    ("bracket.stl", ("0", "2"), [(1.2, 392)]),  # the 1.2 mm rib, 14 x 14 mm
    # cup.stl: 3 mm walls and floor around a 24 x 24 x 22 well: the well's inside (floor and four sides,
    # 2688 mm²) with the outer floor under it (576) and the four outer sides beside it (528 each), one area
    # across the walls; the corners are thicker.
    ("cup.stl", ("0", "3.5"), [(3, 5376)]),
    ("cup.stl", ("0", "3"), []),
])
def test_thin_areas_match_the_generated_walls(part, window, walls):
    report = json.loads(run("thickness", EXAMPLES / part, "--min", window[0], "--max", window[1], "--json").stdout)
    areas = sorted(report["thin_areas"], key=lambda a: (round(a["min_thickness"], 3), a["area"]))
    assert len(areas) == len(walls)
    for area, (wall, size) in zip(areas, walls):
        assert area["area"] == pytest.approx(size, rel=0.02)
        # The rays start 2e-5 mm inside the surface: the measured value is the wall less that.
        assert area["min_thickness"] == pytest.approx(wall - 2e-5, abs=1e-5)


def test_json_floats_are_in_their_shortest_form():
    result = run("thickness", EXAMPLES / "thin-walls.stl", "--min", "0.5", "--max", "1", "--samples", "1",
                 "--per-face", "--json")
    literals = json.loads(result.stdout, parse_float=str)
    values = literals["thickness"] + [a["min_thickness"] for a in literals["thin_areas"]]
    assert any(abs(float(v) - 0.79998) < 1e-5 for v in values)  # the 0.8 mm wall, less the 2e-5 start offset
    # A float needs at most 9 significant digits to read back exactly; widened to a double, the wall's
    # value would print as 0.7999801635742188.
    assert all(len(re.sub(r"e.*|[-.]", "", v).lstrip("0")) <= 9 for v in values)


def tetrahedron(path, size):
    corners = [(0, 0, 0), (size, 0, 0), (0, size, 0), (0, 0, size)]
    path.write_text("".join(f"v {x} {y} {z}\n" for x, y, z in corners) + "f 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n")
    return path


def numbers(value):
    if isinstance(value, dict):
        return [n for v in value.values() for n in numbers(v)]
    if isinstance(value, list):
        return [n for v in value for n in numbers(v)]
    return [value]


@pytest.mark.parametrize("args", [["info"], ["trapped", "-r", "8"], ["thickness", "--min", "0", "--max", "1"],
                                  ["areas", "--thin", "0", "1"]], ids=lambda a: a[0])
def test_huge_coordinates_never_give_null_or_infinity(tmp_path, args):
    result = run(args[0], tetrahedron(tmp_path / "t.obj", "1e38"), *args[1:], "--json")
    report = no_float_oddities(result.stdout)
    assert None not in numbers(report)
    assert all(math.isfinite(n) for n in numbers(report) if isinstance(n, float))
    jsonschema.validate(report, schema(args[0] if result.returncode == 0 else "error"))


def test_units_beyond_single_precision_are_usage_errors(tmp_path):
    result = run("info", tetrahedron(tmp_path / "t.obj", "1e36"), "--units", "m", "--json")
    assert result.returncode == 2
    assert "exceed single precision" in json.loads(result.stdout)["error"]


# Every option at the edges of its range: refused (exit 2, the message names the option or the value) just
# outside it, at zero, negative, infinite, NaN or empty where those are outside; taken just inside.
BOUNDARIES = [
    (["info", "--units", ""], "--units"), (["info", "--units", "km"], "--units"), (["info", "--units", "in"], None),
    (["trapped", "-r", "0"], "--resolution"), (["trapped", "-r", "1291"], "--resolution"),
    (["trapped", "-r", "1"], None), (["trapped", "-r", "8", "-j", "0"], "--threads"),
    (["trapped", "-r", "8", "-j", "4097"], "--threads"), (["trapped", "-r", "8", "-j", "4096"], None),
    (["trapped", "-r", "8", "--min-cavity", "-0.001"], "--min-cavity"),
    (["trapped", "-r", "8", "--min-cavity", "inf"], "--min-cavity"),
    (["trapped", "-r", "8", "--min-cavity", "0"], None),
    (["trapped", "-r", "8", "--drain-holes", "-0.001"], "--drain-holes"),
    (["trapped", "-r", "8", "--drain-holes", "nan"], "--drain-holes"),
    (["trapped", "-r", "8", "--drain-holes", "1000000.1"], "--drain-holes"),
    (["trapped", "-r", "8", "--drain-holes", "1000000"], "box diagonal"),
    (["trapped", "-r", "8", "--drain-holes", "1.7321"], "valid range 0 (no holes) to 1.73205 mm"),
    (["trapped", "-r", "8", "--drain-holes", "0"], "--drain-holes"),
    (["trapped", "-r", "8", "--drain-holes", "1.732"], None),
    (["trapped", "-r", "8", "--up", "0,0,0"], "--up"), (["trapped", "-r", "8", "--up", "nan,0,1"], "--up"),
    (["trapped", "-r", "8", "--up", ""], "--up"), (["trapped", "-r", "8", "--up", "0,0.001,1"], None),
    (["trapped", "-r", "8", "--printer", ""], "--printer"),
    (["trapped", "-r", "8", "--cavities", ""], "--cavities"),
    (["trapped", "-r", "8", "--cavities-as", "columns"], None),
    (["thickness", "--min", "0", "--max", "1", "--samples", "-1"], "--samples"),
    (["thickness", "--min", "0", "--max", "1", "--samples", "2147483648"], "--samples"),
    (["thickness", "--min", "-0.001", "--max", "1"], "--min"), (["thickness", "--min", "inf", "--max", "1"], "--min"),
    (["thickness", "--min", "0", "--max", "nan"], "--max"), (["thickness", "--min", "1", "--max", "0.999"], "--min"),
    (["thickness", "--min", "0", "--max", "1000000.1"], "--max"),
    (["thickness", "--min", "1", "--max", "1", "--samples", "1"], None),
    (["thickness", "--min", "0", "--max", "1", "-j", "0"], "--threads"),
    (["thickness", "--min", "0", "--max", "1", "--color", ""], "--color"),
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


def test_written_files_honour_the_umask(tmp_path):
    for mask in (0o022, 0o077, 0o002):
        out = tmp_path / f"colours-{mask:o}.ply"
        subprocess.run([TOOL, "thickness", EXAMPLES / "cup.stl", "--min", "0", "--max", "1", "--samples", "1",
                        "--color", out, "--quiet"], check=True, preexec_fn=lambda: os.umask(mask))
        assert out.stat().st_mode & 0o777 == 0o666 & ~mask
        assert [p.name for p in tmp_path.iterdir() if ".partial" in p.name] == []
