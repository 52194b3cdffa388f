// SPDX-License-Identifier: MIT
// The printability check: mesh soundness, thin walls, trapped material and suction cups judged by a process
// profile.
#include "meshprobe/Check.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "meshprobe/Cavities.h"
#include "meshprobe/Error.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThinAreas.h"
#include "meshprobe/detail/ProgressSlice.h"
#include "toolkit/src/checks/MeshBox.h"
#include "toolkit/src/orient/BuildFigures.h"
#include "toolkit/src/cavities/SuctionCups.h"

namespace meshprobe {

namespace {

using Point = std::array<double, 3>;

std::string number(double value)
{
    std::ostringstream text;
    text.precision(value != 0.0 && std::fabs(value) < 0.1 ? 2 : 4);
    text << (std::fabs(value) < 5e-5 ? 0.0 : value);
    return text.str();
}

std::string pointText(const Point& p)
{
    return "(" + number(p[0]) + ", " + number(p[1]) + ", " + number(p[2]) + ")";
}

ProgressCallback slice(const ProgressCallback& progress, float from, float to)
{
    return detail::ProgressSlice{progress, from, to}.asCallback();
}

void report(const ProgressCallback& progress, float percent)
{
    if (progress && !progress(percent)) throw Cancelled();
}

Point faceCentroid(const MeshView& mesh, std::uint32_t face)
{
    Point c{};
    for (int corner = 0; corner < 3; ++corner) {
        const float* p = mesh.vertices + 3 * std::size_t(mesh.triangles[3 * std::size_t(face) + corner]);
        for (int k = 0; k < 3; ++k)
            c[k] += p[k] / 3.0;
    }
    return c;
}

Point boxSize(const Point& lo, const Point& hi)
{
    return {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
}

std::string sizeText(const Point& s)
{
    return number(s[0]) + " x " + number(s[1]) + " x " + number(s[2]) + " mm";
}

bool isResin(const Profile& profile)
{
    return profile.base == "bottom-up-resin" || profile.base == "top-down-resin";
}

/// What a sealed cavity holds after printing in that process.
std::string trappedMaterial(const Profile& profile)
{
    if (isResin(profile)) return "uncured resin";
    if (profile.base == "powder") return "unfused powder";
    return "material";
}

// ---------------------------------------------------------------------------------------------------------
// Mesh soundness

struct MeshRule {
    const char* warning;
    const char* code;
    Severity severity;
    const char* fix;
};

// Holes and inside-out shells make every measure meaningless (a wall is measured from the wrong side, air is
// taken for material), so they fail; the rest can still be printed and warn.
constexpr MeshRule meshRules[] = {
    {"open-edges", "open_mesh", Severity::Fail, "close the holes in a mesh repair tool before printing"},
    {"inside-out", "inside_out", Severity::Fail, "turn the faces outward (meshprobe --fix-winding)"},
    {"inconsistent-winding", "inconsistent_winding", Severity::Warn,
     "make the winding consistent (meshprobe --fix-winding)"},
    {"non-manifold-edges", "non_manifold", Severity::Warn, "repair the edges shared by more than two faces"},
    {"several-bodies", "several_bodies", Severity::Warn, "check that the bodies are meant to print together"},
    {"zero-area-faces", "zero_area_faces", Severity::Warn, "remove the degenerate faces"},
};

void addMeshFindings(const std::vector<MeshWarning>& warnings, std::vector<Finding>& findings)
{
    for (const MeshWarning& w : warnings)
        for (const MeshRule& rule : meshRules)
            if (w.code == rule.warning) {
                Finding f;
                f.code = rule.code;
                f.severity = rule.severity;
                f.message = w.text;
                f.measure = double(w.count);
                f.fix = rule.fix;
                findings.push_back(std::move(f));
            }
}

// ---------------------------------------------------------------------------------------------------------
// Walls

std::optional<double> addWallFindings(const MeshView& mesh, const Profile& profile, const CheckOptions& options,
                                      const ProgressCallback& progress, std::vector<Finding>& findings)
{
    ThicknessOptions thicknessOptions;
    thicknessOptions.min = 0.0f;
    thicknessOptions.max = static_cast<float>(profile.recommendedWall);
    thicknessOptions.threads = options.threads;
    thicknessOptions.progress = progress;
    const ThicknessResult walls = thickness(mesh, thicknessOptions);

    // The window [0, recommended wall) holds every face that is too thin for this process.
    ThinAreaOptions areaOptions;
    areaOptions.min = 0.0f;
    areaOptions.max = thicknessOptions.max;
    areaOptions.minArea = profile.minThinArea;
    areaOptions.threads = options.threads;
    const ThinAreasResult thin = thinAreas(mesh, walls.perFace, areaOptions);

    std::optional<double> thinnest;
    for (float t : walls.perFace)
        if (isThin(t, areaOptions.min, areaOptions.max) && (!thinnest || t < *thinnest)) thinnest = t;

    for (const ThinArea& area : thin.areas) {
        const double t = area.minThickness;
        const bool fails = t < profile.minWall;
        Finding f;
        f.code = "thin_wall";
        f.severity = fails ? Severity::Fail : Severity::Warn;
        f.message = "wall " + number(t) + " mm thick over " + number(area.area) + " mm², " +
                    (fails ? "below the process' minimum of " + number(profile.minWall)
                           : "below the recommended " + number(profile.recommendedWall)) +
                    " mm";
        f.where = faceCentroid(mesh, area.thinnestFace);
        f.measure = t;
        f.limit = fails ? profile.minWall : profile.recommendedWall;
        f.unit = "mm";
        f.area = area.area;
        f.size = boxSize(area.boundsMin, area.boundsMax);
        f.fix = "thicken the wall to at least " + number(profile.recommendedWall) + " mm" +
                (fails ? "; below " + number(profile.minWall) + " mm it may not print at all" : "");
        findings.push_back(std::move(f));
    }
    return thinnest;
}

// ---------------------------------------------------------------------------------------------------------
// Trapped material

std::string holeText(const DrainHole& hole)
{
    return "a " + hole.kind + " of " + number(hole.diameter) + " mm drilled from " + pointText(hole.exitPoint) +
           " to " + pointText(hole.wallPoint);
}

/// Why no straight hole of the diameter was suggested.
std::string fitText(const CavityReport& cavity, double diameter)
{
    if (!cavity.largestHoleDiameter || *cavity.largestHoleDiameter <= 0.0)
        return "no straight hole avoids the other cavities and the build plate";
    return "no straight " + number(diameter) + " mm hole fits; the largest that fits is " +
           number(*cavity.largestHoleDiameter) + " mm";
}

Finding sealedFinding(const CavityReport& cavity, const Profile& profile)
{
    Finding f;
    f.code = "trapped";
    f.severity = profile.sealedCavity;
    f.where = cavity.centroid;
    f.measure = cavity.estimatedVolume;
    f.unit = "mm³";
    f.size = boxSize(cavity.boundsMin, cavity.boundsMax);
    f.drain = cavity.drain;
    f.vent = cavity.vent;
    f.largestHole = cavity.largestHoleDiameter;
    if (profile.sealedCavity <= Severity::Info) {
        f.message = "sealed void of " + number(cavity.estimatedVolume) + " mm³ (" + sizeText(*f.size) +
                    "); it traps nothing in this process";
        f.fix = "none needed";
        return f;
    }
    f.message = "sealed cavity of " + number(cavity.estimatedVolume) + " mm³ (" + sizeText(*f.size) + ") traps " +
                trappedMaterial(profile);
    const std::string d = number(profile.drainDiameter);
    if (cavity.drain && cavity.vent)
        f.fix = "add " + holeText(*cavity.drain) + " and " + holeText(*cavity.vent);
    else if (profile.drainDiameter > 0)
        f.fix = "add a drain hole of at least " + d + " mm at its lowest point " + pointText(cavity.lowestPoint) +
                " and a vent of at least " + d + " mm at its highest point " + pointText(cavity.highestPoint) + " (" +
                fitText(cavity, profile.drainDiameter) + ")";
    else
        f.fix = "open the cavity or fill it";
    return f;
}

Finding pocketFinding(const CavityReport& cavity, const Profile& profile)
{
    Finding f;
    f.code = "pocket";
    f.severity = profile.pocket;
    f.where = cavity.lowestPoint;
    f.measure = cavity.estimatedVolume;
    f.unit = "mm³";
    f.size = boxSize(cavity.boundsMin, cavity.boundsMax);
    if (isResin(profile)) {
        f.message = "pocket of " + number(cavity.estimatedVolume) + " mm³ (" + sizeText(*f.size) +
                    ") holds liquid resin when the part leaves the vat";
        f.fix = "drain it after the print, or turn the part so that the pocket opens downward";
    } else {
        f.message = "open pocket of " + number(cavity.estimatedVolume) + " mm³ (" + sizeText(*f.size) +
                    "); its material can be cleared through the opening";
        f.fix = "clear it after the print";
    }
    return f;
}

void addCavityFindings(const MeshView& mesh, const Profile& profile, const CheckOptions& options,
                       const ProgressCallback& progress, CheckResult& result)
{
    CavityOptions cavityOptions;
    cavityOptions.resolution = options.resolution;
    cavityOptions.up = profile.up;
    cavityOptions.threads = options.threads;
    cavityOptions.minVoxels = noiseVoxels;
    cavityOptions.solids = false;
    // A hole wider than the part's box fits nowhere: the finding then asks for one without suggesting where.
    const double diagonal = detail::boxOf(mesh).diagonal();
    if (profile.sealedCavity >= Severity::Warn && profile.drainDiameter <= diagonal)
        cavityOptions.drainHoleDiameter = profile.drainDiameter;
    cavityOptions.progress = progress;
    const CavitiesResult cavities = findCavities(mesh, cavityOptions);
    result.voxelSize = cavities.voxelSize;
    result.ignoredTinyCavities += cavities.tinyCavities;
    for (const CavityReport& cavity : cavities.cavities) {
        if (cavity.closed && profile.sealedCavity != Severity::Ignore)
            result.findings.push_back(sealedFinding(cavity, profile));
        else if (!cavity.closed && profile.pocket != Severity::Ignore)
            result.findings.push_back(pocketFinding(cavity, profile));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Suction cups

void addSuctionCupFindings(const MeshView& mesh, const Profile& profile, const CheckOptions& options,
                           const ProgressCallback& progress, CheckResult& result)
{
    const detail::SuctionCups cups =
        detail::findSuctionCups(mesh, profile.up, options.resolution, options.threads, noiseVoxels, 0.0, progress);
    result.ignoredTinyCavities += cups.tinyCavities;
    for (const CavityReport& cup : cups.cups) {
        const double volume = cup.estimatedVolume;
        const bool fails = volume > profile.suctionCupVolume;
        Finding f;
        f.code = "suction_cup";
        f.severity = fails ? Severity::Fail : Severity::Warn;
        f.size = boxSize(cup.boundsMin, cup.boundsMax);
        // Run upside down, the cup's highest layer is its rim toward the vat and its lowest its top as printed.
        f.where = cup.highestPoint;
        f.measure = volume;
        f.limit = profile.suctionCupVolume;
        f.unit = "mm³";
        f.message = "suction cup of " + number(volume) + " mm³ (" + sizeText(*f.size) + ") open only toward the vat, " +
                    (fails ? "above" : "below") + " the process' limit of " + number(profile.suctionCupVolume) +
                    " mm³; rim toward the vat";
        f.fix = "add a vent" +
                (profile.drainDiameter > 0 ? " of at least " + number(profile.drainDiameter) + " mm" : std::string()) +
                " at the cup's top " + pointText(cup.lowestPoint) + ", or print in another orientation";
        result.findings.push_back(std::move(f));
    }
}

// ---------------------------------------------------------------------------------------------------------
// Supports

/// The faces that need support and the regions that start in mid-air: a note, not a fault (every process
/// that needs supports can add them), with the figures orient ranks directions by.
void addSupportFinding(const MeshView& mesh, const Profile& profile, std::vector<Finding>& findings)
{
    const detail::BuildFigureValues figures = detail::BuildFigures(mesh).measure(profile.up, profile.overhangAngle);
    if (figures.overhangArea <= 0.0 && figures.islands == 0) return;
    Finding f;
    f.code = "supports";
    f.severity = Severity::Info;
    f.message = number(figures.overhangArea) + " mm² of faces face down at less than " + number(profile.overhangAngle) +
                "° from the horizontal and need support" +
                (figures.islands ? "; " + std::to_string(figures.islands) + " region" +
                                       (figures.islands == 1 ? " starts" : "s start") + " in mid-air"
                                 : std::string());
    f.measure = figures.overhangArea;
    f.unit = "mm²";
    f.area = figures.overhangArea;
    f.fix = "add supports there, or turn the part (meshprobe orient ranks build directions by support area)";
    findings.push_back(std::move(f));
}

void checkOptions(const CheckOptions& options)
{
    if (options.resolution < 1 || options.resolution > 1290)
        throw InputError("resolution " + std::to_string(options.resolution) + " is outside 1..1290");
    if (options.threads < 0) throw InputError("threads " + std::to_string(options.threads) + " is negative");
}

} // namespace

std::string toString(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Pass:
        return "pass";
    case Verdict::Warn:
        return "warn";
    case Verdict::Fail:
        return "fail";
    }
    return "fail";
}

CheckResult check(const MeshView& input, const Profile& profile, const CheckOptions& options)
{
    validate(input);
    validate(profile);
    checkOptions(options);
    CheckResult result;
    const ProgressCallback& progress = options.progress;
    report(progress, 0.0f);

    Mesh repaired;
    MeshView mesh = input;
    if (options.fixWinding) {
        WindingFix fix = fixWinding(input);
        result.flippedFaces = fix.flippedFaces;
        repaired = std::move(fix.mesh);
        mesh = repaired.view();
    }
    result.meshWarnings = checkMesh(mesh);
    addMeshFindings(result.meshWarnings, result.findings);
    report(progress, 5.0f);

    const bool insideOut = std::any_of(result.meshWarnings.begin(), result.meshWarnings.end(),
                                       [](const MeshWarning& w) { return w.code == "inside-out"; });
    if (insideOut || mesh.triangleCount == 0) {
        Finding f;
        f.code = "not_analysed";
        f.severity = Severity::Info;
        f.message = insideOut ? "walls and cavities were not checked: the mesh is inside out"
                              : "walls and cavities were not checked: the mesh has no faces";
        f.fix = insideOut ? "turn the faces outward (meshprobe --fix-winding) and check again" : "";
        result.findings.push_back(std::move(f));
    } else {
        const bool cavities = profile.sealedCavity != Severity::Ignore || profile.pocket != Severity::Ignore;
        const float wallsEnd = cavities || profile.suctionCups ? 40.0f : 100.0f;
        const float cavitiesEnd = profile.suctionCups ? 70.0f : 100.0f;
        result.thinnestWall = addWallFindings(mesh, profile, options, slice(progress, 5.0f, wallsEnd), result.findings);
        if (cavities) addCavityFindings(mesh, profile, options, slice(progress, wallsEnd, cavitiesEnd), result);
        if (profile.suctionCups)
            addSuctionCupFindings(mesh, profile, options, slice(progress, cavitiesEnd, 100.0f), result);
        addSupportFinding(mesh, profile, result.findings);
    }

    std::stable_sort(result.findings.begin(), result.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.severity > b.severity; });
    const Severity heaviest = result.findings.empty() ? Severity::Info : result.findings.front().severity;
    result.verdict = heaviest == Severity::Fail   ? Verdict::Fail
                     : heaviest == Severity::Warn ? Verdict::Warn
                                                  : Verdict::Pass;
    report(progress, 100.0f);
    return result;
}

} // namespace meshprobe
