// SPDX-License-Identifier: MIT
// The toolkit's results as JSON text, from the JSON form the tool prints.
#include "meshprobe/ResultJson.h"

#include "toolkit/json/ResultJson.h"

namespace meshprobe {

std::string toJson(const MeshInfo& info)
{
    return json::dumpJson(json::infoJson(info));
}

std::string toJson(const CavitiesResult& result, const CavityOptions& options)
{
    json::Json out = json::Json::object();
    json::addCavitiesJson(out, result, options.minVolume,
                          options.solids ? json::CavityMeshes::Solid : json::CavityMeshes::None,
                          options.drainHoleDiameter > 0);
    return json::dumpJson(out);
}

std::string toJson(const CheckResult& result, const Profile& profile)
{
    json::Json out = json::Json::object();
    json::addCheckJson(out, result, profile);
    return json::dumpJson(out);
}

std::string toJson(const OrientResult& result)
{
    json::Json directions = json::Json::array();
    for (const OrientCandidate& candidate : result.candidates)
        directions.push_back(json::orientCandidateJson(candidate));
    return json::dumpJson(json::Json{{"directions", std::move(directions)}});
}

std::string toJson(const ThinAreasResult& result, double max)
{
    json::Json out = {{"thinnest", json::thinnestJson(result.thinnest, json::shortestDouble(float(max)))}};
    out["thin_areas"] = json::Json::array();
    for (const ThinArea& area : result.areas)
        out["thin_areas"].push_back(json::thinAreaJson(area));
    json::addDroppedAreasJson(out, result);
    return json::dumpJson(out);
}

} // namespace meshprobe
