// SPDX-License-Identifier: MIT
// Rotations that bring a chosen build direction onto +z.
#include "meshprobe/BuildDirection.h"

#include "meshprobe/Error.h"
#include "toolkit/src/Placement.h"

namespace meshprobe {

namespace {

/// Where each model axis lands: placed axis c gets sign[c] times model axis source[c].
struct AxisMap {
    BuildDirection up;
    const char* name;
    int source[3];
    float sign[3];
};

// Each map is a proper rotation (determinant +1) taking the named axis to +z:
// -z: 180° about x; +x: new z = x, new x = -z; -x: new z = -x, new x = z; +y: new z = y, new y = -z;
// -y: new z = -y, new y = z.
constexpr AxisMap axisMaps[] = {
    {BuildDirection::PlusZ, "+z", {0, 1, 2}, {1, 1, 1}},  {BuildDirection::MinusZ, "-z", {0, 1, 2}, {1, -1, -1}},
    {BuildDirection::PlusX, "+x", {2, 1, 0}, {-1, 1, 1}}, {BuildDirection::MinusX, "-x", {2, 1, 0}, {1, 1, -1}},
    {BuildDirection::PlusY, "+y", {0, 2, 1}, {1, -1, 1}}, {BuildDirection::MinusY, "-y", {0, 2, 1}, {1, 1, -1}},
};

const AxisMap& axisMapFor(BuildDirection up)
{
    for (const AxisMap& map : axisMaps)
        if (up == map.up) return map;
    throw InputError("unknown build direction " + std::to_string(static_cast<int>(up)));
}

} // namespace

std::string toString(BuildDirection up)
{
    return axisMapFor(up).name;
}

BuildDirection parseBuildDirection(const std::string& name)
{
    for (const AxisMap& map : axisMaps)
        if (name == map.name) return map.up;
    throw InputError("unknown build direction '" + name + "' (use +z, -z, +x, -x, +y or -y)");
}

const std::vector<std::string>& buildDirectionNames()
{
    static const std::vector<std::string> names = {"+z", "-z", "+x", "-x", "+y", "-y"};
    return names;
}

namespace detail {

UMatrix4<float> placementForUp(BuildDirection up)
{
    const AxisMap& map = axisMapFor(up);
    UMatrix4<float> m = UMatrix4<float>::scaling(0, 0, 0);
    m(3, 3) = 1;
    // p'[c] = sign[c] * p[source[c]]: with p' = p * M that is M(source[c], c) = sign[c].
    for (int c = 0; c < 3; ++c)
        m(map.source[c], c) = map.sign[c];
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

Rotation rotationForUp(BuildDirection up)
{
    const UMatrix4<float> m = placementForUp(up);
    Rotation r;
    // p'[c] = sum over k of p[k] * M(k, c), so row c of R is column c of M.
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            r.m[static_cast<std::size_t>(3 * c + k)] = m(k, c);
    return r;
}

} // namespace detail
} // namespace meshprobe
