// SPDX-License-Identifier: MIT
// Trapped cavities as meshes: one upright triangle per vertical run of cavity voxels, one mesh per cavity.
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

#include <algorithm>
#include <memory>

#include "trapvolume/VoxelQueue.h"

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
    // Before any voxelize (or after a failed set-up) there is nothing to mesh. After a stopped voxelize the
    // clear voxels are meshed as the stopped phase left them.
    if (!gridWritten) return;
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
            if (cavityRuns) cavityRuns->emplace_back();
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
//
// The walk runs on whole numbers: a visited voxel lies in the mesh box, whose bounds are whole numbers, so a
// step leaves the box only along its own axis, and the index that the grid forms in doubles (exact below
// 2^53) is the integer x * N * N + y * N + z. Entries, visits, columns and reports come in the same order.
void VoxelizerTrapVolumePrivate::meshCavity(std::uint32_t seed, int zMax, UMesh<float>* mesh, float& volume,
                                            int voxelsPerReport, int& voxelsBefore, int& reportsMade,
                                            ProgressCallback progress)
{
    VoxelWord* occupied = occupiedBits.get();
    const VoxelWord* label = labelBits.get();
    const VoxelWord* reached = reachedBits.get();
    if (testBit(occupied, seed)) return;
    const MeshBox& b = activeBox;
    const UVector3<double>& half = *halfVoxel;
    struct Step {
        int axis;
        int delta;
        std::int64_t offset;
    };
    Step steps[6];
    for (int s = 0; s < 6; ++s) {
        const UVector3<double>& d = faceDirections[s];
        const int axis = d[0] != 0.0 ? 0 : d[1] != 0.0 ? 1 : 2;
        const int delta = static_cast<int>(d[axis]);
        const std::int64_t stride = axis == 0 ? sliceSize : axis == 1 ? resolution : 1;
        steps[s] = Step{axis, delta, delta * stride};
    }

    VoxelQueue queue(VoxelQueue::pack(seed / sliceSize, (seed / resolution) % resolution, seed % resolution));
    bool closed = true;
    bool ok = true;
    bool aborted = false;
    int count = 0;
    while (!queue.empty()) {
        const VoxelQueue::Entry entry = queue.pop();
        const int p[3] = {static_cast<int>(VoxelQueue::coordinate(entry, 0)),
                          static_cast<int>(VoxelQueue::coordinate(entry, 1)),
                          static_cast<int>(VoxelQueue::coordinate(entry, 2))};
        const std::uint32_t i = voxelIndex(static_cast<std::uint32_t>(p[0]), static_cast<std::uint32_t>(p[1]),
                                           static_cast<std::uint32_t>(p[2]));
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

        if (!testBit(label, i)) emitColumn(i, p, zMax, mesh);

        for (const Step& step : steps) {
            const int q = p[step.axis] + step.delta;
            if (q < b.lo[step.axis] || q > b.hi[step.axis]) {
                closed = false;
                continue;
            }
            const auto j = static_cast<std::uint32_t>(static_cast<std::int64_t>(i) + step.offset);
            if (closed && testBit(reached, j)) closed = false;
            if (!testBit(occupied, j)) {
                int n[3] = {p[0], p[1], p[2]};
                n[step.axis] = q;
                queue.push(VoxelQueue::pack(static_cast<std::uint32_t>(n[0]), static_cast<std::uint32_t>(n[1]),
                                            static_cast<std::uint32_t>(n[2])));
            }
        }
    }
    if (aborted) throw Kel::AbortException();
    if (!ok) throw "Terminate";
    mesh->SetName(closed ? "Closed" : "Open");
    volume = static_cast<float>(count * half[0] * half[1] * half[2] * 8.0);
    voxelsBefore += count;
}

// The column from voxel i (at p) up to below the next visited voxel, or to the top of the box; the voxels it
// covers get their labelBits bit. One triangle in the plane of the voxel's lower y face, one voxel edge wide,
// and the run p[2]..stop in cavityRuns when that is set.
void VoxelizerTrapVolumePrivate::emitColumn(std::uint32_t i, const int p[3], int zMax, UMesh<float>* mesh)
{
    const UVector3<double>& half = *halfVoxel;
    const double wx = voxelCornerOnAxis(0, p[0]);
    const double wy = voxelCornerOnAxis(1, p[1]);
    const double wz = voxelCornerOnAxis(2, p[2]);
    // First visited (set) voxel above, read a word at a time; none up to zMax gives zMax + 1.
    int stop = zMax + 1;
    for (int z0 = p[2] + 1; z0 <= zMax; z0 += kWordBits) {
        const std::uint32_t set =
            loadBits(occupiedBits.get(), i + static_cast<std::uint32_t>(z0 - p[2]), chunkLength(z0, zMax));
        if (set) {
            stop = z0 + static_cast<int>(lowestBit(set));
            break;
        }
    }
    if (stop > p[2] + 1) orRange(labelBits.get(), i + 1, i + static_cast<std::uint32_t>(stop - 1 - p[2]));
    if (cavityRuns) cavityRuns->back().push_back({p[0], p[1], p[2], stop});
    if (!columnTriangles) return;
    const double top = stop <= zMax  ? voxelCornerOnAxis(2, stop)
                       : p[2] < zMax ? voxelCornerOnAxis(2, zMax) + 2 * half[2]
                                     : wz + 2 * half[2];
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
        auto vertex = std::make_unique<UVertex<float>>(corners[c], static_cast<unsigned>(mesh->vertices.size()));
        triangle->V(c) = vertex.get();
        mesh->vertices.push_back(vertex.release());
    }
    mesh->faces.push_back(triangle.release());
}
