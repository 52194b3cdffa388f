// SPDX-License-Identifier: MIT
// Jittered, relaxed sample patterns in the unit square: where the thickness rays start inside a face.
#pragma once

#include <cstdint>

namespace Analysis {

/// A sample position; coordinates are single precision throughout.
struct SamplePoint {
    float x;
    float y;
};

/// The 48-bit linear congruential generator of the POSIX drand48 family (same multiplier, increment
/// and seeding rule as srand48), kept local so that patterns do not depend on the C library's state.
class Rand48 {
public:
    explicit Rand48(std::int32_t seed)
        : state((static_cast<std::uint64_t>(static_cast<std::uint32_t>(seed)) << 16) + 0x330E)
    {
    }

    /// Next value in [0, 1): the top 31 of the 48 state bits scaled by 2^-31.
    double next()
    {
        state = (state * 0x5DEECE66DULL + 0xBULL) & ((1ULL << 48) - 1);
        return static_cast<double>(state >> 17) * (1.0 / 2147483648.0);
    }

private:
    std::uint64_t state;
};

/// Writes n points with both coordinates in [-0.5, 0.5): a jittered lattice pushed apart by relaxation
/// on the torus. The pattern depends only on n. n <= 0 writes nothing.
void jitterSamples(SamplePoint* points, int n);

/// One radial relaxation pass on the torus: each point moves away from every neighbour nearer than radius.
/// scratch holds n points; the result replaces points.
void relaxRadial(SamplePoint* points, SamplePoint* scratch, int n, float radius);

/// One axial relaxation pass on the torus: x and y are pushed apart separately.
/// scratch holds n points; the result replaces points.
void relaxAxial(SamplePoint* points, SamplePoint* scratch, int n, float radius);

} // namespace Analysis
