// SPDX-License-Identifier: MIT
// Thin areas and colours from a thickness result: colours are the analysis' colour-mode bytes, areas match
// the walls of a generated plate, a wall exactly at max is not thin, tiny areas are dropped and counted.
#include <gtest/gtest.h>

#include <cstring>

#include "analysis/MeshAnalyzer.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThicknessColours.h"
#include "meshprobe/ThinAreas.h"
#include "tests/support/TestMeshes.h"

namespace {

/// A 10 x 10 plate 0.8 mm thick beside a 4 x 4 block 2 mm thick: two thin faces (top and bottom of the
/// plate, 100 mm² each) for windows up to 2 mm.
const testmesh::Soup& plates()
{
    static const testmesh::Soup soup = [] {
        testmesh::Soup s = testmesh::gridBox(0, 0, 0, 10, 10, 0.8f, 8);
        s.append(testmesh::gridBox(20, 0, 0, 24, 4, 2, 4));
        return s;
    }();
    return soup;
}

struct ColourWindow {
    float min, max;
};

class ColoursFromValues : public ::testing::TestWithParam<ColourWindow> {};

// The colours computed from the one run's values are byte for byte the analysis' colour mode.
TEST_P(ColoursFromValues, EqualTheColourModeBytes)
{
    meshprobe::ThicknessOptions options;
    options.min = GetParam().min;
    options.max = GetParam().max;
    options.colours = true;
    const meshprobe::ThicknessResult result = meshprobe::thickness(plates().view(), options);

    const auto mesh = plates().build();
    std::vector<unsigned char[4]> colours(mesh->faces.size() + 1);
    Analysis::MeshAnalyzer().statvis_calc_thickness(mesh.get(), nullptr, options.min, options.max, 31,
                                                    Analysis::MeshAnalyzer::Color, colours.data(), {});
    ASSERT_EQ(result.faceColours.size(), mesh->faces.size());
    EXPECT_EQ(std::memcmp(result.faceColours.data(), colours.data(), 4 * mesh->faces.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(ThinAreas, ColoursFromValues,
                         ::testing::Values(ColourWindow{0.0f, 3.0f}, ColourWindow{0.5f, 2.5f},
                                           ColourWindow{0.79f, 1.0f}, ColourWindow{1.0f, 1.0f}));

struct PlateCase {
    const char* name;
    float max;
    double minArea;
    size_t areas, dropped;
};

class PlateAreas : public ::testing::TestWithParam<PlateCase> {};

TEST_P(PlateAreas, MatchTheGeneratedWalls)
{
    const PlateCase& c = GetParam();
    meshprobe::ThicknessOptions measure;
    measure.max = c.max;
    const std::vector<float> perFace = meshprobe::thickness(plates().view(), measure).perFace;
    meshprobe::ThinAreaOptions options;
    options.max = c.max;
    options.minArea = c.minArea;
    const meshprobe::ThinAreasResult result = meshprobe::thinAreas(plates().view(), perFace, options);
    ASSERT_EQ(result.areas.size(), c.areas);
    EXPECT_EQ(result.droppedAreas, c.dropped);
    for (const meshprobe::ThinArea& area : result.areas) {
        EXPECT_NEAR(area.area, 100.0, 2.0); // within 2 %
        EXPECT_NEAR(area.minThickness, 0.8f, 1e-4f);
        EXPECT_EQ(area.minThickness, perFace[area.thinnestFace]);
        EXPECT_NEAR(area.medianThickness, 0.8f, 1e-4f);
        EXPECT_NEAR(area.centroid[0], 5.0, 1e-9);
        EXPECT_NEAR(area.centroid[1], 5.0, 1e-9);
        EXPECT_EQ(area.boundsMax[0] - area.boundsMin[0], 10.0);
    }
}

INSTANTIATE_TEST_SUITE_P(ThinAreas, PlateAreas,
                         ::testing::Values(PlateCase{"PlateIsThin", 1.0f, 1.0, 2, 0},
                                           PlateCase{"WallAtTheLimitIsNot", 0.8f, 0.0, 0, 0},
                                           PlateCase{"BlockWallsBelowMinArea", 2.5f, 50.0, 2, 2},
                                           PlateCase{"SmallAreasDropped", 1.0f, 150.0, 0, 2}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
