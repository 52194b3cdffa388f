"""meshprobe: wall thickness, marking areas and trapped volumes of triangle meshes, over numpy arrays.

A short session on a bundled example::

    >>> import meshprobe
    >>> mesh = meshprobe.load("examples/bracket.stl")
    >>> mesh
    Mesh(vertices=1602, triangles=3204)
    >>> t = meshprobe.thickness(mesh, min=0, max=2)     # float32, one value per face, mm
    >>> t.min(), t.argmin()
    (1.1999806, 1464)
    >>> result = meshprobe.trapped(mesh, resolution=128)
    >>> [(c.name, c.voxels) for c in result.cavities]
    [('Closed', 11400), ('Open', 2717)]
    >>> meshprobe.areas(mesh, (t > 0) & (t < 1.5), label="thin rib")
    AreasResult(selected_faces=196, areas=2)

All lengths are millimetres. Long calls release the GIL, take an optional ``progress`` callable
(``progress(percent)``; returning False cancels with :class:`Cancelled`) and turn Ctrl-C into
KeyboardInterrupt. ``meshprobe.batch.run`` maps whole parts onto a Dask cluster.

The module is built for Debian's interpreter, ``/usr/bin/python3``.
"""

from ._meshprobe import (
    AreasResult,
    Cancelled,
    Cavity,
    Error,
    InputError,
    MarkingArea,
    Mesh,
    MeshInfo,
    ThinArea,
    ThinAreasResult,
    TrappedResult,
    areas,
    _check,
    _mesh_warnings,
    cavities as _cavities,
    fix_winding,
    load,
    orient as _orient,
    save,
    thickness,
    thickness_colours,
    thickness_histogram,
    thin_areas,
    trapped,
)
from ._meshprobe import __version__
from .results import (
    CavitiesResult,
    DrainHole,
    LocatedCavity,
    Orientation,
    OrientResult,
    ReportSummary,
    TinyCavities,
)
from . import _meshprobe

__all__ = [
    "__version__",
    "AreasResult",
    "Cancelled",
    "Cavity",
    "Error",
    "InputError",
    "MarkingArea",
    "Mesh",
    "MeshInfo",
    "ThinArea",
    "ThinAreasResult",
    "TrappedResult",
    "areas",
    "CavitiesResult",
    "CheckResult",
    "DrainHole",
    "Finding",
    "LocatedCavity",
    "Orientation",
    "OrientResult",
    "TinyCavities",
    "cavities",
    "check",
    "fix_winding",
    "load",
    "orient",
    "report",
    "ReportSummary",
    "save",
    "thickness",
    "thickness_colours",
    "thickness_histogram",
    "thin_areas",
    "trapped",
]

import json as _json
import os as _os
from dataclasses import dataclass as _dataclass, field as _field
from typing import Any as _Any, Dict as _Dict, List as _List, Optional as _Optional


@_dataclass(frozen=True)
class Finding:
    """One problem of a check: the keys of a finding of ``meshprobe check --json``.

    ``severity`` is "fail", "warn" or "info"; ``where`` the place in model coordinates (mm) or None;
    ``measure`` and ``limit`` in ``unit`` ("mm", "mm²", "mm³", or "" for a count); ``drain`` and ``vent``
    suggested holes (dicts) of sealed cavities; ``largest_hole`` (mm) where no hole of the profile's drain
    diameter fits such a cavity.
    """

    code: str
    severity: str
    message: str
    fix: str
    where: _Optional[_List[float]] = None
    measure: _Optional[float] = None
    limit: _Optional[float] = None
    unit: _Optional[str] = None
    area: _Optional[float] = None
    size: _Optional[_List[float]] = None
    drain: _Optional[_Dict[str, _Any]] = None
    vent: _Optional[_Dict[str, _Any]] = None
    largest_hole: _Optional[float] = None


@_dataclass(frozen=True)
class CheckResult:
    """The verdict of :func:`check`, with the keys of ``meshprobe check --json``."""

    verdict: str
    profile: _Dict[str, _Any]
    findings: _List[Finding]
    counts: _Dict[str, int]
    thinnest_wall: _Optional[float]
    ignored_tiny_cavities: int
    warnings: _List[_Dict[str, _Any]]
    winding_fixed_faces: int
    voxel_size: float

    def __repr__(self):
        return "CheckResult(verdict={!r}, fail={}, warn={}, info={})".format(
            self.verdict, self.counts["fail"], self.counts["warn"], self.counts["info"])


def _profile_text(profile):
    """A profile argument (None, a file's path or a dict of its keys) as (text, source name)."""
    if profile is None:
        return None, None
    if isinstance(profile, dict):
        return _json.dumps(profile), "profile"
    source = _os.fspath(profile)
    try:
        with open(source, encoding="utf-8") as file:
            return file.read(), source
    except OSError as error:
        raise InputError("{}: cannot read the profile file ({})".format(source, error.strerror))


def check(mesh, printer=None, profile=None, *, up=None, min_wall=None, warn_wall=None, drain=None,
          resolution=256, threads=None, fix_winding=False, progress=None):
    """Go or no-go for a process: ``meshprobe check``.

    With neither ``printer`` nor ``profile`` it returns the mesh checks alone, as before: a list of dicts
    {'code', 'count', 'text'} (open edges, non-manifold edges, inconsistent winding, inside-out shells,
    several bodies, zero-area faces), empty for a sound closed mesh.

    printer     'bottom-up-resin', 'top-down-resin', 'powder' or 'fdm': that built-in profile.
    profile     a profile file's path, or a dict with its keys ({'base': 'powder', 'walls': {'min': 0.7}}).
    up          build direction instead of the profile's ('+z', '-z', ..., or 'x,y,z').
    min_wall, warn_wall, drain   override the profile's minimum and recommended wall and drain hole, mm.
    resolution  voxels along the longest side for the cavity and suction-cup analyses, 1..1290.
    threads     worker threads, at least 1; None uses all cores.
    fix_winding repair the winding before checking.
    progress    optional callable progress(percent: float); returning False cancels.

    Returns a :class:`CheckResult`; ``verdict`` is "pass", "warn" or "fail".
    """
    if printer is None and profile is None:
        if any(v is not None for v in (up, min_wall, warn_wall, drain)):
            raise ValueError("up, min_wall, warn_wall and drain need printer or profile")
        return _mesh_warnings(mesh)
    profile_text, profile_source = _profile_text(profile)
    data = _json.loads(_check(mesh, printer, profile_text, profile_source or "", up, min_wall, warn_wall,
                              drain, resolution, threads, fix_winding, progress))
    data["findings"] = [Finding(**f) for f in data["findings"]]
    return CheckResult(**data)


def cavities(mesh, *args, **kwargs):
    return CavitiesResult(_cavities(mesh, *args, **kwargs))


cavities.__doc__ = _cavities.__doc__ + """

The result is a :class:`CavitiesResult`: its keys read as attributes (``result.cavities[0].drain.exit_point``),
and ``result["key"]`` and ``to_dict()`` give the dict above."""


def orient(mesh, *args, **kwargs):
    ranked = _orient(mesh, *args, **kwargs)
    return OrientResult(ranked["directions"], ranked["refined"])


orient.__doc__ = _orient.__doc__ + """

The result is an :class:`OrientResult`, a sequence of :class:`Orientation` best first (``result.best.up``);
``result[0]["up"]`` and ``to_list()`` give the dicts above."""


def report(mesh, path, *, min=0.0, max=2.0, samples=31, min_thin_area=1.0, thickness=True, trapped=True,
           resolution=256, up=None, printer=None, profile=None, min_volume=0.0, drain_holes=0.0, threads=None,
           fix_winding=False, name=None, progress=None):
    """Writes the self-contained HTML report of a mesh: ``meshprobe report``, with the same options and rules.

    path          the page to write, ending in .html; written atomically (a reader never sees half a page).
    min, max      the thickness window, mm: the colour scale, and thinner walls than max are thin areas.
    samples       rays per face (1..31 spread over the face, 32+ one ray).
    min_thin_area thin areas below it (mm²) are left out of the page.
    thickness     False leaves out wall thickness and thin areas.
    trapped       False leaves out trapped volumes (drain_holes needs them).
    resolution    voxels along the longest side for the cavities and the check, 1..1290.
    up            build direction ('+z', '-z', ..., or 'x,y,z'); not with printer.
    printer       a printer kind ('bottom-up-resin', 'top-down-resin', 'powder', 'fdm'): its build direction,
                  and the page opens with the check's verdict for it.
    profile       a profile file's path or a dict of its keys, instead of printer; up overrides its direction.
    min_volume    cavities below it (mm³) are only counted.
    drain_holes   suggest drain holes (and vents) of this diameter, mm; 0 for none.
    threads       worker threads, at least 1; None uses all cores.
    fix_winding   repair the winding before the analyses.
    name          the part's name on the page and in the summary's "mesh"; default the page's file name.
    progress      optional callable progress(percent: float); returning False cancels.

    Returns a :class:`ReportSummary`: the JSON the page embeds, as ``meshprobe report --json`` prints it.
    Raises InputError for arguments the tool refuses (naming them) and for a path that is not .html or
    cannot be written; nothing is written then.
    """
    if not hasattr(_meshprobe, "_report"):
        raise Error("this build of meshprobe has no report writer (it was built without three.js)")
    profile_text, profile_source = _profile_text(profile)
    text = _meshprobe._report(mesh, _os.fspath(path), min, max, samples, min_thin_area, thickness, trapped,
                              resolution, up, printer, profile_text, profile_source or "", min_volume,
                              drain_holes, threads, fix_winding, name, progress)
    return ReportSummary(_json.loads(text))


def _plain_value(value):
    if hasattr(value, "to_dict"):
        return value.to_dict()
    if hasattr(value, "tolist"):
        return value.tolist()
    if isinstance(value, (list, tuple)):
        return [_plain_value(v) for v in value]
    return value


def _fields_to_dict(fields):
    def to_dict(self):
        """The result as a plain dict of its fields (arrays as lists, a Mesh kept as it is)."""
        return {name: _plain_value(getattr(self, name)) for name in fields}
    return to_dict


# Every result class reads as a dict of its documented fields, as cavities() and orient() results do.
for _cls, _fields in (
        (MeshInfo, ("vertex_count", "triangle_count", "bounds", "border_edges", "nonmanifold_edges", "bad_edges",
                    "watertight", "area", "volume", "inside_out")),
        (Cavity, ("name", "voxels", "volume", "triangle_count", "mesh")),
        (TrappedResult, ("resolution", "up", "threads", "voxel_size", "trapped_voxels", "trapped_volume",
                         "cavities")),
        (ThinArea, ("id", "faces", "area", "min_thickness", "thinnest_face", "median_thickness", "faces_below_min",
                    "centroid", "bounds")),
        (ThinAreasResult, ("thin_faces", "window_faces", "areas", "dropped_areas", "dropped_faces", "crease_areas",
                           "crease_faces", "thinnest", "thinnest_face", "thinnest_area")),
        (MarkingArea, ("id", "name", "faces", "loops", "area")),
        (AreasResult, ("selected_faces", "areas")),
        (Finding, tuple(Finding.__dataclass_fields__)),
        (CheckResult, tuple(CheckResult.__dataclass_fields__))):
    _cls.to_dict = _fields_to_dict(_fields)
del _cls, _fields


# The classes live in the compiled module; showing them under the package keeps help() and reprs short.
for _name in __all__:
    try:
        globals()[_name].__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name
