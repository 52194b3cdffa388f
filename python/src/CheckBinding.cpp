// SPDX-License-Identifier: MIT
// meshprobe._check(): the printability verdict for a printer kind or a profile. It returns the JSON text of
// `meshprobe check --json` (the verdict's keys, "warnings" and "winding_fixed_faces"), written by the same
// code as the tool's, so that the typed result the package builds from it has the tool's keys exactly.
#include <optional>
#include <string>

#include <nlohmann/json.hpp>
#include <pybind11/stl.h>

#include "meshprobe/Error.h"
#include "meshprobe/Check.h"
#include "meshprobe/Profile.h"
#include "python/src/ArrayMesh.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"
#include "python/src/ToolLimits.h"
#include "toolkit/json/ResultJson.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

Profile chosenProfile(const std::optional<std::string>& printer, const std::optional<std::string>& profileText,
                      const std::string& profileSource)
{
    if (printer && profileText) throw InputError("give printer or profile, not both");
    if (printer) return builtinProfile(*printer);
    if (profileText) return parseProfile(*profileText, profileSource);
    throw InputError("give printer (a kind such as 'powder') or profile (a file or a dict)");
}

std::string checkJson(ArrayMesh& mesh, const std::optional<std::string>& printer,
                      const std::optional<std::string>& profileText, const std::string& profileSource,
                      const std::optional<std::string>& up, std::optional<double> minWall,
                      std::optional<double> warnWall, std::optional<double> drain, int resolution,
                      std::optional<int> threads, bool fixWinding, py::object progress)
{
    ProfileOverrides overrides;
    if (up) overrides.up = parseDirection(*up);
    overrides.minWall = minWall;
    overrides.recommendedWall = warnWall;
    overrides.drainDiameter = drain;
    const Profile profile = overridden(chosenProfile(printer, profileText, profileSource), overrides);
    CheckOptions options;
    options.resolution = resolution;
    options.threads = threadCount(threads);
    options.fixWinding = fixWinding;
    PythonProgress report(std::move(progress));
    options.progress = report.callback();
    const MeshView view = mesh.view();
    const CheckResult result = withoutGil(report, [&] { return check(view, profile, options); });

    nlohmann::ordered_json out;
    json::addCheckJson(out, result, profile);
    out["warnings"] = json::warningsJson(result.meshWarnings);
    out["winding_fixed_faces"] = result.flippedFaces;
    out["voxel_size"] = result.voxelSize;
    return json::dumpJson(out);
}

} // namespace

void bindCheck(py::module_& module)
{
    module.def("_check", &checkJson, py::arg("mesh"), py::arg("printer"), py::arg("profile_text"),
               py::arg("profile_source"), py::arg("up"), py::arg("min_wall"), py::arg("warn_wall"), py::arg("drain"),
               py::arg("resolution"), py::arg("threads"), py::arg("fix_winding"), py::arg("progress"),
               "The verdict as the JSON text of `meshprobe check --json`; meshprobe.check() wraps it.");
}

} // namespace meshprobe::python
