// SPDX-License-Identifier: MIT
#include "toolkit/src/io/VertexWelder.h"

#include <cmath>
#include <exception>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "meshprobe/Error.h"

namespace meshprobe::detail {

VertexWelder::VertexWelder(std::string meshPath, std::size_t expectedVertices) : path(std::move(meshPath))
{
    reserve(expectedVertices);
    recent.assign(kRecentEntries, Recent{0.0f, 0.0f, 0.0f, kNone});
}

void VertexWelder::reserve(std::size_t expectedVertices)
{
    std::size_t capacity = 1024;
    while (capacity < 2 * expectedVertices)
        capacity *= 2;
    if (capacity <= slots.size()) return;
    slots.assign(capacity, 0);
    mask = capacity - 1;
    positions.reserve(3 * expectedVertices);
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

std::vector<std::uint32_t> VertexWelder::weldAll(const float* xyz, std::size_t count, int threads)
{
    if (!positions.empty()) throw std::logic_error("weldAll on a welder that has welded already");
    std::vector<std::uint32_t> ids(count);
    // Below this, a thread costs more than it saves.
    constexpr std::size_t minPositionsForThreads = 200000;
    const int parts = count < minPositionsForThreads ? 1 : std::max(1, std::min(threads, 4));
    if (parts == 1) {
        reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            ids[i] = weld(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
        return ids;
    }
    // Equal positions hash alike, so each one's first use is found within its hash part, each part on a
    // thread of its own. The IDs then follow the first uses in order, as weld() would give them.
    std::vector<std::uint32_t> first(count);
    {
        // A part whose thread cannot start runs on the calling thread; an allocation that fails on a helper
        // is rethrown here.
        std::vector<std::exception_ptr> failures(static_cast<std::size_t>(parts));
        auto runPart = [&](int part) {
            try {
                findFirstUses(xyz, count, part, parts, first.data());
            } catch (...) {
                failures[static_cast<std::size_t>(part)] = std::current_exception();
            }
        };
        std::vector<std::thread> helpers;
        helpers.reserve(static_cast<std::size_t>(parts - 1));
        std::vector<int> leftOver;
        leftOver.reserve(static_cast<std::size_t>(parts - 1));
        for (int part = 1; part < parts; ++part) {
            try {
                helpers.emplace_back(runPart, part);
            } catch (const std::system_error&) {
                leftOver.push_back(part);
            }
        }
        runPart(0);
        for (const int part : leftOver)
            runPart(part);
        for (std::thread& helper : helpers)
            helper.join();
        for (const std::exception_ptr& failure : failures)
            if (failure) std::rethrow_exception(failure);
    }
    slots = {};
    recent = {};
    std::uint32_t next = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (first[i] == i) {
            ids[i] = next++;
            positions.insert(positions.end(), {xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]});
        } else {
            ids[i] = ids[first[i]];
        }
    }
    return ids;
}

void VertexWelder::findFirstUses(const float* xyz, std::size_t count, int part, int parts, std::uint32_t* first)
{
    // Open addressing over position numbers + 1 (0 marks a free slot), grown at half full.
    std::vector<std::uint32_t> table(1024, 0);
    std::size_t mask = table.size() - 1;
    std::size_t entries = 0;
    const auto partOf = [parts](std::size_t h) {
        return static_cast<int>((h >> 40) % static_cast<std::size_t>(parts));
    };
    const auto insert = [&](std::uint32_t i, std::size_t h) {
        std::size_t slot = h & mask;
        while (table[slot] != 0)
            slot = (slot + 1) & mask;
        table[slot] = i + 1;
    };
    for (std::size_t i = 0; i < count; ++i) {
        const float* p = xyz + 3 * i;
        const std::size_t h = hash(p[0], p[1], p[2]);
        if (partOf(h) != part) continue;
        for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
            const std::uint32_t entry = table[slot];
            if (entry == 0) {
                table[slot] = static_cast<std::uint32_t>(i + 1);
                first[i] = static_cast<std::uint32_t>(i);
                if (2 * ++entries > table.size()) {
                    std::vector<std::uint32_t> old(2 * table.size(), 0);
                    old.swap(table);
                    mask = table.size() - 1;
                    for (const std::uint32_t e : old)
                        if (e != 0) {
                            const float* q = xyz + 3 * std::size_t(e - 1);
                            insert(e - 1, hash(q[0], q[1], q[2]));
                        }
                }
                break;
            }
            const float* q = xyz + 3 * std::size_t(entry - 1);
            if (q[0] == p[0] && q[1] == p[1] && q[2] == p[2]) {
                first[i] = entry - 1;
                break;
            }
        }
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
