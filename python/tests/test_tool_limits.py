"""Every argument the module shares with the tool, at the edges of its range: the module refuses (ValueError)
exactly what the tool's command line refuses (exit 2), and takes the value just inside as the tool does."""

import math

import numpy as np
import pytest

import meshprobe

NAN, INF = math.nan, math.inf
CALLS = {  # name: (the module's call, the tool's command, defaults)
    "thickness": (lambda m, low, high, **kw: meshprobe.thickness(m, low, high, **kw), "thickness",
                  dict(low=0, high=1, samples=1)),
    "thin_areas": (lambda m, low, high, samples, **kw: meshprobe.thin_areas(m, np.zeros(4), low, high, **kw),
                   "thickness", dict(low=0, high=1, samples=1)),
    "trapped": (meshprobe.trapped, "trapped", dict(resolution=4)),
    "cavities": (meshprobe.cavities, "trapped", dict(resolution=4)),
    "orient": (meshprobe.orient, "orient", dict(resolution=4, directions=6)),
    "areas": (lambda m, faces: meshprobe.areas(m, faces), "areas", {}),
}
OPTIONS = dict(low="--min", high="--max", samples="--samples", min_area="--min-thin-area", resolution="-r",
               threads="-j", min_volume="--min-cavity", drain_holes="--drain-holes", up="--up",
               directions="--directions", faces="--faces")
T, F = True, False
# (call, arguments over its defaults, whether both take them); the tetrahedron's box diagonal is 1.73205 mm.
CASES = [
    ("thickness", dict(low=-0.001), F), ("thickness", dict(low=0), T), ("thickness", dict(low=NAN), F),
    ("thickness", dict(high=INF), F), ("thickness", dict(high=1e6), T), ("thickness", dict(high=1000000.5), F),
    ("thickness", dict(low=1.5), F), ("thickness", dict(samples=-1), F), ("thickness", dict(samples=0), T),
    ("thickness", dict(threads=0), F), ("thickness", dict(threads=4097), F),
    ("thin_areas", dict(min_area=-1), F), ("thin_areas", dict(min_area=1e12), T),
    ("thin_areas", dict(min_area=2e12), F), ("thin_areas", dict(min_area=INF), F),
    ("trapped", dict(resolution=0), F), ("trapped", dict(resolution=1), T), ("trapped", dict(resolution=1291), F),
    ("trapped", dict(threads=0), F), ("trapped", dict(threads=4096), T), ("trapped", dict(threads=4097), F),
    ("cavities", dict(min_volume=-1e-9), F), ("cavities", dict(min_volume=1e18), T),
    ("cavities", dict(min_volume=2e18), F), ("cavities", dict(min_volume=NAN), F),
    ("cavities", dict(drain_holes=1.732), T), ("cavities", dict(drain_holes=1.7321), F),
    ("cavities", dict(drain_holes=-0.001), F), ("cavities", dict(drain_holes=1000001), F),
    ("cavities", dict(drain_holes=INF), F), ("cavities", dict(threads=4097), F), ("cavities", dict(up="0,0,0"), F),
    ("orient", dict(directions=0), F), ("orient", dict(directions=1), T), ("orient", dict(directions=10000), T),
    ("orient", dict(directions=10001), F), ("orient", dict(threads=0), F), ("orient", dict(threads=4097), F),
    ("areas", dict(faces=[0, 4]), F), ("areas", dict(faces=[0, 3]), T),
]


@pytest.fixture(scope="module")
def tetrahedron(tmp_path_factory):
    path = tmp_path_factory.mktemp("limits") / "tetra.obj"
    path.write_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n")
    return path


@pytest.mark.parametrize("name, changed, accepted", CASES, ids=[f"{c[0]}-{c[1]}" for c in CASES])
def test_the_module_refuses_what_the_tool_refuses(name, changed, accepted, tool, tetrahedron):
    call, command, defaults = CALLS[name]
    arguments = {**defaults, **changed}
    options = [text for k, v in arguments.items()
               for text in (OPTIONS[k], ",".join(map(str, v)) if isinstance(v, list) else str(v))]
    done = tool(command, tetrahedron, *options, "--quiet", check=False)
    assert done.returncode == (0 if accepted else 2), f"meshprobe {command} {' '.join(options)}: {done.stderr}"
    part = meshprobe.load(str(tetrahedron))
    if accepted:
        call(part, **arguments)
    else:
        with pytest.raises(ValueError):
            call(part, **arguments)
