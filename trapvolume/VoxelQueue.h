// SPDX-License-Identifier: MIT
// First-in first-out queue of voxel indices on a ring that doubles when full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace meshprobe {
namespace trap {

/// The breadth-first cavity walks push and pop an entry per face step of millions of voxels; a ring of
/// 32-bit slots does that with one index update each, where std::deque checks its block bounds every time.
class VoxelQueue {
public:
    explicit VoxelQueue(std::uint32_t first) { push(first); }

    bool empty() const { return head == tail; }

    void push(std::uint32_t voxel)
    {
        if (tail - head == slots.size()) grow();
        slots[tail++ & (slots.size() - 1)] = voxel;
    }

    std::uint32_t pop() { return slots[head++ & (slots.size() - 1)]; }

private:
    void grow()
    {
        std::vector<std::uint32_t> larger(2 * slots.size());
        const std::size_t count = tail - head;
        for (std::size_t k = 0; k < count; ++k)
            larger[k] = slots[(head + k) & (slots.size() - 1)];
        slots.swap(larger);
        head = 0;
        tail = count;
    }

    std::vector<std::uint32_t> slots = std::vector<std::uint32_t>(1024); // size a power of two
    std::size_t head = 0;
    std::size_t tail = 0;
};

} // namespace trap
} // namespace meshprobe
