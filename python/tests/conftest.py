"""Shared fixtures: the bundled example parts, a tetrahedron, and the tool, whose JSON is the reference."""

import json, os, pathlib, subprocess

import numpy as np
import pytest

import meshprobe

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = REPOSITORY / "examples"
EXAMPLE_PARTS = sorted(EXAMPLES.glob("*.stl"))
BRACKET, CUP, WALLS = (EXAMPLES / name for name in ("bracket.stl", "cup.stl", "thin-walls.stl"))
# A unit tetrahedron, wound counter-clockwise seen from outside.
TETRA_VERTICES = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]]
TETRA_TRIANGLES = [[0, 2, 1], [0, 1, 3], [0, 3, 2], [1, 2, 3]]
# ctest passes the built tool; by hand, the default build tree's.
TOOL = pathlib.Path(os.environ.get("MESHPROBE_TOOL", REPOSITORY / "build" / "cli" / "meshprobe")).absolute()
# With a build tree's tool, the module under test is that tree's, not an installed one found instead of an
# incomplete package folder.
BUILD_TREE = TOOL.parent.parent.resolve()
if os.environ.get("MESHPROBE_TOOL") and BUILD_TREE not in pathlib.Path(meshprobe.__file__).resolve().parents:
    raise ImportError(f"meshprobe comes from {meshprobe.__file__}, not from the build tree of {TOOL}")


def same(got, expected):
    """Whether a result says what the tool's JSON says: on the keys both have (at least one), floats as float32."""
    if isinstance(got, dict):
        shared = got.keys() & expected.keys()
        return bool(shared) and all(same(got[key], expected[key]) for key in shared)
    if isinstance(got, (list, tuple)):
        return len(got) == len(expected) and all(map(same, got, expected))
    floats = isinstance(got, float) or isinstance(expected, float)
    return np.float32(got) == np.float32(expected) if floats else got == expected


@pytest.fixture(scope="session")
def tool():
    if not TOOL.exists():
        pytest.skip(f"the meshprobe tool is not built ({TOOL})")

    def run(*args, check=True):
        done = subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True)
        assert not check or done.returncode == 0, f"meshprobe {' '.join(map(str, args))}: {done.stderr}"
        return done

    return run


@pytest.fixture(scope="session")
def tool_json(tool):  # a subcommand's report
    return lambda *args: json.loads(tool(*args, "--json", "--quiet").stdout)


@pytest.fixture(params=EXAMPLE_PARTS, ids=lambda p: p.name)
def example(request):
    return request.param


@pytest.fixture(scope="session")
def bracket():
    return meshprobe.load(BRACKET)  # read-only, so one for all tests


@pytest.fixture(scope="session")
def cup():
    return meshprobe.load(CUP)
