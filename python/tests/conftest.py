"""Shared fixtures: the bundled example parts and the command-line tool, whose JSON is the reference."""

import json
import os
import pathlib
import subprocess

import pytest

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = REPOSITORY / "examples"
EXAMPLE_PARTS = sorted(EXAMPLES.glob("*.stl"))


def _tool_path():
    # ctest passes the built tool; by hand, the default build tree's.
    return pathlib.Path(os.environ.get("MESHPROBE_TOOL", REPOSITORY / "build" / "cli" / "meshprobe"))


@pytest.fixture(scope="session")
def tool():
    path = _tool_path()
    if not path.exists():
        pytest.skip(f"the meshprobe tool is not built ({path})")

    def run(*args, check=True):
        done = subprocess.run([str(path), *map(str, args)], capture_output=True, text=True)
        if check and done.returncode != 0:
            raise AssertionError(f"meshprobe {' '.join(map(str, args))} exited {done.returncode}: {done.stderr}")
        return done

    return run


@pytest.fixture(scope="session")
def tool_json(tool):
    """Runs a subcommand with --json and returns its report."""

    def run(*args):
        return json.loads(tool(*args, "--json", "--quiet").stdout)

    return run


@pytest.fixture(params=EXAMPLE_PARTS, ids=lambda p: p.name)
def example(request):
    return request.param
