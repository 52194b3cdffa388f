"""cavities() and orient() as typed, read-only results over the dicts they return, which [], == and to_dict() give."""

import pickle

import pytest

import meshprobe
from conftest import BRACKET, CUP, same


@pytest.fixture(scope="module")
def located(bracket):
    return meshprobe.cavities(bracket, resolution=48, drain_holes=2)


def test_cavities_read_as_attributes_down_to_the_drain_holes(located):
    assert isinstance(located, meshprobe.CavitiesResult) and located.up == located["up"] == "+z"
    assert located.tiny_cavities.count == located["tiny_cavities"]["count"]
    assert [c.name for c in located.cavities] == [c["name"] for c in located["cavities"]] == ["Closed", "Open"]
    for typed, plain in zip(located.cavities, located["cavities"]):
        assert isinstance(typed, meshprobe.LocatedCavity) and isinstance(typed.drain, meshprobe.DrainHole)
        assert (typed.number, typed.volume, typed.centroid) == (plain["number"], plain["volume"], plain["centroid"])
        assert (typed.drain.exit_point, typed.drain.diameter, typed.mesh) == (plain["drain"]["exit_point"], 2, plain["mesh"])
    closed, open_ = located.cavities
    assert isinstance(closed.vent, meshprobe.DrainHole) and open_.vent is None and "vent" not in open_
    assert repr(closed).startswith("LocatedCavity(name='Closed'") and "cavities=2" in repr(located)


def test_results_are_read_only_and_to_dict_is_a_plain_copy(located):
    plain = located.to_dict()
    assert type(plain) is dict and all(type(c) is dict and type(c["drain"]) is dict for c in plain["cavities"])
    plain["cavities"][0]["drain"]["diameter"], plain["up"] = 99, "-z"
    plain["cavities"].pop()
    assert located.up == "+z" and located.cavities[0].drain.diameter == 2 and len(located.cavities) == 2
    assert located == located.to_dict() and dict(located) == located.to_dict()
    with pytest.raises(AttributeError, match="read-only"):
        located.up = "-z"
    with pytest.raises(AttributeError, match="'no_such_key'"):
        located.no_such_key
    bare = meshprobe.cavities(meshprobe.load(BRACKET), resolution=32, solids=False, min_volume=1)
    # Left out, not None: `in` is Mapping's, which needs KeyError from [].
    assert bare.cavities and all(c.drain is c.vent is c.mesh is None and "drain" not in c for c in bare.cavities)


@pytest.mark.parametrize("printer, refine", [(None, False), ("bottom-up-resin", True)])
def test_orient_is_the_tools_directions_best_first(tool_json, cup, printer, refine):
    ranked = meshprobe.orient(cup, resolution=16, directions=6, printer=printer, refine=refine)
    report = tool_json("orient", CUP, "-r", 16, "--directions", 6, *(["--printer", printer] * bool(printer)),
                       *(["--refine"] * refine))
    assert same(ranked.to_dict(), report) and ranked.refined == report["refined"] and bool(ranked.refined) == refine
    assert isinstance(ranked, meshprobe.OrientResult) and len(ranked) == len(report["directions"]) >= 6
    assert ranked.best is ranked[0] and isinstance(ranked.best, meshprobe.Orientation)
    assert [d.up for d in ranked] == [d["up"] for d in ranked] == [d["up"] for d in report["directions"]]
    assert (ranked.best.suction_cups, max(d.suction_cups or 0 for d in ranked)) == ((0, 1) if printer else (None, 0))
    assert all(type(d) is dict for d in ranked.to_list()) and ranked == ranked.to_list() == ranked.to_dict()["directions"]
    for result in (ranked, ranked.best, meshprobe.cavities(cup, resolution=16, solids=False, drain_holes=2)):
        copy = pickle.loads(pickle.dumps(result))
        assert type(copy) is type(result) and copy == result and getattr(copy, "refined", 0) == getattr(result, "refined", 0)
