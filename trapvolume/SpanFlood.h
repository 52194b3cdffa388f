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

inline bool VoxelizerTrapVolumePrivate::isFree(std::uint32_t index) const
{
    using namespace meshprobe::trap;
    return !testBit(occupiedBits.get(), index) && !testBit(reachedBits.get(), index);
}

inline std::uint32_t VoxelizerTrapVolumePrivate::freeBits(std::uint32_t first, unsigned count) const
{
    using namespace meshprobe::trap;
    return ~(loadBits(occupiedBits.get(), first, count) | loadBits(reachedBits.get(), first, count)) & lowMask(count);
}

inline std::uint32_t VoxelizerTrapVolumePrivate::freeWord(std::uint32_t word) const
{
    return ~(occupiedBits.get()[word].load(std::memory_order_relaxed) |
             reachedBits.get()[word].load(std::memory_order_relaxed));
}

// The scans below go a whole bit-set word at a time, with the bits outside first..last masked off: one load
// per set and word, where a run's chunks of 32 from an unaligned start would straddle two.
template <typename Enter>
void VoxelizerTrapVolumePrivate::forFreeRunStarts(std::uint32_t row, int zFirst, int zLast, Enter&& enter) const
{
    using namespace meshprobe::trap;
    const std::uint32_t first = row + static_cast<std::uint32_t>(zFirst);
    const std::uint32_t last = row + static_cast<std::uint32_t>(zLast);
    std::uint32_t previousFree = 0; // the bit below the word's first, as bit 0
    for (std::uint32_t w = first >> 5; w <= last >> 5; ++w) {
        std::uint32_t free = freeWord(w);
        if (w == first >> 5) free &= ~0u << (first & 31);
        if (w == last >> 5) free &= ~0u >> (31 - (last & 31));
        // A run starts at a free voxel whose lower neighbour (within first..last) is not free.
        std::uint32_t starts = free & ~((free << 1) | previousFree);
        for (; starts; starts &= starts - 1)
            enter((w << 5) + lowestBit(starts));
        previousFree = free >> 31;
    }
}

// Index of the last free voxel of the run that goes up from `from` (free) without passing `limit`.
inline std::uint32_t VoxelizerTrapVolumePrivate::freeRunTop(std::uint32_t from, std::uint32_t limit) const
{
    using namespace meshprobe::trap;
    for (std::uint32_t w = from >> 5;; ++w) {
        std::uint32_t blocked = ~freeWord(w);
        if (w == from >> 5) blocked &= ~0u << (from & 31);
        const std::uint32_t stop = blocked ? (w << 5) + lowestBit(blocked) : (w << 5) + 32;
        if (stop > limit) return limit;
        if (blocked) return stop - 1;
    }
}

// Index of the first free voxel of the run that goes down from `from` (free) without passing `limit`.
inline std::uint32_t VoxelizerTrapVolumePrivate::freeRunBottom(std::uint32_t from, std::uint32_t limit) const
{
    using namespace meshprobe::trap;
    for (std::uint32_t w = from >> 5;; --w) {
        std::uint32_t blocked = ~freeWord(w);
        if (w == from >> 5) blocked &= ~0u >> (31 - (from & 31));
        if (blocked) {
            const std::uint32_t stop = (w << 5) + highestBit(blocked);
            return stop < limit ? limit : stop + 1;
        }
        if ((w << 5) <= limit) return limit;
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

        // Grow up to the first voxel that is set or outside the box, and down when that step is allowed.
        const int top = static_cast<int>(freeRunTop(i, row + static_cast<std::uint32_t>(b.hi[2])) - row);
        const int bottom =
            canMoveDown ? static_cast<int>(freeRunBottom(i, row + static_cast<std::uint32_t>(b.lo[2])) - row) : z;
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
