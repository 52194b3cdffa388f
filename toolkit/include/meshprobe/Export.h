// SPDX-License-Identifier: MIT
// Writing meshes to files (with Assimp), atomically: a reader never sees a half-written file.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"

namespace meshprobe {

/// The output formats, chosen by the file extension: .stl (binary), .ply (ASCII), .obj (no material
/// library), .3mf, .glb (binary glTF 2).
enum class MeshFileFormat { Stl, Ply, Obj, ThreeMf, Glb };

/// The format for an output path, by its extension (any case).
/// @throw InputError "unknown output format '.xyz' (use .stl, .ply, .obj, .3mf or .glb)"
MeshFileFormat meshFileFormatFor(const std::string& path);

/// True for the formats writeColouredMesh can write: .ply, .3mf, .glb and .obj.
bool holdsFaceColours(MeshFileFormat format);

/// Checks before any long work that a file can be created at `path`: not a folder, its folder exists
/// and is writable. The message starts with "cannot write 'path': " or names the folder.
/// @throw InputError
void checkWritable(const std::string& path);

/// Removes the temporary files of output writes still in progress on any thread, and blocks further
/// writes from completing: for a program about to end at once (a second Ctrl-C, a watchdog), so that it
/// leaves no partial file behind. Call it only right before _exit.
void discardPartialOutputs();

/// An sRGB colour with alpha, one byte per channel.
using Rgba = std::array<std::uint8_t, 4>;

/// A mesh to write and the name of its object in the file.
struct NamedMesh {
    std::string name;
    MeshView mesh;
};

struct WriteOptions {
    /// Called with 100 once the file is complete and before it replaces the target; returning false
    /// leaves the target untouched and throws Cancelled.
    ProgressCallback progress;
};

/// Writes the meshes into one file, each a named object where the format has names (OBJ groups, glTF
/// nodes; Assimp's 3MF writer drops them; STL and PLY hold one merged surface). Vertices stay shared.
/// The file is written to a temporary file beside `path` and renamed over it when complete; on any
/// failure nothing is left behind. An empty list writes a file without triangles.
/// @throw InputError unknown extension, folder missing or not writable
/// @throw Error when the writer fails; Cancelled (see WriteOptions)
void writeMeshes(const std::string& path, const std::vector<NamedMesh>& meshes, const WriteOptions& options = {});

/// Writes a mesh with one colour per face, atomically like writeMeshes. PLY: binary little-endian, shared
/// vertices, uchar red/green/blue/alpha face properties. 3MF: one core base material per colour, each
/// triangle referring to its own (pid/p1). OBJ gives every face three corners of its own with colours after
/// the position; glTF groups the faces by colour, one primitive and material per colour in the order the
/// colours first appear.
/// @param faceColours  one colour per face, in face order
/// @throw InputError unknown extension or a format without colours, folder missing or not writable,
///        faceColours of the wrong size
/// @throw Error when the writer fails; Cancelled (see WriteOptions)
void writeColouredMesh(const std::string& path, const MeshView& mesh, const std::vector<Rgba>& faceColours,
                       const WriteOptions& options = {});

/// Writes `bytes` to `path` atomically like writeMeshes, for files in a caller's own format (a report page,
/// a JSON document): a temporary file beside `path`, renamed over it when complete. The file gets the
/// permissions a plain creat() gives (0666 less the umask). A program that ends through
/// discardPartialOutputs leaves no temporary file of it behind.
/// @throw InputError folder missing or not writable
/// @throw Error when the disk refuses the data; Cancelled (see WriteOptions)
void writeFileAtomically(const std::string& path, std::string_view bytes, const WriteOptions& options = {});

} // namespace meshprobe
