// SPDX-License-Identifier: MIT
// Point of the host's geometry-types library.
#pragma once

#include "host/geometry/UMatrix4.h"

template <typename T> class UPoint3 {
public:
    UPoint3() : v{T(0), T(0), T(0)} {}
    UPoint3(T x, T y, T z) : v{x, y, z} {}

    T& operator[](int i) { return v[i]; }
    const T& operator[](int i) const { return v[i]; }

    T X() const { return v[0]; }
    T Y() const { return v[1]; }
    T Z() const { return v[2]; }

    bool operator==(const UPoint3& o) const { return v[0] == o.v[0] && v[1] == o.v[1] && v[2] == o.v[2]; }

    /// The point transformed by an affine matrix (row vector times matrix; the projective column is ignored).
    UPoint3 operator*(const UMatrix4<T>& m) const
    {
        UPoint3 r;
        for (int c = 0; c < 3; ++c)
            r.v[c] = v[0] * m(0, c) + v[1] * m(1, c) + v[2] * m(2, c) + m(3, c);
        return r;
    }

private:
    T v[3];
};
