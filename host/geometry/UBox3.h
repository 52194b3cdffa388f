// SPDX-License-Identifier: MIT
// Axis-aligned box of the host's geometry-types library.
#pragma once

#include <limits>

#include "host/geometry/UPoint3.h"

template <typename T> class UBox3 {
public:
    /// An empty box: its minimum lies above its maximum until the first Add.
    UBox3()
        : lo{std::numeric_limits<T>::max(), std::numeric_limits<T>::max(), std::numeric_limits<T>::max()},
          hi{std::numeric_limits<T>::lowest(), std::numeric_limits<T>::lowest(), std::numeric_limits<T>::lowest()}
    {
    }

    void Add(const UPoint3<T>& p)
    {
        for (int k = 0; k < 3; ++k) {
            if (p[k] < lo[k]) lo[k] = p[k];
            if (p[k] > hi[k]) hi[k] = p[k];
        }
    }

    bool IsEmpty() const { return lo[0] > hi[0]; }

    T MinX() const { return lo[0]; }
    T MinY() const { return lo[1]; }
    T MinZ() const { return lo[2]; }
    T MaxX() const { return hi[0]; }
    T MaxY() const { return hi[1]; }
    T MaxZ() const { return hi[2]; }

private:
    T lo[3];
    T hi[3];
};
