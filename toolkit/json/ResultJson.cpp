// SPDX-License-Identifier: MIT
// The JSON form of the toolkit's results that the tool, batch records, the Python module and the report share.
#include "toolkit/json/ResultJson.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace meshprobe::json {

double shortestDouble(float value)
{
    if (!std::isfinite(value)) return value;
    char text[32];
    // to_chars of a float gives its shortest round-trip form; reading that as a double keeps it short.
    const auto end = std::to_chars(text, text + sizeof text - 1, value).ptr;
    *end = '\0';
    return std::strtod(text, nullptr);
}

Json pointJson(const std::array<double, 3>& p)
{
    // + 0.0 turns the rotations' -0 into 0, which a reader of the JSON would take for a different value.
    return {p[0] + 0.0, p[1] + 0.0, p[2] + 0.0};
}

Json floatPointJson(const std::array<double, 3>& p)
{
    return {shortestDouble(static_cast<float>(p[0])), shortestDouble(static_cast<float>(p[1])),
            shortestDouble(static_cast<float>(p[2]))};
}

Json headJson(const std::string& command, const std::string& version, const std::string& meshPath,
              const std::string& units, const Mesh& mesh)
{
    return Json{{"version", version},
                {"schema", schemaVersion},
                {"command", command},
                {"mesh", meshPath},
                {"units", units},
                {"triangles", mesh.triangleCount()},
                {"vertices", mesh.vertexCount()}};
}

Json errorJson(const std::string& version, const std::string& message, int exitCode)
{
    return Json{{"version", version}, {"schema", schemaVersion}, {"error", message}, {"exit_code", exitCode}};
}

Json warningsJson(const std::vector<MeshWarning>& warnings)
{
    Json list = Json::array();
    for (const MeshWarning& w : warnings)
        list.push_back({{"code", w.code}, {"count", w.count}, {"text", w.text}});
    return list;
}

Json infoJson(const MeshInfo& info)
{
    const auto triple = [](const std::array<float, 3>& v) {
        return Json::array({shortestDouble(v[0]), shortestDouble(v[1]), shortestDouble(v[2])});
    };
    return {{"bounds", Json::array({triple(info.boundsMin), triple(info.boundsMax)})},
            {"watertight", info.watertight},
            {"nonmanifold_edges", info.nonManifoldEdges},
            {"bad_edges", info.badEdges},
            {"border_edges", info.borderEdges},
            {"volume", info.volume},
            {"inside_out", info.insideOut},
            {"area", info.area}};
}

Json profileJson(const Profile& p)
{
    return {{"name", p.name},
            {"base", p.base},
            {"up", formatDirection(p.up)},
            {"walls", {{"min", p.minWall}, {"recommended", p.recommendedWall}, {"min_area", p.minThinArea}}},
            {"drain_diameter", p.drainDiameter},
            {"trapped", {{"sealed", toString(p.sealedCavity)}, {"pocket", toString(p.pocket)}}},
            {"suction_cups", {{"check", p.suctionCups}, {"fail_volume", p.suctionCupVolume}}},
            {"overhang_angle", p.overhangAngle}};
}

Json findingJson(const Finding& f)
{
    Json j = {{"code", f.code}, {"severity", toString(f.severity)}, {"message", f.message}};
    if (f.where) j["where"] = pointJson(*f.where);
    if (f.measure) j["measure"] = *f.measure;
    if (f.limit) j["limit"] = *f.limit;
    if (f.measure) j["unit"] = f.unit;
    if (f.area) j["area"] = *f.area;
    if (f.size) j["size"] = pointJson(*f.size);
    if (f.drain) j["drain"] = namedHoleJson(*f.drain);
    if (f.vent) j["vent"] = namedHoleJson(*f.vent);
    if (f.largestHole) j["largest_hole"] = *f.largestHole;
    j["fix"] = f.fix;
    return j;
}

void addCheckJson(Json& into, const CheckResult& result, const Profile& profile)
{
    into["verdict"] = toString(result.verdict);
    into["profile"] = profileJson(profile);
    std::size_t counts[4] = {};
    into["findings"] = Json::array();
    for (const Finding& f : result.findings) {
        ++counts[static_cast<int>(f.severity)];
        into["findings"].push_back(findingJson(f));
    }
    into["counts"] = {{"fail", counts[static_cast<int>(Severity::Fail)]},
                      {"warn", counts[static_cast<int>(Severity::Warn)]},
                      {"info", counts[static_cast<int>(Severity::Info)]}};
    into["thinnest_wall"] = result.thinnestWall ? Json(*result.thinnestWall) : nullptr;
    into["ignored_tiny_cavities"] = result.ignoredTinyCavities;
}

void addThinCountsJson(Json& into, const ThinCounts& counts)
{
    into["thin_faces"] = counts.thin;
    into["window_faces"] = counts.window;
    into["selected_faces"] = counts.window;
    into["faces_at_max"] = counts.atMax;
}

void addDroppedAreasJson(Json& into, const ThinAreasResult& areas)
{
    into["dropped_areas"] = areas.droppedAreas;
    into["dropped_faces"] = areas.droppedFaces;
    into["crease_areas"] = areas.creaseAreas;
    into["crease_faces"] = areas.creaseFaces;
}

Json histogramJson(const std::vector<HistogramBin>& bins)
{
    Json histogram = Json::array();
    for (const HistogramBin& bin : bins)
        histogram.push_back({{"from", bin.from}, {"to", bin.to}, {"faces", bin.faces}});
    return histogram;
}

Json thinnestJson(const ThinnestWall& thinnest, double max)
{
    if (!thinnest.found) return {{"found", false}, {"thickness", max}};
    return {{"found", true},
            {"thickness", shortestDouble(thinnest.thickness)},
            {"face", thinnest.face},
            {"area", thinnest.area}};
}

Json thinAreaJson(const ThinArea& area)
{
    return {{"id", area.id},
            {"faces", area.faces.size()},
            {"area", shortestDouble(static_cast<float>(area.area))},
            {"min_thickness", shortestDouble(area.minThickness)},
            {"thinnest_face", area.thinnestFace},
            {"median_thickness", shortestDouble(area.medianThickness)},
            {"faces_below_min", area.facesBelowMin},
            {"centroid", floatPointJson(area.centroid)},
            {"bounds", {floatPointJson(area.boundsMin), floatPointJson(area.boundsMax)}}};
}

Json reportThinAreaJson(const ThinArea& area)
{
    return {{"id", area.id},
            {"faces", area.faces.size()},
            {"area", area.area},
            {"min_thickness", shortestDouble(area.minThickness)},
            {"median_thickness", shortestDouble(area.medianThickness)},
            {"faces_below_min", area.facesBelowMin}};
}

Json markingAreaJson(const MarkingArea& area)
{
    return {{"id", area.id}, {"name", area.name}, {"faces", area.faces}, {"loops", area.loops}};
}

Json perFaceJson(const std::vector<float>& values)
{
    Json list = Json::array();
    for (float t : values)
        list.push_back(shortestDouble(t));
    return list;
}

std::string cavityName(const CavityReport& cavity)
{
    return cavity.name() + "-" + std::to_string(cavity.number);
}

std::vector<std::pair<const CavityReport*, const DrainHole*>> suggestedHoles(const CavitiesResult& result)
{
    std::vector<std::pair<const CavityReport*, const DrainHole*>> holes;
    for (const CavityReport& cavity : result.cavities)
        for (const auto* hole : {&cavity.drain, &cavity.vent})
            if (*hole) holes.emplace_back(&cavity, &**hole);
    return holes;
}

Json holeJson(const DrainHole& hole)
{
    return {{"wall_point", pointJson(hole.wallPoint)},
            {"exit_point", pointJson(hole.exitPoint)},
            {"direction", pointJson(hole.direction)},
            {"length", hole.length},
            {"diameter", hole.diameter},
            {"reachable", hole.reachable}};
}

Json namedHoleJson(const DrainHole& hole)
{
    Json j = {{"kind", hole.kind}};
    j.update(holeJson(hole));
    return j;
}

Json trappedJson(const TrappedResult& result)
{
    Json cavities = Json::array();
    for (const Cavity& cavity : result.cavities)
        cavities.push_back(
            {{"name", cavity.name}, {"volume", shortestDouble(cavity.volume)}, {"voxels", cavity.voxels}});
    return Json{{"resolution", result.resolution},
                {"voxel_size", result.voxelSize},
                {"up", toString(result.up)},
                {"trapped_voxels", result.trappedVoxels},
                {"trapped_volume", shortestDouble(result.trappedVolume)},
                {"cavities", std::move(cavities)}};
}

Json cavityJson(const CavityReport& c, CavityMeshes meshes, bool drainHoles)
{
    Json j = {{"number", c.number},
              {"name", c.name()},
              {"volume", shortestDouble(c.volume)},
              {"voxels", c.voxels},
              {"estimated_volume", c.estimatedVolume},
              {"bounds", {pointJson(c.boundsMin), pointJson(c.boundsMax)}},
              {"centroid", pointJson(c.centroid)},
              {"lowest_point", pointJson(c.lowestPoint)},
              {"highest_point", pointJson(c.highestPoint)},
              {"lowest_height", c.lowestHeight},
              {"highest_height", c.highestHeight}};
    if (meshes != CavityMeshes::None)
        j["triangles"] = (meshes == CavityMeshes::Columns ? c.columns : c.solid).triangleCount();
    if (drainHoles) {
        j["drain"] = c.drain ? holeJson(*c.drain) : nullptr;
        if (c.closed) j["vent"] = c.vent ? holeJson(*c.vent) : nullptr;
        if (c.largestHoleDiameter) j["largest_hole"] = *c.largestHoleDiameter;
    }
    return j;
}

void addCavitiesJson(Json& into, const CavitiesResult& result, double minCavity, CavityMeshes meshes, bool drainHoles)
{
    into["resolution"] = result.resolution;
    into["voxel_size"] = result.voxelSize;
    into["up"] = formatDirection(result.up);
    into["up_vector"] = pointJson(result.up);
    into["trapped_voxels"] = result.trappedVoxels;
    into["trapped_volume"] = shortestDouble(result.trappedVolume);
    into["cavity_count"] = result.cavityCount;
    into["min_cavity"] = minCavity;
    into["tiny_cavities"] = {{"count", result.tinyCavities}, {"volume", result.tinyVolume}};
    into["cavities"] = Json::array();
    for (const CavityReport& cavity : result.cavities)
        into["cavities"].push_back(cavityJson(cavity, meshes, drainHoles));
}

Json orientCandidateJson(const OrientCandidate& c, bool suctionCups)
{
    Json j = {{"up", formatDirection(c.up)},
              {"up_vector", {c.up[0], c.up[1], c.up[2]}},
              {"trapped_volume", shortestDouble(c.trappedVolume)},
              {"estimated_volume", c.estimatedVolume},
              {"trapped_voxels", c.trappedVoxels},
              {"cavities", c.cavities},
              {"sealed_cavities", c.sealedCavities},
              {"sealed_volume", c.sealedVolume},
              {"noise_cavities", c.noiseCavities},
              {"overhang_area", c.overhangArea},
              {"islands", c.islands},
              {"build_height", c.buildHeight},
              {"footprint", c.footprint},
              {"voxel_size", c.voxelSize},
              {"resolution", c.resolution}};
    if (suctionCups) {
        j["suction_cups"] = c.suctionCups;
        j["suction_volume"] = c.suctionCupVolume;
    }
    return j;
}

std::string dumpJson(const Json& json)
{
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

} // namespace meshprobe::json
