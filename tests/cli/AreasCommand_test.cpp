// SPDX-License-Identifier: MIT
// End to end: `meshprobe areas` from face lists and from a thickness window.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"

namespace {

using clitest::runTool;
using clitest::TempDir;
using nlohmann::json;

/// Rotates a closed loop (last entry repeating the first) to start at its smallest ID, without the repeat.
std::vector<unsigned> canonicalLoop(const json& loop)
{
    std::vector<unsigned> ids = loop.get<std::vector<unsigned>>();
    EXPECT_GE(ids.size(), 2u);
    EXPECT_EQ(ids.front(), ids.back()) << loop;
    ids.pop_back();
    std::rotate(ids.begin(), std::min_element(ids.begin(), ids.end()), ids.end());
    return ids;
}

//   vertices 5  6  7  8  9        a 4 x 1 strip of quads, written as PLY so vertex IDs are the file's;
//            0  1  2  3  4        quads 0 and 2 (faces 0-1 and 4-5) are selected: two separate patches,
//   each bounded by one loop that runs counter-clockwise seen from +z, as the faces are wound.
TEST(AreasCommand, TwoPatchSelectionGivesTwoLoopedAreas)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "strip.ply", testmesh::quadGrid(4, 1));
    const clitest::ToolResult run = runTool({"areas", path, "--faces", "4-5,0,1", "--label", "rib", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json report = json::parse(run.out);
    EXPECT_EQ(report["command"], "areas");
    EXPECT_EQ(report["triangles"], 8);
    EXPECT_EQ(report["vertices"], 10);
    ASSERT_EQ(report["areas"].size(), 2u);

    const json& first = report["areas"][0];
    EXPECT_EQ(first["id"], 1);
    EXPECT_EQ(first["name"], "rib");
    EXPECT_EQ(first["faces"], json::parse("[0,1]"));
    ASSERT_EQ(first["loops"].size(), 1u);
    EXPECT_EQ(canonicalLoop(first["loops"][0]), (std::vector<unsigned>{0, 1, 6, 5}));

    const json& second = report["areas"][1];
    EXPECT_EQ(second["id"], 2);
    EXPECT_EQ(second["faces"], json::parse("[4,5]"));
    ASSERT_EQ(second["loops"].size(), 1u);
    EXPECT_EQ(canonicalLoop(second["loops"][0]), (std::vector<unsigned>{2, 3, 8, 7}));
}

// A face list read from a file; adjacent quads 1 and 2 join into one patch with a six-vertex loop.
TEST(AreasCommand, FaceListFromFile)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "strip.ply", testmesh::quadGrid(4, 1));
    clitest::writeFile(dir.file("faces.txt"), "# quads 1 and 2\n2 3\n4\n5\n");
    const clitest::ToolResult run = runTool({"areas", path, "--faces", "@" + dir.file("faces.txt"), "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json report = json::parse(run.out);
    ASSERT_EQ(report["areas"].size(), 1u);
    EXPECT_EQ(report["areas"][0]["name"], "area");
    EXPECT_EQ(canonicalLoop(report["areas"][0]["loops"][0]), (std::vector<unsigned>{1, 2, 3, 8, 7, 6}));
}

// --thin selects by thickness: of a 10 x 10 x 2 plate only the top and bottom lie within (1, 3); they are
// not edge-connected, so they form two areas of 32 faces, each with one loop along the plate's rim.
TEST(AreasCommand, ThinWindowSelectsThePlateCaps)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "plate.stl", testmesh::gridBox(0, 0, 0, 10, 10, 2, 4));
    const clitest::ToolResult run = runTool({"areas", path, "--thin", "1", "3", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json report = json::parse(run.out);
    EXPECT_EQ(report["selected_faces"], 64);
    ASSERT_EQ(report["areas"].size(), 2u);
    for (const json& area : report["areas"]) {
        EXPECT_EQ(area["faces"].size(), 32u);
        ASSERT_EQ(area["loops"].size(), 1u);
        EXPECT_EQ(area["loops"][0].size(), 17u); // 16 rim vertices, the first repeated
    }
    // The 2 mm plate measures 1.99998 but is not thinner than 2 mm, as in `thickness`.
    EXPECT_EQ(json::parse(runTool({"areas", path, "--thin", "0", "2", "--json"}).out)["selected_faces"], 0);
}

} // namespace
