// SPDX-License-Identifier: MIT
// The report's orientation table from the toolkit's ranking of build directions.
#include "cli/ReportOrientation.h"

#include <algorithm>

#include "cli/TextReport.h"
#include "meshprobe/Orientation.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

/// The figures a ranking compares, most important first, as the summary's keys name them.
Json criteriaOf(meshprobe::OrientRanking ranking)
{
    switch (ranking) {
    case meshprobe::OrientRanking::Resin:
        return {"sealed_volume", "overhang_area", "build_height"};
    case meshprobe::OrientRanking::Powder:
        return {"sealed_volume", "build_height"};
    case meshprobe::OrientRanking::Fdm:
        return {"overhang_area", "build_height"};
    case meshprobe::OrientRanking::TrappedMaterial:
        break;
    }
    return {"estimated_volume"};
}

Json candidateJson(const meshprobe::OrientCandidate& c)
{
    Json points = Json::array();
    const std::size_t listed = std::min(c.islandPoints.size(), maxIslandPoints);
    for (std::size_t i = 0; i < listed; ++i)
        points.push_back({c.islandPoints[i][0], c.islandPoints[i][1], c.islandPoints[i][2]});
    return {{"up", meshprobe::formatDirection(c.up)},
            {"up_vector", {c.up[0], c.up[1], c.up[2]}},
            {"trapped_volume", shortestDouble(c.trappedVolume)},
            {"estimated_volume", c.estimatedVolume},
            {"cavities", c.cavities},
            {"sealed_cavities", c.sealedCavities},
            {"sealed_volume", c.sealedVolume},
            {"noise_cavities", c.noiseCavities},
            {"overhang_area", c.overhangArea},
            {"islands", c.islands},
            {"island_points", std::move(points)},
            {"build_height", c.buildHeight},
            {"footprint", c.footprint},
            {"voxel_size", c.voxelSize}};
}

} // namespace

Json orientationJson(const meshprobe::Mesh& mesh, const ReportOrientationSettings& settings, int resolution,
                     int threads, double minCavity, const meshprobe::ProgressCallback& progress)
{
    meshprobe::OrientOptions analysis;
    analysis.resolution = resolution;
    analysis.directions = settings.directions;
    analysis.threads = threads;
    analysis.minCavityVolume = minCavity;
    if (settings.profile) {
        analysis.ranking = meshprobe::rankingFor(settings.profile->base);
        analysis.overhangAngle = settings.profile->overhangAngle;
    }
    analysis.progress = progress;
    const meshprobe::OrientResult result = meshprobe::orient(mesh, analysis);

    Json out = {{"resolution", resolution},
                {"process", settings.profile ? Json(settings.profile->name) : Json(nullptr)},
                {"ranking", criteriaOf(analysis.ranking)},
                {"overhang_angle", analysis.overhangAngle},
                {"min_cavity", minCavity},
                {"noise_voxels", meshprobe::noiseVoxels},
                {"best_up", meshprobe::formatDirection(result.candidates.front().up)},
                {"why_best", result.reason},
                {"up_chosen", settings.upChosen},
                {"directions", Json::array()}};
    for (const meshprobe::OrientCandidate& c : result.candidates)
        out["directions"].push_back(candidateJson(c));
    return out;
}

} // namespace cli
