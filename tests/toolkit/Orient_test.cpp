// SPDX-License-Identifier: MIT
// Build directions compared: support area, islands, height and footprint, and the rankings of each process.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>
#include <string>

#include "meshprobe/Error.h"
#include "meshprobe/Orientation.h"
#include "tests/support/PrintParts.h"
#include "tests/support/TestMeshes.h"
#include "tests/trapvolume/CellSolid.h"
#include "toolkit/src/orient/BuildFigures.h"

namespace {

using meshprobe::Direction;

/// A mushroom: a 4 x 4 post, 20 tall, under a 20 x 20 x 4 cap. Built with +z up the whole cap's underside
/// needs support; upside down nothing does; on its side only the post's lower face does.
///
///     ____________________
///    |____________________|  z 20..24
///             |  |
///             |  |           post x, y 8..12
///             |__|           z 0
testmesh::Soup mushroom()
{
    trapmesh::CellSolid solid({0, 8, 12, 20}, {0, 8, 12, 20}, {0, 20, 24});
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (i != 1 || j != 1) solid.carve(i, j, 0);
    return solid.soup();
}

/// Three columns side by side, 10 deep: 20, 4 and 16 tall, the short one carved from the top.
///
///     __      __
///    |  |    |  |  16
///    |  |____|  |  4
///    |__________|
///
/// Upside down (-z up) the 16 mm column's top is a region that starts in mid-air: an island.
testmesh::Soup steps()
{
    trapmesh::CellSolid solid({0, 4, 8, 12}, {0, 10}, {0, 4, 16, 20});
    solid.carve(1, 0, 1).carve(1, 0, 2).carve(2, 0, 2);
    return solid.soup();
}

struct FigureCase {
    const char* part;
    const char* up;
    double overhang, footprint, height;
    std::size_t islands;
};

// Every figure by hand from the sketches above (areas are whole faces of the lattice, exact in float).
TEST(BuildFigures, SupportAreaIslandsHeightAndFootprintPerDirection)
{
    // A cup: its pocket's floor is a flat group no edge leaves downward, but it faces up and stands on the
    // cup's base, so it is no island.
    const testmesh::Soup cup = testmesh::columns({0, 4, 16, 20}, {0, 4, 16, 20}, {20, 20, 20, 20, 4, 20, 20, 20, 20});
    const testmesh::Soup parts[] = {mushroom(), steps(), cup};
    const FigureCase cases[] = {
        {"mushroom", "+z", 400 - 16, 16, 24, 0},
        {"mushroom", "-z", 0, 400, 24, 0},
        {"mushroom", "+x", 80, 80, 20, 0},
        {"mushroom", "-y", 80, 80, 20, 0},
        {"steps", "+z", 0, 120, 20, 0},
        {"steps", "-z", 80, 40, 20, 1},
        {"steps", "+x", 12 * 10, 200, 12, 0},
        {"steps", "-x", 16 * 10, 160, 12, 0},
        {"cup", "+z", 0, 400, 20, 0},
    };
    for (const FigureCase& c : cases) {
        const std::string name = c.part;
        const testmesh::Soup& part = parts[name == "mushroom" ? 0 : name == "steps" ? 1 : 2];
        const meshprobe::detail::BuildFigures figures(part.view());
        const auto f = figures.measure(meshprobe::parseDirection(c.up), 45.0);
        EXPECT_NEAR(f.overhangArea, c.overhang, 1e-9) << c.part << " " << c.up;
        EXPECT_NEAR(f.footprint, c.footprint, 1e-9) << c.part << " " << c.up;
        EXPECT_NEAR(f.buildHeight, c.height, 1e-9) << c.part << " " << c.up;
        EXPECT_EQ(f.islands, c.islands) << c.part << " " << c.up;
    }
    // Upside down, the island is the 16 mm column's top: the mean of its four corners.
    const auto island = meshprobe::detail::BuildFigures(parts[1].view()).measure({0, 0, -1}, 45.0).islandPoints;
    ASSERT_EQ(island.size(), 1u);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(island[0][k], (std::array<double, 3>{10, 5, 16})[k], 1e-9) << k;
}

// The angle decides which faces need support: turned 30° about y, the mushroom stands on an edge of its
// post's foot, and the foot and the cap's underside face down at 30° from the horizontal (support below
// 45°, none below 20°); at 0° no face ever needs support.
TEST(BuildFigures, OverhangAngleSelectsTheFacesFlatterThanIt)
{
    const testmesh::Soup part = mushroom();
    const meshprobe::detail::BuildFigures figures(part.view());
    const Direction tilted{std::sin(M_PI / 6), 0.0, std::cos(M_PI / 6)};
    EXPECT_NEAR(figures.measure(tilted, 45.0).overhangArea, 400, 1e-9);
    EXPECT_NEAR(figures.measure(tilted, 20.0).overhangArea, 0.0, 1e-9);
    EXPECT_EQ(figures.measure({0, 0, 1}, 0.0).overhangArea, 0.0);
    // At 90° every face facing down at all needs support: also the -x sides of the post and the cap.
    EXPECT_NEAR(figures.measure(tilted, 90.0).overhangArea, 400 + 80 + 20 * 4, 1e-9);
}

meshprobe::OrientResult orientFor(const testmesh::Soup& part, meshprobe::OrientRanking ranking, int directions)
{
    meshprobe::OrientOptions options;
    options.resolution = 24;
    options.directions = directions;
    options.threads = 2;
    options.ranking = ranking;
    return meshprobe::orient(part.view(), options);
}

// Each process ranks by what matters to it. The mushroom traps nothing: over the axes, filament and resin
// build it upside down (no support at all, though taller); powder, which supports every overhang, builds it
// on its side, the lowest, the first such axis. Over 26 directions filament still takes the least support.
TEST(Orient, EachProcessRanksByItsOwnCriteria)
{
    const testmesh::Soup part = mushroom();
    struct Case {
        meshprobe::OrientRanking ranking;
        const char* best;
        const char* why;
    };
    for (const Case& c : {Case{meshprobe::OrientRanking::Fdm, "-z", "less support area: 0 mm² against 80 mm²"},
                          Case{meshprobe::OrientRanking::Resin, "-z", "less support area"},
                          Case{meshprobe::OrientRanking::Powder, "+x", "tied on every figure"}}) {
        const meshprobe::OrientResult r = orientFor(part, c.ranking, 6);
        ASSERT_EQ(r.candidates.size(), 6u);
        EXPECT_EQ(meshprobe::formatDirection(r.candidates[0].up), c.best) << c.best;
        EXPECT_NE(r.reason.find(c.why), std::string::npos) << r.reason;
        for (const meshprobe::OrientCandidate& other : r.candidates)
            EXPECT_EQ(other.cavities, 0u);
    }
    const meshprobe::OrientResult fdm = orientFor(part, meshprobe::OrientRanking::Fdm, 26);
    for (const meshprobe::OrientCandidate& other : fdm.candidates)
        EXPECT_LE(fdm.candidates[0].overhangArea, other.overhangArea);
    EXPECT_THROW(meshprobe::rankingFor("sla"), meshprobe::InputError);
}

// The noise rule: a 20 x 10 x 6 block with a small sealed void. Built +z up the void is a few voxels (a
// 2 mm void) or below --min-cavity (a 3 mm one with 30 mm³), and some slanted grid catches fewer voxels of
// it or none: counted raw, that slant would win. As noise the void neither counts nor ranks, so the
// lowest axis direction goes first.
TEST(Orient, CavitiesWithinNoiseNeitherCountNorRank)
{
    struct Case {
        float side;
        double minCavity;
    };
    for (const Case& c : {Case{2.0f, 0.0}, Case{3.0f, 30.0}}) {
        testmesh::Soup part = testmesh::box(0, 0, 0, 20, 10, 6);
        part.appendFlipped(testmesh::box(8.9f, 3.9f, 1.9f, 8.9f + c.side, 3.9f + c.side, 1.9f + c.side));
        meshprobe::OrientOptions options;
        options.resolution = 24;
        options.threads = 2;
        options.minCavityVolume = c.minCavity;
        const meshprobe::OrientResult r = meshprobe::orient(part.view(), options);
        const meshprobe::OrientCandidate& best = r.candidates[0];
        EXPECT_EQ(meshprobe::formatDirection(best.up), "+z") << c.side;
        EXPECT_GT(best.trappedVoxels, 0) << c.side;
        EXPECT_EQ(best.noiseCavities, 1u) << c.side;
        bool slantTrapsLess = false;
        for (const meshprobe::OrientCandidate& other : r.candidates) {
            EXPECT_EQ(other.cavities, 0u) << c.side;
            EXPECT_EQ(other.estimatedVolume, 0.0) << c.side;
            slantTrapsLess = slantTrapsLess || other.trappedVoxels < best.trappedVoxels;
        }
        EXPECT_TRUE(slantTrapsLess) << c.side << ": the part no longer tells the rule apart";
        EXPECT_NE(r.reason.find("tied"), std::string::npos) << r.reason;
    }
}

const meshprobe::OrientCandidate& candidateFor(const meshprobe::OrientResult& r, const char* up)
{
    for (const meshprobe::OrientCandidate& c : r.candidates)
        if (meshprobe::formatDirection(c.up) == up) return c;
    throw std::runtime_error(std::string("no candidate ") + up);
}

// Suction cups rank right after sealed volume for bottom-up resin. The cup (12 x 12 x 16 mm of air) forms one
// when built -z up; +z up it forms none and needs no support, so it goes first. The tube, open at both
// ends, drains either way up, but whichever end sits on the plate closes it into a cup: bottom-up resin
// lays it on its side. Powder looks for no cups and builds the cup on any axis (all 20 mm tall).
TEST(Orient, BottomUpResinAvoidsSuctionCupsAndThePlateClosesThem)
{
    struct Case {
        const char* part;
        testmesh::Soup (*make)();
        meshprobe::OrientRanking ranking;
        const char* best;
        std::vector<const char*> cups; ///< directions with one cup, of the volume below
        double cupVolume;
    };
    const std::vector<Case> cases{
        {"cup", printparts::cupOpeningUp, meshprobe::OrientRanking::BottomUpResin, "+z", {"-z"}, 2304},
        {"tube", printparts::tubeThroughZ, meshprobe::OrientRanking::BottomUpResin, "+x", {"+z", "-z"}, 2880},
        {"cup", printparts::cupOpeningUp, meshprobe::OrientRanking::Powder, "+z", {}, 0},
    };
    for (const Case& c : cases) {
        const meshprobe::OrientResult r = orientFor(c.make(), c.ranking, 6);
        EXPECT_EQ(r.suctionCupsMeasured, c.ranking == meshprobe::OrientRanking::BottomUpResin);
        EXPECT_EQ(meshprobe::formatDirection(r.candidates[0].up), c.best) << c.part << " " << r.reason;
        std::size_t withCups = 0;
        for (const meshprobe::OrientCandidate& other : r.candidates) {
            EXPECT_EQ(other.sealedCavities, 0u) << c.part;
            withCups += other.suctionCups;
        }
        EXPECT_EQ(withCups, c.cups.size()) << c.part;
        for (const char* up : c.cups) {
            const meshprobe::OrientCandidate& cupped = candidateFor(r, up);
            EXPECT_EQ(cupped.suctionCups, 1u) << c.part << " " << up;
            EXPECT_NEAR(cupped.suctionCupVolume, c.cupVolume, 0.1 * c.cupVolume) << c.part << " " << up;
        }
    }
}

// Refinement finds what the coarse set steps over: a 20 x 20 x 2 slab tilted 30° about y builds lowest
// along its normal (0.5, 0, 0.866), 30° from +z (or the opposite way); of the 26 coarse directions the nearest is 15°
// off (7.1 mm tall). Two rounds of cones close in on the normal, the same directions every run.
TEST(Orient, RefinementClosesInOnTheBestDirectionBetweenCoarseOnes)
{
    testmesh::Soup slab = testmesh::box(-10, -10, -1, 10, 10, 1);
    const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
    for (std::size_t v = 0; v < slab.positions.size(); v += 3) {
        const double x = slab.positions[v], z = slab.positions[v + 2];
        slab.positions[v] = float(c * x + s * z);
        slab.positions[v + 2] = float(-s * x + c * z);
    }
    meshprobe::OrientOptions options;
    options.resolution = 24;
    options.threads = 2;
    options.ranking = meshprobe::OrientRanking::Powder;
    const meshprobe::OrientResult coarse = meshprobe::orient(slab.view(), options);
    EXPECT_TRUE(coarse.refined.empty());
    EXPECT_NEAR(coarse.candidates[0].buildHeight, 20 * std::sin(M_PI / 12) + 2 * std::cos(M_PI / 12), 1e-3);
    options.refineRounds = 2;
    const meshprobe::OrientResult fine = meshprobe::orient(slab.view(), options);
    ASSERT_FALSE(fine.refined.empty());
    EXPECT_LE(fine.refined.size(), 36u);
    EXPECT_EQ(fine.candidates.size(), 26 + fine.refined.size());
    const Direction& best = fine.candidates[0].up;
    EXPECT_GT(std::fabs(best[0] * s + best[2] * c), std::cos(5 * M_PI / 180)) << meshprobe::formatDirection(best);
    EXPECT_LT(fine.candidates[0].buildHeight, 3.5);
    const meshprobe::OrientResult again = meshprobe::orient(slab.view(), options);
    ASSERT_EQ(again.refined.size(), fine.refined.size());
    for (std::size_t i = 0; i < fine.refined.size(); ++i)
        EXPECT_EQ(again.refined[i], fine.refined[i]);
    options.refineRounds = 5;
    EXPECT_THROW(meshprobe::orient(slab.view(), options), meshprobe::InputError);
}

} // namespace
