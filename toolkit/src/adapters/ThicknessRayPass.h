// SPDX-License-Identifier: MIT
// The thickness analysis' per-face ray pass on several threads.
#pragma once

#include <vector>

#include "common/HostMesh.h"
#include "meshprobe/detail/ProgressSlice.h"

namespace meshprobe::detail {

/// Every face's thickness, in face order, bit for bit what MeshAnalyzer::statvis_calc_thickness leaves in
/// its buffer: each face starts at max and only its own rays lower it, so faces are independent and any
/// split of the faces among threads gives the same values. The faces' index fields must be their list
/// positions (as toHostMesh makes them).
/// Runs on `threads` worker threads (at least 1). The calling thread reports progress in its slice every few
/// milliseconds and, when the callback answers false, stops the workers and throws Cancelled.
std::vector<float> thicknessRayPass(UMesh<float>& mesh, float max, int samples, int threads,
                                    const ProgressSlice& progress);

} // namespace meshprobe::detail
