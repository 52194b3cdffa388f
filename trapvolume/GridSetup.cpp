// SPDX-License-Identifier: MIT
// Construction of the voxel grid: placed vertices, padded box, cubic grid, shuffled triangles, bit sets.
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "host/embree/EmbreeIntersector.h"

using meshprobe::common::ProgressRescaler;
using meshprobe::trap::ArrayDeleter;
using meshprobe::trap::makeVoxelBitSet;

namespace {

constexpr double kBoxMargin = 0.001;
constexpr double kVoxelCoordBias = 1e-9;

// lo + (int)(r / 32767 * (hi - lo)). The formula is made for a 15-bit rand() (RAND_MAX 32767, as on the
// host's platform); a wider runtime rand() is cut down to those 15 bits so that the result stays in lo..hi.
int randomBetween(int lo, int hi)
{
    const int r = std::rand() % 32768;
    return lo + static_cast<int>(r / 32767.0 * (hi - lo));
}

} // namespace

VoxelizerTrapVolumePrivate::VoxelizerTrapVolumePrivate(int resolutionValue, MeshKernel* kernel,
                                                       std::string* setUpFailure, IntersectorFirst intersectorFirst)
    : resolution(static_cast<std::uint32_t>(resolutionValue))
{
    // Made before it is stored so that a failing init leaks nothing.
    const auto makeIntersector = [this, kernel] {
        auto created = std::make_unique<embree::EmbreeIntersector>();
        created->init(kernel, false, false);
        intersector = created.release();
    };
    if (intersectorFirst == IntersectorFirst::Yes) makeIntersector();
    try {
        // Outside 1..1290 the voxel index would not fit: treated as a set-up that cannot be made.
        if (resolutionValue < 1 || resolutionValue > kMaxResolution)
            throw std::length_error("VoxelizerTrapVolume: resolution " + std::to_string(resolutionValue) +
                                    " is outside 1.." + std::to_string(kMaxResolution));
        const std::int32_t n = resolutionValue;
        sliceSize = resolution * resolution;
        wordCount = static_cast<std::uint32_t>(n * n * n / 32 + 1);
        occupiedBits = makeVoxelBitSet(wordCount);
        reachedBits = makeVoxelBitSet(wordCount);

        const UMesh<float>& mesh = *kernel->getMesh();
        vertexCount = static_cast<std::int32_t>(mesh.vertices.size());
        faceCount = static_cast<std::int32_t>(mesh.faces.size());
        // Without a vertex there is no box to put a grid on.
        if (vertexCount == 0) throw std::invalid_argument("VoxelizerTrapVolume: the mesh has no vertices");
        buildGrid(kernel);
        initialized = true;
    } catch (const std::exception& e) {
        if (setUpFailure)
            *setUpFailure = e.what();
        else
            std::cout << e.what() << std::endl;
    }
    if (intersectorFirst == IntersectorFirst::No) makeIntersector();
}

VoxelizerTrapVolumePrivate::~VoxelizerTrapVolumePrivate()
{
    labelBits.reset();
    reachedBits.reset();
    occupiedBits.reset();
    faces.reset();
    vertices.reset();
    delete intersector;
    intersector = nullptr;
}

void VoxelizerTrapVolumePrivate::buildGrid(MeshKernel* kernel)
{
    const UMesh<float>& mesh = *kernel->getMesh();
    vertices.reset(new UVector3<double>[static_cast<std::size_t>(vertexCount)], ArrayDeleter<UVector3<double>>());

    UBox3<float> box;
    const UMatrix4<float> matrix = kernel->getMatrix();
    const bool identity = matrix.isIdenticalMatrix();
    bool idsArePositions = true;
    for (std::int32_t i = 0; i < vertexCount; ++i) {
        const UVertex<float>* vertex = mesh.vertices[static_cast<std::size_t>(i)];
        UPoint3<float> p = vertex->P();
        if (!identity) p = p * matrix;
        box.Add(p);
        vertices.get()[i] = UVector3<double>(p[0], p[1], p[2]);
        idsArePositions = idsArePositions && vertex->ID() == static_cast<unsigned>(i);
    }

    boxMin = std::make_shared<UVector3<double>>(UVector3<double>(box.MinX(), box.MinY(), box.MinZ()) -
                                                UVector3<double>(kBoxMargin, kBoxMargin, kBoxMargin));
    boxMax = std::make_shared<UVector3<double>>(UVector3<double>(box.MaxX(), box.MaxY(), box.MaxZ()) +
                                                UVector3<double>(kBoxMargin, kBoxMargin, kBoxMargin));
    const UVector3<double> extent = *boxMax - *boxMin;
    double longest = extent[0];
    if (extent[1] > longest) longest = extent[1];
    if (extent[2] > longest) longest = extent[2];
    gridOrigin = std::make_shared<UVector3<double>>(*boxMin);
    gridEnd = std::make_shared<UVector3<double>>(*boxMin + UVector3<double>(longest, longest, longest));
    gridSize = std::make_shared<UVector3<double>>(*gridEnd - *gridOrigin);

    // Triangles as vertex indices. When the vertex IDs are not the list positions (left open to us), the
    // positions are looked up instead, so the geometry stays right; an unknown vertex fails the set-up.
    std::unordered_map<const UVertex<float>*, std::int32_t> positionOf;
    if (!idsArePositions)
        for (std::int32_t i = 0; i < vertexCount; ++i)
            positionOf.emplace(mesh.vertices[static_cast<std::size_t>(i)], i);
    faces.reset(new UVector3<double>[static_cast<std::size_t>(faceCount)], ArrayDeleter<UVector3<double>>());
    UVector3<double>* faceArray = faces.get();
    meshCorners.resize(3 * static_cast<std::size_t>(faceCount));
    for (std::int32_t i = 0; i < faceCount; ++i) {
        const UTriangle<float>* face = mesh.faces[static_cast<std::size_t>(i)];
        std::int32_t* corner = &meshCorners[3 * static_cast<std::size_t>(i)];
        for (int k = 0; k < 3; ++k)
            corner[k] = idsArePositions ? static_cast<std::int32_t>(face->V(k)->ID()) : positionOf.at(face->V(k));
        faceArray[i] = UVector3<double>(corner[0], corner[1], corner[2]);
    }

    // Shuffled so that neighbouring triangles, which mark neighbouring voxels, rarely run at the same time.
    // meshCorners keeps the mesh's own order for the passes that it suits better.
    // The partners are drawn first, in the same order, so that the swaps can fetch them ahead: they lie
    // anywhere in an array of tens of megabytes.
    std::vector<std::int32_t> partner(static_cast<std::size_t>(faceCount));
    for (std::int32_t i = 0; i < faceCount; ++i)
        partner[static_cast<std::size_t>(i)] = randomBetween(i, faceCount - 1);
    constexpr std::int32_t kFetchAhead = 16;
    for (std::int32_t i = 0; i < faceCount; ++i) {
        if (i + kFetchAhead < faceCount)
            __builtin_prefetch(&faceArray[partner[static_cast<std::size_t>(i + kFetchAhead)]], 1);
        const std::int32_t j = partner[static_cast<std::size_t>(i)];
        if (j != i) std::swap(faceArray[i], faceArray[j]);
    }

    const double twiceResolution = static_cast<double>(2.0f * static_cast<float>(resolution));
    halfVoxel = std::make_shared<UVector3<double>>(*gridSize / twiceResolution);
    halfVoxelPadded =
        std::make_shared<UVector3<double>>(*halfVoxel + UVector3<double>(kVoxelPadding, kVoxelPadding, kVoxelPadding));

    meshVoxelMin = toVoxelCoord(UVector3<double>(box.MinX(), box.MinY(), box.MinZ()));
    meshVoxelMax = toVoxelCoord(UVector3<double>(box.MaxX(), box.MaxY(), box.MaxZ()));
    requireRepresentableGrid();
}

// The margins keep every vertex in voxels 0..N-1 only while they survive in double precision: beyond about
// 1e13 the 0.001 margin and the 1e-9 bias vanish, the box maximum lands on voxel N and every pass that walks
// the mesh box would index past the bit sets. Non-finite coordinates give no grid at all. Either way the
// set-up fails here, before any voxel is touched.
void VoxelizerTrapVolumePrivate::requireRepresentableGrid() const
{
    const double last = static_cast<double>(resolution) - 1.0;
    for (int k = 0; k < 3; ++k) {
        const double lo = (*meshVoxelMin)[k];
        const double hi = (*meshVoxelMax)[k];
        if (!(std::isfinite((*gridSize)[k]) && (*gridSize)[k] > 0.0 && lo >= 0.0 && hi <= last && lo <= hi))
            throw std::range_error("VoxelizerTrapVolume: the part's coordinates (box " + std::to_string((*boxMin)[k]) +
                                   " to " + std::to_string((*boxMax)[k]) + " on axis " + std::to_string(k) +
                                   ") cannot be represented on a grid of " + std::to_string(resolution) + " voxels");
    }
}

double VoxelizerTrapVolumePrivate::voxelCoordOnAxis(int axis, double p) const
{
    const double v = (p - (*gridOrigin)[axis] + kVoxelCoordBias) * static_cast<double>(resolution) / (*gridSize)[axis];
    // Truncation toward zero, then one less for negative values (so -1.0 gives -2).
    double q = std::trunc(v);
    if (v < 0.0) q -= 1.0;
    return q;
}

std::shared_ptr<UVector3<double>> VoxelizerTrapVolumePrivate::toVoxelCoord(const UVector3<double>& point) const
{
    return std::make_shared<UVector3<double>>(voxelCoordOnAxis(0, point[0]), voxelCoordOnAxis(1, point[1]),
                                              voxelCoordOnAxis(2, point[2]));
}

std::shared_ptr<UVector3<double>> VoxelizerTrapVolumePrivate::voxelCorner(const UVector3<double>& voxel) const
{
    return std::make_shared<UVector3<double>>(voxelCornerOnAxis(0, voxel[0]), voxelCornerOnAxis(1, voxel[1]),
                                              voxelCornerOnAxis(2, voxel[2]));
}

std::shared_ptr<UVector3<double>>
VoxelizerTrapVolumePrivate::voxelCorner(const std::shared_ptr<UVector3<double>>& voxel) const
{
    return voxelCorner(*voxel);
}

VoxelizerTrapVolumePrivate::MeshBox VoxelizerTrapVolumePrivate::meshBox() const
{
    MeshBox box{};
    for (int k = 0; k < 3; ++k) {
        box.lo[k] = static_cast<int>((*meshVoxelMin)[k]);
        box.hi[k] = static_cast<int>((*meshVoxelMax)[k]);
    }
    return box;
}

void VoxelizerTrapVolumePrivate::restoreConstructedState()
{
    classified = false;
    if (!initialized || !gridWritten) return;
    for (std::uint32_t w = 0; w < wordCount; ++w) {
        occupiedBits.get()[w].store(0, std::memory_order_relaxed);
        reachedBits.get()[w].store(0, std::memory_order_relaxed);
    }
    labelBits.reset();
    gridWritten = false;
}

void VoxelizerTrapVolumePrivate::voxelizeAllPhases(int threadCount, const ProgressCallback& progress)
{
    // A repeated run starts from the state after construction, so it gives the answer of the first run.
    restoreConstructedState();
    const ProgressRescaler surface(progress, 0.3, 0.0);
    voxelizeSurface(threadCount, surface.callback());

    const ProgressRescaler inside(progress, 0.5, 30.0);
    classifyVoxels(threadCount, inside.callback());

    const ProgressRescaler drainable(progress, 0.2, 80.0);
    markDrainable(threadCount, drainable.callback());
}
