// SPDX-License-Identifier: MIT
// EmbreeIntersector: crossing counts through face interiors, shared edges and shared vertices; the frame of
// the kernel's matrix; concurrent queries.
#include "host/embree/EmbreeIntersector.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>
#include <thread>

#include "host/mesh/MeshKernel.h"
#include "tests/support/TestMeshes.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

class IntersectorTest : public ::testing::Test {
protected:
    // Box [0, 4]^3 whose faces are 4 x 4 grids of quads split along their diagonals: integer points are
    // shared vertices, quad diagonals and grid lines are shared edges.
    void SetUp() override { load(testmesh::gridBox(0, 0, 0, 4, 4, 4, 4), UMatrix4<float>()); }

    void load(const testmesh::Soup& soup, const UMatrix4<float>& matrix)
    {
        kernel = std::make_unique<MeshKernel>(std::shared_ptr<UMesh<float>>(soup.build()), matrix);
        intersector = std::make_unique<embree::EmbreeIntersector>();
        intersector->init(kernel.get(), false, false);
    }

    int crossings(UVector3<float> origin, UVector3<float> direction)
    {
        std::vector<embree::Hit> hits;
        int count = -1;
        intersector->intersectRay(origin, direction, hits, count, 0.0f, kInf, -1);
        EXPECT_EQ(count, static_cast<int>(hits.size()));
        for (std::size_t i = 1; i < hits.size(); ++i)
            EXPECT_LE(hits[i - 1].distance, hits[i].distance);
        return static_cast<int>(hits.size());
    }

    std::unique_ptr<MeshKernel> kernel;
    std::unique_ptr<embree::EmbreeIntersector> intersector;
};

const UVector3<float> kAxes[6] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}};

TEST_F(IntersectorTest, FaceInteriorsFromInsideAndOutside)
{
    for (const auto& d : kAxes) {
        EXPECT_EQ(crossings({1.3f, 2.6f, 1.7f}, d), 1);
        // From outside, beside the box on the ray's own side: both walls ahead or none.
        const UVector3<float> behind = UVector3<float>(1.3f, 2.6f, 1.7f) - d * 10.0f;
        EXPECT_EQ(crossings(behind, d), 2);
    }
}

TEST_F(IntersectorTest, SharedEdgesCountOnce)
{
    // x == y: the ray along z runs through the diagonals of the quads on the top and bottom faces.
    EXPECT_EQ(crossings({1.5f, 1.5f, 2.2f}, {0, 0, 1}), 1);
    EXPECT_EQ(crossings({2.5f, 2.5f, -3.0f}, {0, 0, 1}), 2);
    // x integer: through the grid lines between quads.
    EXPECT_EQ(crossings({2.0f, 1.3f, 2.2f}, {0, 0, -1}), 1);
    EXPECT_EQ(crossings({3.0f, 0.7f, 9.0f}, {0, 0, -1}), 2);
}

TEST_F(IntersectorTest, SharedVerticesCountOnce)
{
    for (const auto& d : kAxes)
        EXPECT_EQ(crossings({2.0f, 1.0f, 3.0f}, d), 1) << d[0] << d[1] << d[2];
    EXPECT_EQ(crossings({1.0f, 3.0f, -1.0f}, {0, 0, 1}), 2);
    // Into a box corner, where three faces and six triangles meet, and out through the opposite one.
    EXPECT_EQ(crossings({-1.0f, -1.0f, -1.0f}, {1, 1, 1}), 2);
    EXPECT_EQ(crossings({2.0f, 2.0f, 2.0f}, {1, 1, 1}), 1);
}

TEST_F(IntersectorTest, GrazingRaysCountEvenly)
{
    // Along the plane of a face, and along a box edge: the parity says "outside" from outside.
    EXPECT_EQ(crossings({0.0f, 1.5f, -2.0f}, {0, 0, 1}) % 2, 0);
    EXPECT_EQ(crossings({0.0f, 0.0f, -2.0f}, {0, 0, 1}) % 2, 0);
    // Diagonally through two opposite vertical edges of the box: in at one, out at the other.
    EXPECT_EQ(crossings({-1.0f, -1.0f, 2.5f}, {1, 1, 0}), 2);
    // Touching only the edge x = 4, y = 0 from outside, without entering.
    EXPECT_EQ(crossings({3.0f, -1.0f, 2.5f}, {1, 1, 0}) % 2, 0);
}

TEST_F(IntersectorTest, ParityOfRandomRaysOnASphere)
{
    load(testmesh::sphere(0, 0, 0, 2.0f, 24, 32), UMatrix4<float>());
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> coord(-3.0f, 3.0f);
    int inside = 0;
    for (int n = 0; n < 500; ++n) {
        const UVector3<float> p(coord(rng), coord(rng), coord(rng));
        const float r = p.Length();
        if (r > 1.8f && r < 2.2f) continue; // the polygonal surface lies between radius ~1.98 and 2
        const int expected = r < 1.8f ? 1 : 0;
        inside += expected;
        for (const auto& d : kAxes)
            EXPECT_EQ(crossings(p, d) % 2, expected);
    }
    EXPECT_GT(inside, 20);
}

TEST_F(IntersectorTest, RaysThroughSphereVerticesAndPoles)
{
    load(testmesh::sphere(0, 0, 0, 2.0f, 8, 8), UMatrix4<float>());
    // Through both poles, where eight triangles meet, from inside and from outside.
    EXPECT_EQ(crossings({0, 0, 0}, {0, 0, 1}), 1);
    EXPECT_EQ(crossings({0, 0, -5}, {0, 0, 1}), 2);
    // Segment 0 of every ring lies in the plane y = 0: a ray along x at the height of a ring runs through
    // a ring vertex.
    const float ringZ = static_cast<float>(2.0 * std::sin(std::acos(-1.0) * 3 / 8 - std::acos(-1.0) / 2));
    EXPECT_EQ(crossings({0, 0, ringZ}, {1, 0, 0}), 1);
}

TEST_F(IntersectorTest, FrameFollowsTheKernelMatrix)
{
    load(testmesh::gridBox(0, 0, 0, 4, 4, 4, 4), UMatrix4<float>::translation(10, 0, 0));
    EXPECT_EQ(crossings({1.3f, 2.6f, 1.7f}, {0, 0, 1}), 0);
    EXPECT_EQ(crossings({11.3f, 2.6f, 1.7f}, {0, 0, 1}), 1);
    std::vector<embree::Hit> hits;
    int count = 0;
    intersector->intersectRay({11.3f, 2.6f, 1.7f}, {0, 0, 1}, hits, count, 0.0f, kInf, -1);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_NEAR(hits[0].distance, 4.0f - 1.7f, 1e-5f);
}

TEST_F(IntersectorTest, RangeLimitsAndZeroDirection)
{
    std::vector<embree::Hit> hits(3);
    int count = 0;
    EXPECT_FALSE(intersector->intersectRay({1.3f, 2.6f, -1.0f}, {0, 0, 1}, hits, count, 0.0f, 0.5f, -1));
    EXPECT_TRUE(hits.empty());
    intersector->intersectRay({1.3f, 2.6f, -1.0f}, {0, 0, 1}, hits, count, 2.0f, kInf, -1);
    EXPECT_EQ(count, 1); // only the far wall, at distance 5
    intersector->intersectRay({1.3f, 2.6f, 1.0f}, {0, 0, 0}, hits, count, 0.0f, kInf, -1);
    EXPECT_EQ(count, 0);
}

TEST_F(IntersectorTest, ConcurrentQueriesAgreeWithSerialOnes)
{
    load(testmesh::sphere(1, 2, 3, 2.0f, 40, 60), UMatrix4<float>());
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> coord(-2.0f, 4.0f);
    std::vector<UVector3<float>> origins;
    for (int n = 0; n < 2000; ++n)
        origins.emplace_back(coord(rng), coord(rng) + 1.0f, coord(rng) + 2.0f);
    auto run = [&](std::size_t begin, std::size_t step, std::vector<int>& out) {
        std::vector<embree::Hit> hits;
        for (std::size_t i = begin; i < origins.size(); i += step) {
            int count = 0;
            intersector->intersectRay(origins[i], kAxes[i % 6], hits, count, 0.0f, kInf, -1);
            out[i] = count;
        }
    };
    std::vector<int> serial(origins.size());
    run(0, 1, serial);
    std::vector<int> parallel(origins.size(), -1);
    std::thread a(run, 0, 2, std::ref(parallel));
    std::thread b(run, 1, 2, std::ref(parallel));
    a.join();
    b.join();
    EXPECT_EQ(serial, parallel);
}

} // namespace
