// SPDX-License-Identifier: MIT
// meshprobe.thin_areas(): the tool's thin areas from a thickness array, with its result classes.
#include <array>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include "meshprobe/ThinAreas.h"
#include "python/src/ArrayMesh.h"
#include "python/src/Bindings.h"
#include "python/src/ToolLimits.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

struct PyThinArea {
    int id;
    py::array_t<std::uint32_t> faces;
    double area;
    float minThickness;
    std::uint32_t thinnestFace;
    float medianThickness;
    std::size_t facesBelowMin;
    std::array<double, 3> centroid;
    std::array<std::array<double, 3>, 2> bounds;
};

struct PyThinAreasResult {
    std::size_t thinFaces;
    std::size_t windowFaces;
    std::vector<PyThinArea> areas;
    std::size_t droppedAreas;
    std::size_t droppedFaces;
    std::size_t creaseAreas;
    std::size_t creaseFaces;
    /// None when no wall is thinner than max.
    std::optional<float> thinnest;
    std::optional<std::uint32_t> thinnestFace;
    std::optional<int> thinnestArea;
};

PyThinAreasResult thinAreasOf(ArrayMesh& mesh,
                              const py::array_t<float, py::array::c_style | py::array::forcecast>& values, float min,
                              float max, double minArea, bool joinWallSides, bool dropCreases)
{
    if (values.ndim() != 1) throw py::value_error("values must have shape (m,)");
    const std::vector<float> perFace(values.data(), values.data() + values.size());
    ThinAreaOptions options;
    options.min = min;
    options.max = max;
    requireAtMost("min_area", minArea, largestArea, "mm²");
    options.minArea = minArea;
    options.joinWallSides = joinWallSides;
    options.dropCreases = dropCreases;
    const MeshView view = mesh.view();
    ThinAreasResult result;
    {
        py::gil_scoped_release release;
        result = thinAreas(view, perFace, options);
    }
    PyThinAreasResult converted{
        result.thinFaces,   result.windowFaces, {},           result.droppedAreas, result.droppedFaces,
        result.creaseAreas, result.creaseFaces, std::nullopt, std::nullopt,        std::nullopt};
    if (result.thinnest.found) {
        converted.thinnest = result.thinnest.thickness;
        converted.thinnestFace = result.thinnest.face;
        converted.thinnestArea = result.thinnest.area;
    }
    for (ThinArea& area : result.areas) {
        const auto faceCount = static_cast<py::ssize_t>(area.faces.size());
        converted.areas.push_back({area.id, toArray(std::move(area.faces), {faceCount}), area.area, area.minThickness,
                                   area.thinnestFace, area.medianThickness, area.facesBelowMin, area.centroid,
                                   std::array<std::array<double, 3>, 2>{area.boundsMin, area.boundsMax}});
    }
    return converted;
}

} // namespace

void bindThinAreas(py::module_& module)
{
    py::class_<PyThinArea>(module, "ThinArea",
                           "A connected region of faces thinner than max: the two sides of a wall together.")
        .def_readonly("id", &PyThinArea::id, "1, 2, ... in the order of the areas kept (largest first).")
        .def_readonly("faces", &PyThinArea::faces,
                      "uint32 array of face indices: patch by patch, each seed first, then breadth first.")
        .def_readonly("area", &PyThinArea::area, "Surface of the faces, mm².")
        .def_readonly("min_thickness", &PyThinArea::minThickness, "Smallest value of its faces, mm.")
        .def_readonly("thinnest_face", &PyThinArea::thinnestFace, "The face with that value.")
        .def_readonly("median_thickness", &PyThinArea::medianThickness,
                      "Median value of its faces, mm (the lower middle value for an even count).")
        .def_readonly("faces_below_min", &PyThinArea::facesBelowMin, "Faces at or below the window's min.")

        .def_readonly("centroid", &PyThinArea::centroid, "Area-weighted centroid [x, y, z], mm.")
        .def_readonly("bounds", &PyThinArea::bounds, "[[min x, y, z], [max x, y, z]] of its faces' corners, mm.")
        .def("__repr__", [](const PyThinArea& area) {
            std::ostringstream text;
            text << "ThinArea(id=" << area.id << ", faces=" << area.faces.size() << ", area=" << area.area
                 << ", min_thickness=" << area.minThickness << ")";
            return text.str();
        });

    py::class_<PyThinAreasResult>(module, "ThinAreasResult", "The thin areas of a thickness array.")
        .def_readonly("thin_faces", &PyThinAreasResult::thinFaces, "Faces thinner than max (below min too).")
        .def_readonly("window_faces", &PyThinAreasResult::windowFaces, "Faces strictly inside the window.")
        .def_readonly("areas", &PyThinAreasResult::areas, "List of ThinArea of at least min_area, largest first.")
        .def_readonly("dropped_areas", &PyThinAreasResult::droppedAreas, "Areas below min_area, left out.")
        .def_readonly("dropped_faces", &PyThinAreasResult::droppedFaces, "Faces of those areas.")
        .def_readonly("crease_faces", &PyThinAreasResult::creaseFaces,
                      "Faces whose value is a crease reading (no wall explains it), in no area.")
        .def_readonly("crease_areas", &PyThinAreasResult::creaseAreas, "Edge-connected patches of those faces.")
        .def_readonly("thinnest", &PyThinAreasResult::thinnest,
                      "The thinnest wall of the areas kept, mm; None when no wall is thinner than max.")
        .def_readonly("thinnest_face", &PyThinAreasResult::thinnestFace, "Its face, or None.")
        .def_readonly("thinnest_area", &PyThinAreasResult::thinnestArea, "Its area's id, or None.")
        .def("__repr__", [](const PyThinAreasResult& result) {
            return "ThinAreasResult(thin_faces=" + std::to_string(result.thinFaces) +
                   ", areas=" + std::to_string(result.areas.size()) +
                   ", dropped_areas=" + std::to_string(result.droppedAreas) + ")";
        });

    module.def("thin_areas", &thinAreasOf, py::arg("mesh"), py::arg("values"), py::arg("min"), py::arg("max"),
               py::arg("min_area") = defaultMinThinArea, py::kw_only(), py::arg("join_wall_sides") = true,
               py::arg("drop_creases") = true,
               R"(Thin areas, as `meshprobe thickness` and the report list them.

mesh      a meshprobe.Mesh.
values    the thickness array of meshprobe.thickness(mesh, min, max, ...), one value per face.
min, max  the window the values were measured with, mm.
min_area  areas smaller than this, mm², are dropped and only counted (default 1; 0 keeps all).
join_wall_sides  join the two sides of a wall into one area (default True).
drop_creases     leave out crease readings, values no wall explains (default True).

A face is thin when its value is below max by more than 1e-4 mm, however far below min: the
rays start 2e-5 mm inside the surface, so a wall of exactly max measures a little less and is
not thin. Thin faces are grouped into edge-connected patches, and the patches on the two sides
of a wall into one area, each with its surface, minimum and median thickness and location. A
face whose value is a crease reading (no wall explains it: a ray that started beside a sharp
corner, or on the wrong side of the surface far from the origin) is in no area.
Raises meshprobe.InputError (a ValueError) for values of the wrong size or a bad window.)");
}

} // namespace meshprobe::python
