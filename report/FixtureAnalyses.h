// SPDX-License-Identifier: MIT
// The analyses behind the fixture reports: the part's health, wall thickness with its colours and thin
// areas, and trapped cavities as closed voxel surfaces, gathered into ReportData with the JSON summary.
#pragma once

#include <string>

#include "report/ReportWriter.h"

namespace meshprobe::report {

struct FixtureOptions {
    std::string meshPath;
    std::string up = "+z";
    int resolution = 128;
    int threads = 2;
    double min = 0.0;
    double max = 2.0;
    int samples = 31;
    bool thickness = true;
    bool trapped = true;
    /// Adds one synthetic drain hole per cavity (straight down from its lowest point out of the part) to
    /// exercise the page's markers until the tool suggests real ones.
    bool drainHoles = false;
};

/// Runs the analyses on the mesh file and returns the page's data. Throws std::exception on failure.
ReportData analysePart(const FixtureOptions& options);

} // namespace meshprobe::report
