// SPDX-License-Identifier: MIT
// Every crossing of a ray with a closed surface: where it lies, which way it goes, and the merging of the
// double hit on an edge.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/TestMeshes.h"
#include "toolkit/src/cavities/RayScene.h"

namespace {

using meshprobe::detail::RayScene;
using meshprobe::detail::SurfaceCrossing;

meshprobe::Mesh meshOf(const testmesh::Soup& soup)
{
    meshprobe::Mesh mesh;
    mesh.vertices = soup.positions;
    mesh.triangles = soup.indices;
    return mesh;
}

struct RayCase {
    const char* name;
    std::array<double, 3> origin, direction;
    std::vector<std::pair<double, bool>> expected; ///< distance, entering
};

// A 2 mm cube at the origin holding a sealed 1..1.5 mm cubic hole (its faces wound into the hole).
TEST(RayScene, CrossingsOfACubeWithAHole)
{
    testmesh::Soup part = testmesh::box(0, 0, 0, 2, 2, 2);
    part.appendFlipped(testmesh::box(1, 1, 1, 1.5f, 1.5f, 1.5f));
    const meshprobe::Mesh mesh = meshOf(part);
    const RayScene scene(mesh);
    const double diagonal = std::sqrt(0.5);
    const RayCase cases[] = {
        {"through the middle", {-1, 0.5, 0.5}, {1, 0, 0}, {{1, true}, {3, false}}},
        {"from inside the material", {1, 0.5, 0.5}, {0, 0, -1}, {{0.5, false}}},
        {"through the hole", {1.25, 1.25, -3}, {0, 0, 1}, {{3, true}, {4, false}, {4.5, true}, {5, false}}},
        {"from inside the hole, up", {1.25, 1.25, 1.25}, {0, 0, 1}, {{0.25, true}, {0.75, false}}},
        // Through the vertical edges x = y = 0 and x = y = 2: each is two faces' hit, counted once.
        {"across two edges",
         {-1, -1, 0.5},
         {diagonal, diagonal, 0},
         {{std::sqrt(2.0), true}, {3 * std::sqrt(2.0), false}}},
        {"missing the part", {-1, 3, 0.5}, {1, 0, 0}, {}},
        {"away from the part", {-1, 0.5, 0.5}, {-1, 0, 0}, {}},
    };
    for (const RayCase& c : cases) {
        const std::vector<SurfaceCrossing> found = scene.crossings(c.origin, c.direction, 1e-4);
        ASSERT_EQ(found.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < found.size(); ++i) {
            EXPECT_NEAR(found[i].t, c.expected[i].first, 1e-5) << c.name << ", crossing " << i;
            EXPECT_EQ(found[i].entering, c.expected[i].second) << c.name << ", crossing " << i;
        }
    }
}

// Hits closer together than `merge` count once only when they go the same way: a thin wall is two crossings.
TEST(RayScene, MergingKeepsBothSidesOfAThinWall)
{
    testmesh::Soup part = testmesh::box(0, 0, 0, 2, 2, 2);
    part.append(testmesh::box(3, 0, 0, 3.001f, 2, 2));
    const meshprobe::Mesh mesh = meshOf(part);
    const RayScene scene(mesh);
    const std::vector<SurfaceCrossing> found = scene.crossings({-1, 0.5, 0.5}, {1, 0, 0}, 0.01);
    ASSERT_EQ(found.size(), 4u);
    EXPECT_TRUE(found[2].entering);
    EXPECT_FALSE(found[3].entering);
    EXPECT_NEAR(found[3].t - found[2].t, 0.001, 1e-5);
}

} // namespace
