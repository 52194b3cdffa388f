// SPDX-License-Identifier: MIT
// Tests of UMesh::BuildTopo: face-face links, border, non-manifold and bad edges as marking areas read them.
#include "host/mesh/UMesh.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include "host/mesh/MeshFactory.h"
#include "tests/support/TestMeshes.h"

namespace {

void buildTopo(UMesh<float>& mesh)
{
    mesh.BuildTopo(std::function<void(int)>(), false);
}

// The edge of g that runs f's edge k backwards, or -1.
int reverseEdge(const UTriangle<float>* g, const UTriangle<float>* f, int k)
{
    for (int j = 0; j < 3; ++j)
        if (g->V0(j) == f->V1(k) && g->V1(j) == f->V0(k)) return j;
    return -1;
}

// On a consistently wound manifold mesh every edge is either a border, linked to its own face, or has
// exactly one partner face that runs it backwards and links back; none is non-manifold or bad. The closed
// meshes have no border; the 2 x 2 quad grid has its 8 outline edges (on x = 0, 2 or y = 0, 2).
TEST(Topology, EdgesLinkToTheirReversePartnerOrToTheFaceItself)
{
    const std::pair<testmesh::Soup, int> meshes[] = {{testmesh::box(0, 0, 0, 1, 2, 3), 0},
                                                     {testmesh::gridBox(0, 0, 0, 1, 1, 1, 4), 0},
                                                     {testmesh::sphere(0, 0, 0, 1, 7, 9), 0},
                                                     {testmesh::quadGrid(2, 2), 8}};
    for (const auto& [soup, expectedBorders] : meshes) {
        auto mesh = soup.build();
        EXPECT_FALSE(mesh->HasTopo());
        buildTopo(*mesh);
        EXPECT_TRUE(mesh->HasTopo());
        int borders = 0;
        for (const UTriangle<float>* f : mesh->faces)
            for (int k = 0; k < 3; ++k) {
                EXPECT_TRUE(f->IsManifold(k));
                EXPECT_FALSE(f->IsBadEdge(k));
                const UTriangle<float>* g = f->FFp(k);
                ASSERT_NE(g, nullptr);
                if (g == f) {
                    ++borders;
                    const auto& a = f->V0(k)->P();
                    const auto& b = f->V1(k)->P();
                    EXPECT_TRUE((a[0] == b[0] && (a[0] == 0 || a[0] == 2)) ||
                                (a[1] == b[1] && (a[1] == 0 || a[1] == 2)));
                    continue;
                }
                const int j = reverseEdge(g, f, k);
                ASSERT_GE(j, 0) << "face " << g->index << " does not hold edge " << k << " of face " << f->index;
                EXPECT_EQ(g->FFp(j), f);
            }
        EXPECT_EQ(borders, expectedBorders);
    }
}

// Three faces on edge 0-1 (two in the plane, one fin standing up): the edge is non-manifold on each of
// them, not bad, and their links along it form one ring through all three. Their other edges are borders.
TEST(Topology, EdgeOfThreeFacesIsNonManifoldRing)
{
    auto mesh = makeMesh({0, 0, 0, 1, 0, 0, 0.5f, -1, 0, 0.5f, 1, 0, 0.5f, 0, 1}, {0, 1, 3, 1, 0, 2, 0, 1, 4});
    buildTopo(*mesh);
    const UVertex<float>* v0 = mesh->vertices[0];
    const UVertex<float>* v1 = mesh->vertices[1];
    auto sharedEdge = [&](const UTriangle<float>* f) {
        for (int k = 0; k < 3; ++k)
            if ((f->V0(k) == v0 && f->V1(k) == v1) || (f->V0(k) == v1 && f->V1(k) == v0)) return k;
        return -1;
    };

    std::set<const UTriangle<float>*> ring;
    const UTriangle<float>* f = mesh->faces[0];
    for (int step = 0; step < 3; ++step) {
        const int k = sharedEdge(f);
        ASSERT_GE(k, 0);
        EXPECT_FALSE(f->IsManifold(k));
        EXPECT_FALSE(f->IsBadEdge(k));
        ring.insert(f);
        f = f->FFp(k);
        ASSERT_NE(f, nullptr);
    }
    EXPECT_EQ(f, mesh->faces[0]) << "three steps along the ring must come back to the start";
    EXPECT_EQ(ring.size(), 3u);

    for (const UTriangle<float>* face : mesh->faces)
        for (int k = 0; k < 3; ++k)
            if (k != sharedEdge(face)) {
                EXPECT_TRUE(face->IsManifold(k));
                EXPECT_EQ(face->FFp(k), face);
            }
}

// Two faces on edge 0-1: (0, 1, 2) and (0, 1, 3) both run it 0 -> 1, so the pair is wound inconsistently
// and the edge is bad on both, though still manifold and linked. Wound consistently, (1, 0, 3), it is good.
TEST(Topology, PairRunningEdgeTheSameWayIsBad)
{
    const std::vector<float> positions{0, 0, 0, 1, 0, 0, 0.5f, 1, 0, 0.5f, -1, 0};
    for (const bool consistent : {false, true}) {
        SCOPED_TRACE(consistent ? "consistent" : "inconsistent");
        auto mesh = makeMesh(positions, consistent ? std::vector<std::uint32_t>{0, 1, 2, 1, 0, 3}
                                                   : std::vector<std::uint32_t>{0, 1, 2, 0, 1, 3});
        buildTopo(*mesh);
        UTriangle<float>* a = mesh->faces[0];
        UTriangle<float>* b = mesh->faces[1];
        EXPECT_EQ(a->FFp(0), b);
        EXPECT_EQ(b->FFp(0), a);
        EXPECT_TRUE(a->IsManifold(0));
        EXPECT_TRUE(b->IsManifold(0));
        EXPECT_EQ(a->IsBadEdge(0), !consistent);
        EXPECT_EQ(b->IsBadEdge(0), !consistent);
        for (int k = 1; k < 3; ++k) {
            EXPECT_FALSE(a->IsBadEdge(k));
            EXPECT_EQ(a->FFp(k), a);
        }
    }
}

TEST(Topology, ClearTopoDropsLinksAndRebuildOverwritesStaleState)
{
    auto mesh = makeMesh({0, 0, 0, 1, 0, 0, 0.5f, 1, 0, 0.5f, -1, 0, 0.5f, 0, 1},
                         {0, 1, 2, 0, 1, 3, 1, 0, 4}); // edge 0-1 of three faces
    buildTopo(*mesh);
    ASSERT_FALSE(mesh->faces[0]->IsManifold(0));
    mesh->ClearTopo();
    EXPECT_FALSE(mesh->HasTopo());
    for (const UTriangle<float>* f : mesh->faces)
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(f->FFp(k), nullptr);
            EXPECT_TRUE(f->IsManifold(k));
        }

    // Rebuilt, then the fin moved off edge 0-1 and rebuilt again without clearing: the non-manifold marks
    // and ring links of the first build must not survive, leaving a plain bad pair.
    buildTopo(*mesh);
    mesh->faces[2]->V(0) = mesh->vertices[4];
    mesh->faces[2]->V(1) = mesh->vertices[2];
    mesh->faces[2]->V(2) = mesh->vertices[3];
    buildTopo(*mesh);
    EXPECT_TRUE(mesh->HasTopo());
    EXPECT_TRUE(mesh->faces[0]->IsManifold(0));
    EXPECT_TRUE(mesh->faces[0]->IsBadEdge(0));
    EXPECT_EQ(mesh->faces[0]->FFp(0), mesh->faces[1]);
    EXPECT_EQ(mesh->faces[1]->FFp(0), mesh->faces[0]);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(mesh->faces[2]->IsManifold(k));
        EXPECT_EQ(mesh->faces[2]->FFp(k), mesh->faces[2]);
    }
}

// A strip of two faces where face 1 is deleted and replaced by an identical face 2 appended at the end:
//   3---2
//   | / |      face 0 = (0 1 2), faces 1 and 2 = (0 2 3)
//   0---1
// The replacement must pair with face 0 across the diagonal as if face 1 were gone.
TEST(Topology, DeletedFacesTakeNoPart)
{
    auto mesh = makeMesh({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 1, 2, 0, 2, 3, 0, 2, 3});
    mesh->faces[1]->SetD();
    buildTopo(*mesh);
    const UTriangle<float>* f0 = mesh->faces[0];
    const UTriangle<float>* replacement = mesh->faces[2];
    EXPECT_EQ(f0->FFp(2), replacement); // edge 2 -> 0, the diagonal
    EXPECT_EQ(f0->FFp(0), f0);
    EXPECT_EQ(replacement->FFp(0), f0);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(replacement->IsManifold(k));
        EXPECT_FALSE(replacement->IsBadEdge(k));
        EXPECT_EQ(mesh->faces[1]->FFp(k), nullptr);
    }
}

// Topology built on 2 and 3 threads equals the one-thread build link for link, on a sphere large enough to
// be split (over 200k faces) and damaged on purpose: flipped faces (bad edges), duplicated faces (rings of
// three on non-manifold edges, where the order inside the ring matters), deleted faces (borders and null
// links) and a degenerate face whose two corners are one vertex.
TEST(Topology, ThreadedBuildLinksExactlyAsTheSerialOne)
{
    auto mesh = testmesh::sphere(0, 0, 0, 1, 300, 400).build();
    const std::size_t original = mesh->faces.size();
    ASSERT_GT(original, 200000u);
    for (std::size_t f = 0; f < original; f += 101) {
        auto* copy = new UTriangle<float>();
        mesh->faces.push_back(copy);
        copy->index = static_cast<int>(mesh->faces.size() - 1);
        for (int k = 0; k < 3; ++k)
            copy->V(k) = mesh->faces[f]->V(k);
    }
    for (std::size_t f = 0; f < original; f += 97)
        std::swap(mesh->faces[f]->V(1), mesh->faces[f]->V(2));
    for (std::size_t f = 5; f < original; f += 89)
        mesh->faces[f]->SetD();
    mesh->faces[7]->V(2) = mesh->faces[7]->V(0);

    // Per face edge: the linked face's index (-1 for none), then its state as -2 - (2 * manifold + bad).
    auto snapshot = [&mesh] {
        std::vector<std::int64_t> links;
        for (const UTriangle<float>* f : mesh->faces)
            for (int k = 0; k < 3; ++k)
                links.insert(links.end(),
                             {f->FFp(k) ? f->FFp(k)->index : -1, -2 - 2 * f->IsManifold(k) - f->IsBadEdge(k)});
        return links;
    };
    buildTopo(*mesh);
    const std::vector<std::int64_t> serial = snapshot();
    for (const std::int64_t damage : {-1, -2, -5}) // unlinked, non-manifold and bad edges are all present
        EXPECT_NE(std::find(serial.begin(), serial.end(), damage), serial.end()) << damage;
    for (const int threads : {2, 3}) {
        mesh->ClearTopo();
        mesh->BuildTopo(std::function<void(int)>(), false, threads);
        EXPECT_EQ(snapshot(), serial) << threads << " threads";
    }
}

} // namespace
