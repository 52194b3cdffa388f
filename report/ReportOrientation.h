// SPDX-License-Identifier: MIT
// The report's orientation table: the toolkit's ranking of build directions for the report's process, with
// what the page needs to turn the part, tint its overhangs and mark its islands in each direction.
#pragma once

#include <cstddef>
#include <optional>

#include <nlohmann/json.hpp>

#include "meshprobe/Mesh.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Profile.h"

namespace meshprobe::report {

struct ReportOrientationSettings {
    /// Build directions to rank (6, 26 or N, as `orient --directions`); 0 leaves the table out.
    int directions = 6;
    /// --up, --printer or --profile chose the build direction: the page opens in it rather than in the best.
    bool upChosen = false;
};

/// Island points listed per direction at most; "islands" keeps the full count.
constexpr std::size_t maxIslandPoints = 100;

/// The ranking the table shows: `orient` on the report's grid, for `profile`'s process (without one, the
/// least trapped material).
/// @throw Error from the analysis (Cancelled when progress asks to stop)
OrientResult rankDirections(const Mesh& mesh, const ReportOrientationSettings& settings,
                            const std::optional<Profile>& profile, int resolution, int threads, double minCavity,
                            const ProgressCallback& progress);

/// The "orientation" object of the report's summary: "resolution", "process", "ranking" (the criteria in
/// order), "overhang_angle", "min_cavity", "noise_voxels", "best_up", "why_best", "up_chosen" and
/// "directions", best first, each with the keys of `orient --json` plus "island_points".
nlohmann::ordered_json orientationJson(const OrientResult& ranking, const ReportOrientationSettings& settings,
                                       const std::optional<Profile>& profile, int resolution, double minCavity);

} // namespace meshprobe::report
