// SPDX-License-Identifier: MIT
// First-in first-out queue of voxel indices on a ring that doubles when full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace meshprobe {
namespace trap {

/// The breadth-first cavity walks push and pop an entry per face step of millions of voxels; a ring does
/// that with one index update each, where std::deque checks its block bounds every time. Entries are voxel
/// coordinates packed 21 bits each (see pack), so that taking one costs no division.
class VoxelQueue {
public:
    using Entry = std::uint64_t;

    static Entry pack(std::uint32_t x, std::uint32_t y, std::uint32_t z)
    {
        return (static_cast<Entry>(x) << 42) | (static_cast<Entry>(y) << 21) | z;
    }
    static std::uint32_t coordinate(Entry e, int axis)
    {
        return static_cast<std::uint32_t>(e >> (42 - 21 * axis)) & 0x1FFFFF;
    }

    explicit VoxelQueue(Entry first) { push(first); }

    bool empty() const { return head == tail; }

    void push(Entry voxel)
    {
        if (tail - head == slots.size()) grow();
        slots[tail++ & (slots.size() - 1)] = voxel;
    }

    Entry pop() { return slots[head++ & (slots.size() - 1)]; }

private:
    void grow()
    {
        std::vector<Entry> larger(2 * slots.size());
        const std::size_t count = tail - head;
        for (std::size_t k = 0; k < count; ++k)
            larger[k] = slots[(head + k) & (slots.size() - 1)];
        slots.swap(larger);
        head = 0;
        tail = count;
    }

    std::vector<Entry> slots = std::vector<Entry>(1024); // size a power of two
    std::size_t head = 0;
    std::size_t tail = 0;
};

} // namespace trap
} // namespace meshprobe
