// SPDX-License-Identifier: MIT
// The turn of a part for each build direction.
#include <gtest/gtest.h>

#include <array>

#include "toolkit/src/adapters/Placement.h"

namespace {

using meshprobe::BuildDirection;

std::array<double, 3> turned(float x, float y, float z, const UMatrix4<float>& m)
{
    const UPoint3<float> p = UPoint3<float>(x, y, z) * m;
    return {p[0], p[1], p[2]};
}

// Each placement is a proper rotation (determinant +1) that takes its axis to +z, and its inverse undoes it.
// A mirror would give the same trapped volumes, but cavities, column meshes and drain holes on the wrong
// side of the part.
TEST(Placement, EachBuildDirectionIsARotationOfItsAxisOntoUp)
{
    const std::pair<BuildDirection, std::array<float, 3>> cases[] = {
        {BuildDirection::PlusZ, {0, 0, 1}}, {BuildDirection::MinusZ, {0, 0, -1}},
        {BuildDirection::PlusX, {1, 0, 0}}, {BuildDirection::MinusX, {-1, 0, 0}},
        {BuildDirection::PlusY, {0, 1, 0}}, {BuildDirection::MinusY, {0, -1, 0}}};
    for (const auto& [up, axis] : cases) {
        SCOPED_TRACE(meshprobe::toString(up));
        const UMatrix4<float> m = meshprobe::detail::placementForUp(up);
        const auto ex = turned(1, 0, 0, m), ey = turned(0, 1, 0, m), ez = turned(0, 0, 1, m);
        const double determinant = ex[0] * (ey[1] * ez[2] - ey[2] * ez[1]) - ex[1] * (ey[0] * ez[2] - ey[2] * ez[0]) +
                                   ex[2] * (ey[0] * ez[1] - ey[1] * ez[0]);
        EXPECT_EQ(determinant, 1.0);
        EXPECT_EQ(turned(axis[0], axis[1], axis[2], m), (std::array<double, 3>{0, 0, 1}));
        const UPoint3<float> there = UPoint3<float>(1, 2, 3) * m;
        EXPECT_EQ(turned(there[0], there[1], there[2], meshprobe::detail::inversePlacementForUp(up)),
                  (std::array<double, 3>{1, 2, 3}));
    }
}

} // namespace
