// SPDX-License-Identifier: MIT
// meshprobe.thin_areas(): the tool's thin areas from a thickness array, with its result classes.
#include <array>
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
    std::array<double, 3> centroid;
    std::array<std::array<double, 3>, 2> bounds;
};

struct PyThinAreasResult {
    std::size_t thinFaces;
    std::vector<PyThinArea> areas;
    std::size_t droppedAreas;
    std::size_t droppedFaces;
};

PyThinAreasResult thinAreasOf(ArrayMesh& mesh,
                              const py::array_t<float, py::array::c_style | py::array::forcecast>& values, float min,
                              float max, double minArea)
{
    if (values.ndim() != 1) throw py::value_error("values must have shape (m,)");
    const std::vector<float> perFace(values.data(), values.data() + values.size());
    ThinAreaOptions options;
    options.min = min;
    options.max = max;
    requireAtMost("min_area", minArea, largestArea, "mm²");
    options.minArea = minArea;
    const MeshView view = mesh.view();
    ThinAreasResult result;
    {
        py::gil_scoped_release release;
        result = thinAreas(view, perFace, options);
    }
    PyThinAreasResult converted{result.thinFaces, {}, result.droppedAreas, result.droppedFaces};
    for (ThinArea& area : result.areas) {
        const auto faceCount = static_cast<py::ssize_t>(area.faces.size());
        converted.areas.push_back({area.id, toArray(std::move(area.faces), {faceCount}), area.area, area.minThickness,
                                   area.thinnestFace, area.medianThickness, area.centroid,
                                   std::array<std::array<double, 3>, 2>{area.boundsMin, area.boundsMax}});
    }
    return converted;
}

} // namespace

void bindThinAreas(py::module_& module)
{
    py::class_<PyThinArea>(module, "ThinArea", "An edge-connected patch of faces inside the thickness window.")
        .def_readonly("id", &PyThinArea::id, "1, 2, ... in the order of the areas kept (largest first).")
        .def_readonly("faces", &PyThinArea::faces, "uint32 array of face indices: the seed first, then breadth first.")
        .def_readonly("area", &PyThinArea::area, "Surface of the faces, mm².")
        .def_readonly("min_thickness", &PyThinArea::minThickness, "Smallest value of its faces, mm.")
        .def_readonly("thinnest_face", &PyThinArea::thinnestFace, "The face with that value.")
        .def_readonly("median_thickness", &PyThinArea::medianThickness,
                      "Median value of its faces, mm (the lower middle value for an even count).")
        .def_readonly("centroid", &PyThinArea::centroid, "Area-weighted centroid [x, y, z], mm.")
        .def_readonly("bounds", &PyThinArea::bounds, "[[min x, y, z], [max x, y, z]] of its faces' corners, mm.")
        .def("__repr__", [](const PyThinArea& area) {
            std::ostringstream text;
            text << "ThinArea(id=" << area.id << ", faces=" << area.faces.size() << ", area=" << area.area
                 << ", min_thickness=" << area.minThickness << ")";
            return text.str();
        });

    py::class_<PyThinAreasResult>(module, "ThinAreasResult", "The thin areas of a thickness array.")
        .def_readonly("thin_faces", &PyThinAreasResult::thinFaces, "Faces inside the window, in all areas.")
        .def_readonly("areas", &PyThinAreasResult::areas, "List of ThinArea of at least min_area, largest first.")
        .def_readonly("dropped_areas", &PyThinAreasResult::droppedAreas, "Areas below min_area, left out.")
        .def_readonly("dropped_faces", &PyThinAreasResult::droppedFaces, "Faces of those areas.")
        .def("__repr__", [](const PyThinAreasResult& result) {
            return "ThinAreasResult(thin_faces=" + std::to_string(result.thinFaces) +
                   ", areas=" + std::to_string(result.areas.size()) +
                   ", dropped_areas=" + std::to_string(result.droppedAreas) + ")";
        });

    module.def("thin_areas", &thinAreasOf, py::arg("mesh"), py::arg("values"), py::arg("min"), py::arg("max"),
               py::arg("min_area") = defaultMinThinArea,
               R"(Thin areas, as `meshprobe thickness` and the report list them.

mesh      a meshprobe.Mesh.
values    the thickness array of meshprobe.thickness(mesh, min, max, ...), one value per face.
min, max  the window the values were measured with, mm.
min_area  areas smaller than this, mm², are dropped and only counted (default 1; 0 keeps all).

A face is thin when its value is above min and below max by more than 1e-4 mm: the rays start
2e-5 mm inside the surface, so a wall of exactly max measures a little less and is not thin.
Thin faces are grouped into edge-connected areas, each with its surface, minimum and median
thickness and location. Raises meshprobe.InputError (a ValueError) for values of the wrong size
or a bad window.)");
}

} // namespace meshprobe::python
