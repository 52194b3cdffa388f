// SPDX-License-Identifier: MIT
// What the commands that find cavities (`trapped`, `report`) share: the grid, the build direction (--up or
// --printer), --min-cavity and --drain-holes, and the cavities as JSON.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "meshprobe/Cavities.h"

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

/// "Closed-1", "Open-2", ...: the cavity's kind and number.
std::string cavityName(const meshprobe::CavityReport& cavity);

/// Every suggested hole with the cavity it serves, in cavity order, each cavity's drain before its vent.
std::vector<std::pair<const meshprobe::CavityReport*, const meshprobe::DrainHole*>>
suggestedHoles(const meshprobe::CavitiesResult& result);

/// Which cavity mesh a cavity's "triangles" count.
enum class CavityMeshes { None, Solid, Columns };

nlohmann::ordered_json pointJson(const std::array<double, 3>& p);

/// A hole's wall and exit points, drilling direction, length, diameter and "reachable".
nlohmann::ordered_json holeJson(const meshprobe::DrainHole& hole);

/// One cavity: number, name, volumes, bounds, centroid, lowest and highest point and height; "triangles" of
/// the chosen mesh; "drain" and, for sealed cavities, "vent" when holes were asked for (null: no way out).
nlohmann::ordered_json cavityJson(const meshprobe::CavityReport& cavity, CavityMeshes meshes, bool drainHoles);

/// The analysis' keys: "resolution", "voxel_size", "up", "up_vector", "trapped_voxels", "trapped_volume",
/// "cavity_count", "min_cavity", "tiny_cavities" and the listed "cavities".
void addCavitiesJson(nlohmann::ordered_json& into, const meshprobe::CavitiesResult& result,
                     const CavityCliOptions& options, CavityMeshes meshes);

/// "plus 3 tiny cavities below 1 mm³, 0.5 mm³ in all (not listed)".
std::string tinyCavitiesText(std::size_t count, double volume, double minCavity);

} // namespace cli
