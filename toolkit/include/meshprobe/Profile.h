// SPDX-License-Identifier: MIT
// Process profiles: what a kind of printer can build (walls, drain holes, trapped material, suction cups),
// the built-in ones and profile files that start from one of them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "meshprobe/Orientation.h"

namespace meshprobe {

/// How much a finding weighs. Ordered: the verdict of a check is its heaviest finding.
enum class Severity { Ignore, Info, Warn, Fail };

/// "ignore", "info", "warn", "fail".
std::string toString(Severity severity);

/// What a process can print and what it must not trap. Lengths mm, areas mm², volumes mm³, angles degrees.
struct Profile {
    /// The built-in profile's name, or a profile file's "name" (its file name when it has none).
    std::string name;
    /// The built-in profile it starts from ("bottom-up-resin", "top-down-resin", "powder", "fdm").
    std::string base;
    /// The model direction that points up while printing (the printer preset's, see printerPreset).
    Direction up{0.0, 0.0, 1.0};
    /// Walls thinner than this fail.
    double minWall = 0.5;
    /// Walls thinner than this (and at least minWall) warn; at least minWall.
    double recommendedWall = 1.0;
    /// Thin areas smaller than this are not reported, mm².
    double minThinArea = 1.0;
    /// Smallest drain or escape hole the process can clear; suggested holes have this diameter. 0: none.
    double drainDiameter = 2.0;
    /// The trapped-material rule: a sealed cavity (closed on every side) ...
    Severity sealedCavity = Severity::Fail;
    /// ... and a pocket that holds material when the part leaves the printer (open only upward).
    Severity pocket = Severity::Ignore;
    /// Bottom-up resin: look for air open only toward the vat (suction cups).
    bool suctionCups = false;
    /// Suction cups above this volume fail, smaller ones warn, mm³.
    double suctionCupVolume = 100.0;
    /// Faces facing down steeper than this from the horizontal print without supports; 0: every face does.
    double overhangAngle = 45.0;
};

/// The built-in profiles, one per printer preset, in the presets' order.
const std::vector<Profile>& builtinProfiles();

/// The built-in profile of that name. @throw InputError naming the known profiles
const Profile& builtinProfile(const std::string& name);

/// Checks a profile's values: positive walls with recommendedWall >= minWall, ranges of every number, a unit
/// up direction. @throw InputError naming the field (as the profile file spells it) and the valid range
void validate(const Profile& profile);

/// Values that replace a profile's for one run (the tool's --up, --min-wall, --warn-wall, --drain).
struct ProfileOverrides {
    std::optional<Direction> up;
    std::optional<double> minWall;
    std::optional<double> recommendedWall;
    std::optional<double> drainDiameter;
};

/// The profile with the overrides applied. A minimum wall above the profile's recommended wall raises the
/// recommended wall to it, unless that is overridden too.
/// @throw InputError when the result is invalid (see validate), e.g. a recommended wall below the minimum
Profile overridden(Profile profile, const ProfileOverrides& overrides);

/// Reads a profile from JSON text: {"base": "powder", "min_wall": 0.7, ...} (schemas/profile.schema.json).
/// Values not given are the base's. `source` names the text in messages (usually the file's path).
/// @throw InputError "part.json: \"walls.min\": expected a number, got \"thin\"": not JSON, unknown keys,
///        wrong types, values out of range, an unknown base; every message names the source and the key path
Profile parseProfile(const std::string& text, const std::string& source);

/// Reads a profile file. @throw InputError for a missing or unreadable file, or as parseProfile
Profile loadProfile(const std::string& path);

} // namespace meshprobe
