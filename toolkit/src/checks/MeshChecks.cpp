// SPDX-License-Identifier: MIT
// Mesh soundness checks (edges, shells, winding, zero-area faces, precision) and the winding repair.
#include "meshprobe/MeshChecks.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <queue>
#include <string>
#include <utility>
#include <vector>

namespace meshprobe {

namespace {

std::uint64_t edgeKey(std::uint32_t a, std::uint32_t b)
{
    return (std::uint64_t(std::min(a, b)) << 32) | std::max(a, b);
}

/// One face's use of an undirected edge, filed under the edge's lower end.
struct EdgeUse {
    std::uint32_t upper; ///< the edge's higher end
    std::uint32_t face;
};

/// Runs edge `k` of face `f` from corner k to corner k+1.
std::pair<std::uint32_t, std::uint32_t> edgeOf(const MeshView& m, std::size_t f, int k)
{
    return {m.triangles[3 * f + k], m.triangles[3 * f + (k + 1) % 3]};
}

/// The faces on each undirected edge (edges from a vertex to itself left out), grouped by the edge's lower
/// end and sorted by its higher end: the faces of one edge are one run, in face order, and the edges come in
/// edgeKey order. 8 bytes per face edge plus 4 per vertex, filled by a counting sort in linear time: a scan
/// has millions of edge uses, and a comparison sort of 16-byte keys dominated the checks.
struct EdgeUses {
    std::vector<std::uint32_t> start; ///< uses of lower end v: uses[start[v] .. start[v + 1])
    std::vector<EdgeUse> uses;

    explicit EdgeUses(const MeshView& m) : start(m.vertexCount + 1, 0)
    {
        for (std::size_t f = 0; f < m.triangleCount; ++f)
            for (int k = 0; k < 3; ++k) {
                const auto [a, b] = edgeOf(m, f, k);
                if (a != b) ++start[std::min(a, b) + 1];
            }
        for (std::size_t v = 0; v < m.vertexCount; ++v)
            start[v + 1] += start[v];
        uses.resize(start[m.vertexCount]);
        // Filled in face order, with start[v] running ahead as the fill point of v, then set back.
        for (std::size_t f = 0; f < m.triangleCount; ++f)
            for (int k = 0; k < 3; ++k) {
                const auto [a, b] = edgeOf(m, f, k);
                if (a != b) uses[start[std::min(a, b)]++] = {std::max(a, b), static_cast<std::uint32_t>(f)};
            }
        for (std::size_t v = m.vertexCount; v > 0; --v)
            start[v] = start[v - 1];
        start[0] = 0;
        // Each lower end's uses by higher end; stable, so each edge's faces stay in face order.
        const auto byUpper = [](const EdgeUse& l, const EdgeUse& r) { return l.upper < r.upper; };
        for (std::size_t v = 0; v < m.vertexCount; ++v) {
            EdgeUse* first = uses.data() + start[v];
            EdgeUse* last = uses.data() + start[v + 1];
            if (last - first > 32) {
                std::stable_sort(first, last, byUpper);
                continue;
            }
            // A vertex has a handful of edges: insertion sort.
            for (EdgeUse* i = first + 1; i < last; ++i) {
                const EdgeUse use = *i;
                EdgeUse* j = i;
                for (; j > first && use.upper < (j - 1)->upper; --j)
                    *j = *(j - 1);
                *j = use;
            }
        }
    }

    /// visit(key, first, count) for each edge in edgeKey order, first pointing at its `count` uses.
    template <typename Visit> void forEachEdge(Visit&& visit) const
    {
        for (std::size_t v = 0; v + 1 < start.size(); ++v)
            for (std::uint32_t begin = start[v]; begin < start[v + 1];) {
                std::uint32_t end = begin + 1;
                while (end < start[v + 1] && uses[end].upper == uses[begin].upper)
                    ++end;
                visit(edgeKey(static_cast<std::uint32_t>(v), uses[begin].upper), &uses[begin], end - begin);
                begin = end;
            }
    }

    /// The uses of one edge.
    std::pair<const EdgeUse*, std::size_t> of(std::uint64_t key) const
    {
        const auto lower = static_cast<std::uint32_t>(key >> 32);
        const auto upper = static_cast<std::uint32_t>(key);
        const EdgeUse* last = uses.data() + start[lower + 1];
        const EdgeUse* first = std::lower_bound(uses.data() + start[lower], last, upper,
                                                [](const EdgeUse& use, std::uint32_t u) { return use.upper < u; });
        const EdgeUse* end = first;
        while (end != last && end->upper == upper)
            ++end;
        return {first, static_cast<std::size_t>(end - first)};
    }
};

/// True when face f runs the edge a -> b (rather than b -> a).
bool runsForward(const std::uint32_t* triangles, std::size_t f, std::uint32_t a, std::uint32_t b)
{
    for (int k = 0; k < 3; ++k)
        if (triangles[3 * f + k] == a && triangles[3 * f + (k + 1) % 3] == b) return true;
    return false;
}

/// Edge-connected shells: a shell index per face (faces that share an edge are in one shell).
std::vector<std::uint32_t> shellsOf(const MeshView& m, const EdgeUses& uses, std::size_t& count)
{
    std::vector<std::uint32_t> parent(m.triangleCount);
    std::iota(parent.begin(), parent.end(), 0u);
    auto find = [&](std::uint32_t i) {
        while (parent[i] != i)
            i = parent[i] = parent[parent[i]];
        return i;
    };
    uses.forEachEdge([&](std::uint64_t, const EdgeUse* faces, std::size_t faceCount) {
        for (std::size_t i = 1; i < faceCount; ++i)
            parent[find(faces[i].face)] = find(faces[0].face);
    });
    std::vector<std::uint32_t> shell(m.triangleCount);
    // Shells numbered in the order of their first face.
    constexpr std::uint32_t unnumbered = ~std::uint32_t{0};
    std::vector<std::uint32_t> number(m.triangleCount, unnumbered);
    count = 0;
    for (std::size_t f = 0; f < m.triangleCount; ++f) {
        std::uint32_t& n = number[find(static_cast<std::uint32_t>(f))];
        if (n == unnumbered) n = static_cast<std::uint32_t>(count++);
        shell[f] = n;
    }
    return shell;
}

struct ShellFacts {
    double volume = 0.0; // signed, divergence theorem
    std::array<double, 3> lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    int depth = 0; // how many other shells' boxes hold this one
};

std::vector<ShellFacts> shellFacts(const MeshView& m, const std::uint32_t* triangles,
                                   const std::vector<std::uint32_t>& shell, std::size_t shells)
{
    std::vector<ShellFacts> facts(shells);
    for (std::size_t f = 0; f < m.triangleCount; ++f) {
        ShellFacts& s = facts[shell[f]];
        const float* p[3];
        for (int k = 0; k < 3; ++k) {
            p[k] = m.vertices + 3 * std::size_t(triangles[3 * f + k]);
            for (int a = 0; a < 3; ++a) {
                s.lo[a] = std::min(s.lo[a], double(p[k][a]));
                s.hi[a] = std::max(s.hi[a], double(p[k][a]));
            }
        }
        const double a[3] = {p[0][0], p[0][1], p[0][2]}, b[3] = {p[1][0], p[1][1], p[1][2]},
                     c[3] = {p[2][0], p[2][1], p[2][2]};
        s.volume += (a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
                     a[2] * (b[0] * c[1] - b[1] * c[0])) /
                    6.0;
    }
    // A shell whose box lies inside another shell's box is taken as nested in it (a void, or a body in a
    // void): boxes are cheap and right for the hollow parts this is about. A triangle soup or a scan full
    // of specks holds hundreds of thousands of shells, and comparing every pair would take hours; beyond a
    // budget of pairs only the largest shells (by the sum of their box extents) are taken as possible
    // containers. The real bodies and voids of such a mesh are among them.
    constexpr std::size_t pairBudget = 20'000'000;
    const auto extentSum = [&](std::size_t s) {
        return (facts[s].hi[0] - facts[s].lo[0]) + (facts[s].hi[1] - facts[s].lo[1]) +
               (facts[s].hi[2] - facts[s].lo[2]);
    };
    std::vector<std::size_t> bySize(shells);
    std::iota(bySize.begin(), bySize.end(), std::size_t{0});
    std::stable_sort(bySize.begin(), bySize.end(),
                     [&](std::size_t a, std::size_t b) { return extentSum(a) > extentSum(b); });
    const std::size_t containers =
        std::min(shells, std::max<std::size_t>(64, pairBudget / std::max<std::size_t>(shells, 1)));
    for (std::size_t i = 0; i < shells; ++i)
        for (std::size_t c = 0; c < containers; ++c) {
            const std::size_t j = bySize[c];
            // A box holding another is at least as large on every axis, so at least as large in sum (the
            // rounded sums keep that order): no later shell can hold this one.
            if (extentSum(j) < extentSum(i)) break;
            if (i == j) continue;
            bool inside = true;
            for (int a = 0; a < 3; ++a)
                inside = inside && facts[j].lo[a] <= facts[i].lo[a] && facts[i].hi[a] <= facts[j].hi[a];
            const bool sameBox = facts[i].lo == facts[j].lo && facts[i].hi == facts[j].hi;
            if (inside && (!sameBox || j < i)) ++facts[i].depth;
        }
    return facts;
}

/// Shells whose enclosed volume has the wrong sign for their nesting depth.
std::vector<bool> insideOut(const std::vector<ShellFacts>& facts)
{
    std::vector<bool> wrong(facts.size());
    for (std::size_t s = 0; s < facts.size(); ++s)
        wrong[s] = (facts[s].depth % 2 == 0) ? facts[s].volume < 0.0 : facts[s].volume > 0.0;
    return wrong;
}

/// Parts larger than this many times their shortest edge are beyond single precision. The analyses run on
/// float coordinates centred on the part's box, whose steps there are about 6e-8 of its size; a million
/// times the shortest edge puts that edge within some 16 of those steps, where its direction, and the
/// thickness rays' small steps off its faces, no longer hold.
constexpr double kPrecisionSpan = 1e6;

/// The longest side of the view's box, and its shortest edge of non-zero length (0 when it has none).
std::pair<double, double> spanAndShortestEdge(const MeshView& mesh)
{
    if (mesh.vertexCount == 0) return {0.0, 0.0};
    double lo[3], hi[3];
    for (int k = 0; k < 3; ++k)
        lo[k] = hi[k] = mesh.vertices[k];
    for (std::size_t v = 0; v < mesh.vertexCount; ++v)
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], double(mesh.vertices[3 * v + k]));
            hi[k] = std::max(hi[k], double(mesh.vertices[3 * v + k]));
        }
    const double span = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    double shortestSquared = 0.0;
    for (std::size_t t = 0; t < 3 * mesh.triangleCount; ++t) {
        const float* a = mesh.vertices + 3 * std::size_t(mesh.triangles[t]);
        const float* b = mesh.vertices + 3 * std::size_t(mesh.triangles[t % 3 == 2 ? t - 2 : t + 1]);
        const double d[3] = {double(b[0]) - a[0], double(b[1]) - a[1], double(b[2]) - a[2]};
        const double squared = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        if (squared > 0.0 && (shortestSquared == 0.0 || squared < shortestSquared)) shortestSquared = squared;
    }
    return {span, std::sqrt(shortestSquared)};
}

std::string plural(std::size_t n, const std::string& one, const std::string& many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

} // namespace

std::vector<MeshWarning> checkMesh(const MeshView& mesh)
{
    validate(mesh);
    const EdgeUses uses(mesh);
    const std::uint32_t* triangles = mesh.triangles;
    std::size_t open = 0, nonManifold = 0, inconsistent = 0;
    uses.forEachEdge([&](std::uint64_t key, const EdgeUse* faces, std::size_t count) {
        if (count == 1) ++open;
        if (count > 2) ++nonManifold;
        if (count == 2) {
            const auto a = std::uint32_t(key >> 32), b = std::uint32_t(key);
            if (runsForward(triangles, faces[0].face, a, b) == runsForward(triangles, faces[1].face, a, b))
                ++inconsistent;
        }
    });
    std::size_t shells = 0;
    const auto shell = shellsOf(mesh, uses, shells);
    const auto facts = shellFacts(mesh, triangles, shell, shells);
    const auto wrong = insideOut(facts);
    const auto flippedShells = static_cast<std::size_t>(std::count(wrong.begin(), wrong.end(), true));
    std::size_t bodies = 0;
    for (const ShellFacts& s : facts)
        bodies += s.depth == 0;
    std::size_t zeroArea = 0;
    for (std::size_t f = 0; f < mesh.triangleCount; ++f) {
        const float* p[3];
        for (int k = 0; k < 3; ++k)
            p[k] = mesh.vertices + 3 * std::size_t(triangles[3 * f + k]);
        const double u[3] = {double(p[1][0]) - p[0][0], double(p[1][1]) - p[0][1], double(p[1][2]) - p[0][2]};
        const double v[3] = {double(p[2][0]) - p[0][0], double(p[2][1]) - p[0][1], double(p[2][2]) - p[0][2]};
        const double n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        zeroArea += n[0] == 0.0 && n[1] == 0.0 && n[2] == 0.0;
    }

    std::vector<MeshWarning> warnings;
    if (open)
        warnings.push_back({"open-edges", open,
                            "the mesh has holes: " + plural(open, "edge is", "edges are") +
                                " used by one face only; trapped volumes of an open mesh may be meaningless"});
    if (nonManifold)
        warnings.push_back({"non-manifold-edges", nonManifold,
                            plural(nonManifold, "edge is", "edges are") + " shared by three or more faces"});
    if (inconsistent)
        warnings.push_back({"inconsistent-winding", inconsistent,
                            plural(inconsistent, "edge joins faces", "edges join faces") +
                                " wound in opposite directions (some faces point the wrong way)"});
    if (flippedShells)
        warnings.push_back({"inside-out", flippedShells,
                            plural(flippedShells, "shell is", "shells are") +
                                " inside out (enclosed volume of the wrong sign): faces point into the material; "
                                "reverse their winding"});
    if (bodies > 1)
        warnings.push_back(
            {"several-bodies", bodies,
             "the mesh holds " + std::to_string(bodies) + " separate bodies; they are analysed together as one part"});
    if (zeroArea)
        warnings.push_back({"zero-area-faces", zeroArea, plural(zeroArea, "face has", "faces have") + " zero area"});
    const auto [span, shortest] = spanAndShortestEdge(mesh);
    if (shortest > 0.0 && span > kPrecisionSpan * shortest) {
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.3g million", span / shortest / 1e6);
        warnings.push_back({"beyond-single-precision", 1,
                            std::string("the part is ") + ratio +
                                " times as large as its shortest edge: single-precision coordinates cannot "
                                "resolve its smallest features, so thickness and trapped volumes there may be "
                                "wrong; analyse the region of interest on its own"});
    }
    return warnings;
}

WindingFix fixWinding(const MeshView& mesh)
{
    validate(mesh);
    WindingFix fix;
    fix.mesh.vertices.assign(mesh.vertices, mesh.vertices + 3 * mesh.vertexCount);
    fix.mesh.triangles.assign(mesh.triangles, mesh.triangles + 3 * mesh.triangleCount);
    std::vector<std::uint32_t>& triangles = fix.mesh.triangles;
    const EdgeUses uses(mesh);
    std::vector<bool> flipped(mesh.triangleCount, false), seen(mesh.triangleCount, false);
    auto flip = [&](std::size_t f) {
        std::swap(triangles[3 * f + 1], triangles[3 * f + 2]);
        flipped[f] = !flipped[f];
    };
    // Flood each shell from its first face across edges with exactly two faces; a neighbour that runs the
    // shared edge the same way gets reversed.
    for (std::size_t seed = 0; seed < mesh.triangleCount; ++seed) {
        if (seen[seed]) continue;
        std::queue<std::size_t> queue;
        queue.push(seed);
        seen[seed] = true;
        while (!queue.empty()) {
            const std::size_t f = queue.front();
            queue.pop();
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t a = triangles[3 * f + k], b = triangles[3 * f + (k + 1) % 3];
                if (a == b) continue;
                const auto [faces, count] = uses.of(edgeKey(a, b));
                if (count != 2) continue;
                const std::size_t g = faces[0].face == f ? faces[1].face : faces[0].face;
                if (seen[g]) continue;
                seen[g] = true;
                if (runsForward(triangles.data(), g, a, b)) flip(g);
                queue.push(g);
            }
        }
    }
    const MeshView consistent = fix.mesh.view();
    std::size_t shells = 0;
    const auto shell = shellsOf(consistent, uses, shells);
    const auto wrong = insideOut(shellFacts(consistent, triangles.data(), shell, shells));
    for (std::size_t f = 0; f < mesh.triangleCount; ++f)
        if (wrong[shell[f]]) flip(f);
    fix.flippedFaces = static_cast<std::size_t>(std::count(flipped.begin(), flipped.end(), true));
    return fix;
}

} // namespace meshprobe
