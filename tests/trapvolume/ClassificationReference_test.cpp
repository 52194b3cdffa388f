// SPDX-License-Identifier: MIT
// The word-wide walks and span floods of the classification against a plain voxel-by-voxel version: line
// walks one voxel at a time and first-in first-out floods over single voxels, on one thread. Both start
// from the same surface voxels and ask the same intersector, so every bit of both sets must agree.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <deque>
#include <limits>
#include <random>
#include <vector>

#include "host/embree/EmbreeIntersector.h"
#include "tests/trapvolume/TrapTestSupport.h"

namespace {

class PlainClassifier {
public:
    explicit PlainClassifier(const VoxelizerTrapVolumePrivate& g) : grid(g), n(g.resolution)
    {
        const VoxelizerTrapVolumePrivate::MeshBox box = g.meshBox();
        for (int k = 0; k < 3; ++k) {
            lo[k] = box.lo[k];
            hi[k] = box.hi[k];
        }
        occupied.resize(g.wordCount);
        reached.assign(g.wordCount, 0u);
        for (std::uint32_t w = 0; w < g.wordCount; ++w)
            occupied[w] = g.occupiedBits.get()[w].load();
    }

    void classify()
    {
        carveLines();
        floodFromLines();
        voteByRays();
        for (std::size_t w = 0; w < occupied.size(); ++w)
            occupied[w] = ~reached[w];
    }

    void markDrainable()
    {
        std::fill(reached.begin(), reached.end(), 0u);
        auto flood = [&](int x, int y, int z) {
            if (!either(index(x, y, z))) floodFill(index(x, y, z), reached, noDown, 5);
        };
        for (int x = lo[0]; x <= hi[0]; ++x)
            for (int y = lo[1]; y <= hi[1]; ++y)
                walk(2, x, y, false, [&](int z) { flood(x, y, z); });
        for (int y = lo[1]; y <= hi[1]; ++y)
            for (int z = lo[2]; z <= hi[2]; ++z)
                walk(0, y, z, true, [&](int x) { flood(x, y, z); });
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int x = lo[0]; x <= hi[0]; ++x)
                walk(1, z, x, true, [&](int y) { flood(x, y, z); });
        for (std::size_t w = 0; w < occupied.size(); ++w)
            occupied[w] |= reached[w];
    }

    std::vector<unsigned> occupied;
    std::vector<unsigned> reached;

private:
    static constexpr int allFaces[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};
    static constexpr int noDown[5][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, 1}};

    std::uint32_t index(int x, int y, int z) const
    {
        return static_cast<std::uint32_t>(x) * n * n + static_cast<std::uint32_t>(y) * n +
               static_cast<std::uint32_t>(z);
    }
    static bool bit(const std::vector<unsigned>& set, std::uint32_t i) { return (set[i >> 5] >> (i & 31)) & 1u; }
    static void mark(std::vector<unsigned>& set, std::uint32_t i) { set[i >> 5] |= 1u << (i & 31); }
    bool either(std::uint32_t i) const { return bit(occupied, i) || bit(reached, i); }

    // Walks the line along `axis` whose other coordinates are a (on the next axis, cyclically) and b (on the
    // one after): forward to the first occupied voxel, then (when asked and the forward walk stopped)
    // backward from the far end to the last one.
    template <typename Visit> void walk(int axis, int a, int b, bool bothEnds, Visit visit) const
    {
        auto at = [&](int t) {
            int c[3];
            c[axis] = t;
            c[(axis + 1) % 3] = a;
            c[(axis + 2) % 3] = b;
            return index(c[0], c[1], c[2]);
        };
        int t = lo[axis];
        for (; t <= hi[axis] && !bit(occupied, at(t)); ++t)
            visit(t);
        if (!bothEnds || t > hi[axis]) return;
        for (int u = hi[axis]; u >= lo[axis] && !bit(occupied, at(u)); --u)
            visit(u);
    }

    template <std::size_t Count>
    void floodFill(std::uint32_t seed, std::vector<unsigned>& target, const int (&dirs)[Count][3], int)
    {
        if (either(seed)) return;
        std::deque<std::uint32_t> queue{seed};
        while (!queue.empty()) {
            const std::uint32_t i = queue.front();
            queue.pop_front();
            if (either(i)) continue;
            mark(target, i);
            const int p[3] = {static_cast<int>(i / (n * n)), static_cast<int>((i / n) % n), static_cast<int>(i % n)};
            for (const auto& d : dirs) {
                const int q[3] = {p[0] + d[0], p[1] + d[1], p[2] + d[2]};
                bool inside = true;
                for (int k = 0; k < 3; ++k)
                    inside = inside && q[k] >= lo[k] && q[k] <= hi[k];
                if (inside && !either(index(q[0], q[1], q[2]))) queue.push_back(index(q[0], q[1], q[2]));
            }
        }
    }

    void carveLines()
    {
        for (int x = lo[0]; x <= hi[0]; ++x)
            for (int y = lo[1]; y <= hi[1]; ++y)
                walk(2, x, y, true, [&](int z) { mark(reached, index(x, y, z)); });
        for (int y = lo[1]; y <= hi[1]; ++y)
            for (int z = lo[2]; z <= hi[2]; ++z)
                walk(0, y, z, true, [&](int x) { mark(reached, index(x, y, z)); });
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int x = lo[0]; x <= hi[0]; ++x)
                walk(1, z, x, true, [&](int y) { mark(reached, index(x, y, z)); });
    }

    void floodBeside(int x, int y, int z)
    {
        if (x < lo[0] || x > hi[0] || y < lo[1] || y > hi[1] || z < lo[2] || z > hi[2]) return;
        if (!either(index(x, y, z))) floodFill(index(x, y, z), reached, allFaces, 6);
    }

    void floodFromLines()
    {
        static constexpr int plane[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
        for (int x = lo[0]; x <= hi[0]; ++x)
            for (int y = lo[1]; y <= hi[1]; ++y)
                walk(2, x, y, true, [&](int z) {
                    for (const auto& s : plane)
                        floodBeside(x + s[0], y + s[1], z);
                });
        for (int z = lo[2]; z <= hi[2]; ++z)
            for (int x = lo[0]; x <= hi[0]; ++x)
                walk(1, z, x, true, [&](int y) {
                    for (const auto& s : plane)
                        floodBeside(x + s[0], y, z + s[1]);
                });
        for (int y = lo[1]; y <= hi[1]; ++y)
            for (int z = lo[2]; z <= hi[2]; ++z)
                walk(0, y, z, true, [&](int x) {
                    for (const auto& s : plane)
                        floodBeside(x, y + s[0], z + s[1]);
                });
    }

    void voteByRays()
    {
        std::vector<embree::Hit> hits;
        for (int x = lo[0]; x <= hi[0]; ++x)
            for (int y = lo[1]; y <= hi[1]; ++y)
                for (int z = lo[2]; z <= hi[2]; ++z) {
                    const std::uint32_t i = index(x, y, z);
                    if (either(i)) continue;
                    const auto corner = grid.voxelCorner(UVector3<double>(x, y, z));
                    const UVector3<float> origin(static_cast<float>((*corner)[0] + (*grid.halfVoxel)[0]),
                                                 static_cast<float>((*corner)[1] + (*grid.halfVoxel)[1]),
                                                 static_cast<float>((*corner)[2] + (*grid.halfVoxel)[2]));
                    int even = 0;
                    int odd = 0;
                    for (const auto& d : VoxelizerTrapVolumePrivate::faceDirectionsF) {
                        int count = 0;
                        grid.intersector->intersectRay(origin, d, hits, count, 0.0f,
                                                       std::numeric_limits<float>::infinity(), -1);
                        (hits.size() % 2 == 0 ? even : odd) += 1;
                    }
                    if (even == 6) floodFill(i, reached, allFaces, 6);
                    if (odd == 6) floodFill(i, occupied, allFaces, 6);
                }
    }

    const VoxelizerTrapVolumePrivate& grid;
    std::uint32_t n;
    int lo[3];
    int hi[3];
};

// Random scenes: overlapping solid boxes (their shared insides cross two shells, so rays disagree and
// pockets get voted), hollow boxes with sealed voids, open cups facing up or down, and loose triangles.
testmesh::Soup randomScene(unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> coord(0.0f, 10.0f);
    std::uniform_real_distribution<float> size(1.0f, 5.0f);
    testmesh::Soup scene;
    for (int shape = 0; shape < 6; ++shape) {
        const float x = coord(rng), y = coord(rng), z = coord(rng);
        const float sx = size(rng), sy = size(rng), sz = size(rng);
        switch (rng() % 4) {
        case 0:
            scene.append(testmesh::gridBox(x, y, z, x + sx, y + sy, z + sz, 2));
            break;
        case 1: // a sealed void
            scene.append(testmesh::box(x, y, z, x + sx, y + sy, z + sz));
            scene.appendFlipped(testmesh::box(x + 0.3f * sx, y + 0.3f * sy, z + 0.3f * sz, x + 0.7f * sx, y + 0.7f * sy,
                                              z + 0.7f * sz));
            break;
        case 2: { // a box without its top or bottom face: a cup
            testmesh::Soup cup = testmesh::box(x, y, z, x + sx, y + sy, z + sz);
            const std::size_t skip = (rng() % 2 == 0 ? 0 : 6); // the two triangles of -z, or of +z
            cup.indices.erase(cup.indices.begin() + static_cast<long>(skip),
                              cup.indices.begin() + static_cast<long>(skip + 6));
            scene.append(cup);
            break;
        }
        default: {
            testmesh::Soup loose;
            for (int k = 0; k < 3; ++k)
                loose.positions.insert(loose.positions.end(), {coord(rng), coord(rng), coord(rng)});
            loose.indices = {0, 1, 2};
            scene.append(loose);
        }
        }
    }
    return scene;
}

class ClassificationAgainstPlainVersion : public ::testing::TestWithParam<unsigned> {};

// The library runs on one thread for odd seeds and on two for even ones: the result must not depend on it.
TEST_P(ClassificationAgainstPlainVersion, EveryBitAgrees)
{
    const int threads = 1 + static_cast<int>(GetParam() % 2 == 0);
    traptest::TeamSize team(threads);
    traptest::Placed placed(randomScene(GetParam()));
    VoxelizerTrapVolumePrivate grid(19 + static_cast<int>(GetParam() % 3) * 7, &placed.kernel);
    ASSERT_TRUE(grid.initialized);
    grid.restoreConstructedState();
    grid.voxelizeSurface(threads, {});

    PlainClassifier plain(grid);
    plain.classify();
    grid.classifyVoxels(threads, {});
    ASSERT_EQ(traptest::words(grid.reachedBits, grid.wordCount), plain.reached) << "after classification";
    ASSERT_EQ(traptest::words(grid.occupiedBits, grid.wordCount), plain.occupied) << "after classification";

    plain.markDrainable();
    grid.markDrainable(threads, {});
    EXPECT_EQ(traptest::words(grid.reachedBits, grid.wordCount), plain.reached) << "drainable air";
    EXPECT_EQ(traptest::words(grid.occupiedBits, grid.wordCount), plain.occupied) << "drainable air";
}

INSTANTIATE_TEST_SUITE_P(Scenes, ClassificationAgainstPlainVersion, ::testing::Range(1u, 13u));

} // namespace
