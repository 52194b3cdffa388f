// SPDX-License-Identifier: MIT
// libFuzzer target: a mesh file of any readable format through import and every analysis, at sizes small
// enough for thousands of runs a minute. The first byte picks the format; the rest is the file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "meshprobe/Error.h"
#include "meshprobe/Import.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/TrappedVolumes.h"

namespace {

constexpr const char* extensions[] = {".stl", ".obj", ".ply", ".off", ".3mf", ".gltf", ".glb"};
constexpr std::size_t formatCount = sizeof extensions / sizeof extensions[0];
constexpr std::size_t largestAnalysedMesh = 4000; // triangles; larger meshes are only imported

std::string writeInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = "/tmp/meshprobe-fuzz-" + std::to_string(getpid()) + extensions[data[0] % formatCount];
    if (FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data + 1, 1, size - 1, file);
        std::fclose(file);
    }
    return path;
}

void analyse(const meshprobe::Mesh& mesh)
{
    const meshprobe::MeshInfo info = meshprobe::inspect(mesh);
    float extent = 0.0f;
    for (int a = 0; a < 3; ++a)
        extent = std::max(extent, info.boundsMax[a] - info.boundsMin[a]);

    meshprobe::ThicknessOptions walls;
    walls.max = std::isfinite(extent) && extent > 0.0f ? extent / 4 : 1.0f;
    walls.samples = 1;
    const meshprobe::ThicknessResult thin = meshprobe::thickness(mesh, walls);
    meshprobe::thicknessHistogram(thin.perFace, walls.min, walls.max);

    meshprobe::TrappedOptions air;
    air.resolution = 16;
    air.threads = 1;
    meshprobe::trappedVolumes(mesh, air);

    std::vector<std::uint32_t> selected;
    for (std::uint32_t f = 0; f < mesh.triangleCount(); f += 2)
        selected.push_back(f);
    meshprobe::markingAreas(mesh, selected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const std::string path = writeInput(data, size);
    try {
        const meshprobe::Mesh mesh = meshprobe::loadMesh(path);
        if (mesh.triangleCount() <= largestAnalysedMesh) analyse(mesh);
    } catch (const meshprobe::Error&) {
        // Rejected input and failed analyses are expected outcomes; crashes, hangs and leaks are not.
    }
    std::remove(path.c_str());
    return 0;
}
