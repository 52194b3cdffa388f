// SPDX-License-Identifier: MIT
// Tests of Analysis::MeshAnalyzer::statvis_calc_thickness: measured thickness, the angle correction,
// sample counts, selection and colour output, progress, and every outcome status.
#include "analysis/MeshAnalyzer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "analysis/SamplePatterns.h"
#include "common/HostMesh.h"
#include "tests/support/TestMeshes.h"

using Analysis::MeshAnalyzer;

namespace {

// Origins start 2e-5 inside the face, so a wall of thickness w reads w - 2e-5; the tolerance covers
// single-precision rounding at coordinates up to 10.
constexpr float originOffset = 2e-5f;
constexpr float tolerance = 4e-6f;

using Buffer = std::vector<std::array<unsigned char, 4>>;

float thicknessOf(const Buffer& buffer, std::size_t face)
{
    float value;
    std::memcpy(&value, buffer[face].data(), sizeof(float));
    return value;
}

auto* raw(Buffer& buffer)
{
    return reinterpret_cast<unsigned char(*)[4]>(buffer.data());
}

/// Runs the analysis leaving the thickness floats in the buffer (a show type other than 0 and 1).
MeshAnalyzer::Result measure(UMesh<float>& mesh, Buffer& buffer, float min, float max, int samples,
                             const float (*coords)[3] = nullptr, std::function<void(int)> progress = {})
{
    buffer.assign(mesh.faces.size(), {7, 7, 7, 7});
    MeshAnalyzer analyzer;
    return analyzer.statvis_calc_thickness(&mesh, coords, min, max, samples, static_cast<MeshAnalyzer::ShowType>(2),
                                           raw(buffer), std::move(progress));
}

bool isHorizontal(const UTriangle<float>* face)
{
    return std::fabs(face->N()[2]) > 0.99f;
}

} // namespace

// A 10 x 10 plate 0.5 thick: top and bottom read the wall thickness; the sides' rays cross 10 units to the
// opposite side and never count the perpendicular top and bottom; a maximum of 5 bounds their search. With
// a coordinate array (the plate made 2 thick there) the array's positions are measured.
TEST(Thickness, PlateReadsItsWallForEverySampleCount)
{
    auto mesh = testmesh::box(0, 0, 0, 10, 10, 0.5f).build();
    std::vector<float> coords;
    for (const UVertex<float>* v : mesh->vertices)
        coords.insert(coords.end(), {v->P()[0], v->P()[1], v->P()[2] * 4.0f});
    for (int samples : {1, 8, 31, 32, 1000})
        for (float max : {20.0f, 5.0f})
            for (bool thick : {false, true}) {
                Buffer buffer;
                const MeshAnalyzer::Result result =
                    measure(*mesh, buffer, 0.0f, max, samples,
                            thick ? reinterpret_cast<const float(*)[3]>(coords.data()) : nullptr);
                EXPECT_EQ(result.status, 1);
                EXPECT_EQ(result.message, "Thickness analysis Successfully");
                for (const UTriangle<float>* face : mesh->faces) {
                    const float wall = isHorizontal(face) ? (thick ? 2.0f : 0.5f) : 10.0f;
                    const float expected = wall < max ? wall - originOffset : max;
                    EXPECT_NEAR(thicknessOf(buffer, static_cast<std::size_t>(face->index)), expected, 10 * tolerance)
                        << samples << " samples, max " << max << ", face " << face->index;
                }
            }
}

// The angle correction t / (1 - (1 - q)^3), q = |N1 . N0|, reads the stored normals (the slanted wall below
// checks it for q < 1): a hit face whose stored normal is at right angles to the casting face's (q = 0) gives
// an infinite corrected distance, which never lowers the value.
TEST(Thickness, RightAngleNeverLowers)
{
    testmesh::Soup soup;
    soup.positions = {0, 0, 1, 1, 0, 1, 0, 1, 1, -5, -5, 0.5f, 15, -5, 0.5f, -5, 15, 0.5f};
    soup.indices = {0, 1, 2, 3, 4, 5};
    auto mesh = soup.build();
    Buffer buffer;
    measure(*mesh, buffer, 0.0f, 50.0f, 31);
    EXPECT_NEAR(thicknessOf(buffer, 0), 0.5f - originOffset, tolerance);
    mesh->faces[1]->N() = UVector3<float>(0.0f, 1.0f, 0.0f);
    measure(*mesh, buffer, 0.0f, 50.0f, 31);
    EXPECT_EQ(thicknessOf(buffer, 0), 50.0f);
}

// Sample counts: 0 casts nothing; 32 and above cast from the centroid only, so a small blocker below
// the centroid is found and one below a corner is not, while 31 samples also find the corner one.
TEST(ThicknessSamples, CountsSelectRays)
{
    // Face 0: (0,0,1) (6,0,1) (0,6,1), centroid (2, 2). Face 1: a blocker below at z = 0.5, facing down.
    auto build = [](std::initializer_list<float> blocker) {
        testmesh::Soup soup;
        soup.positions = {0, 0, 1, 6, 0, 1, 0, 6, 1};
        soup.positions.insert(soup.positions.end(), blocker);
        soup.indices = {0, 1, 2, 3, 4, 5};
        return soup.build();
    };
    // A small one right below the centroid, and a large one below the corner x >= 3.2 only.
    auto centred = build({1.7f, 1.7f, 0.5f, 1.7f, 2.3f, 0.5f, 2.3f, 1.7f, 0.5f});
    auto offCentre = build({3.2f, -0.5f, 0.5f, 3.2f, 2.0f, 0.5f, 6.5f, -0.5f, 0.5f});
    Buffer buffer;
    measure(*centred, buffer, 0.0f, 10.0f, 0);
    EXPECT_EQ(thicknessOf(buffer, 0), 10.0f);
    measure(*centred, buffer, 0.0f, 10.0f, 32);
    EXPECT_NEAR(thicknessOf(buffer, 0), 0.5f - originOffset, tolerance);
    measure(*offCentre, buffer, 0.0f, 10.0f, 32);
    EXPECT_EQ(thicknessOf(buffer, 0), 10.0f);
    measure(*offCentre, buffer, 0.0f, 10.0f, 1000);
    EXPECT_EQ(thicknessOf(buffer, 0), 10.0f);
    measure(*offCentre, buffer, 0.0f, 10.0f, 31);
    EXPECT_NEAR(thicknessOf(buffer, 0), 0.5f - originOffset, tolerance);
}

// A wall whose thickness varies across the face: face 0 (4 x 4, at z = 1, looking down) above a slanted
// face at depth h(x, y) = 2 + a x + b y. The thickness is the smallest depth under the face's samples, so it
// depends on where each sample lands: every count must match the samples of the pattern folded onto the
// triangle (u, v from the centred square, the half with u + v > 1 mirrored to 1 - u, 1 - v).
TEST(ThicknessSamples, SlantedWallReadsTheDepthUnderTheFoldedSamples)
{
    const float L = 4.0f;
    for (const auto& slope : {std::array<float, 2>{0.3f, 0.1f}, {-0.3f, 0.1f}, {0.1f, -0.3f}, {-0.2f, -0.2f}}) {
        const auto depth = [&](float x, float y) { return 2.0f + slope[0] * x + slope[1] * y; };
        testmesh::Soup soup;
        soup.positions = {0, 0, 1, L, 0, 1, 0, L, 1};
        for (const auto& p : {std::array<float, 2>{-1, -1}, {3 * L, -1}, {-1, 3 * L}})
            soup.positions.insert(soup.positions.end(), {p[0], p[1], 1.0f - depth(p[0], p[1])});
        soup.indices = {0, 1, 2, 3, 4, 5};
        auto mesh = soup.build();
        const float q = 1.0f / std::sqrt(1.0f + slope[0] * slope[0] + slope[1] * slope[1]);
        const float open = 1.0f - q;
        for (int samples = 1; samples < 32; ++samples) {
            std::vector<Analysis::SamplePoint> pattern(static_cast<std::size_t>(samples));
            Analysis::jitterSamples(pattern.data(), samples);
            float smallest = 1e30f;
            for (const Analysis::SamplePoint& p : pattern) {
                float u = p.x + 0.5f, v = p.y + 0.5f;
                if (u + v > 1.0f) u = 1.0f - u, v = 1.0f - v;
                smallest = std::min(smallest, depth(L * std::clamp(u, 0.0f, 1.0f), L * std::clamp(v, 0.0f, 1.0f)));
            }
            Buffer buffer;
            measure(*mesh, buffer, 0.0f, 100.0f, samples);
            EXPECT_NEAR(thicknessOf(buffer, 0), (smallest - originOffset) / (1.0f - open * open * open), 2e-5f)
                << samples << " samples, slope " << slope[0] << " " << slope[1];
        }
    }
}

// A face without area (collinear corners) has no direction; its rays find nothing.
TEST(Thickness, ZeroAreaFaceKeepsMaximum)
{
    testmesh::Soup soup = testmesh::box(0, 0, 0, 1, 1, 1);
    const auto base = static_cast<std::uint32_t>(soup.positions.size() / 3);
    soup.positions.insert(soup.positions.end(), {0.2f, 0.2f, 0.5f, 0.4f, 0.4f, 0.5f, 0.6f, 0.6f, 0.5f});
    soup.indices.insert(soup.indices.end(), {base, base + 1, base + 2});
    auto mesh = soup.build();
    Buffer buffer;
    measure(*mesh, buffer, 0.0f, 10.0f, 31);
    EXPECT_EQ(thicknessOf(buffer, 12), 10.0f);
    EXPECT_LT(thicknessOf(buffer, 0), 1.0f);
}

TEST(Thickness, MinAboveMaxThrowsAndTouchesNothing)
{
    auto mesh = testmesh::box(0, 0, 0, 1, 1, 1).build();
    Buffer buffer(mesh->faces.size(), {7, 7, 7, 7});
    MeshAnalyzer analyzer;
    try {
        analyzer.statvis_calc_thickness(mesh.get(), nullptr, 2.0f, 1.0f, 1, MeshAnalyzer::Color, raw(buffer), {});
        FAIL() << "no exception";
    } catch (const char* text) {
        EXPECT_STREQ(text, "min can not exceed max.");
    }
    for (const auto& entry : buffer)
        EXPECT_EQ(entry[0], 7);
}

TEST(Thickness, EmptyMeshSucceedsWithoutReports)
{
    UMesh<float> mesh;
    int calls = 0;
    MeshAnalyzer analyzer;
    const auto result = analyzer.statvis_calc_thickness(&mesh, nullptr, 0.0f, 1.0f, 8, MeshAnalyzer::Select, nullptr,
                                                        [&](int) { ++calls; });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(calls, 0);
}

// ------------------------------------------------------------------------------------------------
// Output pass. The plate's horizontal faces read 0.49998, its sides 9.99998 (max 20) or max.
// ------------------------------------------------------------------------------------------------
class ThicknessOutput : public ::testing::Test {
protected:
    void SetUp() override { mesh = testmesh::box(0, 0, 0, 10, 10, 0.5f).build(); }
    MeshAnalyzer::Result run(float min, float max, MeshAnalyzer::ShowType type, std::function<void(int)> progress = {})
    {
        buffer.assign(mesh->faces.size(), {7, 7, 7, 7});
        MeshAnalyzer analyzer;
        return analyzer.statvis_calc_thickness(mesh.get(), nullptr, min, max, 8, type, raw(buffer),
                                               std::move(progress));
    }
    std::unique_ptr<UMesh<float>> mesh;
    Buffer buffer;
};

// Selection: faces strictly inside the window are selected, faces at max (nothing nearer) cleared, and a
// face exactly at min left as it was; with min = max nothing nearer changes. Another show type leaves the
// flags alone and the floats in the buffer. Faces 0 (horizontal, 0.49998) and 1 start selected, 2 not.
TEST_F(ThicknessOutput, SelectionFlags)
{
    Buffer measured;
    measure(*mesh, measured, 0.0f, 5.0f, 8);
    const float top = thicknessOf(measured, 0);
    const int select = MeshAnalyzer::Select;
    for (const auto& [min, max, type] : {std::make_tuple(0.1f, 5.0f, select), std::make_tuple(top, 5.0f, select),
                                         std::make_tuple(5.0f, 5.0f, select), std::make_tuple(0.1f, 5.0f, 7)}) {
        for (UTriangle<float>* face : mesh->faces)
            face->index < 2 ? face->SetS() : face->ClearS();
        run(min, max, static_cast<MeshAnalyzer::ShowType>(type));
        for (const UTriangle<float>* face : mesh->faces) {
            const float t = thicknessOf(measured, static_cast<std::size_t>(face->index));
            bool expected = face->index < 2;
            if (type == select && t >= max) expected = false;
            if (type == select && t > min && t < max) expected = true;
            EXPECT_EQ(face->IsS(), expected) << "window " << min << " " << max << " face " << face->index;
            if (type != select) {
                EXPECT_EQ(thicknessOf(buffer, static_cast<std::size_t>(face->index)), t);
            }
        }
    }
}

TEST_F(ThicknessOutput, ColourBytes)
{
    // Window (0, 1): horizontal faces weigh 0.49998, hue (int)74.997 = 74, between yellow and green:
    // red (120 - 74) / 60 = 0.767 (about 195.5 of 255), green full, blue none.
    run(0.0f, 1.0f, MeshAnalyzer::Color);
    for (const UTriangle<float>* face : mesh->faces) {
        const auto& c = buffer[static_cast<std::size_t>(face->index)];
        if (isHorizontal(face)) {
            EXPECT_NEAR(c[0], 195.5, 1.0);
            EXPECT_EQ(c[1], 255);
            EXPECT_EQ(c[2], 0);
            EXPECT_EQ(c[3], 255);
        } else {
            EXPECT_EQ(c, (std::array<unsigned char, 4>{0, 255, 128, 255}));
        }
    }
    // min = max = 5: the horizontal faces weigh 0 (red), the sides reach max.
    EXPECT_EQ(run(5.0f, 5.0f, MeshAnalyzer::Color).status, 1);
    EXPECT_EQ(buffer[0], (std::array<unsigned char, 4>{255, 0, 0, 255}));
    EXPECT_EQ(buffer[4], (std::array<unsigned char, 4>{0, 255, 128, 255}));
    // A window whose upper end lies below the thickness: weight clamps at 1 (hue 150).
    run(0.0f, 0.25f, MeshAnalyzer::Color);
    EXPECT_EQ(buffer[0], (std::array<unsigned char, 4>{0, 255, 128, 255})) << "0.49998 reached max 0.25";
    run(0.4f, 0.6f, MeshAnalyzer::Color);
    // Weight (0.49998 - 0.4) / 0.2 = 0.4999, hue 74 again.
    EXPECT_NEAR(buffer[0][0], 195.5, 1.0);
}

// Progress: whole percentages, rising, never 0 or 100; ray pass below 95, output pass from 95.
TEST_F(ThicknessOutput, ProgressRisesWithinOneToNinetyNine)
{
    auto big = testmesh::gridBox(0, 0, 0, 1, 1, 1, 10).build(); // 1200 faces
    std::vector<int> reports;
    Buffer b;
    measure(*big, b, 0.0f, 2.0f, 1, nullptr, [&](int p) { reports.push_back(p); });
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), 1);
    EXPECT_EQ(reports.back(), 99);
    for (std::size_t i = 1; i < reports.size(); ++i)
        EXPECT_GT(reports[i], reports[i - 1]);
    EXPECT_EQ(reports.size(), 99u);

    testmesh::Soup one;
    one.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
    one.indices = {0, 1, 2};
    auto single = one.build();
    reports.clear();
    measure(*single, b, 0.0f, 2.0f, 1, nullptr, [&](int p) { reports.push_back(p); });
    EXPECT_EQ(reports, std::vector<int>{95});
}

// ------------------------------------------------------------------------------------------------
// Failures: which pass the callback stops, and what the buffer holds afterwards.
// ------------------------------------------------------------------------------------------------
// A callback's exception in the ray pass (below 95) or the output pass (from 95): Kel::AbortException gives
// status 2, a char* its own text, any other a fixed text per pass (status 0). After a ray-pass abort the faces
// measured so far hold their thickness and the rest max; after an output-pass abort every face does.
TEST_F(ThicknessOutput, ExceptionsFromTheCallback)
{
    static char text[] = "disk on fire";
    const struct {
        int from; ///< the callback throws for reports >= from
        std::function<void()> fail;
        int status;
        const char* message;
    } cases[] = {{50, [] { throw Kel::AbortException(); }, 2, "Abort thickness analyze operation"},
                 {95, [] { throw Kel::AbortException(); }, 2, "Abort operation"},
                 {0, [] { throw static_cast<char*>(text); }, 0, "disk on fire"},
                 {0, [] { throw "constant text"; }, 0, "Failed(Face ray cast error)"},
                 {95, [] { throw static_cast<char*>(text); }, 0, "Failed(Convert color error)"}};
    mesh = testmesh::gridBox(0, 0, 0, 10, 10, 0.5f, 10).build();
    for (const auto& c : cases) {
        const auto result = run(0.1f, 5.0f, MeshAnalyzer::Color, [&c](int p) {
            if (p >= c.from) c.fail();
        });
        EXPECT_EQ(result.status, c.status) << c.message;
        EXPECT_EQ(result.message, c.message);
        if (c.status != 2) continue;
        int measuredFaces = 0;
        for (std::size_t f = 0; f < mesh->faces.size(); ++f) {
            const float t = thicknessOf(buffer, f);
            EXPECT_LE(t, 5.0f);
            measuredFaces += t < 5.0f ? 1 : 0;
            if (isHorizontal(mesh->faces[f]) && c.from == 95) {
                EXPECT_NEAR(t, 0.5f - originOffset, 10 * tolerance);
            }
        }
        EXPECT_GT(measuredFaces, 0);
        if (c.from == 50) {
            EXPECT_EQ(thicknessOf(buffer, mesh->faces.size() - 1), 5.0f);
        }
    }
}
