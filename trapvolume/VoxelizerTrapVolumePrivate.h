// SPDX-License-Identifier: MIT
// VoxelizerTrapVolumePrivate: the voxel grid of a trapped-volume analysis and the operations on it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/HostMesh.h"
#include "common/Progress.h"
#include "trapvolume/VoxelBits.h"
#include "trapvolume/VoxelRun.h"

namespace embree {
class EmbreeIntersector;
struct Hit;
} // namespace embree

/// The grid of N x N x N voxels over a placed mesh, its three bit sets and the phases that fill them.
/// Voxel (x, y, z) has index x*N*N + y*N + z (32-bit unsigned); its flag in a bit set is bit (index & 31)
/// of word (index >> 5). The data members are public for the white-box tests.
///
/// The class stays in the global namespace next to VoxelizerTrapVolume, and its grid fields keep their
/// shape (vectors and arrays behind shared pointers, in this order) although plain members would do:
/// both are part of the analysis' fixed interface. Its helpers live in meshprobe::trap.
class VoxelizerTrapVolumePrivate {
public:
    using ProgressCallback = meshprobe::common::ProgressCallback;
    using VoxelWord = meshprobe::trap::VoxelWord;
    using VoxelBitSet = meshprobe::trap::VoxelBitSet;

    /// Largest resolution whose N*N*N still fits a signed 32-bit product.
    static constexpr int kMaxResolution = 1290;
    /// How far the box that the surface scan tests reaches beyond its voxel on every side (halfVoxelPadded),
    /// so that a triangle on a voxel face, or within rounding of it, marks the voxels on both sides. The
    /// flood path of large triangles tests the exact voxel.
    static constexpr double kVoxelPadding = 1e-5;

    /// Whether the constructor makes the intersector before the grid rather than after it. Made first, the
    /// intersector prepares its lookups on a thread of its own while the grid is set up; a failure to make
    /// it then leaves the constructor before the grid is tried.
    enum class IntersectorFirst { No, Yes };

    /// Sets up the grid; a standard exception on the way leaves the object uninitialised, and its message is
    /// printed on standard output, or stored in *setUpFailure instead when that is given.
    /// @throw what creating the intersector throws
    VoxelizerTrapVolumePrivate(int resolution, MeshKernel* kernel, std::string* setUpFailure = nullptr,
                               IntersectorFirst intersectorFirst = IntersectorFirst::No);
    VoxelizerTrapVolumePrivate(const VoxelizerTrapVolumePrivate&) = delete;
    VoxelizerTrapVolumePrivate& operator=(const VoxelizerTrapVolumePrivate&) = delete;
    virtual ~VoxelizerTrapVolumePrivate();

    /// @name Grid set-up and addressing
    ///@{
    void buildGrid(MeshKernel* kernel);
    /// Throws when the mesh box does not map into voxels 0..N-1 (huge or non-finite coordinates).
    void requireRepresentableGrid() const;
    /// Voxel coordinates of a point, as whole numbers held in doubles (may lie outside 0..N-1).
    std::shared_ptr<UVector3<double>> toVoxelCoord(const UVector3<double>& point) const;
    /// Lower corner of a voxel in the mesh's placed frame.
    std::shared_ptr<UVector3<double>> voxelCorner(const UVector3<double>& voxel) const;
    std::shared_ptr<UVector3<double>> voxelCorner(const std::shared_ptr<UVector3<double>>& voxel) const;
    /// The same two, per axis and by value, for the hot loops.
    double voxelCoordOnAxis(int axis, double p) const;
    double voxelCornerOnAxis(int axis, double q) const
    {
        return (*gridOrigin)[axis] + q * (*gridSize)[axis] / static_cast<double>(resolution);
    }
    std::uint32_t voxelIndex(std::uint32_t x, std::uint32_t y, std::uint32_t z) const
    {
        return x * sliceSize + y * resolution + z;
    }
    ///@}

    /// @name voxelize
    ///@{
    /// The three phases in order, each on its slice of `progress` (0..30, 30..80, 80..100), from the state
    /// after construction.
    void voxelizeAllPhases(int threadCount, const ProgressCallback& progress);
    /// Brings a grid that an earlier voxelize wrote back to its state after construction.
    void restoreConstructedState();
    /// Phase 1: surface voxels into occupiedBits.
    void voxelizeSurface(int threadCount, ProgressCallback progress);
    /// Phase 2: air into reachedBits, then occupiedBits = complement of reachedBits.
    void classifyVoxels(int threadCount, ProgressCallback progress);
    /// Phase 3: air that drains without rising, merged into occupiedBits.
    void markDrainable(int threadCount, ProgressCallback progress);
    ///@}

    /// @name Results (they consume the trapped marks)
    ///@{
    int getTrappedVolumeCount(float& volume, ProgressCallback progress);
    void trappedVolume2Mesh(std::vector<UMesh<float>*>& meshes, std::vector<float>& volumes, ProgressCallback progress);
    ///@}

    // Fields, in the order of the grid's description.
    bool initialized = false;
    std::shared_ptr<UVector3<double>> boxMin;
    std::shared_ptr<UVector3<double>> boxMax;
    std::shared_ptr<UVector3<double>> meshVoxelMin;
    std::shared_ptr<UVector3<double>> meshVoxelMax;
    std::shared_ptr<UVector3<double>> gridOrigin;
    std::shared_ptr<UVector3<double>> gridEnd;
    std::shared_ptr<UVector3<double>> gridSize;
    std::shared_ptr<UVector3<double>> halfVoxel;
    std::shared_ptr<UVector3<double>> halfVoxelPadded;
    std::shared_ptr<UVector3<double>> faces; ///< vertex indices (as doubles) per triangle, shuffled
    std::int32_t faceCount = 0;
    std::shared_ptr<UVector3<double>> vertices; ///< placed vertex positions
    std::int32_t vertexCount = 0;
    /// Column marks of trappedVolume2Mesh: a set bit is a voxel that an emitted column triangle already
    /// covers. Empty until the first trappedVolume2Mesh, which replaces it with a zeroed set on every call.
    VoxelBitSet labelBits;
    /// Air found by a flood. Phase 1: untouched (all clear). Phase 2: air reachable from the faces of the
    /// mesh box, plus pockets voted outside. Phase 3: cleared, then the air that drains without rising.
    /// Afterwards read only: a cavity touching a set bit is "Open".
    VoxelBitSet reachedBits;
    /// Phase 1: the surface voxels. End of phase 2: everything that is not air (material, including
    /// everything outside the mesh box). End of phase 3: material plus drainable air, so a clear bit in the
    /// mesh box is trapped air. The count and the cavity meshes set the bit of every voxel they visit.
    VoxelBitSet occupiedBits;
    std::uint32_t resolution = 0;
    std::uint32_t wordCount = 0;
    std::uint32_t sliceSize = 0;
    embree::EmbreeIntersector* intersector = nullptr;

    // State beyond the grid itself.
    bool classified = false;                      ///< a voxelize has run to its end since the last reset
    bool gridWritten = false;                     ///< some phase has written the bit sets since the last reset
    std::atomic<std::int64_t> votedVoxelCount{0}; ///< voxels decided by ray votes in the last phase 2
    /// Threads of every parallel loop; 0 for the default OpenMP team.
    int teamSize = 0;
    /// While set, trappedVolume2Mesh appends one list per cavity here and records each column as a voxel
    /// run in it; with columnTriangles false it makes no column triangles (the meshes stay empty).
    std::vector<std::vector<meshprobe::trap::VoxelRun>>* cavityRuns = nullptr;
    bool columnTriangles = true;

    // Direction tables of the voxel passes; their values are in trapvolume/DirectionTables.h.
    /// Face-neighbour steps, shared by the voxel passes, in this order.
    static const UVector3<double> faceDirections[6];
    static const UVector3<float> faceDirectionsF[6];
    /// The face steps without (0,0,-1).
    static const UVector3<double> faceDirectionsNoDown[5];
    /// Neighbour offsets (a, b) in the plane across a walked line.
    static const int planeNeighbours[4][2];

    /// Inclusive voxel range of the mesh's bounding box, truncated to ints.
    struct MeshBox {
        int lo[3];
        int hi[3];
    };
    MeshBox meshBox() const;

    /// Voxel coordinates (x, y, z) of every placed vertex, as ints.
    using VertexVoxels = std::vector<std::array<int, 3>>;

private:
    struct SurfaceScratch;
    struct FloodScratch;
    struct VoteScratch;
    enum class FloodMoves { AllFaces, NoDown };

    // Phase 1.
    /// Corners of a stored triangle and the voxel range of its bounds.
    void triangleVoxelRange(int face, UVector3<double> p[3], int lo[3], int hi[3]) const;
    VertexVoxels vertexVoxels() const;
    /// Triangles in mesh order, by their lowest x voxel (empty when some triangle takes the flood path).
    std::vector<std::int32_t> surfaceVisitOrder(const std::vector<std::int32_t>& corners,
                                                const VertexVoxels& voxels) const;
    void voxelizeTriangle(int face, SurfaceScratch& scratch);
    void voxelizeMeshTriangle(const std::int32_t* corners, const VertexVoxels& voxels);
    void scanTriangleBox(const float triangle[3][3], const int lo[3], const int hi[3]);
    void floodTriangle(const float triangle[3][3], const UVector3<double>& p0, const int lo[3], const int hi[3],
                       SurfaceScratch& scratch);

    // Phases 2 and 3.
    /// Largest resolution whose line walks and line floods run on one thread when the run has a team of its own.
    static constexpr std::uint32_t kOneThreadWalksUpTo = 256;
    /// The team of the line walks and line floods; sets threadCount to it when it differs from the run's team.
    int lineWalkTeam(int& threadCount) const;
    void carveLines(int threadCount, const ProgressCallback& progress);
    void floodFromLines(int threadCount, const ProgressCallback& progress);
    void voteByRays(int threadCount, const ProgressCallback& progress);
    void voteSlice(int x, VoteScratch& scratch);
    bool isFree(std::uint32_t index) const;
    std::uint32_t freeBits(std::uint32_t first, unsigned count) const;
    /// Bits of word `word` set in neither bit set.
    std::uint32_t freeWord(std::uint32_t word) const;
    std::uint32_t freeRunTop(std::uint32_t from, std::uint32_t limit) const;
    std::uint32_t freeRunBottom(std::uint32_t from, std::uint32_t limit) const;
    void floodFill(std::uint32_t seed, VoxelWord* target, FloodMoves moves, FloodScratch& scratch);
    template <typename Mark> void spanFlood(std::uint32_t seed, FloodMoves moves, FloodScratch& scratch, Mark&& mark);
    /// Calls enter(index) at the lowest voxel of every free run of the row within zFirst..zLast.
    template <typename Enter> void forFreeRunStarts(std::uint32_t row, int zFirst, int zLast, Enter&& enter) const;
    void floodBesideWalk(int x, int y, int z0, unsigned count, std::uint32_t walked, int dx, int dy, int dz,
                         FloodScratch& scratch);
    void floodFromFreeCandidates(std::uint32_t first, unsigned count, std::uint32_t candidates, FloodScratch& scratch);
    /// Row along z from its first to its last occupied voxel (first = hi + 1 when it has none; with only the
    /// forward walk, last = hi): the walks along z reach exactly the voxels of the row outside the span.
    struct ZSpan {
        std::uint16_t first;
        std::uint16_t last;
    };
    ZSpan zSpanOf(std::uint32_t row, bool bothEnds) const;
    std::vector<ZSpan> sideSpanHulls() const;
    template <typename SpanOfRow, typename Visit>
    void walkLinesAlongZ(int x, SpanOfRow&& spanOfRow, Visit&& visit) const;
    template <typename Visit> void walkLinesAlongZ(int x, bool bothEnds, Visit&& visit) const;
    template <int Axis, typename Visit> void walkHorizontalLines(int fixed, Visit&& visit) const;
    template <typename Visit> void walkSlabsForZIteration(int z, Visit&& visit) const;

    // Counting and cavity meshes. Both report progress in tenths of the trapped voxels, through three
    // values that the caller keeps across cavities:
    //   voxelsPerReport  a tenth of the trapped voxels (0 below ten): report reportsMade * 10 once the
    //                    running voxel count passes reportsMade * voxelsPerReport;
    //   voxelsBefore     voxels of the cavities already finished;
    //   reportsMade      reports made so far (the progress ordinal), raised by one per report.
    // The parameter lists are the cavity walks' fixed interface: keep the separate values in this order.
    int measureCavity(std::uint32_t seed, float& cavityVolume, int voxelsPerReport, int voxelsBefore, int& reportsMade,
                      ProgressCallback progress);
    /// measureCavity on the sets that a stopped voxelize left, where reachedBits may hold air that occupiedBits
    /// does not: voxel by voxel, on occupiedBits alone.
    int measureStoppedCavity(std::uint32_t seed, float& cavityVolume, int voxelsPerReport, int voxelsBefore,
                             int& reportsMade, ProgressCallback progress);
    void meshCavity(std::uint32_t seed, int zMax, UMesh<float>* mesh, float& volume, int voxelsPerReport,
                    int& voxelsBefore, int& reportsMade, ProgressCallback progress);
    void emitColumn(std::uint32_t voxel, const int at[3], int zMax, UMesh<float>* mesh);
    /// The clear voxels of the mesh box: how many, and a flag per (z, x) column (index z * slabs + x, both from
    /// the box's low corner) that holds any.
    struct TrappedScan {
        std::uint32_t total = 0;
        std::vector<std::uint8_t> columnHasClear;
    };
    TrappedScan scanTrappedVoxels(const MeshBox& box) const;
    /// Calls seed(index) at every voxel of the mesh box whose occupiedBits bit is clear when the scan reaches
    /// it, z outermost, then x, then y; stops early when seed returns false.
    void forEachTrappedSeed(const MeshBox& box, const TrappedScan& scan,
                            const std::function<bool(std::uint32_t)>& seed) const;

    /// The mesh box of the running classification, count or meshing.
    MeshBox activeBox{};
    /// Span of every row (index x * N + y) found by the z walks of carveLines, read by floodFromLines (the
    /// walks read only occupiedBits, which neither step changes); released before the ray votes.
    std::vector<ZSpan> zSpans;

    /// The corners of every triangle in the mesh's own order (before the shuffle), three vertex positions each.
    std::vector<std::int32_t> meshCorners;

    // Surface tables: per axis and voxel coordinate, the float box centres that the overlap test gets.
    std::vector<float> paddedCentre[3]; ///< voxelCorner - kVoxelPadding + halfVoxelPadded (box scan)
    std::vector<float> exactCentre[3];  ///< voxelCorner + halfVoxel (triangle flood)
};

#include "trapvolume/DirectionTables.h"
