// SPDX-License-Identifier: MIT
// Writes meshes with Assimp, atomically: one named object per mesh, or one mesh with a colour per face.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "common/HostMesh.h"

namespace cli {

/// The output formats, chosen by the file extension.
enum class MeshFileFormat { Stl, Ply, Obj, ThreeMf, Glb };

/// The format for an output path; InputError naming the option when the extension is unknown or, with
/// `needsFaceColours`, when the format cannot hold colours (.ply, .glb and .obj can).
MeshFileFormat outputFormatFor(const std::string& path, const std::string& option, bool needsFaceColours);

struct NamedMesh {
    std::string name;
    const UMesh<float>* mesh;
};

/// Writes the meshes into one file, each a named object where the format has names (OBJ groups, glTF
/// nodes); STL and PLY hold them as one merged surface.
void writeMeshes(const std::string& path, const std::vector<NamedMesh>& meshes);

/// Writes a mesh with one sRGB colour per face. PLY and OBJ give every face three corners of its own, each
/// carrying the face's colour (PLY as uchar red/green/blue/alpha vertex properties, OBJ as colours after
/// the position); glTF groups the faces by colour, one primitive and material per colour.
void writeColouredMesh(const std::string& path, const UMesh<float>& mesh,
                       const std::vector<std::array<unsigned char, 4>>& faceColours);

} // namespace cli
