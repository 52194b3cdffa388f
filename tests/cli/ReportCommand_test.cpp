// SPDX-License-Identifier: MIT
// End to end: `meshprobe report` gives the single commands' figures, places cavities in the model's frame
// and embeds in its page exactly the JSON it prints.
#include <gtest/gtest.h>

#ifdef MESHPROBE_HAS_REPORT

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tests/cli/ToolRunner.h"
#include "tests/trapvolume/CellSolid.h"

namespace {

using clitest::TempDir;
using nlohmann::json;

/// A solid cube (0 to 15.998) with a sealed cubic void between the planes 4.499 and 10.499: at -r 16 the
/// voxels are 1 wide from -0.001, and voxels 5..9 on each axis are free, spanning 4.999 to 9.999. Every wall
/// is 4.499 thick.
testmesh::Soup sealedCube()
{
    const std::vector<float> planes = {0, 4.499f, 10.499f, trapmesh::kFar};
    return trapmesh::CellSolid(planes, planes, planes).carve(1, 1, 1).soup();
}

json runJson(const std::vector<std::string>& args)
{
    const clitest::ToolResult run = clitest::runTool(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return json::parse(run.out.empty() ? "{}" : run.out);
}

/// The JSON in the page's summary element.
json embeddedSummary(const std::string& page)
{
    const std::string tag = "<script type=\"application/json\" id=\"report-summary\">";
    const std::size_t start = page.find(tag);
    EXPECT_NE(start, std::string::npos);
    const std::size_t end = page.find("</script>", start);
    return json::parse(page.substr(start + tag.size(), end - start - tag.size()));
}

TEST(ReportCommand, AgreesWithTheSingleCommandsAndEmbedsWhatItPrints)
{
    TempDir dir;
    const std::string mesh = clitest::writeMesh(dir, "sealed.stl", sealedCube());
    const std::string page = dir.path + "/report.html";
    const json report = runJson({"report", mesh, "-o", page, "-r", "16", "--min", "0", "--max", "5", "--samples", "1",
                                 "--drain-holes", "1", "--json"});
    // The page draws the solids, so its cavities are those of a trapped run that writes solids.
    const json trapped =
        runJson({"trapped", mesh, "-r", "16", "--drain-holes", "1", "--cavities", dir.path + "/c.stl", "--json"});
    const json thickness = runJson({"thickness", mesh, "--min", "0", "--max", "5", "--samples", "1", "--json"});
    const json info = runJson({"info", mesh, "--json"});
    const json orient = runJson({"orient", mesh, "-r", "16", "--directions", "6", "--json"});

    for (const char* key : {"bounds", "watertight", "nonmanifold_edges", "bad_edges", "border_edges", "volume", "area"})
        EXPECT_EQ(report["info"][key], info[key]) << key;
    for (const char* key :
         {"min", "max", "samples", "min_thin_area", "status", "message", "thin_faces", "window_faces", "selected_faces",
          "faces_at_max", "thinnest", "dropped_areas", "dropped_faces", "crease_areas", "crease_faces", "histogram"})
        EXPECT_EQ(report["thickness"][key], thickness[key]) << key;
    for (const char* key : {"resolution", "voxel_size", "up", "up_vector", "trapped_voxels", "trapped_volume",
                            "cavity_count", "min_cavity", "tiny_cavities", "cavities"})
        EXPECT_EQ(report["trapped"][key], trapped[key]) << key;
    ASSERT_EQ(report["trapped"]["cavities"].size(), 1u);
    EXPECT_TRUE(report["trapped"]["cavities"][0]["drain"].is_object());
    EXPECT_EQ(report["warnings"], trapped["warnings"]);
    // The orientation table is `orient`'s ranking over the six axes, with the islands' places added.
    EXPECT_EQ(report["orientation"]["best_up"], orient["best_up"]);
    ASSERT_EQ(report["orientation"]["directions"].size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        for (const char* key : {"up", "estimated_volume", "sealed_volume", "overhang_area", "islands", "build_height"})
            EXPECT_EQ(report["orientation"]["directions"][i][key], orient["directions"][i][key]) << i << key;

    // Every face lies on a 4.499 mm wall; the thin areas share out exactly the thin faces.
    ASSERT_FALSE(report["thin_areas"].empty());
    std::size_t thinFaces = 0;
    for (const json& area : report["thin_areas"]) {
        thinFaces += area["faces"].get<std::size_t>();
        EXPECT_NEAR(area["min_thickness"].get<double>(), 4.499, 1e-3);
    }
    EXPECT_EQ(thinFaces, thickness["thin_faces"].get<std::size_t>());
    EXPECT_EQ(report["report"], page);

    std::ifstream in(page);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_EQ(embeddedSummary(text.str()), report);
}

struct Direction {
    const char* name;
    std::vector<std::string> args;
    const char* up; // as the JSON gives it
};

class ReportBuildDirections : public ::testing::TestWithParam<Direction> {};

// The void's voxels are 5..9 on every axis whichever way the part is printed: its solid and location are
// given in the model's own frame.
TEST_P(ReportBuildDirections, CavityIsPlacedInTheModelFrame)
{
    TempDir dir;
    const std::string mesh = clitest::writeMesh(dir, "sealed.stl", sealedCube());
    std::vector<std::string> args = {"report",         mesh,    "-o", dir.path + "/r.html", "-r", "16",
                                     "--no-thickness", "--json"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    const json report = runJson(args);
    EXPECT_EQ(report["trapped"]["up"], GetParam().up);
    ASSERT_EQ(report["trapped"]["cavities"].size(), 1u);
    const json& cavity = report["trapped"]["cavities"][0];
    EXPECT_EQ(cavity["voxels"], 125);
    for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(cavity["centroid"][k].get<double>(), 7.499, 1e-3) << k;
        EXPECT_NEAR(cavity["bounds"][0][k].get<double>(), 4.999, 1e-3) << k;
        EXPECT_NEAR(cavity["bounds"][1][k].get<double>(), 9.999, 1e-3) << k;
    }
    EXPECT_FALSE(report.contains("thickness"));
}

INSTANTIATE_TEST_SUITE_P(ReportCommand, ReportBuildDirections,
                         ::testing::Values(Direction{"PlusZ", {}, "+z"}, Direction{"MinusZ", {"--up", "-z"}, "-z"},
                                           Direction{"PlusX", {"--up=1,0,0"}, "+x"},
                                           Direction{"MinusY", {"--up", "-y"}, "-y"},
                                           Direction{"BottomUpResin", {"--printer", "bottom-up-resin"}, "-z"}),
                         [](const ::testing::TestParamInfo<Direction>& param) { return param.param.name; });

} // namespace

#endif
