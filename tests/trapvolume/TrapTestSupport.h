// SPDX-License-Identifier: MIT
// Shared helpers of the trapped-volume tests: placed meshes, progress recorders, bit-set reading.
#pragma once

#include <omp.h>

#include <functional>
#include <memory>
#include <vector>

#include "common/HostMesh.h"
#include "tests/support/TestMeshes.h"
#include "trapvolume/VoxelizerTrapVolume.h"
#include "trapvolume/VoxelizerTrapVolumePrivate.h"

namespace traptest {

using namespace meshprobe::trap;

/// A mesh and the kernel that places it (the kernel holds the mesh).
struct Placed {
    explicit Placed(const testmesh::Soup& soup, const UMatrix4<float>& matrix = UMatrix4<float>())
        : kernel(std::shared_ptr<UMesh<float>>(soup.build()), matrix)
    {
    }
    MeshKernel kernel;
};

/// Records every reported percentage; throws `Kel::AbortException` from the first report that `stopWhen`
/// accepts, and from every one after it.
struct ProgressLog {
    std::vector<int> values;
    std::function<bool(int)> stopWhen;

    std::function<void(int)> callback()
    {
        return [this](int v) {
            values.push_back(v);
            if (stopWhen && stopWhen(v)) throw Kel::AbortException();
        };
    }
};

/// Runs the three phases on the private object the way VoxelizerTrapVolume::voxelize does.
inline void voxelizeAll(VoxelizerTrapVolumePrivate& grid, int threadCount = 1)
{
    grid.restoreConstructedState();
    grid.voxelizeSurface(threadCount, {});
    grid.classifyVoxels(threadCount, {});
    grid.markDrainable(threadCount, {});
}

inline bool bitAt(const VoxelBitSet& bits, const VoxelizerTrapVolumePrivate& grid, int x, int y, int z)
{
    return testBit(bits.get(), grid.voxelIndex(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                                               static_cast<std::uint32_t>(z)));
}

inline std::vector<unsigned> words(const VoxelBitSet& bits, std::uint32_t wordCount)
{
    std::vector<unsigned> out(wordCount);
    for (std::uint32_t w = 0; w < wordCount; ++w)
        out[w] = bits.get()[w].load();
    return out;
}

inline long setBitCount(const VoxelBitSet& bits, const VoxelizerTrapVolumePrivate& grid)
{
    long n = 0;
    const std::uint32_t voxels = grid.sliceSize * grid.resolution;
    for (std::uint32_t i = 0; i < voxels; ++i)
        n += testBit(bits.get(), i) ? 1 : 0;
    return n;
}

/// Pins the OpenMP team size for one test.
class TeamSize {
public:
    explicit TeamSize(int threads) : previous(omp_get_max_threads()) { omp_set_num_threads(threads); }
    ~TeamSize() { omp_set_num_threads(previous); }
    TeamSize(const TeamSize&) = delete;
    TeamSize& operator=(const TeamSize&) = delete;

private:
    int previous;
};

} // namespace traptest
