"""report() writes the tool's page with the tool's options and refusals; every result reads as a dict."""

import json, re

import numpy as np, pytest

import meshprobe
from conftest import EXAMPLES

CUP, PATTERN = EXAMPLES / "cup.stl", r'id="report-summary">(.*?)</script>'


@pytest.mark.parametrize("keywords, flags", [
    (dict(resolution=48), "-r 48"),
    (dict(resolution=40, printer="bottom-up-resin", drain_holes=3, min=0.5, max=3, samples=7),
     "-r 40 --printer bottom-up-resin --drain-holes 3 --min 0.5 --max 3 --samples 7"),
    (dict(trapped=False, up="-y", min_thin_area=0.25, fix_winding=True),
     "--no-trapped --up -y --min-thin-area 0.25 --fix-winding"),
])
def test_report_is_the_tools_page(tool, tmp_path, keywords, flags):
    summary = meshprobe.report(meshprobe.load(str(CUP)), tmp_path / "py.html", name=str(CUP), **keywords)
    tool("report", CUP, "-o", tmp_path / "tool.html", "-q", *flags.split())
    pages = [(tmp_path / name).read_text() for name in ("py.html", "tool.html")]
    embedded = [json.loads(re.search(PATTERN, page, re.S).group(1)) for page in pages]
    assert embedded[0] == summary.to_dict()
    for data in embedded:
        del data["seconds"], data["report"]
    assert embedded[0] == embedded[1]
    assert re.sub(PATTERN, "", pages[0], flags=re.S) == re.sub(PATTERN, "", pages[1], flags=re.S)


@pytest.mark.parametrize("keywords, message", [
    (dict(up="+z", printer="fdm"), "up or printer"), (dict(printer="fdm", profile={"base": "fdm"}), "or profile"),
    (dict(trapped=False, drain_holes=2), "drain_holes"), (dict(samples=-1), "samples"),
    (dict(min=3, max=1), "greater than max"), (dict(threads=0), "threads"), (dict(resolution=0), "resolution"),
    (dict(printer="laser"), "laser"), (dict(path="page.txt"), "must end in .html")])
def test_report_refuses_what_the_tool_refuses_and_writes_nothing(tmp_path, keywords, message):
    path = tmp_path / keywords.pop("path", "page.html")
    with pytest.raises(meshprobe.InputError, match=message):
        meshprobe.report(meshprobe.load(str(CUP)), path, **keywords)
    assert list(tmp_path.iterdir()) == []


def test_every_result_reads_as_a_dict_of_its_attributes():
    mesh = meshprobe.load(str(EXAMPLES / "bracket.stl"))
    values = meshprobe.thickness(mesh, 0, 2, samples=3)
    for result in (mesh.inspect(), meshprobe.trapped(mesh, resolution=32), meshprobe.thin_areas(mesh, values, 0, 2),
                   meshprobe.areas(mesh, values < 1.5), meshprobe.check(mesh, "powder", resolution=32)):
        for key, value in result.to_dict().items():
            attribute = getattr(result, key)
            if isinstance(attribute, list) and attribute and hasattr(attribute[0], "to_dict"):
                attribute = [a.to_dict() for a in attribute]
            assert (attribute.tolist() if isinstance(attribute, np.ndarray) else attribute) == value, key
