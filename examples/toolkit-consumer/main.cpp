// SPDX-License-Identifier: MIT
// The meshprobe toolkit from C++: load a part, check it, measure its walls and find its trapped air.
// Usage: consumer MESH
#include <cstdio>

#include <meshprobe/meshprobe.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s MESH\n", argv[0]);
        return 2;
    }
    try {
        const meshprobe::Mesh mesh = meshprobe::loadMesh(argv[1]);
        const meshprobe::MeshInfo info = meshprobe::inspect(mesh);
        std::printf("%zu triangles, %s, volume %.1f mm3\n", info.triangleCount, info.watertight ? "watertight" : "open",
                    info.volume);

        meshprobe::ThicknessOptions walls;
        walls.min = 0.0f;
        walls.max = 1.5f;
        const meshprobe::ThicknessResult thin = meshprobe::thickness(mesh, walls);
        const meshprobe::MarkingAreasResult areas = meshprobe::markingAreas(mesh, thin.selectedFaces, "thin");
        std::printf("%zu faces thinner than 1.5 mm in %zu areas\n", thin.selectedFaces.size(), areas.areas.size());

        meshprobe::TrappedOptions air;
        air.resolution = 64;
        air.threads = 1;
        const meshprobe::TrappedResult trapped = meshprobe::trappedVolumes(mesh, air);
        std::printf("%zu cavities, %.1f mm3 trapped\n", trapped.cavities.size(), double(trapped.trappedVolume));
        return trapped.cavities.empty() ? 1 : 0;
    } catch (const meshprobe::Error& e) {
        std::fprintf(stderr, "consumer: %s\n", e.what());
        return 1;
    }
}
