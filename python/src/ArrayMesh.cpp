// SPDX-License-Identifier: MIT
// Converting array-likes into a mesh's own read-only arrays, with errors that name the expected shape.
#include "python/src/ArrayMesh.h"

#include <string>

namespace py = pybind11;

namespace meshprobe::python {

namespace {

std::string shapeText(const py::array& array)
{
    std::string text = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d)
        text += (d ? ", " : "") + std::to_string(array.shape(d));
    return text + (array.ndim() == 1 ? ",)" : ")");
}

/// numpy.asarray(values) with its shape checked against (rows, 3) and its dtype kind against `kinds`.
py::array asRows(const py::object& values, const char* name, const char* rows, const std::string& kinds,
                 const char* kindWords)
{
    const py::array array = py::module_::import("numpy").attr("asarray")(values);
    const char kind = array.dtype().kind();
    if (kinds.find(kind) == std::string::npos)
        throw py::type_error(std::string(name) + " must hold " + kindWords + ", got dtype " +
                             py::str(array.dtype()).cast<std::string>());
    if (array.ndim() != 2 || array.shape(1) != 3)
        throw py::value_error(std::string(name) + " must have shape (" + rows + ", 3), got " + shapeText(array));
    return array;
}

/// Copies `source` into a new vector of T, converting the dtype in the same pass (numpy.copyto).
template <typename T> std::vector<T> convertedCopy(const py::array& source)
{
    std::vector<T> values(static_cast<std::size_t>(source.size()));
    py::array_t<T> target({source.shape(0), py::ssize_t{3}}, values.data(), py::none());
    py::module_::import("numpy").attr("copyto")(target, source, py::arg("casting") = "unsafe");
    return values;
}

} // namespace

ArrayMesh::ArrayMesh(py::array_t<float> vertices, py::array_t<std::uint32_t> triangles)
    : vertexArray(readOnly(std::move(vertices))), triangleArray(readOnly(std::move(triangles)))
{
}

ArrayMesh ArrayMesh::fromArrays(const py::object& vertices, const py::object& triangles)
{
    const py::array vertexSource = asRows(vertices, "vertices", "n", "fiu", "floats or integers");
    const py::array triangleSource = asRows(triangles, "triangles", "m", "iu", "integers");
    const py::ssize_t vertexCount = vertexSource.shape(0);
    if (triangleSource.size() > 0) {
        // Checked before the conversion to uint32, which would wrap negative or huge indices silently.
        const py::int_ lowest(triangleSource.attr("min")());
        const py::int_ highest(triangleSource.attr("max")());
        if (lowest < py::int_(0))
            throw py::value_error("triangles must hold indices from 0, got " +
                                  std::string(py::str(py::handle(lowest))));
        if (py::int_(vertexCount) <= highest)
            throw py::value_error("triangles use vertex " + std::string(py::str(py::handle(highest))) +
                                  ", but there are " + std::to_string(vertexCount) + " vertices");
    }
    Mesh mesh{convertedCopy<float>(vertexSource), convertedCopy<std::uint32_t>(triangleSource)};
    validate(mesh); // non-finite coordinates
    return fromMesh(std::move(mesh));
}

ArrayMesh ArrayMesh::fromMesh(Mesh&& mesh)
{
    const auto vertexRows = static_cast<py::ssize_t>(mesh.vertexCount());
    const auto triangleRows = static_cast<py::ssize_t>(mesh.triangleCount());
    return ArrayMesh(toArray(std::move(mesh.vertices), {vertexRows, py::ssize_t{3}}),
                     toArray(std::move(mesh.triangles), {triangleRows, py::ssize_t{3}}));
}

MeshView ArrayMesh::view() const
{
    return {vertexArray.data(), vertexCount(), triangleArray.data(), triangleCount()};
}

const MeshInfo& ArrayMesh::info()
{
    if (!cachedInfo) {
        const MeshView mesh = view();
        MeshInfo measured;
        {
            py::gil_scoped_release release;
            measured = inspect(mesh);
        }
        // Stored with the GIL held: another thread may have measured meanwhile, with the same result.
        cachedInfo = measured;
    }
    return *cachedInfo;
}

} // namespace meshprobe::python
