// SPDX-License-Identifier: MIT
// Where the analyses see a part, with the checks a caller's arrays need first.
#include "toolkit/src/placement/AnalysisFrame.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "meshprobe/Error.h"

namespace meshprobe {

void validate(const MeshView& mesh)
{
    if (mesh.vertexCount > 0 && mesh.vertices == nullptr)
        throw InputError("mesh: " + std::to_string(mesh.vertexCount) + " vertices announced but no vertex array");
    if (mesh.triangleCount > 0 && mesh.triangles == nullptr)
        throw InputError("mesh: " + std::to_string(mesh.triangleCount) + " triangles announced but no triangle array");
    for (std::size_t v = 0; v < mesh.vertexCount; ++v)
        for (int a = 0; a < 3; ++a)
            if (!std::isfinite(mesh.vertices[3 * v + a]))
                throw InputError("mesh: vertex " + std::to_string(v) + " has " +
                                 (std::isnan(mesh.vertices[3 * v + a]) ? "a NaN" : "an infinite") + " coordinate");
    for (std::size_t t = 0; t < mesh.triangleCount; ++t)
        for (int k = 0; k < 3; ++k)
            if (mesh.triangles[3 * t + k] >= mesh.vertexCount)
                throw InputError("mesh: triangle " + std::to_string(t) + " uses vertex " +
                                 std::to_string(mesh.triangles[3 * t + k]) + ", but the mesh has " +
                                 std::to_string(mesh.vertexCount) + " vertices");
}

namespace detail {

std::array<double, 3> AnalysisFrame::fromModel(const float* p) const
{
    return rotation.apply({double(p[0]) - offset[0], double(p[1]) - offset[1], double(p[2]) - offset[2]});
}

std::array<double, 3> AnalysisFrame::toModel(const std::array<double, 3>& p) const
{
    std::array<double, 3> q = rotation.applyInverse(p);
    // A zero offset leaves the coordinate as it is: adding +0 would turn a -0 into +0, and a centred part's
    // files would differ from what it gave before it was centred.
    for (int k = 0; k < 3; ++k)
        if (offset[k] != 0.0) q[k] += offset[k];
    return q;
}

AnalysisFrame analysisFrame(const MeshView& view, const Rotation& rotation)
{
    AnalysisFrame frame;
    frame.rotation = rotation;
    if (view.vertexCount == 0) return frame;
    for (int k = 0; k < 3; ++k) {
        float lo = view.vertices[k], hi = view.vertices[k];
        for (std::size_t v = 1; v < view.vertexCount; ++v) {
            lo = std::min(lo, view.vertices[3 * v + k]);
            hi = std::max(hi, view.vertices[3 * v + k]);
        }
        // Halving is exact, so a box already centred on zero gets offset zero and keeps every coordinate.
        frame.offset[k] = (double(lo) + double(hi)) / 2.0;
    }
    return frame;
}

PlacedPart placePart(const MeshView& view, const Rotation& rotation)
{
    validate(view);
    PlacedPart part;
    part.frame = analysisFrame(view, rotation);
    part.mesh.vertices.resize(3 * view.vertexCount);
    for (std::size_t v = 0; v < view.vertexCount; ++v) {
        const std::array<double, 3> q = part.frame.fromModel(view.vertices + 3 * v);
        for (int k = 0; k < 3; ++k)
            part.mesh.vertices[3 * v + k] = static_cast<float>(q[k]);
    }
    part.mesh.triangles.assign(view.triangles, view.triangles + 3 * view.triangleCount);
    return part;
}

} // namespace detail
} // namespace meshprobe
