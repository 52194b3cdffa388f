// SPDX-License-Identifier: MIT
// Mesh measurements on meshes whose answers are known by hand.
#include <gtest/gtest.h>

#include "meshprobe/Inspect.h"
#include "tests/support/TestMeshes.h"

namespace {

TEST(Inspect, ClosedBoxHasExactVolumeAreaAndNoDefects)
{
    const testmesh::Soup mesh = testmesh::box(1, 2, 3, 5, 5, 5); // 4 x 3 x 2
    const meshprobe::MeshInfo stats = meshprobe::inspect(mesh.view());
    EXPECT_DOUBLE_EQ(stats.volume, 24.0);
    EXPECT_DOUBLE_EQ(stats.area, 2 * (12.0 + 8.0 + 6.0));
    EXPECT_TRUE(stats.watertight);
    EXPECT_EQ(stats.borderEdges + stats.nonManifoldEdges + stats.badEdges, 0u);
    EXPECT_EQ(stats.boundsMin, (std::array<float, 3>{1, 2, 3}));
    EXPECT_EQ(stats.boundsMax, (std::array<float, 3>{5, 5, 5}));
}

// A box with a sealed inner void: the inward shell subtracts its volume; both shells are closed.
TEST(Inspect, InnerShellSubtractsVolume)
{
    testmesh::Soup soup = testmesh::box(0, 0, 0, 4, 4, 4);
    soup.appendFlipped(testmesh::box(1, 1, 1, 2, 2, 2));
    const meshprobe::MeshInfo stats = meshprobe::inspect(soup.view());
    EXPECT_DOUBLE_EQ(stats.volume, 63.0);
    EXPECT_TRUE(stats.watertight);
}

// An open 3 x 2 grid: its rim has 2 * (3 + 2) edges, each used by one face.
TEST(Inspect, OpenGridCountsBorderEdges)
{
    const meshprobe::MeshInfo stats = meshprobe::inspect(testmesh::quadGrid(3, 2).view());
    EXPECT_EQ(stats.borderEdges, 10u);
    EXPECT_FALSE(stats.watertight);
}

// One face of a box wound the wrong way: its three edges are each run twice in the same direction.
TEST(Inspect, FlippedFaceGivesThreeBadEdges)
{
    testmesh::Soup soup = testmesh::box(0, 0, 0, 1, 1, 1);
    std::swap(soup.indices[1], soup.indices[2]);
    const meshprobe::MeshInfo stats = meshprobe::inspect(soup.view());
    EXPECT_EQ(stats.badEdges, 3u);
    EXPECT_EQ(stats.borderEdges, 0u);
    EXPECT_TRUE(stats.watertight);
}

//   three triangles on the edge (0,0,0)-(1,0,0), fanned like pages of a book:
//   the spine is one non-manifold edge, counted once though three faces flag it.
TEST(Inspect, BookSpineIsOneNonManifoldEdge)
{
    testmesh::Soup soup;
    soup.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, -1, 0};
    soup.indices = {0, 1, 2, 1, 0, 3, 0, 1, 4};
    const meshprobe::MeshInfo stats = meshprobe::inspect(soup.view());
    EXPECT_EQ(stats.nonManifoldEdges, 1u);
    EXPECT_EQ(stats.borderEdges, 6u);
    EXPECT_FALSE(stats.watertight);
}

} // namespace
