"""The tool's JSON, which the module's results mirror, validates against the published schemas/ in full."""

import json

import jsonschema
import pytest

from conftest import BRACKET, CUP, REPOSITORY, WALLS

CASES = [("info", CUP), ("trapped", BRACKET, "-r", "48"), ("thickness", WALLS, "--samples", "1", "--per-face"),
         ("areas", BRACKET, "--thin", "0", "1.5"), ("orient", CUP, "-r", "16", "--printer", "bottom-up-resin",
         "--refine"), ("check", BRACKET, "--printer", "bottom-up-resin", "-r", "48"), ("info", CUP / "missing"),
         ("check", CUP, "--printer", "sla")]


@pytest.mark.parametrize("args", CASES, ids=lambda a: f"{a[0]}-{a[1].stem}-{len(a)}")
def test_output_validates_against_its_schema(tool, args):
    done = tool(*args, "--json", check=False)
    report = json.loads(done.stdout)
    name = "error" if done.returncode == 2 else args[0]
    jsonschema.validate(report, json.loads((REPOSITORY / "schemas" / f"{name}.json").read_text()))
    if args[0] == "check" and done.returncode != 2:
        jsonschema.validate(report["profile"], json.loads((REPOSITORY / "schemas/profile.schema.json").read_text()))
