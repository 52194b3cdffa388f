// SPDX-License-Identifier: MIT
// Welding of vertices with identical coordinates, shared by every import path so that they number alike.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace meshprobe::detail {

/// Gives each distinct position an ID in the order positions are first met; -0 and +0 weld.
class VertexWelder {
public:
    /// `path` prefixes the messages of the InputError thrown for NaN or infinite coordinates.
    /// `expectedVertices` sizes the table for weld() calls ahead (weldAll sizes its own).
    explicit VertexWelder(std::string meshPath, std::size_t expectedVertices = 0);

    /// The ID of (x, y, z), which must be finite.
    std::uint32_t weld(float x, float y, float z);

    /// The IDs weld() gives `count` finite positions (x, y, z each) met in this order, found on up to
    /// `threads` threads, on a welder that has welded nothing yet; the positions are then the welder's.
    std::vector<std::uint32_t> weldAll(const float* xyz, std::size_t count, int threads);

    static bool isFinite(float x, float y, float z);
    /// Throws the InputError for a NaN or infinite coordinate; `where` names the vertex ("vertex 7").
    [[noreturn]] void rejectCoordinate(float x, float y, float z, const std::string& where) const;

    /// The welded positions, x, y, z per ID; the welder is empty afterwards.
    std::vector<float> takePositions();

private:
    static std::size_t hash(float x, float y, float z);
    void grow();
    /// Sizes the table of an empty welder for `expectedVertices` at half load.
    void reserve(std::size_t expectedVertices);
    /// For each position of one hash part, the position where it is first met.
    static void findFirstUses(const float* xyz, std::size_t count, int part, int parts, std::uint32_t* first);

    std::string path;
    // Open addressing over the IDs (ID + 1; 0 marks a free slot), keys read from `positions`: one 4-byte
    // slot per entry instead of a node allocation, which makes welding a large part several times faster.
    std::vector<std::uint32_t> slots;
    std::size_t mask = 0;
    std::vector<float> positions;
    // The positions met last, by the low bits of their hash. Readers that repeat a shared vertex for every
    // face using it (Assimp's OFF reader does) meet it again a few faces later, while the table is large
    // enough that a lookup there misses the cache.
    struct Recent {
        float x, y, z;
        std::uint32_t id; ///< kNone while the entry is empty
    };
    static constexpr std::size_t kRecentEntries = 4096;
    static constexpr std::uint32_t kNone = ~0u;
    std::vector<Recent> recent;
};

} // namespace meshprobe::detail
