// SPDX-License-Identifier: MIT
// Parts with known printability answers for each process rule, shared by the check's toolkit and tool tests.
#pragma once

#include "tests/support/TestMeshes.h"

namespace printparts {

using testmesh::Soup;

/// A 20 mm cube with a sealed 10 mm cube of air in its middle (walls 5 mm).
inline Soup sealedHollowBox()
{
    Soup s = testmesh::box(0, 0, 0, 20, 20, 20);
    s.appendFlipped(testmesh::box(5, 5, 5, 15, 15, 15));
    return s;
}

/// A 20 mm cube with a 12 x 12 mm pocket from z = 4 to its top: 2304 mm³ that open toward +z.
inline Soup cupOpeningUp()
{
    return testmesh::columns({0, 4, 16, 20}, {0, 4, 16, 20}, {20, 20, 20, 20, 4, 20, 20, 20, 20});
}

/// A 20 mm cube with a 12 x 12 mm square hole straight through along z: it drains either way up, and only
/// the build plate, closing one end, turns it into a cup (2880 mm³).
inline Soup tubeThroughZ()
{
    return testmesh::columns({0, 4, 16, 20}, {0, 4, 16, 20}, {20, 20, 20, 20, 0, 20, 20, 20, 20});
}

/// A 30 x 30 x 3 mm plate with two 20 mm long, 7 mm high fins standing on it: 0.3 mm and 0.7 mm thick.
inline Soup finPlate()
{
    return testmesh::columns({0, 10, 10.3f, 20, 20.7f, 30}, {0, 5, 25, 30},
                             {3, 3, 3, 3, 3, 3, 10, 3, 10, 3, 3, 3, 3, 3, 3});
}

inline Soup insideOutBox()
{
    Soup s;
    s.appendFlipped(testmesh::box(0, 0, 0, 20, 20, 20));
    return s;
}

inline Soup openBox()
{
    Soup s = testmesh::box(0, 0, 0, 20, 20, 20);
    s.indices.resize(s.indices.size() - 6); // one side gone
    return s;
}

} // namespace printparts
