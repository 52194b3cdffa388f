// SPDX-License-Identifier: MIT
// Tests of FaceTree: the watertight and tolerance triangle tests, the distance limits, face filters
// and agreement with a brute-force loop over all faces.
#include "analysis/FaceTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "tests/support/TestMeshes.h"

using namespace Analysis;

namespace {

/// Owns a face tree for the duration of a test.
struct BuiltTree {
    FaceTree faceTree;
    BuiltTree(UMesh<float>* mesh, unsigned flags = 0, const float (*coords)[3] = nullptr, bool owns = false)
    {
        buildFaceTree(faceTree, mesh, flags, coords, owns);
    }
    ~BuiltTree() { freeFaceTree(faceTree); }
};

/// Nearest face by the leaf test given the face list alone, every face in list order; ties keep the earlier one.
RayHit bruteForce(const FaceTree& faceTree, const float* origin, const float* direction, float radius, float limit)
{
    KdopRay ray{};
    WatertightPrecalc precalc{};
    // The shear constants as the cast sets them up.
    struct Capture {
        WatertightPrecalc* out;
    } capture{&precalc};
    KdopTree* single = kdopTreeNew(1, 0.0f, 8, 8);
    const float far[3] = {1e30f, 1e30f, 1e30f};
    const float near[3] = {-1e30f, -1e30f, -1e30f};
    const float points[6] = {near[0], near[1], near[2], far[0], far[1], far[2]};
    kdopTreeInsert(single, 0, points, 2);
    kdopTreeBalance(single);
    kdopTreeRayCast(
        single, origin, direction, 0.0f, nullptr,
        [](void* data, int, const KdopRay& r, RayHit&) { *static_cast<Capture*>(data)->out = *r.precalc; }, &capture,
        KdopRayWatertight);
    kdopTreeFree(single);

    for (int a = 0; a < 3; ++a) {
        ray.origin[a] = origin[a];
        ray.direction[a] = direction[a];
    }
    ray.radius = radius;
    ray.precalc = &precalc;
    RayHit hit{};
    hit.index = -1;
    hit.distance = limit;
    FaceHitData data{&faceTree.mesh->faces, faceTree.coords};
    for (std::size_t f = 0; f < faceTree.mesh->faces.size(); ++f)
        faceHitCallback(&data, static_cast<int>(f), ray, hit);
    return hit;
}

/// Random triangles in a 10-unit cube, corners up to halfSize from the centre on each axis.
testmesh::Soup randomSoup(std::mt19937& random, int triangles, float halfSize)
{
    std::uniform_real_distribution<float> centre(-5.0f, 5.0f);
    std::uniform_real_distribution<float> offset(-halfSize, halfSize);
    testmesh::Soup soup;
    for (int t = 0; t < triangles; ++t) {
        const float c[3] = {centre(random), centre(random), centre(random)};
        for (int k = 0; k < 3; ++k) {
            for (int a = 0; a < 3; ++a)
                soup.positions.push_back(c[a] + offset(random));
            soup.indices.push_back(static_cast<std::uint32_t>(3 * t + k));
        }
    }
    return soup;
}

} // namespace

// Rays from inside a closed mesh towards every vertex and every edge midpoint pass exactly through
// shared vertices and edges; the watertight test must let none of them slip through.
TEST(FaceTreeWatertight, RaysThroughSharedEdgesAndVerticesHit)
{
    auto mesh = testmesh::sphere(0.1f, -0.2f, 0.3f, 2.0f, 12, 24).build();
    BuiltTree built(mesh.get());
    const float centre[3] = {0.1f, -0.2f, 0.3f};
    int rays = 0;
    for (const UTriangle<float>* face : mesh->faces) {
        for (int k = 0; k < 3; ++k) {
            const UPoint3<float>& a = face->P(k);
            const UPoint3<float>& b = face->P((k + 1) % 3);
            for (const float* target : {&a[0], &b[0]}) {
                for (bool midpoint : {false, true}) {
                    float direction[3];
                    for (int c = 0; c < 3; ++c)
                        direction[c] = (midpoint ? 0.5f * (a[c] + b[c]) : target[c]) - centre[c];
                    float distance = 3.4028235e38f;
                    ASSERT_NE(castFaceRay(built.faceTree, centre, direction, 0.0f, &distance, nullptr, nullptr),
                              nullptr)
                        << "face " << face->index << " edge " << k << (midpoint ? " midpoint" : " vertex");
                    // The direction reaches the surface at parameter 1 (up to rounding).
                    EXPECT_NEAR(distance, 1.0f, 1e-5f);
                    ++rays;
                }
            }
        }
    }
    EXPECT_GT(rays, 1000);
}

// Triangle (0,0,2) (4,0,2) (0,4,2) met from (1,1,0) along +z: every step of the test is exact in single
// precision, so the hit lies at exactly 2. A hit exactly at the maximum distance is no hit; a face behind
// the origin is never hit, a face through the origin is hit at 0; a zero direction finds nothing.
TEST(FaceTreeLimits, MaximumDistanceOriginAndDirection)
{
    testmesh::Soup soup;
    soup.positions = {0, 0, 2, 4, 0, 2, 0, 4, 2};
    soup.indices = {0, 1, 2};
    auto mesh = soup.build();
    BuiltTree built(mesh.get());
    const float origin[3] = {1, 1, 0};
    const float up[3] = {0, 0, 1};
    float distance = 2.0f;
    EXPECT_EQ(castFaceRay(built.faceTree, origin, up, 0.0f, &distance, nullptr, nullptr), nullptr);
    EXPECT_EQ(distance, 2.0f);
    distance = std::nextafter(2.0f, 3.0f);
    float hitPoint[3];
    float rayPoint[3];
    EXPECT_EQ(castFaceRay(built.faceTree, origin, up, 0.0f, &distance, hitPoint, rayPoint), mesh->faces[0]);
    EXPECT_EQ(distance, 2.0f);
    EXPECT_EQ(rayPoint[2], 2.0f);
    EXPECT_EQ(hitPoint[0], 1.0f);

    const float behind[3] = {1, 1, 2.5f};
    EXPECT_EQ(castFaceRay(built.faceTree, behind, up, 0.0f, nullptr, nullptr, nullptr), nullptr);
    const float down[3] = {0, 0, -1};
    EXPECT_EQ(castFaceRay(built.faceTree, origin, down, 0.0f, nullptr, nullptr, nullptr), nullptr);
    const float on[3] = {1, 1, 2};
    distance = 10.0f;
    EXPECT_EQ(castFaceRay(built.faceTree, on, up, 0.0f, &distance, nullptr, nullptr), mesh->faces[0]);
    EXPECT_EQ(distance, 0.0f);
    // Just beside the edge from corner 1 (u = 1.01, v = -0.01): only the tolerance test of a radius 0.05 hits.
    const float beside[3] = {4.04f, -0.04f, 0};
    EXPECT_EQ(castFaceRay(built.faceTree, beside, up, 0.0f, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(castFaceRay(built.faceTree, beside, up, 0.05f, nullptr, nullptr, nullptr), mesh->faces[0]);
    const float zero[3] = {0, 0, 0};
    EXPECT_EQ(castFaceRay(built.faceTree, on, zero, 0.0f, nullptr, nullptr, nullptr), nullptr);
}

// Two coplanar faces at z = 2 hit at the same point: face 0 reaches x = 4, face 1 reaches x = 8, so
// the root splits along x with face 0 first (both give the very same distance, the watertight test's steps
// being exact here). A ray with no x component visits the children from last
// to first (face 1 keeps the tie); one with a positive x component visits face 0 first.
TEST(FaceTreeTies, FaceVisitedFirstKeepsTheHit)
{
    testmesh::Soup soup;
    soup.positions = {0, 0, 2, 4, 0, 2, 0, 4, 2, 0, 0, 2, 8, 0, 2, 0, 4, 2};
    soup.indices = {0, 1, 2, 3, 4, 5};
    auto mesh = soup.build();
    BuiltTree built(mesh.get());
    const float origin[3] = {1, 1, 0};
    for (const auto& [dx, winner] : {std::make_pair(0.0f, 1), std::make_pair(0.25f, 0)}) {
        const float direction[3] = {dx, 0.0f, 1.0f};
        EXPECT_EQ(castFaceRay(built.faceTree, origin, direction, 0.0f, nullptr, nullptr, nullptr),
                  mesh->faces[static_cast<std::size_t>(winner)])
            << "dx " << dx;
    }
}

// Thousands of seeded random rays against random soups: same face and bit-identical distance as the
// brute-force loop (no exact ties occur in these soups, so list order decides nothing).
class FaceTreeAgainstBruteForce : public ::testing::TestWithParam<float> {};

TEST_P(FaceTreeAgainstBruteForce, SameNearestFaceAndDistance)
{
    const float radius = GetParam();
    std::mt19937 random(2024u);
    std::uniform_real_distribution<float> coordinate(-6.0f, 6.0f);
    // The tolerance test accepts points up to 2 e times an edge length outside the triangle; with edges
    // below 0.35 that stays inside the bounds widened by the radius e = 0.05.
    auto mesh = randomSoup(random, radius > 0.0f ? 6000 : 1500, radius > 0.0f ? 0.1f : 0.75f).build();
    BuiltTree built(mesh.get());
    int hits = 0;
    for (int r = 0; r < 3000; ++r) {
        const float origin[3] = {coordinate(random), coordinate(random), coordinate(random)};
        const float direction[3] = {coordinate(random), coordinate(random), coordinate(random)};
        const float limit = r % 2 ? 4.0f : 3.4028235e38f;
        float distance = limit;
        const UTriangle<float>* face =
            castFaceRay(built.faceTree, origin, direction, radius, &distance, nullptr, nullptr);
        const RayHit expected = bruteForce(built.faceTree, origin, direction, radius, limit);
        if (expected.index < 0) {
            EXPECT_EQ(face, nullptr) << "ray " << r;
            continue;
        }
        ASSERT_NE(face, nullptr) << "ray " << r;
        EXPECT_EQ(face->index, expected.index) << "ray " << r;
        EXPECT_EQ(distance, expected.distance) << "ray " << r;
        ++hits;
    }
    EXPECT_GT(hits, 200);
}

// Radius 0 uses the watertight test; a small positive radius the tolerance test with widened slabs
// (the triangles are small enough that a widened barycentric hit stays inside the widened bounds).
INSTANTIATE_TEST_SUITE_P(Radius, FaceTreeAgainstBruteForce, ::testing::Values(0.0f, 0.05f));

// With a selection filter only selected faces are leaves, and the returned face is still the one at
// the hit leaf's position in the face list.
TEST(FaceTreeFilter, SelectedOnlyKeepsFaceNumbering)
{
    // Three parallel unit squares (two faces each) at z = 1, 2, 3 over [0,1]^2.
    testmesh::Soup soup;
    for (int layer = 1; layer <= 3; ++layer) {
        testmesh::Soup square = testmesh::quadGrid(1, 1);
        for (std::size_t v = 2; v < square.positions.size(); v += 3)
            square.positions[v] = static_cast<float>(layer);
        soup.append(square);
    }
    auto mesh = soup.build();
    mesh->faces[4]->SetS();
    mesh->faces[5]->SetS();
    mesh->faces[1]->SetH();
    const float origin[3] = {0.3f, 0.6f, 0.0f};
    const float direction[3] = {0, 0, 1};
    {
        BuiltTree selected(mesh.get(), FaceTreeSelectedOnly);
        EXPECT_EQ(selected.faceTree.tree->leafCount, 2);
        const UTriangle<float>* face =
            castFaceRay(selected.faceTree, origin, direction, 0.0f, nullptr, nullptr, nullptr);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->index / 2, 2); // a face of the top layer
    }
    {
        BuiltTree visible(mesh.get(), FaceTreeVisibleOnly);
        EXPECT_EQ(visible.faceTree.tree->leafCount, 5);
    }
    {
        BuiltTree all(mesh.get());
        const UTriangle<float>* face = castFaceRay(all.faceTree, origin, direction, 0.0f, nullptr, nullptr, nullptr);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->index / 2, 0);
    }
}

// With a coordinate array the tree is built and tested on those positions, not the faces' own points;
// the hit point on the surface is then rebuilt from the faces' own points, with the watertight test's
// first two barycentric weights (those of corners 0 and 1) applied to edges P1 - P0 and P2 - P0: at
// (1, 1) the weights are 0.5, 0.25, 0.25, giving (2, 1).
TEST(FaceTreeCoords, CoordinateArrayReplacesFacePoints)
{
    testmesh::Soup soup;
    soup.positions = {0, 0, 2, 4, 0, 2, 0, 4, 2};
    soup.indices = {0, 1, 2};
    auto mesh = soup.build();
    auto* coords = static_cast<float(*)[3]>(std::malloc(3 * sizeof(float[3])));
    const float moved[9] = {0, 0, 5, 4, 0, 5, 0, 4, 5};
    std::memcpy(coords, moved, sizeof(moved));
    BuiltTree built(mesh.get(), FaceTreeHitOnSurface, coords, true); // freed with the tree
    const float origin[3] = {1, 1, 0};
    const float direction[3] = {0, 0, 1};
    float distance = 100.0f;
    float hitPoint[3];
    float rayPoint[3];
    ASSERT_EQ(castFaceRay(built.faceTree, origin, direction, 0.0f, &distance, hitPoint, rayPoint), mesh->faces[0]);
    EXPECT_EQ(distance, 5.0f);
    EXPECT_EQ(rayPoint[2], 5.0f);
    EXPECT_EQ(hitPoint[0], 2.0f);
    EXPECT_EQ(hitPoint[1], 1.0f);
    EXPECT_EQ(hitPoint[2], 2.0f);
    const WatertightPrecalc alongZ{0, 1, 2, 0.0f, 0.0f, 1.0f};
    RayHit hit{-1, {}, {}, 100.0f};
    FaceHitData fromCoords{&mesh->faces, coords}; // the leaf test alone reads the corners from coords too
    faceHitCallback(&fromCoords, 0, KdopRay{{1, 1, 0}, {0, 0, 1}, 0.0f, &alongZ}, hit);
    EXPECT_EQ(hit.distance, 5.0f);
}
