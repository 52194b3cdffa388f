// SPDX-License-Identifier: MIT
// A packet of parallel rays (one face's thickness rays share the face's inward normal) walked through a
// face tree together: every node record is read once for the whole packet, and each ray performs
// exactly the slab and leaf tests that its own radius-0 cast (castFaceRay) would perform, in the same
// order, so that each ray ends with the same face and the same distance, bit for bit.
#pragma once

#include <cstdint>

#include "analysis/FaceTree.h"

namespace Analysis {

/// Most rays in one packet.
constexpr int maxPacketRays = 32;

/// What a packet cast found for each of its rays, all cast with the same limit.
struct FacePacketHits {
    int count = 0;
    float limit = 0.0f;
    int face[maxPacketRays];       ///< face list position of the nearest hit, -1 for none
    float distance[maxPacketRays]; ///< its distance (the limit for none)
    /// Where a smaller limit could have changed this ray's walk (see rayHitAt): the span from the lowest
    /// accepted distance that lay below a bound entry on its path up to the highest such entry. Empty
    /// (low = +inf) for almost every ray.
    float suspectLow[maxPacketRays];
    float suspectHigh[maxPacketRays];
};

/// Vector instruction set of a packet cast: the widest the processor has, or SSE2 alone.
enum class PacketLanes { widest, sse };

/// Casts `count` (1..maxPacketRays) rays from `origins` (three floats each) along one `direction`, each
/// looking as far as `limit`: the result of castFaceRay(origin, direction, radius 0, limit) for every ray.
/// Returns false, with nothing cast, where the packet walk does not apply (more rays than a packet
/// holds, a tree of another branching factor, a zero direction, no vector unit); the caller then casts
/// ray by ray.
bool castFacePacket(const FaceTree& faceTree, const float* origins, int count, const float direction[3], float limit,
                    FacePacketHits& hits, PacketLanes lanes = PacketLanes::widest);

/// Ray `ray`'s castFaceRay result for a smaller limit `limit` (not above hits.limit): the hit face's list
/// position and distance, or -1 for no hit. Returns false when the packet's walk does not decide it, so
/// that the ray must be cast again on its own with that limit.
bool rayHitAt(const FacePacketHits& hits, int ray, float limit, int& face, float& distance);

} // namespace Analysis
