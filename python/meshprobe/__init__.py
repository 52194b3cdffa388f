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
    cavities,
    check,
    fix_winding,
    load,
    orient,
    save,
    thickness,
    thickness_colours,
    thickness_histogram,
    thin_areas,
    trapped,
)
from ._meshprobe import __version__

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
    "cavities",
    "check",
    "fix_winding",
    "load",
    "orient",
    "save",
    "thickness",
    "thickness_colours",
    "thickness_histogram",
    "thin_areas",
    "trapped",
]

# The classes live in the compiled module; showing them under the package keeps help() and reprs short.
for _name in __all__:
    try:
        globals()[_name].__module__ = __name__
    except (AttributeError, TypeError):
        pass
del _name
