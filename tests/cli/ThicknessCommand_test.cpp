// SPDX-License-Identifier: MIT
// End to end: `meshprobe thickness` on a plate whose wall thickness is known.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"

namespace {

using clitest::runTool;
using clitest::TempDir;
using nlohmann::json;

/// A 10 x 10 x 2 plate, every side a 4 x 4 grid of quads (192 faces). Rays from the top and bottom faces
/// meet the opposite face 2 away, less the 2e-5 the ray origins start inside the face; rays from the side
/// faces would have to cross 10, beyond any window below, so those faces stay at max.
testmesh::Soup plate()
{
    return testmesh::gridBox(0, 0, 0, 10, 10, 2, 4);
}

constexpr size_t plateFaces = 192;
constexpr size_t capFaces = 64; // top and bottom: 2 x 16 quads x 2 triangles
constexpr double plateThickness = 2.0 - 2e-5;

bool isCapFace(const json& report, size_t face)
{
    return report["thickness"][face].get<double>() < 2.5;
}

class ThicknessFormats : public ::testing::TestWithParam<std::string> {};

TEST_P(ThicknessFormats, PlateThicknessSelectionAndHistogram)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "plate" + GetParam(), plate());
    const clitest::ToolResult run = runTool({"thickness", path, "--min", "1", "--max", "3", "--per-face", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const json report = json::parse(run.out);
    EXPECT_EQ(report["command"], "thickness");
    EXPECT_EQ(report["triangles"], plateFaces);
    EXPECT_EQ(report["min"], 1.0);
    EXPECT_EQ(report["max"], 3.0);
    EXPECT_EQ(report["samples"], 31);
    EXPECT_EQ(report["status"], 1);
    EXPECT_EQ(report["message"], "Thickness analysis Successfully");
    EXPECT_EQ(report["selected_faces"], capFaces);
    EXPECT_EQ(report["faces_at_max"], plateFaces - capFaces);

    ASSERT_EQ(report["thickness"].size(), plateFaces);
    size_t caps = 0;
    for (size_t f = 0; f < plateFaces; ++f) {
        // The hit distance is a float sum of float coordinates: 1e-5 covers its rounding.
        const double expected = isCapFace(report, f) ? plateThickness : 3.0;
        EXPECT_NEAR(report["thickness"][f].get<double>(), expected, 1e-5) << "face " << f;
        caps += isCapFace(report, f);
    }
    EXPECT_EQ(caps, capFaces);

    // Bin 0 is [0, min]; then ten bins of 0.2 over the window: 1.99998 falls into [1.8, 2).
    const json& histogram = report["histogram"];
    ASSERT_EQ(histogram.size(), 11u);
    EXPECT_EQ(histogram[0], json::parse(R"({"from":0.0,"to":1.0,"faces":0})"));
    for (size_t b = 1; b < histogram.size(); ++b) {
        EXPECT_NEAR(histogram[b]["from"].get<double>(), 1.0 + 0.2 * double(b - 1), 1e-12);
        EXPECT_EQ(histogram[b]["faces"], b == 5 ? capFaces : 0u) << "bin " << b;
    }
}

INSTANTIATE_TEST_SUITE_P(ThicknessCommand, ThicknessFormats, ::testing::Values(".stl", ".ply", ".3mf"),
                         [](const ::testing::TestParamInfo<std::string>& param) { return param.param.substr(1); });

// A window that ends below the plate's thickness selects nothing; one that starts above it puts the caps in
// bin 0 (at or below min).
// The thread count changes nothing in the output: per-face values, selection and histogram alike.
TEST(ThicknessCommand, SameReportOnEveryThreadCount)
{
    TempDir dir;
    testmesh::Soup part = testmesh::sphere(0, 0, 0, 5.0f, 20, 30);
    part.appendFlipped(testmesh::sphere(0.4f, 0, 0, 4.0f, 20, 30));
    const std::string path = clitest::writeMesh(dir, "shell.stl", part);
    json first;
    for (const char* threads : {"1", "2", "3"}) {
        const clitest::ToolResult run =
            runTool({"thickness", path, "--min", "0.5", "--max", "3", "-j", threads, "--per-face", "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        json report = json::parse(run.out);
        report.erase("seconds");
        if (first.is_null())
            first = report;
        else
            EXPECT_EQ(report, first) << threads << " threads";
    }
    EXPECT_GT(first["selected_faces"].get<int>(), 0);
}

TEST(ThicknessCommand, WindowBoundsAreStrict)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "plate.stl", plate());
    const json below = json::parse(runTool({"thickness", path, "--min", "0.5", "--max", "1.5", "--json"}).out);
    EXPECT_EQ(below["selected_faces"], 0);
    EXPECT_EQ(below["faces_at_max"], plateFaces);
    const json above = json::parse(runTool({"thickness", path, "--min", "2.5", "--max", "4", "--json"}).out);
    EXPECT_EQ(above["selected_faces"], 0);
    EXPECT_EQ(above["histogram"][0]["faces"], capFaces);
    // The 2 mm plate measures 1.99998 (the rays start inside the surface) but is not thinner than 2 mm:
    // no face, no area, nothing in the window's bins; --per-face still shows the analysis' own values.
    const json atLimit =
        json::parse(runTool({"thickness", path, "--min", "0", "--max", "2", "--per-face", "--json"}).out);
    EXPECT_EQ(atLimit["selected_faces"], 0);
    EXPECT_EQ(atLimit["faces_at_max"], plateFaces);
    EXPECT_EQ(atLimit["thin_areas"].size(), 0u);
    EXPECT_EQ(atLimit["histogram"][10]["faces"], 0);
    size_t belowMax = 0;
    for (const json& t : atLimit["thickness"])
        belowMax += t.get<double>() < 2.0;
    EXPECT_EQ(belowMax, capFaces);
}

// Top and bottom of the plate are the two sides of one wall: one thin area of 200 mm² at 2 mm;
// --min-thin-area above that drops it, and the summary says so; figures are rounded for people.
TEST(ThicknessCommand, ThinAreasOfThePlate)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "plate.stl", plate());
    const json report = json::parse(runTool({"thickness", path, "--min", "0", "--max", "3", "--json"}).out);
    ASSERT_EQ(report["thin_areas"].size(), 1u);
    const json& area = report["thin_areas"][0];
    EXPECT_EQ(area["faces"], capFaces);
    EXPECT_NEAR(area["area"].get<double>(), 200.0, 4.0);
    EXPECT_NEAR(area["min_thickness"].get<double>(), plateThickness, 1e-5);
    EXPECT_EQ(area["centroid"][0], 5.0);
    EXPECT_EQ(report["dropped_areas"], 0);
    EXPECT_EQ(report["thinnest"]["area"], 1);
    const clitest::ToolResult text = runTool({"thickness", path, "--min", "0", "--max", "3", "--min-thin-area", "201"});
    EXPECT_NE(text.out.find("0 of at least 201 mm² (1 tiny areas, 64 faces, dropped)"), std::string::npos) << text.out;
    const clitest::ToolResult kept = runTool({"thickness", path, "--min", "0", "--max", "3"});
    EXPECT_NE(kept.out.find("thinnest    2 mm (area 1"), std::string::npos) << kept.out;
}

struct UnitCase {
    const char* units;
    float scale; ///< file units per mm
};

class FinPlateUnits : public ::testing::TestWithParam<UnitCase> {};

// Five 0.6 mm fins, window 0.8 to 2 mm, the part drawn in mm, cm or inches: every fin is one thin area of
// 320 mm² after the unit conversion (both sides), listed though its wall is below --min; --min-thin-area
// 300 keeps all five and 330 drops them all, and the thinnest wall is always stated.
TEST_P(FinPlateUnits, FinsBelowMinAreListedAndFilteredInSquareMillimetres)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "fins.stl", testmesh::finPlate(5, 0.6f, GetParam().scale));
    const std::vector<std::string> args{"thickness", path, "--units", GetParam().units, "--min", "0.8", "--max", "2"};
    auto run = [&](const char* minArea, bool asJson) {
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--min-thin-area", minArea});
        if (asJson) all.push_back("--json");
        return runTool(all);
    };
    const json kept = json::parse(run("300", true).out);
    ASSERT_EQ(kept["thin_areas"].size(), 5u);
    for (const json& area : kept["thin_areas"]) {
        EXPECT_NEAR(area["area"].get<double>(), 320.0, 0.1);
        EXPECT_EQ(area["faces_below_min"], area["faces"]);
        EXPECT_NEAR(area["min_thickness"].get<double>(), 0.6, 1e-3);
    }
    EXPECT_EQ(kept["thin_faces"], 20);
    EXPECT_EQ(kept["window_faces"], 0);
    EXPECT_EQ(kept["selected_faces"], kept["window_faces"]);
    EXPECT_NEAR(kept["thinnest"]["thickness"].get<double>(), 0.6, 1e-3);
    EXPECT_NE(run("300", false).out.find("thinnest    0.6 mm (area "), std::string::npos);

    const json dropped = json::parse(run("330", true).out);
    EXPECT_EQ(dropped["thin_areas"].size(), 0u);
    EXPECT_EQ(dropped["dropped_areas"], 5);
    EXPECT_EQ(dropped["thinnest"], json::parse(R"({"found": false, "thickness": 2})"));
    EXPECT_NE(run("330", false).out.find("thinnest    none thinner than 2 mm"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(ThicknessCommand, FinPlateUnits,
                         ::testing::Values(UnitCase{"mm", 1.0f}, UnitCase{"cm", 0.1f}, UnitCase{"in", 1.0f / 25.4f}),
                         [](const auto& param) { return std::string(param.param.units); });

// The colour file holds every face; the faces that found no wall within max are neutral grey, the plate's
// caps another colour.
TEST(ThicknessCommand, ColourFileMarksFacesAtMaxGrey)
{
    TempDir dir;
    const std::string path = clitest::writeMesh(dir, "plate.stl", plate());
    const std::string out = dir.file("plate.obj");
    const clitest::ToolResult run = runTool({"thickness", path, "--min", "1", "--max", "3", "--color", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("64 strictly inside the window"), std::string::npos) << run.out;

    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(out, 0);
    ASSERT_NE(scene, nullptr) << importer.GetErrorString();
    const aiMesh& mesh = *scene->mMeshes[0];
    ASSERT_EQ(mesh.mNumFaces, plateFaces);
    ASSERT_TRUE(mesh.HasVertexColors(0));
    size_t atMax = 0;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
        const aiColor4D& c = mesh.mColors[0][mesh.mFaces[f].mIndices[0]];
        const bool isMaxColour =
            std::lround(c.r * 255) == 128 && std::lround(c.g * 255) == 128 && std::lround(c.b * 255) == 128;
        atMax += isMaxColour;
    }
    EXPECT_EQ(atMax, plateFaces - capFaces);
}

} // namespace
