// SPDX-License-Identifier: MIT
// meshprobe.thickness(), thickness_histogram(), trapped() and areas(), with their result classes.
#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <pybind11/stl.h>

#include "meshprobe/Orientation.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/TrappedVolumes.h"
#include "python/src/ArrayMesh.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"
#include "python/src/ToolLimits.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

/// A cavity with its surface as a Mesh.
struct PyCavity {
    std::string name;
    long long voxels;
    float volume;
    std::size_t triangleCount;
    std::optional<ArrayMesh> mesh;
};

struct PyTrappedResult {
    int resolution;
    std::string up;
    int threads;
    double voxelSize;
    long long trappedVoxels;
    float trappedVolume;
    std::vector<PyCavity> cavities;
};

struct PyArea {
    int id;
    std::string name;
    py::array_t<std::uint32_t> faces;
    std::vector<py::array_t<std::uint32_t>> loops;
    double area;
};

struct PyAreasResult {
    std::size_t selectedFaces;
    std::vector<PyArea> areas;
};

py::array_t<float> thicknessPerFace(ArrayMesh& mesh, float min, float max, int samples, std::optional<int> threads,
                                    py::object progress)
{
    requireAtMost("min", min, largestLength, "mm");
    requireAtMost("max", max, largestLength, "mm");
    if (samples < 0) throw InputError("samples must be 0 or more, got " + std::to_string(samples));
    ThicknessOptions options;
    options.min = min;
    options.max = max;
    options.samples = samples;
    options.threads = threadCount(threads);
    PythonProgress report(std::move(progress));
    options.progress = report.callback();
    const MeshView view = mesh.view();
    ThicknessResult result = withoutGil(report, [&] { return thickness(view, options); });
    const auto faces = static_cast<py::ssize_t>(result.perFace.size());
    return toArray(std::move(result.perFace), {faces});
}

py::tuple histogram(const py::array_t<float, py::array::c_style | py::array::forcecast>& values, float min, float max,
                    int bins)
{
    if (bins < 1) throw py::value_error("bins must be at least 1, got " + std::to_string(bins));
    if (values.ndim() != 1) throw py::value_error("values must have shape (m,)");
    const std::vector<float> perFace(values.data(), values.data() + values.size());
    const std::vector<HistogramBin> counted = thicknessHistogram(perFace, min, max, bins);
    std::vector<long long> counts;
    std::vector<double> edges{counted.front().from};
    for (const HistogramBin& bin : counted) {
        counts.push_back(static_cast<long long>(bin.faces));
        edges.push_back(bin.to);
    }
    const auto binCount = static_cast<py::ssize_t>(counts.size());
    return py::make_tuple(toArray(std::move(counts), {binCount}), toArray(std::move(edges), {binCount + 1}));
}

/// The axis `up` names, written as "-z" or as a vector along it ("0,0,-1"): trapped() analyses along the six
/// axes; other directions have their own call.
BuildDirection trappedAxis(const std::string& up)
{
    const std::vector<std::string>& axes = buildDirectionNames();
    if (std::find(axes.begin(), axes.end(), up) != axes.end()) return parseBuildDirection(up);
    Direction vector;
    try {
        vector = parseDirection(up);
    } catch (const InputError&) {
        return parseBuildDirection(up); // refuses it, naming the axes
    }
    const std::string axis = formatDirection(vector);
    if (std::find(axes.begin(), axes.end(), axis) == axes.end())
        throw InputError("trapped() analyses along an axis (+z, -z, +x, -x, +y or -y), not '" + up +
                         "': cavities(mesh, up=...) takes any direction");
    return parseBuildDirection(axis);
}

PyTrappedResult trapped(ArrayMesh& mesh, int resolution, const std::string& up, std::optional<int> threads,
                        bool cavityMeshes, py::object progress)
{
    TrappedOptions options;
    options.resolution = resolution;
    options.up = trappedAxis(up);
    options.threads = threadCount(threads);
    options.cavityMeshes = cavityMeshes;
    PythonProgress report(std::move(progress));
    options.progress = report.callback();
    const MeshView view = mesh.view();
    TrappedResult result = withoutGil(report, [&] { return trappedVolumes(view, options); });

    PyTrappedResult converted{result.resolution,
                              toString(result.up),
                              result.threads,
                              result.voxelSize,
                              result.trappedVoxels,
                              result.trappedVolume,
                              {}};
    for (Cavity& cavity : result.cavities) {
        std::optional<ArrayMesh> surface;
        if (cavityMeshes) surface = ArrayMesh::fromMesh(std::move(cavity.mesh));
        converted.cavities.push_back(
            {cavity.name, cavity.voxels, cavity.volume, cavity.triangleCount, std::move(surface)});
    }
    return converted;
}

/// Face indices from a list of indices or a boolean mask with one entry per face.
std::vector<std::uint32_t> selectedFaces(const ArrayMesh& mesh, const py::object& faces)
{
    py::array array = py::module_::import("numpy").attr("asarray")(faces);
    if (array.ndim() != 1 && array.size() != 0)
        throw py::value_error("faces must be a list of face indices or a boolean mask of shape (m,)");
    if (array.dtype().kind() == 'b') {
        if (static_cast<std::size_t>(array.size()) != mesh.triangleCount())
            throw py::value_error("a boolean face mask must have shape (" + std::to_string(mesh.triangleCount()) +
                                  ",), got (" + std::to_string(array.size()) + ",)");
        array = py::module_::import("numpy").attr("flatnonzero")(array);
    } else if (array.size() != 0 && std::string("iu").find(array.dtype().kind()) == std::string::npos) {
        throw py::type_error("faces must hold integers or booleans, got dtype " +
                             py::str(array.dtype()).cast<std::string>());
    }
    std::vector<std::uint32_t> indices;
    indices.reserve(static_cast<std::size_t>(array.size()));
    for (const py::handle index : array.attr("tolist")()) {
        const long long face = index.cast<long long>();
        if (face < 0 || static_cast<unsigned long long>(face) >= mesh.triangleCount())
            throw py::value_error("face " + std::to_string(face) + " does not exist: the mesh has " +
                                  std::to_string(mesh.triangleCount()) + " faces");
        indices.push_back(static_cast<std::uint32_t>(face));
    }
    return indices;
}

PyAreasResult areas(ArrayMesh& mesh, const py::object& faces, const std::string& label)
{
    const std::vector<std::uint32_t> selection = selectedFaces(mesh, faces);
    const MeshView view = mesh.view();
    MarkingAreasResult result;
    {
        py::gil_scoped_release release;
        result = markingAreas(view, selection, label);
    }
    PyAreasResult converted{result.selectedFaces, {}};
    for (MarkingArea& area : result.areas) {
        const auto faceCount = static_cast<py::ssize_t>(area.faces.size());
        PyArea out{area.id, area.name, toArray(std::move(area.faces), {faceCount}), {}, area.area};
        for (std::vector<std::uint32_t>& loop : area.loops) {
            const auto length = static_cast<py::ssize_t>(loop.size());
            out.loops.push_back(toArray(std::move(loop), {length}));
        }
        converted.areas.push_back(std::move(out));
    }
    return converted;
}

std::string cavityRepr(const PyCavity& cavity)
{
    std::ostringstream text;
    text << "Cavity(name='" << cavity.name << "', voxels=" << cavity.voxels << ", volume=" << cavity.volume
         << ", triangles=" << cavity.triangleCount << ")";
    return text.str();
}

std::string trappedRepr(const PyTrappedResult& result)
{
    std::ostringstream text;
    text << "TrappedResult(resolution=" << result.resolution << ", up='" << result.up
         << "', voxel_size=" << result.voxelSize << ", trapped_voxels=" << result.trappedVoxels
         << ", trapped_volume=" << result.trappedVolume << ", cavities=" << result.cavities.size() << ")";
    return text.str();
}

} // namespace

void bindAnalyses(py::module_& module)
{
    module.def("thickness", &thicknessPerFace, py::arg("mesh"), py::arg("min"), py::arg("max"), py::arg("samples") = 31,
               py::arg("threads") = py::none(), py::arg("progress") = py::none(),
               R"(Wall thickness of every face, mm: a float32 array with one value per face in face order.

mesh      a meshprobe.Mesh, faces wound counter-clockwise seen from outside.
min, max  the thickness window, mm, 0 <= min <= max; max is also how far the rays look, and faces
          with no wall closer than max get max.
samples   rays per face: 0 none, 1..31 spread over the face (default 31), 32 or more one ray from
          the centroid.
threads   worker threads for the rays, at least 1; None uses all cores. The values do not depend on it.
progress  optional callable progress(percent: float); returning False cancels (meshprobe.Cancelled).

Rays are cast from each face into the solid along its inward normal; the nearest other face,
corrected for the angle between the two, gives the thickness. The values are bit for bit those of
the C++ call and of `meshprobe thickness --per-face`. Faces strictly inside the window are the
selected ones: numpy.flatnonzero((t > min) & (t < max)).
Raises meshprobe.InputError (a ValueError) for a bad window, samples or threads, as the tool refuses them. Runs
with the GIL released; Ctrl-C raises KeyboardInterrupt.)");

    module.def("thickness_histogram", &histogram, py::arg("values"), py::arg("min"), py::arg("max"),
               py::arg("bins") = 10,
               R"(Counts per-face thickness values over a window, in the bins of `meshprobe thickness`.

Returns (counts, edges) like numpy.histogram: counts has bins + 1 entries, edges bins + 2. The first
bin [0, min] holds the faces at or below min; then `bins` equal bins [from, to) split the open
window (min, max) and together hold exactly the selected faces. Faces at max are not counted.
The values are counted as given: the tool first counts a value within 1e-4 mm of max as at
max (a wall of exactly max is not thin), as thin_areas() does.)");

    py::class_<PyCavity>(module, "Cavity", "One connected region of trapped air.")
        .def_readonly("name", &PyCavity::name,
                      "'Closed' (sealed on all sides) or 'Open' (touches the box's edge or air that opens upward).")
        .def_readonly("voxels", &PyCavity::voxels, "Voxels of the cavity.")
        .def_readonly("volume", &PyCavity::volume, "Volume, mm³ (single precision, as the library computes it).")
        .def_readonly("triangle_count", &PyCavity::triangleCount, "Triangles of the cavity's surface.")
        .def_readonly("mesh", &PyCavity::mesh,
                      "The cavity's surface as a Mesh in the model's frame, mm (one upright triangle per "
                      "vertical run of voxels, vertices not welded); None when cavity_meshes was False.")
        .def("__repr__", &cavityRepr);

    py::class_<PyTrappedResult>(module, "TrappedResult", "Trapped air of a part printed in a build direction.")
        .def_readonly("resolution", &PyTrappedResult::resolution, "Voxels along the longest side of the box.")
        .def_readonly("up", &PyTrappedResult::up, "The build direction: '+z', '-z', '+x', '-x', '+y' or '-y'.")
        .def_readonly("threads", &PyTrappedResult::threads, "Worker threads the call used.")
        .def_readonly("voxel_size", &PyTrappedResult::voxelSize, "Edge of one voxel, mm.")
        .def_readonly("trapped_voxels", &PyTrappedResult::trappedVoxels, "Sum of the cavities' voxels.")
        .def_readonly("trapped_volume", &PyTrappedResult::trappedVolume, "Sum of the cavities' volumes, mm³.")
        .def_readonly("cavities", &PyTrappedResult::cavities, "List of Cavity, by lowest layer, then x, then y.")
        .def("__repr__", &trappedRepr);

    module.def("trapped", &trapped, py::arg("mesh"), py::arg("resolution") = 256, py::arg("up") = "+z",
               py::arg("threads") = py::none(), py::arg("cavity_meshes") = true, py::arg("progress") = py::none(),
               R"(Trapped volumes: air that cannot drain when the part is printed with `up` pointing up.

mesh           a meshprobe.Mesh.
resolution     voxels along the longest side of the part's box, 1..1290; memory grows with
               resolution**3 (about 0.8 GB at 1290).
up             the model axis that points up while printing: '+z', '-z', '+x', '-x', '+y', '-y', or
               a vector along one ('0,0,-1'); for any other direction use cavities().
threads        worker threads, at least 1; None uses all cores.
cavity_meshes  build each cavity's surface (Cavity.mesh); False lists the cavities only.
progress       optional callable progress(percent: float); returning False cancels
               (meshprobe.Cancelled).

Returns a TrappedResult whose cavities are the sealed voids ('Closed') and the pockets that open
only upward or at the part's edge ('Open'). Raises meshprobe.InputError (a ValueError) for an
option out of range, meshprobe.Error when the grid does not fit in memory. The GIL is released
during the call; Ctrl-C raises KeyboardInterrupt.)");

    py::class_<PyArea>(module, "MarkingArea", "An edge-connected patch of selected faces.")
        .def_readonly("id", &PyArea::id, "1, 2, ... within one call.")
        .def_readonly("name", &PyArea::name, "The label given to the call.")
        .def_readonly("faces", &PyArea::faces, "uint32 array of face indices: the seed first, then breadth first.")
        .def_readonly("loops", &PyArea::loops,
                      "List of uint32 arrays of vertex indices, closed loops bounding the patch; each loop's "
                      "last entry repeats its first.")
        .def_readonly("area", &PyArea::area, "Surface area of the patch, mm².")
        .def("__repr__", [](const PyArea& area) {
            std::ostringstream text;
            text << "MarkingArea(id=" << area.id << ", name='" << area.name << "', faces=" << area.faces.size()
                 << ", loops=" << area.loops.size() << ", area=" << area.area << ")";
            return text.str();
        });

    py::class_<PyAreasResult>(module, "AreasResult", "Marking areas of a face selection.")
        .def_readonly("selected_faces", &PyAreasResult::selectedFaces, "Distinct faces selected.")
        .def_readonly("areas", &PyAreasResult::areas, "List of MarkingArea.")
        .def("__repr__", [](const PyAreasResult& result) {
            return "AreasResult(selected_faces=" + std::to_string(result.selectedFaces) +
                   ", areas=" + std::to_string(result.areas.size()) + ")";
        });

    module.def("areas", &areas, py::arg("mesh"), py::arg("faces"), py::arg("label") = "area",
               R"(Marking areas: the selected faces grouped into labelled, edge-connected patches.

mesh   a meshprobe.Mesh.
faces  face indices (any integer array-like; repeats count once, order does not matter) or a
       boolean mask with one entry per face, e.g. (t > 0.5) & (t < 1.5) for a thickness array t.
label  the name of every area.

Returns an AreasResult with each area's faces and boundary loops. Raises ValueError for an index
that does not exist.)");
}

} // namespace meshprobe::python
