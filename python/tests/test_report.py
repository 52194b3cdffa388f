"""report() writes the tool's page from the same library, with the tool's options and refusals; every result
class reads as a dict."""

import json
import re

import numpy as np
import pytest

import meshprobe
from conftest import EXAMPLES

OPTION_SETS = [  # (report() keywords, the same options on the command line)
    (dict(resolution=48), ["-r", "48"]),
    (dict(resolution=40, printer="bottom-up-resin", drain_holes=3, min=0.5, max=3, samples=7),
     ["-r", "40", "--printer", "bottom-up-resin", "--drain-holes", "3", "--min", "0.5", "--max", "3",
      "--samples", "7"]),
    (dict(trapped=False, up="-y", min_thin_area=0.25, fix_winding=True),
     ["--no-trapped", "--up", "-y", "--min-thin-area", "0.25", "--fix-winding"]),
]


def summary_of(html):
    found = re.search(r'<script type="application/json" id="report-summary">(.*?)</script>', html, re.S)
    return json.loads(found.group(1))


@pytest.mark.parametrize("keywords, flags", OPTION_SETS)
def test_report_equals_the_tools_page(tool, tmp_path, keywords, flags):
    part = EXAMPLES / "cup.stl"
    summary = meshprobe.report(meshprobe.load(str(part)), tmp_path / "py.html", name=str(part), **keywords)
    tool("report", part, "-o", tmp_path / "tool.html", "-q", *flags)
    pages = [(tmp_path / name).read_text() for name in ("py.html", "tool.html")]
    embedded = [summary_of(page) for page in pages]
    assert embedded[0] == summary.to_dict()
    for data in embedded:
        data.pop("seconds"), data.pop("report")
    assert embedded[0] == embedded[1]
    # Apart from the summary, the pages are the same bytes.
    strip = [re.sub(r'id="report-summary">.*?</script>', "", page, flags=re.S) for page in pages]
    assert strip[0] == strip[1]


@pytest.mark.parametrize("keywords, message", [
    (dict(up="+z", printer="fdm"), "up or printer"),
    (dict(printer="fdm", profile={"base": "fdm"}), "printer or profile"),
    (dict(trapped=False, drain_holes=2), "drain_holes"),
    (dict(samples=-1), "samples"),
    (dict(min=3, max=1), "greater than max"),
    (dict(threads=0), "threads"),
    (dict(resolution=0), "resolution"),
    (dict(printer="laser"), "laser"),
])
def test_report_refuses_what_the_tool_refuses_and_writes_nothing(tmp_path, keywords, message):
    mesh = meshprobe.load(str(EXAMPLES / "cup.stl"))
    with pytest.raises(ValueError, match=message):
        meshprobe.report(mesh, tmp_path / "page.html", **keywords)
    assert list(tmp_path.iterdir()) == []
    with pytest.raises(meshprobe.InputError, match="must end in .html"):
        meshprobe.report(mesh, tmp_path / "page.txt")


def test_every_result_class_reads_as_a_dict_of_its_attributes():
    mesh = meshprobe.load(str(EXAMPLES / "bracket.stl"))
    values = meshprobe.thickness(mesh, 0, 2, samples=3)
    results = [mesh.inspect(), meshprobe.trapped(mesh, resolution=32),
               meshprobe.thin_areas(mesh, values, 0, 2), meshprobe.areas(mesh, values < 1.5),
               meshprobe.check(mesh, "powder", resolution=32)]
    for result in results:
        plain = result.to_dict()
        json.dumps({k: v for k, v in plain.items() if k != "cavities"})  # plain values throughout
        for key, value in plain.items():
            attribute = getattr(result, key)
            if isinstance(attribute, np.ndarray):
                assert attribute.tolist() == value
            elif isinstance(attribute, list) and attribute and hasattr(attribute[0], "to_dict"):
                assert [a.to_dict() for a in attribute] == value
            else:
                assert attribute == value, key
