// SPDX-License-Identifier: MIT
// The built-in process profiles and the reader of profile files.
#include "meshprobe/Profile.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "meshprobe/Error.h"

namespace meshprobe {

namespace {

using Json = nlohmann::json;

constexpr const char* severityNames[] = {"ignore", "info", "warn", "fail"};

/// The figures come from published design guides of each process; the project's README lists the sources.
Profile makeBuiltin(const std::string& name)
{
    Profile p;
    p.name = name;
    p.base = name;
    p.up = printerPreset(name).up;
    if (name == "bottom-up-resin" || name == "top-down-resin") {
        const bool bottomUp = name == "bottom-up-resin";
        p.minWall = bottomUp ? 0.4 : 1.0;
        p.recommendedWall = bottomUp ? 1.0 : 2.0;
        p.drainDiameter = 3.5;
        p.sealedCavity = Severity::Fail;
        p.pocket = Severity::Warn;
        p.suctionCups = bottomUp;
        p.suctionCupVolume = 100.0;
        p.overhangAngle = 30.0;
    } else if (name == "powder") {
        p.minWall = 0.5;
        p.recommendedWall = 1.0;
        p.drainDiameter = 2.0;
        p.sealedCavity = Severity::Fail;
        p.pocket = Severity::Info;
        // Unfused powder carries the part: nothing needs supports.
        p.overhangAngle = 0.0;
    } else {
        p.minWall = 0.8;
        p.recommendedWall = 1.2;
        // Extruded parts keep no material in their voids, so there is nothing to drain.
        p.drainDiameter = 0.0;
        p.sealedCavity = Severity::Info;
        p.pocket = Severity::Ignore;
        p.overhangAngle = 45.0;
    }
    return p;
}

Severity parseSeverity(const std::string& text)
{
    for (int s = 0; s < 4; ++s)
        if (text == severityNames[s]) return static_cast<Severity>(s);
    throw InputError("'" + text + "' is not one of ignore, info, warn, fail");
}

void checkRange(double value, double low, double high, const std::string& key, const std::string& unit)
{
    if (!(value >= low && value <= high) || !std::isfinite(value)) {
        std::ostringstream text;
        text << key << ": " << value << " is outside " << low << ".." << high << (unit.empty() ? "" : " ") << unit;
        throw InputError(text.str());
    }
}

/// Reads one object of a profile file, key by key, with every error naming the key's path.
class ObjectReader {
public:
    ObjectReader(const Json& value, std::string sourceName, std::string keyPrefix)
        : object(value), source(std::move(sourceName)), prefix(std::move(keyPrefix))
    {
        if (!object.is_object()) fail(prefix.empty() ? "the profile" : trimmedPrefix(), "an object");
    }

    /// Throws for a key not in `known`.
    void onlyKeys(std::initializer_list<const char*> known) const
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool found = false;
            for (const char* k : known)
                found = found || it.key() == k;
            if (!found) {
                std::string list;
                for (const char* k : known)
                    list += (list.empty() ? "" : ", ") + std::string(k);
                throw InputError(source + ": \"" + prefix + it.key() + "\": unknown key (known here: " + list + ")");
            }
        }
    }

    bool has(const char* key) const { return object.contains(key); }

    void number(const char* key, double& into, double low, double high, const std::string& unit) const
    {
        if (!has(key)) return;
        const Json& v = object.at(key);
        if (!v.is_number()) fail(prefix + key, "a number", v);
        try {
            checkRange(v.get<double>(), low, high, "\"" + prefix + key + "\"", unit);
        } catch (const InputError& e) {
            throw InputError(source + ": " + e.what());
        }
        into = v.get<double>();
    }

    void string(const char* key, std::string& into) const
    {
        if (!has(key)) return;
        const Json& v = object.at(key);
        if (!v.is_string()) fail(prefix + key, "a string", v);
        into = v.get<std::string>();
    }

    void boolean(const char* key, bool& into) const
    {
        if (!has(key)) return;
        const Json& v = object.at(key);
        if (!v.is_boolean()) fail(prefix + key, "true or false", v);
        into = v.get<bool>();
    }

    /// A text value turned by `parse`; its error is reported under the key.
    template <typename T> void parsed(const char* key, T& into, const std::function<T(const std::string&)>& parse) const
    {
        std::string text;
        string(key, text);
        if (!has(key)) return;
        try {
            into = parse(text);
        } catch (const InputError& e) {
            throw InputError(source + ": \"" + prefix + key + "\": " + e.what());
        }
    }

    ObjectReader child(const char* key) const { return {object.at(key), source, prefix + key + "."}; }

private:
    std::string trimmedPrefix() const { return "\"" + prefix.substr(0, prefix.size() - 1) + "\""; }

    [[noreturn]] void fail(const std::string& what, const std::string& expected) const
    {
        throw InputError(source + ": " + what + ": expected " + expected + ", got " + object.dump());
    }
    [[noreturn]] void fail(const std::string& key, const std::string& expected, const Json& got) const
    {
        throw InputError(source + ": \"" + key + "\": expected " + expected + ", got " + got.dump());
    }

    const Json& object;
    std::string source;
    std::string prefix;
};

} // namespace

std::string toString(Severity severity)
{
    return severityNames[static_cast<int>(severity)];
}

const std::vector<Profile>& builtinProfiles()
{
    static const std::vector<Profile> profiles = [] {
        std::vector<Profile> out;
        for (const PrinterPreset& preset : printerPresets())
            out.push_back(makeBuiltin(preset.name));
        return out;
    }();
    return profiles;
}

const Profile& builtinProfile(const std::string& name)
{
    std::string known;
    for (const Profile& p : builtinProfiles()) {
        if (p.name == name) return p;
        known += (known.empty() ? "" : ", ") + p.name;
    }
    throw InputError("unknown process profile '" + name + "' (use " + known + ")");
}

void validate(const Profile& p)
{
    checkRange(p.minWall, 1e-3, 100.0, "walls.min", "mm");
    checkRange(p.recommendedWall, 1e-3, 100.0, "walls.recommended", "mm");
    if (p.recommendedWall < p.minWall)
        throw InputError("walls.recommended (" + std::to_string(p.recommendedWall) +
                         " mm) must be at least walls.min (" + std::to_string(p.minWall) + " mm)");
    checkRange(p.minThinArea, 0.0, 1e6, "walls.min_area", "mm²");
    checkRange(p.drainDiameter, 0.0, 100.0, "drain_diameter", "mm");
    checkRange(p.suctionCupVolume, 0.0, 1e12, "suction_cups.fail_volume", "mm³");
    checkRange(p.overhangAngle, 0.0, 90.0, "overhang_angle", "degrees");
    const double length = std::sqrt(p.up[0] * p.up[0] + p.up[1] * p.up[1] + p.up[2] * p.up[2]);
    if (!(std::fabs(length - 1.0) < 1e-6)) throw InputError("up: the build direction must be a unit vector");
}

Profile overridden(Profile profile, const ProfileOverrides& overrides)
{
    if (overrides.up) profile.up = *overrides.up;
    if (overrides.minWall) {
        profile.minWall = *overrides.minWall;
        if (!overrides.recommendedWall) profile.recommendedWall = std::max(profile.recommendedWall, profile.minWall);
    }
    if (overrides.recommendedWall) profile.recommendedWall = *overrides.recommendedWall;
    if (overrides.drainDiameter) profile.drainDiameter = *overrides.drainDiameter;
    if (profile.recommendedWall < profile.minWall) {
        std::ostringstream text;
        text << "the recommended wall " << profile.recommendedWall << " mm is below the minimum wall "
             << profile.minWall << " mm: walls warn below the first and fail below the second";
        throw InputError(text.str());
    }
    validate(profile);
    return profile;
}

Profile parseProfile(const std::string& text, const std::string& source)
{
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& e) {
        throw InputError(source + ": not valid JSON: " + e.what());
    }
    const ObjectReader top(root, source, "");
    top.onlyKeys(
        {"$schema", "name", "base", "up", "walls", "drain_diameter", "trapped", "suction_cups", "overhang_angle"});
    if (!top.has("base"))
        throw InputError(source + ": \"base\": missing; name the built-in profile to start from (bottom-up-resin, "
                                  "top-down-resin, powder or fdm)");
    std::string base;
    top.string("base", base);
    Profile profile;
    try {
        profile = builtinProfile(base);
    } catch (const InputError& e) {
        throw InputError(source + ": \"base\": " + e.what());
    }
    profile.name = source;
    top.string("name", profile.name);
    top.parsed<Direction>("up", profile.up, parseDirection);
    if (top.has("walls")) {
        const ObjectReader walls = top.child("walls");
        walls.onlyKeys({"min", "recommended", "min_area"});
        walls.number("min", profile.minWall, 1e-3, 100.0, "mm");
        walls.number("recommended", profile.recommendedWall, 1e-3, 100.0, "mm");
        walls.number("min_area", profile.minThinArea, 0.0, 1e6, "mm²");
    }
    top.number("drain_diameter", profile.drainDiameter, 0.0, 100.0, "mm");
    if (top.has("trapped")) {
        const ObjectReader trapped = top.child("trapped");
        trapped.onlyKeys({"sealed", "pocket"});
        trapped.parsed<Severity>("sealed", profile.sealedCavity, parseSeverity);
        trapped.parsed<Severity>("pocket", profile.pocket, parseSeverity);
    }
    if (top.has("suction_cups")) {
        const ObjectReader cups = top.child("suction_cups");
        cups.onlyKeys({"check", "fail_volume"});
        cups.boolean("check", profile.suctionCups);
        cups.number("fail_volume", profile.suctionCupVolume, 0.0, 1e12, "mm³");
    }
    top.number("overhang_angle", profile.overhangAngle, 0.0, 90.0, "degrees");
    try {
        validate(profile);
    } catch (const InputError& e) {
        throw InputError(source + ": " + e.what());
    }
    return profile;
}

Profile loadProfile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw InputError(path + ": cannot open the profile file for reading");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw InputError(path + ": cannot read the profile file");
    return parseProfile(text.str(), path);
}

} // namespace meshprobe
