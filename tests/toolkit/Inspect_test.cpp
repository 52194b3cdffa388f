// SPDX-License-Identifier: MIT
// Mesh measurements on meshes whose answers are known by hand.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <utility>

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

/// Edge counts read off the host mesh library's own topology, as a reference for the array-based count.
std::array<std::size_t, 3> hostEdgeCounts(const testmesh::Soup& soup)
{
    const auto mesh = soup.build();
    mesh->BuildTopo(std::function<void(int)>(), false);
    std::size_t border = 0;
    std::set<std::pair<const void*, const void*>> nonManifold, bad;
    for (const UTriangle<float>* face : mesh->faces)
        for (int k = 0; k < 3; ++k) {
            const void* a = std::min<const void*>(face->V0(k), face->V1(k));
            const void* b = std::max<const void*>(face->V0(k), face->V1(k));
            if (!face->IsManifold(k))
                nonManifold.insert({a, b});
            else if (face->FFp(k) == face || face->FFp(k) == nullptr)
                ++border;
            else if (face->IsBadEdge(k))
                bad.insert({a, b});
        }
    return {border, nonManifold.size(), bad.size()};
}

// Random soups over few vertices (repeated, flipped and degenerate faces, fans of three and more faces on
// an edge, unused vertices) and shapes with single faces flipped or repeated: the counts must be the host
// library's.
TEST(Inspect, EdgeCountsFollowTheHostTopology)
{
    std::mt19937 random(7);
    std::vector<testmesh::Soup> scenes;
    for (int vertices : {3, 5, 9, 30}) {
        testmesh::Soup soup;
        for (int v = 0; v < vertices; ++v)
            soup.positions.insert(soup.positions.end(), {float(v), float(v * v % 7), float(v % 3)});
        for (int i = 0; i < 3 * 4 * vertices; ++i)
            soup.indices.push_back(static_cast<std::uint32_t>(random() % vertices));
        scenes.push_back(soup);
    }
    testmesh::Soup twice = testmesh::sphere(0, 0, 0, 2, 6, 8);
    twice.indices.insert(twice.indices.end(), twice.indices.begin(), twice.indices.begin() + 6);
    std::swap(twice.indices[10], twice.indices[11]);
    scenes.push_back(twice);
    scenes.push_back(testmesh::quadGrid(4, 3));

    for (std::size_t i = 0; i < scenes.size(); ++i) {
        const meshprobe::MeshInfo stats = meshprobe::inspect(scenes[i].view());
        const std::array<std::size_t, 3> counted{stats.borderEdges, stats.nonManifoldEdges, stats.badEdges};
        EXPECT_EQ(counted, hostEdgeCounts(scenes[i])) << "scene " << i;
        EXPECT_EQ(stats.watertight, counted[0] == 0 && counted[1] == 0) << "scene " << i;
    }
}

} // namespace
