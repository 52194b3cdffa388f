// SPDX-License-Identifier: MIT
// The rays of the thickness analysis: the sample pattern of a sample count, and the lowering of one
// face's thickness by its rays through a face tree. Shared by MeshAnalyzer::statvis_calc_thickness and
// the toolkit's multi-threaded ray pass, so that both compute every value the same way.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/FaceTree.h"
#include "analysis/SamplePatterns.h"
#include "common/HostMesh.h"

namespace Analysis {

/// The ray set-up of one thickness call; it depends on the sample count alone and holds no per-face
/// state, so one object serves any number of threads at once.
class ThicknessRays {
public:
    /// 0 casts no ray, 1..31 the folded pattern of that many points, 32 or more one ray from the centroid.
    explicit ThicknessRays(int sampleCount);

    /// Rays per face.
    std::size_t perFace() const { return originCount; }

    /// Casts the rays of `face` through `faceTree` (corners from `coords` by vertex ID when given, else the
    /// face's own points) and lowers `thickness` to each nearer angle-corrected distance. Every ray looks
    /// only as far as the value so far. `origins` is scratch space of 3 * perFace() floats.
    void lowerFaceThickness(const FaceTree& faceTree, const UTriangle<float>& face, const float (*coords)[3],
                            float& thickness, float* origins) const;

private:
    std::vector<SamplePoint> samples;
    bool fromCentroid;
    std::size_t originCount;
};

} // namespace Analysis
