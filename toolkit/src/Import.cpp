// SPDX-License-Identifier: MIT
// Mesh file import: file checks, Assimp scene reading, merging and vertex welding.
#include "meshprobe/Import.h"

#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <minizip/unzip.h>
#include <regex>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

#include "meshprobe/Error.h"

namespace meshprobe {

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

/// A binary STL announces its triangle count in bytes 80..83; a file shorter than 84 + 50 * count bytes
/// was cut off. Files that start with "solid" and do not match the binary size are ASCII STL.
void checkStlSize(const std::string& path, std::uint64_t fileSize)
{
    std::ifstream in(path, std::ios::binary);
    char header[84] = {};
    in.read(header, sizeof header);
    const std::streamsize got = in.gcount();
    std::uint32_t count = 0;
    if (got == 84) {
        const auto* b = reinterpret_cast<const unsigned char*>(header + 80);
        count = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
        if (fileSize == 84 + 50ull * count) return;
    }
    size_t start = 0;
    while (start < static_cast<size_t>(got) && std::isspace(static_cast<unsigned char>(header[start])))
        ++start;
    if (static_cast<size_t>(got) - start >= 5 && std::strncmp(header + start, "solid", 5) == 0) return;
    if (got < 84)
        throw InputError(path + ": truncated STL: " + std::to_string(fileSize) +
                         " bytes, shorter than the 84-byte binary header");
    if (fileSize < 84 + 50ull * count)
        throw InputError(path + ": truncated STL: the header announces " + std::to_string(count) + " triangles (" +
                         std::to_string(84 + 50ull * count) + " bytes) but the file has " + std::to_string(fileSize) +
                         " bytes");
}

void checkFile(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) throw InputError(path + ": no such file");
    if (S_ISDIR(info.st_mode)) throw InputError(path + ": is a folder, not a mesh file");
    if (!std::ifstream(path, std::ios::binary)) throw InputError(path + ": cannot open the file for reading");
    if (info.st_size == 0) throw InputError(path + ": the file is empty");
    const std::string extension = lowerCaseExtension(path);
    if (extension.empty()) throw InputError(path + ": no file extension; cannot tell the mesh format");
    if (!isReadableMeshExtension(extension))
        throw InputError(path + ": unknown mesh format '" + extension + "' (use .stl, .obj, .ply, .off, .3mf, ...)");
    if (extension == ".stl") checkStlSize(path, static_cast<std::uint64_t>(info.st_size));
}

struct PositionKey {
    float x, y, z;
    bool operator==(const PositionKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct PositionHash {
    size_t operator()(const PositionKey& k) const
    {
        // +0.0f folds -0.0 onto 0.0, which compare equal and must hash alike.
        auto bits = [](float v) {
            std::uint32_t b;
            v += 0.0f;
            std::memcpy(&b, &v, sizeof b);
            return size_t(b);
        };
        return bits(k.x) * 73856093u ^ bits(k.y) * 19349663u ^ bits(k.z) * 83492791u;
    }
};

/// Merges the scene's meshes into flat arrays, welding vertices with identical coordinates. A vertex gets
/// its ID when first met in the meshes' own vertex lists, so files that share vertices (PLY, OFF, OBJ)
/// keep their numbering as far as welding and dropping unused vertices allow.
class SceneMerger {
public:
    explicit SceneMerger(const std::string& meshPath) : path(meshPath) {}

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
        Mesh mesh;
        mesh.vertices = std::move(positions);
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
        std::vector<std::uint32_t> idOfLocal(mesh.mNumVertices, 0);
        const bool identity = transform.IsIdentity();
        for (unsigned v = 0; v < mesh.mNumVertices; ++v)
            if (used[v]) idOfLocal[v] = weld(identity ? mesh.mVertices[v] : transform * mesh.mVertices[v], mesh, v);
        for (unsigned f = 0; f < mesh.mNumFaces; ++f)
            if (isTriangle(mesh.mFaces[f]))
                for (int k = 0; k < 3; ++k)
                    indices.push_back(idOfLocal[mesh.mFaces[f].mIndices[k]]);
    }

    std::uint32_t weld(const aiVector3D& p, const aiMesh& mesh, unsigned vertex)
    {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            const bool isNan = std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z);
            std::string where = "vertex " + std::to_string(vertex);
            if (mesh.mName.length > 0) where += " of mesh '" + std::string(mesh.mName.C_Str()) + "'";
            throw InputError(path + ": " + where + " has " + (isNan ? "a NaN" : "an infinite") + " coordinate");
        }
        const auto inserted = idOf.emplace(PositionKey{p.x, p.y, p.z}, static_cast<std::uint32_t>(idOf.size()));
        if (inserted.second) positions.insert(positions.end(), {p.x, p.y, p.z});
        return inserted.first->second;
    }

    const std::string& path;
    std::unordered_map<PositionKey, std::uint32_t, PositionHash> idOf;
    std::vector<float> positions;
    std::vector<std::uint32_t> indices;
};

} // namespace

std::string lowerCaseExtension(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

bool isReadableMeshExtension(const std::string& extension)
{
    if (extension.empty() || extension == ".") return false;
    return Assimp::Importer().IsExtensionSupported(extension[0] == '.' ? extension : "." + extension);
}

Mesh loadMesh(const std::string& path, const LoadOptions& options)
{
    checkFile(path);
    Assimp::Importer importer;
    ForwardedProgress* progress = nullptr;
    if (options.progress) {
        progress = new ForwardedProgress(options.progress);
        importer.SetProgressHandler(progress); // the importer owns and deletes it
    }
    // Triangulate splits polygons in place (fans), so triangle order and winding follow the file.
    const aiScene* scene = importer.ReadFile(path, aiProcess_Triangulate);
    if (progress && progress->cancelled) throw Cancelled();
    // A last word for the caller: Assimp does not report every read to its end.
    if (options.progress && !options.progress(100.0f)) throw Cancelled();
    if (!scene || !scene->mRootNode) {
        std::string reason = importer.GetErrorString();
        if (reason.empty()) reason = "Assimp could not read it";
        throw InputError(path + ": cannot read the mesh: " + reason);
    }
    const std::string fileUnit = declaredUnit(path);
    const double scale = millimetresPerUnit(fileUnit.empty() ? options.assumedUnit : fileUnit);
    SceneMerger merger(path);
    merger.addNode(*scene, *scene->mRootNode, aiMatrix4x4());
    Mesh mesh = merger.build();
    if (scale != 1.0)
        for (float& c : mesh.vertices) {
            c = static_cast<float>(c * scale);
            if (!std::isfinite(c)) throw InputError(path + ": coordinates in millimetres exceed single precision");
        }
    return mesh;
}

double millimetresPerUnit(const std::string& unit)
{
    static const std::pair<const char*, double> units[] = {
        {"mm", 1.0},         {"cm", 10.0},         {"m", 1000.0},     {"in", 25.4},   {"micron", 0.001},
        {"millimeter", 1.0}, {"centimeter", 10.0}, {"meter", 1000.0}, {"inch", 25.4}, {"foot", 304.8}};
    for (const auto& known : units)
        if (unit == known.first) return known.second;
    throw InputError("unknown length unit '" + unit + "' (use mm, cm, m or in)");
}

std::string declaredUnit(const std::string& path)
{
    if (lowerCaseExtension(path) != ".3mf") return "";
    // The unit is an attribute of the model element at the top of the model part: the first few kilobytes.
    unzFile zip = unzOpen64(path.c_str());
    if (!zip) return "";
    std::string head;
    if (unzLocateFile(zip, "3D/3dmodel.model", 2) == UNZ_OK && unzOpenCurrentFile(zip) == UNZ_OK) {
        char chunk[4096];
        const int got = unzReadCurrentFile(zip, chunk, sizeof chunk);
        if (got > 0) head.assign(chunk, static_cast<size_t>(got));
        unzCloseCurrentFile(zip);
    }
    unzClose(zip);
    std::smatch unit;
    if (!std::regex_search(head, unit, std::regex("<model[^>]*\\sunit=\"([A-Za-z]*)\""))) return "millimeter";
    try {
        millimetresPerUnit(unit[1]);
    } catch (const InputError&) {
        throw InputError(path + ": unknown unit \"" + std::string(unit[1]) + "\" in the 3MF model");
    }
    return unit[1];
}

} // namespace meshprobe
