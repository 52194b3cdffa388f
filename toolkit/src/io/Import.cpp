// SPDX-License-Identifier: MIT
// Mesh file import: file checks, then binary STL read directly and every other format read by Assimp in an
// isolated child process.
#include "meshprobe/Import.h"

#include <assimp/Importer.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <minizip/unzip.h>
#include <sys/stat.h>
#include <vector>

#include "meshprobe/Error.h"
#include "meshprobe/Threads.h"
#include "meshprobe/detail/ChildProcess.h"
#include "toolkit/src/io/AssimpReader.h"
#include "toolkit/src/io/BinaryStlReader.h"
#include "toolkit/src/io/IsolatedReader.h"
#include "toolkit/src/io/OffCheck.h"
#include "toolkit/src/io/PlyCheck.h"

namespace meshprobe {

namespace {

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

/// Threads for the welding in the reader's child. A sanitizer's runtime does not take new threads in a
/// child forked from a process with threads (ThreadSanitizer ends it), so a sanitized build welds on one.
int childWeldThreads()
{
#ifdef MESHPROBE_SANITIZED
    return 1;
#else
    return defaultThreadCount();
#endif
}

std::uint64_t checkFile(const std::string& path)
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
    if (extension == ".ply") detail::checkPlyHeader(path);
    return static_cast<std::uint64_t>(info.st_size);
}

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
    const std::uint64_t fileSize = checkFile(path);
    Mesh mesh;
    if (lowerCaseExtension(path) == ".stl" && detail::isBinaryStl(path, fileSize)) {
        mesh = detail::readBinaryStl(path, options.progress);
    } else {
        // Assimp crashes, hangs or allocates without bound on some malformed files: it reads in a child
        // process with time and memory limits, so that such a file is an InputError like any other.
        // The OFF structure check reads the file while the child does; a file it refuses is refused with its
        // message, whatever the child made of it.
        const bool isOff = lowerCaseExtension(path) == ".off";
        mesh = detail::readIsolated(
            path, detail::ReadLimits::forFileSize(fileSize), options.progress,
            // The child exits as soon as the mesh is sent: Assimp's scene is left for the exit to take.
            [&path](const ProgressCallback& progress) {
                return detail::readWithAssimp(path, progress, true, childWeldThreads());
            },
            [&path, isOff] {
                if (isOff) detail::checkOffFile(path);
            });
    }
    // A last word for the caller: Assimp does not report every read to its end.
    if (options.progress && !options.progress(100.0f)) throw Cancelled();
    const std::string fileUnit = declaredUnit(path);
    const double scale = millimetresPerUnit(fileUnit.empty() ? options.assumedUnit : fileUnit);
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
    // The unit attribute of the <model ...> start tag, when it has one.
    const std::size_t model = head.find("<model");
    const std::size_t tagEnd = model == std::string::npos ? std::string::npos : head.find('>', model);
    if (tagEnd == std::string::npos) return "millimeter";
    const std::string tag = head.substr(model, tagEnd - model);
    std::size_t at = tag.find("unit=\"");
    while (at != std::string::npos && !std::isspace(static_cast<unsigned char>(tag[at - 1])))
        at = tag.find("unit=\"", at + 1);
    if (at == std::string::npos) return "millimeter";
    const std::size_t begin = at + 6;
    const std::size_t end = tag.find('"', begin);
    const std::string unit = tag.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    try {
        millimetresPerUnit(unit);
    } catch (const InputError&) {
        throw InputError(path + ": unknown unit \"" + unit + "\" in the 3MF model");
    }
    return unit;
}

} // namespace meshprobe
