// SPDX-License-Identifier: MIT
// The report's content from the toolkit's results: geometry as plain arrays, tables as the tool's JSON.
#include "cli/ReportContent.h"

#include <algorithm>
#include <cmath>

#include "cli/JsonHead.h"
#include "cli/TextReport.h"
#include "cli/ThicknessLegend.h"
#include "cli/ThinnestWall.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThicknessColours.h"
#include "meshprobe/ThinAreas.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;
using meshprobe::report::ReportData;

constexpr int windowBins = 10;

Json point(double x, double y, double z)
{
    return Json::array({x, y, z});
}

/// Area-weighted centroid and bounding box of some faces of the mesh.
Json placeOfFaces(const meshprobe::Mesh& mesh, const std::vector<std::uint32_t>& faces)
{
    double sum[3] = {0, 0, 0}, weight = 0;
    double low[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, high[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (std::uint32_t f : faces) {
        const float* p[3];
        for (int c = 0; c < 3; ++c)
            p[c] = &mesh.vertices[3 * std::size_t(mesh.triangles[3 * std::size_t(f) + c])];
        double e1[3], e2[3];
        for (int k = 0; k < 3; ++k) {
            e1[k] = double(p[1][k]) - p[0][k];
            e2[k] = double(p[2][k]) - p[0][k];
        }
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        const double area = 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        weight += area;
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) {
                sum[k] += area * p[c][k] / 3;
                low[k] = std::min(low[k], double(p[c][k]));
                high[k] = std::max(high[k], double(p[c][k]));
            }
    }
    const double w = weight > 0 ? 1.0 / weight : 0.0;
    return {{"centroid", point(sum[0] * w, sum[1] * w, sum[2] * w)},
            {"bounds", Json::array({point(low[0], low[1], low[2]), point(high[0], high[1], high[2])})}};
}

void addInfo(const meshprobe::Mesh& mesh, ReportData& data)
{
    data.summary["info"] = meshprobe::json::infoJson(meshprobe::inspect(mesh));
}

void addThickness(const meshprobe::Mesh& mesh, const ReportSettings& settings, ProgressBar& progress, ReportData& data)
{
    meshprobe::ThicknessOptions analysis;
    analysis.min = settings.min;
    analysis.max = settings.max;
    analysis.samples = settings.samples;
    analysis.progress = progress.stage("measuring thickness", 0, 55);
    const meshprobe::ThicknessResult result = meshprobe::thickness(mesh, analysis);

    // The counts, colours and areas follow the rules of `thickness`: a wall at max is not thin (grey), walls
    // below min are thin areas too, and thin areas below --min-thin-area are left out.
    const std::vector<meshprobe::Rgba> colours =
        meshprobe::thicknessColours(result.perFace, settings.min, settings.max,
                                    settings.max - meshprobe::wallLimitTolerance, meshprobe::noWallColour);
    data.faceColours.reserve(colours.size() * 3);
    for (const meshprobe::Rgba& rgba : colours)
        data.faceColours.insert(data.faceColours.end(), rgba.begin(), rgba.begin() + 3);
    data.legend = thicknessLegend(settings.min, settings.max);

    const meshprobe::ThinCounts counts = meshprobe::thinCounts(result.perFace, settings.min, settings.max, windowBins);
    meshprobe::ThinAreaOptions areaOptions;
    areaOptions.min = settings.min;
    areaOptions.max = settings.max;
    areaOptions.minArea = settings.minThinArea;
    const meshprobe::ThinAreasResult thinAreas = meshprobe::thinAreas(mesh, result.perFace, areaOptions);

    Json thickness = {{"min", shortestDouble(settings.min)},
                      {"max", shortestDouble(settings.max)},
                      {"samples", settings.samples},
                      {"min_thin_area", settings.minThinArea},
                      {"status", result.status},
                      {"message", result.message},
                      {"thin_faces", counts.thin},
                      {"window_faces", counts.window},
                      {"selected_faces", counts.window},
                      {"faces_at_max", counts.atMax},
                      {"dropped_areas", thinAreas.droppedAreas},
                      {"dropped_faces", thinAreas.droppedFaces},
                      {"crease_areas", thinAreas.creaseAreas},
                      {"crease_faces", thinAreas.creaseFaces},
                      {"thinnest", thinnestJson(thinAreas.thinnest, shortestDouble(settings.max))}};
    thickness["histogram"] = Json::array();
    for (const meshprobe::HistogramBin& bin : counts.bins)
        thickness["histogram"].push_back({{"from", bin.from}, {"to", bin.to}, {"faces", bin.faces}});
    data.summary["thickness"] = std::move(thickness);

    data.thinAreas.emplace();
    Json list = Json::array();
    for (const meshprobe::ThinArea& area : thinAreas.areas) {
        meshprobe::report::ReportThinArea thin;
        thin.faces = area.faces;
        // The outline: the boundary loops of the area's faces, as `areas` traces them.
        const meshprobe::MarkingAreasResult outline = meshprobe::markingAreas(mesh, area.faces, "thin");
        for (const meshprobe::MarkingArea& part : outline.areas)
            thin.loops.insert(thin.loops.end(), part.loops.begin(), part.loops.end());
        thin.info = {{"id", area.id},
                     {"faces", area.faces.size()},
                     {"area", area.area},
                     {"min_thickness", shortestDouble(area.minThickness)},
                     {"median_thickness", shortestDouble(area.medianThickness)},
                     {"faces_below_min", area.facesBelowMin}};
        thin.info.update(placeOfFaces(mesh, area.faces));
        list.push_back(thin.info);
        data.thinAreas->push_back(std::move(thin));
    }
    data.summary["thin_areas"] = std::move(list);
}

void addTrapped(const meshprobe::Mesh& mesh, const ReportSettings& settings, ProgressBar& progress, ReportData& data)
{
    meshprobe::CavityOptions analysis = cavityAnalysis(settings.cavities);
    analysis.progress = progress.phases({{90.0f, "voxelizing"}, {100.0f, "locating cavities"}}, 55, 80);
    meshprobe::CavitiesResult result = meshprobe::findCavities(mesh, analysis);

    Json trapped = Json::object();
    addCavitiesJson(trapped, result, settings.cavities, CavityMeshes::Solid);
    data.cavities.emplace();
    for (std::size_t c = 0; c < result.cavities.size(); ++c) {
        meshprobe::Mesh& solid = result.cavities[c].solid;
        data.cavities->push_back({{std::move(solid.vertices), std::move(solid.triangles)}, trapped["cavities"][c]});
    }
    if (settings.cavities.drainHoles > 0) {
        data.drainHoles.emplace();
        for (const auto& [cavity, hole] : suggestedHoles(result)) {
            meshprobe::report::ReportDrainHole marker;
            for (int k = 0; k < 3; ++k) {
                marker.entry[k] = float(hole->wallPoint[k]);
                marker.exit[k] = float(hole->exitPoint[k]);
            }
            marker.diameter = float(hole->diameter);
            marker.info = {{"cavity", cavityName(*cavity)}, {"kind", hole->kind}};
            marker.info.update(holeJson(*hole));
            data.drainHoles->push_back(std::move(marker));
        }
    }
    data.summary["trapped"] = std::move(trapped);
}

} // namespace

ReportData gatherReport(const meshprobe::Mesh& mesh, const CommonOptions& common, const ReportSettings& settings,
                        const CheckedMesh& checked, ProgressBar& progress)
{
    ReportData data;
    data.title = common.meshPath.substr(common.meshPath.find_last_of('/') + 1);
    data.part = {mesh.vertices, mesh.triangles};
    const meshprobe::Direction up = cavityAnalysis(settings.cavities).up;
    data.up = {float(up[0]), float(up[1]), float(up[2])};
    data.summary = jsonHead("report", common, mesh);
    addWarningsJson(data.summary, checked, settings.checks);
    addInfo(mesh, data);
    if (settings.thickness) addThickness(mesh, settings, progress, data);
    if (settings.trapped) addTrapped(mesh, settings, progress, data);
    if (settings.orientation.directions > 0 && !mesh.triangles.empty())
        data.summary["orientation"] =
            orientationJson(mesh, settings.orientation, settings.cavities.resolution, settings.cavities.threads,
                            settings.cavities.minCavity, progress.stage("ranking build directions", 80, 90));
    return data;
}

} // namespace cli
