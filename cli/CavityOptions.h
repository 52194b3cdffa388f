// SPDX-License-Identifier: MIT
// What the commands that find cavities (`trapped`, `report`) share: the grid, the build direction (--up or
// --printer), --min-cavity and --drain-holes.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "meshprobe/Cavities.h"
#include "toolkit/json/ResultJson.h"

namespace cli {

struct CavityCliOptions {
    int resolution = 256;
    int threads = 0; ///< 0 until addCavityOptions sets the default: all cores
    std::string up = "+z";
    std::string printer;
    double minCavity = 0.0;
    double drainHoles = 0.0;
};

/// Adds -r, -j, --up, --printer (excluding --up; the presets are listed in the footer), --min-cavity and
/// --drain-holes.
void addCavityOptions(CLI::App& command, CavityCliOptions& options);

/// The toolkit's options from the command line's: --up parsed, or the --printer preset's direction; no
/// progress, solids on, no columns.
/// @throw InputError naming --up or --printer
meshprobe::CavityOptions cavityAnalysis(const CavityCliOptions& options);

using meshprobe::json::CavityMeshes;
using meshprobe::json::cavityName;
using meshprobe::json::suggestedHoles;

/// The analysis' keys as the toolkit's JSON writes them, with the options' --min-cavity and holes.
void addCavitiesJson(nlohmann::ordered_json& into, const meshprobe::CavitiesResult& result,
                     const CavityCliOptions& options, CavityMeshes meshes);

/// "plus 3 tiny cavities below 1 mm³, 0.5 mm³ in all (not listed)".
std::string tinyCavitiesText(std::size_t count, double volume, double minCavity);

} // namespace cli
