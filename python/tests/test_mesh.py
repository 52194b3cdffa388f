"""meshprobe.Mesh, load and save: arrays in and out, conversions, validation, and the mesh's measures."""

import numpy as np
import pytest

import meshprobe
from conftest import CUP, TETRA_TRIANGLES, TETRA_VERTICES, WALLS, same


@pytest.mark.parametrize("vertex_dtype", [np.float64, np.float32, np.float16, np.int32, np.int64, np.uint8])
@pytest.mark.parametrize("triangle_dtype", [np.int64, np.int32, np.uint32, np.uint16, np.int8])
def test_any_numeric_dtype_is_converted_once_into_owned_read_only_arrays(vertex_dtype, triangle_dtype):
    vertices = np.asfortranarray(np.array(TETRA_VERTICES, dtype=vertex_dtype))
    triangles = np.array(TETRA_TRIANGLES, dtype=triangle_dtype)
    mesh = meshprobe.Mesh(vertices, triangles)
    assert (mesh.vertices.dtype, mesh.triangles.dtype, mesh.vertices.tolist(), mesh.triangles.tolist()) == (
        np.float32, np.uint32, TETRA_VERTICES, TETRA_TRIANGLES)
    vertices[0, 0], triangles[0, 0] = 5, 3  # the mesh keeps its own copy
    assert mesh.vertices[0, 0] == 0 and mesh.triangles[0, 0] == 0 and not mesh.vertices.flags.writeable
    with pytest.raises(ValueError):
        mesh.triangles.flags.writeable = True


@pytest.mark.parametrize("vertices, triangles, error, message", [
    *[(np.zeros(s), TETRA_TRIANGLES, ValueError, f"vertices must have shape (n, 3), got {s}") for s in [
        (7,), (4, 2), (2, 4, 3)]],
    *[(TETRA_VERTICES, np.zeros(s, int), ValueError, f"triangles must have shape (m, 3), got {s}") for s in [
        (7,), (3, 4)]],
    *[(TETRA_VERTICES, np.zeros((1, 3), t), TypeError, f"triangles must hold integers, got dtype {t}") for t in (
        "float64", "bool")],
    *[(np.full((4, 3), v), TETRA_TRIANGLES, TypeError, "vertices must hold floats or integers") for v in (1j, "a")],
    (TETRA_VERTICES, [[0, 1, -1]], ValueError, "triangles must hold indices from 0, got -1"),
    (TETRA_VERTICES, [[0, 1, 4]], ValueError, "triangles use vertex 4, but there are 4 vertices"),
    (TETRA_VERTICES, np.array([[0, 1, 2**32]], np.uint64), ValueError, "triangles use vertex 4294967296"),
    *[([[0, 0, 0], [1, 0, bad], [0, 1, 0]], [[0, 1, 2]], meshprobe.InputError, "vertex 1") for bad in (
        np.nan, -np.inf)],
    (TETRA_VERTICES, [[0, 1, 3]], None, "Mesh(vertices=4, triangles=1)"),  # the highest index there is
    (np.zeros((0, 3)), np.zeros((0, 3), int), None, "Mesh(vertices=0, triangles=0)"),
])
def test_bad_shapes_dtypes_indices_and_coordinates_raise_naming_the_problem(vertices, triangles, error, message):
    if error is None:
        assert repr(meshprobe.Mesh(vertices, triangles)) == message
        return
    with pytest.raises(error) as raised:
        meshprobe.Mesh(vertices, triangles)
    assert message in str(raised.value)


def test_inspect_is_the_tools_info_and_the_arrays_round_trip(example, tool_json):
    report, info = tool_json("info", example), (mesh := meshprobe.load(str(example))).inspect()
    assert same({**info.to_dict(), "vertices": info.vertex_count, "triangles": info.triangle_count}, report)
    assert (mesh.vertex_count, mesh.triangle_count, mesh.is_watertight, mesh.volume, mesh.area,
            mesh.bounds.tolist()) == (info.vertex_count, info.triangle_count, info.watertight, info.volume,
                                      info.area, info.bounds.tolist())
    assert repr(info).startswith(f"MeshInfo(vertices={info.vertex_count}, triangles={info.triangle_count}, ")


@pytest.mark.parametrize("name, content, units, message", [
    ("missing.stl", None, "mm", "no such file"), ("empty.stl", b"", "mm", "empty"),
    ("part.xyz", b"solid x\n", "mm", "xyz"), ("short.stl", b"\0" * 40, "mm", "truncated")] + [
    (CUP, None, units, f"units '{units}'") for units in ("", "MM", "ft", "inch", "mm ")] + [
    (CUP, None, units, scale) for units, scale in [("mm", 1.0), ("cm", 10.0), ("m", 1000.0), ("in", 25.4)]])
def test_load_scales_by_units_or_refuses_naming_the_file_and_the_problem_as_the_tool_does(
        tmp_path, name, content, units, message, tool, tool_json, cup):
    path = tmp_path / name  # CUP itself, an absolute path
    if content is not None:
        path.write_bytes(content)
    if isinstance(message, float):  # the scale
        np.testing.assert_allclose(meshprobe.load(CUP, units=units).vertices, cup.vertices * message, rtol=1e-6)
        return np.testing.assert_allclose(cup.bounds * message, tool_json("info", CUP, "--units", units)["bounds"], 1e-6)
    with pytest.raises(meshprobe.InputError) as raised:
        meshprobe.load(path, units=units)
    assert message in str(raised.value) and (str(path) in str(raised.value) or units != "mm")
    assert isinstance(raised.value, ValueError) and isinstance(raised.value, meshprobe.Error)
    assert units == "mm" or tool("info", path, "--units", units, check=False).returncode == 2


@pytest.mark.parametrize("path, colours, message", [(f"part{extension}", None, None) for extension in (
    ".stl", ".ply", ".obj", ".3mf", ".glb")] + [
    ("part.xyz", None, "unknown output format"), ("part.stl", "ONE A FACE", "cannot hold per-face colours"),
    ("part.ply", np.zeros((3, 3), np.uint8), r"shape \(\d+, 3\)"), ("part.ply", np.zeros((1, 5), np.uint8), "shape"),
    ("part.ply", np.zeros((0, 4), np.uint8), "shape"), ("missing/part.ply", None, "does not exist")])
def test_save_writes_a_file_that_loads_back_alike_or_nothing(example, tmp_path, path, colours, message):
    mesh = meshprobe.load(example)
    if message is None:
        meshprobe.save(mesh, tmp_path / path)
        back = meshprobe.load(tmp_path / path)
        assert back.triangle_count == mesh.triangle_count and [p.name for p in tmp_path.iterdir()] == [path]
        return np.testing.assert_allclose(back.bounds, mesh.bounds, atol=1e-4)
    if isinstance(colours, str):
        colours = np.zeros((mesh.triangle_count, 4), np.uint8)
    with pytest.raises(meshprobe.InputError, match=message):
        meshprobe.save(mesh, tmp_path / path, colours=colours)
    assert list(tmp_path.iterdir()) == []


def test_colour_files_hold_the_tools_bytes(tool, tmp_path):
    mesh = meshprobe.load(WALLS)
    colours = meshprobe.thickness_colours(meshprobe.thickness(mesh, 0.5, 2.0), 0.5, 2.0)
    assert colours.shape == (mesh.triangle_count, 4) and colours.dtype == np.uint8
    meshprobe.save(mesh, tmp_path / "ours.ply", colours=colours)
    tool("thickness", WALLS, "--min", "0.5", "--max", "2", "--color", tmp_path / "theirs.ply", "--quiet")
    assert (tmp_path / "ours.ply").read_bytes() == (tmp_path / "theirs.ply").read_bytes()
    assert tool("--version").stdout.split() == ["meshprobe", meshprobe.__version__]
