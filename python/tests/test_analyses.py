"""thickness, thin_areas, trapped, cavities and areas: the tool's results on the examples, converted."""

import doctest, re

import numpy as np
import pytest

import meshprobe
from conftest import BRACKET, REPOSITORY, TETRA_TRIANGLES, TETRA_VERTICES, WALLS, same

f32 = np.float32


@pytest.mark.parametrize("low, high, samples", [(0.0, 2.0, 31), (0.5, 1.0, 1), (1.0, 3.5, 40)])
def test_thickness_histogram_and_thin_areas_are_the_tools(example, low, high, samples, tool_json):
    report = tool_json("thickness", example, "--min", low, "--max", high, "--samples", samples, "--per-face")
    mesh = meshprobe.load(example)
    values = meshprobe.thickness(mesh, low, high, samples=samples, threads=2)
    # The tool prints each float32 in its shortest round-trip form, so reading it back as float32 is exact.
    assert values.tobytes() == np.array(report["thickness"], dtype=np.float64).astype(np.float32).tobytes()
    at_max = ~(values < f32(high) - f32(1e-4))  # the tool counts a wall within 1e-4 mm of max as at max
    counts, edges = meshprobe.thickness_histogram(np.where(at_max, f32(high), values), low, high)
    bins = report["histogram"]
    assert (counts.tolist(), edges.tolist()) == ([b["faces"] for b in bins], [bins[0]["from"]] + [b["to"] for b in bins])
    thin, thinnest = meshprobe.thin_areas(mesh, values, low, high), report["thinnest"]
    found = [thinnest["thickness"] if thinnest["found"] else None, thinnest.get("face"), thinnest.get("area")]
    assert same({**thin.to_dict(), "thinnest": [thin.thinnest, thin.thinnest_face, thin.thinnest_area]},
                {**report, "thinnest": found})
    assert same([{**a.to_dict(), "faces": len(a.faces)} for a in thin.areas], report["thin_areas"])


@pytest.mark.parametrize("join, areas_per_wall", [(True, 1), (False, 2)])
def test_thin_areas_list_walls_below_min_and_join_their_sides(join, areas_per_wall):
    mesh = meshprobe.load(WALLS)  # walls of 0.8, 1.5 and 3 mm; a window of 1 to 2 mm puts 0.8 below min
    thin = meshprobe.thin_areas(mesh, meshprobe.thickness(mesh, 1.0, 2.0), 1.0, 2.0, join_wall_sides=join)
    below = [a.id for a in thin.areas if a.faces_below_min == len(a.faces)]
    assert (len(thin.areas), len(below), thin.thinnest_area in below) == (2 * areas_per_wall, areas_per_wall, True)


# An axis written as a vector names it: '0,0,-2' is -z.
@pytest.mark.parametrize("resolution, up", [(64, "+z"), (96, "-z"), (48, "+x"), (32, "0,0,-2")])
def test_trapped_is_the_tools_and_holds_each_cavitys_surface(example, resolution, up, tool_json):
    mesh = meshprobe.load(example)
    result = meshprobe.trapped(mesh, resolution=resolution, up=up, threads=2)
    assert same(result.to_dict(), tool_json("trapped", example, "-r", resolution, "--up", up, "-j", 2))
    for cavity in result.cavities:
        surface = cavity.mesh
        assert surface.triangle_count == cavity.triangle_count > 0 and surface.triangles.dtype == np.uint32
        assert np.all(surface.vertices >= mesh.bounds[0] - 1) and np.all(surface.vertices <= mesh.bounds[1] + 1)
    listed = meshprobe.trapped(mesh, resolution=resolution, up=up, cavity_meshes=False)
    assert [(c.mesh, c.triangle_count) for c in listed.cavities] == [(None, c.triangle_count) for c in result.cavities]


@pytest.mark.parametrize("direction", [dict(up="+z"), dict(up="-x"), dict(up="0,0.2,1"),
                                       dict(printer="bottom-up-resin")], ids=lambda d: next(iter(d.values())))
def test_cavities_are_the_tools_and_their_solids_enclose_the_voxels(direction, tool_json, bracket):
    (option, value), = direction.items()
    report = tool_json("trapped", BRACKET, "-r", 64, f"--{option}", value, "--drain-holes", 2, "--min-cavity", 1)
    result = meshprobe.cavities(bracket, resolution=64, drain_holes=2, min_volume=1, **direction).to_dict()
    # Every key of the tool's report but those about the run and the file.
    assert same(result, report) and report.keys() - result.keys() == {
        "version", "schema", "command", "seconds", "mesh", "units", "triangles", "vertices", "warnings"}
    assert result["cavities"] and all(got.keys() - {"mesh"} == expected.keys()
                                      for got, expected in zip(result["cavities"], report["cavities"]))
    for cavity in result["cavities"]:
        corners = cavity["mesh"].vertices.astype(np.float64)[cavity["mesh"].triangles]
        enclosed = np.einsum("ij,ij->i", corners[:, 0], np.cross(corners[:, 1], corners[:, 2])).sum() / 6
        assert enclosed == pytest.approx(cavity["voxels"] * result["voxel_size"] ** 3, rel=1e-5)


@pytest.mark.parametrize("options, selection", [(["--faces", "0-3"], lambda t: [3, 1, 2, 0, 2]),
                                                (["--thin", "0", "1.5"], lambda t: (t > 0) & (t < 1.5))],
                         ids=["faces", "thin-mask"])
def test_areas_are_the_tools(options, selection, tool_json, bracket):
    result = meshprobe.areas(bracket, selection(meshprobe.thickness(bracket, 0, 1.5)), label="rib")
    assert same(result.to_dict(), tool_json("areas", BRACKET, *options, "--label", "rib"))


@pytest.mark.parametrize("call, error, message", [  # the refusals the tool has no option for
    (lambda m: meshprobe.trapped(m, up="0,0.2,1"), meshprobe.InputError, "cavities(mesh, up=...) takes any"),
    (lambda m: meshprobe.areas(m, [True, False]), ValueError, "mask must have shape (4,)"),
    (lambda m: meshprobe.areas(m, [0.5]), TypeError, "faces must hold integers or booleans"),
    (lambda m: meshprobe.thickness(m, 0, 1, progress=3), TypeError, "progress must be callable"),
    (lambda m: meshprobe.thickness_histogram(np.zeros(4), 0, 1, bins=0), ValueError, "bins must be at least 1"),
    (lambda m: meshprobe.thickness_histogram(np.zeros((2, 2)), 0, 1), ValueError, "values must have shape (m,)"),
])
def test_bad_arguments_raise_with_a_message(call, error, message):
    with pytest.raises(error, match=re.escape(message)):
        call(meshprobe.Mesh(TETRA_VERTICES, TETRA_TRIANGLES))


def test_the_packages_example_session_still_holds(monkeypatch):
    monkeypatch.chdir(REPOSITORY)
    outcome = doctest.testmod(meshprobe)
    assert outcome.attempted >= 6 and outcome.failed == 0
