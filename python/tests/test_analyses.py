"""thickness, thin_areas, trapped, cavities and areas: the same results as the tool's JSON on the examples."""

import doctest
import re

import numpy as np
import pytest

import meshprobe
from conftest import EXAMPLES, REPOSITORY

f32 = np.float32


@pytest.mark.parametrize("low, high, samples", [(0.0, 2.0, 31), (0.5, 1.0, 1), (1.0, 3.5, 40)])
def test_thickness_is_bit_identical_to_the_tools_per_face_values(example, low, high, samples, tool_json):
    report = tool_json("thickness", example, "--min", low, "--max", high, "--samples", samples, "--per-face")
    mesh = meshprobe.load(example)
    values = meshprobe.thickness(mesh, low, high, samples=samples)
    # The thread count shares the faces out; it never changes a value.
    for threads in (1, 2):
        assert meshprobe.thickness(mesh, low, high, samples=samples, threads=threads).tobytes() == values.tobytes()
    assert values.dtype == np.float32 and values.shape == (report["triangles"],)
    # The tool prints each float32 in its shortest round-trip form, so reading it back as float32 is exact.
    assert values.tobytes() == np.array(report["thickness"], dtype=np.float64).astype(np.float32).tobytes()
    # The tool counts a wall that measures within 1e-4 mm of max as no thinner than max.
    at_max = ~(values < f32(high) - f32(1e-4))
    assert np.count_nonzero((values > low) & ~at_max) == report["selected_faces"]
    assert np.count_nonzero(at_max) == report["faces_at_max"]
    counts, edges = meshprobe.thickness_histogram(np.where(at_max, f32(high), values), low, high)
    assert counts.tolist() == [b["faces"] for b in report["histogram"]]
    assert edges.tolist() == [report["histogram"][0]["from"]] + [b["to"] for b in report["histogram"]]

    thin = meshprobe.thin_areas(mesh, values, low, high)
    keys = ("thin_faces", "window_faces", "dropped_areas", "crease_faces")
    assert [getattr(thin, k) for k in keys] == [report[k] for k in keys]
    thinnest = report["thinnest"]
    assert (thin.thinnest_face, thin.thinnest_area) == (thinnest.get("face"), thinnest.get("area"))
    assert thin.thinnest == (f32(thinnest["thickness"]) if thinnest["found"] else None)
    got = [(a.id, len(a.faces), f32(a.area), f32(a.min_thickness), a.thinnest_face, f32(a.median_thickness),
            f32(a.centroid).tolist(), f32(a.bounds).tolist()) for a in thin.areas]
    assert got == [(a["id"], a["faces"], f32(a["area"]), f32(a["min_thickness"]), a["thinnest_face"],
                    f32(a["median_thickness"]), f32(a["centroid"]).tolist(), f32(a["bounds"]).tolist())
                   for a in report["thin_areas"]]


@pytest.mark.parametrize("join, areas_per_wall", [(True, 1), (False, 2)])
def test_thin_areas_list_walls_below_min_and_join_their_sides(join, areas_per_wall):
    # thin-walls.stl: walls of 0.8, 1.5 and 3 mm; window 1 to 2 mm puts the 0.8 mm wall below min.
    mesh = meshprobe.load(EXAMPLES / "thin-walls.stl")
    thin = meshprobe.thin_areas(mesh, meshprobe.thickness(mesh, 1.0, 2.0), 1.0, 2.0, join_wall_sides=join)
    below = [a.id for a in thin.areas if a.faces_below_min == len(a.faces)]
    assert (len(thin.areas), len(below)) == (2 * areas_per_wall, areas_per_wall)
    assert thin.thinnest == pytest.approx(0.8 - 2e-5, abs=1e-5) and thin.thinnest_area in below


@pytest.mark.parametrize("resolution, up", [(64, "+z"), (96, "-z"), (48, "+x")])
def test_trapped_matches_the_tools_report(example, resolution, up, tool_json):
    report = tool_json("trapped", example, "-r", resolution, "--up", up)
    result = meshprobe.trapped(meshprobe.load(example), resolution=resolution, up=up, threads=2)
    assert (result.resolution, result.up, result.voxel_size, result.trapped_voxels) == (
        resolution, up, report["voxel_size"], report["trapped_voxels"])
    assert f32(result.trapped_volume) == f32(report["trapped_volume"])
    assert [(c.name, f32(c.volume), c.voxels) for c in result.cavities] == [
        (c["name"], f32(c["volume"]), c["voxels"]) for c in report["cavities"]]


def test_cavities_hold_their_surface_as_arrays_inside_the_part():
    mesh = meshprobe.load(EXAMPLES / "bracket.stl")
    result = meshprobe.trapped(mesh, resolution=64)
    assert [c.name for c in result.cavities] == ["Closed", "Open"]
    for cavity in result.cavities:
        surface = cavity.mesh
        assert surface.triangle_count == cavity.triangle_count > 0
        assert surface.vertices.dtype == np.float32 and surface.triangles.dtype == np.uint32
        assert np.all(surface.vertices >= mesh.bounds[0] - 1) and np.all(surface.vertices <= mesh.bounds[1] + 1)
    listed_only = meshprobe.trapped(mesh, resolution=64, cavity_meshes=False)
    assert [(c.mesh, c.triangle_count) for c in listed_only.cavities] == [
        (None, c.triangle_count) for c in result.cavities]
    assert "cavities=2" in repr(result) and repr(result.cavities[0]).startswith("Cavity(name='Closed'")


@pytest.mark.parametrize("direction", [dict(up="+z"), dict(up="-x"), dict(up="0,0.2,1"),
                                       dict(printer="bottom-up-resin")], ids=lambda d: next(iter(d.values())))
def test_cavities_match_the_tools_report_and_their_solids_enclose_the_voxels(direction, tool_json):
    path = EXAMPLES / "bracket.stl"
    (option, value), = direction.items()
    report = tool_json("trapped", path, "-r", 64, f"--{option}", value, "--drain-holes", 2, "--min-cavity", 1)
    result = meshprobe.cavities(meshprobe.load(path), resolution=64, drain_holes=2, min_volume=1, **direction)
    for key in ("resolution", "voxel_size", "up", "up_vector", "trapped_voxels", "cavity_count", "min_cavity",
                "tiny_cavities"):
        assert result[key] == report[key], key
    assert f32(result["trapped_volume"]) == f32(report["trapped_volume"])
    assert len(result["cavities"]) == len(report["cavities"]) > 0
    for got, expected in zip(result["cavities"], report["cavities"]):
        solid = got.pop("mesh")
        corners = solid.vertices.astype(np.float64)[solid.triangles]
        enclosed = np.einsum("ij,ij->i", corners[:, 0], np.cross(corners[:, 1], corners[:, 2])).sum() / 6
        assert enclosed == pytest.approx(got["voxels"] * result["voxel_size"] ** 3, rel=1e-5)
        assert f32(got.pop("volume")) == f32(expected.pop("volume"))
        assert got == expected  # places, estimate, drain and vent


@pytest.mark.parametrize("options, selection", [(["--faces", "0-3"], lambda t: [0, 1, 2, 3]),
                                                (["--thin", "0", "1.5"], lambda t: (t > 0) & (t < 1.5))],
                         ids=["faces", "thin-mask"])
def test_areas_match_the_tools_report(options, selection, tool_json):
    report = tool_json("areas", EXAMPLES / "bracket.stl", *options, "--label", "rib")
    mesh = meshprobe.load(EXAMPLES / "bracket.stl")
    result = meshprobe.areas(mesh, selection(meshprobe.thickness(mesh, 0, 1.5)), label="rib")
    assert result.selected_faces == report["selected_faces"]
    assert [(a.id, a.name, a.faces.tolist(), [loop.tolist() for loop in a.loops]) for a in result.areas] == [
        (a["id"], a["name"], a["faces"], a["loops"]) for a in report["areas"]]


def test_trapped_takes_an_axis_written_as_a_vector(example):
    mesh = meshprobe.load(example)
    turned, axis = (meshprobe.trapped(mesh, resolution=32, up=up, cavity_meshes=False) for up in ("0,0,-2", "-z"))
    assert turned.to_dict() == axis.to_dict() and turned.up == "-z"


@pytest.mark.parametrize("call, error, message", [
    (lambda m: meshprobe.thickness(m, 2, 1), meshprobe.InputError, "greater than max"),
    (lambda m: meshprobe.thickness(m, -1, 1), ValueError, "negative"),
    (lambda m: meshprobe.thickness(m, 0, 1, threads=0), ValueError, "threads must be at least 1"),
    (lambda m: meshprobe.trapped(m, resolution=0), ValueError, "resolution 0 is outside 1..1290"),
    (lambda m: meshprobe.trapped(m, up="up"), ValueError, "unknown build direction 'up'"),
    (lambda m: meshprobe.trapped(m, up="0,0.2,1"), meshprobe.InputError, "cavities(mesh, up=...) takes any"),
    (lambda m: meshprobe.cavities(m, up="0,0,0"), meshprobe.InputError, "the zero vector has no direction"),
    (lambda m: meshprobe.cavities(m, up="+z", printer="fdm"), ValueError, "give up or printer, not both"),
    (lambda m: meshprobe.cavities(m, printer="sla"), meshprobe.InputError, "unknown printer 'sla'"),
    (lambda m: meshprobe.areas(m, [4]), ValueError, "face 4 does not exist"),
    (lambda m: meshprobe.areas(m, [True, False]), ValueError, "mask must have shape (4,)"),
    (lambda m: meshprobe.areas(m, [0.5]), TypeError, "faces must hold integers or booleans"),
    (lambda m: meshprobe.thickness(m, 0, 1, progress=3), TypeError, "progress must be callable"),
])
def test_bad_arguments_raise_with_a_message(call, error, message, tetra):
    with pytest.raises(error, match=re.escape(message)):
        call(tetra)


def test_the_packages_example_session_still_holds(monkeypatch):
    monkeypatch.chdir(REPOSITORY)
    outcome = doctest.testmod(meshprobe)
    assert outcome.attempted >= 6 and outcome.failed == 0
