// SPDX-License-Identifier: MIT
// Mesh import: every format gives the same welded mesh, file order and winding are kept, bad files are
// rejected with a message that names the file and the problem.
#include <gtest/gtest.h>

#include <cstring>

#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"
#include "toolkit/src/io/AssimpReader.h"
#include "toolkit/src/io/BinaryStlReader.h"
#include "tests/support/MeshFiles.h"

namespace {

using clitest::TempDir;

/// The positions of a face's corners, in winding order.
std::vector<float> corners(const meshprobe::Mesh& mesh, size_t face)
{
    std::vector<float> out;
    for (int k = 0; k < 3; ++k)
        for (int a = 0; a < 3; ++a)
            out.push_back(mesh.vertices[3 * mesh.triangles[3 * face + k] + a]);
    return out;
}

std::vector<float> soupCorners(const testmesh::Soup& soup, size_t face)
{
    std::vector<float> out;
    for (int k = 0; k < 3; ++k)
        for (int a = 0; a < 3; ++a)
            out.push_back(soup.positions[3 * soup.indices[3 * face + k] + a]);
    return out;
}

struct FormatCase {
    const char* name;
    const char* extension;
    std::function<void(const std::string&, const testmesh::Soup&)> write;
};

std::ostream& operator<<(std::ostream& os, const FormatCase& c)
{
    return os << c.name;
}

class ImportFormats : public ::testing::TestWithParam<FormatCase> {};

// A box with an inner, inward-facing box: 16 vertices, 24 faces, two shells. Every format must give back
// the same faces in the same order with the same winding, and weld to the same 16 vertices.
TEST_P(ImportFormats, KeepsFaceOrderWindingAndWeldsVertices)
{
    testmesh::Soup soup = testmesh::box(0, 0, 0, 4, 3, 2);
    soup.appendFlipped(testmesh::box(1, 1, 0.5f, 2, 2, 1.5f));
    TempDir dir;
    const std::string path = dir.file(std::string("mesh") + GetParam().extension);
    GetParam().write(path, soup);

    const meshprobe::Mesh mesh = meshprobe::loadMesh(path);
    ASSERT_EQ(mesh.triangleCount(), 24u);
    EXPECT_EQ(mesh.vertexCount(), 16u);
    for (size_t f = 0; f < 24; ++f)
        EXPECT_EQ(corners(mesh, f), soupCorners(soup, f)) << "face " << f;
}

INSTANTIATE_TEST_SUITE_P(
    MeshImport, ImportFormats,
    ::testing::Values(
        FormatCase{"BinaryStl", ".stl",
                   [](const std::string& p, const testmesh::Soup& s) { clitest::writeFile(p, clitest::binaryStl(s)); }},
        FormatCase{"AsciiStl", ".stl",
                   [](const std::string& p, const testmesh::Soup& s) { clitest::writeFile(p, clitest::asciiStl(s)); }},
        FormatCase{"Obj", ".obj",
                   [](const std::string& p, const testmesh::Soup& s) { clitest::writeFile(p, clitest::objText(s)); }},
        FormatCase{"Ply", ".ply",
                   [](const std::string& p, const testmesh::Soup& s) { clitest::writeFile(p, clitest::plyText(s)); }},
        FormatCase{"Off", ".off",
                   [](const std::string& p, const testmesh::Soup& s) { clitest::writeFile(p, clitest::offText(s)); }},
        FormatCase{"ThreeMf", ".3mf",
                   [](const std::string& p, const testmesh::Soup& s) {
                       meshprobe::writeMeshes(p, {{"part", s.view()}});
                   }}),
    [](const ::testing::TestParamInfo<FormatCase>& param) { return std::string(param.param.name); });

// Shared-vertex formats keep the file's vertex numbering when nothing is welded or dropped, so vertex IDs
// in reports match the file. A reversed vertex list exposes numbering by first use instead.
TEST(MeshImport, SharedVertexFilesKeepTheirNumbering)
{
    testmesh::Soup soup;
    soup.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    soup.indices = {3, 2, 1, 3, 1, 0};
    TempDir dir;
    clitest::writeFile(dir.file("quad.ply"), clitest::plyText(soup));
    const meshprobe::Mesh mesh = meshprobe::loadMesh(dir.file("quad.ply"));
    EXPECT_EQ(mesh.vertices, soup.positions);
    EXPECT_EQ(mesh.triangles, soup.indices);
}

// OBJ polygons are split in place; objects are merged in file order; lines and unused vertices vanish.
TEST(MeshImport, ObjPolygonsObjectsAndLines)
{
    TempDir dir;
    clitest::writeFile(dir.file("two.obj"), "o first\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 9 9 9\nf 1 2 3 4\n"
                                            "o second\nv 0 0 1\nf 1 2 6\nl 1 2\n");
    const meshprobe::Mesh mesh = meshprobe::loadMesh(dir.file("two.obj"));
    ASSERT_EQ(mesh.triangleCount(), 3u);
    EXPECT_EQ(mesh.vertexCount(), 5u); // (9,9,9) is unused; the second object's corners weld to the first's
    EXPECT_EQ(corners(mesh, 0), (std::vector<float>{0, 0, 0, 1, 0, 0, 1, 1, 0}));
    EXPECT_EQ(corners(mesh, 1), (std::vector<float>{0, 0, 0, 1, 1, 0, 0, 1, 0}));
    EXPECT_EQ(corners(mesh, 2), (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(mesh.triangles[6], mesh.triangles[0]);
}

// Minus zero and zero are one position: a soup written by another tool must not split there.
// Millimetres per unit by the units' definitions: an inch is 25.4 mm, a foot 12 inches, a micron 1/1000 mm.
TEST(MeshImport, MillimetresPerUnitByDefinition)
{
    const std::pair<const char*, double> units[] = {
        {"mm", 1},       {"millimeter", 1}, {"cm", 10},     {"centimeter", 10},  {"m", 1000},
        {"meter", 1000}, {"in", 25.4},      {"inch", 25.4}, {"foot", 12 * 25.4}, {"micron", 1.0 / 1000}};
    for (const auto& [unit, millimetres] : units)
        EXPECT_DOUBLE_EQ(meshprobe::millimetresPerUnit(unit), millimetres) << unit;
    for (const char* unknown : {"", "MM", "ft", "km", "inches"})
        EXPECT_THROW(meshprobe::millimetresPerUnit(unknown), meshprobe::InputError) << unknown;
}

TEST(MeshImport, WeldsMinusZeroWithZero)
{
    TempDir dir;
    clitest::writeFile(dir.file("z.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nv -0 -0 -0\nv 0 -1 0\nf 1 2 3\nf 4 5 2\n");
    EXPECT_EQ(meshprobe::loadMesh(dir.file("z.obj")).vertexCount(), 4u);
}

// Binary STL is read directly, every other format through Assimp: on binary STL both must give the same
// vertices, numbering and faces, bit for bit, also where -0 meets 0 and faces repeat.
TEST(MeshImport, BinaryStlReaderMatchesAssimp)
{
    testmesh::Soup shells = testmesh::box(0, 0, 0, 4, 3, 2);
    shells.appendFlipped(testmesh::box(1, 1, 0.5f, 2, 2, 1.5f));
    testmesh::Soup signedZeros = testmesh::box(-1, -1, -1, 0, 0, 0);
    for (size_t v = 0; v < signedZeros.positions.size(); v += 2)
        if (signedZeros.positions[v] == 0.0f) signedZeros.positions[v] = -0.0f;
    signedZeros.appendFlipped(testmesh::box(-1, -1, -1, 0, 0, 0));
    TempDir dir;
    for (const testmesh::Soup& soup : {shells, signedZeros, testmesh::sphere(1, 2, 3, 7.5f, 40, 80)}) {
        const std::string path = dir.file("mesh.stl");
        clitest::writeFile(path, clitest::binaryStl(soup));
        const meshprobe::Mesh direct = meshprobe::detail::readBinaryStl(path, {});
        const meshprobe::Mesh general = meshprobe::detail::readWithAssimp(path, {});
        ASSERT_EQ(direct.triangleCount(), soup.indices.size() / 3);
        EXPECT_EQ(direct.triangles, general.triangles);
        ASSERT_EQ(direct.vertices.size(), general.vertices.size());
        EXPECT_EQ(0, std::memcmp(direct.vertices.data(), general.vertices.data(), 4 * direct.vertices.size()));
    }
}

struct BadFile {
    const char* name;
    const char* fileName; // empty: the file is not created
    std::string content;
    const char* expected; // part of the message
};

std::ostream& operator<<(std::ostream& os, const BadFile& c)
{
    return os << c.name;
}

class ImportRejects : public ::testing::TestWithParam<BadFile> {};

TEST_P(ImportRejects, WithMessageNamingFileAndProblem)
{
    TempDir dir;
    const std::string path = dir.file(GetParam().fileName);
    if (GetParam().name != std::string("Missing")) clitest::writeFile(path, GetParam().content);
    // Whatever the reader prints on the way (Assimp asserts on some of these) stays out of the caller's streams.
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    std::string message;
    try {
        meshprobe::loadMesh(path);
    } catch (const meshprobe::InputError& e) {
        message = e.what();
    }
    const std::string printed = ::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr();
    ASSERT_FALSE(message.empty()) << "no error";
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
    EXPECT_EQ(printed, "");
}

std::string truncatedStl(std::size_t cut = 7)
{
    const std::string full = clitest::binaryStl(testmesh::box(0, 0, 0, 1, 1, 1));
    return full.substr(0, full.size() - cut);
}

std::string stlWithCoordinate(float value)
{
    testmesh::Soup soup = testmesh::box(0, 0, 0, 1, 1, 1);
    soup.positions[4] = value;
    return clitest::binaryStl(soup);
}

INSTANTIATE_TEST_SUITE_P(
    MeshImport, ImportRejects,
    ::testing::Values(BadFile{"Missing", "missing.stl", "", "no such file"}, BadFile{"Empty", "empty.stl", "", "empty"},
                      BadFile{"TruncatedStl", "cut.stl", truncatedStl(), "truncated STL"},
                      BadFile{"ShorterThanHeader", "tiny.stl", std::string(40, '\1'), "truncated STL"},
                      BadFile{"UnknownExtension", "mesh.xyz", "v 0 0 0\n", "unknown mesh format '.xyz'"},
                      BadFile{"NoExtension", "mesh", "v 0 0 0\n", "no file extension"},
                      BadFile{"NoTriangles", "lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n", "no triangles"},
                      BadFile{"StlHeaderAnnouncingNoTriangles", "none.stl", std::string(80, 'x') + std::string(4, '\0'),
                              "the file contains no triangles"},
                      BadFile{"StlHeaderAnnouncingOneMore", "more.stl", truncatedStl(50), "announces 12 triangles"},
                      BadFile{"NanCoordinate", "nan.stl", stlWithCoordinate(NAN), "NaN"},
                      BadFile{"InfiniteCoordinate", "inf.stl", stlWithCoordinate(-INFINITY), "infinite"},
                      BadFile{"Garbage", "junk.ply", "this is not a ply file\n", "cannot read the mesh"},
                      // Assimp clamps OFF indices into range and asserts on short files: the check's refusal wins.
                      BadFile{"OffIndexBeyond", "beyond.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 99\n",
                              "face 0 refers to vertex 99"},
                      BadFile{"OffIndexNegative", "negative.off", "OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 -1\n",
                              "face 0 refers to vertex -1"},
                      BadFile{"OffShort", "short.off", "OFF\n# c\n9 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n",
                              "announces 9 vertices but the file holds 4"},
                      BadFile{"OffCountBeyondLongLong", "huge.off", "OFF\n99999999999999999999 1 0\n0 0 0\n",
                              "does not give the vertex and face counts"},
                      BadFile{"OffIndexNotANumber", "word.off", "OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2x\n",
                              "announces 3 corners but lists fewer"},
                      // Carriage returns, comments and blank lines are not data lines.
                      BadFile{"OffFacesMissingWithCrLf", "crlf.off",
                              "OFF\r\n3 2 0 # two faces\r\n0 0 0\r\n\r\n1 0 0\r\n \t\r\n0 1 0\r\n3 0 1 2\r\n",
                              "announces 3 vertices and 2 faces, but the file ends after 4 of those lines"},
                      // Signed numbers as strtoll reads them; the last line has no line end.
                      BadFile{"OffSignedIndexBeyond", "signed.off", "OFF\n+3 +1 0\n0 0 0\n1 0 0\n0 1 0\n3 +0 +1 +3",
                              "face 0 refers to vertex +3"},
                      // Lines that straddle the reader's 1 MB reads are counted once each.
                      BadFile{"OffIndexBeyondAfterMegabytes", "long.off",
                              [] {
                                  std::string text = "OFF\n200000 1 0\n";
                                  for (int v = 0; v < 200000; ++v)
                                      text += "0.5 0.25 0.125\n";
                                  return text + "3 0 1 200000\n";
                              }(),
                              "face 0 refers to vertex 200000"},
                      BadFile{"PlyIndexBeyond", "beyond.ply",
                              "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                              "property float z\nelement face 1\nproperty list uchar int vertex_indices\n"
                              "end_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 7\n",
                              "face 0 refers to vertex 7"},
                      // Assimp would loop on a header that never ends: checked before it reads.
                      BadFile{"PlyHeaderWithoutEnd", "open.ply", "ply\nformat ascii 1.0\ncomment x\n",
                              "PLY header has no end_header line"}),
    [](const ::testing::TestParamInfo<BadFile>& param) { return std::string(param.param.name); });

} // namespace
