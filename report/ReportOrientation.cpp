// SPDX-License-Identifier: MIT
// The report's orientation table from the toolkit's ranking of build directions.
#include "report/ReportOrientation.h"

#include <algorithm>

#include "toolkit/json/ResultJson.h"

namespace meshprobe::report {

namespace {

using Json = nlohmann::ordered_json;

OrientOptions rankingOptions(const std::optional<Profile>& profile)
{
    OrientOptions analysis;
    if (profile) {
        analysis.ranking = rankingFor(profile->base);
        analysis.overhangAngle = profile->overhangAngle;
    }
    return analysis;
}

/// The figures a ranking compares, most important first, as the summary's keys name them.
Json criteriaOf(OrientRanking ranking)
{
    switch (ranking) {
    case OrientRanking::BottomUpResin:
        return {"sealed_volume", "suction_volume", "overhang_area", "build_height"};
    case OrientRanking::Resin:
        return {"sealed_volume", "overhang_area", "build_height"};
    case OrientRanking::Powder:
        return {"sealed_volume", "build_height"};
    case OrientRanking::Fdm:
        return {"overhang_area", "build_height"};
    case OrientRanking::TrappedMaterial:
        break;
    }
    return {"estimated_volume"};
}

Json candidateJson(const OrientCandidate& c, bool suctionCups)
{
    Json out = json::orientCandidateJson(c, suctionCups);
    Json points = Json::array();
    const std::size_t listed = std::min(c.islandPoints.size(), maxIslandPoints);
    for (std::size_t i = 0; i < listed; ++i)
        points.push_back({c.islandPoints[i][0], c.islandPoints[i][1], c.islandPoints[i][2]});
    out["island_points"] = std::move(points);
    return out;
}

} // namespace

OrientResult rankDirections(const Mesh& mesh, const ReportOrientationSettings& settings,
                            const std::optional<Profile>& profile, int resolution, int threads, double minCavity,
                            const ProgressCallback& progress)
{
    OrientOptions analysis = rankingOptions(profile);
    analysis.resolution = resolution;
    analysis.directions = settings.directions;
    analysis.threads = threads;
    analysis.minCavityVolume = minCavity;
    analysis.progress = progress;
    return orient(mesh, analysis);
}

Json orientationJson(const OrientResult& ranking, const ReportOrientationSettings& settings,
                     const std::optional<Profile>& profile, int resolution, double minCavity)
{
    const OrientOptions analysis = rankingOptions(profile);
    Json out = {{"resolution", resolution},
                {"process", profile ? Json(profile->name) : Json(nullptr)},
                {"ranking", criteriaOf(analysis.ranking)},
                {"overhang_angle", analysis.overhangAngle},
                {"min_cavity", minCavity},
                {"noise_voxels", noiseVoxels},
                {"best_up", formatDirection(ranking.candidates.front().up)},
                {"why_best", ranking.reason},
                {"up_chosen", settings.upChosen},
                {"directions", Json::array()}};
    for (const OrientCandidate& c : ranking.candidates)
        out["directions"].push_back(candidateJson(c, ranking.suctionCupsMeasured));
    return out;
}

} // namespace meshprobe::report
