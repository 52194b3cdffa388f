// SPDX-License-Identifier: MIT
// The axis rotations as host matrices.
#include "toolkit/src/adapters/Placement.h"

#include "toolkit/src/placement/AnalysisFrame.h"

namespace meshprobe::detail {

UMatrix4<float> placementForUp(BuildDirection up)
{
    const Rotation r = rotationForUp(up);
    UMatrix4<float> m = UMatrix4<float>::scaling(0, 0, 0);
    m(3, 3) = 1;
    // p' = R p as p' = p * M: M(k, c) = R(c, k). The entries are 0 and ±1, exact in float.
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            m(k, c) = static_cast<float>(r.m[static_cast<std::size_t>(3 * c + k)]);
    return m;
}

UMatrix4<float> inversePlacementForUp(BuildDirection up)
{
    // A rotation's inverse is its transpose.
    const UMatrix4<float> m = placementForUp(up);
    UMatrix4<float> t;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            t(r, c) = m(c, r);
    return t;
}

} // namespace meshprobe::detail
