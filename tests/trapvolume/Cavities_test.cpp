// SPDX-License-Identifier: MIT
// Trapped cavities counted and meshed: counts, volumes, progress every tenth, column triangles, consumption,
// and what a failing callback leaves behind.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <random>
#include <deque>
#include <memory>
#include <stdexcept>

#include "tests/trapvolume/CellSolid.h"
#include "tests/trapvolume/TrapTestSupport.h"
#include "trapvolume/VoxelizerRun.h"

using trapmesh::CellSolid;
using trapmesh::kFar;
using traptest::Placed;

namespace {

struct MeshList {
    std::vector<UMesh<float>*> meshes;
    ~MeshList()
    {
        for (UMesh<float>* m : meshes)
            delete m;
    }
};

// One sealed cavity in a solid box: planes a + 0.499 and b + 0.499 enclose the voxels a+1 .. b-1.
testmesh::Soup sealedCavity(float x0, float x1, float y0, float y1, float z0, float z1)
{
    CellSolid s({0, x0, x1, kFar}, {0, y0, y1, kFar}, {0, z0, z1, kFar});
    s.carve(1, 1, 1);
    return s.soup();
}

void expectPoint(const UVertex<float>* v, float x, float y, float z)
{
    // Voxel corners are -0.001 + q * 1.0000001 in float.
    EXPECT_NEAR(v->P()[0], x, 1e-5f);
    EXPECT_NEAR(v->P()[1], y, 1e-5f);
    EXPECT_NEAR(v->P()[2], z, 1e-5f);
}

struct CavityCase {
    const char* name;
    testmesh::Soup soup;
    int trapped;
    std::vector<int> reports; ///< of the count
    std::size_t triangles;    ///< of the one "Closed" mesh: one per vertical run of voxels
    std::array<float, 2> run; ///< for a single run at x, y = 5: its lowest and highest corner z
    float shiftX = 0.0f;      ///< the kernel's matrix moves the part along x: the corners move with it
};

// The count with its reports (k * 10 each time the running count passes k * step, step = total / 10
// truncated), which uses the cavities up: a second count and a meshing find nothing and report nothing.
// Voxelized again, the meshes: one triangle per vertical run, in the run's lower y face, from the lowest
// voxel's corner to the top of the run.
TEST(Cavities, CountAndMeshOfSealedCavities)
{
    const CavityCase cases[] = {
        // 1 voxel: step 0, one report.
        {"one voxel", sealedCavity(4.499f, 6.499f, 4.499f, 6.499f, 4.499f, 6.499f), 1, {0}, 1, {4.999f, 5.999f}, 10},
        // 1 x 1 x 5 (z 3..7): step 0, a report per voxel; one triangle over all five.
        {"column",
         sealedCavity(4.499f, 6.499f, 4.499f, 6.499f, 2.499f, 8.499f),
         5,
         {0, 10, 20, 30, 40},
         1,
         {2.999f, 7.999f}},
        // 2 x 1 x 2 (x 5..6, z 3..4): two runs.
        {"two runs", sealedCavity(4.499f, 7.499f, 4.499f, 6.499f, 2.499f, 5.499f), 4, {0, 10, 20, 30}, 2, {}},
        // 5 x 5 x 1: step 2, reports while the running count passes 0, 2, 4, ..., 24 -> 0 .. 120.
        {"twenty-five",
         sealedCavity(2.499f, 8.499f, 2.499f, 8.499f, 4.499f, 6.499f),
         25,
         {0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120},
         25,
         {}},
        // 5 x 5 x 4: step 10 -> 0 .. 90.
        {"hundred",
         sealedCavity(2.499f, 8.499f, 2.499f, 8.499f, 2.499f, 7.499f),
         100,
         {0, 10, 20, 30, 40, 50, 60, 70, 80, 90},
         25,
         {}},
        {"none", CellSolid({0, kFar}, {0, kFar}, {0, kFar}).soup(), 0, {}, 0, {}}};
    for (const CavityCase& c : cases) {
        SCOPED_TRACE(c.name);
        Placed placed(c.soup, UMatrix4<float>::translation(c.shiftX, 0, 0));
        VoxelizerTrapVolume voxelizer(16, &placed.kernel);
        voxelizer.voxelize(1, {});
        traptest::ProgressLog log;
        float volume = 0.0f;
        EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, log.callback()), c.trapped);
        EXPECT_NEAR(volume, static_cast<float>(c.trapped), 1e-4f * static_cast<float>(c.trapped));
        EXPECT_EQ(log.values, c.reports);
        log.values.clear();
        EXPECT_EQ(voxelizer.getTrappedVolumeCount(volume, log.callback()), 0);
        EXPECT_EQ(volume, 0.0f);
        std::vector<float> volumes;
        EXPECT_TRUE(voxelizer.trappedVolume2Mesh(volumes, log.callback()).empty());
        EXPECT_TRUE(volumes.empty());
        EXPECT_TRUE(log.values.empty());

        voxelizer.voxelize(1, {});
        const MeshList list{voxelizer.trappedVolume2Mesh(volumes, {})};
        ASSERT_EQ(list.meshes.size(), c.trapped ? 1u : 0u);
        if (!c.trapped) continue;
        const UMesh<float>& mesh = *list.meshes[0];
        EXPECT_EQ(mesh.GetName(), "Closed");
        ASSERT_EQ(mesh.faces.size(), c.triangles);
        EXPECT_EQ(mesh.vertices.size(), 3 * c.triangles);
        ASSERT_EQ(volumes.size(), 1u);
        EXPECT_NEAR(volumes[0], static_cast<float>(c.trapped), 1e-4f * static_cast<float>(c.trapped));
        EXPECT_TRUE(voxelizer.trappedVolume2Mesh(volumes, {}).empty()); // used up
        if (c.run[1] == 0.0f) continue;
        expectPoint(mesh.faces[0]->V(0), c.shiftX + 4.999f, 4.999f, c.run[0]);
        expectPoint(mesh.faces[0]->V(1), c.shiftX + 5.999f, 4.999f, c.run[1]);
        expectPoint(mesh.faces[0]->V(2), c.shiftX + 4.999f, 4.999f, c.run[1]);
    }
}

// The cavity meshes of irregular, partly open cavities (random cells carved from a lattice, the top layer
// included) against a literal breadth-first walk over copies of the bit sets: the same cavities in the same
// order, names, volumes and every column triangle's corners, bit for bit.
struct LiteralCavity {
    std::string name;
    float volume = 0.0f;
    std::vector<float> corners; // nine per column triangle
};

std::vector<LiteralCavity> literalCavityMeshes(const VoxelizerTrapVolumePrivate& grid)
{
    const std::uint32_t n = grid.resolution;
    std::vector<unsigned> occupied = traptest::words(grid.occupiedBits, grid.wordCount);
    const std::vector<unsigned> reached = traptest::words(grid.reachedBits, grid.wordCount);
    std::vector<unsigned> label(grid.wordCount, 0u);
    auto test = [](const std::vector<unsigned>& bits, std::uint32_t i) { return (bits[i >> 5] >> (i & 31)) & 1u; };
    auto set = [](std::vector<unsigned>& bits, std::uint32_t i) { bits[i >> 5] |= 1u << (i & 31); };
    const UVector3<double>& low = *grid.meshVoxelMin;
    const UVector3<double>& high = *grid.meshVoxelMax;
    const UVector3<double>& half = *grid.halfVoxel;
    const int steps[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
    const int zMax = static_cast<int>(high[2]);
    std::vector<LiteralCavity> cavities;
    for (int sz = static_cast<int>(low[2]); sz <= zMax; ++sz)
        for (int sx = static_cast<int>(low[0]); sx <= static_cast<int>(high[0]); ++sx)
            for (int sy = static_cast<int>(low[1]); sy <= static_cast<int>(high[1]); ++sy) {
                if (test(occupied, grid.voxelIndex(sx, sy, sz))) continue;
                LiteralCavity cavity;
                bool closed = true;
                int count = 0;
                std::deque<std::uint32_t> queue{grid.voxelIndex(sx, sy, sz)};
                for (; !queue.empty(); queue.pop_front()) {
                    const std::uint32_t i = queue.front();
                    if (test(occupied, i)) continue;
                    ++count;
                    set(occupied, i);
                    const double v[3] = {static_cast<double>(i / (n * n)), static_cast<double>(i / n % n),
                                         static_cast<double>(i % n)};
                    if (!test(label, i)) {
                        const auto w = grid.voxelCorner(UVector3<double>(v[0], v[1], v[2]));
                        double top = (*w)[2] + 2 * half[2];
                        for (int z = static_cast<int>(v[2]) + 1; z <= zMax; ++z) {
                            const std::uint32_t above = i + static_cast<std::uint32_t>(z - static_cast<int>(v[2]));
                            if (test(occupied, above)) {
                                top = (*grid.voxelCorner(UVector3<double>(v[0], v[1], z)))[2];
                                break;
                            }
                            set(label, above);
                            if (z == zMax) top = (*grid.voxelCorner(UVector3<double>(v[0], v[1], z)))[2] + 2 * half[2];
                        }
                        const double c[9] = {(*w)[0], (*w)[1], (*w)[2], (*w)[0] + 2 * half[0], (*w)[1], top,
                                             (*w)[0], (*w)[1], top};
                        for (double value : c)
                            cavity.corners.push_back(static_cast<float>(value));
                    }
                    for (const auto& d : steps) {
                        const double q[3] = {v[0] + d[0], v[1] + d[1], v[2] + d[2]};
                        if (q[0] < low[0] || q[0] > high[0] || q[1] < low[1] || q[1] > high[1] || q[2] < low[2] ||
                            q[2] > high[2]) {
                            closed = false;
                            continue;
                        }
                        const auto j =
                            static_cast<std::uint32_t>(static_cast<std::int64_t>(n * q[1] + n * n * q[0] + q[2]));
                        if (closed && test(reached, j)) closed = false;
                        if (!test(occupied, j)) queue.push_back(j);
                    }
                }
                cavity.name = closed ? "Closed" : "Open";
                cavity.volume = static_cast<float>(count * half[0] * half[1] * half[2] * 8.0);
                cavities.push_back(cavity);
            }
    return cavities;
}

TEST(Cavities, MeshesOfIrregularCavitiesEqualALiteralWalk)
{
    // On a 32-voxel grid (voxel j covers j - 0.001 .. j + 0.999), cells two voxels wide between planes
    // 2c - 0.501 and 2c + 1.499 each hold one free voxel; carved neighbours join into one cavity.
    const float far = 31.998f;
    std::vector<float> planes{0};
    for (int c = 1; c < 16; ++c)
        planes.push_back(2.0f * static_cast<float>(c) - 0.501f);
    planes.push_back(far);
    std::mt19937 random(11);
    std::size_t cavitiesSeen = 0;
    std::size_t openSeen = 0;
    for (int round = 0; round < 6; ++round) {
        CellSolid solid(planes, planes, planes);
        for (int i = 1; i < 15; ++i)
            for (int j = 1; j < 15; ++j)
                for (int k = 1; k < 16; ++k) // k = 15 is the top layer: cavities there open upward
                    if (random() % 100 < 35) solid.carve(i, j, k);
        Placed placed(solid.soup());
        VoxelizerTrapVolumePrivate grid(32, &placed.kernel);
        traptest::voxelizeAll(grid);
        const std::vector<LiteralCavity> expected = literalCavityMeshes(grid);
        MeshList list;
        std::vector<float> volumes;
        grid.trappedVolume2Mesh(list.meshes, volumes, {});
        ASSERT_EQ(list.meshes.size(), expected.size());
        cavitiesSeen += expected.size();
        for (std::size_t c = 0; c < expected.size(); ++c) {
            const UMesh<float>& mesh = *list.meshes[c];
            EXPECT_EQ(mesh.GetName(), expected[c].name);
            openSeen += expected[c].name == "Open" ? 1 : 0;
            EXPECT_EQ(volumes[c], expected[c].volume);
            std::vector<float> corners;
            for (const UTriangle<float>* face : mesh.faces)
                for (int v = 0; v < 3; ++v)
                    for (int a = 0; a < 3; ++a)
                        corners.push_back(face->V(v)->P()[a]);
            EXPECT_EQ(corners, expected[c].corners) << "round " << round << ", cavity " << c;
        }
        // The toolkit's run on a team of two: the same cavities, and one voxel run per column triangle, from
        // its lowest corner to its top.
        for (bool withColumns : {true, false}) {
            meshprobe::trap::VoxelizerRun run(32, placed.kernel, 2);
            run.voxelize({});
            const meshprobe::trap::GridGeometry g = run.grid();
            const std::vector<meshprobe::trap::TrappedCavity> found = run.cavities(withColumns, {});
            ASSERT_EQ(found.size(), expected.size());
            for (std::size_t c = 0; c < found.size(); ++c) {
                EXPECT_EQ(found[c].closed ? "Closed" : "Open", expected[c].name);
                EXPECT_EQ(found[c].volume, expected[c].volume);
                EXPECT_EQ(found[c].columns != nullptr, withColumns);
                std::vector<float> corners;
                for (const meshprobe::trap::VoxelRun& r : found[c].runs) {
                    const float x0 = float(g.corner(0, r.x)), y = float(g.corner(1, r.y));
                    const float x1 = float(g.corner(0, r.x) + 2 * (*grid.halfVoxel)[0]);
                    const float z1 = float(g.corner(2, r.z1));
                    corners.insert(corners.end(), {x0, y, float(g.corner(2, r.z0)), x1, y, z1, x0, y, z1});
                }
                EXPECT_EQ(corners.size(), expected[c].corners.size());
                for (std::size_t k = 0; k < corners.size() && k < expected[c].corners.size(); ++k)
                    EXPECT_NEAR(corners[k], expected[c].corners[k], 1e-5f) << "cavity " << c << ", corner value " << k;
            }
        }
    }
    EXPECT_GT(cavitiesSeen, 20u);
    EXPECT_GT(openSeen, 0u);
    EXPECT_LT(openSeen, cavitiesSeen);
}

// The callback's exception passes unchanged. The report for the 31st voxel of the 5 x 5 x 4 cavity (k = 3,
// step 10) comes before that voxel is marked: the 30 voxels a breadth-first walk from the seed (faces in the
// order -z, +z, -x, +x, -y, +y) measures first are used up, and a later count finds the other 70.
TEST(TrappedVolumeCountFailure, ExceptionLeavesTheBreadthFirstVisitsAndALaterCountMeasuresTheRest)
{
    Placed placed(sealedCavity(2.499f, 8.499f, 2.499f, 8.499f, 2.499f, 7.499f));
    VoxelizerTrapVolumePrivate grid(16, &placed.kernel);
    traptest::voxelizeAll(grid);
    std::vector<unsigned> expected = traptest::words(grid.occupiedBits, grid.wordCount);
    std::vector<std::uint32_t> queue{grid.voxelIndex(3, 3, 3)}; // the first clear voxel in (z, x, y) order
    const int steps[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
    for (std::size_t head = 0, marked = 0; marked < 30; ++head) {
        const std::uint32_t i = queue[head];
        if (expected[i >> 5] >> (i & 31) & 1u) continue;
        expected[i >> 5] |= 1u << (i & 31);
        ++marked;
        for (const auto& d : steps) {
            const int x = static_cast<int>(i / 256) + d[0], y = static_cast<int>(i / 16 % 16) + d[1],
                      z = static_cast<int>(i % 16) + d[2];
            if (x >= 0 && x < 16 && y >= 0 && y < 16 && z >= 0 && z < 16)
                queue.push_back(grid.voxelIndex(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                                static_cast<std::uint32_t>(z)));
        }
    }
    float volume = 0.0f;
    EXPECT_THROW(grid.getTrappedVolumeCount(volume,
                                            [](int v) {
                                                if (v == 30) throw std::runtime_error("stop");
                                            }),
                 std::runtime_error);
    EXPECT_EQ(traptest::words(grid.occupiedBits, grid.wordCount), expected);
    EXPECT_EQ(grid.getTrappedVolumeCount(volume, {}), 70);
}

// Two sealed cavities of 12 and 9 voxels: T = 21, step 2. The report 70 (running count past 14) comes in the
// second cavity: every mesh is deleted (ASan checks), the first volume stays, the cancellation passes on.
class CavityMeshFailure : public testing::Test {
protected:
    void SetUp() override
    {
        CellSolid s({0, 2.499f, 5.499f, 8.499f, 12.499f, kFar}, {0, 2.499f, 6.499f, kFar},
                    {0, 2.499f, 5.499f, 7.499f, kFar});
        s.carve(1, 1, 1).carve(3, 1, 2);
        placed = std::make_unique<Placed>(s.soup());
        voxelizer = std::make_unique<VoxelizerTrapVolume>(16, &placed->kernel);
        voxelizer->voxelize(1, {});
    }
    std::unique_ptr<Placed> placed;
    std::unique_ptr<VoxelizerTrapVolume> voxelizer;
};

TEST_F(CavityMeshFailure, CancellationOtherFailuresAndProgress)
{
    std::vector<float> volumes;
    EXPECT_THROW(voxelizer->trappedVolume2Mesh(volumes,
                                               [](int v) {
                                                   if (v == 70) throw Kel::AbortException();
                                               }),
                 Kel::AbortException);
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_NEAR(volumes[0], 12.0f, 1e-4f);

    // Voxelized again (the cancelled call used voxels up): any other exception becomes "Terminate".
    volumes.clear();
    voxelizer->voxelize(1, {});
    try {
        voxelizer->trappedVolume2Mesh(volumes, [](int) { throw std::runtime_error("not a cancellation"); });
        FAIL() << "no exception";
    } catch (const char* text) {
        EXPECT_STREQ(text, "Terminate");
    }
    EXPECT_TRUE(volumes.empty());

    // Voxelized again: the running count passes 0, 2, ..., 20 -> reports 0 .. 100 by tens, over both cavities.
    voxelizer->voxelize(1, {});
    traptest::ProgressLog log;
    MeshList list{voxelizer->trappedVolume2Mesh(volumes, log.callback())};
    EXPECT_EQ(log.values, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(list.meshes.size(), 2u);
}

} // namespace
