// SPDX-License-Identifier: MIT
// Three-component vector of the host's geometry-types library.
#pragma once

#include <cmath>

template <typename T> class UVector3 {
public:
    UVector3() : v{T(0), T(0), T(0)} {}
    UVector3(T x, T y, T z) : v{x, y, z} {}

    T& operator[](int i) { return v[i]; }
    const T& operator[](int i) const { return v[i]; }

    T x() const { return v[0]; }
    T y() const { return v[1]; }
    T z() const { return v[2]; }

    UVector3 operator+(const UVector3& o) const { return {v[0] + o.v[0], v[1] + o.v[1], v[2] + o.v[2]}; }
    UVector3 operator-(const UVector3& o) const { return {v[0] - o.v[0], v[1] - o.v[1], v[2] - o.v[2]}; }
    UVector3 operator*(T s) const { return {v[0] * s, v[1] * s, v[2] * s}; }
    UVector3 operator/(T s) const { return {v[0] / s, v[1] / s, v[2] / s}; }
    /// Componentwise quotient.
    UVector3 operator/(const UVector3& o) const { return {v[0] / o.v[0], v[1] / o.v[1], v[2] / o.v[2]}; }
    bool operator==(const UVector3& o) const { return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2]; }
    bool operator!=(const UVector3& o) const { return !(*this == o); }

    T Dot(const UVector3& o) const { return v[0] * o.v[0] + v[1] * o.v[1] + v[2] * o.v[2]; }
    UVector3 Cross(const UVector3& o) const
    {
        return {v[1] * o.v[2] - v[2] * o.v[1], v[2] * o.v[0] - v[0] * o.v[2], v[0] * o.v[1] - v[1] * o.v[0]};
    }
    T Length() const { return std::sqrt(Dot(*this)); }

private:
    T v[3];
};
