// SPDX-License-Identifier: MIT
// A host program against the installed package, headers under the project prefix: both exported classes
// on a box with a sealed void.
#include <cstdio>
#include <memory>
#include <vector>

#include <meshprobe/analysis/MeshAnalyzer.h>
#include <meshprobe/common/HostMesh.h>
#include <meshprobe/host/mesh/MeshFactory.h>
#include <meshprobe/trapvolume/VoxelizerTrapVolume.h>

namespace {

/// Box [lo, hi]^3 as 12 triangles, outward (or inward when flipped), appended to the arrays.
void addBox(std::vector<float>& positions, std::vector<std::uint32_t>& indices, float lo, float hi, bool flipped)
{
    const auto base = static_cast<std::uint32_t>(positions.size() / 3);
    for (int v = 0; v < 8; ++v)
        positions.insert(positions.end(), {v & 1 ? hi : lo, v & 2 ? hi : lo, v & 4 ? hi : lo});
    const std::uint32_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                       {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        const std::uint32_t tri[6] = {q[0], q[1], q[2], q[0], q[2], q[3]};
        for (int k = 0; k < 6; ++k)
            indices.push_back(base + tri[flipped ? 5 - k : k]);
    }
}

} // namespace

int main()
{
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
    addBox(positions, indices, 0.0f, 15.998f, false);
    addBox(positions, indices, 4.499f, 10.499f, true);
    std::shared_ptr<UMesh<float>> mesh = makeMesh(positions, indices);

    // Voxels of 1 over the 16-voxel grid: the void holds voxels 5..9 on every axis.
    MeshKernel kernel(mesh);
    VoxelizerTrapVolume voxelizer(16, &kernel);
    voxelizer.voxelize(1, {});
    float volume = 0.0f;
    const int trapped = voxelizer.getTrappedVolumeCount(volume, {});

    // All twelve outer faces selected: one closed area.
    for (int f = 0; f < 12; ++f)
        mesh->faces[static_cast<size_t>(f)]->SetS();
    Analysis::MarkingArea areas;
    Analysis::MeshAnalyzer().getMarkingAreas(mesh.get(), "outer", areas);

    std::printf("trapped voxels %d, areas %zu\n", trapped, areas.regions.size());
    return trapped == 125 && areas.regions.size() == 1 ? 0 : 1;
}
