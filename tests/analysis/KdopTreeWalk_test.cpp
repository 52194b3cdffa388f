// SPDX-License-Identifier: MIT
// Tests of the radius-0 walk's fast paths: the face tree's cast with the watertight test inlined against
// the plain cast with faceHitCallback, and the shortened vector slab test against a node-by-node walk
// on trees whose bounds are not ordinary (NaN and infinite corners).
#include "analysis/KdopTreeWalk.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "analysis/FaceTree.h"
#include "tests/support/TestMeshes.h"

using namespace Analysis;

namespace {

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof(float)) == 0;
}

/// castFaceRay's answer computed the plain way: kdopTreeRayCast with faceHitCallback as leaf test.
struct PlainCast {
    int index = -1;
    float distance = 0.0f;
    float hitPoint[3] = {};
};

PlainCast plainCast(const FaceTree& faceTree, const float* origin, const float* direction, float limit)
{
    RayHit hit{};
    hit.index = -1;
    hit.distance = limit;
    FaceHitData data{&faceTree.mesh->faces, faceTree.coords, 0.0f, 0.0f, faceTree.corners.data()};
    kdopTreeRayCast(faceTree.tree, origin, direction, 0.0f, &hit, faceHitCallback, &data, KdopRayWatertight);
    PlainCast result;
    if (hit.index == -1 || hit.distance == limit) return result;
    result.index = hit.index;
    result.distance = hit.distance;
    const UTriangle<float>* face = faceTree.mesh->faces[static_cast<std::size_t>(hit.index)];
    for (int a = 0; a < 3; ++a)
        result.hitPoint[a] =
            ((face->P(1)[a] - face->P(0)[a]) * data.u + face->P(0)[a]) + (face->P(2)[a] - face->P(0)[a]) * data.v;
    return result;
}

/// Every triangle twice (once flipped), so that every hit is an exact tie the visiting order decides.
std::unique_ptr<UMesh<float>> doubledGridBox()
{
    testmesh::Soup soup = testmesh::gridBox(-2.0f, -1.0f, -1.5f, 2.0f, 1.0f, 1.5f, 6);
    soup.appendFlipped(testmesh::gridBox(-2.0f, -1.0f, -1.5f, 2.0f, 1.0f, 1.5f, 6));
    return soup.build();
}

/// Random triangles with corners from a coordinate array (the mesh's points moved by (1, -2, 0.5)), where the
/// slot order of the corners differs most from the face order.
std::unique_ptr<UMesh<float>> randomSoup(std::vector<float>& coords)
{
    std::mt19937 random(4242u);
    std::uniform_real_distribution<float> centre(-4.0f, 4.0f);
    std::uniform_real_distribution<float> offset(-0.6f, 0.6f);
    testmesh::Soup soup;
    for (std::uint32_t t = 0; t < 3000; ++t) {
        const float c[3] = {centre(random), centre(random), centre(random)};
        for (std::uint32_t k = 0; k < 3; ++k) {
            for (int a = 0; a < 3; ++a)
                soup.positions.push_back(c[a] + offset(random));
            soup.indices.push_back(3 * t + k);
        }
    }
    auto mesh = soup.build();
    coords.resize(3 * mesh->vertices.size());
    for (const UVertex<float>* v : mesh->vertices)
        for (int a = 0; a < 3; ++a)
            coords[3 * static_cast<std::size_t>(v->ID()) + a] = v->P()[a] + (a == 0 ? 1.0f : a == 1 ? -2.0f : 0.5f);
    return mesh;
}

} // namespace

// Seeded rays of every kind against a closed grid box whose faces all appear twice (every hit an exact tie
// the visiting order decides) and against a random soup with a coordinate array: random directions,
// axis-aligned rays through grid vertices and edges, rays with a zero or tiny component whose origin lies
// on a bound plane, zero and NaN directions, short limits and limits shrinking to the last hit as in the
// thickness analysis. The inlined cast must return the same face, the same distance bits and the same
// barycentric hit point.
TEST(FaceTreeInlinedCast, SameAsCallbackCast)
{
    for (int scene = 0; scene < 2; ++scene) {
        std::vector<float> coords;
        auto mesh = scene == 0 ? doubledGridBox() : randomSoup(coords);
        const OwnedFaceTree owned =
            makeFaceTree(mesh.get(), FaceTreeHitOnSurface,
                         scene == 0 ? nullptr : reinterpret_cast<const float(*)[3]>(coords.data()), false);
        const FaceTree& faceTree = *owned;
        std::mt19937 random(77u);
        float lastHit = 1.0f;
        std::uniform_real_distribution<float> coordinate(-3.0f, 3.0f);
        std::uniform_int_distribution<int> pick(0, 7);
        std::uniform_int_distribution<int> gridStep(0, 6);
        int hits = 0;
        for (int r = 0; r < 6000; ++r) {
            float origin[3] = {coordinate(random), coordinate(random), coordinate(random)};
            float direction[3] = {coordinate(random), coordinate(random), coordinate(random)};
            const int kind = pick(random);
            if (kind <= 2) {
                // Along an axis through grid lines: origin coordinates on the 6 x 6 grid of the box's faces.
                const int axis = kind;
                const float lo[3] = {-2.0f, -1.0f, -1.5f};
                const float size[3] = {4.0f, 2.0f, 3.0f};
                for (int a = 0; a < 3; ++a) {
                    origin[a] = lo[a] + size[a] * static_cast<float>(gridStep(random)) / 6.0f;
                    direction[a] = 0.0f;
                }
                origin[axis] = r % 2 ? -5.0f : 0.1f;
                direction[axis] = r % 3 ? 1.0f : -1.0f;
            } else if (kind == 3) {
                // Zero x component with the origin exactly on a leaf's x bound plane.
                origin[0] = faceTree.tree->nodeBounds(r % faceTree.tree->leafCount)[r % 2];
                direction[0] = r % 4 ? 0.0f : 1e-9f;
            } else if (kind == 4) {
                direction[0] = direction[1] = direction[2] = 0.0f;
            } else if (kind == 5) {
                direction[r % 3] = std::nanf("");
            }
            const float limit = kind == 6 ? 0.75f : (kind == 7 ? lastHit : 3.4028235e38f);

            const PlainCast expected = plainCast(faceTree, origin, direction, limit);
            float distance = limit;
            float hitPoint[3] = {};
            float rayPoint[3] = {};
            const UTriangle<float>* face =
                castFaceRay(faceTree, origin, direction, 0.0f, &distance, hitPoint, rayPoint);
            if (expected.index < 0) {
                EXPECT_EQ(face, nullptr) << "ray " << r << " kind " << kind;
                continue;
            }
            ASSERT_NE(face, nullptr) << "ray " << r << " kind " << kind;
            EXPECT_EQ(face->index, expected.index) << "ray " << r << " kind " << kind;
            EXPECT_TRUE(sameBits(distance, expected.distance)) << "ray " << r << " kind " << kind;
            for (int a = 0; a < 3; ++a)
                EXPECT_TRUE(sameBits(hitPoint[a], expected.hitPoint[a])) << "ray " << r << " axis " << a;
            lastHit = distance;
            ++hits;
        }
        EXPECT_GT(hits, 1500);
    }
}

// Leaves with a NaN corner get bounds with minimum above maximum, leaves reaching to infinity get
// infinite bounds, and rays with a zero component whose origin lies on a bound plane give NaN slab
// distances; such lanes break the conditions of the shortened vector test and must come out exactly
// as the per-node test gives them. Checked for every branch of such trees, for many rays and distances:
// the same entered children, and for each the same key and entry bits.
TEST(KdopTreeWalk, ChildTestMatchesPerNodeTestOnIrregularBounds)
{
    std::mt19937 random(5150u);
    std::uniform_real_distribution<float> coordinate(-8.0f, 8.0f);
    std::uniform_real_distribution<float> size(0.1f, 3.0f);
    std::uniform_int_distribution<int> pick(0, 9);
    for (int branching : {2, 3, 8, 32}) {
        const int leaves = 150;
        std::unique_ptr<KdopTree, void (*)(KdopTree*)> tree(kdopTreeNew(leaves, 0.0f, branching, 8), kdopTreeFree);
        for (int i = 0; i < leaves; ++i) {
            float points[6];
            for (int a = 0; a < 3; ++a) {
                points[a] = std::round(coordinate(random));
                points[3 + a] = points[a] + std::round(size(random));
            }
            const int kind = pick(random);
            if (kind == 0) points[0] = points[3] = std::nanf("");
            if (kind == 1) points[4] = INFINITY;
            if (kind == 2) points[2] = -INFINITY;
            kdopTreeInsert(tree.get(), i, points, 2);
        }
        kdopTreeBalance(tree.get());
        const int width = tree->slabWidth;
        int entered = 0;
        int fallbacks = 0;
        for (int r = 0; r < 300; ++r) {
            float origin[3] = {coordinate(random), coordinate(random), coordinate(random)};
            float direction[3] = {coordinate(random), coordinate(random), coordinate(random)};
            const int kind = pick(random);
            if (kind <= 2) {
                // A zero component with the origin on some leaf's bound plane along that axis.
                direction[kind] = 0.0f;
                origin[kind] = tree->nodeBounds(r % leaves)[2 * kind + r % 2];
            } else if (kind == 3) {
                origin[r % 3] = INFINITY;
            } else if (kind == 4) {
                direction[r % 3] = 0.0f;
            }
            kdopwalk::SlabRay ray;
            kdopwalk::setUpSlabRay(ray, origin, direction);
            const float distances[4] = {40.0f, 3.0f, INFINITY, std::nanf("")};
            for (int b = 0; b < tree->branchCount; ++b) {
                const float* record = tree->branchSlabs(b);
                const int count = tree->branchInfo(b).childCount;
                const float* const rows[6] = {record,
                                              record + width,
                                              record + 2 * width,
                                              record + 3 * width,
                                              record + 4 * width,
                                              record + 5 * width};
                for (float D : distances) {
                    kdopwalk::ChildTest test;
                    kdopwalk::testChildren(ray, record, width, count, D, test);
                    for (int c = 0; c < count; ++c) {
                        float key = 0.0f;
                        float entry = 0.0f;
                        const bool expected = kdopwalk::testSlab(ray, rows, c, D, key, entry);
                        ASSERT_EQ(((test.entered >> c) & 1u) != 0, expected)
                            << "branching " << branching << " ray " << r << " branch " << b << " child " << c;
                        if (!expected) continue;
                        ++entered;
                        fallbacks += std::isnan(key) || std::isnan(entry) || key != entry ? 1 : 0;
                        EXPECT_TRUE(sameBits(test.key[c], key)) << "ray " << r << " branch " << b << " child " << c;
                        EXPECT_TRUE(sameBits(test.entry[c], entry)) << "ray " << r << " branch " << b << " child " << c;
                    }
                }
            }
        }
        // Both ordinary and special lanes took part.
        EXPECT_GT(entered, 1000) << "branching " << branching;
        EXPECT_GT(fallbacks, 10) << "branching " << branching;
    }
}
