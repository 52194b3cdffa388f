// SPDX-License-Identifier: MIT
// Binary STL is read here rather than through Assimp: a fixed 50-byte record per triangle needs no parser,
// and skipping Assimp's scene (a vertex per corner, normals, a copy into it and out of it) cuts the time
// and the peak memory of large parts by more than half.
#include "toolkit/src/io/BinaryStlReader.h"

#include <cstring>
#include <fstream>
#include <vector>

#include "meshprobe/Error.h"
#include "toolkit/src/runtime/ReportOrCancel.h"
#include "toolkit/src/io/VertexWelder.h"

namespace meshprobe::detail {

namespace {

std::uint32_t announcedCount(const unsigned char* header)
{
    return header[80] | (header[81] << 8) | (header[82] << 16) | (std::uint32_t(header[83]) << 24);
}

float littleEndianFloat(const unsigned char* bytes)
{
    const std::uint32_t bits = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (std::uint32_t(bytes[3]) << 24);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

bool isBinaryStl(const std::string& path, std::uint64_t fileSize)
{
    unsigned char header[84];
    std::ifstream in(path, std::ios::binary);
    if (!in.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    return fileSize == 84 + 50ull * announcedCount(header);
}

Mesh readBinaryStl(const std::string& path, const ProgressCallback& progress)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char header[84];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header))
        throw InputError(path + ": cannot read the STL header");
    const std::uint32_t count = announcedCount(header);
    if (count == 0) throw InputError(path + ": the file contains no triangles");

    // A part shares each vertex among about six triangles: half as many vertices as triangles.
    VertexWelder welder(path, count / 2 + 3);
    Mesh mesh;
    mesh.triangles.reserve(3ull * count);
    constexpr std::uint32_t chunk = 1u << 15;
    std::vector<unsigned char> records(50ull * chunk);
    for (std::uint32_t first = 0; first < count; first += chunk) {
        const std::uint32_t n = std::min(chunk, count - first);
        if (!in.read(reinterpret_cast<char*>(records.data()), 50ll * n))
            throw InputError(path + ": cannot read triangle " + std::to_string(first));
        for (std::uint32_t t = 0; t < n; ++t) {
            const unsigned char* corner = records.data() + 50ull * t + 12; // after the facet normal
            for (int k = 0; k < 3; ++k, corner += 12) {
                const float x = littleEndianFloat(corner), y = littleEndianFloat(corner + 4),
                            z = littleEndianFloat(corner + 8);
                if (!VertexWelder::isFinite(x, y, z))
                    welder.rejectCoordinate(x, y, z, "vertex " + std::to_string(3ull * (first + t) + k));
                mesh.triangles.push_back(welder.weld(x, y, z));
            }
        }
        if (progress) reportOrCancel(progress, 100.0f * (first + n) / count);
    }
    mesh.vertices = welder.takePositions();
    return mesh;
}

} // namespace meshprobe::detail
