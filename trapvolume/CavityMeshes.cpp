// SPDX-License-Identifier: MIT
// Trapped cavities as meshes: one upright triangle per vertical run of cavity voxels, one mesh per cavity.
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

#include <algorithm>
#include <deque>

using namespace meshprobe::trap;

namespace {

// Room for `extra` more entries with geometric growth, so that the push_backs after it cannot throw and
// nothing made for them can leak.
template <typename T> void makeRoom(std::vector<T*>& list, std::size_t extra)
{
    if (list.capacity() - list.size() < extra) list.reserve(std::max(2 * list.capacity(), list.size() + extra));
}

} // namespace

void VoxelizerTrapVolumePrivate::trappedVolume2Mesh(std::vector<UMesh<float>*>& meshes, std::vector<float>& volumes,
                                                    ProgressCallback progress)
{
    // Before a completed voxelize (or after a failed set-up) there is nothing to mesh.
    if (!classified) return;
    labelBits = makeVoxelBitSet(wordCount);
    const MeshBox b = meshBox();
    activeBox = b;

    const TrappedScan scan = scanTrappedVoxels(b);
    const std::uint32_t total = scan.total;
    const int voxelsPerReport = static_cast<int>(static_cast<double>(static_cast<float>(total)) / 10.0);
    int reportsMade = 0;
    int voxelsBefore = 0; // voxels of the cavities meshed so far
    bool ok = true;
    bool aborted = false;
    std::vector<UMesh<float>*> made;
    forEachTrappedSeed(b, scan, [&](std::uint32_t seed) {
        UMesh<float>* mesh = nullptr;
        try {
            mesh = new UMesh<float>();
            float volume = 0.0f;
            meshCavity(seed, b.hi[2], mesh, volume, voxelsPerReport, voxelsBefore, reportsMade, progress);
            made.push_back(mesh);
            mesh = nullptr; // owned by the list from here
            volumes.push_back(volume);
        } catch (const Kel::AbortException&) {
            delete mesh;
            ok = false;
            aborted = true;
        } catch (...) {
            delete mesh;
            ok = false;
        }
        // Once every clear voxel of the first pass is meshed, the rest of the scan can find no seed.
        return ok && static_cast<std::uint32_t>(voxelsBefore) < total;
    });
    if (!ok) {
        for (UMesh<float>* mesh : made)
            delete mesh;
        made.clear();
        if (aborted) throw Kel::AbortException();
        throw "Terminate";
    }
    meshes = std::move(made);
}

// Floods the seed's cavity breadth first in faceDirections order, sets the occupiedBits bit of each voxel it
// visits, and emits a column triangle at every visited voxel that no earlier column covers. The cavity is
// "Open" when it reaches the edge of the mesh box or touches a voxel that phase 3 reached.
void VoxelizerTrapVolumePrivate::meshCavity(std::uint32_t seed, int zMax, UMesh<float>* mesh, float& volume,
                                            int voxelsPerReport, int& voxelsBefore, int& reportsMade,
                                            ProgressCallback progress)
{
    VoxelWord* occupied = occupiedBits.get();
    VoxelWord* label = labelBits.get();
    const VoxelWord* reached = reachedBits.get();
    if (testBit(occupied, seed)) return;
    const UVector3<double>& boxLow = *meshVoxelMin;
    const UVector3<double>& boxHigh = *meshVoxelMax;
    const UVector3<double>& half = *halfVoxel;
    const double n = static_cast<double>(resolution);
    const double slice = static_cast<double>(sliceSize);

    std::deque<std::uint32_t> queue{seed};
    bool closed = true;
    bool ok = true;
    bool aborted = false;
    int count = 0;
    while (!queue.empty()) {
        const std::uint32_t i = queue.front();
        queue.pop_front();
        const std::uint32_t x = i / sliceSize;
        const std::uint32_t y = (i / resolution) % resolution;
        const std::uint32_t z = i % resolution;
        if (testBit(occupied, i)) continue; // queued twice
        ++count;
        if (progress && voxelsBefore + count > reportsMade * voxelsPerReport) {
            try {
                progress(10 * reportsMade);
                ++reportsMade;
            } catch (const Kel::AbortException&) {
                ok = false;
                aborted = true;
                break;
            } catch (...) {
                ok = false;
                break;
            }
        }
        setBit(occupied, i);

        if (!testBit(label, i)) {
            // Column from this voxel's bottom up to below the next visited voxel, or to the top of the box.
            const double wx = voxelCornerOnAxis(0, x);
            const double wy = voxelCornerOnAxis(1, y);
            const double wz = voxelCornerOnAxis(2, z);
            double top = wz + 2 * half[2];
            for (int zUp = static_cast<int>(z) + 1; zUp <= zMax; ++zUp) {
                const std::uint32_t above = voxelIndex(x, y, static_cast<std::uint32_t>(zUp));
                if (testBit(occupied, above)) {
                    top = voxelCornerOnAxis(2, zUp);
                    break;
                }
                setBit(label, above);
                if (zUp == zMax) {
                    top = voxelCornerOnAxis(2, zMax) + 2 * half[2];
                    break;
                }
            }
            // In the plane of the voxel's lower y face, spanning one voxel edge in x.
            const UPoint3<float> corners[3] = {
                {static_cast<float>(wx), static_cast<float>(wy), static_cast<float>(wz)},
                {static_cast<float>(wx + 2 * half[0]), static_cast<float>(wy), static_cast<float>(top)},
                {static_cast<float>(wx), static_cast<float>(wy), static_cast<float>(top)}};
            makeRoom(mesh->vertices, 3);
            makeRoom(mesh->faces, 1);
            auto triangle = std::make_unique<UTriangle<float>>();
            triangle->index = static_cast<int>(mesh->faces.size());
            for (int c = 0; c < 3; ++c) {
                // IDs as list positions, like every mesh the host builds.
                auto vertex =
                    std::make_unique<UVertex<float>>(corners[c], static_cast<unsigned>(mesh->vertices.size()));
                triangle->V(c) = vertex.get();
                mesh->vertices.push_back(vertex.release());
            }
            mesh->faces.push_back(triangle.release());
        }

        const double p[3] = {static_cast<double>(x), static_cast<double>(y), static_cast<double>(z)};
        for (const UVector3<double>& d : faceDirections) {
            const double q[3] = {p[0] + d[0], p[1] + d[1], p[2] + d[2]};
            if (q[0] < boxLow[0] || q[0] > boxHigh[0] || q[1] < boxLow[1] || q[1] > boxHigh[1] || q[2] < boxLow[2] ||
                q[2] > boxHigh[2]) {
                closed = false;
                continue;
            }
            const auto j = static_cast<std::uint32_t>(static_cast<std::int64_t>(slice * q[0] + n * q[1] + q[2]));
            if (closed && testBit(reached, j)) closed = false;
            if (!testBit(occupied, j)) queue.push_back(j);
        }
    }
    if (aborted) throw Kel::AbortException();
    if (!ok) throw "Terminate";
    mesh->SetName(closed ? "Closed" : "Open");
    volume = static_cast<float>(count * half[0] * half[1] * half[2] * 8.0);
    voxelsBefore += count;
}
