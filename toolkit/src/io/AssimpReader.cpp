// SPDX-License-Identifier: MIT
#include "toolkit/src/io/AssimpReader.h"

#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "meshprobe/Error.h"
#include "toolkit/src/io/VertexWelder.h"

namespace meshprobe::detail {

namespace {

/// Forwards Assimp's reading progress to the caller; Assimp abandons the read when Update returns false.
class ForwardedProgress : public Assimp::ProgressHandler {
public:
    explicit ForwardedProgress(ProgressCallback callback) : progress(std::move(callback)) {}

    bool Update(float fraction) override
    {
        // Assimp passes -1 when it cannot tell; report nothing then, but still let the caller cancel.
        cancelled = cancelled || !progress(fraction < 0.0f ? lastPercent : (lastPercent = 100.0f * fraction));
        return !cancelled;
    }

    bool cancelled = false;

private:
    ProgressCallback progress;
    float lastPercent = 0.0f;
};

/// Merges the scene's meshes into flat arrays, welding vertices with identical coordinates. A vertex gets
/// its ID when first met in the meshes' own vertex lists, so files that share vertices (PLY, OFF, OBJ)
/// keep their numbering as far as welding and dropping unused vertices allow.
class SceneMerger {
public:
    /// The positions are welded at the end, all at once: on several threads for a large part.
    SceneMerger(const std::string& meshPath, std::size_t expectedVertices, std::size_t expectedFaces, int threads)
        : path(meshPath), welder(meshPath), weldThreads(threads)
    {
        met.reserve(3 * expectedVertices);
        indices.reserve(3 * expectedFaces);
    }

    /// Depth-first walk of the node tree: each node's meshes in order, then its children, with the
    /// accumulated node transform applied.
    void addNode(const aiScene& scene, const aiNode& node, const aiMatrix4x4& parent)
    {
        const aiMatrix4x4 transform = parent * node.mTransformation;
        for (unsigned m = 0; m < node.mNumMeshes; ++m)
            addMesh(*scene.mMeshes[node.mMeshes[m]], transform);
        for (unsigned c = 0; c < node.mNumChildren; ++c)
            addNode(scene, *node.mChildren[c], transform);
    }

    Mesh build()
    {
        if (indices.empty()) throw InputError(path + ": the file contains no triangles");
        const std::vector<std::uint32_t> ids = welder.weldAll(met.data(), met.size() / 3, weldThreads);
        met = {};
        for (std::uint32_t& index : indices)
            index = ids[index];
        Mesh mesh;
        mesh.vertices = welder.takePositions();
        mesh.triangles = std::move(indices);
        return mesh;
    }

private:
    static bool isTriangle(const aiFace& face) { return face.mNumIndices == 3; } // points and lines are skipped

    void addMesh(const aiMesh& mesh, const aiMatrix4x4& transform)
    {
        std::vector<bool> used(mesh.mNumVertices, false);
        for (unsigned f = 0; f < mesh.mNumFaces; ++f)
            if (isTriangle(mesh.mFaces[f]))
                for (int k = 0; k < 3; ++k) {
                    const unsigned v = mesh.mFaces[f].mIndices[k];
                    if (v >= mesh.mNumVertices)
                        throw InputError(path + ": face " + std::to_string(f) + " refers to vertex " +
                                         std::to_string(v) + ", but there are only " +
                                         std::to_string(mesh.mNumVertices));
                    used[v] = true;
                }
        // Each used vertex is numbered in the order met; the numbers become welded IDs in build().
        std::vector<std::uint32_t> idOfLocal(mesh.mNumVertices, 0);
        const bool identity = transform.IsIdentity();
        for (unsigned v = 0; v < mesh.mNumVertices; ++v)
            if (used[v]) {
                const aiVector3D p = identity ? mesh.mVertices[v] : transform * mesh.mVertices[v];
                if (!VertexWelder::isFinite(p.x, p.y, p.z)) welder.rejectCoordinate(p.x, p.y, p.z, vertexName(mesh, v));
                idOfLocal[v] = static_cast<std::uint32_t>(met.size() / 3);
                met.insert(met.end(), {p.x, p.y, p.z});
            }
        for (unsigned f = 0; f < mesh.mNumFaces; ++f)
            if (isTriangle(mesh.mFaces[f]))
                for (int k = 0; k < 3; ++k)
                    indices.push_back(idOfLocal[mesh.mFaces[f].mIndices[k]]);
    }

    static std::string vertexName(const aiMesh& mesh, unsigned vertex)
    {
        std::string where = "vertex " + std::to_string(vertex);
        if (mesh.mName.length > 0) where += " of mesh '" + std::string(mesh.mName.C_Str()) + "'";
        return where;
    }

    const std::string& path;
    VertexWelder welder;
    int weldThreads;
    std::vector<float> met; ///< the used vertices' positions in the order met, x, y, z each
    std::vector<std::uint32_t> indices;
};

/// Assimp's polygon triangulation takes seconds on a face with tens of thousands of corners and then
/// returns fewer triangles than the polygon needs: such faces are refused before it runs.
constexpr unsigned largestPolygon = 1000;

void rejectHugePolygons(const std::string& path, const aiScene& scene)
{
    for (unsigned m = 0; m < scene.mNumMeshes; ++m)
        for (unsigned f = 0; f < scene.mMeshes[m]->mNumFaces; ++f)
            if (scene.mMeshes[m]->mFaces[f].mNumIndices > largestPolygon)
                throw InputError(path + ": face " + std::to_string(f) + " is a polygon of " +
                                 std::to_string(scene.mMeshes[m]->mFaces[f].mNumIndices) +
                                 " corners; polygons of more than " + std::to_string(largestPolygon) +
                                 " corners are not supported");
}

} // namespace

Mesh readWithAssimp(const std::string& path, const ProgressCallback& progress, bool keepScene, int weldThreads)
{
    auto owned = std::make_unique<Assimp::Importer>();
    Assimp::Importer& importer = *owned;
    ForwardedProgress* forwarded = nullptr;
    if (progress) {
        forwarded = new ForwardedProgress(progress);
        importer.SetProgressHandler(forwarded); // the importer owns and deletes it
    }
    const aiScene* scene = importer.ReadFile(path, 0);
    if (forwarded && forwarded->cancelled) throw Cancelled();
    if (scene) rejectHugePolygons(path, *scene);
    // Triangulate splits polygons in place, so triangle order and winding follow the file.
    if (scene) scene = importer.ApplyPostProcessing(aiProcess_Triangulate);
    if (forwarded && forwarded->cancelled) throw Cancelled();
    if (!scene || !scene->mRootNode) {
        std::string reason = importer.GetErrorString();
        if (reason.empty()) reason = "Assimp could not read it";
        throw InputError(path + ": cannot read the mesh: " + reason);
    }
    std::size_t vertexCount = 0;
    std::size_t faceCount = 0;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        vertexCount += scene->mMeshes[m]->mNumVertices;
        faceCount += scene->mMeshes[m]->mNumFaces;
    }
    SceneMerger merger(path, vertexCount, faceCount, weldThreads);
    merger.addNode(*scene, *scene->mRootNode, aiMatrix4x4());
    Mesh mesh = merger.build();
    // Kept: no destructor frees the scene (a failed read frees it as usual; that path is not the slow one).
    if (keepScene) static_cast<void>(owned.release());
    return mesh;
}

} // namespace meshprobe::detail
