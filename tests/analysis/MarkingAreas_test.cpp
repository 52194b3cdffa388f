// SPDX-License-Identifier: MIT
// Tests of marking areas: patch growth, boundary edges, loop chaining and the flags the call leaves behind.
#include "analysis/MarkingAreas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "tests/support/TestMeshes.h"

namespace {

using Analysis::BoundaryEdge;
using Analysis::BoundaryLoopTracer;
using Analysis::MarkingArea;
using Analysis::MarkingRegion;
using Loops = std::vector<std::vector<unsigned>>;

// Flat grid of nx x ny quads (see testmesh::quadGrid: vertex (i, j) has ID j * (nx + 1) + i, quad (i, j) is
// faces 2q and 2q + 1 with q = j * nx + i) with both faces of the listed quads selected.
std::unique_ptr<UMesh<float>> gridWithQuads(int nx, int ny, const std::vector<int>& selectedQuads)
{
    auto mesh = testmesh::quadGrid(nx, ny).build();
    for (int q : selectedQuads) {
        mesh->faces[2 * q]->SetS();
        mesh->faces[2 * q + 1]->SetS();
    }
    return mesh;
}

std::vector<int> allQuadsExcept(int nx, int ny, const std::vector<int>& left)
{
    std::vector<int> quads;
    for (int q = 0; q < nx * ny; ++q)
        if (std::find(left.begin(), left.end(), q) == left.end()) quads.push_back(q);
    return quads;
}

MarkingArea run(UMesh<float>* mesh, const std::string& label = "area")
{
    MarkingArea out;
    Analysis::MeshAnalyzer().getMarkingAreas(mesh, label, out);
    return out;
}

TEST(MarkingAreas, NullMeshLeavesOutputUntouched)
{
    MarkingArea out;
    out.regions.push_back({3, "kept", {7}, {{1, 2, 1}}});
    Analysis::MeshAnalyzer().getMarkingAreas(nullptr, "label", out);
    ASSERT_EQ(out.regions.size(), 1u);
    EXPECT_EQ(out.regions[0].id, 3);
    EXPECT_EQ(out.regions[0].faceIndices, std::vector<int>{7});
    EXPECT_EQ(out.regions[0].boundaryLoops, (Loops{{1, 2, 1}}));
}

// Patches, their face order and their loops, each region numbered from 1 and named with the label.
//
// quadGrid pictures (vertex IDs; quad (i, j) holds faces 2q, 2q + 1 with q = j * nx + i):
//   2 x 1:  3 - 4 - 5      2 x 2:  6 - 7 - 8      3 x 3: 12 - 13 - 14 - 15      3 x 1: 4 - 5 - 6 - 7
//           | / | / |              | / | / |              ... rows of 4 ...             | / | / | / |
//           0 - 1 - 2              3 - 4 - 5               0 -  1 -  2 -  3             0 - 1 - 2 - 3
//                                  0 - 1 - 2
struct AreaCase {
    const char* name;
    testmesh::Soup soup;
    std::vector<int> selected;           ///< faces; empty: every face
    int deletedFace;                     ///< -1: none
    std::vector<std::vector<int>> faces; ///< per region
    std::vector<Loops> loops;            ///< per region
    bool anyOrder = false;               ///< faces compared as a set (the order is checked elsewhere)
};

testmesh::Soup soup(std::vector<float> positions, std::vector<std::uint32_t> indices)
{
    testmesh::Soup s;
    s.positions = std::move(positions);
    s.indices = std::move(indices);
    return s;
}

/// Both faces of each listed quad of a grid nx wide.
std::vector<int> quadFaces(const std::vector<int>& quads)
{
    std::vector<int> faces;
    for (int q : quads)
        faces.insert(faces.end(), {2 * q, 2 * q + 1});
    return faces;
}

TEST(MarkingAreas, RegionsFacesAndLoops)
{
    const AreaCase cases[] = {
        // Face 0 = (0, 1, 4) alone: one loop 0 -> 1 -> 4 -> 0.
        {"single triangle", testmesh::quadGrid(2, 1), {0}, -1, {{0}}, {{{0, 1, 4, 0}}}},
        // Quads 0 and 3 share only vertex 4: growth runs across edges, so two areas.
        {"touching at a vertex",
         testmesh::quadGrid(2, 2),
         quadFaces({0, 3}),
         -1,
         {{0, 1}, {6, 7}},
         {{{0, 1, 4, 3, 0}}, {{4, 5, 8, 7, 4}}}},
        // The centre quad (corners 5, 6, 10, 9) left out: face 0 runs the first boundary edge 0 -> 1, so the
        // outer loop comes first (counter-clockwise); the hole is run clockwise from 6 -> 5 (held by face 3).
        {"hole",
         testmesh::quadGrid(3, 3),
         quadFaces(allQuadsExcept(3, 3, {4})),
         -1,
         {quadFaces(allQuadsExcept(3, 3, {4}))},
         {{{0, 1, 2, 3, 7, 11, 15, 14, 13, 12, 8, 4, 0}, {6, 5, 9, 10, 6}}},
         true},
        // Quads 4 and 8 left out meet at vertex 10, which has two outgoing boundary edges: 10 -> 6 (face 11)
        // and 10 -> 14 (face 14). The first in list order wins: one loop through 10 twice.
        {"pinch vertex",
         testmesh::quadGrid(3, 3),
         quadFaces(allQuadsExcept(3, 3, {4, 8})),
         -1,
         {quadFaces(allQuadsExcept(3, 3, {4, 8}))},
         {{{0, 1, 2, 3, 7, 11, 10, 6, 5, 9, 10, 14, 13, 12, 8, 4, 0}}},
         true},
        // A = (0, 1, 3) and B = (1, 0, 2) share edge 0-1 with an unselected fin C = (0, 1, 4): the edge is
        // non-manifold, so growth stops there and both sides count it as a boundary edge.
        {"non-manifold edge",
         soup({0, 0, 0, 1, 0, 0, 0.5f, -1, 0, 0.5f, 1, 0, 0.5f, 0, 1}, {0, 1, 3, 1, 0, 2, 0, 1, 4}),
         {0, 1},
         -1,
         {{0}, {1}},
         {{{0, 1, 3, 0}}, {{1, 0, 2, 1}}}},
        // The right quad of a 2 x 1 grid wound the other way runs edge 1 -> 4 the same way as (0, 1, 4).
        // Growth stops at the bad edge, but the boundary test sees a selected manifold neighbour there, so
        // each chain runs into the gap and fails: no loops.
        {"bad edge",
         soup({0, 0, 0, 1, 0, 0, 2, 0, 0, 0, 1, 0, 1, 1, 0, 2, 1, 0}, {0, 1, 4, 0, 4, 3, 1, 5, 2, 1, 4, 5}),
         {},
         -1,
         {{0, 1}, {2, 3}},
         {{}, {}}},
        // Face 2 = (1, 2, 6) deleted: it neither seeds nor joins and cuts the strip in two; the edges next to
        // it are border edges, so each patch closes its loop around the gap. A lone deleted face gives nothing.
        {"deleted face",
         testmesh::quadGrid(3, 1),
         {},
         2,
         {{0, 3, 1}, {4, 5}},
         {{{0, 1, 6, 5, 4, 0}}, {{2, 3, 7, 6, 2}}}},
        {"deleted lone face", testmesh::quadGrid(2, 1), {0}, 0, {}, {}},
        // A closed mesh wholly selected: one region, no boundary.
        {"closed mesh", testmesh::box(0, 0, 0, 1, 1, 1), {}, -1, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}, {{}}, true},
    };
    for (const AreaCase& c : cases) {
        auto mesh = c.soup.build();
        for (std::size_t f = 0; f < mesh->faces.size(); ++f)
            if (c.selected.empty() || std::count(c.selected.begin(), c.selected.end(), static_cast<int>(f)))
                mesh->faces[f]->SetS();
        if (c.deletedFace >= 0) mesh->faces[static_cast<std::size_t>(c.deletedFace)]->SetD();
        const MarkingArea out = run(mesh.get(), c.name);
        ASSERT_EQ(out.regions.size(), c.faces.size()) << c.name;
        for (std::size_t r = 0; r < out.regions.size(); ++r) {
            EXPECT_EQ(out.regions[r].id, static_cast<int>(r + 1)) << c.name;
            EXPECT_EQ(out.regions[r].name, c.name);
            std::vector<int> faces = out.regions[r].faceIndices;
            if (c.anyOrder) std::sort(faces.begin(), faces.end());
            EXPECT_EQ(faces, c.faces[r]) << c.name << " region " << r;
            EXPECT_EQ(out.regions[r].boundaryLoops, c.loops[r]) << c.name << " region " << r;
        }
    }
}

// quadGrid(3, 1), all selected: growth from face 0 reaches faces 3 and 1 (ring 1), then 2, then 5, then 4.
// A depth-first walk or an edge-order slip would list them differently.
TEST(MarkingAreas, FacesComeInBreadthFirstRings)
{
    auto mesh = gridWithQuads(3, 1, {0, 1, 2});
    mesh->BuildTopo(std::function<void(int)>(), false);
    MarkingRegion region;
    EXPECT_EQ(Analysis::growArea(mesh->faces[0], region), 6);
    EXPECT_EQ(region.faceIndices, (std::vector<int>{0, 3, 1, 2, 5, 4}));
    for (const UTriangle<float>* f : mesh->faces)
        EXPECT_TRUE(f->IsV());
}

TEST(MarkingAreas, RegionsAlreadyInOutputAreKeptAndTracedAgain)
{
    auto mesh = testmesh::quadGrid(2, 1).build();
    mesh->faces[0]->SetS();
    MarkingArea out;
    // Indices past either end of the face list contribute nothing instead of reading out of bounds.
    out.regions.push_back({5, "earlier", {0, 999, -1}, {{42}}});
    Analysis::MeshAnalyzer().getMarkingAreas(mesh.get(), "now", out);
    ASSERT_EQ(out.regions.size(), 2u);
    EXPECT_EQ(out.regions[0].id, 5);
    EXPECT_EQ(out.regions[0].name, "earlier");
    EXPECT_EQ(out.regions[0].faceIndices, (std::vector<int>{0, 999, -1}));
    EXPECT_EQ(out.regions[0].boundaryLoops, (Loops{{42}, {0, 1, 4, 0}}));
    EXPECT_EQ(out.regions[1].id, 1);
    EXPECT_EQ(out.regions[1].name, "now");
    EXPECT_EQ(out.regions[1].boundaryLoops, (Loops{{0, 1, 4, 0}}));
}

TEST(MarkingAreas, ClearsVisitedFlagsBeforeAndAfterAndKeepsTopology)
{
    auto mesh = gridWithQuads(2, 2, {0});
    for (UTriangle<float>* f : mesh->faces)
        f->SetV(); // stale marks from the host must not stop face 0 from seeding
    ASSERT_FALSE(mesh->HasTopo());
    const MarkingArea out = run(mesh.get());
    ASSERT_EQ(out.regions.size(), 1u);
    EXPECT_EQ(out.regions[0].faceIndices, (std::vector<int>{0, 1}));
    EXPECT_TRUE(mesh->HasTopo());
    for (const UTriangle<float>* f : mesh->faces)
        EXPECT_FALSE(f->IsV());
    // Selection is only read.
    EXPECT_TRUE(mesh->faces[1]->IsS());
    EXPECT_FALSE(mesh->faces[2]->IsS());
}

// Random selections on a closed, consistently wound box: every region is a connected component of the
// selection, and as every boundary vertex has as many boundary edges in as out, every chain closes and the
// loops use each boundary edge of the region exactly once.
class MarkingAreasRandomSelection : public ::testing::TestWithParam<unsigned> {};

TEST_P(MarkingAreasRandomSelection, RegionsAreComponentsAndLoopsUseEveryBoundaryEdge)
{
    const testmesh::Soup soup = testmesh::gridBox(0, 0, 0, 1, 1, 1, 5);
    auto mesh = soup.build();
    const std::size_t faceCount = mesh->faces.size();
    std::mt19937 rng(GetParam());
    for (UTriangle<float>* f : mesh->faces)
        if (rng() % 100 < 55) f->SetS();

    // Directed edge -> face, straight from the index list.
    std::map<std::pair<unsigned, unsigned>, int> faceOfEdge;
    for (std::size_t t = 0; t < faceCount; ++t)
        for (int k = 0; k < 3; ++k)
            faceOfEdge[{soup.indices[3 * t + k], soup.indices[3 * t + (k + 1) % 3]}] = static_cast<int>(t);
    auto across = [&](int face, int k) {
        const unsigned a = soup.indices[3 * face + k], b = soup.indices[3 * face + (k + 1) % 3];
        return faceOfEdge.at({b, a});
    };

    const MarkingArea out = run(mesh.get());
    std::vector<int> regionOf(faceCount, 0);
    for (const MarkingRegion& region : out.regions)
        for (int face : region.faceIndices) {
            ASSERT_EQ(regionOf[face], 0) << "face " << face << " in two regions";
            regionOf[face] = region.id;
        }
    for (std::size_t t = 0; t < faceCount; ++t) {
        const int face = static_cast<int>(t);
        EXPECT_EQ(regionOf[t] != 0, mesh->faces[t]->IsS()) << "face " << face;
        // Maximal: two selected neighbours always share a region.
        for (int k = 0; k < 3; ++k) {
            if (mesh->faces[t]->IsS() && mesh->faces[across(face, k)]->IsS()) {
                EXPECT_EQ(regionOf[t], regionOf[across(face, k)]);
            }
        }
    }

    for (const MarkingRegion& region : out.regions) {
        // Connected, in discovery order: every face after the seed neighbours an earlier one.
        std::set<int> seen{region.faceIndices.front()};
        for (std::size_t i = 1; i < region.faceIndices.size(); ++i) {
            const int face = region.faceIndices[i];
            bool touchesEarlier = false;
            for (int k = 0; k < 3; ++k)
                touchesEarlier = touchesEarlier || seen.count(across(face, k)) > 0;
            EXPECT_TRUE(touchesEarlier) << "face " << face;
            seen.insert(face);
        }

        std::multiset<std::pair<unsigned, unsigned>> boundary;
        for (int face : region.faceIndices)
            for (int k = 0; k < 3; ++k)
                if (!mesh->faces[across(face, k)]->IsS())
                    boundary.insert({soup.indices[3 * face + k], soup.indices[3 * face + (k + 1) % 3]});
        for (const std::vector<unsigned>& loop : region.boundaryLoops) {
            ASSERT_GE(loop.size(), 4u);
            EXPECT_EQ(loop.front(), loop.back());
            for (std::size_t i = 0; i + 1 < loop.size(); ++i) {
                const auto it = boundary.find({loop[i], loop[i + 1]});
                ASSERT_NE(it, boundary.end()) << loop[i] << " -> " << loop[i + 1] << " is not a boundary edge left";
                boundary.erase(it);
            }
        }
        EXPECT_TRUE(boundary.empty()) << boundary.size() << " boundary edges not in any loop";
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, MarkingAreasRandomSelection, ::testing::Values(1u, 2u, 3u, 4u, 5u, 6u));

// Loop chaining on edge lists made by hand, over vertices whose IDs are their positions in the pool.
class BoundaryLoopChaining : public ::testing::Test {
protected:
    BoundaryLoopChaining()
    {
        for (unsigned i = 0; i < 12; ++i)
            pool.emplace_back(UPoint3<float>(), i);
    }
    BoundaryEdge edge(int a, int b) const { return {&pool[a], &pool[b]}; }

    std::vector<UVertex<float>> pool;
    BoundaryLoopTracer tracer;
};

// The literal procedure: a list scanned from its front for every step.
Loops chainByListScan(std::vector<BoundaryEdge> list)
{
    Loops loops;
    while (!list.empty()) {
        const BoundaryEdge head = list.front();
        list.erase(list.begin());
        std::vector<unsigned> loop{head.from->ID(), head.to->ID()};
        const UVertex<float>* cur = head.to;
        while (cur != head.from) {
            const auto it =
                std::find_if(list.begin(), list.end(), [cur](const BoundaryEdge& e) { return e.from == cur; });
            if (it == list.end()) return loops;
            cur = it->to;
            loop.push_back(cur->ID());
            list.erase(it);
        }
        loops.push_back(loop);
    }
    return loops;
}

TEST_F(BoundaryLoopChaining, AgreesWithListScanOnRandomEdgeLists)
{
    // Few vertices and many closed walks give vertices with several outgoing edges (where list order
    // decides), self edges, repeated edges and, when an edge is dropped, failing chains (which end the
    // chaining, keeping the loops before them). Vertex 10 carries ID 3 as well: vertices match by identity.
    pool[10].SetID(3);
    std::mt19937 rng(20240611);
    for (int trial = 0; trial < 400; ++trial) {
        const int vertexCount = 2 + static_cast<int>(rng() % 11);
        std::vector<BoundaryEdge> list;
        const int walks = 1 + static_cast<int>(rng() % 6);
        for (int w = 0; w < walks; ++w) {
            const int start = static_cast<int>(rng() % vertexCount);
            const int length = 1 + static_cast<int>(rng() % 7);
            int cur = start;
            for (int s = 1; s < length; ++s) {
                const int next = static_cast<int>(rng() % vertexCount);
                list.push_back(edge(cur, next));
                cur = next;
            }
            list.push_back(edge(cur, start));
        }
        std::shuffle(list.begin(), list.end(), rng);
        if (rng() % 3 == 0) list.erase(list.begin() + static_cast<long>(rng() % list.size()));

        Loops loops;
        tracer.chainLoops(list, loops);
        ASSERT_EQ(loops, chainByListScan(list)) << "trial " << trial;
    }
}

} // namespace
