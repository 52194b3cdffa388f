// SPDX-License-Identifier: MIT
// Phases 2 and 3 of voxelize: air against material (line walks, floods beside them, six-ray votes for
// enclosed pockets), then the air that drains without ever moving up.
//
// Lines are walked a word at a time: a z line is a contiguous run of bits, and 32 neighbouring x or y lines
// (consecutive z) are walked side by side as one word per step. Floods grow maximal free runs along z and
// spread sideways from run to run (a span flood), instead of voxel by voxel. Each step's result does not
// depend on the order of its work: the walks read only occupiedBits, which the step does not change, and a
// flood marks exactly what a voxel-by-voxel flood would mark. Steps, loops, iteration counts and progress
// are those of the voxel-by-voxel description.
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "host/embree/EmbreeIntersector.h"
#include "trapvolume/ParallelVoxelLoop.h"
#include "trapvolume/SpanFlood.h"

using namespace meshprobe::trap;
using meshprobe::common::ProgressRescaler;

// ---------------------------------------------------------------------------------------------------------
// Line walks. visit(x, y, z0, count, mask) receives the walked voxels of row (x, y): bit k is voxel z0 + k.

VoxelizerTrapVolumePrivate::ZSpan VoxelizerTrapVolumePrivate::zSpanOf(std::uint32_t row, bool bothEnds) const
{
    const MeshBox& b = activeBox;
    const VoxelWord* occupied = occupiedBits.get();
    ZSpan span{static_cast<std::uint16_t>(b.hi[2] + 1), static_cast<std::uint16_t>(b.hi[2])};
    for (int z0 = b.lo[2]; z0 <= b.hi[2]; z0 += kWordBits) {
        const std::uint32_t hits = loadBits(occupied, row + z0, chunkLength(z0, b.hi[2]));
        if (hits) {
            span.first = static_cast<std::uint16_t>(z0 + static_cast<int>(lowestBit(hits)));
            break;
        }
    }
    if (!bothEnds || span.first > b.hi[2]) return span;
    // Backward, only when the forward walk stopped: down to the last occupied voxel.
    span.last = span.first;
    for (int zEnd = b.hi[2]; zEnd > span.first;) {
        const int z0 = std::max<int>(span.first, zEnd - (kWordBits - 1));
        const std::uint32_t hits = loadBits(occupied, row + z0, static_cast<unsigned>(zEnd - z0 + 1));
        if (hits) {
            span.last = static_cast<std::uint16_t>(z0 + static_cast<int>(highestBit(hits)));
            break;
        }
        zEnd = z0 - 1;
    }
    return span;
}

template <typename SpanOfRow, typename Visit>
void VoxelizerTrapVolumePrivate::walkLinesAlongZ(int x, SpanOfRow&& spanOfRow, Visit&& visit) const
{
    const MeshBox& b = activeBox;
    auto visitRange = [&](int y, int zFirst, int zLast) {
        for (int z0 = zFirst; z0 <= zLast; z0 += kWordBits) {
            const unsigned count = chunkLength(z0, zLast);
            visit(x, y, z0, count, lowMask(count));
        }
    };
    for (int y = b.lo[1]; y <= b.hi[1]; ++y) {
        const ZSpan span = spanOfRow(y, voxelIndex(x, y, 0));
        visitRange(y, b.lo[2], span.first - 1);
        visitRange(y, span.last + 1, b.hi[2]);
    }
}

template <typename Visit> void VoxelizerTrapVolumePrivate::walkLinesAlongZ(int x, bool bothEnds, Visit&& visit) const
{
    walkLinesAlongZ(
        x, [this, bothEnds](int, std::uint32_t row) { return zSpanOf(row, bothEnds); }, visit);
}

// Lines along x (Axis 0, at height y = fixed) or along y (Axis 1, in slab x = fixed): 32 lines (consecutive
// z) per word, forward from the low end, then backward from the high end for the lines whose forward walk
// stopped. Axis is a template argument, so each instance compiles to the plain loop of its axis.
template <int Axis, typename Visit> void VoxelizerTrapVolumePrivate::walkHorizontalLines(int fixed, Visit&& visit) const
{
    static_assert(Axis == 0 || Axis == 1, "lines along x or y");
    const MeshBox& b = activeBox;
    const VoxelWord* occupied = occupiedBits.get();
    auto step = [&](int s, int z0, unsigned count, std::uint32_t& lines) {
        const int x = Axis == 0 ? s : fixed;
        const int y = Axis == 0 ? fixed : s;
        lines &= ~loadBits(occupied, voxelIndex(x, y, z0), count);
        if (lines) visit(x, y, z0, count, lines);
    };
    for (int z0 = b.lo[2]; z0 <= b.hi[2]; z0 += kWordBits) {
        const unsigned count = chunkLength(z0, b.hi[2]);
        std::uint32_t alive = lowMask(count);
        for (int s = b.lo[Axis]; s <= b.hi[Axis] && alive; ++s)
            step(s, z0, count, alive);
        std::uint32_t back = lowMask(count) & ~alive;
        for (int s = b.hi[Axis]; s >= b.lo[Axis] && back; --s)
            step(s, z0, count, back);
    }
}

// The loop over z that walks the lines along y. Walking them word-wide needs whole x slabs, so iteration z
// takes its share of the slabs (the loop keeps its iterations, and so its progress; which iteration walks
// which line does not change the result). A step stopped part-way therefore leaves other lines walked than
// a loop that walks the y lines of layer z in iteration z would. The difference lies in reachedBits only
// (the walks and their floods mark nothing else): a count after the stop, which reads occupiedBits, is not
// affected; the names of cavity meshes made after the stop may be. The next voxelize starts from the
// constructed state.
template <typename Visit> void VoxelizerTrapVolumePrivate::walkSlabsForZIteration(int z, Visit&& visit) const
{
    const MeshBox& b = activeBox;
    const std::int64_t slabs = b.hi[0] - b.lo[0] + 1;
    const std::int64_t iterations = b.hi[2] - b.lo[2] + 1;
    const std::int64_t j = z - b.lo[2];
    const int first = b.lo[0] + static_cast<int>(j * slabs / iterations);
    const int last = b.lo[0] + static_cast<int>((j + 1) * slabs / iterations) - 1;
    for (int x = first; x <= last; ++x)
        walkHorizontalLines<1>(x, visit);
}

// ---------------------------------------------------------------------------------------------------------
// Span flood.

void VoxelizerTrapVolumePrivate::floodFill(std::uint32_t seed, VoxelWord* target, FloodMoves moves,
                                           FloodScratch& scratch)
{
    spanFlood(seed, moves, scratch,
              [target](std::uint32_t first, std::uint32_t last) { orRange(target, first, last); });
}

// Floods from every free neighbour (x+dx, y+dy, z+dz) of the walked voxels z0 + k (bits of `walked`) that
// lies in the mesh box. It runs for every walked chunk and four neighbours, and almost always finds nothing,
// so this part stays inline and reads no bit set: the z walks reached every voxel of the neighbour's row
// outside its occupied span (which lies inside the box), so only neighbours within the span can be free.
inline void VoxelizerTrapVolumePrivate::floodBesideWalk(int x, int y, int z0, unsigned count, std::uint32_t walked,
                                                        int dx, int dy, int dz, FloodScratch& scratch)
{
    const MeshBox& b = activeBox;
    const int nx = x + dx;
    const int ny = y + dy;
    if (nx < b.lo[0] || nx > b.hi[0] || ny < b.lo[1] || ny > b.hi[1]) return;
    const ZSpan span = zSpans[static_cast<std::size_t>(nx) * resolution + static_cast<std::size_t>(ny)];
    const int zNeighbour = z0 + dz;
    const int kLo = std::max(0, span.first - zNeighbour);
    const int kHi = std::min(static_cast<int>(count) - 1, span.last - zNeighbour);
    if (kLo > kHi) return;
    const unsigned length = static_cast<unsigned>(kHi - kLo + 1);
    const std::uint32_t candidates = (walked >> kLo) & lowMask(length);
    if (candidates)
        floodFromFreeCandidates(voxelIndex(nx, ny, static_cast<std::uint32_t>(zNeighbour + kLo)), length, candidates,
                                scratch);
}

// The free bits are read again after each flood, which may have taken more of them.
void VoxelizerTrapVolumePrivate::floodFromFreeCandidates(std::uint32_t first, unsigned count, std::uint32_t candidates,
                                                         FloodScratch& scratch)
{
    for (;;) {
        const std::uint32_t seeds = candidates & freeBits(first, count);
        if (!seeds) return;
        floodFill(first + lowestBit(seeds), reachedBits.get(), FloodMoves::AllFaces, scratch);
    }
}

// ---------------------------------------------------------------------------------------------------------
// Phase 2.

// Line walks and their floods over a grid of up to kOneThreadWalksUpTo voxels a side take milliseconds on one
// thread. A team costs more there than it gains: the steps wait for it at nine barriers, and on a busy machine
// each barrier can wait a scheduler slice for a thread that was put aside (130 ms in all at N = 64 on the
// 1.2M-triangle scan, against 10 ms on one thread). The exported class keeps the runtime's default team
// (teamSize 0). Progress is scaled by the team that does the work.
int VoxelizerTrapVolumePrivate::lineWalkTeam(int& threadCount) const
{
    if (teamSize <= 0 || resolution > kOneThreadWalksUpTo) return teamSize;
    threadCount = 1;
    return 1;
}

void VoxelizerTrapVolumePrivate::classifyVoxels(int threadCount, ProgressCallback progress)
{
    if (!initialized) return;
    gridWritten = true;
    activeBox = meshBox();
    votedVoxelCount = 0;

    const ProgressRescaler carveProgress(progress, 0.3, 0.0);
    carveLines(threadCount, carveProgress.callback());
    const ProgressRescaler floodProgress(progress, 0.2, 30.0);
    floodFromLines(threadCount, floodProgress.callback());
    std::vector<ZSpan>().swap(zSpans);
    const ProgressRescaler voteProgress(progress, 0.5, 50.0);
    voteByRays(threadCount, voteProgress.callback());

    // Everything that is not air becomes material, undecided pockets included. Plain stores: the loops
    // have ended and this thread is alone on the words.
    VoxelWord* occupied = occupiedBits.get();
    const VoxelWord* reached = reachedBits.get();
    for (std::uint32_t w = 0; w < wordCount; ++w)
        occupied[w].store(~reached[w].load(std::memory_order_relaxed), std::memory_order_relaxed);
}

void VoxelizerTrapVolumePrivate::carveLines(int threadCount, const ProgressCallback& progress)
{
    const MeshBox& b = activeBox;
    const int team = lineWalkTeam(threadCount);
    ParallelProgress reporting(progress, threadCount, (b.hi[0] - b.lo[0]) + (b.hi[1] - b.lo[1]) + (b.hi[2] - b.lo[2]));
    FirstFailure failure;
    VoxelWord* reached = reachedBits.get();
    auto mark = [this, reached](int x, int y, int z0, unsigned count, std::uint32_t walked) {
        orBits(reached, voxelIndex(x, y, z0), count, walked);
    };
    zSpans.assign(static_cast<std::size_t>(resolution) * resolution, ZSpan{});
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[0], b.hi[0], [&](int x, FloodScratch&) {
        walkLinesAlongZ(
            x,
            [this, x](int y, std::uint32_t row) {
                const ZSpan span = zSpanOf(row, true);
                zSpans[static_cast<std::size_t>(x) * resolution + static_cast<std::size_t>(y)] = span;
                return span;
            },
            mark);
    });
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[1], b.hi[1],
                                    [&](int y, FloodScratch&) { walkHorizontalLines<0>(y, mark); });
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[2], b.hi[2],
                                    [&](int z, FloodScratch&) { walkSlabsForZIteration(z, mark); });
    failure.rethrowIfFailed();
    reporting.finish();
}

// Per row (index x * N + y), the hull of the occupied spans of the row and its four side rows, one voxel
// wider on both ends (first > last when all five are empty). A walked chunk that misses it has no
// neighbour, in its row or a side row, inside that neighbour's span: floodBesideWalk would find nothing.
std::vector<VoxelizerTrapVolumePrivate::ZSpan> VoxelizerTrapVolumePrivate::sideSpanHulls() const
{
    const MeshBox& b = activeBox;
    std::vector<ZSpan> hulls(zSpans.size(), ZSpan{0xFFFF, 0});
    auto row = [this](int x, int y) { return static_cast<std::size_t>(x) * resolution + static_cast<std::size_t>(y); };
    for (int x = b.lo[0]; x <= b.hi[0]; ++x)
        for (int y = b.lo[1]; y <= b.hi[1]; ++y) {
            int first = 0xFFFF;
            int last = -1;
            auto include = [&](int sx, int sy) {
                if (sx < b.lo[0] || sx > b.hi[0] || sy < b.lo[1] || sy > b.hi[1]) return;
                const ZSpan span = zSpans[row(sx, sy)];
                if (span.first > span.last) return;
                first = std::min<int>(first, span.first);
                last = std::max<int>(last, span.last);
            };
            include(x, y);
            include(x - 1, y);
            include(x + 1, y);
            include(x, y - 1);
            include(x, y + 1);
            if (last >= 0)
                hulls[row(x, y)] =
                    ZSpan{static_cast<std::uint16_t>(std::max(first - 1, 0)), static_cast<std::uint16_t>(last + 1)};
        }
    return hulls;
}

void VoxelizerTrapVolumePrivate::floodFromLines(int threadCount, const ProgressCallback& progress)
{
    const MeshBox& b = activeBox;
    const int team = lineWalkTeam(threadCount);
    ParallelProgress reporting(progress, threadCount, (b.hi[0] - b.lo[0]) + (b.hi[1] - b.lo[1]) + (b.hi[2] - b.lo[2]));
    FirstFailure failure;
    const std::vector<ZSpan> hulls = sideSpanHulls();
    // The four side floods of a walked chunk, skipped at once when the chunk misses its row's hull.
    auto floodBeside = [&](int dAxis, int eAxis, FloodScratch& scratch) {
        return [&, dAxis, eAxis](int x, int y, int z0, unsigned count, std::uint32_t walked) {
            const ZSpan hull = hulls[static_cast<std::size_t>(x) * resolution + static_cast<std::size_t>(y)];
            if (z0 > hull.last || z0 + static_cast<int>(count) - 1 < hull.first) return;
            for (const auto& ab : planeNeighbours) {
                int step[3] = {0, 0, 0};
                step[dAxis] = ab[0];
                step[eAxis] = ab[1];
                floodBesideWalk(x, y, z0, count, walked, step[0], step[1], step[2], scratch);
            }
        };
    };
    // (a) lines along z, neighbours (x+a, y+b, z).
    auto storedSpan = [this](std::uint32_t x) {
        return [this, x](int y, std::uint32_t) {
            return zSpans[static_cast<std::size_t>(x) * resolution + static_cast<std::size_t>(y)];
        };
    };
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[0], b.hi[0], [&](int x, FloodScratch& scratch) {
        walkLinesAlongZ(x, storedSpan(static_cast<std::uint32_t>(x)), floodBeside(0, 1, scratch));
    });
    // (b) lines along y, neighbours (x+a, y, z+b).
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[2], b.hi[2], [&](int z, FloodScratch& scratch) {
        walkSlabsForZIteration(z, floodBeside(0, 2, scratch));
    });
    // (c) lines along x, neighbours (x, y+a, z+b).
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[1], b.hi[1], [&](int y, FloodScratch& scratch) {
        walkHorizontalLines<0>(y, floodBeside(1, 2, scratch));
    });
    failure.rethrowIfFailed();
    reporting.finish();
}

void VoxelizerTrapVolumePrivate::voteByRays(int threadCount, const ProgressCallback& progress)
{
    const MeshBox& b = activeBox;
    ParallelProgress reporting(progress, threadCount, b.hi[0] - b.lo[0]);
    FirstFailure failure;
    parallelVoxelLoop<VoteScratch>(teamSize, reporting, failure, b.lo[0], b.hi[0],
                                   [&](int x, VoteScratch& scratch) { voteSlice(x, scratch); });
    failure.rethrowIfFailed();
    reporting.finish();
}

// Six axis rays from the centre of every voxel of slab x that no walk, flood or earlier vote has decided:
// all even means outside (a pocket of air), all odd inside (material); the verdict floods the whole pocket.
void VoxelizerTrapVolumePrivate::voteSlice(int x, VoteScratch& scratch)
{
    const MeshBox& b = activeBox;
    const double originX = voxelCornerOnAxis(0, x) + (*halfVoxel)[0];
    for (int y = b.lo[1]; y <= b.hi[1]; ++y) {
        const double originY = voxelCornerOnAxis(1, y) + (*halfVoxel)[1];
        const std::uint32_t row = voxelIndex(x, y, 0);
        for (int z0 = b.lo[2]; z0 <= b.hi[2]; z0 += kWordBits) {
            const unsigned count = chunkLength(z0, b.hi[2]);
            // Voxels in z order; the free bits are read again after every vote, whose flood may take some.
            for (unsigned next = 0;;) {
                const std::uint32_t undecided = freeBits(row + z0, count) & ~lowMask(next);
                if (!undecided) break;
                const unsigned k = lowestBit(undecided);
                next = k + 1;
                const int z = z0 + static_cast<int>(k);
                const UVector3<float> origin(static_cast<float>(originX), static_cast<float>(originY),
                                             static_cast<float>(voxelCornerOnAxis(2, z) + (*halfVoxel)[2]));
                int even = 0;
                int odd = 0;
                int hitCount = 0;
                scratch.hits.clear();
                for (const UVector3<float>& direction : faceDirectionsF) {
                    intersector->intersectRay(origin, direction, scratch.hits, hitCount, 0.0f,
                                              std::numeric_limits<float>::infinity(), -1);
                    if (scratch.hits.size() % 2 == 0)
                        ++even;
                    else
                        ++odd;
                }
                votedVoxelCount.fetch_add(1, std::memory_order_relaxed);
                const std::uint32_t voxel = row + static_cast<std::uint32_t>(z);
                if (even == 6)
                    floodFill(voxel, reachedBits.get(), FloodMoves::AllFaces, scratch.flood);
                else if (odd == 6)
                    floodFill(voxel, occupiedBits.get(), FloodMoves::AllFaces, scratch.flood);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------------------
// Phase 3.

void VoxelizerTrapVolumePrivate::markDrainable(int threadCount, ProgressCallback progress)
{
    if (!initialized) return;
    activeBox = meshBox();
    const MeshBox& b = activeBox;
    VoxelWord* reached = reachedBits.get();
    for (std::uint32_t w = 0; w < wordCount; ++w)
        reached[w].store(0, std::memory_order_relaxed);

    const int team = lineWalkTeam(threadCount);
    ParallelProgress reporting(progress, threadCount, (b.hi[0] - b.lo[0]) + (b.hi[1] - b.lo[1]) + (b.hi[2] - b.lo[2]));
    FirstFailure failure;
    // Every walked voxel that is still free starts a flood that never steps down.
    auto floodFromWalk = [this, reached](FloodScratch& scratch) {
        return [this, reached, &scratch](int x, int y, int z0, unsigned count, std::uint32_t walked) {
            const std::uint32_t first = voxelIndex(x, y, z0);
            for (;;) {
                const std::uint32_t seeds = walked & freeBits(first, count);
                if (!seeds) return;
                floodFill(first + lowestBit(seeds), reached, FloodMoves::NoDown, scratch);
            }
        };
    };
    // (a) lines along z from the bottom face only; (b) along x and (c) along y, from both ends.
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[0], b.hi[0], [&](int x, FloodScratch& scratch) {
        walkLinesAlongZ(x, false, floodFromWalk(scratch));
    });
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[1], b.hi[1], [&](int y, FloodScratch& scratch) {
        walkHorizontalLines<0>(y, floodFromWalk(scratch));
    });
    parallelVoxelLoop<FloodScratch>(team, reporting, failure, b.lo[2], b.hi[2], [&](int z, FloodScratch& scratch) {
        walkSlabsForZIteration(z, floodFromWalk(scratch));
    });
    failure.rethrowIfFailed();
    reporting.finish();

    // Drainable air joins the set voxels; what stays clear in the mesh box is trapped.
    VoxelWord* occupied = occupiedBits.get();
    for (std::uint32_t w = 0; w < wordCount; ++w)
        occupied[w].store(occupied[w].load(std::memory_order_relaxed) | reached[w].load(std::memory_order_relaxed),
                          std::memory_order_relaxed);
    classified = true;
}
