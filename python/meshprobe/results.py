"""Typed results of cavities(), orient() and report() over the dicts those calls return.

Each result reads its keys as attributes (nested dicts and lists as typed results of their own), while
``result["key"]``, iteration, ``len()`` and ``==`` still see the plain dict, so code written against the
dicts keeps working. ``to_dict()`` gives that dict, copied.
"""

from collections.abc import Mapping as _Mapping, Sequence as _Sequence


def _plain(value):
    """A copy of dicts and lists all the way down; other values (numbers, strings, Mesh) as they are."""
    if isinstance(value, dict):
        return {key: _plain(item) for key, item in value.items()}
    if isinstance(value, list):
        return [_plain(item) for item in value]
    return value


class _DictResult(_Mapping):
    """A read-only view of one result dict: ``_typed`` names the keys read through a wrapper, ``_optional``
    the keys that read as None where the call left them out (drain holes that were not asked for)."""

    __slots__ = ("_data", "_wrapped")
    _typed = {}
    _optional = ()

    def __init__(self, data):
        if not isinstance(data, dict):
            raise TypeError("{} wraps a dict, not {}".format(type(self).__name__, type(data).__name__))
        object.__setattr__(self, "_data", data)
        wrapped = {}
        for key, wrap in self._typed.items():
            value = data.get(key)
            if isinstance(value, list):
                wrapped[key] = [wrap(item) for item in value]
            elif value is not None:
                wrapped[key] = wrap(value)
        object.__setattr__(self, "_wrapped", wrapped)

    def __getitem__(self, key):
        return self._data[key]

    def __iter__(self):
        return iter(self._data)

    def __len__(self):
        return len(self._data)

    def __getattr__(self, name):
        wrapped = object.__getattribute__(self, "_wrapped")
        if name in wrapped:
            return wrapped[name]
        data = object.__getattribute__(self, "_data")
        if name in data:
            return data[name]
        if name in type(self)._optional:
            return None
        raise AttributeError("{} has no attribute {!r}".format(type(self).__name__, name))

    def __setattr__(self, name, value):
        raise AttributeError("{} is read-only".format(type(self).__name__))

    def __dir__(self):
        return sorted(set(super().__dir__()) | set(self._data) | set(self._optional))

    def to_dict(self):
        """The result as the plain dict the call used to return (a copy)."""
        return _plain(self._data)

    def __reduce__(self):
        # Rebuilt from its dict, so results pickle (to Dask workers and back) despite being read-only.
        return (type(self), (self._data,))


class DrainHole(_DictResult):
    """A suggested drain or vent hole: drilled from ``exit_point`` on the part's surface along ``direction``
    to ``wall_point`` inside the cavity; ``length`` and ``diameter`` in mm, ``reachable`` whether the
    part leaves room for the drill."""

    __slots__ = ()

    def __repr__(self):
        return "DrainHole(exit_point={!r}, diameter={!r}, length={:.4g})".format(
            self.exit_point, self.diameter, self.length)


class LocatedCavity(_DictResult):
    """One cavity of :func:`cavities`: ``number`` and ``name`` as the tool prints them, volumes in mm³,
    places in model coordinates (mm), ``drain`` and ``vent`` holes (None unless drain holes were asked
    for; an open cavity has no vent), ``largest_hole`` (mm, None unless a hole of the asked diameter fits
    nowhere), and its surface as a Mesh in ``mesh`` (None with solids=False)."""

    __slots__ = ()
    _typed = {"drain": DrainHole, "vent": DrainHole}
    _optional = ("drain", "vent", "largest_hole")

    def __repr__(self):
        return "LocatedCavity(name={!r}, number={}, volume={:.6g}, voxels={})".format(
            self.name, self.number, self.volume, self.voxels)


class TinyCavities(_DictResult):
    """The cavities below ``min_volume``: only counted, with their total volume (mm³)."""

    __slots__ = ()

    def __repr__(self):
        return "TinyCavities(count={}, volume={:.6g})".format(self.count, self.volume)


class CavitiesResult(_DictResult):
    """The result of :func:`cavities`, with the keys of ``meshprobe trapped --json``."""

    __slots__ = ()
    _typed = {"cavities": LocatedCavity, "tiny_cavities": TinyCavities}

    def __repr__(self):
        return "CavitiesResult(up={!r}, trapped_volume={:.6g}, cavities={})".format(
            self.up, self.trapped_volume, len(self.cavities))


class ReportSummary(_DictResult):
    """The summary of :func:`report`, with the keys of ``meshprobe report --json`` (the JSON the page embeds):
    "info", "thickness" and "thin_areas", "trapped", "check" where analysed, "warnings", "report", "seconds"."""

    __slots__ = ()

    def __repr__(self):
        return "ReportSummary(report={!r}, sections={})".format(
            self.report, [k for k in ("thickness", "trapped", "check") if k in self])


class Orientation(_DictResult):
    """One build direction of :func:`orient`: ``up`` ready to pass as ``up=``, and what it traps;
    ``suction_cups`` and ``suction_volume`` are None unless ranked for bottom-up resin."""

    __slots__ = ()
    _optional = ("suction_cups", "suction_volume")

    def __repr__(self):
        return "Orientation(up={!r}, trapped_volume={:.6g}, cavities={})".format(
            self.up, self.trapped_volume, self.cavities)


class OrientResult(_Sequence):
    """The directions of :func:`orient`, best first: a sequence of :class:`Orientation`.

    ``result[0]["up"]``, iteration and ``==`` against a list of dicts work as on the list the call used
    to return; ``to_list()`` gives that list, ``to_dict()`` it under "directions" as ``orient --json``
    has it, with "refined": the directions ``refine=True`` added (also ``result.refined``).
    """

    __slots__ = ("_directions", "_refined")

    def __init__(self, directions, refined=()):
        if not isinstance(directions, list):
            raise TypeError("OrientResult wraps a list, not {}".format(type(directions).__name__))
        self._directions = [Orientation(d) for d in directions]
        self._refined = [str(up) for up in refined]

    def __getitem__(self, index):
        return self._directions[index]

    def __len__(self):
        return len(self._directions)

    def __eq__(self, other):
        if isinstance(other, OrientResult):
            return self._directions == other._directions
        if isinstance(other, list):
            return self.to_list() == other
        return NotImplemented

    __hash__ = None

    @property
    def directions(self):
        """Every direction tried, best first."""
        return list(self._directions)

    @property
    def refined(self):
        """The directions refinement added near the best, in the order tried (all among ``directions``)."""
        return list(self._refined)

    @property
    def best(self):
        """The best direction, or None when none was tried."""
        return self._directions[0] if self._directions else None

    def __reduce__(self):
        return (OrientResult, (self.to_list(), self._refined))

    def to_list(self):
        """The directions as the plain list of dicts the call used to return (a copy)."""
        return [d.to_dict() for d in self._directions]

    def to_dict(self):
        """{"refined": ..., "directions": to_list()}, the keys of ``orient --json``."""
        return {"refined": list(self._refined), "directions": self.to_list()}

    def __repr__(self):
        best = self.best
        return "OrientResult(directions={}, best={!r})".format(len(self), best.up if best else None)
