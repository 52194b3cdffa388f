// SPDX-License-Identifier: MIT
// Trapped-volume count: the clear voxels of the mesh box after voxelize, measured cavity by cavity.
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "trapvolume/SpanFlood.h"

using namespace meshprobe::trap;

namespace {

// Calls visit(j) for the voxels beside voxel i across its faces, in faceDirections order, that lie inside the
// mesh box `b`.
template <typename Visit>
void forEachFaceNeighbour(const VoxelizerTrapVolumePrivate& grid, const VoxelizerTrapVolumePrivate::MeshBox& b,
                          std::uint32_t i, Visit&& visit)
{
    const int p[3] = {static_cast<int>(i / grid.sliceSize), static_cast<int>((i / grid.resolution) % grid.resolution),
                      static_cast<int>(i % grid.resolution)};
    for (const UVector3<double>& d : VoxelizerTrapVolumePrivate::faceDirections) {
        int q[3];
        bool inside = true;
        for (int a = 0; a < 3; ++a) {
            q[a] = p[a] + static_cast<int>(d[a]);
            inside = inside && q[a] >= b.lo[a] && q[a] <= b.hi[a];
        }
        if (inside)
            visit(grid.voxelIndex(static_cast<std::uint32_t>(q[0]), static_cast<std::uint32_t>(q[1]),
                                  static_cast<std::uint32_t>(q[2])));
    }
}

} // namespace

// One pass over the mesh box in memory order: the number of clear voxels, and which (z, x) columns hold one at
// all. Bits are only ever set while seeds are handled, so a column without a clear voxel now never gets one,
// and the (z, x, y) seed scan, which strides through memory, skips it.
VoxelizerTrapVolumePrivate::TrappedScan VoxelizerTrapVolumePrivate::scanTrappedVoxels(const MeshBox& b) const
{
    TrappedScan scan;
    if (b.lo[0] > b.hi[0] || b.lo[1] > b.hi[1] || b.lo[2] > b.hi[2]) return scan;
    const VoxelWord* occupied = occupiedBits.get();
    const int slabs = b.hi[0] - b.lo[0] + 1;
    const int layers = b.hi[2] - b.lo[2] + 1;
    scan.columnHasClear.assign(static_cast<std::size_t>(slabs) * static_cast<std::size_t>(layers), 0);
    std::vector<std::uint32_t> clearInSlab(static_cast<std::size_t>((layers + 31) / 32));
    for (int x = b.lo[0]; x <= b.hi[0]; ++x) {
        std::fill(clearInSlab.begin(), clearInSlab.end(), 0u);
        for (int y = b.lo[1]; y <= b.hi[1]; ++y)
            for (int c = 0; c < static_cast<int>(clearInSlab.size()); ++c) {
                const int z0 = b.lo[2] + 32 * c;
                const unsigned count = static_cast<unsigned>(std::min(32, b.hi[2] - z0 + 1));
                const std::uint32_t clear = ~loadBits(occupied, voxelIndex(x, y, z0), count) & lowMask(count);
                if (!clear) continue; // nearly every word after voxelize
                scan.total += popCount(clear);
                clearInSlab[static_cast<std::size_t>(c)] |= clear;
            }
        for (int layer = 0; layer < layers; ++layer)
            if ((clearInSlab[static_cast<std::size_t>(layer / 32)] >> (layer % 32)) & 1u)
                scan.columnHasClear[static_cast<std::size_t>(layer) * slabs + (x - b.lo[0])] = 1;
    }
    return scan;
}

void VoxelizerTrapVolumePrivate::forEachTrappedSeed(const MeshBox& b, const TrappedScan& scan,
                                                    const std::function<bool(std::uint32_t)>& seed) const
{
    if (scan.total == 0) return;
    const VoxelWord* occupied = occupiedBits.get();
    const int slabs = b.hi[0] - b.lo[0] + 1;
    for (int z = b.lo[2]; z <= b.hi[2]; ++z)
        for (int x = b.lo[0]; x <= b.hi[0]; ++x) {
            if (!scan.columnHasClear[static_cast<std::size_t>(z - b.lo[2]) * slabs + (x - b.lo[0])]) continue;
            for (int y = b.lo[1]; y <= b.hi[1]; ++y) {
                const std::uint32_t index = voxelIndex(x, y, z);
                if (!testBit(occupied, index) && !seed(index)) return;
            }
        }
}

int VoxelizerTrapVolumePrivate::getTrappedVolumeCount(float& volume, ProgressCallback progress)
{
    // Before any voxelize (or after a failed set-up) the bit sets hold no classification: nothing counts as
    // trapped. After a stopped voxelize the clear voxels are counted as the stopped phase left them.
    if (!gridWritten) {
        volume = 0.0f;
        return 0;
    }
    const MeshBox b = meshBox();
    activeBox = b;
    if (b.lo[2] > b.hi[2]) {
        volume = 0.0f;
        return 0;
    }
    const TrappedScan scan = scanTrappedVoxels(b);
    const std::uint32_t total = scan.total;
    volume = 0.0f;
    int reportsMade = 0;
    int voxelsBefore = 0;
    int result = 0;
    const int voxelsPerReport = static_cast<int>(static_cast<double>(static_cast<float>(total)) / 10.0);
    forEachTrappedSeed(b, scan, [&](std::uint32_t seed) {
        float cavityVolume = 0.0f;
        const int count =
            classified ? measureCavity(seed, cavityVolume, voxelsPerReport, voxelsBefore, reportsMade, progress)
                       : measureStoppedCavity(seed, cavityVolume, voxelsPerReport, voxelsBefore, reportsMade, progress);
        result += count;
        voxelsBefore += count;
        volume += cavityVolume;
        // Once every clear voxel of the first pass is measured, the rest of the scan can find no seed.
        return static_cast<std::uint32_t>(voxelsBefore) < total;
    });
    return result;
}

// Counts the 6-connected cavity of the seed and sets its voxels' occupiedBits bits. Progress reportsMade*10 is
// reported whenever the running number of measured voxels (voxelsBefore + count) passes
// reportsMade*voxelsPerReport, before that voxel's bit is set. The count, the reports and the volume do not
// depend on the order of the walk, so the cavity is walked as runs along z (a span flood) rather than voxel by
// voxel. Which voxels are set when the callback throws does depend on the order: a later count or meshing call
// starts from them, so on that path the runs are cleared again and the voxels that a breadth-first walk from
// the seed would have measured before the report are set instead. After voxelize every reachedBits bit is also
// set in occupiedBits, so the flood's "set in neither bit set" is "occupiedBits clear" here.
int VoxelizerTrapVolumePrivate::measureCavity(std::uint32_t seed, float& cavityVolume, int voxelsPerReport,
                                              int voxelsBefore, int& reportsMade, ProgressCallback progress)
{
    VoxelWord* occupied = occupiedBits.get();
    if (testBit(occupied, seed)) return 0;
    int count = 0;
    FloodScratch scratch;
    std::vector<std::uint32_t> setRuns; // first, last of every run set so far; kept only while someone listens
    // The breadth-first walk (faceDirections in order, inside the mesh box), stopped once `limit` voxels are set.
    auto markBreadthFirst = [&](int limit) {
        const MeshBox& b = activeBox;
        std::deque<std::uint32_t> queue{seed};
        for (int marked = 0; marked < limit && !queue.empty(); queue.pop_front()) {
            const std::uint32_t i = queue.front();
            if (testBit(occupied, i)) continue;
            setBit(occupied, i);
            ++marked;
            forEachFaceNeighbour(*this, b, i, [&](std::uint32_t j) {
                if (!testBit(occupied, j)) queue.push_back(j);
            });
        }
    };
    spanFlood(seed, FloodMoves::AllFaces, scratch, [&](std::uint32_t first, std::uint32_t last) {
        const int run = static_cast<int>(last - first + 1);
        int done = 0; // voxels of the run counted so far
        while (progress && done < run) {
            // The next report comes with the first voxel that takes voxelsBefore + count past
            // reportsMade * voxelsPerReport.
            const std::int64_t due =
                std::max<std::int64_t>(1, static_cast<std::int64_t>(reportsMade) * voxelsPerReport + 1 -
                                              (static_cast<std::int64_t>(voxelsBefore) + count));
            if (due > run - done) break;
            done += static_cast<int>(due);
            count += static_cast<int>(due);
            try {
                progress(reportsMade * 10);
            } catch (...) {
                for (std::size_t r = 0; r < setRuns.size(); r += 2)
                    for (std::uint32_t i = setRuns[r]; i <= setRuns[r + 1]; ++i)
                        occupied[i >> 5].fetch_and(~(1u << (i & 31)), std::memory_order_relaxed);
                markBreadthFirst(count - 1);
                throw;
            }
            ++reportsMade;
        }
        count += run - done;
        orRange(occupied, first, last);
        if (progress) setRuns.insert(setRuns.end(), {first, last});
    });
    cavityVolume = static_cast<float>(count * (*halfVoxel)[0] * (*halfVoxel)[1] * (*halfVoxel)[2] * 8.0);
    return count;
}

// After a stopped voxelize the air that phase 2 or 3 reached is not yet merged into occupiedBits, so the span
// flood, which stops at either set, would miss it. This walk reads occupiedBits alone, breadth first in
// faceDirections order, with the reports of measureCavity.
int VoxelizerTrapVolumePrivate::measureStoppedCavity(std::uint32_t seed, float& cavityVolume, int voxelsPerReport,
                                                     int voxelsBefore, int& reportsMade, ProgressCallback progress)
{
    VoxelWord* occupied = occupiedBits.get();
    if (testBit(occupied, seed)) return 0;
    const MeshBox& b = activeBox;
    int count = 0;
    for (std::deque<std::uint32_t> queue{seed}; !queue.empty(); queue.pop_front()) {
        const std::uint32_t i = queue.front();
        if (testBit(occupied, i)) continue;
        ++count;
        if (progress && voxelsBefore + count > reportsMade * voxelsPerReport) {
            progress(reportsMade * 10);
            ++reportsMade;
        }
        setBit(occupied, i);
        forEachFaceNeighbour(*this, b, i, [&](std::uint32_t j) {
            if (!testBit(occupied, j)) queue.push_back(j);
        });
    }
    cavityVolume = static_cast<float>(count * (*halfVoxel)[0] * (*halfVoxel)[1] * (*halfVoxel)[2] * 8.0);
    return count;
}
