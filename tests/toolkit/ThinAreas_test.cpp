// SPDX-License-Identifier: MIT
// Thin areas and colours from a thickness result: colours are the analysis' colour-mode bytes, areas match
// the walls of generated parts (both sides of a wall in one area, walls below min included), a wall exactly
// at max is not thin, tiny areas are dropped and counted, crease readings are left out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/MeshAnalyzer.h"
#include "meshprobe/Error.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThicknessColours.h"
#include "meshprobe/ThinAreas.h"
#include "tests/support/TestMeshes.h"

namespace {

/// A 10 x 10 plate 0.8 mm thick beside a 4 x 4 block 2 mm thick: one thin area (top and bottom of the
/// plate, 200 mm²) for windows up to 2 mm.
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

// Faces from atMaxFrom on (NaN readings too) take the caller's colour; below it the ramp, red at and below min.
TEST(ThicknessColours, FromAtMaxFromOnTheCallersColour)
{
    const meshprobe::Rgba grey = meshprobe::noWallColour, red = {255, 0, 0, 255};
    const std::vector<meshprobe::Rgba> colours =
        meshprobe::thicknessColours({0.5f, 1.0f, 1.9999f, 2.0f, 2.5f, NAN}, 1.0f, 3.0f, 2.0f, grey);
    EXPECT_EQ(colours, (std::vector<meshprobe::Rgba>{red, red, colours[2], grey, grey, grey}));
    EXPECT_NE(colours[2], grey);
    EXPECT_NE(colours[2], red);
}

// Histogram bins of the window 1..3 in four: at or below min in bin 0, a value on an inner edge in the bin
// above it, from max on in none.
TEST(ThicknessHistogram, EdgeValuesFallIntoTheRightBins)
{
    std::vector<std::size_t> faces;
    for (const meshprobe::HistogramBin& bin :
         meshprobe::thicknessHistogram({0.5f, 1, 1.0001f, 1.5f, 2.9999f, 3, 4}, 1, 3, 4))
        faces.push_back(bin.faces);
    EXPECT_EQ(faces, (std::vector<std::size_t>{2, 1, 1, 0, 1}));
}

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
        EXPECT_NEAR(area.area, 200.0, 4.0); // within 2 %
        EXPECT_NEAR(area.minThickness, 0.8f, 1e-4f);
        EXPECT_EQ(area.minThickness, perFace[area.thinnestFace]);
        EXPECT_NEAR(area.medianThickness, 0.8f, 1e-4f);
        EXPECT_NEAR(area.centroid[0], 5.0, 1e-9);
        EXPECT_NEAR(area.centroid[1], 5.0, 1e-9);
        EXPECT_EQ(area.boundsMax[0] - area.boundsMin[0], 10.0);
    }
}

INSTANTIATE_TEST_SUITE_P(ThinAreas, PlateAreas,
                         ::testing::Values(PlateCase{"PlateIsThin", 1.0f, 1.0, 1, 0},
                                           PlateCase{"WallAtTheLimitIsNot", 0.8f, 0.0, 0, 0},
                                           PlateCase{"BlockWallsBelowMinArea", 2.5f, 50.0, 1, 1},
                                           PlateCase{"SmallAreasDropped", 1.0f, 250.0, 0, 1}),
                         [](const auto& param) { return std::string(param.param.name); });

struct FinCase {
    const char* name;
    float min;
    bool joinWallSides;
    std::size_t areas;
};

class FinAreas : public ::testing::TestWithParam<FinCase> {};

// Five 0.6 mm fins on a 2 mm plate, window up to 2 mm: each fin is one area of both its sides, whether its
// wall lies below min or inside the window, and the thinnest wall is stated.
TEST_P(FinAreas, OneAreaPerFin)
{
    const FinCase& c = GetParam();
    const testmesh::Soup fins = testmesh::finPlate(5, 0.6f);
    meshprobe::ThicknessOptions measure;
    measure.max = 2.0f;
    const std::vector<float> perFace = meshprobe::thickness(fins.view(), measure).perFace;
    meshprobe::ThinAreaOptions options;
    options.min = c.min;
    options.max = 2.0f;
    options.joinWallSides = c.joinWallSides;
    const meshprobe::ThinAreasResult result = meshprobe::thinAreas(fins.view(), perFace, options);
    ASSERT_EQ(result.areas.size(), c.areas);
    EXPECT_EQ(result.windowFaces, c.min < 0.6f ? result.thinFaces : 0u);
    const double sides = 5.0 * 2 * testmesh::FinPlateSize::length * testmesh::FinPlateSize::finHeight;
    double total = 0.0;
    for (const meshprobe::ThinArea& area : result.areas) {
        total += area.area;
        EXPECT_NEAR(area.minThickness, 0.6f, 1e-4f);
        EXPECT_EQ(area.facesBelowMin, c.min > 0.6f ? area.faces.size() : 0u);
        EXPECT_NEAR(area.boundsMax[0] - area.boundsMin[0], c.joinWallSides ? 0.6 : 0.0, 1e-5);
    }
    EXPECT_NEAR(total, sides, 1e-3);
    ASSERT_TRUE(result.thinnest.found);
    EXPECT_NEAR(result.thinnest.thickness, 0.6f, 1e-4f);
    EXPECT_EQ(perFace[result.thinnest.face], result.thinnest.thickness);
}

INSTANTIATE_TEST_SUITE_P(ThinAreas, FinAreas,
                         ::testing::Values(FinCase{"BelowMin", 0.8f, true, 5},
                                           FinCase{"InsideTheWindow", 0.2f, true, 5},
                                           FinCase{"SidesApartWhenNotJoined", 0.8f, false, 10}),
                         [](const auto& param) { return std::string(param.param.name); });

/// A prism 20 long whose cross-section is a triangle of side `side` with 60-degree corners: rays that
/// start beside a corner meet the face on its other side at a distance that says only how close to the
/// corner they started.
testmesh::Soup sharpPrism(float x0, float side)
{
    const float h = side * std::sqrt(3.0f) / 2;
    testmesh::Soup s;
    s.positions = {x0, 0, 0, x0 + side, 0, 0, x0 + side / 2, 0, h, x0, 20, 0, x0 + side, 20, 0, x0 + side / 2, 20, h};
    s.indices = {0, 1, 2, 3, 5, 4, 0, 3, 4, 0, 4, 1, 1, 4, 5, 1, 5, 2, 2, 5, 3, 2, 3, 0};
    return s;
}

struct CreaseCase {
    const char* name;
    float scale; ///< of the whole part: the rule must judge it the same in any unit
};

class CreaseReadings : public ::testing::TestWithParam<CreaseCase> {};

// A prism with 60-degree edges reads walls far thinner than max near its edges; a small 0.5 mm plate beside
// it is a real thin area. The plate survives with its own thickness, the prism's readings do not, and
// without the rule they would be the thinnest wall.
TEST_P(CreaseReadings, LeftOutWhileARealSmallAreaSurvives)
{
    const float k = GetParam().scale;
    testmesh::Soup part = sharpPrism(0, 10 * k);
    part.append(testmesh::gridBox(-4 * k, 0, 0, -2 * k, 2 * k, 0.5f * k, 2)); // 16 faces on top and bottom
    meshprobe::ThicknessOptions measure;
    measure.max = 1.0f * k;
    const std::vector<float> perFace = meshprobe::thickness(part.view(), measure).perFace;
    meshprobe::ThinAreaOptions options;
    options.max = measure.max;
    options.minArea = 0.0;
    const meshprobe::ThinAreasResult kept = meshprobe::thinAreas(part.view(), perFace, options);
    ASSERT_EQ(kept.areas.size(), 1u);
    EXPECT_NEAR(kept.areas[0].area, 8.0 * k * k, 1e-3 * k * k);
    EXPECT_NEAR(kept.thinnest.thickness, 0.5f * k, 1e-4f * k);
    EXPECT_EQ(kept.areas[0].faces.size(), 16u);
    EXPECT_GT(kept.creaseFaces, 0u);
    EXPECT_EQ(kept.creaseFaces, kept.thinFaces - 16);
    EXPECT_GE(kept.creaseAreas, 1u);

    options.dropCreases = false;
    const meshprobe::ThinAreasResult all = meshprobe::thinAreas(part.view(), perFace, options);
    EXPECT_EQ(all.creaseFaces, 0u);
    EXPECT_LT(all.thinnest.thickness, 0.1f * k);
}

// The wall-reading rays and the adjacency run on several threads; every figure must equal the one-thread
// run. A fine plate (over a thousand thin faces, so the rays are split), a sharp prism (crease readings),
// a tiny plate (a dropped area) and a thick block (faces that are in no area), with a tight minimum area
// so some areas are dropped. The one call finds the areas on the thickness rays' host mesh: any face that
// mesh had selected would join them.
TEST(ThinAreas, SameOnEveryThreadCount)
{
    testmesh::Soup part = testmesh::gridBox(0, 0, 0, 10, 10, 0.8f, 24);
    part.append(sharpPrism(20, 10));
    part.append(testmesh::gridBox(-4, 0, 0, -3.5f, 0.5f, 0.3f, 2));
    part.append(testmesh::gridBox(-20, 0, 0, -15, 5, 5, 3));
    meshprobe::ThicknessOptions measure;
    measure.max = 1.0f;
    const std::vector<float> perFace = meshprobe::thickness(part.view(), measure).perFace;
    meshprobe::ThinAreaOptions options;
    options.max = measure.max;
    options.minArea = 2.0;
    auto figures = [](const meshprobe::ThinAreasResult& r) {
        std::vector<double> out{double(r.thinFaces),   double(r.droppedAreas), double(r.droppedFaces),
                                double(r.creaseFaces), r.thinnest.thickness,   double(r.thinnest.face)};
        for (const meshprobe::ThinArea& area : r.areas) {
            out.insert(out.end(), {area.area, area.minThickness, area.medianThickness});
            out.insert(out.end(), area.faces.begin(), area.faces.end());
        }
        return out;
    };
    options.threads = 1;
    const std::vector<double> serial = figures(meshprobe::thinAreas(part.view(), perFace, options));
    ASSERT_GT(serial[0], 1000.0);
    EXPECT_GT(serial[1] * serial[3], 0.0); // some dropped areas and crease faces
    for (const int threads : {1, 2, 3}) {
        options.threads = threads;
        EXPECT_EQ(figures(meshprobe::thinAreas(part.view(), perFace, options)), serial) << threads << " threads";
        // In one call, with the wall readings' scene built beside the thickness rays.
        measure.threads = threads;
        const meshprobe::ThicknessWithAreas both = meshprobe::thicknessWithThinAreas(part.view(), measure, options);
        EXPECT_EQ(both.thickness.perFace, perFace) << threads << " threads";
        EXPECT_EQ(figures(both.areas), serial) << threads << " threads, one call";
    }
}

// Progress rises to 100 through the readings' end (70) and the grouping's (95); a false answer at any of
// those points stops the call, alone or combined with the thickness rays.
TEST(ThinAreas, ReportProgressAndStopWhenAsked)
{
    const testmesh::Soup part = testmesh::gridBox(0, 0, 0, 10, 10, 0.8f, 24);
    meshprobe::ThicknessOptions measure;
    measure.max = 1.0f;
    measure.samples = 1;
    const std::vector<float> perFace = meshprobe::thickness(part.view(), measure).perFace;
    meshprobe::ThinAreaOptions options;
    options.max = measure.max;
    options.threads = 2;
    for (const float stopAt : {0.0f, 50.0f, 70.0f, 95.0f, 100.0f, 101.0f}) {
        std::vector<float> seen;
        options.progress = [&](float percent) {
            seen.push_back(percent);
            return percent < stopAt;
        };
        bool cancelled = false;
        try {
            meshprobe::thinAreas(part.view(), perFace, options);
        } catch (const meshprobe::Cancelled&) {
            cancelled = true;
        }
        EXPECT_EQ(cancelled, stopAt <= 100.0f) << stopAt;
        ASSERT_FALSE(seen.empty()) << stopAt;
        EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << stopAt;
        EXPECT_GE(seen.back(), std::min(stopAt, 100.0f)) << stopAt;
        if (!cancelled) {
            EXPECT_EQ(seen.back(), 100.0f);
            EXPECT_NE(std::find(seen.begin(), seen.end(), 70.0f), seen.end());
            EXPECT_NE(std::find(seen.begin(), seen.end(), 95.0f), seen.end());
            EXPECT_EQ(seen.front(), 0.0f); // the readings' own first report
        }
    }
    options.progress = [](float percent) { return percent < 95.0f; };
    EXPECT_THROW(meshprobe::thicknessWithThinAreas(part.view(), measure, options), meshprobe::Cancelled);
}

INSTANTIATE_TEST_SUITE_P(ThinAreas, CreaseReadings,
                         ::testing::Values(CreaseCase{"Millimetres", 1.0f}, CreaseCase{"Centimetres", 10.0f}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
