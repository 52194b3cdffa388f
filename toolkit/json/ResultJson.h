// SPDX-License-Identifier: MIT
// The JSON form of the toolkit's results: the one place that spells every key and rounds every number of
// the tool's --json output, the batch records, the Python results and the report's summary. schemas/*.json
// describe what these functions write. In-tree only: nlohmann/json stays out of the installed headers
// (meshprobe/ResultJson.h gives the same JSON as text).
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "meshprobe/Cavities.h"
#include "meshprobe/Check.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Profile.h"
#include "meshprobe/ThinAreas.h"
#include "meshprobe/TrappedVolumes.h"

namespace meshprobe::json {

using Json = nlohmann::ordered_json;

/// The JSON layout version: bumped on every change that can break a reader (a key removed, renamed or
/// changing its meaning); new keys alone do not bump it. schemas/*.json describe this version.
constexpr int schemaVersion = 1;

/// A float as the double with the shortest decimal form that reads back as the same float, so that JSON
/// shows 0.3 instead of 0.30000001192092896.
double shortestDouble(float value);

/// A point in double precision; -0 written as 0 (the rotations' -0 would read as a different value).
Json pointJson(const std::array<double, 3>& p);

/// A point measured in single precision: each coordinate as its float's shortest form.
Json floatPointJson(const std::array<double, 3>& p);

/// The keys every command's JSON starts with: "version", "schema", "command", "mesh" (the path as given),
/// "units", "triangles", "vertices" (after welding).
Json headJson(const std::string& command, const std::string& version, const std::string& meshPath,
              const std::string& units, const Mesh& mesh);

/// The one object written on failure: "version", "schema", "error", "exit_code".
Json errorJson(const std::string& version, const std::string& message, int exitCode);

/// The mesh checks' warnings: [{"code", "count", "text"}].
Json warningsJson(const std::vector<MeshWarning>& warnings);

/// "bounds", "watertight", "nonmanifold_edges", "bad_edges", "border_edges", "volume", "area".
Json infoJson(const MeshInfo& info);

/// A profile as its file spells it: "name", "base", "up", "walls" {"min", "recommended", "min_area"},
/// "drain_diameter", "trapped" {"sealed", "pocket"}, "suction_cups" {"check", "fail_volume"}, "overhang_angle".
Json profileJson(const Profile& profile);

/// One finding: "code", "severity", "message", then those present of "where", "measure", "limit", "unit",
/// "area", "size", "drain", "vent", and "fix".
Json findingJson(const Finding& finding);

/// The verdict's keys: "verdict", "profile", "findings", "counts" {"fail", "warn", "info"}, "thinnest_wall"
/// (null when no wall is thinner than the recommended one), "ignored_tiny_cavities".
void addCheckJson(Json& into, const CheckResult& result, const Profile& profile);

/// The thickness window's face counts: "thin_faces", "window_faces", "selected_faces" (the window's count
/// under its old name, kept for existing readers), "faces_at_max".
void addThinCountsJson(Json& into, const ThinCounts& counts);

/// "dropped_areas", "dropped_faces", "crease_areas", "crease_faces".
void addDroppedAreasJson(Json& into, const ThinAreasResult& areas);

/// [{"from", "to", "faces"}] per bin.
Json histogramJson(const std::vector<HistogramBin>& bins);

/// {"found": true, "thickness", "face", "area"}, or {"found": false, "thickness": max} when no wall is
/// thinner than max.
Json thinnestJson(const ThinnestWall& thinnest, double max);

/// One thin area as `thickness` lists it: "id", "faces" (a count), "area", "min_thickness", "thinnest_face",
/// "median_thickness", "faces_below_min", "centroid", "bounds".
Json thinAreaJson(const ThinArea& area);

/// One thin area as the report's table lists it: "id", "faces" (a count), "area", "min_thickness",
/// "median_thickness", "faces_below_min"; the report adds the place of its faces.
Json reportThinAreaJson(const ThinArea& area);

/// One marking area of `areas`: "id", "name", "faces", "loops".
Json markingAreaJson(const MarkingArea& area);

/// One value per face, each as its float's shortest form.
Json perFaceJson(const std::vector<float>& values);

/// "Closed-1", "Open-2", ...: the cavity's kind and number.
std::string cavityName(const CavityReport& cavity);

/// Every suggested hole with the cavity it serves, in cavity order, each cavity's drain before its vent.
std::vector<std::pair<const CavityReport*, const DrainHole*>> suggestedHoles(const CavitiesResult& result);

/// A hole's wall and exit points, drilling direction, length, diameter and "reachable".
Json holeJson(const DrainHole& hole);

/// The same, led by the hole's "kind" (drain or vent).
Json namedHoleJson(const DrainHole& hole);

/// The axis-aligned analysis (trappedVolumes): "resolution", "voxel_size", "up", "trapped_voxels",
/// "trapped_volume" and "cavities" [{"name", "volume", "voxels"}].
Json trappedJson(const TrappedResult& result);

/// Which cavity mesh a cavity's "triangles" count.
enum class CavityMeshes { None, Solid, Columns };

/// One cavity: number, name, volumes, bounds, centroid, lowest and highest point and height; "triangles" of
/// the chosen mesh; "drain" and, for sealed cavities, "vent" when holes were asked for (null: no way out).
Json cavityJson(const CavityReport& cavity, CavityMeshes meshes, bool drainHoles);

/// The analysis' keys: "resolution", "voxel_size", "up", "up_vector", "trapped_voxels", "trapped_volume",
/// "cavity_count", "min_cavity", "tiny_cavities" and the listed "cavities".
void addCavitiesJson(Json& into, const CavitiesResult& result, double minCavity, CavityMeshes meshes, bool drainHoles);

/// One build direction of `orient`: "up", "up_vector", volumes, cavities, supports, height and footprint,
/// and "suction_cups" with "suction_volume" when the ranking measured them.
Json orientCandidateJson(const OrientCandidate& candidate, bool suctionCups = false);

/// Compact JSON text; invalid UTF-8 (a message quoting file content) is replaced rather than thrown on.
std::string dumpJson(const Json& json);

} // namespace meshprobe::json
