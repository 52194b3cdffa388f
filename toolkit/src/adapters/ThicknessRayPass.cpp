// SPDX-License-Identifier: MIT
// The per-face thickness rays on worker threads; the calling thread reports progress and cancels.
#include "toolkit/src/adapters/ThicknessRayPass.h"

#include <algorithm>
#include <vector>

#include "analysis/FaceTree.h"
#include "analysis/ThicknessRays.h"
#include "meshprobe/Error.h"
#include "meshprobe/detail/ParallelFor.h"

namespace meshprobe::detail {

namespace {

// Faces per grab: small enough that a cancellation is seen within milliseconds and the last grabs even
// out the threads, large enough that the shared counter is not contended.
constexpr std::size_t chunkFaces = 64;

} // namespace

std::vector<float> thicknessRayPass(UMesh<float>& mesh, float max, int samples, int threads,
                                    const ProgressSlice& progress)
{
    const std::vector<UTriangle<float>*>& faces = mesh.faces;
    const std::size_t n = faces.size();
    std::vector<float> values(n, max);
    if (n == 0) return values;

    const Analysis::ThicknessRays rays(samples);
    const Analysis::OwnedFaceTree faceTree = Analysis::makeFaceTree(&mesh, 0, nullptr, false, std::max(1, threads));

    ParallelForOptions team;
    team.threads = std::max(1, threads);
    team.chunk = chunkFaces;
    parallelFor(
        n, team,
        [&](std::size_t begin, std::size_t end, const ParallelStop&) {
            std::vector<float> origins(3 * rays.perFace());
            for (std::size_t f = begin; f < end; ++f)
                rays.lowerFaceThickness(*faceTree, *faces[f], nullptr, values[f], origins.data());
        },
        progress);
    return values;
}

} // namespace meshprobe::detail
