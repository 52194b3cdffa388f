// SPDX-License-Identifier: MIT
// Span flood over the voxel grid: free runs along z, grown a word at a time and spread to the side rows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "host/embree/EmbreeIntersector.h"
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

/// One thread's reusable buffers of a span flood.
struct VoxelizerTrapVolumePrivate::FloodScratch {
    std::vector<std::uint32_t> stack;                 // span flood entries
    std::vector<std::vector<std::uint32_t>> byHeight; // entries by z, for floods that never step down
};

/// One thread's buffers of the six-ray votes: the hits of the ray being cast, and the flood that spreads
/// each verdict.
struct VoxelizerTrapVolumePrivate::VoteScratch {
    std::vector<embree::Hit> hits;
    FloodScratch flood;
};

template <typename Enter>
void VoxelizerTrapVolumePrivate::forFreeRunStarts(std::uint32_t row, int zFirst, int zLast, Enter&& enter) const
{
    using namespace meshprobe::trap;
    bool previousFree = false;
    for (int z0 = zFirst; z0 <= zLast; z0 += kWordBits) {
        const unsigned count = chunkLength(z0, zLast);
        const std::uint32_t free = freeBits(row + z0, count);
        // A run starts at a free voxel whose lower neighbour (within zFirst..zLast) is not free.
        std::uint32_t starts = free & ~((free << 1) | (previousFree ? 1u : 0u));
        for (; starts; starts &= starts - 1)
            enter(row + static_cast<std::uint32_t>(z0) + lowestBit(starts));
        previousFree = (free >> (count - 1)) & 1u;
    }
}

// Visits every voxel of the mesh box that the seed reaches through voxels set in neither bit set, by all six
// face steps or without the step down, as runs along z: mark(first, last) must set the run's voxels in one
// of the two sets. Taking an entry grows the free run through it along z
// (upward only without the step down), marks the run, and queues the start of every free run of the four
// side rows that lies beside it; an entry found no longer free is dropped, like a repeated queue entry.
//
// Without the step down a run is entered at its lowest point only if nothing entered it higher first, so
// those entries are taken lowest first (one bucket per height; a run's entries lie at or above its own
// entry, so the lowest non-empty bucket never moves down). Taken in stack order instead, the fronts that
// come down over a body would cut the air above it into runs of a few voxels.
template <typename Mark>
void VoxelizerTrapVolumePrivate::spanFlood(std::uint32_t seed, FloodMoves moves, FloodScratch& scratch, Mark&& mark)
{
    using namespace meshprobe::trap;
    if (!isFree(seed)) return;
    const MeshBox& b = activeBox;
    const bool canMoveDown = moves == FloodMoves::AllFaces;
    std::vector<std::uint32_t>& stack = scratch.stack;
    std::vector<std::vector<std::uint32_t>>& byHeight = scratch.byHeight;
    if (!canMoveDown && byHeight.size() < resolution) byHeight.resize(resolution);
    stack.clear();
    int height = static_cast<int>(seed % resolution);
    (canMoveDown ? stack : byHeight[static_cast<std::size_t>(height)]).push_back(seed);

    for (;;) {
        // Next entry: the stack's top, or the lowest entry without the step down.
        std::vector<std::uint32_t>* entries = &stack;
        if (!canMoveDown) {
            while (height <= b.hi[2] && byHeight[static_cast<std::size_t>(height)].empty())
                ++height;
            if (height > b.hi[2]) break;
            entries = &byHeight[static_cast<std::size_t>(height)];
        } else if (stack.empty()) {
            break;
        }
        const std::uint32_t i = entries->back();
        entries->pop_back();
        if (!isFree(i)) continue;
        const int x = static_cast<int>(i / sliceSize);
        const int y = static_cast<int>((i / resolution) % resolution);
        const int z = static_cast<int>(i % resolution);
        const std::uint32_t row = i - static_cast<std::uint32_t>(z);

        // Grow up to the first voxel that is set or outside the box.
        int top = b.hi[2];
        for (int z0 = z + 1; z0 <= b.hi[2]; z0 += kWordBits) {
            const unsigned count = chunkLength(z0, b.hi[2]);
            const std::uint32_t blocked = ~freeBits(row + z0, count) & lowMask(count);
            if (blocked) {
                top = z0 + static_cast<int>(lowestBit(blocked)) - 1;
                break;
            }
        }
        // And down, when that step is allowed.
        int bottom = z;
        if (canMoveDown) {
            bottom = b.lo[2];
            for (int zEnd = z - 1; zEnd >= b.lo[2];) {
                const int z0 = std::max(b.lo[2], zEnd - (kWordBits - 1));
                const unsigned count = static_cast<unsigned>(zEnd - z0 + 1);
                const std::uint32_t blocked = ~freeBits(row + z0, count) & lowMask(count);
                if (blocked) {
                    bottom = z0 + static_cast<int>(highestBit(blocked)) + 1;
                    break;
                }
                zEnd = z0 - 1;
            }
        }
        mark(row + static_cast<std::uint32_t>(bottom), row + static_cast<std::uint32_t>(top));

        // Side rows: every free voxel beside the run is reached, and so is its own run.
        auto enter = [&](std::uint32_t entry) {
            (canMoveDown ? stack : byHeight[entry % resolution]).push_back(entry);
        };
        if (x > b.lo[0]) forFreeRunStarts(row - sliceSize, bottom, top, enter);
        if (x < b.hi[0]) forFreeRunStarts(row + sliceSize, bottom, top, enter);
        if (y > b.lo[1]) forFreeRunStarts(row - resolution, bottom, top, enter);
        if (y < b.hi[1]) forFreeRunStarts(row + resolution, bottom, top, enter);
    }
}
