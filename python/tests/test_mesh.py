"""meshprobe.Mesh, load and save: arrays in and out, conversions, validation, and the mesh's measures."""

import numpy as np
import pytest

import meshprobe
from conftest import EXAMPLES, TETRA_TRIANGLES, TETRA_VERTICES


@pytest.mark.parametrize("vertex_dtype", [np.float64, np.float32, np.float16, np.int32, np.int64, np.uint8])
@pytest.mark.parametrize("triangle_dtype", [np.int64, np.int32, np.uint32, np.uint16, np.int8])
def test_any_numeric_dtype_is_converted_once_into_owned_read_only_arrays(vertex_dtype, triangle_dtype):
    vertices = np.asfortranarray(np.array(TETRA_VERTICES, dtype=vertex_dtype))
    triangles = np.array(TETRA_TRIANGLES, dtype=triangle_dtype)
    mesh = meshprobe.Mesh(vertices, triangles)
    assert (mesh.vertices.dtype, mesh.triangles.dtype, mesh.vertex_count, mesh.triangle_count) == (
        np.float32, np.uint32, 4, 4)
    np.testing.assert_array_equal(mesh.vertices, TETRA_VERTICES)
    np.testing.assert_array_equal(mesh.triangles, TETRA_TRIANGLES)
    # The mesh keeps its own copy: the caller's arrays stay writable and changing them changes nothing.
    vertices[0, 0], triangles[0, 0] = 5, 3
    assert mesh.vertices[0, 0] == 0 and mesh.triangles[0, 0] == 0
    with pytest.raises(ValueError):
        mesh.vertices[0, 0] = 1
    with pytest.raises(ValueError):
        mesh.triangles.flags.writeable = True


@pytest.mark.parametrize("vertices, triangles, error, message", [
    (np.zeros(7), TETRA_TRIANGLES, ValueError, "vertices must have shape (n, 3), got (7,)"),
    (np.zeros((4, 2)), TETRA_TRIANGLES, ValueError, "vertices must have shape (n, 3), got (4, 2)"),
    (np.zeros((2, 4, 3)), TETRA_TRIANGLES, ValueError, "vertices must have shape (n, 3), got (2, 4, 3)"),
    (TETRA_VERTICES, np.zeros(7, int), ValueError, "triangles must have shape (m, 3), got (7,)"),
    (TETRA_VERTICES, np.zeros((3, 4), int), ValueError, "triangles must have shape (m, 3), got (3, 4)"),
    (TETRA_VERTICES, np.zeros((1, 3)), TypeError, "triangles must hold integers, got dtype float64"),
    (TETRA_VERTICES, np.zeros((1, 3), bool), TypeError, "triangles must hold integers, got dtype bool"),
    (np.zeros((4, 3), complex), TETRA_TRIANGLES, TypeError, "vertices must hold floats or integers"),
    (np.full((4, 3), "a"), TETRA_TRIANGLES, TypeError, "vertices must hold floats or integers"),
    (TETRA_VERTICES, [[0, 1, -1]], ValueError, "triangles must hold indices from 0, got -1"),
    (TETRA_VERTICES, [[0, 1, 4]], ValueError, "triangles use vertex 4, but there are 4 vertices"),
    (TETRA_VERTICES, [[0, 1, 3]], None, None),
    (TETRA_VERTICES, np.array([[0, 1, 2**32]], np.uint64), ValueError, "triangles use vertex 4294967296"),
    ([[0, 0, 0], [1, 0, np.nan], [0, 1, 0]], [[0, 1, 2]], meshprobe.InputError, "vertex 1"),
    ([[0, 0, 0], [1, 0, np.inf], [0, 1, 0]], [[0, 1, 2]], meshprobe.InputError, "vertex 1"),
])
def test_bad_shapes_dtypes_indices_and_coordinates_raise_naming_the_problem(vertices, triangles, error, message):
    if error is None:  # the highest index there is
        assert meshprobe.Mesh(vertices, triangles).triangle_count == 1
        return
    with pytest.raises(error) as raised:
        meshprobe.Mesh(vertices, triangles)
    assert message in str(raised.value)


def test_an_empty_mesh_has_zero_sized_arrays_and_reprs_show_the_counts(tetra):
    mesh = meshprobe.Mesh(np.zeros((0, 3)), np.zeros((0, 3), int))
    assert mesh.vertices.shape == mesh.triangles.shape == (0, 3) and mesh.inspect().triangle_count == 0
    assert repr(tetra) == "Mesh(vertices=4, triangles=4)"
    assert repr(tetra.inspect()).startswith("MeshInfo(vertices=4, triangles=4, watertight=True")


def test_inspect_matches_the_tools_info_and_the_arrays_round_trip(example, tool_json):
    report = tool_json("info", example)
    mesh = meshprobe.load(str(example))
    info = mesh.inspect()
    keys = ("vertices", "triangles", "watertight", "border_edges", "nonmanifold_edges", "bad_edges", "volume", "area")
    assert [info.vertex_count, info.triangle_count, info.watertight, info.border_edges, info.nonmanifold_edges,
            info.bad_edges, info.volume, info.area] == [report[k] for k in keys]
    assert (mesh.vertex_count, mesh.triangle_count, mesh.is_watertight, mesh.volume, mesh.area) == (
        info.vertex_count, info.triangle_count, info.watertight, info.volume, info.area)
    np.testing.assert_array_equal(info.bounds, np.array(report["bounds"], np.float32))
    np.testing.assert_array_equal(mesh.bounds, info.bounds)
    rebuilt = meshprobe.Mesh(mesh.vertices, mesh.triangles)
    np.testing.assert_array_equal(meshprobe.thickness(rebuilt, 0, 2), meshprobe.thickness(mesh, 0, 2))


@pytest.mark.parametrize("name, content, message", [
    ("missing.stl", None, "no such file"), ("empty.stl", b"", "empty"), ("part.xyz", b"solid x\n", "xyz"),
    ("short.stl", b"\0" * 40, "truncated")])
def test_load_names_the_file_and_the_problem(tmp_path, name, content, message):
    path = tmp_path / name
    if content is not None:
        path.write_bytes(content)
    with pytest.raises(meshprobe.InputError) as raised:
        meshprobe.load(path)
    assert str(path) in str(raised.value) and message in str(raised.value)
    assert isinstance(raised.value, ValueError) and isinstance(raised.value, meshprobe.Error)


@pytest.mark.parametrize("units, scale", [("mm", 1.0), ("cm", 10.0), ("m", 1000.0), ("in", 25.4), ("", None),
                                          ("MM", None), ("ft", None), ("inch", None), ("mm ", None)])
def test_load_scales_by_units_and_refuses_units_as_the_tools_info(units, scale, tool, tool_json):
    example = EXAMPLES / "cup.stl"
    if scale is None:
        with pytest.raises(meshprobe.InputError, match="units"):
            meshprobe.load(example, units=units)
        assert tool("info", example, "--units", units, check=False).returncode == 2
        return
    scaled = meshprobe.load(example, units=units)
    np.testing.assert_allclose(scaled.vertices, meshprobe.load(example).vertices * np.float32(scale), rtol=1e-6)
    np.testing.assert_allclose(scaled.bounds, tool_json("info", example, "--units", units)["bounds"], rtol=1e-6)


def test_version_is_the_tools(tool):
    assert tool("--version").stdout.split() == ["meshprobe", meshprobe.__version__]


@pytest.mark.parametrize("extension", [".stl", ".ply", ".obj", ".3mf", ".glb"])
def test_save_writes_a_file_that_loads_back_alike(example, tmp_path, extension):
    mesh = meshprobe.load(example)
    path = tmp_path / ("part" + extension)
    meshprobe.save(mesh, path)
    back = meshprobe.load(path)
    assert back.triangle_count == mesh.triangle_count
    np.testing.assert_allclose(back.bounds, mesh.bounds, atol=1e-4)
    assert sorted(p.name for p in tmp_path.iterdir()) == [path.name]


def test_colour_files_hold_the_tools_bytes(tool, tmp_path):
    example = EXAMPLES / "thin-walls.stl"
    mesh = meshprobe.load(example)
    values = meshprobe.thickness(mesh, 0.5, 2.0)
    colours = meshprobe.thickness_colours(values, 0.5, 2.0)
    assert colours.shape == (mesh.triangle_count, 4) and colours.dtype == np.uint8
    # Faces without a wall thinner than max are grey; the thinnest face is the reddest.
    at_max = values >= 2.0
    assert at_max.any() and (colours[at_max] == [128, 128, 128, 255]).all()
    assert colours[np.argmin(values), 0] == 255
    ours, theirs = tmp_path / "ours.ply", tmp_path / "theirs.ply"
    meshprobe.save(mesh, ours, colours=colours)
    tool("thickness", example, "--min", "0.5", "--max", "2", "--color", theirs, "--quiet")
    assert ours.read_bytes() == theirs.read_bytes()


@pytest.mark.parametrize("path, colours, message", [
    ("part.xyz", None, "unknown output format"),
    ("part.stl", np.zeros((3, 3), np.uint8), "format without colours|colours"),
    ("part.ply", np.zeros((3, 3), np.uint8), r"shape \(\d+, 3\)"),
    ("part.ply", np.zeros((1, 5), np.uint8), r"shape \(\d+, 3\)"),
    ("missing/part.ply", None, "does not exist")])
def test_save_refuses_what_it_cannot_write(example, tmp_path, path, colours, message):
    with pytest.raises(meshprobe.InputError, match=message):
        meshprobe.save(meshprobe.load(example), tmp_path / path, colours=colours)
    assert list(tmp_path.iterdir()) == []
