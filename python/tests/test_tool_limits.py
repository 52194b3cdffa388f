"""Every argument the module shares with the tool, at the edges of its range: the module refuses exactly
what the tool's command line refuses (exit 2), and takes the value just inside as the tool does."""

import math

import numpy as np
import pytest

import meshprobe

NAN, INF = math.nan, math.inf
# Each case: the module's call on the part, the tool's arguments for the same request, and whether both
# must take it.
CASES = [
    ("thickness min -0.001", lambda m: meshprobe.thickness(m, -0.001, 1, samples=1),
     ["thickness", "--min", "-0.001", "--max", "1", "--samples", "1"], False),
    ("thickness min 0", lambda m: meshprobe.thickness(m, 0, 1, samples=1),
     ["thickness", "--min", "0", "--max", "1", "--samples", "1"], True),
    ("thickness min NaN", lambda m: meshprobe.thickness(m, NAN, 1, samples=1),
     ["thickness", "--min", "nan", "--max", "1", "--samples", "1"], False),
    ("thickness max inf", lambda m: meshprobe.thickness(m, 0, INF, samples=1),
     ["thickness", "--min", "0", "--max", "inf", "--samples", "1"], False),
    ("thickness max 1e6", lambda m: meshprobe.thickness(m, 0, 1e6, samples=1),
     ["thickness", "--min", "0", "--max", "1000000", "--samples", "1"], True),
    ("thickness max above 1e6", lambda m: meshprobe.thickness(m, 0, 1000000.5, samples=1),
     ["thickness", "--min", "0", "--max", "1000000.5", "--samples", "1"], False),
    ("thickness min above max", lambda m: meshprobe.thickness(m, 1.5, 1, samples=1),
     ["thickness", "--min", "1.5", "--max", "1", "--samples", "1"], False),
    ("thickness samples -1", lambda m: meshprobe.thickness(m, 0, 1, samples=-1),
     ["thickness", "--min", "0", "--max", "1", "--samples", "-1"], False),
    ("thickness samples 0", lambda m: meshprobe.thickness(m, 0, 1, samples=0),
     ["thickness", "--min", "0", "--max", "1", "--samples", "0"], True),
    ("trapped resolution 0", lambda m: meshprobe.trapped(m, resolution=0), ["trapped", "-r", "0"], False),
    ("trapped resolution 1291", lambda m: meshprobe.trapped(m, resolution=1291), ["trapped", "-r", "1291"], False),
    ("trapped resolution 1", lambda m: meshprobe.trapped(m, resolution=1), ["trapped", "-r", "1"], True),
    ("trapped threads 0", lambda m: meshprobe.trapped(m, resolution=4, threads=0), ["trapped", "-r", "4", "-j", "0"],
     False),
    ("trapped threads 4096", lambda m: meshprobe.trapped(m, resolution=4, threads=4096),
     ["trapped", "-r", "4", "-j", "4096"], True),
    ("trapped threads 4097", lambda m: meshprobe.trapped(m, resolution=4, threads=4097),
     ["trapped", "-r", "4", "-j", "4097"], False),
    ("cavities min volume below 0", lambda m: meshprobe.cavities(m, resolution=4, min_volume=-1e-9),
     ["trapped", "-r", "4", "--min-cavity", "-1e-9"], False),
    ("cavities min volume 1e18", lambda m: meshprobe.cavities(m, resolution=4, min_volume=1e18),
     ["trapped", "-r", "4", "--min-cavity", "1e18"], True),
    ("cavities min volume above 1e18", lambda m: meshprobe.cavities(m, resolution=4, min_volume=2e18),
     ["trapped", "-r", "4", "--min-cavity", "2e18"], False),
    ("cavities min volume NaN", lambda m: meshprobe.cavities(m, resolution=4, min_volume=NAN),
     ["trapped", "-r", "4", "--min-cavity", "nan"], False),
    ("cavities drill the part's diagonal", lambda m: meshprobe.cavities(m, resolution=4, drain_holes=1.732),
     ["trapped", "-r", "4", "--drain-holes", "1.732"], True),
    ("cavities drill wider than the part", lambda m: meshprobe.cavities(m, resolution=4, drain_holes=1.7321),
     ["trapped", "-r", "4", "--drain-holes", "1.7321"], False),
    ("cavities drill below 0", lambda m: meshprobe.cavities(m, resolution=4, drain_holes=-0.001),
     ["trapped", "-r", "4", "--drain-holes", "-0.001"], False),
    ("cavities drill above 1e6", lambda m: meshprobe.cavities(m, resolution=4, drain_holes=1000001),
     ["trapped", "-r", "4", "--drain-holes", "1000001"], False),
    ("cavities drill inf", lambda m: meshprobe.cavities(m, resolution=4, drain_holes=INF),
     ["trapped", "-r", "4", "--drain-holes", "inf"], False),
    ("cavities threads 4097", lambda m: meshprobe.cavities(m, resolution=4, threads=4097),
     ["trapped", "-r", "4", "-j", "4097"], False),
    ("cavities up zero", lambda m: meshprobe.cavities(m, resolution=4, up="0,0,0"),
     ["trapped", "-r", "4", "--up", "0,0,0"], False),
    ("orient directions 0", lambda m: meshprobe.orient(m, resolution=4, directions=0),
     ["orient", "-r", "4", "--directions", "0"], False),
    ("orient directions 10001", lambda m: meshprobe.orient(m, resolution=4, directions=10001),
     ["orient", "-r", "4", "--directions", "10001"], False),
    ("orient directions 1", lambda m: meshprobe.orient(m, resolution=4, directions=1),
     ["orient", "-r", "4", "--directions", "1"], True),
    ("orient threads 0", lambda m: meshprobe.orient(m, resolution=4, threads=0),
     ["orient", "-r", "4", "-j", "0"], False),
    ("orient threads 4097", lambda m: meshprobe.orient(m, resolution=4, directions=6, threads=4097),
     ["orient", "-r", "4", "--directions", "6", "-j", "4097"], False),
    ("thin areas floor below 0", lambda m: meshprobe.thin_areas(m, np.zeros(4), 0, 1, min_area=-1),
     ["thickness", "--min", "0", "--max", "1", "--samples", "1", "--min-thin-area", "-1"], False),
    ("thin areas floor 1e12", lambda m: meshprobe.thin_areas(m, np.zeros(4), 0, 1, min_area=1e12),
     ["thickness", "--min", "0", "--max", "1", "--samples", "1", "--min-thin-area", "1e12"], True),
    ("thin areas floor above 1e12", lambda m: meshprobe.thin_areas(m, np.zeros(4), 0, 1, min_area=2e12),
     ["thickness", "--min", "0", "--max", "1", "--samples", "1", "--min-thin-area", "2e12"], False),
    ("areas face 4 of 4", lambda m: meshprobe.areas(m, [0, 4]), ["areas", "--faces", "0,4"], False),
    ("areas face 3 of 4", lambda m: meshprobe.areas(m, [0, 3]), ["areas", "--faces", "0,3"], True),
]


@pytest.fixture(scope="module")
def tetrahedron(tmp_path_factory):
    path = tmp_path_factory.mktemp("limits") / "tetra.obj"
    path.write_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n")
    return path


@pytest.mark.parametrize("name, call, args, accepted", CASES, ids=[case[0] for case in CASES])
def test_the_module_refuses_what_the_tool_refuses(name, call, args, accepted, tool, tetrahedron):
    done = tool(args[0], tetrahedron, *args[1:], "--quiet", check=False)
    assert done.returncode == (0 if accepted else 2), f"meshprobe {' '.join(args)}: {done.stderr}"
    part = meshprobe.load(str(tetrahedron))
    if accepted:
        call(part)
    else:
        with pytest.raises(ValueError):
            call(part)
