// SPDX-License-Identifier: MIT
// meshprobe.save() and meshprobe.thickness_colours(): meshes and colour files written like the tool's.
#include <filesystem>
#include <string>
#include <vector>

#include <pybind11/numpy.h>
#include <pybind11/stl/filesystem.h>

#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "meshprobe/ThicknessColours.h"
#include "meshprobe/ThinAreas.h"
#include "python/src/ArrayMesh.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

/// One RGBA colour per face from an (m, 3) or (m, 4) array-like of bytes (alpha 255 when absent).
std::vector<Rgba> faceColoursFrom(const py::object& colours, std::size_t faces)
{
    const auto array = py::array_t<std::uint8_t, py::array::c_style | py::array::forcecast>::ensure(colours);
    if (!array || array.ndim() != 2 || (array.shape(1) != 3 && array.shape(1) != 4) ||
        static_cast<std::size_t>(array.shape(0)) != faces)
        throw InputError("colours must have shape (" + std::to_string(faces) + ", 3) or (" + std::to_string(faces) +
                         ", 4): one colour per face");
    const auto channels = static_cast<std::size_t>(array.shape(1));
    const std::uint8_t* bytes = array.data();
    std::vector<Rgba> rgba(faces);
    for (std::size_t f = 0; f < faces; ++f)
        rgba[f] = {bytes[f * channels], bytes[f * channels + 1], bytes[f * channels + 2],
                   channels == 4 ? bytes[f * channels + 3] : std::uint8_t(255)};
    return rgba;
}

void save(const ArrayMesh& mesh, const std::filesystem::path& path, const py::object& colours, py::object progress)
{
    const std::string target = path.string();
    PythonProgress report(std::move(progress));
    if (colours.is_none()) {
        const std::string name = path.stem().string();
        withoutGil(report, [&] { writeMeshes(target, {{name, mesh.view()}}, {report.callback()}); });
        return;
    }
    const std::vector<Rgba> faceColours = faceColoursFrom(colours, mesh.triangleCount());
    withoutGil(report, [&] { writeColouredMesh(target, mesh.view(), faceColours, {report.callback()}); });
}

py::array_t<std::uint8_t> coloursOf(const py::array_t<float, py::array::c_style | py::array::forcecast>& values,
                                    float min, float max)
{
    if (values.ndim() != 1) throw InputError("values must be a one-dimensional array: one thickness per face");
    const std::vector<float> perFace(values.data(), values.data() + values.shape(0));
    // Faces that found no wall thinner than max are grey, as in the tool's colour files and the report.
    const std::vector<Rgba> rgba = thicknessColours(perFace, min, max, max - wallLimitTolerance, noWallColour);
    std::vector<std::uint8_t> bytes(4 * rgba.size());
    for (std::size_t f = 0; f < rgba.size(); ++f)
        for (std::size_t c = 0; c < 4; ++c)
            bytes[4 * f + c] = rgba[f][c];
    return readOnly(toArray(std::move(bytes), {static_cast<py::ssize_t>(rgba.size()), 4}));
}

} // namespace

void bindExport(py::module_& module)
{
    module.def("save", &save, py::arg("mesh"), py::arg("path"), py::kw_only(), py::arg("colours") = py::none(),
               py::arg("progress") = py::none(),
               R"(Writes a mesh to a file, atomically: a reader never sees a half-written file.

mesh      a Mesh.
path      the file; its extension chooses the format: .stl (binary), .ply, .obj, .3mf or .glb.
colours   optional (m, 3) or (m, 4) uint8 array-like, one sRGB colour per face (thickness_colours()
          gives the tool's): written as face colours in .ply, .3mf, .glb and .obj.
progress  optional callable progress(percent: float); returning False cancels (meshprobe.Cancelled).

Raises meshprobe.InputError for an unknown extension, a format without colours, a missing or
unwritable folder, or colours of the wrong shape.)");
    module.def("thickness_colours", &coloursOf, py::arg("values"), py::arg("min"), py::arg("max"),
               R"(The colour of every face from its thickness, as the tool's colour files and the report draw it.

values  one thickness per face (meshprobe.thickness()), mm.
min     the red end of the scale, mm.
max     the green end, mm; faces that found no wall thinner than max are grey (128, 128, 128).

Returns a read-only (m, 4) uint8 array of RGBA bytes, ready for save(mesh, path, colours=...).)");
}

} // namespace meshprobe::python
