"""cavities() and orient() as typed results: attributes over the dicts the calls have always returned,
which indexing, == and to_dict() still give unchanged."""

import json
import pickle

import pytest

import meshprobe
from conftest import EXAMPLES


@pytest.fixture(scope="module")
def located():
    return meshprobe.cavities(meshprobe.load(str(EXAMPLES / "bracket.stl")), resolution=48, drain_holes=2)


def test_cavities_read_as_attributes_down_to_the_drain_holes_and_to_dict_is_the_tools_report(located, tool_json):
    assert isinstance(located, meshprobe.CavitiesResult) and located.up == located["up"] == "+z"
    assert located.tiny_cavities.count == located["tiny_cavities"]["count"]
    assert [c.name for c in located.cavities] == [c["name"] for c in located["cavities"]] == ["Closed", "Open"]
    for typed, plain in zip(located.cavities, located["cavities"]):
        assert isinstance(typed, meshprobe.LocatedCavity) and isinstance(typed.drain, meshprobe.DrainHole)
        assert (typed.number, typed.volume, typed.centroid) == (plain["number"], plain["volume"], plain["centroid"])
        assert (typed.drain.exit_point, typed.drain.diameter) == (plain["drain"]["exit_point"], 2)
        assert typed.mesh is plain["mesh"]
    closed, open_ = located.cavities
    assert isinstance(closed.vent, meshprobe.DrainHole) and open_.vent is None and "vent" not in open_

    report = tool_json("trapped", EXAMPLES / "bracket.stl", "-r", 48, "--drain-holes", 2)
    plain = located.to_dict()
    assert type(plain) is dict and all(type(c) is dict for c in plain["cavities"])
    for key in ("resolution", "voxel_size", "up", "up_vector", "trapped_voxels", "cavity_count", "tiny_cavities"):
        assert plain[key] == report[key], key
    for got, expected in zip(plain["cavities"], report["cavities"]):
        assert set(got) - {"mesh"} == set(expected)
        assert (got["centroid"], got["drain"], got.get("vent")) == (expected["centroid"], expected["drain"],
                                                                     expected.get("vent"))
    json.dumps({**plain, "cavities": [{k: v for k, v in c.items() if k != "mesh"} for c in plain["cavities"]]})


def test_results_are_read_only_and_to_dict_is_a_copy(located):
    plain = located.to_dict()
    plain["cavities"][0]["drain"]["diameter"], plain["up"] = 99, "-z"
    assert located.up == "+z" and located.cavities[0].drain.diameter == 2
    assert located == located.to_dict() and dict(located) == located.to_dict()
    with pytest.raises(AttributeError, match="read-only"):
        located.up = "-z"
    with pytest.raises(AttributeError, match="'no_such_key'"):
        located.no_such_key
    bare = meshprobe.cavities(meshprobe.load(str(EXAMPLES / "bracket.stl")), resolution=32, solids=False,
                              min_volume=1)
    assert bare.cavities and all(c.drain is c.vent is c.mesh is None and "drain" not in c.to_dict()
                                 for c in bare.cavities)
    with pytest.raises(KeyError):
        bare.cavities[0]["drain"]


def test_orient_carries_refined_directions_and_suction_cups_as_the_tool_does(tool_json):
    cup = meshprobe.load(str(EXAMPLES / "cup.stl"))
    ranked = meshprobe.orient(cup, resolution=16, directions=6, printer="bottom-up-resin", refine=True)
    report = tool_json("orient", EXAMPLES / "cup.stl", "-r", 16, "--directions", 6, "--printer", "bottom-up-resin",
                       "--refine")
    assert ranked.refined and ranked.refined == report["refined"] == ranked.to_dict()["refined"]
    assert [(d.up, d.suction_cups) for d in ranked] == [(d["up"], d["suction_cups"]) for d in report["directions"]]
    assert [d.suction_volume for d in ranked] == pytest.approx([d["suction_volume"] for d in report["directions"]])
    assert ranked.best.suction_cups == 0 and max(d.suction_cups for d in ranked) == 1
    assert pickle.loads(pickle.dumps(ranked)).refined == ranked.refined
    assert meshprobe.orient(cup, resolution=8, directions=6, printer="fdm").best.suction_cups is None


def test_orient_is_a_sequence_of_directions_best_first(tool_json):
    cup = meshprobe.load(str(EXAMPLES / "cup.stl"))
    ranked = meshprobe.orient(cup, resolution=32, directions=6)
    report = tool_json("orient", EXAMPLES / "cup.stl", "-r", 32, "--directions", 6)["directions"]
    assert isinstance(ranked, meshprobe.OrientResult) and len(ranked) == len(report) == 6
    assert [d.up for d in ranked] == [d["up"] for d in ranked] == [d["up"] for d in report]
    assert ranked.best is ranked[0] and isinstance(ranked.best, meshprobe.Orientation)
    assert ranked.best.trapped_voxels == 0 and ranked[-1].up == "+z" and ranked[-1].cavities > 0
    plain = ranked.to_list()
    assert all(type(d) is dict for d in plain) and ranked == plain and ranked.to_dict() == {"refined": [], "directions": plain}
    assert [(set(d), d["trapped_voxels"]) for d in plain] == [(set(d), d["trapped_voxels"]) for d in report]
    plain[0]["up"] = "changed"
    assert ranked[0].up != "changed"
    for result in (ranked, ranked.best, meshprobe.cavities(cup, resolution=16, solids=False, drain_holes=2)):
        copy = pickle.loads(pickle.dumps(result))
        assert type(copy) is type(result) and copy == result
