// SPDX-License-Identifier: MIT
// What `meshprobe report` puts in its page: every analysis run once on the loaded mesh, gathered into the
// report's data and the JSON summary that the page embeds and --json prints.
#pragma once

#include <string>

#include "cli/CavityOptions.h"
#include "cli/CommonOptions.h"
#include "cli/MeshWarnings.h"
#include "cli/ProgressBar.h"
#include "cli/ReportOrientation.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/ThinAreas.h"
#include "report/ReportWriter.h"

namespace cli {

struct ReportSettings {
    bool thickness = true;
    float min = 0.0f;
    float max = 2.0f;
    int samples = 31;
    /// Thin areas below this surface, mm², are left out (as `thickness --min-thin-area`).
    double minThinArea = meshprobe::defaultMinThinArea;
    bool trapped = true;
    /// The grid, build direction, --min-cavity and --drain-holes; the up direction also places the page's
    /// build plate when trapped volumes are left out.
    CavityCliOptions cavities;
    MeshCheckOptions checks;
    /// The ranking of build directions on the trapped-volume grid (-r, -j, --min-cavity).
    ReportOrientationSettings orientation;
};

/// Runs the analyses the settings ask for and gathers the page's data. The summary holds the mesh checks'
/// "warnings", the keys of `info` under "info", of `thickness` under "thickness" (with "thinnest"), the
/// thin areas under "thin_areas" and the keys of `trapped` under "trapped" (every cavity with its
/// "triangles" of the solid the page draws, and its holes with --drain-holes), the ranking of build
/// directions under "orientation" (see orientationJson); "not analysed" sections are
/// left out. The caller adds "report" and "seconds".
/// @throw meshprobe::Error from the analyses (Cancelled on Ctrl-C); InputError for a bad --up or --printer
meshprobe::report::ReportData gatherReport(const meshprobe::Mesh& mesh, const CommonOptions& common,
                                           const ReportSettings& settings, const CheckedMesh& checked,
                                           ProgressBar& progress);

} // namespace cli
