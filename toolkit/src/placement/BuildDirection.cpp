// SPDX-License-Identifier: MIT
// Rotations that bring a chosen build direction onto +z.
#include "meshprobe/BuildDirection.h"

#include "meshprobe/Error.h"
#include "toolkit/src/placement/AnalysisFrame.h"

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

Rotation rotationForUp(BuildDirection up)
{
    const AxisMap& map = axisMapFor(up);
    Rotation r;
    r.m = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    // p'[c] = sign[c] * p[source[c]]: row c of R holds sign[c] in column source[c].
    for (int c = 0; c < 3; ++c)
        r.m[static_cast<std::size_t>(3 * c + map.source[c])] = map.sign[c];
    return r;
}

} // namespace detail
} // namespace meshprobe
