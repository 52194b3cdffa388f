// SPDX-License-Identifier: MIT
#include "toolkit/src/io/VertexWelder.h"

#include <cmath>

#include "meshprobe/Error.h"

namespace meshprobe::detail {

VertexWelder::VertexWelder(std::string meshPath, std::size_t expectedVertices) : path(std::move(meshPath))
{
    std::size_t capacity = 1024;
    while (capacity < 2 * expectedVertices)
        capacity *= 2;
    slots.assign(capacity, 0);
    mask = capacity - 1;
    positions.reserve(3 * expectedVertices);
    recent.assign(kRecentEntries, Recent{0.0f, 0.0f, 0.0f, kNone});
}

std::size_t VertexWelder::hash(float x, float y, float z)
{
    // +0.0f folds -0.0 onto 0.0, which compare equal and must hash alike.
    auto bits = [](float v) {
        std::uint32_t b;
        v += 0.0f;
        std::memcpy(&b, &v, sizeof b);
        return std::uint64_t(b);
    };
    const std::uint64_t h =
        (bits(x) * 0x9E3779B97F4A7C15ull) ^ (bits(y) * 0xC2B2AE3D27D4EB4Full) ^ (bits(z) * 0x165667B19E3779F9ull);
    return static_cast<std::size_t>(h ^ (h >> 29));
}

bool VertexWelder::isFinite(float x, float y, float z)
{
    return std::isfinite(x) && std::isfinite(y) && std::isfinite(z);
}

std::uint32_t VertexWelder::weld(float x, float y, float z)
{
    const std::size_t h = hash(x, y, z);
    Recent& last = recent[h & (kRecentEntries - 1)];
    if (last.id != kNone && last.x == x && last.y == y && last.z == z) return last.id;
    for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t entry = slots[slot];
        if (entry == 0) {
            const auto id = static_cast<std::uint32_t>(positions.size() / 3);
            positions.insert(positions.end(), {x, y, z});
            slots[slot] = id + 1;
            if (2 * (id + 1) > slots.size()) grow();
            last = {x, y, z, id};
            return id;
        }
        const float* p = &positions[3 * std::size_t(entry - 1)];
        if (p[0] == x && p[1] == y && p[2] == z) {
            last = {x, y, z, entry - 1};
            return entry - 1;
        }
    }
}

void VertexWelder::grow()
{
    slots.assign(2 * slots.size(), 0);
    mask = slots.size() - 1;
    const std::size_t count = positions.size() / 3;
    for (std::size_t id = 0; id < count; ++id) {
        const float* p = &positions[3 * id];
        std::size_t slot = hash(p[0], p[1], p[2]) & mask;
        while (slots[slot] != 0)
            slot = (slot + 1) & mask;
        slots[slot] = static_cast<std::uint32_t>(id + 1);
    }
}

void VertexWelder::rejectCoordinate(float x, float y, float z, const std::string& where) const
{
    const bool isNan = std::isnan(x) || std::isnan(y) || std::isnan(z);
    throw InputError(path + ": " + where + " has " + (isNan ? "a NaN" : "an infinite") + " coordinate");
}

std::vector<float> VertexWelder::takePositions()
{
    slots = {};
    recent = {};
    mask = 0;
    return std::move(positions);
}

} // namespace meshprobe::detail
