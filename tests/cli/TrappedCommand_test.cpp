// SPDX-License-Identifier: MIT
// End to end: `meshprobe trapped` on cell-built solids whose trapped voxels can be counted by hand.
//
// The solids follow the 16-voxel convention of the trapped-volume tests: outer planes at 0 and 15.998 give
// a padded box of 16 and voxels of exactly 1, and an inner plane at j + 0.499 runs through the middle of
// voxel j, so the free voxels between planes a + 0.499 and b + 0.499 are a + 1 .. b - 1.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"
#include "tests/trapvolume/CellSolid.h"

namespace {

using clitest::runTool;
using clitest::TempDir;
using nlohmann::json;
using trapmesh::kFar;

/// A solid cube with a sealed cubic void between the planes 4.499 and 10.499 on every axis: the free
/// voxels are 5..9, 5 per axis, 125 in all; every column of the void is one triangle, 25 in all.
testmesh::Soup sealedCube()
{
    const std::vector<float> planes = {0, 4.499f, 10.499f, kFar};
    return trapmesh::CellSolid(planes, planes, planes).carve(1, 1, 1).soup();
}

json runJson(const std::vector<std::string>& args)
{
    const clitest::ToolResult run = runTool(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, ""); // no progress bar when stderr is not a terminal
    return json::parse(run.out);
}

class TrappedFormats : public ::testing::TestWithParam<std::string> {};

TEST_P(TrappedFormats, SealedCubeCavityHasItsVoxelCount)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "sealed" + GetParam(), sealedCube());
    const json report = runJson({"trapped", path, "-r", "16", "--json"});
    EXPECT_EQ(report["command"], "trapped");
    EXPECT_EQ(report["resolution"], 16);
    // (15.998f + 0.002) / 16: the float plane is 1.4e-7 above 15.998.
    EXPECT_NEAR(report["voxel_size"].get<double>(), 1.0, 1e-7);
    EXPECT_EQ(report["up"], "+z");
    EXPECT_EQ(report["trapped_voxels"], 125);
    EXPECT_NEAR(report["trapped_volume"].get<double>(), 125.0, 1e-4);
    ASSERT_EQ(report["cavities"].size(), 1u);
    const json& cavity = report["cavities"][0];
    EXPECT_EQ(cavity["name"], "Closed");
    EXPECT_NEAR(cavity["volume"].get<double>(), 125.0, 1e-4);
    EXPECT_EQ(cavity["voxels"], 125);
    EXPECT_FALSE(cavity.contains("triangles")); // only with a cavity file: the triangles written
}

INSTANTIATE_TEST_SUITE_P(TrappedCommand, TrappedFormats,
                         ::testing::Values(".stl", ".obj", ".ply", ".off", ".3mf", ".glb"),
                         [](const ::testing::TestParamInfo<std::string>& param) { return param.param.substr(1); });

/// A cup: a solid block with a well of 8 x 8 voxels (free voxels 4..11 on the two side axes) and a floor
/// up to the plane 3.499, open toward `opening` ("+z", "-x", ...). 12 layers of free voxels (4..15) lie
/// between the floor and the open face.
testmesh::Soup cupOpeningToward(const std::string& opening)
{
    const int axis = opening[1] - 'x';
    const bool positive = opening[0] == '+';
    std::vector<float> planes[3];
    int cell[3];
    for (int a = 0; a < 3; ++a) {
        if (a == axis) {
            planes[a] = positive ? std::vector<float>{0, 3.499f, kFar} : std::vector<float>{0, 12.499f, kFar};
            cell[a] = positive ? 1 : 0;
        } else {
            planes[a] = {0, 3.499f, 12.499f, kFar};
            cell[a] = 1;
        }
    }
    return trapmesh::CellSolid(planes[0], planes[1], planes[2]).carve(cell[0], cell[1], cell[2]).soup();
}

std::string opposite(const std::string& axis)
{
    return (axis[0] == '+' ? "-" : "+") + axis.substr(1);
}

class BuildDirections : public ::testing::TestWithParam<std::string> {};

// A cup traps its whole well when its opening points up, and drains completely when printed upside down.
TEST_P(BuildDirections, CupTrapsOnlyWhenItsOpeningPointsUp)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "cup.stl", cupOpeningToward(GetParam()));

    const json up = runJson({"trapped", path, "-r", "16", "--up", GetParam(), "--json"});
    EXPECT_EQ(up["up"], GetParam());
    EXPECT_EQ(up["trapped_voxels"], 8 * 8 * 12);
    ASSERT_EQ(up["cavities"].size(), 1u);
    EXPECT_EQ(up["cavities"][0]["name"], "Open"); // it reaches the top of the part

    const json down = runJson({"trapped", path, "-r", "16", "--up", opposite(GetParam()), "--json"});
    EXPECT_EQ(down["trapped_voxels"], 0);
    EXPECT_TRUE(down["cavities"].empty());
}

INSTANTIATE_TEST_SUITE_P(TrappedCommand, BuildDirections, ::testing::Values("+z", "-z", "+x", "-x", "+y", "-y"),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                             return std::string(param.param[0] == '+' ? "Plus" : "Minus") + param.param[1];
                         });

// The cavity file holds one object per cavity, in the model's own frame even when the build direction
// rotated the part: the well of a cup opening toward -x lies at x 3.5..15.5, y and z 3.5..12.5 in the model.
// The drain-hole file holds one drill per suggested hole.
TEST(TrappedCommand, CavityFileIsInTheModelFrame)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "cup.stl", cupOpeningToward("-x"));
    const std::string out = dir.file("cavities.obj"), holes = dir.file("holes.obj");
    const json report = runJson({"trapped", path, "-r", "16", "--up", "-x", "--cavities", out, "--drain-holes", "2",
                                 "--drain-holes-file", holes, "--json"});
    ASSERT_EQ(report["cavities"].size(), 1u);

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(out, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    ASSERT_EQ(scene->mNumMeshes, 1u);
    EXPECT_STREQ(scene->mMeshes[0]->mName.C_Str(), "Open-1");
    EXPECT_EQ(scene->mMeshes[0]->mNumFaces, report["cavities"][0]["triangles"].get<unsigned>());
    aiVector3D lo(1e9f), hi(-1e9f);
    for (unsigned v = 0; v < scene->mMeshes[0]->mNumVertices; ++v) {
        const aiVector3D& p = scene->mMeshes[0]->mVertices[v];
        lo = aiVector3D(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = aiVector3D(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    // Voxel faces lie at whole voxel steps from the grid corner (-0.001): within 0.01 of n - 0.001.
    EXPECT_NEAR(lo.x, 0.0, 0.01);
    EXPECT_NEAR(hi.x, 12.0, 0.01);
    EXPECT_NEAR(lo.y, 4.0, 0.01);
    EXPECT_NEAR(hi.y, 12.0, 0.01); // the closed surface spans its voxels' full extent
    EXPECT_NEAR(lo.z, 4.0, 0.01);
    EXPECT_NEAR(hi.z, 12.0, 0.01);
    // An open cavity gets a drain and no vent: one drill in the holes file, named after its cavity.
    ASSERT_TRUE(report["cavities"][0]["drain"].is_object());
    EXPECT_FALSE(report["cavities"][0].contains("vent"));
    Assimp::Importer holesImporter;
    const aiScene* drills = holesImporter.ReadFile(holes, 0);
    ASSERT_NE(drills, nullptr) << holesImporter.GetErrorString();
    ASSERT_EQ(drills->mNumMeshes, 1u);
    EXPECT_STREQ(drills->mMeshes[0]->mName.C_Str(), "drain-1");
    EXPECT_EQ(dir.list().size(), 3u); // the input and the two files, no temporary left
}

TEST(TrappedCommand, HumanSummaryListsCavities)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "sealed.stl", sealedCube());
    const clitest::ToolResult run = runTool({"trapped", path, "-r", "16", "--drain-holes", "1"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("125 voxels, 125 mm³ (0.125 ml)"), std::string::npos) << run.out;
    // The floor stands on the build plate: the drain and the vent leave through a 4.499 mm side wall, their
    // rims a hundredth of a voxel off the cavity's floor (4.499) and ceiling (10.499).
    for (const char* hole : {"1  drain  (4.499, 7.499, 5.009)  (0, 7.499, 5.009)  +x                   4.499  yes",
                             "1  vent   (4.499, 7.499, 9.989)  (0, 7.499, 9.989)  +x                   4.499  yes"})
        EXPECT_NE(run.out.find(hole), std::string::npos) << hole << "\n" << run.out;
    EXPECT_NE(run.out.find("1  Closed     125"), std::string::npos) << run.out;
    // Voxels 5..9 span 4.999..9.999: the lowest point, centroid, highest point and box corners.
    for (const char* place : {"(7.499, 7.499, 4.999)", "(7.499, 7.499, 7.499)", "(7.499, 7.499, 9.999)   9.999",
                              "(4.999, 4.999, 4.999)  (9.999, 9.999, 9.999)"})
        EXPECT_NE(run.out.find(place), std::string::npos) << place << "\n" << run.out;
    // Below --min-cavity the void is only counted, in one line, and not listed.
    const clitest::ToolResult tiny = runTool({"trapped", path, "-r", "16", "--min-cavity", "200"});
    ASSERT_EQ(tiny.exitCode, 0) << tiny.err;
    EXPECT_NE(tiny.out.find("plus 1 tiny cavity below 200 mm³, 125 mm³ in all"), std::string::npos) << tiny.out;
    EXPECT_EQ(tiny.out.find("1  Closed"), std::string::npos) << tiny.out;
}

// A grid too large for the memory the process may use is an analysis failure (exit 1) with the reason on
// stderr; the voxelizer's own console message must not reach stdout, which holds the one JSON error object.
TEST(TrappedCommand, GridBeyondMemoryFailsWithExitOne)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit allows";
#endif
#endif
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "sealed.stl", sealedCube());
    // 1290³ voxels need two 268 MB bit sets before the grid is usable: more than 300 MB allows.
    const clitest::ToolResult run = clitest::runToolWithMemoryLimit(300000, {"trapped", path, "-r", "1290", "--json"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(nlohmann::json::parse(run.out)["exit_code"], 1) << run.out;
    EXPECT_NE(run.err.find("cannot set up a 1290³ voxel grid"), std::string::npos) << run.err;
}

} // namespace
