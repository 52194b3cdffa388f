// SPDX-License-Identifier: MIT
// meshprobe._report(): the tool's HTML report of one mesh, built by the report library the tool uses, with the
// tool's options and rules. It returns the page's JSON summary as text; meshprobe.report() wraps it.
#include <filesystem>
#include <optional>
#include <string>

#include <pybind11/stl.h>

#include "meshprobe/Error.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Profile.h"
#include "python/src/ArrayMesh.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"
#include "python/src/ToolLimits.h"
#include "report/ReportContent.h"
#include "toolkit/json/ResultJson.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

/// The process the page judges the part for, and the build direction: as `meshprobe report` chooses them
/// from --up, --printer and --profile.
void chooseProcess(report::ReportSettings& settings, const std::optional<std::string>& up,
                   const std::optional<std::string>& printer, const std::optional<std::string>& profileText,
                   const std::string& profileSource)
{
    if (up && printer) throw InputError("give up or printer, not both");
    if (printer && profileText) throw InputError("give printer or profile, not both");
    // A chosen direction is where the page opens, as the tool's --up, --printer and --profile do.
    settings.orientation.upChosen = up || printer || profileText;
    if (printer) {
        settings.profile = builtinProfile(*printer);
        settings.cavities.up = printerPreset(*printer).up;
        return;
    }
    settings.cavities.up = parseDirection(up.value_or("+z"));
    if (!profileText) return;
    settings.profile = parseProfile(*profileText, profileSource);
    if (up)
        settings.profile->up = settings.cavities.up;
    else
        settings.cavities.up = settings.profile->up;
}

std::string reportJson(ArrayMesh& mesh, const std::string& path, float min, float max, int samples, double minThinArea,
                       bool thickness, bool trapped, int resolution, const std::optional<std::string>& up,
                       const std::optional<std::string>& printer, const std::optional<std::string>& profileText,
                       const std::string& profileSource, double minVolume, double drainHoles,
                       std::optional<int> threads, bool fixWinding, const std::optional<std::string>& name,
                       py::object progress)
{
    requireAtMost("min", min, largestLength, "mm");
    requireAtMost("max", max, largestLength, "mm");
    requireAtMost("min_thin_area", minThinArea, largestArea, "mm²");
    requireAtMost("min_volume", minVolume, largestVolume, "mm³");
    requireAtMost("drain_holes", drainHoles, largestLength, "mm");
    if (samples < 0) throw InputError("samples must be 0 or more, got " + std::to_string(samples));
    if (!(min <= max)) throw InputError("min " + std::to_string(min) + " is greater than max " + std::to_string(max));
    if (!trapped && drainHoles > 0)
        throw InputError("drain_holes needs the trapped volumes that trapped=False leaves out");

    report::ReportSettings settings;
    settings.meshName = name ? *name : std::filesystem::path(path).stem().string();
    settings.thickness = thickness;
    settings.min = min;
    settings.max = max;
    settings.samples = samples;
    settings.minThinArea = minThinArea;
    settings.trapped = trapped;
    settings.cavities.resolution = resolution;
    settings.cavities.threads = threadCount(threads);
    settings.cavities.minVolume = minVolume;
    settings.cavities.drainHoleDiameter = drainHoles;
    chooseProcess(settings, up, printer, profileText, profileSource);

    PythonProgress report(std::move(progress));
    const ProgressCallback callback = report.callback();
    // One callable for the whole report: each stage fills its part of 0..100.
    settings.progress = [callback](const std::string&, int from, int to) -> ProgressCallback {
        return [callback, from, to](float percent) { return callback(from + percent * float(to - from) / 100.0f); };
    };
    const MeshView view = mesh.view();
    const report::ReportContent content = withoutGil(report, [&] {
        Mesh part{std::vector<float>(view.vertices, view.vertices + 3 * view.vertexCount),
                  std::vector<std::uint32_t>(view.triangles, view.triangles + 3 * view.triangleCount)};
        if (fixWinding) {
            WindingFix fix = meshprobe::fixWinding(part);
            settings.windingFixedFaces = fix.flippedFaces;
            part = std::move(fix.mesh);
        }
        settings.meshWarnings = checkMesh(part);
        return report::writeReportFile(part, path, settings);
    });
    return json::dumpJson(content.data.summary);
}

} // namespace

void bindReport(py::module_& module)
{
    module.def("_report", &reportJson, py::arg("mesh"), py::arg("path"), py::arg("min"), py::arg("max"),
               py::arg("samples"), py::arg("min_thin_area"), py::arg("thickness"), py::arg("trapped"),
               py::arg("resolution"), py::arg("up"), py::arg("printer"), py::arg("profile_text"),
               py::arg("profile_source"), py::arg("min_volume"), py::arg("drain_holes"), py::arg("threads"),
               py::arg("fix_winding"), py::arg("name"), py::arg("progress"),
               "Writes the HTML report and returns its JSON summary as text; meshprobe.report() wraps it.");
}

} // namespace meshprobe::python
