// SPDX-License-Identifier: MIT
// The JSON form of the toolkit's results that batch records, the tool and the report share.
#include "toolkit/batch/ResultJson.h"

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

nlohmann::ordered_json infoJson(const MeshInfo& info)
{
    const auto triple = [](const std::array<float, 3>& v) {
        return nlohmann::ordered_json::array({shortestDouble(v[0]), shortestDouble(v[1]), shortestDouble(v[2])});
    };
    return {{"bounds", nlohmann::ordered_json::array({triple(info.boundsMin), triple(info.boundsMax)})},
            {"watertight", info.watertight},
            {"nonmanifold_edges", info.nonManifoldEdges},
            {"bad_edges", info.badEdges},
            {"border_edges", info.borderEdges},
            {"volume", info.volume},
            {"inside_out", info.insideOut},
            {"area", info.area}};
}

} // namespace meshprobe::json

namespace meshprobe::json {

namespace {

nlohmann::ordered_json point(const std::array<double, 3>& p)
{
    // + 0.0 turns the rotations' -0 into 0, which a reader of the JSON would take for a different value.
    return {p[0] + 0.0, p[1] + 0.0, p[2] + 0.0};
}

nlohmann::ordered_json holeJson(const DrainHole& hole)
{
    return {{"kind", hole.kind},
            {"wall_point", point(hole.wallPoint)},
            {"exit_point", point(hole.exitPoint)},
            {"direction", point(hole.direction)},
            {"length", hole.length},
            {"diameter", hole.diameter},
            {"reachable", hole.reachable}};
}

} // namespace

nlohmann::ordered_json profileJson(const Profile& p)
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

nlohmann::ordered_json findingJson(const Finding& f)
{
    nlohmann::ordered_json j = {{"code", f.code}, {"severity", toString(f.severity)}, {"message", f.message}};
    if (f.where) j["where"] = point(*f.where);
    if (f.measure) j["measure"] = *f.measure;
    if (f.limit) j["limit"] = *f.limit;
    if (f.measure) j["unit"] = f.unit;
    if (f.area) j["area"] = *f.area;
    if (f.size) j["size"] = point(*f.size);
    if (f.drain) j["drain"] = holeJson(*f.drain);
    if (f.vent) j["vent"] = holeJson(*f.vent);
    if (f.largestHole) j["largest_hole"] = *f.largestHole;
    j["fix"] = f.fix;
    return j;
}

void addCheckJson(nlohmann::ordered_json& into, const CheckResult& result, const Profile& profile)
{
    into["verdict"] = toString(result.verdict);
    into["profile"] = profileJson(profile);
    std::size_t counts[4] = {};
    into["findings"] = nlohmann::ordered_json::array();
    for (const Finding& f : result.findings) {
        ++counts[static_cast<int>(f.severity)];
        into["findings"].push_back(findingJson(f));
    }
    into["counts"] = {{"fail", counts[static_cast<int>(Severity::Fail)]},
                      {"warn", counts[static_cast<int>(Severity::Warn)]},
                      {"info", counts[static_cast<int>(Severity::Info)]}};
    into["thinnest_wall"] = result.thinnestWall ? nlohmann::ordered_json(*result.thinnestWall) : nullptr;
    into["ignored_tiny_cavities"] = result.ignoredTinyCavities;
}

} // namespace meshprobe::json
