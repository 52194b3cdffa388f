"""Every argument the module shares with the tool, at the edges of its range: the module refuses (ValueError)
exactly what the tool's command line refuses (exit 2), in its own words, writes nothing then, and takes the
value just inside as the tool does."""

import math, os, re

import numpy as np
import pytest

import meshprobe
from meshprobe import batch

NAN, INF, T, F = math.nan, math.inf, True, False
CALLS = {  # name: (the module's call, the tool's command, defaults)
    "thickness": (meshprobe.thickness, "thickness", dict(min=0, max=1, samples=1)),
    "thin_areas": (lambda m, samples, **kw: meshprobe.thin_areas(m, np.zeros(4), **kw), "thickness",
                   dict(min=0, max=1, samples=1)),
    "trapped": (meshprobe.trapped, "trapped", dict(resolution=4)),
    "cavities": (meshprobe.cavities, "trapped", dict(resolution=4)),
    "orient": (meshprobe.orient, "orient", dict(resolution=4, directions=6)),
    "areas": (meshprobe.areas, "areas", {}),
    "check": (meshprobe.check, "check", dict(printer="powder", resolution=4)),
    "report": (meshprobe.report, "report", dict(path="page.html", resolution=4, samples=1)),
    "part_record": (batch.part_record, "batch", dict(trapped=True, resolution=4)),
}
# The tool's option for an argument, where it is not the argument's name as an option (min_wall: --min-wall).
OPTIONS = dict(min_area="--min-thin-area", resolution="-r", threads="-j", min_volume="--min-cavity", path="-o")
# Per call: (arguments over its defaults, True where both take them, else False or what the module says);
# the tetrahedron's box diagonal is 1.73205 mm.
ROWS = {
    "thickness": [(dict(min=-0.001), "negative"), (dict(min=0), T), (dict(min=NAN), F), (dict(max=INF), F),
                  (dict(max=1e6), T), (dict(max=1000000.5), F), (dict(min=1.5), "greater than max"),
                  (dict(samples=-1), F), (dict(samples=0), T), (dict(threads=0), "threads must be at least 1"),
                  (dict(threads=4097), F)],
    "thin_areas": [(dict(min_area=-1), F), (dict(min_area=1e12), T), (dict(min_area=2e12), F),
                   (dict(min_area=INF), F)],
    "trapped": [(dict(resolution=0), "resolution 0 is outside 1..1290"), (dict(resolution=1), T),
                (dict(resolution=1291), F), (dict(up="up"), "unknown build direction 'up'"), (dict(threads=0), F),
                (dict(threads=4096), T), (dict(threads=4097), F)],
    "cavities": [(dict(min_volume=-1e-9), F), (dict(min_volume=1e18), T), (dict(min_volume=2e18), F),
                 (dict(min_volume=NAN), F), (dict(drain_holes=1.732), T), (dict(drain_holes=1.7321), F),
                 (dict(drain_holes=-0.001), F), (dict(drain_holes=1000001), F), (dict(drain_holes=INF), F),
                 (dict(threads=4097), F), (dict(up="0,0,0"), "the zero vector has no direction"),
                 (dict(printer="sla"), "'sla'"), (dict(up="+z", printer="fdm"), "give up or printer, not both")],
    "orient": [(dict(directions=0), F), (dict(directions=1), T), (dict(directions=10000), T),
               (dict(directions=10001), F), (dict(threads=0), F), (dict(threads=4097), F)],
    "areas": [(dict(faces=[0, 4]), "face 4 does not exist"), (dict(faces=[0, 3]), T)],
    "check": [(dict(min_wall=0), F), (dict(min_wall=0.001), T), (dict(min_wall=100), T), (dict(min_wall=100.001), F),
              (dict(warn_wall=NAN), F), (dict(warn_wall=INF), F), (dict(drain=0), T), (dict(drain=-1), F),
              (dict(drain=100.01), F), (dict(threads=0), F), (dict(threads=4097), F), (dict(resolution=1291), F)],
    "report": [(dict(resolution=0), F), (dict(samples=-1), "samples"), (dict(max=INF), F),
               (dict(min=3, max=1), "greater than max"), (dict(min_thin_area=2e12), F), (dict(min_volume=-1), F),
               (dict(drain_holes=1000001), F), (dict(threads=0), F), (dict(threads=4097), F), (dict(max=1e6), T),
               (dict(printer="laser"), "laser"), (dict(up="+z", printer="fdm"), "up or printer"),
               (dict(printer="fdm", profile="fdm.json"), "printer or profile"),
               (dict(trapped=False, drain_holes=2), "drain_holes needs the trapped volumes"),
               (dict(path="page.txt"), "must end in .html"), (dict(path="no/page.html"), "'no' does not")],
    "part_record": [(dict(part_timeout=0), "positive"), (dict(part_timeout=1e9), T), (dict(part_timeout=-1), F),
                    (dict(part_timeout=NAN), F), (dict(part_memory=0), F), (dict(part_memory=1e9), T),
                    (dict(part_memory=1.0000001e9), F), (dict(part_memory=INF), F), (dict(resolution=0), F),
                    (dict(resolution=1291), F), (dict(up="0,0,1"), F), (dict(printer="sla"), "'sla'"),
                    (dict(thickness=(-1, 1)), F), (dict(thickness=(0, INF)), F), (dict(thickness=(NAN, 1)), F),
                    (dict(thickness=(2, 1)), F), (dict(thickness=(0, 1), samples=-1), F),
                    (dict(threads=0), "threads")],
}
CASES = [(name, changed, outcome) for name, rows in ROWS.items() for changed, outcome in rows]


def tool_options(arguments):
    for key, value in arguments.items():
        option = OPTIONS.get(key, "--" + key.replace("_", "-"))
        yield option.replace("--", "--no-") if value is False else option
        if isinstance(value, tuple):
            yield from map(str, value)
        elif not isinstance(value, bool):
            yield ",".join(map(str, value)) if isinstance(value, list) else str(value)


@pytest.fixture(scope="module")
def tetrahedron(tmp_path_factory):
    (path := tmp_path_factory.mktemp("limits") / "tetra.obj").write_text("v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n")
    return path


@pytest.mark.parametrize("name, changed, outcome", CASES, ids=[f"{c[0]}-{c[1]}" for c in CASES])
def test_the_module_refuses_what_the_tool_refuses(name, changed, outcome, tool, tetrahedron, tmp_path, monkeypatch):
    call, command, defaults = CALLS[name]
    arguments = {**defaults, **changed}
    monkeypatch.chdir(tmp_path)  # where the page goes, beside a profile
    (tmp_path / "fdm.json").write_text('{"base": "fdm"}')
    options = list(tool_options(arguments))
    done = tool(command, tetrahedron, *options, "--quiet", check=False)
    assert (done.returncode == 2) != (outcome is T), f"meshprobe {command} {' '.join(options)}: {done.stderr}"
    part = str(tetrahedron) if name == "part_record" else meshprobe.load(str(tetrahedron))
    if outcome is T:
        return call(part, **arguments)
    with pytest.raises(ValueError, match=re.escape(outcome) if outcome else None):
        call(part, **arguments)
    assert os.listdir() == ["fdm.json"]
