// SPDX-License-Identifier: MIT
// Voxel bit sets: arrays of 32-bit atomic words, with single-bit and word-wide range access.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "common/BitOps.h"

namespace meshprobe {
namespace trap {

using common::highestBit;
using common::lowestBit;
using common::popCount;

/// Releases an array made with new[]: the grid's arrays are held through shared pointers, which would
/// otherwise free them with plain delete.
template <typename T> struct ArrayDeleter {
    void operator()(T* p) const { delete[] p; }
};

using VoxelWord = std::atomic<unsigned>;
using VoxelBitSet = std::shared_ptr<VoxelWord>;

/// A bit set of `wordCount` zeroed words.
inline VoxelBitSet makeVoxelBitSet(std::uint32_t wordCount)
{
    // Value-initialisation zeroes the words (the atomic's default constructor is trivial).
    return VoxelBitSet(new VoxelWord[wordCount](), ArrayDeleter<VoxelWord>());
}

// Memory order: every access is relaxed. Within a loop bits are only ever added (fetch_or), each reader
// re-checks a bit before acting on it, and the barrier that ends every parallel loop orders the writes
// for whatever runs next; no other data is published through the bits.

constexpr int kWordBits = 32;

/// Length of the chunk from z0 up to zLast inclusive, at most one word.
inline unsigned chunkLength(int z0, int zLast)
{
    return static_cast<unsigned>(zLast - z0 + 1 < kWordBits ? zLast - z0 + 1 : kWordBits);
}

/// Mask of the `count` low bits, count in 0..32.
inline std::uint32_t lowMask(unsigned count)
{
    return count >= 32 ? ~0u : (1u << count) - 1u;
}

inline bool testBit(const VoxelWord* bits, std::uint32_t index)
{
    return (bits[index >> 5].load(std::memory_order_relaxed) >> (index & 31)) & 1u;
}

inline void setBit(VoxelWord* bits, std::uint32_t index)
{
    bits[index >> 5].fetch_or(1u << (index & 31), std::memory_order_relaxed);
}

/// Bits first .. first+count-1 (count 1..32) as the low bits of the result. The following word is read
/// only when the range reaches into it, so a range ending on the last voxel never reads past the set.
inline std::uint32_t loadBits(const VoxelWord* bits, std::uint32_t first, unsigned count)
{
    const std::uint32_t word = first >> 5;
    const unsigned shift = first & 31;
    std::uint32_t value = bits[word].load(std::memory_order_relaxed) >> shift;
    if (shift + count > 32) value |= bits[word + 1].load(std::memory_order_relaxed) << (32 - shift);
    return value & lowMask(count);
}

/// Sets `bits` in one word. A word that already holds them is only read: the locked read-modify-write costs
/// many times a load, and the line walks set mostly bits that an earlier walk set (bits are never cleared
/// while a step runs, so a word seen complete stays complete).
inline void orWord(VoxelWord& word, std::uint32_t bits)
{
    if ((word.load(std::memory_order_relaxed) & bits) != bits) word.fetch_or(bits, std::memory_order_relaxed);
}

/// Sets the bits of `mask` (bit k means bit first+k; only the `count` low bits may be set).
inline void orBits(VoxelWord* bits, std::uint32_t first, unsigned count, std::uint32_t mask)
{
    const std::uint32_t word = first >> 5;
    const unsigned shift = first & 31;
    const std::uint32_t low = mask << shift;
    if (low) orWord(bits[word], low);
    if (shift + count > 32) {
        const std::uint32_t high = mask >> (32 - shift);
        if (high) orWord(bits[word + 1], high);
    }
}

/// Sets every bit of the inclusive range first..last.
inline void orRange(VoxelWord* bits, std::uint32_t first, std::uint32_t last)
{
    for (std::uint32_t begin = first; begin <= last;) {
        const unsigned count = static_cast<unsigned>(last - begin + 1 < 32 ? last - begin + 1 : 32);
        orBits(bits, begin, count, lowMask(count));
        begin += count;
    }
}

/// Number of set bits among first .. first+count-1.
inline unsigned countBits(const VoxelWord* bits, std::uint32_t first, std::uint32_t count)
{
    unsigned total = 0;
    for (std::uint32_t done = 0; done < count;) {
        const unsigned chunk = count - done < 32 ? count - done : 32;
        total += popCount(loadBits(bits, first + done, chunk));
        done += chunk;
    }
    return total;
}

} // namespace trap
} // namespace meshprobe
