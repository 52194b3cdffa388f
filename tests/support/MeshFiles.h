// SPDX-License-Identifier: MIT
// Mesh files for tests: a temporary folder, and writers of the formats the importer reads.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "meshprobe/Export.h"
#include "tests/support/TestMeshes.h"

namespace clitest {
/// A fresh folder under /tmp, removed with its files at the end of the test.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/meshprobe-test-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }
    /// Names of the files in the folder, hidden ones included.
    std::vector<std::string> list() const
    {
        std::vector<std::string> names;
        const std::string command = "ls -A '" + path + "'";
        FILE* pipeHandle = popen(command.c_str(), "r");
        char line[4096];
        while (pipeHandle && fgets(line, sizeof line, pipeHandle)) {
            std::string name(line);
            name.erase(name.find_last_not_of('\n') + 1);
            names.push_back(name);
        }
        if (pipeHandle) pclose(pipeHandle);
        return names;
    }

    std::string path;
};

inline bool fileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

inline void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

/// Binary STL of a soup: 80-byte header, count, then normal, three corners and attribute per triangle.
inline std::string binaryStl(const testmesh::Soup& soup)
{
    std::string bytes(80, ' ');
    auto put = [&bytes](const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); };
    const std::uint32_t count = static_cast<std::uint32_t>(soup.indices.size() / 3);
    put(&count, 4);
    for (std::uint32_t t = 0; t < count; ++t) {
        const float normal[3] = {0, 0, 0};
        put(normal, 12);
        for (int k = 0; k < 3; ++k)
            put(&soup.positions[3 * soup.indices[3 * t + k]], 12);
        const std::uint16_t attribute = 0;
        put(&attribute, 2);
    }
    return bytes;
}

inline std::string asciiStl(const testmesh::Soup& soup)
{
    std::ostringstream out;
    out.precision(9);
    out << "solid test\n";
    for (size_t t = 0; t < soup.indices.size() / 3; ++t) {
        out << "facet normal 0 0 0\nouter loop\n";
        for (int k = 0; k < 3; ++k) {
            const float* p = &soup.positions[3 * soup.indices[3 * t + k]];
            out << "vertex " << p[0] << ' ' << p[1] << ' ' << p[2] << '\n';
        }
        out << "endloop\nendfacet\n";
    }
    out << "endsolid test\n";
    return out.str();
}

/// One line per vertex, "x y z" after the prefix.
inline void putVertices(std::ostream& out, const testmesh::Soup& soup, const char* prefix)
{
    for (size_t v = 0; v < soup.positions.size() / 3; ++v)
        out << prefix << soup.positions[3 * v] << ' ' << soup.positions[3 * v + 1] << ' ' << soup.positions[3 * v + 2]
            << '\n';
}

/// One line per triangle, its three indices counted from `base` after the prefix.
inline void putTriangles(std::ostream& out, const testmesh::Soup& soup, const char* prefix, std::uint32_t base)
{
    for (size_t t = 0; t < soup.indices.size() / 3; ++t)
        out << prefix << soup.indices[3 * t] + base << ' ' << soup.indices[3 * t + 1] + base << ' '
            << soup.indices[3 * t + 2] + base << '\n';
}

inline std::string objText(const testmesh::Soup& soup)
{
    std::ostringstream out;
    out.precision(9);
    putVertices(out, soup, "v ");
    putTriangles(out, soup, "f ", 1);
    return out.str();
}

inline std::string plyText(const testmesh::Soup& soup)
{
    std::ostringstream out;
    out.precision(9);
    out << "ply\nformat ascii 1.0\nelement vertex " << soup.positions.size() / 3
        << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << soup.indices.size() / 3
        << "\nproperty list uchar int vertex_indices\nend_header\n";
    putVertices(out, soup, "");
    putTriangles(out, soup, "3 ", 0);
    return out.str();
}

inline std::string offText(const testmesh::Soup& soup)
{
    std::ostringstream out;
    out.precision(9);
    out << "OFF\n" << soup.positions.size() / 3 << ' ' << soup.indices.size() / 3 << " 0\n";
    putVertices(out, soup, "");
    putTriangles(out, soup, "3 ", 0);
    return out.str();
}

/// Writes the soup in the format its extension names: .stl binary, .obj, .ply, .off as text written here;
/// .3mf and .glb through the toolkit's export.
inline std::string writeMesh(const TempDir& dir, const std::string& name, const testmesh::Soup& soup)
{
    const std::string extension = name.substr(name.rfind('.'));
    const std::string path = dir.file(name);
    if (extension == ".stl")
        writeFile(path, binaryStl(soup));
    else if (extension == ".obj")
        writeFile(path, objText(soup));
    else if (extension == ".ply")
        writeFile(path, plyText(soup));
    else if (extension == ".off")
        writeFile(path, offText(soup));
    else
        meshprobe::writeMeshes(path, {{"part", soup.view()}});
    return path;
}

} // namespace clitest
