// SPDX-License-Identifier: MIT
// Bit tricks on one 32-bit word, shared by the voxel bit sets and the ray cast's child masks.
#pragma once

#include <cstdint>

namespace meshprobe {
namespace common {

/// Number of set bits (GCC/Clang builtins; plain loops elsewhere).
inline unsigned popCount(std::uint32_t v)
{
#if defined(__GNUC__)
    return static_cast<unsigned>(__builtin_popcount(v));
#else
    unsigned n = 0;
    for (; v; v &= v - 1)
        ++n;
    return n;
#endif
}

/// Position of the lowest set bit; v must not be 0.
inline unsigned lowestBit(std::uint32_t v)
{
#if defined(__GNUC__)
    return static_cast<unsigned>(__builtin_ctz(v));
#else
    unsigned n = 0;
    while (!(v & 1u)) {
        v >>= 1;
        ++n;
    }
    return n;
#endif
}

/// Position of the highest set bit; v must not be 0.
inline unsigned highestBit(std::uint32_t v)
{
#if defined(__GNUC__)
    return 31u - static_cast<unsigned>(__builtin_clz(v));
#else
    unsigned n = 0;
    while (v >>= 1)
        ++n;
    return n;
#endif
}

} // namespace common
} // namespace meshprobe
