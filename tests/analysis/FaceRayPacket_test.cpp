// SPDX-License-Identifier: MIT
// The packet walk against the single-ray cast: every ray's face and distance, the answers it gives for
// smaller limits, and every face's thickness, colour and selection flag, bit for bit, on generated
// meshes built to provoke near-ties and on the example parts.
#include "analysis/FaceRayPacket.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/MeshAnalyzer.h"
#include "analysis/ThicknessOutput.h"
#include "analysis/ThicknessRays.h"
#include "tests/support/TestMeshes.h"

using namespace Analysis;

namespace {

bool sameBits(float a, float b)
{
    return std::memcmp(&a, &b, sizeof(float)) == 0;
}

/// Triangles of a binary STL, unwelded (the thickness rays need only corners and normals).
testmesh::Soup readBinaryStl(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char header[80];
    std::uint32_t count = 0;
    in.read(header, 80);
    in.read(reinterpret_cast<char*>(&count), 4);
    testmesh::Soup soup;
    for (std::uint32_t t = 0; t < count && in; ++t) {
        float record[12];
        char attribute[2];
        in.read(reinterpret_cast<char*>(record), sizeof(record));
        in.read(attribute, 2);
        for (int k = 0; k < 3; ++k) {
            for (int a = 0; a < 3; ++a)
                soup.positions.push_back(record[3 + 3 * k + a]);
            soup.indices.push_back(3 * t + static_cast<std::uint32_t>(k));
        }
    }
    EXPECT_GT(soup.indices.size(), 0u) << path;
    return soup;
}

testmesh::Soup randomTriangles(std::uint32_t seed, int count, float spread, float size)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> centre(-spread, spread);
    std::uniform_real_distribution<float> offset(-size, size);
    testmesh::Soup soup;
    for (std::uint32_t t = 0; t < static_cast<std::uint32_t>(count); ++t) {
        const float c[3] = {centre(random), centre(random), centre(random)};
        for (std::uint32_t k = 0; k < 3; ++k) {
            for (int a = 0; a < 3; ++a)
                soup.positions.push_back(c[a] + offset(random));
            soup.indices.push_back(3 * t + k);
        }
    }
    return soup;
}

/// Walls of a grid box and the same walls flipped: every hit is an exact tie between two faces, and
/// origins clamped onto face edges send rays through the opposite wall's shared edges and vertices.
testmesh::Soup doubledGridBox(float offset)
{
    testmesh::Soup soup = testmesh::gridBox(offset - 2.0f, -1.0f, -1.5f, offset + 2.0f, 1.0f, 1.5f, 6);
    soup.appendFlipped(testmesh::gridBox(offset - 2.0f, -1.0f, -1.5f, offset + 2.0f, 1.0f, 1.5f, 6));
    return soup;
}

/// Stacked axis-aligned plates far from the origin, where a leaf's padding is lost to rounding and a
/// slab entry equals the hit distance up to the last bit; coplanar duplicates at every level.
testmesh::Soup platesFarOut()
{
    testmesh::Soup soup;
    for (int level = 0; level < 4; ++level) {
        const float z = 300.0f + 0.25f * static_cast<float>(level);
        soup.append(testmesh::gridBox(300.0f, 200.0f, z, 303.0f, 202.0f, z + 0.125f, 4));
        soup.append(testmesh::box(300.5f, 200.5f, z, 302.5f, 201.5f, z + 0.125f));
    }
    return soup;
}

/// Random triangles with a few corners at infinity or NaN: leaf bounds that are not ordinary, and rays
/// whose directions or origins are not finite.
testmesh::Soup nonFiniteCorners()
{
    testmesh::Soup soup = randomTriangles(77u, 600, 3.0f, 0.8f);
    const float odd[] = {INFINITY, -INFINITY, NAN, INFINITY, NAN, -INFINITY};
    for (std::size_t k = 0; k < 6; ++k)
        soup.positions[9 * (40 * k + 3) + 4 * (k % 3)] = odd[k];
    return soup;
}

struct Case {
    std::string name;
    std::function<testmesh::Soup()> make;
    float max;
};

std::vector<Case> cases()
{
    const std::string examples = MESHPROBE_EXAMPLES_DIR;
    return {
        {"random", [] { return randomTriangles(4242u, 3000, 4.0f, 0.6f); }, 20.0f},
        {"doubled grid box", [] { return doubledGridBox(0.0f); }, 10.0f},
        {"doubled grid box far out", [] { return doubledGridBox(4096.0f); }, 10.0f},
        {"plates far out", platesFarOut, 5.0f},
        {"non-finite corners", nonFiniteCorners, 20.0f},
        {"random, no limit", [] { return randomTriangles(4243u, 400, 2.0f, 0.6f); }, INFINITY},
        {"random, NaN limit", [] { return randomTriangles(4244u, 200, 2.0f, 0.6f); }, NAN},
        {"bracket", [examples] { return readBinaryStl(examples + "/bracket.stl"); }, 30.0f},
        {"cup", [examples] { return readBinaryStl(examples + "/cup.stl"); }, 30.0f},
        {"thin walls", [examples] { return readBinaryStl(examples + "/thin-walls.stl"); }, 30.0f},
    };
}

/// The face's rays as ThicknessRays casts them.
void faceRays(const UTriangle<float>& face, const std::vector<SamplePoint>& samples, float* origins, float* d)
{
    const float* p[3] = {&face.P(0)[0], &face.P(1)[0], &face.P(2)[0]};
    const float a[3] = {p[2][0] - p[1][0], p[2][1] - p[1][1], p[2][2] - p[1][2]};
    const float b[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
    const float c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    const float squared = c[0] * c[0] + c[1] * c[1] + c[2] * c[2];
    const float length = std::sqrt(squared);
    for (int k = 0; k < 3; ++k)
        d[k] = squared > 1e-35f ? c[k] / length : 0.0f;
    for (std::size_t s = 0; s < samples.size(); ++s)
        for (int k = 0; k < 3; ++k)
            origins[3 * s + k] =
                ((p[1][k] - p[0][k]) * samples[s].x + p[0][k]) + (p[2][k] - p[0][k]) * samples[s].y + d[k] * 2e-5f;
}

std::vector<SamplePoint> folded(int count)
{
    std::vector<SamplePoint> samples(static_cast<std::size_t>(count));
    jitterSamples(samples.data(), count);
    for (SamplePoint& s : samples) {
        float u = s.x + 0.5f, v = s.y + 0.5f;
        if (u + v > 1.0f) {
            u = 1.0f - u;
            v = 1.0f - v;
        }
        s.x = std::fmin(std::fmax(u, 0.0f), 1.0f);
        s.y = std::fmin(std::fmax(v, 0.0f), 1.0f);
    }
    return samples;
}

/// A face's thickness with the rays cast one after another, each looking as far as the value so far.
float singleRayThickness(const FaceTree& tree, const UTriangle<float>& face, const std::vector<SamplePoint>& samples,
                         float max)
{
    std::vector<float> origins(3 * samples.size());
    float d[3];
    faceRays(face, samples, origins.data(), d);
    float thickness = max;
    for (std::size_t s = 0; s < samples.size(); ++s) {
        float t = thickness;
        const UTriangle<float>* hit = castFaceRay(tree, &origins[3 * s], d, 0.0f, &t, nullptr, nullptr);
        if (!hit || !(thickness > t)) continue;
        const float q = std::fabs(hit->N()[0] * face.N()[0] + hit->N()[1] * face.N()[1] + hit->N()[2] * face.N()[2]);
        const float open = 1.0f - q;
        const float corrected = t / (1.0f - open * open * open);
        if (thickness > corrected) thickness = corrected;
    }
    return thickness;
}

/// Exposes the colour ramp of the output pass.
struct Ramp : MeshAnalyzer {
    void operator()(float* rgb, float weight) { weight_to_gradientRgb(rgb, weight); }
};

} // namespace

// Each ray of a packet ends with castFaceRay's face and distance; for smaller limits (the earlier rays'
// distances, and just below and above its own) the packet's answer, where it gives one, is
// castFaceRay's. With the widest vectors the processor has, and with SSE2.
TEST(FaceRayPacket, EveryRayEqualsItsSingleCastAtItsLimitAndAtSmallerOnes)
{
    for (const Case& c : cases())
        for (PacketLanes lanes : {PacketLanes::widest, PacketLanes::sse})
            for (int samples : {3, 8, 31}) {
                const auto mesh = c.make().build();
                const OwnedFaceTree tree = makeFaceTree(mesh.get(), 0, nullptr, false);
                const std::vector<SamplePoint> pattern = folded(samples);
                std::vector<float> origins(3 * pattern.size());
                long mismatches = 0;
                for (const UTriangle<float>* face : mesh->faces) {
                    float d[3];
                    faceRays(*face, pattern, origins.data(), d);
                    FacePacketHits hits;
                    if (!castFacePacket(*tree, origins.data(), samples, d, c.max, hits, lanes)) {
                        // Only a face without area, whose rays have no direction, is left to single rays.
                        EXPECT_TRUE(d[0] == 0.0f && d[1] == 0.0f && d[2] == 0.0f) << c.name;
                        continue;
                    }
                    for (int s = 0; s < samples; ++s) {
                        float t = c.max;
                        const UTriangle<float>* single =
                            castFaceRay(*tree, &origins[3 * s], d, 0.0f, &t, nullptr, nullptr);
                        const int singleFace = single ? single->index : -1;
                        if (hits.face[s] != singleFace || (single && !sameBits(hits.distance[s], t))) ++mismatches;
                        std::vector<float> limits = {std::nextafter(t, 0.0f), std::nextafter(t, INFINITY)};
                        for (int earlier = 0; earlier < s; ++earlier)
                            if (hits.face[earlier] >= 0) limits.push_back(hits.distance[earlier]);
                        for (float limit : limits) {
                            if (!(limit < c.max)) continue;
                            int packetFace;
                            float packetDistance;
                            if (!rayHitAt(hits, s, limit, packetFace, packetDistance)) continue;
                            float u = limit;
                            const UTriangle<float>* at =
                                castFaceRay(*tree, &origins[3 * s], d, 0.0f, &u, nullptr, nullptr);
                            if (packetFace != (at ? at->index : -1) || (at && !sameBits(packetDistance, u)))
                                ++mismatches;
                        }
                    }
                }
                EXPECT_EQ(mismatches, 0) << c.name << ", " << samples << " samples"
                                         << (lanes == PacketLanes::sse ? ", SSE2" : "");
            }
}

// Every face's thickness through the packets (ThicknessRays, faces shared among 1 and 2 threads) equals
// the one-ray-after-another value; the library call's colours and selection flags follow those values.
TEST(FaceRayPacket, FaceThicknessColourAndSelectionEqualTheSingleRayWalk)
{
    for (const Case& c : cases())
        for (int samples : {8, 31}) {
            const auto mesh = c.make().build();
            const std::size_t n = mesh->faces.size();
            const OwnedFaceTree tree = makeFaceTree(mesh.get(), 0, nullptr, false);
            const std::vector<SamplePoint> pattern = folded(samples);
            std::vector<float> expected(n);
            for (std::size_t f = 0; f < n; ++f)
                expected[f] = singleRayThickness(*tree, *mesh->faces[f], pattern, c.max);

            const ThicknessRays rays(samples);
            for (int threads : {1, 2}) {
                std::vector<float> values(n, c.max);
                auto work = [&](int part) {
                    std::vector<float> origins(3 * rays.perFace());
                    for (std::size_t f = static_cast<std::size_t>(part); f < n; f += static_cast<std::size_t>(threads))
                        rays.lowerFaceThickness(*tree, *mesh->faces[f], nullptr, values[f], origins.data());
                };
                std::vector<std::thread> helpers;
                for (int part = 1; part < threads; ++part)
                    helpers.emplace_back(work, part);
                work(0);
                for (std::thread& helper : helpers)
                    helper.join();
                std::size_t differing = 0;
                for (std::size_t f = 0; f < n; ++f)
                    differing += sameBits(values[f], expected[f]) ? 0 : 1;
                EXPECT_EQ(differing, 0u) << c.name << ", " << samples << " samples, " << threads << " threads";
            }

            // The library call in colour and in selection mode.
            const float min = 0.05f;
            std::vector<unsigned char[4]> colours(n);
            MeshAnalyzer().statvis_calc_thickness(mesh.get(), nullptr, min, c.max, samples, MeshAnalyzer::Color,
                                                  colours.data(), {});
            for (UTriangle<float>* face : mesh->faces)
                face->ClearS();
            std::vector<unsigned char[4]> scratch(n);
            MeshAnalyzer().statvis_calc_thickness(mesh.get(), nullptr, min, c.max, samples, MeshAnalyzer::Select,
                                                  scratch.data(), {});
            Ramp ramp;
            std::size_t wrongColour = 0, wrongFlag = 0, selected = 0;
            for (std::size_t f = 0; f < n; ++f) {
                unsigned char colour[4];
                thicknessColour(expected[f], min, c.max, 1.0f / (c.max - min), ramp, colour);
                wrongColour += std::memcmp(colour, colours[f], 4) == 0 ? 0 : 1;
                const bool flag = thicknessSelection(expected[f], min, c.max) > 0;
                wrongFlag += mesh->faces[f]->IsS() == flag ? 0 : 1;
                selected += flag ? 1 : 0;
            }
            EXPECT_EQ(wrongColour, 0u) << c.name << ", " << samples << " samples";
            EXPECT_EQ(wrongFlag, 0u) << c.name << ", " << samples << " samples";
            EXPECT_TRUE(selected > 0 || !std::isfinite(c.max)) << c.name; // no limit selects nothing
        }
}

// Where the packet walk does not apply it says so and casts nothing; the caller then casts ray by ray.
TEST(FaceRayPacket, DeclinesWhatItCannotWalk)
{
    const auto mesh = testmesh::box(0, 0, 0, 1, 1, 1).build();
    const OwnedFaceTree tree = makeFaceTree(mesh.get(), 0, nullptr, false);
    std::vector<float> origins(3 * (maxPacketRays + 1), 0.5f);
    const float up[3] = {0.0f, 0.0f, 1.0f};
    const float none[3] = {0.0f, 0.0f, 0.0f};
    FacePacketHits hits;
    EXPECT_FALSE(castFacePacket(*tree, origins.data(), maxPacketRays + 1, up, 10.0f, hits));
    EXPECT_FALSE(castFacePacket(*tree, origins.data(), 0, up, 10.0f, hits));
    EXPECT_FALSE(castFacePacket(*tree, origins.data(), 4, none, 10.0f, hits));
    ASSERT_TRUE(castFacePacket(*tree, origins.data(), maxPacketRays, up, 10.0f, hits));
    for (int s = 0; s < maxPacketRays; ++s) {
        EXPECT_GE(hits.face[s], 0);
        EXPECT_FLOAT_EQ(hits.distance[s], 0.5f);
    }
}
