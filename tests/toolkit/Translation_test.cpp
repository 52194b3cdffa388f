// SPDX-License-Identifier: MIT
// The same answers wherever a part sits: parts moved far from the origin give the results of the same shape
// at the origin, with every reported position moved by the offset.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "meshprobe/Cavities.h"
#include "meshprobe/Import.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThinAreas.h"
#include "meshprobe/TrappedVolumes.h"
#include "tests/support/TestMeshes.h"

namespace {

using Point = std::array<double, 3>;

/// A 10 mm cube with a sealed 4 x 6 x 6 mm void whose wall x = 5 is the box's centre plane (a voxel boundary
/// at every even resolution) and whose wall x = 9 leaves 1 mm of material.
testmesh::Soup voidBox()
{
    testmesh::Soup s = testmesh::box(0, 0, 0, 10, 10, 10);
    s.appendFlipped(testmesh::box(5, 2, 2, 9, 8, 8));
    return s;
}

/// A 20 mm box shell with 0.5 mm walls.
testmesh::Soup thinShell()
{
    testmesh::Soup s = testmesh::gridBox(0, 0, 0, 20, 20, 20, 4);
    s.appendFlipped(testmesh::box(0.5f, 0.5f, 0.5f, 19.5f, 19.5f, 19.5f));
    return s;
}

/// A plate with four 0.75 mm fins across it, closed at both ends by 0.75 mm walls: between each pair of fins
/// a channel that opens only upwards.
testmesh::Soup finnedPlate()
{
    testmesh::Soup s = testmesh::box(0, 0, 0, 24, 12, 2);
    for (int f = 0; f < 4; ++f)
        s.append(testmesh::box(2.0f + 6.0f * float(f), 0.75f, 2, 2.75f + 6.0f * float(f), 11.25f, 9));
    s.append(testmesh::box(2, 0, 2, 20.75f, 0.75f, 9));
    s.append(testmesh::box(2, 11.25f, 2, 20.75f, 12, 9));
    return s;
}

testmesh::Soup bracket()
{
    const meshprobe::Mesh mesh = meshprobe::loadMesh(MESHPROBE_SOURCE_DIR "/examples/bracket.stl");
    return {mesh.vertices, mesh.triangles};
}

/// The soup moved by `offset`, each coordinate rounded to float as a file at that place would hold it.
testmesh::Soup moved(testmesh::Soup soup, const Point& offset)
{
    for (std::size_t i = 0; i < soup.positions.size(); ++i)
        soup.positions[i] = float(double(soup.positions[i]) + offset[i % 3]);
    return soup;
}

/// What every command reports about a part, gathered for one comparison.
struct Findings {
    meshprobe::ThicknessResult thickness;
    meshprobe::ThinAreasResult thin;
    meshprobe::TrappedResult trapped;
    meshprobe::CavitiesResult cavities;
};

Findings analyse(const testmesh::Soup& part, const meshprobe::Direction& up)
{
    Findings f;
    meshprobe::ThicknessOptions thickness;
    thickness.min = 0.0f;
    thickness.max = 3.0f;
    thickness.samples = 1;
    thickness.threads = 2;
    f.thickness = meshprobe::thickness(part.view(), thickness);
    meshprobe::ThinAreaOptions thin;
    thin.max = 1.5f;
    thin.minArea = 0.0;
    f.thin = meshprobe::thinAreas(part.view(), f.thickness.perFace, thin);
    meshprobe::TrappedOptions trapped;
    trapped.resolution = 50;
    trapped.up = meshprobe::BuildDirection::MinusY;
    f.trapped = meshprobe::trappedVolumes(part.view(), trapped);
    meshprobe::CavityOptions cavities;
    cavities.resolution = 48;
    cavities.up = up;
    cavities.columns = true;
    cavities.drainHoleDiameter = 1.0;
    f.cavities = meshprobe::findCavities(part.view(), cavities);
    return f;
}

/// Positions: the moved part's equal the reference's plus the offset, up to the rounding of the sum.
void expectShifted(const Point& moved, const Point& reference, const Point& offset, const std::string& what)
{
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(moved[k], reference[k] + offset[k], 1e-12 * (std::fabs(offset[k]) + 100.0))
            << what << " axis " << k;
}

/// Float meshes written in model coordinates: each vertex within one float step of the shifted reference.
void expectShifted(const meshprobe::Mesh& moved, const meshprobe::Mesh& reference, const Point& offset,
                   const std::string& what)
{
    ASSERT_EQ(moved.triangles, reference.triangles) << what;
    ASSERT_EQ(moved.vertices.size(), reference.vertices.size()) << what;
    for (std::size_t i = 0; i < moved.vertices.size(); ++i) {
        const double expected = double(reference.vertices[i]) + offset[i % 3];
        const double step = std::nextafter(float(std::fabs(expected)), INFINITY) - float(std::fabs(expected));
        ASSERT_NEAR(moved.vertices[i], expected, 1.5 * step) << what << " coordinate " << i;
    }
}

void expectSameFindings(const Findings& m, const Findings& r, const Point& offset, const std::string& where)
{
    // Per-face values and selections: bit for bit; counts and kinds equal; positions shifted.
    ASSERT_EQ(m.thickness.perFace.size(), r.thickness.perFace.size()) << where;
    EXPECT_EQ(std::memcmp(m.thickness.perFace.data(), r.thickness.perFace.data(), 4 * r.thickness.perFace.size()), 0)
        << where;
    ASSERT_EQ(m.thin.areas.size(), r.thin.areas.size()) << where;
    for (std::size_t a = 0; a < r.thin.areas.size(); ++a) {
        EXPECT_EQ(m.thin.areas[a].faces, r.thin.areas[a].faces) << where;
        expectShifted(m.thin.areas[a].centroid, r.thin.areas[a].centroid, offset, where + " thin area");
        expectShifted(m.thin.areas[a].boundsMax, r.thin.areas[a].boundsMax, offset, where + " thin area");
    }
    EXPECT_EQ(m.trapped.voxelSize, r.trapped.voxelSize) << where;
    ASSERT_EQ(m.trapped.cavities.size(), r.trapped.cavities.size()) << where;
    for (std::size_t c = 0; c < r.trapped.cavities.size(); ++c) {
        EXPECT_EQ(m.trapped.cavities[c].name, r.trapped.cavities[c].name) << where;
        EXPECT_EQ(m.trapped.cavities[c].voxels, r.trapped.cavities[c].voxels) << where;
        expectShifted(m.trapped.cavities[c].mesh, r.trapped.cavities[c].mesh, offset, where + " trapped mesh");
    }
    ASSERT_EQ(m.cavities.cavities.size(), r.cavities.cavities.size()) << where;
    for (std::size_t c = 0; c < r.cavities.cavities.size(); ++c) {
        const meshprobe::CavityReport &a = m.cavities.cavities[c], &b = r.cavities.cavities[c];
        EXPECT_EQ(std::tie(a.closed, a.voxels, a.estimatedVolume), std::tie(b.closed, b.voxels, b.estimatedVolume))
            << where;
        for (const auto& [p, q] : {std::pair{a.centroid, b.centroid},
                                   {a.boundsMin, b.boundsMin},
                                   {a.lowestPoint, b.lowestPoint},
                                   {a.drain->wallPoint, b.drain->wallPoint},
                                   {a.drain->exitPoint, b.drain->exitPoint}})
            expectShifted(p, q, offset, where + " cavity");
        expectShifted(a.solid, b.solid, offset, where + " solid");
        expectShifted(a.columns, b.columns, offset, where + " columns");
        EXPECT_EQ(std::tie(a.drain->direction, a.drain->length), std::tie(b.drain->direction, b.drain->length))
            << where;
    }
}

struct Part {
    const char* name;
    testmesh::Soup (*make)();
    meshprobe::Direction up;
};

class AnywhereInSpace : public testing::TestWithParam<Part> {};

// Each part at the origin, then moved by 600, 1000, 1e4 and 1e5 mm along each axis and along the diagonal.
// The moved file holds the shape rounded to the floats at its place; moved back (exactly, in double) that
// rounded shape is the reference. The generated parts sit on multiples of 1/128 mm, which every offset
// keeps, so for them the reference is the part at the origin itself.
TEST_P(AnywhereInSpace, ResultsEqualThoseAtTheOriginShiftedByTheOffset)
{
    const Part& part = GetParam();
    const testmesh::Soup original = part.make();
    const Findings atOrigin = analyse(original, part.up);
    // Every part has what is compared, so that empty results cannot pass unseen.
    ASSERT_FALSE(atOrigin.thin.areas.empty());
    ASSERT_FALSE(atOrigin.cavities.cavities.empty());
    for (const meshprobe::CavityReport& c : atOrigin.cavities.cavities)
        ASSERT_TRUE(c.drain.has_value());

    for (double distance : {600.0, 1000.0, 1e4, 1e5})
        for (const Point& direction : {Point{1, 0, 0}, Point{0, 1, 0}, Point{0, 0, 1}, Point{1, 1, 1}}) {
            const Point offset{distance * direction[0], distance * direction[1], distance * direction[2]};
            const testmesh::Soup there = moved(original, offset);
            const testmesh::Soup reference = moved(there, {-offset[0], -offset[1], -offset[2]});
            const bool exact = reference.positions == original.positions;
            const std::string where = std::string(part.name) + " moved by " + std::to_string(offset[0]) + ", " +
                                      std::to_string(offset[1]) + ", " + std::to_string(offset[2]);
            expectSameFindings(analyse(there, part.up), exact ? atOrigin : analyse(reference, part.up), offset, where);
        }
}

INSTANTIATE_TEST_SUITE_P(Parts, AnywhereInSpace,
                         testing::Values(Part{"void box", voidBox, {0, 0, 1}}, Part{"thin shell", thinShell, {0, 0, 1}},
                                         Part{"finned plate", finnedPlate, {0, 0, 1}},
                                         Part{"bracket", bracket, {0.6, 0, 0.8}}),
                         [](const testing::TestParamInfo<Part>& param) {
                             std::string name = param.param.name;
                             for (char& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

} // namespace
