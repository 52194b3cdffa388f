// SPDX-License-Identifier: MIT
// Two directions across a given one: the frame a hole's rim or a cone of directions is laid out in.
#pragma once

#include <array>
#include <cmath>
#include <utility>

namespace meshprobe::detail {

/// Two unit vectors across the unit direction d and across each other: u from the x axis (the y axis for d
/// near x) with its part along d removed, and v = d × u.
inline std::pair<std::array<double, 3>, std::array<double, 3>> across(const std::array<double, 3>& d)
{
    std::array<double, 3> u = std::fabs(d[0]) < 0.9 ? std::array<double, 3>{1, 0, 0} : std::array<double, 3>{0, 1, 0};
    const double dot = u[0] * d[0] + u[1] * d[1] + u[2] * d[2];
    for (int k = 0; k < 3; ++k)
        u[k] -= dot * d[k];
    const double length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u)
        c /= length;
    return {u, {d[1] * u[2] - d[2] * u[1], d[2] * u[0] - d[0] * u[2], d[0] * u[1] - d[1] * u[0]}};
}

} // namespace meshprobe::detail
