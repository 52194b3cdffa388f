// SPDX-License-Identifier: MIT
// The report's content from the toolkit's results: geometry as plain arrays, tables as the tool's JSON.
#include "report/ReportContent.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThicknessColours.h"
#include "meshprobe/ThinAreas.h"
#include "report/ThicknessLegend.h"
#include "toolkit/json/ResultJson.h"

namespace meshprobe::report {

namespace {

using json::Json;
using json::shortestDouble;

/// The settings' stage progress, or none.
ProgressCallback stage(const ReportSettings& settings, const std::string& label, int from, int to)
{
    return settings.progress ? settings.progress(label, from, to) : ProgressCallback();
}

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
    data.summary["info"] = json::infoJson(meshprobe::inspect(mesh));
}

void addThickness(const meshprobe::Mesh& mesh, const ReportSettings& settings, ReportContent& content)
{
    ReportData& data = content.data;
    meshprobe::ThicknessOptions analysis;
    analysis.min = settings.min;
    analysis.max = settings.max;
    analysis.samples = settings.samples;
    analysis.threads = settings.cavities.threads;
    analysis.progress = stage(settings, "measuring thickness", 0, 50);
    meshprobe::ThinAreaOptions areaOptions;
    areaOptions.min = settings.min;
    areaOptions.max = settings.max;
    areaOptions.minArea = settings.minThinArea;
    areaOptions.progress = stage(settings, "thin areas", 50, 55);
    // One call, so that on two threads the thin areas' ray scene is built beside the thickness rays.
    const meshprobe::ThicknessWithAreas measured = meshprobe::thicknessWithThinAreas(mesh, analysis, areaOptions);
    const meshprobe::ThicknessResult& result = measured.thickness;
    const meshprobe::ThinAreasResult& thinAreas = measured.areas;

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

    Json thickness = {{"min", shortestDouble(settings.min)},
                      {"max", shortestDouble(settings.max)},
                      {"samples", settings.samples},
                      {"min_thin_area", settings.minThinArea},
                      {"status", result.status},
                      {"message", result.message}};
    json::addThinCountsJson(thickness, counts);
    json::addDroppedAreasJson(thickness, thinAreas);
    thickness["thinnest"] = json::thinnestJson(thinAreas.thinnest, shortestDouble(settings.max));
    thickness["histogram"] = json::histogramJson(counts.bins);
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
        thin.info = json::reportThinAreaJson(area);
        thin.info.update(placeOfFaces(mesh, area.faces));
        list.push_back(thin.info);
        data.thinAreas->push_back(std::move(thin));
    }
    data.summary["thin_areas"] = std::move(list);
    content.thinCounts = counts;
    content.thinAreas = thinAreas;
}

/// The cavity analysis' progress: voxelizing up to 90 %, then locating the cavities.
ProgressCallback cavityProgress(const ReportSettings& settings)
{
    if (!settings.progress) return {};
    ProgressCallback voxelizing = settings.progress("voxelizing", 55, 80);
    ProgressCallback locating = settings.progress("locating cavities", 55, 80);
    return [voxelizing, locating](float percent) { return percent < 90.0f ? voxelizing(percent) : locating(percent); };
}

void addTrapped(const meshprobe::Mesh& mesh, const ReportSettings& settings, ReportContent& content)
{
    ReportData& data = content.data;
    meshprobe::CavityOptions analysis = settings.cavities;
    analysis.solids = true;
    analysis.columns = false;
    analysis.progress = cavityProgress(settings);
    meshprobe::CavitiesResult result = meshprobe::findCavities(mesh, analysis);

    Json trapped = Json::object();
    json::addCavitiesJson(trapped, result, analysis.minVolume, json::CavityMeshes::Solid,
                          analysis.drainHoleDiameter > 0);
    data.cavities.emplace();
    for (std::size_t c = 0; c < result.cavities.size(); ++c) {
        meshprobe::Mesh& solid = result.cavities[c].solid;
        data.cavities->push_back({{std::move(solid.vertices), std::move(solid.triangles)}, trapped["cavities"][c]});
    }
    if (analysis.drainHoleDiameter > 0) {
        data.drainHoles.emplace();
        for (const auto& [cavity, hole] : json::suggestedHoles(result)) {
            meshprobe::report::ReportDrainHole marker;
            for (int k = 0; k < 3; ++k) {
                marker.entry[k] = float(hole->wallPoint[k]);
                marker.exit[k] = float(hole->exitPoint[k]);
            }
            marker.diameter = float(hole->diameter);
            marker.info = {{"cavity", json::cavityName(*cavity)}};
            marker.info.update(json::namedHoleJson(*hole));
            data.drainHoles->push_back(std::move(marker));
        }
    }
    data.summary["trapped"] = std::move(trapped);
    content.cavities = std::move(result);
}

void addOrientation(const meshprobe::Mesh& mesh, const ReportSettings& settings, ReportContent& content)
{
    const CavityOptions& grid = settings.cavities;
    content.orientation = rankDirections(mesh, settings.orientation, settings.profile, grid.resolution, grid.threads,
                                         grid.minVolume, stage(settings, "ranking build directions", 80, 90));
    content.data.summary["orientation"] =
        orientationJson(*content.orientation, settings.orientation, settings.profile, grid.resolution, grid.minVolume);
}

void addCheck(const meshprobe::Mesh& mesh, const ReportSettings& settings, ReportContent& content)
{
    const Profile& profile = *settings.profile;
    CheckOptions options;
    options.resolution = settings.cavities.resolution;
    options.threads = settings.cavities.threads;
    options.progress = stage(settings, "checking for " + profile.name, 90, 95);
    content.check = check(mesh, profile, options);
    Json verdict;
    json::addCheckJson(verdict, *content.check, profile);
    content.data.summary["check"] = std::move(verdict);
}

} // namespace

ReportContent gatherReport(const meshprobe::Mesh& mesh, const ReportSettings& settings)
{
    ReportContent content;
    ReportData& data = content.data;
    data.title = settings.meshName.substr(settings.meshName.find_last_of('/') + 1);
    data.part = {mesh.vertices, mesh.triangles};
    const meshprobe::Direction up = settings.cavities.up;
    data.up = {float(up[0]), float(up[1]), float(up[2])};
    data.summary = json::headJson("report", MESHPROBE_VERSION, settings.meshName, settings.units, mesh);
    data.summary["warnings"] = json::warningsJson(settings.meshWarnings);
    if (settings.windingFixedFaces) data.summary["winding_fixed_faces"] = *settings.windingFixedFaces;
    addInfo(mesh, data);
    if (settings.thickness) addThickness(mesh, settings, content);
    if (settings.trapped) addTrapped(mesh, settings, content);
    if (settings.orientation.directions > 0 && !mesh.triangles.empty()) addOrientation(mesh, settings, content);
    if (settings.profile) addCheck(mesh, settings, content);
    return content;
}

void checkReportPath(const std::string& path)
{
    const std::string extension = lowerCaseExtension(path);
    if (extension != ".html" && extension != ".htm") throw InputError("'" + path + "' must end in .html");
    checkWritable(path);
}

ReportContent writeReportFile(const Mesh& mesh, const std::string& path, const ReportSettings& settings)
{
    const auto start = std::chrono::steady_clock::now();
    checkReportPath(path);
    ReportContent content = gatherReport(mesh, settings);
    content.data.summary["report"] = path;
    // The page embeds the very summary the caller gets, "seconds" included (all but the writing itself).
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    content.data.summary["seconds"] = std::round((settings.secondsBefore + elapsed.count()) * 1000.0) / 1000.0;
    const ProgressCallback writing = stage(settings, "writing " + path, 95, 100);
    if (writing && !writing(0)) throw Cancelled();
    writeReport(path, content.data);
    return content;
}

} // namespace meshprobe::report
