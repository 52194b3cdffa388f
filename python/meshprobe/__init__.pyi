from os import PathLike
from typing import Any, Callable, Dict, Iterator, List, Mapping, Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

from . import batch as batch

_Progress = Optional[Callable[[float], Optional[bool]]]
_Path = Union[str, PathLike]

class Error(RuntimeError): ...
class InputError(Error, ValueError): ...
class Cancelled(Error): ...

class MeshInfo:
    vertex_count: int
    triangle_count: int
    bounds: npt.NDArray[np.float32]
    border_edges: int
    nonmanifold_edges: int
    bad_edges: int
    watertight: bool
    area: float
    volume: float
    inside_out: bool
    def to_dict(self) -> Dict[str, Any]: ...

class Mesh:
    def __init__(self, vertices: npt.ArrayLike, triangles: npt.ArrayLike) -> None: ...
    @property
    def vertices(self) -> npt.NDArray[np.float32]: ...
    @property
    def triangles(self) -> npt.NDArray[np.uint32]: ...
    @property
    def vertex_count(self) -> int: ...
    @property
    def triangle_count(self) -> int: ...
    def inspect(self) -> MeshInfo: ...
    @property
    def bounds(self) -> npt.NDArray[np.float32]: ...
    @property
    def is_watertight(self) -> bool: ...
    @property
    def area(self) -> float: ...
    @property
    def volume(self) -> float: ...

class Cavity:
    name: str
    voxels: int
    volume: float
    triangle_count: int
    mesh: Optional[Mesh]
    def to_dict(self) -> Dict[str, Any]: ...

class TrappedResult:
    resolution: int
    up: str
    threads: int
    voxel_size: float
    trapped_voxels: int
    trapped_volume: float
    cavities: List[Cavity]
    def to_dict(self) -> Dict[str, Any]: ...

class ThinArea:
    id: int
    faces: npt.NDArray[np.uint32]
    area: float
    min_thickness: float
    thinnest_face: int
    median_thickness: float
    faces_below_min: int
    centroid: List[float]
    bounds: List[List[float]]
    def to_dict(self) -> Dict[str, Any]: ...

class ThinAreasResult:
    thin_faces: int
    window_faces: int
    areas: List[ThinArea]
    dropped_areas: int
    dropped_faces: int
    crease_areas: int
    crease_faces: int
    thinnest: Optional[float]
    thinnest_face: Optional[int]
    thinnest_area: Optional[int]
    def to_dict(self) -> Dict[str, Any]: ...

class MarkingArea:
    id: int
    name: str
    faces: npt.NDArray[np.uint32]
    loops: List[npt.NDArray[np.uint32]]
    area: float
    def to_dict(self) -> Dict[str, Any]: ...

class AreasResult:
    selected_faces: int
    areas: List[MarkingArea]
    def to_dict(self) -> Dict[str, Any]: ...

__version__: str

def load(path: _Path, progress: _Progress = None, *, units: str = "mm") -> Mesh: ...
def thickness(
    mesh: Mesh,
    min: float,
    max: float,
    samples: int = 31,
    threads: Optional[int] = None,
    progress: _Progress = None,
) -> npt.NDArray[np.float32]: ...
def thickness_histogram(
    values: npt.ArrayLike, min: float, max: float, bins: int = 10
) -> Tuple[npt.NDArray[np.int64], npt.NDArray[np.float64]]: ...
def thin_areas(
    mesh: Mesh,
    values: npt.ArrayLike,
    min: float,
    max: float,
    min_area: float = 1.0,
    *,
    join_wall_sides: bool = True,
    drop_creases: bool = True,
) -> ThinAreasResult: ...
def trapped(
    mesh: Mesh,
    resolution: int = 256,
    up: str = "+z",
    threads: Optional[int] = None,
    cavity_meshes: bool = True,
    progress: _Progress = None,
) -> TrappedResult: ...
def areas(mesh: Mesh, faces: npt.ArrayLike, label: str = "area") -> AreasResult: ...
def save(
    mesh: Mesh, path: _Path, *, colours: Optional[npt.ArrayLike] = None, progress: _Progress = None
) -> None: ...
def thickness_colours(values: npt.ArrayLike, min: float, max: float) -> npt.NDArray[np.uint8]: ...
def cavities(
    mesh: Mesh,
    resolution: int = 256,
    up: Optional[str] = None,
    printer: Optional[str] = None,
    min_volume: float = 0.0,
    drain_holes: float = 0.0,
    solids: bool = True,
    threads: Optional[int] = None,
    progress: _Progress = None,
) -> CavitiesResult: ...
def orient(
    mesh: Mesh,
    resolution: int = 256,
    directions: int = 26,
    threads: Optional[int] = None,
    progress: _Progress = None,
    printer: Optional[str] = None,
    profile: Optional[str] = None,
    min_volume: float = 0.0,
    refine: bool = False,
) -> OrientResult: ...

class _DictResult(Mapping[str, Any]):
    def __getitem__(self, key: str) -> Any: ...
    def __iter__(self) -> Iterator[str]: ...
    def __len__(self) -> int: ...
    def to_dict(self) -> Dict[str, Any]: ...

class DrainHole(_DictResult):
    wall_point: List[float]
    exit_point: List[float]
    direction: List[float]
    length: float
    diameter: float
    reachable: bool

class LocatedCavity(_DictResult):
    number: int
    name: str
    volume: float
    voxels: int
    estimated_volume: float
    bounds: List[List[float]]
    centroid: List[float]
    lowest_point: List[float]
    highest_point: List[float]
    lowest_height: float
    highest_height: float
    drain: Optional[DrainHole]
    vent: Optional[DrainHole]
    largest_hole: Optional[float]
    mesh: Optional[Mesh]

class TinyCavities(_DictResult):
    count: int
    volume: float

class CavitiesResult(_DictResult):
    resolution: int
    voxel_size: float
    up: str
    up_vector: List[float]
    trapped_voxels: int
    trapped_volume: float
    cavity_count: int
    min_cavity: float
    tiny_cavities: TinyCavities
    cavities: List[LocatedCavity]

class Orientation(_DictResult):
    up: str
    up_vector: List[float]
    trapped_volume: float
    estimated_volume: float
    trapped_voxels: int
    cavities: int
    sealed_cavities: int
    sealed_volume: float
    noise_cavities: int
    overhang_area: float
    islands: int
    build_height: float
    footprint: float
    voxel_size: float
    resolution: int
    suction_cups: Optional[int]
    suction_volume: Optional[float]

class OrientResult(Sequence[Orientation]):
    @overload
    def __getitem__(self, index: int) -> Orientation: ...
    @overload
    def __getitem__(self, index: slice) -> List[Orientation]: ...
    def __len__(self) -> int: ...
    @property
    def directions(self) -> List[Orientation]: ...
    @property
    def refined(self) -> List[str]: ...
    @property
    def best(self) -> Optional[Orientation]: ...
    def to_list(self) -> List[Dict[str, Any]]: ...
    def to_dict(self) -> Dict[str, List[Any]]: ...

class Finding:
    code: str
    severity: str
    message: str
    fix: str
    where: Optional[List[float]]
    measure: Optional[float]
    limit: Optional[float]
    unit: Optional[str]
    area: Optional[float]
    size: Optional[List[float]]
    drain: Optional[Dict[str, Any]]
    vent: Optional[Dict[str, Any]]
    largest_hole: Optional[float]
    def to_dict(self) -> Dict[str, Any]: ...

class CheckResult:
    verdict: str
    profile: Dict[str, Any]
    findings: List[Finding]
    counts: Dict[str, int]
    thinnest_wall: Optional[float]
    ignored_tiny_cavities: int
    warnings: List[Dict[str, Any]]
    winding_fixed_faces: int
    voxel_size: float
    def to_dict(self) -> Dict[str, Any]: ...

@overload
def check(mesh: Mesh) -> List[Dict[str, Any]]: ...
@overload
def check(
    mesh: Mesh,
    printer: str,
    profile: None = None,
    *,
    up: Optional[str] = None,
    min_wall: Optional[float] = None,
    warn_wall: Optional[float] = None,
    drain: Optional[float] = None,
    resolution: int = 256,
    threads: Optional[int] = None,
    fix_winding: bool = False,
    progress: _Progress = None,
) -> CheckResult: ...
@overload
def check(
    mesh: Mesh,
    *,
    profile: Union[_Path, Dict[str, Any]],
    up: Optional[str] = None,
    min_wall: Optional[float] = None,
    warn_wall: Optional[float] = None,
    drain: Optional[float] = None,
    resolution: int = 256,
    threads: Optional[int] = None,
    fix_winding: bool = False,
    progress: _Progress = None,
) -> CheckResult: ...
def fix_winding(mesh: Mesh) -> Tuple[Mesh, int]: ...

class ReportSummary(_DictResult):
    version: str
    schema: int
    command: str
    mesh: str
    units: str
    triangles: int
    vertices: int
    warnings: List[Dict[str, Any]]
    info: Dict[str, Any]
    report: str
    seconds: float

def report(
    mesh: Mesh,
    path: _Path,
    *,
    min: float = 0.0,
    max: float = 2.0,
    samples: int = 31,
    min_thin_area: float = 1.0,
    thickness: bool = True,
    trapped: bool = True,
    resolution: int = 256,
    up: Optional[str] = None,
    printer: Optional[str] = None,
    profile: Optional[Union[_Path, Dict[str, Any]]] = None,
    min_volume: float = 0.0,
    drain_holes: float = 0.0,
    threads: Optional[int] = None,
    fix_winding: bool = False,
    name: Optional[str] = None,
    progress: _Progress = None,
) -> ReportSummary: ...
