// SPDX-License-Identifier: MIT
// Phase 1 of voxelize: every voxel that a triangle overlaps is set in occupiedBits, by a scan of the
// triangle's voxel box or, for triangles large on all three axes, by a flood over the touched voxels.
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <numeric>

#include "trapvolume/ParallelVoxelLoop.h"
#include "trapvolume/QueuedVoxelSet.h"

using namespace meshprobe::trap;

namespace {

// Triangles whose voxel box spans at least this many voxels on every axis are flooded, not scanned.
constexpr int kFloodExtent = 100;
// Triangles that a thread takes at a time in the box scan.
constexpr int kTrianglesPerRun = 256;
// Bit sets up to this size stay in the cache whatever the order of the triangles: no sort into slabs.
constexpr std::uint64_t kSlabSortAboveBytes = 1 << 20;

bool takesFloodPath(const int lo[3], const int hi[3])
{
    return std::min(std::min(hi[0] - lo[0], hi[1] - lo[1]), hi[2] - lo[2]) >= kFloodExtent;
}

// The overlap test of the mesh library, on the float box and triangle it is given.
bool voxelTouchesTriangle(const float centre[3], const float half[3], const float triangle[3][3])
{
    return TriBoxOverlap(centre, half, triangle) != 0;
}

} // namespace

struct VoxelizerTrapVolumePrivate::SurfaceScratch {
    std::vector<std::uint32_t> queue; // flood queue, reused from triangle to triangle
};

void VoxelizerTrapVolumePrivate::voxelizeSurface(int threadCount, ProgressCallback progress)
{
    if (!initialized) return;
    gridWritten = true;

    // Box centres per axis: corner - kVoxelPadding + halfVoxelPadded for the scan, corner + halfVoxel for the
    // flood, formed in double and narrowed once. The tested boxes are then exactly those of a
    // voxel-by-voxel evaluation, at a fraction of its cost.
    for (int k = 0; k < 3; ++k) {
        paddedCentre[k].resize(resolution);
        exactCentre[k].resize(resolution);
        for (std::uint32_t q = 0; q < resolution; ++q) {
            const double corner = voxelCornerOnAxis(k, static_cast<double>(q));
            paddedCentre[k][q] = static_cast<float>((corner - kVoxelPadding) + (*halfVoxelPadded)[k]);
            exactCentre[k][q] = static_cast<float>(corner + (*halfVoxel)[k]);
        }
    }

    const VertexVoxels voxels = vertexVoxels();
    const std::vector<std::int32_t>& corners = meshCorners;
    const std::vector<std::int32_t> order = surfaceVisitOrder(corners, voxels);
    ParallelProgress reporting(progress, threadCount, faceCount);
    FirstFailure failure;
    if (order.empty()) {
        parallelVoxelLoop<SurfaceScratch>(teamSize, reporting, failure, 0, faceCount - 1,
                                          [&](int i, SurfaceScratch& scratch) { voxelizeTriangle(i, scratch); });
    } else {
        // Box scans mark the same voxels in any order and on any thread, so the threads take the triangles a
        // run at a time: taking a million single triangles from a shared counter costs more than scanning
        // them. Each triangle still begins with its own progress step, as in a loop over the triangles.
        const int runs = (faceCount + kTrianglesPerRun - 1) / kTrianglesPerRun;
        parallelVoxelLoop<SurfaceScratch>(teamSize, reporting, failure, 0, runs - 1, [&](int run, SurfaceScratch&) {
            const int first = run * kTrianglesPerRun;
            const int end = std::min(faceCount, first + kTrianglesPerRun);
            for (int i = first; i < end; ++i)
                if (i == first || (reporting.step() && !failure.failed()))
                    voxelizeMeshTriangle(
                        corners.data() + 3 * static_cast<std::size_t>(order[static_cast<std::size_t>(i)]), voxels);
        });
    }
    failure.rethrowIfFailed();
    reporting.finish();
}

void VoxelizerTrapVolumePrivate::triangleVoxelRange(int face, UVector3<double> p[3], int lo[3], int hi[3]) const
{
    const UVector3<double>& corners = faces.get()[face];
    for (int c = 0; c < 3; ++c)
        p[c] = vertices.get()[static_cast<int>(corners[c])];
    for (int k = 0; k < 3; ++k) {
        const double low = std::min(std::min(p[0][k], p[1][k]), p[2][k]);
        const double high = std::max(std::max(p[0][k], p[1][k]), p[2][k]);
        lo[k] = static_cast<int>(voxelCoordOnAxis(k, low));
        hi[k] = static_cast<int>(voxelCoordOnAxis(k, high));
    }
}

// voxelCoordOnAxis never decreases as its point grows (a subtraction, an addition, a product and a quotient
// by positive constants, each rounded monotonically, then a floor), so the voxel of a triangle's lowest
// coordinate is the lowest of its corners' voxels, and likewise for the highest: a triangle's voxel range
// is the range of its corners' voxels, which are formed once per vertex here instead of twice per triangle.
VoxelizerTrapVolumePrivate::VertexVoxels VoxelizerTrapVolumePrivate::vertexVoxels() const
{
    const auto count = static_cast<std::int64_t>(vertexCount);
    VertexVoxels voxels(static_cast<std::size_t>(count));
    const UVector3<double>* placed = vertices.get();
#pragma omp parallel for schedule(static) num_threads(teamSizeOf(teamSize))
    for (std::int64_t v = 0; v < count; ++v)
        for (int k = 0; k < 3; ++k)
            voxels[static_cast<std::size_t>(v)][k] = static_cast<int>(voxelCoordOnAxis(k, placed[v][k]));
    return voxels;
}

namespace {

// The voxel range of a triangle from its corners' voxels.
void cornerRange(const VoxelizerTrapVolumePrivate::VertexVoxels& voxels, const std::int32_t* corners, int lo[3],
                 int hi[3])
{
    const std::array<int, 3>& a = voxels[static_cast<std::size_t>(corners[0])];
    const std::array<int, 3>& b = voxels[static_cast<std::size_t>(corners[1])];
    const std::array<int, 3>& c = voxels[static_cast<std::size_t>(corners[2])];
    for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(std::min(a[k], b[k]), c[k]);
        hi[k] = std::max(std::max(a[k], b[k]), c[k]);
    }
}

} // namespace

// The box scan's marks do not depend on the order of the triangles (a voxel set is a set), so the pass takes
// them in the mesh's own order, where neighbouring triangles share vertices and the reads stay in cache,
// sorted slab by slab (by the lowest x voxel, a counting sort) so that consecutive triangles write the same
// few slabs of a bit set that is hundreds of megabytes at high resolution. A flood does depend on the order
// (it passes through voxels that other triangles set before it), so a part with any flooded triangle keeps
// the stored, shuffled order (empty result). Every vertex lies in voxels 0..N-1, so below N = kFloodExtent + 1
// no triangle is flooded.
std::vector<std::int32_t>
VoxelizerTrapVolumePrivate::surfaceVisitOrder(const std::vector<std::int32_t>& cornersInMeshOrder,
                                              const VertexVoxels& voxels) const
{
    const auto count = static_cast<std::int64_t>(faceCount);
    const bool bySlab = std::uint64_t(wordCount) * sizeof(VoxelWord) > kSlabSortAboveBytes;
    if (!bySlab && static_cast<int>(resolution) <= kFloodExtent) {
        std::vector<std::int32_t> order(static_cast<std::size_t>(count));
        std::iota(order.begin(), order.end(), 0);
        return order;
    }
    std::vector<std::uint32_t> slabOf(static_cast<std::size_t>(count));
    const int last = static_cast<int>(resolution) - 1;
    const std::int32_t* corners = cornersInMeshOrder.data();
    std::atomic<bool> anyFlooded{false};
#pragma omp parallel for schedule(static) num_threads(teamSizeOf(teamSize))
    for (std::int64_t face = 0; face < count; ++face) {
        int lo[3];
        int hi[3];
        cornerRange(voxels, corners + 3 * face, lo, hi);
        if (takesFloodPath(lo, hi)) anyFlooded.store(true, std::memory_order_relaxed);
        slabOf[static_cast<std::size_t>(face)] = static_cast<std::uint32_t>(std::min(std::max(lo[0], 0), last));
    }
    if (anyFlooded.load()) return {};
    if (!bySlab) std::fill(slabOf.begin(), slabOf.end(), 0u); // one slab: the mesh's own order
    std::vector<std::size_t> slabStart(resolution + 1, 0);
    for (const std::uint32_t slab : slabOf)
        ++slabStart[slab + 1];
    for (std::size_t s = 0; s < resolution; ++s)
        slabStart[s + 1] += slabStart[s];
    std::vector<std::int32_t> order(static_cast<std::size_t>(count));
    for (std::size_t face = 0; face < slabOf.size(); ++face)
        order[slabStart[slabOf[face]]++] = static_cast<std::int32_t>(face);
    return order;
}

void VoxelizerTrapVolumePrivate::voxelizeMeshTriangle(const std::int32_t* corners, const VertexVoxels& voxels)
{
    int lo[3];
    int hi[3];
    cornerRange(voxels, corners, lo, hi);
    float points[3][3];
    for (int c = 0; c < 3; ++c) {
        const UVector3<double>& p = vertices.get()[corners[c]];
        for (int k = 0; k < 3; ++k)
            points[c][k] = static_cast<float>(p[k]);
    }
    scanTriangleBox(points, lo, hi);
}

void VoxelizerTrapVolumePrivate::voxelizeTriangle(int face, SurfaceScratch& scratch)
{
    // The triangle's corners and their bounds.
    UVector3<double> p[3];
    int lo[3];
    int hi[3];
    triangleVoxelRange(face, p, lo, hi);
    float triangle[3][3];
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c)
            triangle[c][k] = static_cast<float>(p[c][k]);

    if (takesFloodPath(lo, hi)) {
        floodTriangle(triangle, p[0], lo, hi, scratch);
        return;
    }
    scanTriangleBox(triangle, lo, hi);
}

void VoxelizerTrapVolumePrivate::scanTriangleBox(const float triangle[3][3], const int lo[3], const int hi[3])
{
    // Box scan over every voxel of the range, x outermost. The range lies inside the grid by construction;
    // the clamp only guards the bit set against a grid that would break that rule.
    const int last = static_cast<int>(resolution) - 1;
    const int x0 = std::max(lo[0], 0), x1 = std::min(hi[0], last);
    const int y0 = std::max(lo[1], 0), y1 = std::min(hi[1], last);
    const int z0 = std::max(lo[2], 0), z1 = std::min(hi[2], last);
    const float half[3] = {static_cast<float>((*halfVoxelPadded)[0]), static_cast<float>((*halfVoxelPadded)[1]),
                           static_cast<float>((*halfVoxelPadded)[2])};
    // A voxel already set is not tested again: setting it once more would change nothing.
    VoxelWord* occupied = occupiedBits.get();
    for (int x = x0; x <= x1; ++x)
        for (int y = y0; y <= y1; ++y)
            for (int z = z0; z <= z1; ++z) {
                const std::uint32_t index = voxelIndex(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                                       static_cast<std::uint32_t>(z));
                if (testBit(occupied, index)) continue;
                const float centre[3] = {paddedCentre[0][x], paddedCentre[1][y], paddedCentre[2][z]};
                if (voxelTouchesTriangle(centre, half, triangle)) setBit(occupied, index);
            }
}

void VoxelizerTrapVolumePrivate::floodTriangle(const float triangle[3][3], const UVector3<double>& p0, const int lo[3],
                                               const int hi[3], SurfaceScratch& scratch)
{
    const double n = static_cast<double>(resolution);
    const double slice = static_cast<double>(sliceSize);
    const int last = static_cast<int>(resolution) - 1;
    // Indices are formed in double and truncated, as 64-bit integers cut to their low 32 bits.
    auto indexOf = [&](double x, double y, double z) {
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(slice * x + n * y + z));
    };

    // Seed: the voxel that holds the first corner.
    double s[3];
    for (int k = 0; k < 3; ++k) {
        s[k] = voxelCoordOnAxis(k, p0[k]);
        if (s[k] < 0.0 || s[k] > last) return; // only a grid that breaks its own rule gets here
    }
    std::vector<std::uint32_t>& queue = scratch.queue;
    queue.clear();
    QueuedVoxelSet queued;
    const std::uint32_t seed = indexOf(s[0], s[1], s[2]);
    queue.push_back(seed);
    queued.insert(seed);

    const float half[3] = {static_cast<float>((*halfVoxel)[0]), static_cast<float>((*halfVoxel)[1]),
                           static_cast<float>((*halfVoxel)[2])};
    // The neighbour range: the triangle's voxel box, kept inside the grid.
    double low[3];
    double high[3];
    for (int k = 0; k < 3; ++k) {
        low[k] = std::max(lo[k], 0);
        high[k] = std::min(hi[k], last);
    }
    VoxelWord* occupied = occupiedBits.get();
    for (std::size_t head = 0; head < queue.size(); ++head) {
        const std::uint32_t v = queue[head];
        const std::uint32_t x = v / sliceSize;
        const std::uint32_t y = (v / resolution) % resolution;
        const std::uint32_t z = v % resolution;
        // A voxel that another triangle already marked is passed through without a test.
        if (!testBit(occupied, v)) {
            const float centre[3] = {exactCentre[0][x], exactCentre[1][y], exactCentre[2][z]};
            if (!voxelTouchesTriangle(centre, half, triangle)) continue;
            setBit(occupied, v);
        }
        // Expand from touched voxels only, within the triangle's voxel box.
        const double at[3] = {static_cast<double>(x), static_cast<double>(y), static_cast<double>(z)};
        for (const UVector3<double>& d : faceDirections) {
            const double q[3] = {at[0] + d[0], at[1] + d[1], at[2] + d[2]};
            if (q[0] < low[0] || q[0] > high[0] || q[1] < low[1] || q[1] > high[1] || q[2] < low[2] || q[2] > high[2])
                continue;
            const std::uint32_t neighbour = indexOf(q[0], q[1], q[2]);
            if (queued.insert(neighbour)) queue.push_back(neighbour);
        }
    }
}
