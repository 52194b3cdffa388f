// SPDX-License-Identifier: MIT
// The self-contained HTML report: the part, its analyses and the three.js viewer in one file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace meshprobe::report {

/// A triangle mesh as plain arrays: x, y, z per vertex (mm) and three vertex indices per triangle.
struct ReportMesh {
    std::vector<float> vertices;
    std::vector<std::uint32_t> triangles;
};

/// One cavity: a closed surface drawn as a translucent solid, and what its label and table row show.
struct ReportCavity {
    ReportMesh mesh;
    /// The cavity's entry of the tool's JSON ("number", "name", "volume", and where known "centroid",
    /// "bounds", "lowest_point"); the page shows these keys and passes the others through.
    nlohmann::ordered_json info;
};

/// One thin area of the part: its faces (indices into the part's triangles) and boundary loops (vertex
/// indices of the part, each loop closed by repeating its first vertex or not: both are drawn closed).
struct ReportThinArea {
    std::vector<std::uint32_t> faces;
    std::vector<std::vector<std::uint32_t>> loops;
    /// The area's entry of the tool's JSON ("id", "area", "min_thickness", "centroid", ...).
    nlohmann::ordered_json info;
};

/// A suggested drain hole or vent between `entry`, on the cavity wall, and `exit`, where the drill starts
/// on the part's surface.
struct ReportDrainHole {
    std::array<float, 3> entry{};
    std::array<float, 3> exit{};
    float diameter = 0.0f;
    /// The hole's entry of the tool's JSON ("cavity", "kind", "length", "reachable", ...).
    nlohmann::ordered_json info;
};

/// A stop of the thickness legend: a thickness (mm) and the colour the tool gives it.
struct LegendStop {
    double thickness = 0.0;
    std::array<std::uint8_t, 3> rgb{};
};

/// The thickness colour scale, as the tool's colour function draws it.
struct ThicknessLegend {
    /// At least two stops, thickness ascending from the window's min to its max.
    std::vector<LegendStop> stops;
    /// The colour of faces that found no wall within the window's max.
    std::array<std::uint8_t, 3> noWallRgb{};
};

/// Everything the page shows. Empty optionals mean "not analysed" and the page says so; an engaged but
/// empty list means analysed with nothing found.
struct ReportData {
    /// Shown as the page title (typically the mesh file's name).
    std::string title;
    ReportMesh part;
    /// Three bytes (RGB) per triangle of the part, in triangle order, from the tool's colour function;
    /// empty when thickness was not analysed (the part is then drawn in one neutral colour). The page
    /// stores them as a palette and one index byte per face when at most 256 colours occur.
    std::vector<std::uint8_t> faceColours;
    std::optional<ThicknessLegend> legend;
    std::optional<std::vector<ReportCavity>> cavities;
    std::optional<std::vector<ReportThinArea>> thinAreas;
    std::optional<std::vector<ReportDrainHole>> drainHoles;
    /// The build direction in model coordinates (any length but zero).
    std::array<float, 3> up{0.0f, 0.0f, 1.0f};
    /// The tool's JSON summary, embedded verbatim (a script can pull it out of the page unchanged).
    nlohmann::ordered_json summary = nlohmann::ordered_json::object();
};

/// Writes the report page to `path` atomically, with the toolkit's writer of every output file: a temporary
/// file beside it, renamed over it when complete, so that nothing half-written is ever left under that name
/// (not even when the program is ended through meshprobe::discardPartialOutputs).
/// @throw meshprobe::InputError when the data is inconsistent (an index beyond the part, colours not three
///        per triangle, a zero up vector), naming what is wrong, or the folder is missing; nothing is written
/// @throw meshprobe::Error naming the file when it cannot be written (the temporary file is removed)
void writeReport(const std::string& path, const ReportData& data);

/// The page as a string, for callers that store it elsewhere (and for tests). Throws like writeReport.
std::string renderReport(const ReportData& data);

} // namespace meshprobe::report
