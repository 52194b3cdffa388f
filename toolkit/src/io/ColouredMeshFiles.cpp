// SPDX-License-Identifier: MIT
// Coloured-mesh writers. Assimp 5.2's binary PLY writer emits broken face lists, and neither its PLY nor its
// 3MF writer has per-face colours; both formats are short and fully specified, so they are written here.
#include "toolkit/src/io/ColouredMeshFiles.h"

#include <minizip/zip.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "meshprobe/Error.h"

namespace meshprobe::detail {

namespace {

void putLittleEndian(std::string& out, std::uint32_t bits)
{
    for (int b = 0; b < 4; ++b)
        out.push_back(static_cast<char>((bits >> (8 * b)) & 0xffu));
}

void putFloat(std::string& out, float value)
{
    std::uint32_t bits;
    static_assert(sizeof bits == sizeof value, "32-bit floats");
    std::memcpy(&bits, &value, sizeof bits);
    putLittleEndian(out, bits);
}

std::string hexColour(const Rgba& c)
{
    char text[10];
    std::snprintf(text, sizeof text, "#%02X%02X%02X%02X", c[0], c[1], c[2], c[3]);
    return text;
}

std::string modelXml(const MeshView& mesh, const std::vector<Rgba>& colours)
{
    std::vector<Rgba> palette;
    std::map<Rgba, std::size_t> indexOf;
    std::vector<std::size_t> faceColour(colours.size());
    for (std::size_t f = 0; f < colours.size(); ++f) {
        const auto found = indexOf.emplace(colours[f], palette.size());
        if (found.second) palette.push_back(colours[f]);
        faceColour[f] = found.first->second;
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<model unit=\"millimeter\" xml:lang=\"en-US\" "
                      "xmlns=\"http://schemas.microsoft.com/3dmanufacturing/core/2015/02\">\n"
                      "<resources>\n<basematerials id=\"1\">\n";
    for (std::size_t c = 0; c < palette.size(); ++c)
        xml += "<base name=\"c" + std::to_string(c) + "\" displaycolor=\"" + hexColour(palette[c]) + "\"/>\n";
    xml += "</basematerials>\n<object id=\"2\" type=\"model\" name=\"thickness\" pid=\"1\" pindex=\"0\">\n"
           "<mesh>\n<vertices>\n";
    char number[3][32];
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        for (int a = 0; a < 3; ++a)
            std::snprintf(number[a], sizeof number[a], "%.9g", double(mesh.vertices[3 * v + std::size_t(a)]));
        xml += std::string("<vertex x=\"") + number[0] + "\" y=\"" + number[1] + "\" z=\"" + number[2] + "\"/>\n";
    }
    xml += "</vertices>\n<triangles>\n";
    for (std::size_t f = 0; f < mesh.triangleCount; ++f)
        xml += "<triangle v1=\"" + std::to_string(mesh.triangles[3 * f]) + "\" v2=\"" +
               std::to_string(mesh.triangles[3 * f + 1]) + "\" v3=\"" + std::to_string(mesh.triangles[3 * f + 2]) +
               "\" pid=\"1\" p1=\"" + std::to_string(faceColour[f]) + "\"/>\n";
    xml += "</triangles>\n</mesh>\n</object>\n</resources>\n<build>\n<item objectid=\"2\"/>\n</build>\n</model>\n";
    return xml;
}

void addEntry(zipFile zip, const char* name, const std::string& bytes, const std::string& path)
{
    zip_fileinfo info{};
    const bool written = zipOpenNewFileInZip64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                               Z_DEFAULT_COMPRESSION, bytes.size() >= 0xffffffffu) == ZIP_OK &&
                         zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK &&
                         zipCloseFileInZip(zip) == ZIP_OK;
    if (!written) throw Error("cannot write '" + path + "': the zip container failed");
}

} // namespace

std::string faceColouredPly(const MeshView& mesh, const std::vector<Rgba>& colours)
{
    std::string bytes = "ply\nformat binary_little_endian 1.0\ncomment written by meshprobe: colour per face\n"
                        "element vertex " +
                        std::to_string(mesh.vertexCount) +
                        "\nproperty float x\nproperty float y\nproperty float z\n"
                        "element face " +
                        std::to_string(mesh.triangleCount) +
                        "\nproperty list uchar int vertex_indices\n"
                        "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
                        "end_header\n";
    bytes.reserve(bytes.size() + 12 * mesh.vertexCount + 17 * mesh.triangleCount);
    for (std::size_t i = 0; i < 3 * mesh.vertexCount; ++i)
        putFloat(bytes, mesh.vertices[i]);
    for (std::size_t f = 0; f < mesh.triangleCount; ++f) {
        bytes.push_back(3);
        for (int k = 0; k < 3; ++k)
            putLittleEndian(bytes, mesh.triangles[3 * f + std::size_t(k)]);
        bytes.append(reinterpret_cast<const char*>(colours[f].data()), 4);
    }
    return bytes;
}

void writeFaceColoured3mf(const std::string& temporaryPath, const MeshView& mesh, const std::vector<Rgba>& colours)
{
    // A 3MF file is an OPC zip package: content types, the root relationship to the model, and the model.
    const std::string contentTypes =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"model\" ContentType=\"application/vnd.ms-package.3dmanufacturing-3dmodel+xml\"/>"
        "</Types>\n";
    const std::string relationships =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Target=\"/3D/3dmodel.model\" Id=\"rel0\" "
        "Type=\"http://schemas.microsoft.com/3dmanufacturing/2013/01/3dmodel\"/>"
        "</Relationships>\n";
    zipFile zip = zipOpen64(temporaryPath.c_str(), APPEND_STATUS_CREATE);
    if (!zip) throw Error("cannot write '" + temporaryPath + "'");
    try {
        addEntry(zip, "[Content_Types].xml", contentTypes, temporaryPath);
        addEntry(zip, "_rels/.rels", relationships, temporaryPath);
        addEntry(zip, "3D/3dmodel.model", modelXml(mesh, colours), temporaryPath);
    } catch (...) {
        zipClose(zip, nullptr);
        throw;
    }
    if (zipClose(zip, nullptr) != ZIP_OK) throw Error("cannot write '" + temporaryPath + "'");
}

} // namespace meshprobe::detail
