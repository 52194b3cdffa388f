// SPDX-License-Identifier: MIT
// Mesh export: flat meshes copied into an Assimp scene, written to a temporary file and renamed.
#include "meshprobe/Export.h"

#include <assimp/Exporter.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <cmath>
#include <map>
#include <memory>

#include "meshprobe/Error.h"
#include "meshprobe/Import.h"
#include "toolkit/src/io/AtomicFile.h"
#include "toolkit/src/io/ColouredMeshFiles.h"

namespace meshprobe {

namespace {

const char* assimpFormatId(MeshFileFormat format)
{
    switch (format) {
    case MeshFileFormat::Stl:
        return "stlb";
    case MeshFileFormat::Ply:
        return "ply"; // ASCII: Assimp 5.2 writes broken binary PLY face lists (coloured PLY is written here)
    case MeshFileFormat::Obj:
        return "objnomtl"; // no material library: a single self-contained file
    case MeshFileFormat::ThreeMf:
        return "3mf";
    case MeshFileFormat::Glb:
        return "glb2";
    }
    return "";
}

/// Per-corner colours (OBJ): `expandFaces` gives each face its own corners.
struct CornerColours {
    const std::vector<Rgba>* faceColours = nullptr;
};

/// OBJ keeps the float, so the byte's exact fraction reads back as the byte.
aiColor4D toAssimpColour(const Rgba& rgba)
{
    return aiColor4D(rgba[0] / 255.0f, rgba[1] / 255.0f, rgba[2] / 255.0f, rgba[3] / 255.0f);
}

aiVector3D corner(const MeshView& mesh, std::size_t face, int k)
{
    const float* p = mesh.vertices + 3 * std::size_t(mesh.triangles[3 * face + std::size_t(k)]);
    return aiVector3D(p[0], p[1], p[2]);
}

/// Copies a mesh into a new aiMesh. Without colours, vertices stay shared; with colours, every face gets
/// three corners of its own carrying the face's colour.
aiMesh* toAssimpMesh(const MeshView& mesh, const std::string& name, const CornerColours& colours)
{
    auto out = std::make_unique<aiMesh>();
    out->mName = name;
    out->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    out->mMaterialIndex = 0;
    const bool expand = colours.faceColours != nullptr;
    const size_t faceCount = mesh.triangleCount;
    out->mNumVertices = static_cast<unsigned>(expand ? 3 * faceCount : mesh.vertexCount);
    out->mVertices = new aiVector3D[out->mNumVertices];
    if (expand) {
        out->mColors[0] = new aiColor4D[out->mNumVertices];
        for (size_t f = 0; f < faceCount; ++f)
            for (int k = 0; k < 3; ++k) {
                out->mVertices[3 * f + k] = corner(mesh, f, k);
                out->mColors[0][3 * f + k] = toAssimpColour((*colours.faceColours)[f]);
            }
    } else {
        for (size_t v = 0; v < mesh.vertexCount; ++v)
            out->mVertices[v] = aiVector3D(mesh.vertices[3 * v], mesh.vertices[3 * v + 1], mesh.vertices[3 * v + 2]);
    }
    out->mNumFaces = static_cast<unsigned>(faceCount);
    out->mFaces = new aiFace[faceCount];
    for (size_t f = 0; f < faceCount; ++f) {
        aiFace& face = out->mFaces[f];
        face.mNumIndices = 3;
        face.mIndices = new unsigned[3];
        for (int k = 0; k < 3; ++k)
            face.mIndices[k] = expand ? static_cast<unsigned>(3 * f + k) : mesh.triangles[3 * f + size_t(k)];
    }
    return out.release();
}

/// A scene with one node per mesh under the root, and the one default material every exporter expects.
std::unique_ptr<aiScene> makeScene(std::vector<aiMesh*> meshes)
{
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("meshprobe");
    scene->mNumMaterials = 1;
    scene->mMaterials = new aiMaterial* [1] { new aiMaterial() };
    scene->mNumMeshes = static_cast<unsigned>(meshes.size());
    scene->mMeshes = new aiMesh*[meshes.size()];
    scene->mRootNode->mNumChildren = static_cast<unsigned>(meshes.size());
    scene->mRootNode->mChildren = new aiNode*[meshes.size()];
    for (size_t m = 0; m < meshes.size(); ++m) {
        scene->mMeshes[m] = meshes[m];
        auto* node = new aiNode(meshes[m]->mName.C_Str());
        node->mParent = scene->mRootNode;
        node->mNumMeshes = 1;
        node->mMeshes = new unsigned[1]{static_cast<unsigned>(m)};
        scene->mRootNode->mChildren[m] = node;
    }
    return scene;
}

/// glTF colour factors are linear; the colours given are sRGB bytes, as viewers show them.
float srgbToLinear(unsigned char byte)
{
    const float c = byte / 255.0f;
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

/// Assimp's glTF writer welds vertices by position alone, which would smear per-corner colours across
/// faces. Instead, the faces of each colour become one primitive with a material of that colour, in the
/// order the colours first appear; all primitives hang under one node.
std::unique_ptr<aiScene> makeColourGroupScene(const MeshView& mesh, const std::vector<Rgba>& faceColours)
{
    std::vector<Rgba> palette;
    std::map<Rgba, std::vector<size_t>> facesOf;
    for (size_t f = 0; f < faceColours.size(); ++f) {
        auto& faces = facesOf[faceColours[f]];
        if (faces.empty()) palette.push_back(faceColours[f]);
        faces.push_back(f);
    }
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("thickness");
    scene->mNumMaterials = scene->mNumMeshes = static_cast<unsigned>(palette.size());
    scene->mMaterials = new aiMaterial*[palette.size()];
    scene->mMeshes = new aiMesh*[palette.size()];
    scene->mRootNode->mNumMeshes = static_cast<unsigned>(palette.size());
    scene->mRootNode->mMeshes = new unsigned[palette.size()];
    for (size_t c = 0; c < palette.size(); ++c) {
        const Rgba& rgba = palette[c];
        auto* material = new aiMaterial();
        const aiColor4D linear(srgbToLinear(rgba[0]), srgbToLinear(rgba[1]), srgbToLinear(rgba[2]), rgba[3] / 255.0f);
        material->AddProperty(&linear, 1, AI_MATKEY_BASE_COLOR);
        material->AddProperty(&linear, 1, AI_MATKEY_COLOR_DIFFUSE);
        scene->mMaterials[c] = material;

        const std::vector<size_t>& faces = facesOf[rgba];
        auto* out = new aiMesh();
        out->mName = "thickness";
        out->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
        out->mMaterialIndex = static_cast<unsigned>(c);
        out->mNumVertices = static_cast<unsigned>(3 * faces.size());
        out->mVertices = new aiVector3D[out->mNumVertices];
        out->mNumFaces = static_cast<unsigned>(faces.size());
        out->mFaces = new aiFace[faces.size()];
        for (size_t i = 0; i < faces.size(); ++i) {
            out->mFaces[i].mNumIndices = 3;
            out->mFaces[i].mIndices = new unsigned[3];
            for (int k = 0; k < 3; ++k) {
                out->mVertices[3 * i + k] = corner(mesh, faces[i], k);
                out->mFaces[i].mIndices[k] = static_cast<unsigned>(3 * i + k);
            }
        }
        scene->mMeshes[c] = out;
        scene->mRootNode->mMeshes[c] = static_cast<unsigned>(c);
    }
    return scene;
}

void exportScene(const aiScene& scene, const std::string& path, MeshFileFormat format, const WriteOptions& options)
{
    detail::AtomicFile file(path, detail::AtomicFile::Writer::ByName);
    Assimp::Exporter exporter;
    // Every writer opens the temporary file by name (the 3MF writer cannot write to memory).
    if (exporter.Export(&scene, assimpFormatId(format), file.temporaryPath()) != AI_SUCCESS)
        throw Error("cannot write '" + path + "': " + exporter.GetErrorString());
    file.commit(options.progress);
}

} // namespace

MeshFileFormat meshFileFormatFor(const std::string& path)
{
    const std::string extension = lowerCaseExtension(path);
    if (extension == ".stl") return MeshFileFormat::Stl;
    if (extension == ".ply") return MeshFileFormat::Ply;
    if (extension == ".obj") return MeshFileFormat::Obj;
    if (extension == ".3mf") return MeshFileFormat::ThreeMf;
    if (extension == ".glb") return MeshFileFormat::Glb;
    throw InputError("unknown output format '" + (extension.empty() ? path : extension) +
                     "' (use .stl, .ply, .obj, .3mf or .glb)");
}

bool holdsFaceColours(MeshFileFormat format)
{
    return format != MeshFileFormat::Stl;
}

void writeMeshes(const std::string& path, const std::vector<NamedMesh>& meshes, const WriteOptions& options)
{
    const MeshFileFormat format = meshFileFormatFor(path);
    checkWritable(path);
    for (const NamedMesh& named : meshes)
        validate(named.mesh);
    std::vector<aiMesh*> converted;
    try {
        for (const NamedMesh& named : meshes)
            converted.push_back(toAssimpMesh(named.mesh, named.name, {}));
    } catch (...) {
        for (aiMesh* m : converted)
            delete m;
        throw;
    }
    const std::unique_ptr<aiScene> scene = makeScene(converted);
    exportScene(*scene, path, format, options);
}

void writeColouredMesh(const std::string& path, const MeshView& mesh, const std::vector<Rgba>& faceColours,
                       const WriteOptions& options)
{
    const MeshFileFormat format = meshFileFormatFor(path);
    if (!holdsFaceColours(format))
        throw InputError("'" + lowerCaseExtension(path) +
                         "' files cannot hold per-face colours (use .ply, .3mf, .glb or .obj)");
    checkWritable(path);
    validate(mesh);
    if (faceColours.size() != mesh.triangleCount)
        throw InputError(std::to_string(faceColours.size()) + " face colours given for " +
                         std::to_string(mesh.triangleCount) + " triangles");
    if (format == MeshFileFormat::Glb) {
        exportScene(*makeColourGroupScene(mesh, faceColours), path, format, options);
        return;
    }
    if (format == MeshFileFormat::Ply || format == MeshFileFormat::ThreeMf) {
        detail::AtomicFile file(path, format == MeshFileFormat::Ply ? detail::AtomicFile::Writer::Descriptor
                                                                    : detail::AtomicFile::Writer::ByName);
        if (format == MeshFileFormat::Ply) {
            const std::string bytes = detail::faceColouredPly(mesh, faceColours);
            file.write(bytes.data(), bytes.size());
        } else {
            detail::writeFaceColoured3mf(file.temporaryPath(), mesh, faceColours);
        }
        file.commit(options.progress);
        return;
    }
    CornerColours colours;
    colours.faceColours = &faceColours;
    const std::unique_ptr<aiScene> scene = makeScene({toAssimpMesh(mesh, "thickness", colours)});
    exportScene(*scene, path, format, options);
}

} // namespace meshprobe
