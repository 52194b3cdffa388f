// SPDX-License-Identifier: MIT
// A mesh held in two read-only numpy arrays, the form meshprobe.Mesh takes in Python.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include "meshprobe/Inspect.h"
#include "meshprobe/Mesh.h"

namespace meshprobe::python {

/// Vertices as an (n, 3) float32 array and triangles as an (m, 3) uint32 array, both C-contiguous, owned by
/// this object and read-only, so that a call may read them through a MeshView without the GIL.
class ArrayMesh {
public:
    /// Converts array-likes of any integer or floating dtype once into the mesh's own arrays and validates
    /// the result. ValueError for a wrong shape or an index out of range, TypeError for another dtype.
    static ArrayMesh fromArrays(const pybind11::object& vertices, const pybind11::object& triangles);

    /// Takes over the arrays of a toolkit mesh without copying them.
    static ArrayMesh fromMesh(Mesh&& mesh);

    const pybind11::array_t<float>& vertices() const { return vertexArray; }
    const pybind11::array_t<std::uint32_t>& triangles() const { return triangleArray; }
    std::size_t vertexCount() const { return static_cast<std::size_t>(vertexArray.shape(0)); }
    std::size_t triangleCount() const { return static_cast<std::size_t>(triangleArray.shape(0)); }
    MeshView view() const;

    /// Size and health, measured on first use and kept (the arrays cannot change).
    const MeshInfo& info();

private:
    ArrayMesh(pybind11::array_t<float> vertices, pybind11::array_t<std::uint32_t> triangles);

    pybind11::array_t<float> vertexArray;
    pybind11::array_t<std::uint32_t> triangleArray;
    std::optional<MeshInfo> cachedInfo;
};

/// A numpy array that takes over a vector's memory (no copy), shaped `shape`. The array keeps the memory
/// alive for as long as it or any view of it lives.
template <typename T> pybind11::array_t<T> toArray(std::vector<T>&& values, std::vector<pybind11::ssize_t> shape)
{
    auto* owned = new std::vector<T>(std::move(values));
    pybind11::capsule release(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return pybind11::array_t<T>(std::move(shape), owned->data(), release);
}

/// Marks an array read-only. Arrays over memory taken from a vector cannot be made writable again.
template <typename T> pybind11::array_t<T> readOnly(pybind11::array_t<T> array)
{
    array.attr("flags").attr("writeable") = false;
    return array;
}

} // namespace meshprobe::python
