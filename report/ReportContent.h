// SPDX-License-Identifier: MIT
// What the report page holds: every analysis run once on one mesh, gathered into the page's data and the
// JSON summary that the page embeds and `meshprobe report --json` prints. The tool and the Python module
// both build their reports here.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "meshprobe/Cavities.h"
#include "meshprobe/Check.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Profile.h"
#include "meshprobe/Progress.h"
#include "meshprobe/ThinAreas.h"
#include "report/ReportOrientation.h"
#include "report/ReportWriter.h"

namespace meshprobe::report {

/// A progress callback for one stage of the report: the stage's 0..100 fills [from, to] of the whole
/// under the label; returning false cancels.
using StageProgress = std::function<ProgressCallback(const std::string& label, int from, int to)>;

struct ReportSettings {
    /// The part's name as the summary's "mesh" states it (the tool: the path as given); the page title is
    /// its last path component.
    std::string meshName;
    /// The unit the part was read in ("mm", "cm", ...), as the summary's "units" states it.
    std::string units = "mm";
    bool thickness = true;
    float min = 0.0f;
    float max = 2.0f;
    int samples = 31;
    /// Thin areas below this surface, mm², are left out (as `thickness --min-thin-area`).
    double minThinArea = defaultMinThinArea;
    bool trapped = true;
    /// The grid, build direction, worker threads (for every analysis of the report), minVolume and
    /// drainHoleDiameter; the up direction also places the page's build plate when trapped volumes are left
    /// out. Its progress is not used (see progress below); solids are always built, for the page to draw.
    CavityOptions cavities;
    /// Judge the part for this process: the page opens with the check's verdict.
    std::optional<Profile> profile;
    /// The ranking of build directions on the trapped-volume grid (cavities' resolution, threads and
    /// minVolume), for the profile's process.
    ReportOrientationSettings orientation;
    /// The mesh checks run on the part before the report ("warnings"), and the faces --fix-winding turned
    /// ("winding_fixed_faces", only when a repair was asked for).
    std::vector<MeshWarning> meshWarnings;
    std::optional<std::size_t> windingFixedFaces;
    /// Seconds already spent on the part (reading it), added to the summary's "seconds".
    double secondsBefore = 0.0;
    /// Optional: progress by stage.
    StageProgress progress;
};

/// The page's data and the typed results its summary was written from, for text summaries.
struct ReportContent {
    ReportData data;
    /// With ReportSettings::thickness: the window's counts and the thin areas.
    std::optional<ThinCounts> thinCounts;
    std::optional<ThinAreasResult> thinAreas;
    /// With ReportSettings::trapped: the cavities (their solids moved into the page's data).
    std::optional<CavitiesResult> cavities;
    /// With ReportSettings::orientation.directions > 0 (and triangles): the ranking, best first.
    std::optional<OrientResult> orientation;
    /// With ReportSettings::profile: the verdict.
    std::optional<CheckResult> check;
};

/// Runs the analyses the settings ask for and gathers the page's data. The summary holds the JSON head,
/// the mesh checks' "warnings", the keys of `info` under "info", of `thickness` under "thickness" (with
/// "thinnest"), the thin areas under "thin_areas", the keys of `trapped` under "trapped" (every cavity with
/// its "triangles" of the solid the page draws, and its holes when drainHoleDiameter > 0), the ranking of
/// build directions under "orientation" (see orientationJson) and the verdict under "check"; sections not
/// analysed are left out. writeReportFile adds "report" and "seconds".
/// @throw meshprobe::InputError for settings the analyses refuse; Error from the analyses; Cancelled
ReportContent gatherReport(const Mesh& mesh, const ReportSettings& settings);

/// Refuses a report path that does not end in .html (or .htm) or cannot be written, before any work.
/// @throw meshprobe::InputError naming the path
void checkReportPath(const std::string& path);

/// The whole report: checks the path, gathers the content, adds "report" (the path) and "seconds" to the
/// summary and writes the page atomically (see writeReport). Returns what was written.
/// @throw as checkReportPath, gatherReport and writeReport; Cancelled when progress asks to stop
ReportContent writeReportFile(const Mesh& mesh, const std::string& path, const ReportSettings& settings);

} // namespace meshprobe::report
