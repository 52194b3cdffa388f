// SPDX-License-Identifier: MIT
// Welding of equal positions into one vertex, numbered in the order first met, at any size.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

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

// weldAll on several threads numbers exactly as weld() one position after the other: a scan-like stream
// where every position comes back a few times, some far apart, with -0 and +0 mixed, at sizes on both
// sides of where threads start.
TEST(VertexWelder, WeldAllOnThreadsGivesTheIdsOfWeldInOrder)
{
    for (const std::size_t distinct : {1000u, 60000u}) {
        std::vector<float> xyz;
        std::uint64_t state = 12345;
        auto next = [&state] { return state = state * 6364136223846793005ull + 1442695040888963407ull; };
        for (std::size_t i = 0; i < 4 * distinct; ++i) {
            // Mostly a recent position again, sometimes any earlier one, else a new one.
            const std::uint64_t r = next() >> 33;
            std::size_t v = i / 4;
            if (r % 5 == 0) v = static_cast<std::size_t>(r % (i / 4 + 1));
            const float sign = (r & 64) ? -1.0f : 1.0f;
            xyz.insert(xyz.end(), {float(v % 97), float(v / 97) * 0.25f, v % 3 == 0 ? sign * 0.0f : float(v % 3)});
        }
        const std::size_t count = xyz.size() / 3;
        VertexWelder sequential("scan.off");
        std::vector<std::uint32_t> expected(count);
        for (std::size_t i = 0; i < count; ++i)
            expected[i] = sequential.weld(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
        const std::vector<float> expectedPositions = sequential.takePositions();
        ASSERT_GT(expectedPositions.size(), 3 * distinct / 2);
        for (const int threads : {1, 2, 3, 4}) {
            VertexWelder welder("scan.off");
            EXPECT_EQ(welder.weldAll(xyz.data(), count, threads), expected) << distinct << " " << threads;
            const std::vector<float> positions = welder.takePositions();
            // Bit for bit: the first of -0 and +0 met is the one kept.
            EXPECT_EQ(std::memcmp(positions.data(), expectedPositions.data(), positions.size() * sizeof(float)), 0);
            EXPECT_EQ(positions.size(), expectedPositions.size());
        }
    }
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
