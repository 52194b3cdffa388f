// SPDX-License-Identifier: MIT
// Phases 2 and 3 end to end: which air is trapped in hand-countable shapes on a 16-voxel grid.
//
// Every shape is a closed CellSolid whose outer planes are 0 and 15.998 (voxel = world + 0.001) and whose
// inner planes run through voxel middles (j + 0.499 marks voxel j), so the trapped voxels can be counted by
// hand: between planes a + 0.499 and b + 0.499 lie the free voxels a+1 .. b-1.
#include <gtest/gtest.h>

#include <string>

#include "tests/trapvolume/CellSolid.h"
#include "tests/trapvolume/TrapTestSupport.h"

using trapmesh::CellSolid;
using trapmesh::kFar;
using traptest::Placed;

namespace {

struct TrapCase {
    std::string name;
    testmesh::Soup soup;
    int trapped;                    ///< trapped voxels
    std::vector<std::string> names; ///< cavity mesh names, in order
    std::vector<float> volumes;     ///< cavity volumes, in the same order
};

void PrintTo(const TrapCase& c, std::ostream* os)
{
    *os << c.name;
}

// Solid box with a sealed 8^3 hole (planes 4 and 11): the 6^3 voxels inside it are air that cannot leave.
TrapCase hollowBox()
{
    CellSolid s({0, 4.499f, 11.499f, kFar}, {0, 4.499f, 11.499f, kFar}, {0, 4.499f, 11.499f, kFar});
    s.carve(1, 1, 1);
    return {"HollowBox", s.soup(), 6 * 6 * 6, {"Closed"}, {6 * 6 * 6}};
}

TrapCase solidBox()
{
    return {"SolidBox", CellSolid({0, kFar}, {0, kFar}, {0, kFar}).soup(), 0, {}, {}};
}

// A pit from the top face down to a floor at plane 3: 8 x 8 voxels wide, z 4..15, reaching the box top.
TrapCase cupOpenUp()
{
    CellSolid s({0, 3.499f, 12.499f, kFar}, {0, 3.499f, 12.499f, kFar}, {0, 3.499f, kFar});
    s.carve(1, 1, 1);
    return {"CupOpeningUp", s.soup(), 8 * 8 * 12, {"Open"}, {8 * 8 * 12}};
}

// The same pit opening through the bottom face drains.
TrapCase cupOpenDown()
{
    CellSolid s({0, 3.499f, 12.499f, kFar}, {0, 3.499f, 12.499f, kFar}, {0, 12.499f, kFar});
    s.carve(1, 1, 0);
    return {"CupOpeningDown", s.soup(), 0, {}, {}};
}

// U channel: two shafts from the top face (x 3..4 and 11..12, y 6..9, z 4..15) joined by a tunnel
// (x 5..10, z 4..5). Leaving means rising, so all of it is trapped.
//
//   z=15 |..|      |..|
//        |..|______|..|
//   z=4  |____________|
TrapCase uChannel()
{
    CellSolid s({0, 2.499f, 5.499f, 10.499f, 13.499f, kFar}, {0, 5.499f, 10.499f, kFar}, {0, 3.499f, 6.499f, kFar});
    s.carve(1, 1, 1).carve(2, 1, 1).carve(3, 1, 1).carve(1, 1, 2).carve(3, 1, 2);
    return {"UChannel", s.soup(), 2 * (2 * 4 * 12) + 6 * 4 * 2, {"Open"}, {2 * (2 * 4 * 12) + 6 * 4 * 2}};
}

// A shaft from the top into a tunnel that leaves through the +x face at z 6..7, over a sump (z 3..5) below
// the shaft: only the sump, lower than the outlet, is trapped; it touches drained air, so it is "Open".
TrapCase sideOutlet()
{
    CellSolid s({0, 2.499f, 5.499f, kFar}, {0, 5.499f, 10.499f, kFar}, {0, 2.499f, 5.499f, 8.499f, kFar});
    s.carve(1, 1, 1).carve(1, 1, 2).carve(2, 1, 2).carve(1, 1, 3);
    return {"SideOutlet", s.soup(), 2 * 4 * 3, {"Open"}, {2 * 4 * 3}};
}

// Two sealed boxes: 2 x 3 x 2 voxels low, 3 x 3 x 1 higher up; found lowest first.
TrapCase twoSealedBoxes()
{
    CellSolid s({0, 2.499f, 5.499f, 8.499f, 12.499f, kFar}, {0, 2.499f, 6.499f, kFar},
                {0, 2.499f, 5.499f, 7.499f, kFar});
    s.carve(1, 1, 1).carve(3, 1, 2);
    return {"TwoSealedBoxes", s.soup(), 12 + 9, {"Closed", "Closed"}, {12, 9}};
}

// A sheet across the inside of a closed box, its edges on the walls (T-junctions): above the sheet the ray
// down crosses twice and the ray up once, so every pocket voxel is undecided and ends as material.
TrapCase sheetInsideBox()
{
    testmesh::Soup soup = testmesh::box(0, 0, 0, kFar, kFar, kFar);
    testmesh::Soup sheet;
    sheet.positions = {0, 0, 7.499f, kFar, 0, 7.499f, kFar, kFar, 7.499f, 0, kFar, 7.499f};
    sheet.indices = {0, 1, 2, 0, 2, 3};
    soup.append(sheet);
    return {"SheetInsideBox", soup, 0, {}, {}};
}

class TrappedShapes : public testing::TestWithParam<TrapCase> {
protected:
    traptest::TeamSize team{2};
};

/// Voxel edge 1.0000001: a volume is its voxel count within float rounding.
void expectVolume(float volume, float voxels)
{
    EXPECT_NEAR(volume, voxels, 1e-3f * voxels + 1e-6f);
}

// The count, then (after voxelizing again, as counting uses the cavities up) the meshes: names and volumes
// in order, lowest cavity first, behind the entries the list already held.
TEST_P(TrappedShapes, CountAndMeshesMatchTheHandCount)
{
    Placed placed(GetParam().soup);
    VoxelizerTrapVolume voxelizer(16, &placed.kernel);
    voxelizer.voxelize(2, {});
    float volume = -1.0f;
    EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, {}), GetParam().trapped);
    expectVolume(volume, static_cast<float>(GetParam().trapped));

    voxelizer.voxelize(2, {});
    std::vector<float> volumes{42.0f};
    std::vector<std::string> names;
    for (UMesh<float>* mesh : voxelizer.trappedVolume2Mesh(volumes, {})) {
        names.push_back(mesh->GetName());
        delete mesh;
    }
    EXPECT_EQ(names, GetParam().names);
    ASSERT_EQ(volumes.size(), 1 + GetParam().volumes.size());
    EXPECT_EQ(volumes[0], 42.0f);
    for (std::size_t c = 0; c < GetParam().volumes.size(); ++c)
        expectVolume(volumes[1 + c], GetParam().volumes[c]);
}

INSTANTIATE_TEST_SUITE_P(Shapes, TrappedShapes,
                         testing::Values(hollowBox(), solidBox(), cupOpenUp(), cupOpenDown(), uChannel(), sideOutlet(),
                                         twoSealedBoxes(), sheetInsideBox()),
                         [](const testing::TestParamInfo<TrapCase>& shape) { return shape.param.name; });

// The hollow ball: its shell makes every ray from the cavity cross twice, so the cavity is air that phase 3
// cannot reach. Its voxel count is near the inner ball's volume, and the sets after each phase agree with
// the meaning of the two bits.
TEST(Classification, HollowBallKeepsItsCavityAndNothingElse)
{
    traptest::TeamSize team(2);
    testmesh::Soup soup = testmesh::sphere(0, 0, 0, 10, 24, 32);
    soup.appendFlipped(testmesh::sphere(0, 0, 0, 6, 24, 32));
    Placed placed(soup);
    VoxelizerTrapVolumePrivate grid(40, &placed.kernel);
    grid.voxelizeSurface(2, {});
    grid.classifyVoxels(2, {});
    // Voxels outside the mesh box are set after phase 2 (the box here is the grid, so check the centre).
    EXPECT_FALSE(traptest::bitAt(grid.occupiedBits, grid, 20, 20, 20)); // cavity: air
    EXPECT_TRUE(traptest::bitAt(grid.occupiedBits, grid, 20, 20, 6));   // inside the shell: material
    EXPECT_FALSE(traptest::bitAt(grid.occupiedBits, grid, 0, 0, 0));    // corner: outside air
    EXPECT_GT(grid.votedVoxelCount.load(), 0);
    grid.markDrainable(2, {});
    EXPECT_TRUE(traptest::bitAt(grid.occupiedBits, grid, 0, 0, 0));
    EXPECT_FALSE(traptest::bitAt(grid.occupiedBits, grid, 20, 20, 20));

    float volume = 0.0f;
    const int trapped = grid.getTrappedVolumeCount(volume, {});
    const double innerBall = 4.0 / 3.0 * 3.14159265 * 6 * 6 * 6;
    EXPECT_GT(volume, 0.75 * innerBall);
    EXPECT_LT(volume, innerBall);
    EXPECT_NEAR(volume, trapped * 8 * (*grid.halfVoxel)[0] * (*grid.halfVoxel)[1] * (*grid.halfVoxel)[2], 1e-2);
}

// Before a voxelize nothing is trapped; a repeated voxelize gives the same answer as the first; phase 2 sets
// everything outside the mesh box (here z above the flat box) and phase 3 keeps it set.
TEST(Classification, LifecycleAndVoxelsOutsideTheMeshBox)
{
    Placed cup(cupOpenUp().soup);
    VoxelizerTrapVolume voxelizer(16, &cup.kernel);
    float volume = -1.0f;
    EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, {}), 0);
    EXPECT_EQ(volume, 0.0f);
    std::vector<float> volumes;
    EXPECT_TRUE(voxelizer.trappedVolume2Mesh(volumes, {}).empty());
    for (int run = 0; run < 2; ++run) {
        voxelizer.voxelize(1, {});
        EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, {}), 8 * 8 * 12) << "run " << run;
    }

    Placed flat(CellSolid({0, kFar}, {0, kFar}, {0, 4.0f}).soup());
    VoxelizerTrapVolumePrivate grid(16, &flat.kernel);
    traptest::voxelizeAll(grid);
    EXPECT_EQ((*grid.meshVoxelMax)[2], 4.0);
    EXPECT_EQ(traptest::setBitCount(grid.occupiedBits, grid), 16 * 16 * 16);
}

} // namespace
