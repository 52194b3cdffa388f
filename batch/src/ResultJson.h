// SPDX-License-Identifier: MIT
// The JSON form of the toolkit's results that batch records, the tool and the report share.
#pragma once

#include <nlohmann/json.hpp>

#include "meshprobe/Check.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/Profile.h"

namespace meshprobe::json {

/// A float as the double with the shortest decimal form that reads back as the same float, so that JSON
/// shows 0.3 instead of 0.30000001192092896.
double shortestDouble(float value);

/// "bounds", "watertight", "nonmanifold_edges", "bad_edges", "border_edges", "volume", "area".
nlohmann::ordered_json infoJson(const MeshInfo& info);

/// A profile as its file spells it: "name", "base", "up", "walls" {"min", "recommended", "min_area"},
/// "drain_diameter", "trapped" {"sealed", "pocket"}, "suction_cups" {"check", "fail_volume"}, "overhang_angle".
nlohmann::ordered_json profileJson(const Profile& profile);

/// One finding: "code", "severity", "message", then those present of "where", "measure", "limit", "unit",
/// "area", "size", "drain", "vent", and "fix".
nlohmann::ordered_json findingJson(const Finding& finding);

/// The verdict's keys: "verdict", "profile", "findings", "counts" {"fail", "warn", "info"}, "thinnest_wall"
/// (null when no wall is thinner than the recommended one), "ignored_tiny_cavities".
void addCheckJson(nlohmann::ordered_json& into, const CheckResult& result, const Profile& profile);

} // namespace meshprobe::json
