"""Shared fixtures: the bundled example parts, a tetrahedron, and the command-line tool, whose JSON is the
reference."""

import json
import os
import pathlib
import subprocess

import pytest

import meshprobe

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = REPOSITORY / "examples"
EXAMPLE_PARTS = sorted(EXAMPLES.glob("*.stl"))
# A unit tetrahedron, wound counter-clockwise seen from outside.
TETRA_VERTICES = [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]]
TETRA_TRIANGLES = [[0, 2, 1], [0, 1, 3], [0, 3, 2], [1, 2, 3]]
# ctest passes the built tool; by hand, the default build tree's.
TOOL = pathlib.Path(os.environ.get("MESHPROBE_TOOL", REPOSITORY / "build" / "cli" / "meshprobe"))
# With a build tree's tool, the module under test is that tree's, not an installed one found instead of an
# incomplete package folder.
BUILD_TREE = TOOL.parent.parent.resolve()
if os.environ.get("MESHPROBE_TOOL") and BUILD_TREE not in pathlib.Path(meshprobe.__file__).resolve().parents:
    raise ImportError(f"meshprobe comes from {meshprobe.__file__}, not from the build tree of {TOOL}")


@pytest.fixture(scope="session")
def tool():
    if not TOOL.exists():
        pytest.skip(f"the meshprobe tool is not built ({TOOL})")

    def run(*args, check=True):
        done = subprocess.run([str(TOOL), *map(str, args)], capture_output=True, text=True)
        if check and done.returncode != 0:
            raise AssertionError(f"meshprobe {' '.join(map(str, args))} exited {done.returncode}: {done.stderr}")
        return done

    return run


@pytest.fixture(scope="session")
def tool_json(tool):
    """Runs a subcommand with --json and returns its report."""
    return lambda *args: json.loads(tool(*args, "--json", "--quiet").stdout)


@pytest.fixture(params=EXAMPLE_PARTS, ids=lambda p: p.name)
def example(request):
    return request.param


@pytest.fixture()
def tetra():
    return meshprobe.Mesh(TETRA_VERTICES, TETRA_TRIANGLES)
