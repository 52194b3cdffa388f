// SPDX-License-Identifier: MIT
// End to end: `meshprobe check` and `batch --printer` on parts with known answers give the same verdicts, the
// exit codes the verdicts call for, and refuse bad profile files naming the key.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"
#include "tests/support/PrintParts.h"

namespace {

using clitest::runTool;
using clitest::TempDir;
using nlohmann::json;

struct VerdictCase {
    const char* name;
    testmesh::Soup (*part)();
    const char* printer;
    const char* verdict;
    /// A finding code the verdict must come with.
    const char* code;
};

class CheckVerdicts : public testing::TestWithParam<VerdictCase> {};

TEST_P(CheckVerdicts, ToolAndBatchAgree)
{
    const VerdictCase& c = GetParam();
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, std::string(c.name) + ".stl", c.part());
    const clitest::ToolResult run = runTool({"check", path, "--printer", c.printer, "-r", "64", "-j", "2", "--json"});
    const int expectedExit = std::string(c.verdict) == "fail" ? 3 : 0;
    ASSERT_EQ(run.exitCode, expectedExit) << run.err << run.out;
    const json report = json::parse(run.out);
    EXPECT_EQ(report["command"], "check");
    EXPECT_EQ(report["verdict"], c.verdict);
    EXPECT_EQ(report["profile"]["name"], c.printer);
    bool found = false;
    for (const json& f : report["findings"])
        found = found || f["code"] == c.code;
    EXPECT_TRUE(found) << report["findings"].dump(1);

    const clitest::ToolResult batch = runTool({"batch", path, "--printer", c.printer, "-r", "64", "--jobs", "1"});
    EXPECT_EQ(batch.exitCode, expectedExit) << batch.err;
    const json record = json::parse(batch.out);
    EXPECT_EQ(record["verdict"], c.verdict);
    EXPECT_EQ(record["findings"], report["findings"]);
    EXPECT_EQ(record["warnings"], report["warnings"]);
    EXPECT_NE(batch.err.find(std::string("1 ") + c.verdict), std::string::npos) << batch.err;
}

INSTANTIATE_TEST_SUITE_P(
    Check, CheckVerdicts,
    testing::Values(VerdictCase{"SealedResin", printparts::sealedHollowBox, "top-down-resin", "fail", "trapped"},
                    VerdictCase{"SealedPowder", printparts::sealedHollowBox, "powder", "fail", "trapped"},
                    VerdictCase{"SealedFdm", printparts::sealedHollowBox, "fdm", "pass", "trapped"},
                    VerdictCase{"CupPowder", printparts::cupOpeningUp, "powder", "pass", "pocket"},
                    VerdictCase{"CupTopDownResin", printparts::cupOpeningUp, "top-down-resin", "warn", "pocket"},
                    VerdictCase{"CupBottomUpResin", printparts::cupOpeningUp, "bottom-up-resin", "fail", "suction_cup"},
                    VerdictCase{"Fins", printparts::finPlate, "powder", "fail", "thin_wall"},
                    VerdictCase{"InsideOut", printparts::insideOutBox, "fdm", "fail", "inside_out"},
                    VerdictCase{"Open", printparts::openBox, "fdm", "fail", "open_mesh"}),
    [](const testing::TestParamInfo<VerdictCase>& param) { return std::string(param.param.name); });

TEST(CheckCommand, TextStartsWithTheVerdictAndStrictFailsOnWarnings)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "cup.stl", printparts::cupOpeningUp());
    const clitest::ToolResult run = runTool({"check", path, "--printer", "top-down-resin", "-r", "32"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("WARN  ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("WARN  pocket: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("fix: "), std::string::npos) << run.out;

    const clitest::ToolResult strict = runTool({"check", path, "--printer", "top-down-resin", "-r", "32", "--strict"});
    EXPECT_EQ(strict.exitCode, 3);
}

TEST(CheckCommand, OverridesAndProfileFilesChangeTheLimits)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "fins.stl", printparts::finPlate());
    // Powder fails the 0.3 mm fin; with the minimum at 0.2 mm both fins only warn.
    const clitest::ToolResult lowered =
        runTool({"check", path, "--printer", "powder", "--min-wall", "0.2", "-r", "32", "--json"});
    EXPECT_EQ(lowered.exitCode, 0) << lowered.err;
    EXPECT_EQ(json::parse(lowered.out)["verdict"], "warn");

    // Turned over with --up -z, the cup of the cup test opens downward: top-down resin finds no pocket.
    const std::string cup = clitest::writeMesh(dir, "cup.stl", printparts::cupOpeningUp());
    const clitest::ToolResult turned =
        runTool({"check", cup, "--printer", "top-down-resin", "--up", "-z", "-r", "32", "--json"});
    EXPECT_EQ(turned.exitCode, 0) << turned.err;
    EXPECT_EQ(json::parse(turned.out)["verdict"], "pass");
    EXPECT_EQ(json::parse(turned.out)["profile"]["up"], "-z");

    clitest::writeFile(dir.file("thin.json"), R"({"base": "powder", "walls": {"min": 0.2, "recommended": 0.25}})");
    const clitest::ToolResult fromFile =
        runTool({"check", path, "--profile", dir.file("thin.json"), "-r", "32", "--json"});
    EXPECT_EQ(fromFile.exitCode, 0) << fromFile.err;
    EXPECT_EQ(json::parse(fromFile.out)["verdict"], "pass");
}

struct Refusal {
    std::vector<std::string> args;
    const char* profileText;
    const char* mentions;
};

class CheckRefusals : public testing::TestWithParam<Refusal> {};

TEST_P(CheckRefusals, ExitTwoNamingWhatIsWrong)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "cup.stl", printparts::cupOpeningUp());
    clitest::writeFile(dir.file("profile.json"), GetParam().profileText);
    std::vector<std::string> args = {"check", path};
    for (const std::string& a : GetParam().args)
        args.push_back(a == "PROFILE" ? dir.file("profile.json") : a);
    const clitest::ToolResult run = runTool(args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find(GetParam().mentions), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Check, CheckRefusals,
                         testing::Values(Refusal{{"--profile", "PROFILE"},
                                                 R"({"base": "powder", "walls": {"mni": 1}})",
                                                 "profile.json: \"walls.mni\": unknown key"},
                                         Refusal{{"--profile", "PROFILE"},
                                                 R"({"base": "powder", "drain_diameter": "big"})",
                                                 "\"drain_diameter\": expected a number"},
                                         Refusal{{}, "{}", "give the process: --printer KIND or --profile FILE"},
                                         Refusal{
                                             {"--printer", "sla"}, "{}", "--printer: unknown process profile 'sla'"},
                                         Refusal{{"--printer", "powder", "--profile", "PROFILE"}, "{}", "excludes"},
                                         Refusal{{"--printer", "powder", "--warn-wall", "0.2"},
                                                 "{}",
                                                 "the recommended wall 0.2 mm is below the minimum wall 0.5 mm"}));

} // namespace
