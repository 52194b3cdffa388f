// SPDX-License-Identifier: MIT
// Cavities for any build direction: locations, closed surfaces, the volume estimate, drain holes that
// really drain when cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "meshprobe/Cavities.h"
#include "meshprobe/DrainHoles.h"
#include "meshprobe/Error.h"
#include "meshprobe/TrappedVolumes.h"
#include "tests/support/TestMeshes.h"
#include "tests/trapvolume/CellSolid.h"
#include "toolkit/src/cavities/CavityVoxels.h"

namespace {

using meshprobe::Direction;

/// Six times the signed enclosed volume, and whether every directed edge has exactly one twin running back.
struct Closure {
    double sixVolume = 0.0;
    bool closedManifold = true;
};

Closure closure(const meshprobe::Mesh& m)
{
    Closure c;
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> edges;
    for (std::size_t t = 0; t < m.triangleCount(); ++t) {
        const std::uint32_t* v = &m.triangles[3 * t];
        for (int k = 0; k < 3; ++k)
            ++edges[{v[k], v[(k + 1) % 3]}];
        const float *a = &m.vertices[3 * v[0]], *b = &m.vertices[3 * v[1]], *d = &m.vertices[3 * v[2]];
        c.sixVolume += double(a[0]) * (double(b[1]) * d[2] - double(b[2]) * d[1]) -
                       double(a[1]) * (double(b[0]) * d[2] - double(b[2]) * d[0]) +
                       double(a[2]) * (double(b[0]) * d[1] - double(b[1]) * d[0]);
    }
    for (const auto& [edge, uses] : edges) {
        const auto back = edges.find({edge.second, edge.first});
        c.closedManifold = c.closedManifold && uses == 1 && back != edges.end() && back->second == 1;
    }
    return c;
}

TEST(CavitySurface, RandomVoxelSetsGiveClosedOutwardSurfacesOfExactVolume)
{
    std::mt19937 random(7);
    for (int fill : {10, 45, 80, 100}) // sparse sets touch along edges and corners; full is one box
        for (int trial = 0; trial < 20; ++trial) {
            meshprobe::detail::CavityVoxels voxels;
            for (int x = 0; x < 5; ++x)
                for (int y = 0; y < 5; ++y)
                    for (int z = 0; z < 5; ++z)
                        if (int(random() % 100) < fill) voxels.runs.push_back({x, y, z, z + 1});
            meshprobe::detail::normalise(voxels);
            const Closure c = closure(meshprobe::detail::voxelSurface(voxels));
            EXPECT_TRUE(c.closedManifold) << fill << " " << trial;
            EXPECT_EQ(c.sixVolume, 6.0 * double(voxels.count())) << fill << " " << trial; // integer corners: exact
        }
}

/// A 20 mm cube with a sealed box-shaped void [lo, hi].
testmesh::Soup hollowCube(const std::array<float, 3>& lo, const std::array<float, 3>& hi)
{
    testmesh::Soup soup = testmesh::box(0, 0, 0, 20, 20, 20);
    soup.appendFlipped(testmesh::box(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]));
    return soup;
}

TEST(Cavities, LocatesAVoidInTheModelsFrameForAnyUpDirection)
{
    const testmesh::Soup part = hollowCube({4, 6, 8}, {10, 14, 16});
    const std::array<double, 3> centre{7, 10, 12};
    for (const char* up : {"+z", "-z", "+x", "-y", "0,0.2,1", "1,1,1"}) {
        meshprobe::CavityOptions options;
        options.resolution = 64;
        options.up = meshprobe::parseDirection(up);
        const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), options);
        ASSERT_EQ(r.cavities.size(), 1u) << up;
        const meshprobe::CavityReport& c = r.cavities[0];
        EXPECT_TRUE(c.closed) << up;
        const double slack = 2 * r.voxelSize * std::sqrt(3.0); // the voxels stop short of the walls
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(c.centroid[k], centre[k], r.voxelSize) << up << " axis " << k;
        // Lowest and highest heights along up: the void's extreme corners, projected.
        double lowest = 0, highest = 0;
        for (int k = 0; k < 3; ++k) {
            const double a = std::array<double, 3>{4, 6, 8}[k] * options.up[k];
            const double b = std::array<double, 3>{10, 14, 16}[k] * options.up[k];
            lowest += std::min(a, b);
            highest += std::max(a, b);
        }
        EXPECT_NEAR(c.lowestHeight, lowest, slack) << up;
        EXPECT_NEAR(c.highestHeight, highest, slack) << up;
        // The solid encloses exactly the voxels (up to float rounding of its corners) and is closed.
        const Closure s = closure(c.solid);
        EXPECT_TRUE(s.closedManifold) << up;
        EXPECT_NEAR(s.sixVolume / 6, double(c.voxels) * std::pow(r.voxelSize, 3), 1e-5 * s.sixVolume) << up;
        // ... and lies in the model's frame: its extreme corners are those of the cavity's box.
        std::array<double, 3> lo{1e9, 1e9, 1e9}, hi{-1e9, -1e9, -1e9};
        for (std::size_t v = 0; v < c.solid.vertexCount(); ++v)
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], double(c.solid.vertices[3 * v + k]));
                hi[k] = std::max(hi[k], double(c.solid.vertices[3 * v + k]));
            }
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(lo[k], c.boundsMin[k], 1e-4) << up << " axis " << k;
            EXPECT_NEAR(hi[k], c.boundsMax[k], 1e-4) << up << " axis " << k;
        }
        for (int k = 0; k < 3; ++k) {
            EXPECT_LE(c.boundsMin[k], c.centroid[k]);
            EXPECT_GE(c.boundsMax[k], c.centroid[k]);
        }
    }
}

TEST(Cavities, AxisDirectionsAgreeWithTheLibraryCallVoxelForVoxel)
{
    const testmesh::Soup part = hollowCube({3.3f, 5.1f, 7.7f}, {11.2f, 13.9f, 15.4f});
    for (auto axis : {meshprobe::BuildDirection::MinusZ, meshprobe::BuildDirection::PlusX}) {
        meshprobe::TrappedOptions t;
        t.resolution = 48;
        t.up = axis;
        const meshprobe::TrappedResult expected = meshprobe::trappedVolumes(part.view(), t);
        meshprobe::CavityOptions options;
        options.resolution = 48;
        options.up = meshprobe::parseDirection(meshprobe::toString(axis));
        const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), options);
        ASSERT_EQ(r.cavities.size(), expected.cavities.size());
        EXPECT_EQ(r.trappedVoxels, expected.trappedVoxels);
        EXPECT_EQ(r.voxelSize, expected.voxelSize);
        for (std::size_t c = 0; c < r.cavities.size(); ++c)
            EXPECT_EQ(r.cavities[c].voxels, expected.cavities[c].voxels);
    }
}

TEST(Cavities, EstimateCorrectsTheVoxelBiasAndTinyCavitiesAreSummedApart)
{
    // A sealed 10 mm cube (1000 mm³) whose walls do not lie on voxel boundaries.
    testmesh::Soup part = hollowCube({5.05f, 5.03f, 5.01f}, {15.05f, 15.03f, 15.01f});
    part.appendFlipped(testmesh::box(17, 17, 17, 18, 18, 18)); // 1 mm³
    meshprobe::CavityOptions options;
    options.resolution = 128;
    options.minVolume = 10;
    options.solids = false;
    const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), options);
    EXPECT_EQ(r.cavityCount, 2u);
    ASSERT_EQ(r.cavities.size(), 1u);
    EXPECT_EQ(r.tinyCavities, 1u);
    EXPECT_GT(r.tinyVolume, 0.0);
    EXPECT_NEAR(r.tinyVolume + r.cavities[0].volume, r.trappedVolume, 1e-3);
    const meshprobe::CavityReport& cube = r.cavities[0];
    EXPECT_LT(cube.volume, 960.0); // the voxels alone miss about half a voxel on every side
    EXPECT_NEAR(cube.estimatedVolume, 1000.0, 5.0);
    EXPECT_TRUE(cube.solid.triangles.empty());
}

// Cavities without their solids, each with a 1 mm drain hole suggested.
meshprobe::CavityOptions drainHoleOptions(int resolution)
{
    meshprobe::CavityOptions options;
    options.resolution = resolution;
    options.solids = false;
    options.drainHoleDiameter = 1;
    return options;
}

TEST(Cavities, DrainHoleGoesAroundAnotherCavity)
{
    // A small void above a wide one: straight down from the small one would drill into the wide one.
    testmesh::Soup part = hollowCube({5, 5, 3}, {15, 15, 7});
    part.appendFlipped(testmesh::box(8, 8, 10, 12, 12, 16));
    const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), drainHoleOptions(64));
    ASSERT_EQ(r.cavities.size(), 2u);
    ASSERT_TRUE(r.cavities[0].drain && r.cavities[1].drain);
    // The wide one: sideways through a 5 mm wall, since its 3 mm floor stands on the build plate.
    EXPECT_NEAR(r.cavities[0].drain->length, 5.0, 1e-3);
    EXPECT_NEAR(r.cavities[0].drain->direction[2], 0.0, 1e-9);
    const meshprobe::DrainHole& upper = *r.cavities[1].drain;
    EXPECT_NEAR(upper.direction[2], 0.0, 1e-9); // sideways
    EXPECT_NEAR(upper.length, 8.0, 1e-3);
}

TEST(Cavities, NoDrainHoleWhereEveryPathRunsIntoAnotherCavity)
{
    // A block floating in a sealed void, with a void of its own: every drill from the inner void comes out
    // in the outer one.
    testmesh::Soup part = hollowCube({4, 4, 4}, {16, 16, 16});
    part.append(testmesh::box(7, 7, 7, 13, 13, 13));
    part.appendFlipped(testmesh::box(9, 9, 9, 11, 11, 11));
    const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), drainHoleOptions(64));
    ASSERT_EQ(r.cavities.size(), 2u);
    EXPECT_TRUE(r.cavities[0].drain && r.cavities[0].vent);
    EXPECT_FALSE(r.cavities[1].drain || r.cavities[1].vent);
}

TEST(Cavities, DrainHolePrefersAnExitADrillCanReachFromOutside)
{
    // A sealed void 10..20 x 5..15 x 5..15 in a 30 x 20 x 20 block, and under it a tunnel through the block
    // along y (x 12..18, z 1..3). Straight down the drill is out after 2 mm, but inside the tunnel, where no
    // drill comes from; along y it is out after 5 mm, in open air.
    trapmesh::CellSolid solid({0, 10, 12, 18, 20, 30}, {0, 5, 15, 20}, {0, 1, 3, 5, 15, 20});
    for (int i = 1; i <= 3; ++i)
        solid.carve(i, 1, 3);
    for (int j = 0; j <= 2; ++j)
        solid.carve(2, j, 1);
    const testmesh::Soup part = solid.soup();
    const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), drainHoleOptions(96));
    ASSERT_EQ(r.cavities.size(), 1u);
    ASSERT_TRUE(r.cavities[0].drain);
    const meshprobe::DrainHole& drain = *r.cavities[0].drain;
    EXPECT_TRUE(drain.reachable);
    EXPECT_NEAR(std::fabs(drain.direction[1]), 1.0, 1e-9);
    EXPECT_NEAR(drain.length, 5.0, 1e-3);
}

TEST(Cavities, DrainHoleCutIntoThePartLeavesNothingTrapped)
{
    // A 20 mm cube with a void 5..15 x 5..15 x 4..15: its floor is the thinnest wall (4 mm).
    const testmesh::Soup part = hollowCube({5, 5, 4}, {15, 15, 15});
    meshprobe::CavityOptions options;
    options.resolution = 64;
    options.drainHoleDiameter = 3;
    const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), options);
    ASSERT_EQ(r.cavities.size(), 1u);
    ASSERT_TRUE(r.cavities[0].drain && r.cavities[0].vent);
    const meshprobe::DrainHole& drain = *r.cavities[0].drain;
    // The 4 mm floor stands on the plate: the drain leaves sideways at the cavity's floor, through the first
    // of the equally thick side walls, +x.
    EXPECT_NEAR(drain.direction[0], -1.0, 1e-9);
    EXPECT_NEAR(drain.exitPoint[0], 20.0, 1e-3);
    EXPECT_NEAR(drain.wallPoint[0], 15.0, 1e-3);
    EXPECT_NEAR(drain.length, 5.0, 1e-3);
    EXPECT_NEAR(drain.exitPoint[2], 4.0 + 1.5, r.voxelSize); // the hole's lower rim on the cavity's floor
    EXPECT_NEAR(r.cavities[0].vent->direction[2], -1.0, 1e-9);
    EXPECT_NEAR(r.cavities[0].vent->length, 5.0, 1e-3);
    // The drills to subtract: closed and wound outward, a 24-sided prism of the hole's diameter centred on
    // the path and reaching a quarter diameter beyond both of its ends.
    for (const meshprobe::DrainHole* hole : {&drain, &*r.cavities[0].vent}) {
        const meshprobe::Mesh drill = meshprobe::drainHoleCylinders({*hole});
        const Closure c = closure(drill);
        EXPECT_TRUE(c.closedManifold) << hole->kind;
        const double prism = 12 * 1.5 * 1.5 * std::sin(2 * M_PI / 24) * (hole->length + 1.5);
        EXPECT_NEAR(c.sixVolume / 6, prism, 1e-4 * prism) << hole->kind;
        std::array<double, 3> mean{};
        for (std::size_t v = 0; v < drill.vertexCount(); ++v)
            for (int k = 0; k < 3; ++k)
                mean[k] += drill.vertices[3 * v + k] / double(drill.vertexCount());
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(mean[k], (hole->wallPoint[k] + hole->exitPoint[k]) / 2, 1e-4) << hole->kind;
    }

    // The same part built from cells, with a 3 mm square channel from the cavity's floor where the drain
    // was suggested.
    const float hy = float(drain.exitPoint[1]);
    for (bool drilled : {false, true}) {
        trapmesh::CellSolid solid({0, 5, 15, 20}, {0, 5, hy - 1.5f, hy + 1.5f, 15, 20}, {0, 4, 7, 15, 20});
        for (int j = 1; j < 4; ++j)
            for (int k = 1; k < 3; ++k)
                solid.carve(1, j, k);
        if (drilled) solid.carve(2, 2, 1);
        const testmesh::Soup cut = solid.soup();
        options.drainHoleDiameter = 0;
        EXPECT_EQ(meshprobe::findCavities(cut.view(), options).trappedVoxels == 0, drilled);
    }
}

/// A solid box with box-shaped voids carved out, as cells between the planes of every box's sides.
testmesh::Soup carved(const std::array<float, 6>& solid, const std::vector<std::array<float, 6>>& voids)
{
    std::vector<float> planes[3];
    for (int k = 0; k < 3; ++k) {
        planes[k] = {solid[k], solid[k + 3]};
        for (const auto& v : voids)
            planes[k].insert(planes[k].end(),
                             {std::clamp(v[k], solid[k], solid[k + 3]), std::clamp(v[k + 3], solid[k], solid[k + 3])});
        std::sort(planes[k].begin(), planes[k].end());
        planes[k].erase(std::unique(planes[k].begin(), planes[k].end()), planes[k].end());
    }
    trapmesh::CellSolid cells(planes[0], planes[1], planes[2]);
    for (std::size_t i = 0; i + 1 < planes[0].size(); ++i)
        for (std::size_t j = 0; j + 1 < planes[1].size(); ++j)
            for (std::size_t k = 0; k + 1 < planes[2].size(); ++k) {
                const float c[3] = {(planes[0][i] + planes[0][i + 1]) / 2, (planes[1][j] + planes[1][j + 1]) / 2,
                                    (planes[2][k] + planes[2][k + 1]) / 2};
                for (const auto& v : voids)
                    if (c[0] > v[0] && c[0] < v[3] && c[1] > v[1] && c[1] < v[4] && c[2] > v[2] && c[2] < v[5])
                        cells.carve(int(i), int(j), int(k));
            }
    return cells.soup();
}

// Holes are cylinders: a 30 x 30 x 20 block with a sealed pocket 3 wide (x), 20 long (y) and 6 tall (z)
// over a 6 mm floor on the plate. A 2 mm drain leaves sideways through the nearest wall (5 mm, along y);
// 4 mm does not fit across the pocket's 3 mm, so it moves to the long way out along x (13 mm); 8 mm fits
// nowhere, and the largest that does is about the pocket's height. Every hole suggested, cut as a square
// prism of its diameter that overshoots both ends as the exported drill does, leaves the pocket draining: the
// exit point lies on the surface only to within rounding, and a prism ending there can leave a skin.
TEST(Cavities, DrainHolesFitTheCavityAtTheirDiameter)
{
    const std::array<float, 6> block{0, 0, 0, 30, 30, 20}, pocket{13.5f, 5, 6, 16.5f, 25, 12};
    const testmesh::Soup part = carved(block, {pocket});
    struct Case {
        double diameter;
        int axis; ///< the axis both holes run along, -1 for none
        double length;
    };
    for (const Case& c : {Case{2, 1, 5}, Case{4, 0, 13.5}, Case{8, -1, 0}}) {
        meshprobe::CavityOptions options = drainHoleOptions(64);
        options.drainHoleDiameter = c.diameter;
        const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), options);
        ASSERT_EQ(r.cavities.size(), 1u) << c.diameter;
        const meshprobe::CavityReport& cavity = r.cavities[0];
        if (c.axis < 0) {
            EXPECT_FALSE(cavity.drain || cavity.vent) << c.diameter;
            ASSERT_TRUE(cavity.largestHoleDiameter);
            const double largest = *cavity.largestHoleDiameter;
            EXPECT_GT(largest, 5.0);
            EXPECT_LT(largest, 6.0 + 2 * r.voxelSize);
            for (double d : {largest, largest + 0.1}) {
                options.drainHoleDiameter = d;
                const meshprobe::CavityReport again = meshprobe::findCavities(part.view(), options).cavities.at(0);
                EXPECT_EQ(again.drain && again.vent, d == largest) << d;
            }
            continue;
        }
        ASSERT_TRUE(cavity.drain && cavity.vent) << c.diameter;
        EXPECT_FALSE(cavity.largestHoleDiameter);
        std::vector<std::array<float, 6>> voids{pocket};
        for (const meshprobe::DrainHole* hole : {&*cavity.drain, &*cavity.vent}) {
            EXPECT_NEAR(std::fabs(hole->direction[c.axis]), 1.0, 1e-9) << c.diameter << hole->kind;
            EXPECT_NEAR(hole->length, c.length, 1e-3) << c.diameter << hole->kind;
            std::array<float, 6> prism{};
            const double overshoot = c.diameter / 4;
            for (int k = 0; k < 3; ++k) {
                const auto [lo, hi] = std::minmax(hole->exitPoint[k], hole->wallPoint[k]);
                prism[k] = float(k == c.axis ? lo - overshoot : lo - c.diameter / 2);
                prism[k + 3] = float(k == c.axis ? hi + overshoot : hi + c.diameter / 2);
            }
            voids.push_back(prism);
        }
        const testmesh::Soup drilled = carved(block, voids);
        options.drainHoleDiameter = 0;
        EXPECT_EQ(meshprobe::findCavities(drilled.view(), options).trappedVoxels, 0) << c.diameter;
    }
}

// A drill that reaches the build plate cannot be cut: whichever way the part is built, no suggested hole
// leaves within half its diameter of the faces the part stands on. Built upside down (-z up, as on a
// bottom-up resin printer) the plate holds the model's top, so the drain moves off it.
TEST(Cavities, DrainHolesNeverLeaveThroughTheBuildPlate)
{
    const testmesh::Soup part = hollowCube({5, 5, 4}, {15, 15, 15});
    for (const char* up : {"+z", "-z", "+x", "-y"}) {
        meshprobe::CavityOptions options;
        options.resolution = 48;
        options.up = meshprobe::parseDirection(up);
        options.drainHoleDiameter = 3;
        const meshprobe::CavitiesResult r = meshprobe::findCavities(part.view(), options);
        ASSERT_EQ(r.cavities.size(), 1u) << up;
        const meshprobe::CavityReport& c = r.cavities[0];
        ASSERT_TRUE(c.drain) << up; // a side wall is always left
        auto height = [&](const std::array<double, 3>& p) {
            return p[0] * options.up[0] + p[1] * options.up[1] + p[2] * options.up[2];
        };
        double plate = 0; // the part's lowest corner along up: the box spans 0..20 on every axis
        for (int k = 0; k < 3; ++k)
            plate += std::min(0.0, 20 * options.up[k]);
        for (const auto* hole : {&c.drain, &c.vent})
            if (*hole) {
                EXPECT_GE(height((*hole)->exitPoint) - plate, 1.5 - 1e-6) << up << " " << (*hole)->kind;
            }
    }
}

// Diameters that cannot be drilled are refused with the valid range: negative, not a number, infinite or
// wider than the part's box diagonal (20 * sqrt(3) mm here). The diagonal itself is still accepted.
TEST(Cavities, RefusesDrainHoleDiametersOutsideThePart)
{
    const testmesh::Soup part = hollowCube({5, 5, 4}, {15, 15, 15});
    const double diagonal = 20 * std::sqrt(3.0);
    meshprobe::CavityOptions options;
    options.resolution = 16;
    for (double d : {-1.0, std::nan(""), HUGE_VAL, diagonal * 1.001}) {
        options.drainHoleDiameter = d;
        try {
            meshprobe::findCavities(part.view(), options);
            ADD_FAILURE() << d << " accepted";
        } catch (const meshprobe::InputError& e) {
            EXPECT_NE(std::string(e.what()).find("valid range 0 (no holes) to 34.641 mm"), std::string::npos)
                << e.what();
        }
    }
    options.drainHoleDiameter = diagonal * 0.999;
    EXPECT_NO_THROW(meshprobe::findCavities(part.view(), options));
}

} // namespace
