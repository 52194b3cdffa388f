// SPDX-License-Identifier: MIT
// meshprobe.Mesh, meshprobe.MeshInfo and meshprobe.load().
#include <filesystem>
#include <sstream>

#include <pybind11/stl/filesystem.h>

#include "meshprobe/Error.h"
#include "meshprobe/Import.h"
#include "python/src/ArrayMesh.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

py::array_t<float> boundsArray(const MeshInfo& info)
{
    std::vector<float> corners(info.boundsMin.begin(), info.boundsMin.end());
    corners.insert(corners.end(), info.boundsMax.begin(), info.boundsMax.end());
    return toArray(std::move(corners), {2, 3});
}

std::string infoRepr(const MeshInfo& info)
{
    std::ostringstream text;
    text << "MeshInfo(vertices=" << info.vertexCount << ", triangles=" << info.triangleCount
         << ", watertight=" << (info.watertight ? "True" : "False") << ", border_edges=" << info.borderEdges
         << ", nonmanifold_edges=" << info.nonManifoldEdges << ", bad_edges=" << info.badEdges << ", area=" << info.area
         << ", volume=" << info.volume << ")";
    return text.str();
}

ArrayMesh load(const std::filesystem::path& path, py::object progress, const std::string& units)
{
    // The tool's --units takes these four; refusing others here keeps the two alike.
    if (units != "mm" && units != "cm" && units != "m" && units != "in")
        throw InputError("units '" + units + "' is not one of mm, cm, m, in");
    PythonProgress report(std::move(progress));
    Mesh mesh = withoutGil(report, [&] { return loadMesh(path.string(), {report.callback(), units}); });
    return ArrayMesh::fromMesh(std::move(mesh));
}

} // namespace

void bindMesh(py::module_& module)
{
    py::class_<MeshInfo>(module, "MeshInfo", "Size and health of a mesh, as `meshprobe info` reports them.")
        .def_readonly("vertex_count", &MeshInfo::vertexCount)
        .def_readonly("triangle_count", &MeshInfo::triangleCount)
        .def_property_readonly("bounds", &boundsArray,
                               "Smallest and largest vertex coordinates, mm: float32 array [[minx, miny, minz], "
                               "[maxx, maxy, maxz]] (zeros for a mesh without vertices).")
        .def_readonly("border_edges", &MeshInfo::borderEdges, "Edges used by one face only.")
        .def_readonly("nonmanifold_edges", &MeshInfo::nonManifoldEdges, "Edges shared by three or more faces.")
        .def_readonly("bad_edges", &MeshInfo::badEdges,
                      "Edges whose two faces run them in the same direction (inconsistent winding).")
        .def_readonly("watertight", &MeshInfo::watertight, "No border and no non-manifold edge.")
        .def_readonly("area", &MeshInfo::area, "Total triangle area, mm².")
        .def_readonly("volume", &MeshInfo::volume,
                      "Signed enclosed volume, mm³: exact for a closed, consistently wound mesh, an estimate "
                      "otherwise.")
        .def_readonly("inside_out", &MeshInfo::insideOut,
                      "The signed volume is negative: the faces are wound inside out (fix_winding repairs it).")
        .def("__repr__", &infoRepr);

    py::class_<ArrayMesh>(module, "Mesh", R"(A triangle mesh: vertex coordinates and triangles as numpy arrays.

Mesh(vertices, triangles)

vertices   (n, 3) array-like of floats or integers: x, y, z of each vertex, mm.
triangles  (m, 3) array-like of integers: three vertex indices per triangle, counter-clockwise
           seen from outside; every per-face result is indexed by this order.

Both are converted once into the mesh's own read-only arrays (float32 and uint32), so later changes
to the inputs do not affect the mesh. Raises ValueError for a wrong shape, an index below 0 or not
below n, or a coordinate that is NaN or infinite (meshprobe.InputError, also a ValueError), and
TypeError for any other dtype.)")
        .def(py::init(&ArrayMesh::fromArrays), py::arg("vertices"), py::arg("triangles"))
        .def_property_readonly("vertices", &ArrayMesh::vertices,
                               "(n, 3) float32 array of the coordinates, mm; read-only.")
        .def_property_readonly("triangles", &ArrayMesh::triangles, "(m, 3) uint32 array of vertex indices; read-only.")
        .def_property_readonly("vertex_count", &ArrayMesh::vertexCount, "Number of vertices, n.")
        .def_property_readonly("triangle_count", &ArrayMesh::triangleCount, "Number of triangles (faces), m.")
        .def("inspect", &ArrayMesh::info, py::return_value_policy::copy,
             "Size and health of the mesh (a MeshInfo): bounds, edge defects, area and volume. Measured on "
             "first use, then kept.")
        .def_property_readonly(
            "bounds", [](ArrayMesh& mesh) { return boundsArray(mesh.info()); },
            "[[minx, miny, minz], [maxx, maxy, maxz]], mm (float32).")
        .def_property_readonly(
            "is_watertight", [](ArrayMesh& mesh) { return mesh.info().watertight; },
            "No border and no non-manifold edge.")
        .def_property_readonly(
            "area", [](ArrayMesh& mesh) { return mesh.info().area; }, "Total triangle area, mm².")
        .def_property_readonly(
            "volume", [](ArrayMesh& mesh) { return mesh.info().volume; }, "Signed enclosed volume, mm³.")
        .def("__repr__", [](const ArrayMesh& mesh) {
            return "Mesh(vertices=" + std::to_string(mesh.vertexCount()) +
                   ", triangles=" + std::to_string(mesh.triangleCount()) + ")";
        });

    module.def("load", &load, py::arg("path"), py::arg("progress") = py::none(), py::kw_only(), py::arg("units") = "mm",
               R"(Reads a mesh file into a Mesh.

path      the file: binary and ASCII STL, OBJ, PLY, OFF, 3MF, glTF and the other formats Assimp
          reads, chosen by the extension (a str or os.PathLike).
progress  optional callable progress(percent: float); returning False cancels (meshprobe.Cancelled).
units     keyword only: the length unit of formats without one (STL, OBJ, PLY, OFF, ...): "mm", "cm",
          "m" or "in", like the tool's --units; 3MF files declare their own, which is applied instead.

All meshes of the file are merged in file order with node transforms applied; triangles keep their
order and winding; identical vertices are welded. Coordinates are scaled to millimetres.
Raises meshprobe.InputError (a ValueError) naming the file for a missing, empty, truncated or
unreadable file, an unknown extension, no triangles, or NaN coordinates. Ctrl-C raises
KeyboardInterrupt. The GIL is released while the file is read.)");
}

} // namespace meshprobe::python
