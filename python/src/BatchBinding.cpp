// SPDX-License-Identifier: MIT
// batch_record() and collect_mesh_files(): the tool's per-part batch job, for the Python batch runners.
#include <filesystem>
#include <optional>
#include <utility>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "meshprobe/Batch.h"
#include "meshprobe/Profile.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

/// The check's profile: a printer kind, or a profile file's text (read once by the caller, so that workers
/// need not see the file).
std::optional<BatchCheck> checkOf(const std::optional<std::string>& printer,
                                  const std::optional<std::string>& profileText, const std::string& profileSource,
                                  int resolution, int threads)
{
    if (printer && profileText) throw py::value_error("give printer or profile, not both");
    if (printer) return BatchCheck{builtinProfile(*printer), resolution, threads};
    if (profileText) return BatchCheck{parseProfile(*profileText, profileSource), resolution, threads};
    return std::nullopt;
}

std::string record(const std::filesystem::path& path, bool trapped, int resolution, const std::string& up, int threads,
                   std::optional<std::pair<float, float>> thickness, int samples,
                   const std::optional<std::string>& printer, const std::optional<std::string>& profileText,
                   const std::string& profileSource, bool fixWinding, py::object progress)
{
    BatchOptions options;
    options.check = checkOf(printer, profileText, profileSource, resolution, threads);
    options.fixWinding = fixWinding;
    if (trapped) options.trapped = BatchTrapped{resolution, parseBuildDirection(up), threads};
    if (thickness) options.thickness = BatchThickness{thickness->first, thickness->second, samples};
    PythonProgress report(std::move(progress));
    options.progress = report.callback();
    return withoutGil(report, [&] { return batchRecord(path.string(), options).json; });
}

} // namespace

void bindBatch(py::module_& module)
{
    module.def("batch_record", &record, py::arg("path"), py::arg("trapped") = false, py::arg("resolution") = 256,
               py::arg("up") = "+z", py::arg("threads") = 1, py::arg("thickness") = py::none(), py::arg("samples") = 31,
               py::arg("printer") = py::none(), py::arg("profile_text") = py::none(),
               py::arg("profile_source") = "profile", py::arg("fix_winding") = false, py::arg("progress") = py::none(),
               R"(One part of a batch: the JSON record `meshprobe batch` writes for it, as a str on one line.

path        the mesh file.
trapped     also run the trapped-volume analysis with resolution, up and threads (per part).
thickness   None, or (min, max) in mm to run the thickness analysis with `samples` rays per face.
printer     a printer kind, or profile_text a profile file's JSON text (named profile_source in errors):
            also check the part, with resolution and threads, as `meshprobe batch --printer/--profile`.
fix_winding repair the winding before the analyses.

A part that cannot be read or analysed gives a record with "ok": false and its "error"; only
cancellation (progress returning False: meshprobe.Cancelled; Ctrl-C: KeyboardInterrupt) raises.)");

    module.def(
        "collect_mesh_files",
        [](const std::vector<std::filesystem::path>& paths) {
            std::vector<std::string> names;
            for (const std::filesystem::path& path : paths)
                names.push_back(path.string());
            return collectMeshFiles(names);
        },
        py::arg("paths"),
        R"(The mesh files of a batch, as `meshprobe batch` finds them: files kept as given, folders walked
recursively for the extensions meshprobe.load reads, each folder's files sorted.)");
}

} // namespace meshprobe::python
