// SPDX-License-Identifier: MIT
// Mesh checks on broken variants of a box, and the winding repair.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "meshprobe/MeshChecks.h"
#include "tests/support/TestMeshes.h"

namespace {

std::map<std::string, std::size_t> codes(const std::vector<meshprobe::MeshWarning>& warnings)
{
    std::map<std::string, std::size_t> out;
    for (const auto& w : warnings)
        out[w.code] = w.count;
    return out;
}

struct BrokenMesh {
    const char* name;
    std::function<testmesh::Soup()> make;
    std::map<std::string, std::size_t> warnings;
    std::size_t facesFixed; // faces fixWinding flips
};

TEST(MeshChecks, NameEachDefectAndFixWindingRepairsWhatItCan)
{
    const auto box = [] { return testmesh::box(0, 0, 0, 10, 10, 10); };
    const BrokenMesh cases[] = {
        {"sound box", box, {}, 0},
        {"hollow box (void wound inward)",
         [&] {
             auto s = box();
             s.appendFlipped(testmesh::box(2, 2, 2, 8, 8, 8));
             return s;
         },
         {},
         0},
        {"inside out",
         [&] {
             testmesh::Soup s;
             s.appendFlipped(box());
             return s;
         },
         {{"inside-out", 1}},
         12},
        {"one face turned",
         [&] {
             auto s = box();
             std::swap(s.indices[1], s.indices[2]);
             return s;
         },
         {{"inconsistent-winding", 3}},
         1},
        {"a face missing",
         [&] {
             auto s = box();
             s.indices.resize(s.indices.size() - 3);
             return s;
         },
         {{"open-edges", 3}},
         0},
        {"two bodies",
         [&] {
             auto s = box();
             s.append(testmesh::box(20, 0, 0, 30, 10, 10));
             return s;
         },
         {{"several-bodies", 2}},
         0},
        // More shells than are compared pair by pair: the void still lies in the box, and the cube in the
        // void in both (neither counts as inside out, nor as another body).
        {"hollow box among specks, a cube in the void",
         [&] {
             auto s = box();
             s.appendFlipped(testmesh::box(2, 2, 2, 8, 8, 8));
             s.append(testmesh::box(4, 4, 4, 5, 5, 5));
             for (int i = 0; i < 6000; ++i)
                 s.append(testmesh::box(20 + i % 100, 20 + i / 100, 0, 20.5f + i % 100, 20.5f + i / 100, 0.5f));
             return s;
         },
         {{"several-bodies", 6001}},
         0},
        // A box and, after it, a void of exactly its box (a wall of no thickness): the box holds the void, not
        // both each other.
        {"void with the box's own box",
         [&] {
             auto s = box();
             s.appendFlipped(box());
             return s;
         },
         {},
         0},
        {"degenerate face on an edge",
         [&] {
             auto s = box();
             s.indices.insert(s.indices.end(), {s.indices[0], s.indices[1], s.indices[0]});
             return s;
         },
         {{"zero-area-faces", 1}, {"non-manifold-edges", 1}},
         0},
        // The south pole's 48 edges, each used twice, sort as one run of uses.
        {"sphere, a face at a pole turned",
         [] {
             auto s = testmesh::sphere(0, 0, 0, 10, 8, 48);
             std::swap(s.indices[16], s.indices[17]);
             return s;
         },
         {{"inconsistent-winding", 3}},
         1},
        // Beyond single precision: the longest side over a million times the shortest edge, wherever it sits.
        {"bar 2e6 times its width",
         [] { return testmesh::box(0, 0, 0, 2e6f, 1, 1); },
         {{"beyond-single-precision", 1}},
         0},
        {"bar just under 1e6 times its width", [] { return testmesh::box(0, 0, 0, 999999, 1, 1); }, {}, 0},
        {"box 1e5 mm from the origin",
         [] { return testmesh::box(1e5f, -1e5f, 1e5f, 1e5f + 10, -1e5f + 10, 1e5f + 10); },
         {},
         0},
        {"100 mm box with a 50 nm burr",
         [] {
             auto s = testmesh::box(0, 0, 0, 100, 100, 100);
             s.append(testmesh::box(10, 10, 100, 10 + 5e-5f, 10 + 5e-5f, 100 + 5e-5f));
             return s;
         },
         {{"several-bodies", 2}, {"beyond-single-precision", 1}},
         0},
    };
    for (const BrokenMesh& c : cases) {
        const testmesh::Soup soup = c.make();
        EXPECT_EQ(codes(meshprobe::checkMesh(soup.view())), c.warnings) << c.name;
        const meshprobe::WindingFix fix = meshprobe::fixWinding(soup.view());
        EXPECT_EQ(fix.flippedFaces, c.facesFixed) << c.name;
        const auto after = codes(meshprobe::checkMesh(fix.mesh.view()));
        EXPECT_EQ(after.count("inside-out") + after.count("inconsistent-winding"), 0u) << c.name;
    }
}

} // namespace
