// SPDX-License-Identifier: MIT
// Trapped-volume count: the clear voxels of the mesh box after voxelize, measured cavity by cavity.
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

#include <deque>

std::uint32_t VoxelizerTrapVolumePrivate::countTrappedVoxels(const MeshBox& b) const
{
    // The order of a count does not matter: rows are read along z, a word at a time.
    if (b.lo[2] > b.hi[2]) return 0;
    const std::uint32_t length = static_cast<std::uint32_t>(b.hi[2] - b.lo[2] + 1);
    std::uint32_t total = 0;
    for (int x = b.lo[0]; x <= b.hi[0]; ++x)
        for (int y = b.lo[1]; y <= b.hi[1]; ++y)
            total += length - countBits(occupiedBits.get(), voxelIndex(x, y, b.lo[2]), length);
    return total;
}

void VoxelizerTrapVolumePrivate::forEachTrappedSeed(const MeshBox& b,
                                                    const std::function<bool(std::uint32_t)>& seed) const
{
    if (b.lo[0] > b.hi[0] || b.lo[1] > b.hi[1] || b.lo[2] > b.hi[2]) return;
    const VoxelWord* occupied = occupiedBits.get();
    // Which (z, x) columns hold a clear voxel at all, found a slab at a time in memory order. Bits are only
    // ever set while seeds are handled, so a column without a clear voxel now never gets one, and the
    // (z, x, y) scan, which strides through memory, skips it.
    const int slabs = b.hi[0] - b.lo[0] + 1;
    const int layers = b.hi[2] - b.lo[2] + 1;
    std::vector<std::uint8_t> columnHasClear(static_cast<std::size_t>(slabs) * static_cast<std::size_t>(layers), 0);
    std::vector<std::uint32_t> clearInSlab(static_cast<std::size_t>((layers + 31) / 32));
    for (int x = b.lo[0]; x <= b.hi[0]; ++x) {
        std::fill(clearInSlab.begin(), clearInSlab.end(), 0u);
        for (int y = b.lo[1]; y <= b.hi[1]; ++y)
            for (int c = 0; c < static_cast<int>(clearInSlab.size()); ++c) {
                const int z0 = b.lo[2] + 32 * c;
                const unsigned count = static_cast<unsigned>(std::min(32, b.hi[2] - z0 + 1));
                clearInSlab[static_cast<std::size_t>(c)] |= ~loadBits(occupied, voxelIndex(x, y, z0), count) & lowMask(count);
            }
        for (int layer = 0; layer < layers; ++layer)
            if ((clearInSlab[static_cast<std::size_t>(layer / 32)] >> (layer % 32)) & 1u)
                columnHasClear[static_cast<std::size_t>(layer) * slabs + (x - b.lo[0])] = 1;
    }

    for (int z = b.lo[2]; z <= b.hi[2]; ++z)
        for (int x = b.lo[0]; x <= b.hi[0]; ++x) {
            if (!columnHasClear[static_cast<std::size_t>(z - b.lo[2]) * slabs + (x - b.lo[0])]) continue;
            for (int y = b.lo[1]; y <= b.hi[1]; ++y) {
                const std::uint32_t index = voxelIndex(x, y, z);
                if (!testBit(occupied, index) && !seed(index)) return;
            }
        }
}

int VoxelizerTrapVolumePrivate::getTrappedVolumeCount(float& volume, ProgressCallback progress)
{
    // Before a completed voxelize (or after a failed set-up) the bit sets hold no classification: nothing
    // counts as trapped.
    if (!classified) {
        volume = 0.0f;
        return 0;
    }
    const MeshBox b = meshBox();
    activeBox = b;
    if (b.lo[2] > b.hi[2]) {
        volume = 0.0f;
        return 0;
    }
    const std::uint32_t total = countTrappedVoxels(b);
    volume = 0.0f;
    int k = 0;
    int processed = 0;
    int result = 0;
    const int step = static_cast<int>(static_cast<double>(static_cast<float>(total)) / 10.0);
    forEachTrappedSeed(b, [&](std::uint32_t seed) {
        float cavityVolume = 0.0f;
        const int count = measureCavity(seed, cavityVolume, step, processed, k, progress);
        result += count;
        processed += count;
        volume += cavityVolume;
        return true;
    });
    return result;
}

// Counts the 6-connected cavity of the seed breadth first, setting each voxel's occupiedBits bit when it is
// counted. Progress k*10 is reported whenever the running number of measured voxels passes k*step, before
// the voxel's bit is set; an exception from the callback passes through.
int VoxelizerTrapVolumePrivate::measureCavity(std::uint32_t seed, float& cavityVolume, int step, int processed,
                                              int& k, ProgressCallback progress)
{
    VoxelWord* occupied = occupiedBits.get();
    if (testBit(occupied, seed)) return 0;
    const double n = static_cast<double>(resolution);
    const double slice = static_cast<double>(sliceSize);
    const UVector3<double>& boxLow = *meshVoxelMin;
    const UVector3<double>& boxHigh = *meshVoxelMax;

    std::deque<std::uint32_t> queue{seed};
    int count = 0;
    while (!queue.empty()) {
        const std::uint32_t i = queue.front();
        queue.pop_front();
        if (testBit(occupied, i)) continue; // queued twice
        ++count;
        if (progress && processed + count > k * step) {
            progress(k * 10);
            ++k;
        }
        setBit(occupied, i);
        const double p[3] = {static_cast<double>(i / sliceSize), static_cast<double>((i / resolution) % resolution),
                             static_cast<double>(i % resolution)};
        for (const UVector3<double>& d : faceDirections) {
            const double q[3] = {p[0] + d[0], p[1] + d[1], p[2] + d[2]};
            if (q[0] < boxLow[0] || q[0] > boxHigh[0] || q[1] < boxLow[1] || q[1] > boxHigh[1] || q[2] < boxLow[2] ||
                q[2] > boxHigh[2])
                continue;
            const auto j = static_cast<std::uint32_t>(static_cast<std::int64_t>(n * q[1] + slice * q[0] + q[2]));
            if (!testBit(occupied, j)) queue.push_back(j);
        }
    }
    cavityVolume = static_cast<float>(count * (*halfVoxel)[0] * (*halfVoxel)[1] * (*halfVoxel)[2] * 8.0);
    return count;
}
