// SPDX-License-Identifier: MIT
// The printability check on generated parts with known answers: every process rule, the mesh checks, and
// profile files with bad keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "meshprobe/Check.h"
#include "meshprobe/Error.h"
#include "meshprobe/Profile.h"
#include "tests/support/PrintParts.h"

namespace {

using meshprobe::Severity;
using meshprobe::Verdict;
using namespace printparts;
using testmesh::Soup;

meshprobe::CheckResult run(const Soup& soup, const std::string& printer)
{
    meshprobe::CheckOptions options;
    options.resolution = 64;
    options.threads = 2;
    return meshprobe::check(soup.view(), meshprobe::builtinProfile(printer), options);
}

std::vector<const meshprobe::Finding*> withCode(const meshprobe::CheckResult& result, const std::string& code)
{
    std::vector<const meshprobe::Finding*> out;
    for (const meshprobe::Finding& f : result.findings)
        if (f.code == code) out.push_back(&f);
    return out;
}

struct RuleCase {
    const char* name;
    Soup (*part)();
    const char* printer;
    Verdict verdict;
    /// The one cavity finding expected ("" for none) and its severity.
    const char* code;
    Severity severity;
};

class ProcessRules : public testing::TestWithParam<RuleCase> {};

TEST_P(ProcessRules, VerdictAndCavityFinding)
{
    const RuleCase& c = GetParam();
    const meshprobe::CheckResult result = run(c.part(), c.printer);
    EXPECT_EQ(result.verdict, c.verdict);
    std::size_t cavityFindings = 0;
    for (const meshprobe::Finding& f : result.findings) {
        const bool isCavity = f.code == "trapped" || f.code == "pocket" || f.code == "suction_cup";
        if (!isCavity) continue;
        ++cavityFindings;
        EXPECT_EQ(f.code, c.code);
        EXPECT_EQ(f.severity, c.severity);
    }
    EXPECT_EQ(cavityFindings, std::string(c.code).empty() ? 0u : 1u);
    EXPECT_TRUE(withCode(result, "thin_wall").empty()) << "walls of 4 mm and more are thick for every process";
}

INSTANTIATE_TEST_SUITE_P(
    Check, ProcessRules,
    testing::Values(
        RuleCase{"SealedTopDownResin", sealedHollowBox, "top-down-resin", Verdict::Fail, "trapped", Severity::Fail},
        RuleCase{"SealedBottomUpResin", sealedHollowBox, "bottom-up-resin", Verdict::Fail, "trapped", Severity::Fail},
        RuleCase{"SealedPowder", sealedHollowBox, "powder", Verdict::Fail, "trapped", Severity::Fail},
        RuleCase{"SealedFdm", sealedHollowBox, "fdm", Verdict::Pass, "trapped", Severity::Info},
        RuleCase{"CupUpPowder", cupOpeningUp, "powder", Verdict::Pass, "pocket", Severity::Info},
        RuleCase{"CupUpTopDownResin", cupOpeningUp, "top-down-resin", Verdict::Warn, "pocket", Severity::Warn},
        RuleCase{"CupUpFdm", cupOpeningUp, "fdm", Verdict::Pass, "", Severity::Info},
        RuleCase{"CupTowardVatBottomUpResin", cupOpeningUp, "bottom-up-resin", Verdict::Fail, "suction_cup",
                 Severity::Fail},
        RuleCase{"TubeTopDownResin", tubeThroughZ, "top-down-resin", Verdict::Pass, "", Severity::Info},
        RuleCase{"TubeClosedByPlateBottomUpResin", tubeThroughZ, "bottom-up-resin", Verdict::Fail, "suction_cup",
                 Severity::Fail}),
    [](const testing::TestParamInfo<RuleCase>& param) { return std::string(param.param.name); });

TEST(Check, SuctionCupHasTheCupsVolumeRimAndVent)
{
    // Printed with -z up, the cup's opening at z = 20 faces the vat: its rim is there, its top at z = 4.
    const meshprobe::CheckResult result = run(cupOpeningUp(), "bottom-up-resin");
    const auto cups = withCode(result, "suction_cup");
    ASSERT_EQ(cups.size(), 1u);
    const meshprobe::Finding& cup = *cups.front();
    // The estimate is within a voxel layer (20/64 mm) all round of the true 2304 mm³.
    EXPECT_NEAR(*cup.measure, 2304.0, 0.1 * 2304.0);
    EXPECT_EQ(*cup.limit, meshprobe::builtinProfile("bottom-up-resin").suctionCupVolume);
    EXPECT_NEAR((*cup.where)[2], 20.0, 0.5);
    EXPECT_NEAR((*cup.size)[0], 12.0, 0.7);
    // The vent goes at the cup's top: the middle of its floor at z = 4, within a voxel.
    double top[3] = {};
    const std::size_t at = cup.fix.find("cup's top (");
    ASSERT_NE(at, std::string::npos) << cup.fix;
    ASSERT_EQ(std::sscanf(cup.fix.c_str() + at, "cup's top (%lf, %lf, %lf)", &top[0], &top[1], &top[2]), 3);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(top[k], k == 2 ? 4.0 : 10.0, 20.0 / 64) << cup.fix;
}

TEST(Check, SuctionCupsForATiltedBuildDirection)
{
    // Tilted by about 6 degrees the cup still faces the vat. The tube's end no longer lies on the plate
    // (the plate touches the tilted part along one edge), so it stays open at both ends and is no cup.
    // Turned on its side (+x up) the cup holds nothing either.
    meshprobe::Profile tilted = meshprobe::builtinProfile("bottom-up-resin");
    tilted.up = meshprobe::parseDirection("0.1,0,-1");
    meshprobe::Profile sideways = tilted;
    sideways.up = {1.0, 0.0, 0.0};
    meshprobe::CheckOptions options;
    options.resolution = 64;
    const meshprobe::CheckResult leaning = meshprobe::check(cupOpeningUp().view(), tilted, options);
    ASSERT_EQ(withCode(leaning, "suction_cup").size(), 1u);
    EXPECT_NEAR(*withCode(leaning, "suction_cup").front()->measure, 2304.0, 0.1 * 2304.0);
    EXPECT_TRUE(withCode(meshprobe::check(tubeThroughZ().view(), tilted, options), "suction_cup").empty());
    EXPECT_TRUE(withCode(meshprobe::check(cupOpeningUp().view(), sideways, options), "suction_cup").empty());
}

TEST(Check, SmallCupWarnsBelowTheProfilesVolume)
{
    meshprobe::Profile profile = meshprobe::builtinProfile("bottom-up-resin");
    profile.suctionCupVolume = 5000.0;
    meshprobe::CheckOptions options;
    options.resolution = 64;
    const meshprobe::CheckResult result = meshprobe::check(cupOpeningUp().view(), profile, options);
    EXPECT_EQ(result.verdict, Verdict::Warn);
    ASSERT_EQ(withCode(result, "suction_cup").size(), 1u);
    EXPECT_EQ(withCode(result, "suction_cup").front()->severity, Severity::Warn);
}

TEST(Check, SealedCavityGetsDrainAndVentOfTheProfilesDiameter)
{
    const meshprobe::CheckResult result = run(sealedHollowBox(), "top-down-resin");
    const auto trapped = withCode(result, "trapped");
    ASSERT_EQ(trapped.size(), 1u);
    EXPECT_NEAR(*trapped.front()->measure, 1000.0, 150.0);
    ASSERT_TRUE(trapped.front()->drain && trapped.front()->vent);
    EXPECT_EQ(trapped.front()->drain->diameter, 3.5);
    EXPECT_EQ(trapped.front()->vent->diameter, 3.5);
    // The drain leaves from the cavity's floor, the vent from its ceiling.
    EXPECT_LT(trapped.front()->drain->wallPoint[2], trapped.front()->vent->wallPoint[2]);
    EXPECT_FALSE(trapped.front()->largestHole);
    // A 12 mm drill fits no 10 mm cube of air: no holes, and the fix names the largest that fits.
    meshprobe::Profile wide = meshprobe::builtinProfile("top-down-resin");
    wide.drainDiameter = 12;
    meshprobe::CheckOptions options;
    options.resolution = 64;
    const meshprobe::CheckResult wideResult = meshprobe::check(sealedHollowBox().view(), wide, options);
    const auto refused = withCode(wideResult, "trapped");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_FALSE(refused.front()->drain || refused.front()->vent);
    ASSERT_TRUE(refused.front()->largestHole);
    EXPECT_GT(*refused.front()->largestHole, 9.0);
    EXPECT_LT(*refused.front()->largestHole, 11.0);
    EXPECT_NE(refused.front()->fix.find("no straight 12 mm hole fits; the largest that fits is"), std::string::npos)
        << refused.front()->fix;
}

TEST(Check, FinsBelowMinimumFailAndBetweenMinimumAndRecommendedWarn)
{
    // Powder: fail below 0.5 mm, warn below 1 mm.
    const meshprobe::CheckResult result = run(finPlate(), "powder");
    EXPECT_EQ(result.verdict, Verdict::Fail);
    const auto thin = withCode(result, "thin_wall");
    // One finding per fin: both sides of a wall are one thin area.
    ASSERT_EQ(thin.size(), 2u);
    bool sawFail = false, sawWarn = false;
    for (const meshprobe::Finding* f : thin) {
        const bool onThinFin = (*f->where)[0] < 15.0;
        EXPECT_NEAR(*f->measure, onThinFin ? 0.3 : 0.7, 0.02);
        EXPECT_EQ(f->severity, onThinFin ? Severity::Fail : Severity::Warn);
        EXPECT_NEAR(*f->area, 280.0, 1.0) << "both sides of a fin, 20 x 7 mm each";
        sawFail = sawFail || onThinFin;
        sawWarn = sawWarn || !onThinFin;
    }
    EXPECT_TRUE(sawFail && sawWarn);
    ASSERT_TRUE(result.thinnestWall);
    EXPECT_NEAR(*result.thinnestWall, 0.3, 0.02);
}

TEST(Check, ThinAreasBelowTheProfilesAreaAreNotReported)
{
    meshprobe::Profile profile = meshprobe::builtinProfile("powder");
    profile.minThinArea = 300.0; // a fin's two sides cover 280 mm²
    const meshprobe::CheckResult result = meshprobe::check(finPlate().view(), profile, {});
    EXPECT_TRUE(withCode(result, "thin_wall").empty());
    EXPECT_EQ(result.verdict, Verdict::Pass);
}

TEST(Check, BrokenMeshesFailWithTheFixNamed)
{
    const meshprobe::CheckResult insideOut = run(insideOutBox(), "fdm");
    EXPECT_EQ(insideOut.verdict, Verdict::Fail);
    ASSERT_EQ(withCode(insideOut, "inside_out").size(), 1u);
    EXPECT_NE(withCode(insideOut, "inside_out").front()->fix.find("--fix-winding"), std::string::npos);
    EXPECT_EQ(withCode(insideOut, "not_analysed").size(), 1u);

    const meshprobe::CheckResult open = run(openBox(), "powder");
    EXPECT_EQ(open.verdict, Verdict::Fail);
    EXPECT_EQ(withCode(open, "open_mesh").size(), 1u);

    meshprobe::CheckOptions repair;
    repair.resolution = 32;
    repair.fixWinding = true;
    const meshprobe::CheckResult fixed =
        meshprobe::check(insideOutBox().view(), meshprobe::builtinProfile("fdm"), repair);
    EXPECT_EQ(fixed.verdict, Verdict::Pass);
    EXPECT_EQ(fixed.flippedFaces, 12u);
}

TEST(Check, ProgressRisesToTheEndAndCancels)
{
    std::vector<float> seen;
    meshprobe::CheckOptions options;
    options.resolution = 32;
    options.progress = [&](float p) {
        seen.push_back(p);
        return true;
    };
    meshprobe::check(cupOpeningUp().view(), meshprobe::builtinProfile("bottom-up-resin"), options);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100.0f);

    options.progress = [](float p) { return p < 50.0f; };
    EXPECT_THROW(meshprobe::check(cupOpeningUp().view(), meshprobe::builtinProfile("bottom-up-resin"), options),
                 meshprobe::Cancelled);
}

struct BadProfile {
    const char* json;
    const char* mentions;
};

class ProfileFiles : public testing::TestWithParam<BadProfile> {};

TEST_P(ProfileFiles, BadValuesNameTheKeysPath)
{
    try {
        meshprobe::parseProfile(GetParam().json, "shop.json");
        FAIL() << "accepted " << GetParam().json;
    } catch (const meshprobe::InputError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("shop.json: ", 0), 0u) << message;
        EXPECT_NE(message.find(GetParam().mentions), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Check, ProfileFiles,
    testing::Values(BadProfile{R"({"base": "powder", "wals": {}})", "\"wals\": unknown key"},
                    BadProfile{R"({"base": "powder", "walls": {"minimum": 1}})", "\"walls.minimum\": unknown key"},
                    BadProfile{R"({"base": "powder", "walls": {"min": "thin"}})", "\"walls.min\": expected a number"},
                    BadProfile{R"({"base": "powder", "walls": {"min": -1}})", "\"walls.min\": -1 is outside"},
                    BadProfile{R"({"base": "powder", "walls": {"min": 2}})", "walls.recommended"},
                    BadProfile{R"({"base": "powder", "trapped": {"sealed": "maybe"}})", "\"trapped.sealed\""},
                    BadProfile{R"({"base": "powder", "suction_cups": {"check": 1}})", "\"suction_cups.check\""},
                    BadProfile{R"({"base": "powder", "up": "sideways"})", "\"up\""},
                    BadProfile{R"({"base": "sla"})", "\"base\": unknown process profile 'sla'"},
                    BadProfile{R"({"walls": {"min": 1}})", "\"base\": missing"},
                    BadProfile{R"({"base": "powder", "walls": 1})", "\"walls\": expected an object"},
                    BadProfile{R"({"base": "powder",})", "not valid JSON"}));

TEST(Check, ProfileFileOverridesItsBase)
{
    const meshprobe::Profile p = meshprobe::parseProfile(
        R"({"name": "shop resin", "base": "bottom-up-resin", "walls": {"min": 0.6}, "drain_diameter": 5,
            "trapped": {"pocket": "fail"}, "suction_cups": {"check": false}})",
        "shop.json");
    const meshprobe::Profile& base = meshprobe::builtinProfile("bottom-up-resin");
    EXPECT_EQ(p.name, "shop resin");
    EXPECT_EQ(p.minWall, 0.6);
    EXPECT_EQ(p.recommendedWall, base.recommendedWall);
    EXPECT_EQ(p.drainDiameter, 5.0);
    EXPECT_EQ(p.pocket, Severity::Fail);
    EXPECT_EQ(p.sealedCavity, base.sealedCavity);
    EXPECT_FALSE(p.suctionCups);
    EXPECT_EQ(p.up, base.up);
}

TEST(Check, BuiltinProfilesFollowThePrinterPresets)
{
    for (const meshprobe::PrinterPreset& preset : meshprobe::printerPresets()) {
        const meshprobe::Profile& p = meshprobe::builtinProfile(preset.name);
        EXPECT_EQ(p.up, preset.up) << preset.name;
        EXPECT_NO_THROW(meshprobe::validate(p)) << preset.name;
        EXPECT_EQ(p.suctionCups, preset.name == "bottom-up-resin");
    }
    EXPECT_THROW(meshprobe::builtinProfile("sla"), meshprobe::InputError);
}

} // namespace
