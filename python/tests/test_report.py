"""report() writes the tool's very page, with the tool's options."""

import json, re

import pytest

import meshprobe
from conftest import CUP

PATTERN = r'id="report-summary">(.*?)</script>'


@pytest.mark.parametrize("keywords, flags", [
    (dict(resolution=48), "-r 48"),
    (dict(resolution=40, printer="bottom-up-resin", drain_holes=3, min=0.5, max=3, samples=7, min_volume=2),
     "-r 40 --printer bottom-up-resin --drain-holes 3 --min 0.5 --max 3 --samples 7 --min-cavity 2"),
    (dict(trapped=False, up="-y", min_thin_area=0.25, fix_winding=True, profile="profile.json"),
     "--no-trapped --up -y --min-thin-area 0.25 --fix-winding --profile profile.json"),
    (dict(thickness=False, resolution=32), "--no-thickness -r 32"),
])
def test_report_is_the_tools_page(tool, tmp_path, monkeypatch, cup, keywords, flags):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "profile.json").write_text('{"base": "powder", "walls": {"min": 0.9}}')
    summary = meshprobe.report(cup, tmp_path / "py.html", name=str(CUP), **keywords)
    tool("report", CUP, "-o", tmp_path / "tool.html", "-q", *flags.split())
    pages = [(tmp_path / name).read_text() for name in ("py.html", "tool.html")]
    embedded = [json.loads(re.search(PATTERN, page, re.S).group(1)) for page in pages]
    assert embedded[0] == summary.to_dict()
    for data in embedded:
        del data["seconds"], data["report"]
    assert embedded[0] == embedded[1]
    assert re.sub(PATTERN, "", pages[0], flags=re.S) == re.sub(PATTERN, "", pages[1], flags=re.S)
