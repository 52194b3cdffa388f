// SPDX-License-Identifier: MIT
// Welding of equal positions into one vertex, numbered in the order first met, at any size.
#include <gtest/gtest.h>

#include <limits>

#include "meshprobe/Error.h"
#include "toolkit/src/io/VertexWelder.h"

namespace {

using meshprobe::detail::VertexWelder;

TEST(VertexWelder, EqualPositionsShareAnIdAndIdsFollowFirstUse)
{
    VertexWelder welder("part.stl");
    const struct {
        float x, y, z;
        std::uint32_t id;
    } steps[] = {{1, 2, 3, 0},         {1, 2, 3, 0},          {3, 2, 1, 1}, {0.0f, 0, 0, 2},
                 {-0.0f, 0, -0.0f, 2}, {1, 2, 3.0000002f, 3}, {3, 2, 1, 1}, {1e-45f, 0, 0, 4}};
    for (const auto& s : steps)
        EXPECT_EQ(welder.weld(s.x, s.y, s.z), s.id) << s.x << " " << s.y << " " << s.z;
    const std::vector<float> positions = welder.takePositions();
    EXPECT_EQ(positions, (std::vector<float>{1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 2, 3.0000002f, 1e-45f, 0, 0}));
}

// Far more positions than the welder was told to expect (it grows many times), each met twice.
TEST(VertexWelder, KeepsItsIdsWhileItGrows)
{
    VertexWelder welder("scan.ply", 3);
    const std::uint32_t count = 20000;
    for (int pass = 0; pass < 2; ++pass)
        for (std::uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(welder.weld(float(i % 37), float(i / 37), 0.5f), i) << "pass " << pass;
    const std::vector<float> positions = welder.takePositions();
    ASSERT_EQ(positions.size(), 3u * count);
    EXPECT_EQ(positions[3 * 12345 + 1], float(12345 / 37));
}

TEST(VertexWelder, RefusesCoordinatesThatAreNotFiniteNamingFileAndVertex)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float max = std::numeric_limits<float>::max();
    EXPECT_TRUE(VertexWelder::isFinite(max, -max, std::numeric_limits<float>::denorm_min()));
    const VertexWelder welder("part.obj");
    const struct {
        float x, y, z;
        const char* message;
    } refused[] = {{inf, 0, 0, "part.obj: vertex 7 has an infinite coordinate"},
                   {0, -inf, 0, "part.obj: vertex 7 has an infinite coordinate"},
                   {0, 0, nan, "part.obj: vertex 7 has a NaN coordinate"},
                   {inf, nan, 0, "part.obj: vertex 7 has a NaN coordinate"}};
    for (const auto& r : refused) {
        EXPECT_FALSE(VertexWelder::isFinite(r.x, r.y, r.z)) << r.message;
        try {
            welder.rejectCoordinate(r.x, r.y, r.z, "vertex 7");
            ADD_FAILURE() << "accepted: " << r.message;
        } catch (const meshprobe::InputError& e) {
            EXPECT_STREQ(e.what(), r.message);
        }
    }
}

} // namespace
