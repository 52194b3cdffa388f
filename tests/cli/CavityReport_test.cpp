// SPDX-License-Identifier: MIT
// End to end: where `meshprobe trapped` puts a cavity, the mesh warnings of trapped, thickness, orient and
// report with their --strict exit codes, and `meshprobe orient` on a cup and for a process.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"
#include "tests/trapvolume/CellSolid.h"

namespace {

using clitest::runTool;
using clitest::TempDir;
using nlohmann::json;
using trapmesh::kFar;

/// The 16-voxel cube with a sealed void of free voxels 5..9 (see the trapped-command tests).
testmesh::Soup sealedCube()
{
    const std::vector<float> planes = {0, 4.499f, 10.499f, kFar};
    return trapmesh::CellSolid(planes, planes, planes).carve(1, 1, 1).soup();
}

TEST(CavityReport, LocatesTheVoidAndItsLowestPointForAnyUp)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "sealed.stl", sealedCube());
    for (const std::string up : {"+z", "-x", "0,0,-3"}) {
        const clitest::ToolResult run = runTool({"trapped", path, "-r", "16", "--up", up, "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const json cavity = json::parse(run.out)["cavities"][0];
        // Voxels 5..9 span 4.999..9.999 on every axis (the grid starts at -0.001).
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(cavity["bounds"][0][k].get<double>(), 4.999, 1e-5) << up;
            EXPECT_NEAR(cavity["bounds"][1][k].get<double>(), 9.999, 1e-5) << up;
            EXPECT_NEAR(cavity["centroid"][k].get<double>(), 7.499, 1e-5) << up;
        }
        const double lowest = up == "+z" ? 4.999 : -9.999; // heights along up: -x and -z see x or z = 9.999
        EXPECT_NEAR(cavity["lowest_height"].get<double>(), lowest, 1e-5) << up;
        EXPECT_NEAR(cavity["highest_height"].get<double>(), lowest + 5, 1e-5) << up;
    }
    // The analysis' own columns on request: one triangle per column of the 5 x 5 x 5 void; as a solid, one
    // rectangle (a fan of 20 triangles) per side.
    for (const auto& [kind, triangles] : {std::pair<std::string, int>{"columns", 25}, {"solid", 6 * 20}}) {
        const clitest::ToolResult run =
            runTool({"trapped", path, "-r", "16", "--cavities", dir.file("void.obj"), "--cavities-as", kind, "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(json::parse(run.out)["cavities"][0]["triangles"], triangles) << kind;
    }
}

struct WarningCase {
    const char* name;
    std::function<testmesh::Soup()> make;
    const char* code; // the warning expected, or "" for none
    const char* says; // in its line on stderr: what to do about it, or what it means
};

TEST(CavityReport, BrokenMeshesWarnAndStrictTurnsWarningsIntoExitOne)
{
    const WarningCase cases[] = {
        {"sound", sealedCube, "", ""},
        {"inside-out",
         [] {
             testmesh::Soup s;
             s.appendFlipped(testmesh::box(0, 0, 0, 10, 10, 10));
             return s;
         },
         "inside-out", "--fix-winding repairs this"},
        {"open",
         [] {
             testmesh::Soup s = sealedCube();
             s.indices.resize(s.indices.size() - 6);
             return s;
         },
         "open-edges", "may be meaningless"},
    };
    std::vector<std::string> commands = {"trapped", "thickness", "orient"};
#ifdef MESHPROBE_HAS_REPORT
    commands.push_back("report");
#endif
    TempDir dir;
    for (const WarningCase& c : cases) {
        const std::string path = clitest::writeMesh(dir, std::string(c.name) + ".ply", c.make());
        for (const std::string& command : commands) {
            std::vector<std::string> args = {command, path, "--json"};
            if (command != "thickness") args.insert(args.end(), {"-r", "16"});
            if (command == "thickness" || command == "report")
                args.insert(args.end(), {"--min", "0", "--max", "1", "--samples", "1"});
            if (command == "orient") args.insert(args.end(), {"--directions", "6"});
            if (command == "report") args.insert(args.end(), {"-o", dir.file("report.html")});
            const clitest::ToolResult run = runTool(args);
            ASSERT_EQ(run.exitCode, 0) << c.name << " " << command << run.err;
            const json warnings = json::parse(run.out)["warnings"];
            EXPECT_EQ(warnings.empty(), *c.code == 0) << c.name << " " << command;
            if (*c.code) {
                EXPECT_EQ(warnings[0]["code"], c.code) << c.name;
                // The text names how many edges or shells are affected.
                const std::string text = " " + warnings[0]["text"].get<std::string>();
                EXPECT_NE(text.find(" " + std::to_string(warnings[0]["count"].get<int>()) + " "), std::string::npos)
                    << c.name << ": " << text;
                EXPECT_NE(run.err.find(c.says), std::string::npos) << c.name << ": " << run.err;
            }
            args.push_back("--strict");
            EXPECT_EQ(runTool(args).exitCode, *c.code ? 1 : 0) << c.name << " " << command;
        }
    }
    // --fix-winding turns the inside-out box back: no warning, and --strict passes.
    const clitest::ToolResult fixed =
        runTool({"trapped", dir.file("inside-out.ply"), "-r", "16", "--fix-winding", "--strict", "--json"});
    EXPECT_EQ(fixed.exitCode, 0) << fixed.err;
    EXPECT_EQ(json::parse(fixed.out)["winding_fixed_faces"], 12);
}

TEST(CavityReport, OrientPutsTheDirectionsThatDrainACupFirst)
{
    TempDir dir;
    const std::vector<float> side = {0, 3.499f, 12.499f, kFar};
    const std::string path =
        clitest::writeMesh(dir, "cup.stl", trapmesh::CellSolid(side, side, {0, 3.499f, kFar}).carve(1, 1, 1).soup());
    const clitest::ToolResult run = runTool({"orient", path, "-r", "16", "--directions", "6", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json directions = json::parse(run.out)["directions"];
    ASSERT_EQ(directions.size(), 6u);
    EXPECT_EQ(directions[0]["trapped_voxels"], 0);
    EXPECT_EQ(directions[5]["up"], "+z");
    EXPECT_EQ(directions[5]["trapped_voxels"], 8 * 8 * 12);
    // The summary names the best direction as an option ready to paste.
    const clitest::ToolResult text = runTool({"orient", path, "-r", "16", "--directions", "6"});
    const std::string best = "best        --up " + directions[0]["up"].get<std::string>() + "\n";
    EXPECT_NE(text.out.find(best), std::string::npos) << text.out;
}

// A T standing on its stem (a 4 x 4 stem, 12 tall, under a 16 x 16 x 4 top): filament builds it upside
// down, where nothing needs support; the tool says so, why, and the --up to paste. An unknown printer is
// refused.
TEST(CavityReport, OrientForAProcessRanksBySupportAreaAndSaysWhy)
{
    TempDir dir;
    trapmesh::CellSolid solid({0, 6, 10, 16}, {0, 6, 10, 16}, {0, 12, 16});
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (i != 1 || j != 1) solid.carve(i, j, 0);
    const std::string path = clitest::writeMesh(dir, "t.stl", solid.soup());
    const clitest::ToolResult run =
        runTool({"orient", path, "-r", "16", "--directions", "6", "--printer", "fdm", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json report = json::parse(run.out);
    EXPECT_EQ(report["best_up"], "-z");
    EXPECT_EQ(report["process"], "fdm");
    EXPECT_EQ(report["why_best"], "less support area: 0 mm² against 48 mm²"); // the stem's side, 4 x 12
    const json best = report["directions"][0];
    EXPECT_EQ(best["up"], "-z");
    EXPECT_DOUBLE_EQ(best["footprint"].get<double>(), 256.0);
    EXPECT_DOUBLE_EQ(best["build_height"].get<double>(), 16.0);
    EXPECT_EQ(report["directions"][5]["up"], "+z"); // the whole top's underside needs support
    EXPECT_DOUBLE_EQ(report["directions"][5]["overhang_area"].get<double>(), 256.0 - 16.0);

    const clitest::ToolResult text = runTool({"orient", path, "-r", "16", "--directions", "6", "--printer", "fdm"});
    EXPECT_NE(text.out.find("best        --up -z\n"), std::string::npos) << text.out;
    const clitest::ToolResult unknown = runTool({"orient", path, "-r", "16", "--printer", "sla"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("--printer"), std::string::npos) << unknown.err;
}

} // namespace
