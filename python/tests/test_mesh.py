"""meshprobe.Mesh and meshprobe.load: arrays in and out, conversions, validation, and the mesh's measures."""

import numpy as np
import pytest

import meshprobe
from conftest import EXAMPLES

# A unit tetrahedron, wound counter-clockwise seen from outside.
TETRA_VERTICES = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]]
TETRA_TRIANGLES = [[0, 2, 1], [0, 1, 3], [0, 3, 2], [1, 2, 3]]


@pytest.mark.parametrize("vertex_dtype", [np.float64, np.float32, np.float16, np.int32, np.int64, np.uint8])
@pytest.mark.parametrize("triangle_dtype", [np.int64, np.int32, np.uint32, np.uint16, np.int8])
def test_any_numeric_dtype_is_converted_once_into_owned_read_only_arrays(vertex_dtype, triangle_dtype):
    vertices = np.array(TETRA_VERTICES, dtype=vertex_dtype)
    triangles = np.array(TETRA_TRIANGLES, dtype=triangle_dtype)
    mesh = meshprobe.Mesh(vertices, triangles)

    assert mesh.vertices.dtype == np.float32 and mesh.vertices.shape == (4, 3)
    assert mesh.triangles.dtype == np.uint32 and mesh.triangles.shape == (4, 3)
    np.testing.assert_array_equal(mesh.vertices, vertices.astype(np.float32))
    np.testing.assert_array_equal(mesh.triangles, triangles.astype(np.uint32))
    # The mesh keeps its own copy: the caller's arrays stay writable and changing them changes nothing.
    vertices[0, 0] = 5
    triangles[0, 0] = 3
    assert mesh.vertices[0, 0] == 0 and mesh.triangles[0, 0] == 0
    with pytest.raises(ValueError):
        mesh.vertices[0, 0] = 1
    with pytest.raises(ValueError):
        mesh.triangles.flags.writeable = True


def test_nested_lists_and_fortran_order_arrays_are_accepted():
    from_lists = meshprobe.Mesh(TETRA_VERTICES, TETRA_TRIANGLES)
    fortran = meshprobe.Mesh(np.asfortranarray(np.array(TETRA_VERTICES, float)),
                             np.asfortranarray(np.array(TETRA_TRIANGLES)))
    np.testing.assert_array_equal(from_lists.vertices, fortran.vertices)
    np.testing.assert_array_equal(from_lists.triangles, fortran.triangles)
    assert from_lists.vertex_count == 4 and from_lists.triangle_count == 4


@pytest.mark.parametrize(
    "vertices, triangles, error, message",
    [
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
        (TETRA_VERTICES, np.array([[0, 1, 2**32]], np.uint64), ValueError, "triangles use vertex 4294967296"),
        ([[0, 0, 0], [1, 0, np.nan], [0, 1, 0]], [[0, 1, 2]], meshprobe.InputError, "vertex 1"),
    ],
)
def test_bad_shapes_dtypes_and_indices_raise_with_the_expected_shape(vertices, triangles, error, message):
    with pytest.raises(error) as raised:
        meshprobe.Mesh(vertices, triangles)
    assert message in str(raised.value)


def test_an_empty_mesh_has_zero_sized_arrays():
    mesh = meshprobe.Mesh(np.zeros((0, 3)), np.zeros((0, 3), int))
    assert mesh.vertices.shape == (0, 3) and mesh.triangles.shape == (0, 3)
    assert mesh.inspect().triangle_count == 0


def test_inspect_matches_the_tools_info_report(example, tool_json):
    report = tool_json("info", example)
    mesh = meshprobe.load(example)
    info = mesh.inspect()
    assert (info.vertex_count, info.triangle_count) == (report["vertices"], report["triangles"])
    assert (mesh.vertex_count, mesh.triangle_count) == (report["vertices"], report["triangles"])
    np.testing.assert_array_equal(info.bounds, np.array(report["bounds"], np.float32))
    np.testing.assert_array_equal(mesh.bounds, info.bounds)
    assert info.watertight == mesh.is_watertight == report["watertight"]
    assert (info.border_edges, info.nonmanifold_edges, info.bad_edges) == (
        report["border_edges"], report["nonmanifold_edges"], report["bad_edges"])
    assert info.volume == mesh.volume == report["volume"]
    assert info.area == mesh.area == report["area"]


def test_a_loaded_mesh_round_trips_through_its_arrays(example):
    loaded = meshprobe.load(str(example))
    rebuilt = meshprobe.Mesh(loaded.vertices, loaded.triangles)
    np.testing.assert_array_equal(rebuilt.vertices, loaded.vertices)
    np.testing.assert_array_equal(rebuilt.triangles, loaded.triangles)
    np.testing.assert_array_equal(meshprobe.thickness(rebuilt, 0, 2), meshprobe.thickness(loaded, 0, 2))


@pytest.mark.parametrize(
    "name, content, message",
    [
        ("missing.stl", None, "no such file"),
        ("empty.stl", b"", "empty"),
        ("part.xyz", b"solid x\n", "xyz"),
        ("short.stl", b"\0" * 40, "truncated"),
    ],
)
def test_load_names_the_file_and_the_problem(tmp_path, name, content, message):
    path = tmp_path / name
    if content is not None:
        path.write_bytes(content)
    with pytest.raises(meshprobe.InputError) as raised:
        meshprobe.load(path)
    assert str(path) in str(raised.value) and message in str(raised.value)
    assert isinstance(raised.value, ValueError) and isinstance(raised.value, meshprobe.Error)


@pytest.mark.parametrize("units, scale", [("mm", 1.0), ("cm", 10.0), ("m", 1000.0), ("in", 25.4)])
def test_load_scales_by_units_like_the_tools_info(example, tool_json, units, scale):
    millimetres = meshprobe.load(example)
    scaled = meshprobe.load(example, units=units)
    np.testing.assert_allclose(scaled.vertices, millimetres.vertices * np.float32(scale), rtol=1e-6)
    report = tool_json("info", example, "--units", units)
    np.testing.assert_allclose(scaled.bounds, report["bounds"], rtol=1e-6)


@pytest.mark.parametrize("units", ["", "MM", "ft", "inch", "mm "])
def test_load_refuses_units_the_tool_refuses(example, tool, units):
    with pytest.raises(meshprobe.InputError, match="units"):
        meshprobe.load(example, units=units)
    assert tool("info", example, "--units", units, check=False).returncode == 2


def test_version_is_the_tools(tool):
    assert tool("--version").stdout.split() == ["meshprobe", meshprobe.__version__]


def test_reprs_show_the_key_figures():
    mesh = meshprobe.Mesh(TETRA_VERTICES, TETRA_TRIANGLES)
    assert repr(mesh) == "Mesh(vertices=4, triangles=4)"
    assert repr(mesh.inspect()).startswith("MeshInfo(vertices=4, triangles=4, watertight=True")


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


@pytest.mark.parametrize(
    "path, colours, message",
    [
        ("part.xyz", None, "unknown output format"),
        ("part.stl", np.zeros((3, 3), np.uint8), "format without colours|colours"),
        ("part.ply", np.zeros((3, 3), np.uint8), r"shape \(\d+, 3\)"),
        ("part.ply", np.zeros((1, 5), np.uint8), r"shape \(\d+, 3\)"),
        ("missing/part.ply", None, "does not exist"),
    ],
)
def test_save_refuses_what_it_cannot_write(example, tmp_path, path, colours, message):
    mesh = meshprobe.load(example)
    with pytest.raises(meshprobe.InputError, match=message):
        meshprobe.save(mesh, tmp_path / path, colours=colours)
    assert list(tmp_path.iterdir()) == []
