// SPDX-License-Identifier: MIT
// End to end: `meshprobe info`, --version and --help (with the printers' build directions), run on the built
// binary.
#include <gtest/gtest.h>

#include <tuple>

#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"

namespace {

using clitest::runTool;
using clitest::TempDir;
using nlohmann::json;

class InfoFormats : public ::testing::TestWithParam<std::string> {};

// A 4 x 3 x 2 box with a 1 x 1 x 1 sealed void: volume 23, area 52 + 6, watertight, in every format.
TEST_P(InfoFormats, JsonReportsKnownAnswers)
{
    TempDir dir;
    testmesh::Soup soup = testmesh::box(-1, 0, 0, 3, 3, 2);
    soup.appendFlipped(testmesh::box(0, 1, 0.5f, 1, 2, 1.5f));
    const std::string path = clitest::writeMesh(dir, "part" + GetParam(), soup);

    const clitest::ToolResult run = runTool({"info", path, "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const json report = json::parse(run.out);
    EXPECT_EQ(report["command"], "info");
    EXPECT_EQ(report["mesh"], path);
    EXPECT_EQ(report["triangles"], 24);
    EXPECT_EQ(report["vertices"], 16);
    EXPECT_EQ(report["bounds"], json::parse("[[-1,0,0],[3,3,2]]"));
    EXPECT_EQ(report["watertight"], true);
    EXPECT_EQ(report["nonmanifold_edges"], 0);
    EXPECT_EQ(report["bad_edges"], 0);
    EXPECT_EQ(report["border_edges"], 0);
    EXPECT_DOUBLE_EQ(report["volume"].get<double>(), 23.0);
    EXPECT_DOUBLE_EQ(report["area"].get<double>(), 58.0);
    EXPECT_GE(report["seconds"].get<double>(), 0.0);
}

INSTANTIATE_TEST_SUITE_P(InfoCommand, InfoFormats, ::testing::Values(".stl", ".obj", ".ply", ".off", ".3mf", ".glb"),
                         [](const ::testing::TestParamInfo<std::string>& param) { return param.param.substr(1); });

TEST(InfoCommand, HumanSummaryShowsVolumeInMillilitres)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "cube.stl", testmesh::box(0, 0, 0, 10, 10, 10));
    const clitest::ToolResult run = runTool({"info", path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("1000 mm³ (1 ml)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("watertight          yes"), std::string::npos) << run.out;
}

// A box wound inside out has a negative volume, and info says what that means; a sound box is not flagged.
TEST(InfoCommand, NamesAnInsideOutMesh)
{
    TempDir dir;
    testmesh::Soup inverted;
    inverted.appendFlipped(testmesh::box(0, 0, 0, 10, 10, 10));
    for (const auto& [name, soup, insideOut] : {std::tuple{"inverted.stl", inverted, true},
                                                std::tuple{"cube.stl", testmesh::box(0, 0, 0, 10, 10, 10), false}}) {
        const std::string path = clitest::writeMesh(dir, name, soup);
        const json report = json::parse(runTool({"info", path, "--json"}).out);
        EXPECT_EQ(report["inside_out"], insideOut) << name;
        EXPECT_EQ(report["volume"].get<double>() < 0, insideOut) << name;
        const clitest::ToolResult text = runTool({"info", path});
        EXPECT_EQ(text.out.find("inside out          yes: the volume is negative") != std::string::npos, insideOut)
            << text.out;
    }
}

TEST(InfoCommand, VersionAndHelpSucceed)
{
    const clitest::ToolResult version = runTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("meshprobe ", 0), 0u) << version.out;
    const clitest::ToolResult help = runTool({"info", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--json"), std::string::npos);
    // Commands with a build direction say which way up each kind of printer holds the part.
    for (const char* command : {"trapped", "report"}) {
        const std::string text = runTool({command, "--help"}).out;
        EXPECT_NE(text.find("bottom-up-resin  resin printers that pull the part up out of a vat: it hangs"),
                  std::string::npos)
            << command << "\n"
            << text;
    }
}

} // namespace
