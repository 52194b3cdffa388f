// SPDX-License-Identifier: MIT
// Open-addressing hash set of voxel indices: the "already queued" set of a triangle flood.
#pragma once

#include <cstdint>
#include <vector>

namespace meshprobe {
namespace trap {

/// Linear probing over a power-of-two table, grown at half load. 0xFFFFFFFF marks an empty slot: no
/// voxel index reaches it, since a grid holds fewer than 2^31 voxels.
class QueuedVoxelSet {
public:
    explicit QueuedVoxelSet(std::uint32_t expected = 64) { slots.assign(capacityFor(expected), kEmpty); }

    /// Adds the index; returns false when it was already present.
    bool insert(std::uint32_t index)
    {
        if (2 * (count + 1) > slots.size()) grow();
        if (!place(slots, index)) return false;
        ++count;
        return true;
    }

    bool contains(std::uint32_t index) const
    {
        const std::size_t mask = slots.size() - 1;
        for (std::size_t s = hash(index) & mask;; s = (s + 1) & mask) {
            if (slots[s] == index) return true;
            if (slots[s] == kEmpty) return false;
        }
    }

    std::size_t size() const { return count; }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

    static std::size_t capacityFor(std::uint32_t expected)
    {
        std::size_t capacity = 16;
        while (capacity < 2 * static_cast<std::size_t>(expected))
            capacity *= 2;
        return capacity;
    }

    // Fibonacci hashing spreads the runs of neighbouring indices a flood produces.
    static std::size_t hash(std::uint32_t index)
    {
        return static_cast<std::size_t>((index * 0x9E3779B97F4A7C15ull) >> 29);
    }

    static bool place(std::vector<std::uint32_t>& table, std::uint32_t index)
    {
        const std::size_t mask = table.size() - 1;
        for (std::size_t s = hash(index) & mask;; s = (s + 1) & mask) {
            if (table[s] == index) return false;
            if (table[s] == kEmpty) {
                table[s] = index;
                return true;
            }
        }
    }

    void grow()
    {
        std::vector<std::uint32_t> larger(slots.size() * 2, kEmpty);
        for (std::uint32_t index : slots)
            if (index != kEmpty) place(larger, index);
        slots.swap(larger);
    }

    std::vector<std::uint32_t> slots;
    std::size_t count = 0;
};

} // namespace trap
} // namespace meshprobe
