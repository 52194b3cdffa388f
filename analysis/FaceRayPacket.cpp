// SPDX-License-Identifier: MIT
// The packet walk of parallel rays through a face tree.
//
// Rays of one direction share the sign of every direction component, so they share the near and far
// slab planes and the child order at every branch: the depth-first order of the single-ray walk is one
// order for the whole packet. The walk keeps, per ray, an active mask bit on every stack entry, its own
// node keys and its own nearest hit. A node is entered by a ray exactly when that ray's own slab test
// against its own current hit passes, computed with the same operations as the single-ray walk (one
// ray per vector lane instead of one child per lane), and a leaf is tested for a ray exactly when the
// single-ray walk would test it. Each ray therefore meets the same leaves in the same order with the
// same distances, and keeps the same face: ties and all.
//
// What is only for speed cannot change what a ray does:
//   - A branch's children are first tested against the whole packet at once with the packet's origin
//     box. (b - o) * r rounds monotonically in o, so the lowest and highest origin bound every ray's
//     slab distances exactly; a child is dropped only when every ray's own test must miss it.
//   - Each node record and each leaf's corners are read once for all rays, and fetched ahead as soon as
//     the walk knows it may visit them.
//   - A waiting node's rays are checked against their hits again only when some ray has taken a hit
//     since the node's test (a key below the hit then is below it still).
//   - Children with ordered bounds skip the check for lanes that need the scalar slab test when every
//     ray's slab distances are finite: (b - o) * r then rounds monotonically in b, so no lane can need it.
#include "analysis/FaceRayPacket.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "analysis/KdopTreeWalk.h"

// AVX2 is chosen at run time where the processor has it (GCC and Clang on x86-64); SSE2 otherwise.
#if MESHPROBE_KDOP_SSE && (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#include <immintrin.h>
#define MESHPROBE_PACKET_AVX2 1
#else
#define MESHPROBE_PACKET_AVX2 0
#endif

namespace Analysis {

bool rayHitAt(const FacePacketHits& hits, int ray, float limit, int& face, float& distance)
{
    // A smaller limit prunes more of the walk; that changes the ray's answer only through a hit that
    // lay below a bound entry which the smaller limit would no longer enter (rounding at a leaf bound).
    // The packet records the span of such hits; outside it the answer follows from the packet's own.
    const bool sameWalk = limit == hits.limit;
    if (!sameWalk && hits.suspectLow[ray] < limit && limit <= hits.suspectHigh[ray]) return false;
    if (hits.face[ray] >= 0 && hits.distance[ray] < limit) {
        face = hits.face[ray];
        distance = hits.distance[ray];
    } else {
        face = -1;
        distance = limit;
    }
    return true;
}

#if MESHPROBE_KDOP_SSE
namespace {

constexpr int recordWidth = 8; // the face tree's branching factor, and so its record width
// At most (recordWidth - 1) entries wait per level, plus the one being expanded; fewer than 32 levels.
constexpr int packetStackSize = (recordWidth - 1) * 32 + 1;
constexpr float infinity = std::numeric_limits<float>::infinity();

/// Four rays per SSE register.
struct SseLanes {
    using Reg = __m128;
    static constexpr int width = 4;
    static constexpr std::uint32_t fullMask = 15u;
    static Reg load(const float* p) { return _mm_load_ps(p); }
    static Reg loadu(const float* p) { return _mm_loadu_ps(p); }
    static void store(float* p, Reg a) { _mm_store_ps(p, a); }
    static Reg set1(float x) { return _mm_set1_ps(x); }
    static Reg zero() { return _mm_setzero_ps(); }
    static Reg allOnes() { return _mm_castsi128_ps(_mm_set1_epi32(-1)); }
    static Reg add(Reg a, Reg b) { return _mm_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm_mul_ps(a, b); }
    static Reg div(Reg a, Reg b) { return _mm_div_ps(a, b); }
    static Reg min(Reg a, Reg b) { return _mm_min_ps(a, b); }
    static Reg max(Reg a, Reg b) { return _mm_max_ps(a, b); }
    static Reg gt(Reg a, Reg b) { return _mm_cmpgt_ps(a, b); }
    static Reg lt(Reg a, Reg b) { return _mm_cmplt_ps(a, b); }
    static Reg ge(Reg a, Reg b) { return _mm_cmpge_ps(a, b); }
    static Reg le(Reg a, Reg b) { return _mm_cmple_ps(a, b); }
    static Reg eq(Reg a, Reg b) { return _mm_cmpeq_ps(a, b); }
    static Reg nle(Reg a, Reg b) { return _mm_cmpnle_ps(a, b); }
    static Reg bitAnd(Reg a, Reg b) { return _mm_and_ps(a, b); }
    static Reg bitOr(Reg a, Reg b) { return _mm_or_ps(a, b); }
    static Reg andNot(Reg a, Reg b) { return _mm_andnot_ps(a, b); }
    static Reg select(Reg m, Reg a, Reg b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
    static std::uint32_t mask(Reg a) { return static_cast<std::uint32_t>(_mm_movemask_ps(a)); }
    /// The largest of the four lanes, none of them NaN.
    static float largestLane(Reg a)
    {
        const Reg pairs = _mm_max_ps(a, _mm_movehl_ps(a, a));
        return _mm_cvtss_f32(_mm_max_ss(pairs, _mm_shuffle_ps(pairs, pairs, 1)));
    }
    static Reg laneMask(std::uint32_t bits)
    {
        const __m128i lanes = _mm_set_epi32(8, 4, 2, 1);
        const __m128i set = _mm_and_si128(_mm_set1_epi32(static_cast<int>(bits)), lanes);
        return _mm_castsi128_ps(_mm_cmpeq_epi32(set, lanes));
    }
};

namespace sse {
#include "analysis/FaceRayPacketWalk.h"
} // namespace sse

#if MESHPROBE_PACKET_AVX2
// Everything defined from here to the matching pop may use AVX2 (without FMA, so that no multiply and add
// fuse); it only runs where the processor reports AVX2.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

/// Eight rays per AVX register; the compares are the ordered, quiet ones of the SSE forms.
struct AvxLanes {
    using Reg = __m256;
    static constexpr int width = 8;
    static constexpr std::uint32_t fullMask = 255u;
    static Reg load(const float* p) { return _mm256_load_ps(p); }
    static Reg loadu(const float* p) { return _mm256_loadu_ps(p); }
    static void store(float* p, Reg a) { _mm256_store_ps(p, a); }
    static Reg set1(float x) { return _mm256_set1_ps(x); }
    static Reg zero() { return _mm256_setzero_ps(); }
    static Reg allOnes() { return _mm256_castsi256_ps(_mm256_set1_epi32(-1)); }
    static Reg add(Reg a, Reg b) { return _mm256_add_ps(a, b); }
    static Reg sub(Reg a, Reg b) { return _mm256_sub_ps(a, b); }
    static Reg mul(Reg a, Reg b) { return _mm256_mul_ps(a, b); }
    static Reg div(Reg a, Reg b) { return _mm256_div_ps(a, b); }
    static Reg min(Reg a, Reg b) { return _mm256_min_ps(a, b); }
    static Reg max(Reg a, Reg b) { return _mm256_max_ps(a, b); }
    static Reg gt(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static Reg lt(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static Reg ge(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }
    static Reg le(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    static Reg eq(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
    static Reg nle(Reg a, Reg b) { return _mm256_cmp_ps(a, b, _CMP_NLE_UQ); }
    static Reg bitAnd(Reg a, Reg b) { return _mm256_and_ps(a, b); }
    static Reg bitOr(Reg a, Reg b) { return _mm256_or_ps(a, b); }
    static Reg andNot(Reg a, Reg b) { return _mm256_andnot_ps(a, b); }
    static Reg select(Reg m, Reg a, Reg b) { return _mm256_blendv_ps(b, a, m); }
    static std::uint32_t mask(Reg a) { return static_cast<std::uint32_t>(_mm256_movemask_ps(a)); }
    static float largestLane(Reg a)
    {
        return SseLanes::largestLane(_mm_max_ps(_mm256_castps256_ps128(a), _mm256_extractf128_ps(a, 1)));
    }
    static Reg laneMask(std::uint32_t bits)
    {
        const __m256i lanes = _mm256_set_epi32(128, 64, 32, 16, 8, 4, 2, 1);
        const __m256i set = _mm256_and_si256(_mm256_set1_epi32(static_cast<int>(bits)), lanes);
        return _mm256_castsi256_ps(_mm256_cmpeq_epi32(set, lanes));
    }
};

namespace avx {
#include "analysis/FaceRayPacketWalk.h"
} // namespace avx

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif

} // namespace
#endif

bool castFacePacket(const FaceTree& faceTree, const float* origins, int count, const float direction[3], float limit,
                    FacePacketHits& hits, PacketLanes lanes)
{
#if MESHPROBE_KDOP_SSE
    if (!faceTree.tree || faceTree.tree->slabWidth != recordWidth || count < 1 || count > maxPacketRays) return false;
    if (direction[0] == 0.0f && direction[1] == 0.0f && direction[2] == 0.0f) return false;
#if MESHPROBE_PACKET_AVX2
    if (lanes == PacketLanes::widest && __builtin_cpu_supports("avx2")) {
        if (count <= 8)
            avx::castPacket<AvxLanes, 1>(faceTree, origins, count, direction, limit, hits);
        else if (count <= 16)
            avx::castPacket<AvxLanes, 2>(faceTree, origins, count, direction, limit, hits);
        else
            avx::castPacket<AvxLanes, 4>(faceTree, origins, count, direction, limit, hits);
        return true;
    }
#endif
    if (count <= 8)
        sse::castPacket<SseLanes, 2>(faceTree, origins, count, direction, limit, hits);
    else if (count <= 16)
        sse::castPacket<SseLanes, 4>(faceTree, origins, count, direction, limit, hits);
    else
        sse::castPacket<SseLanes, 8>(faceTree, origins, count, direction, limit, hits);
    return true;
#else
    (void)faceTree;
    (void)origins;
    (void)count;
    (void)direction;
    (void)limit;
    (void)hits;
    (void)lanes;
    return false;
#endif
}

} // namespace Analysis
