// SPDX-License-Identifier: MIT
// Mesh export: every format reads back with the same surface; names and face colours survive where the
// format holds them; files appear complete or not at all.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <minizip/unzip.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"
#include "tests/support/MeshFiles.h"
#include "toolkit/src/io/AtomicFile.h"

namespace {

using clitest::TempDir;

class ExportFormats : public ::testing::TestWithParam<std::string> {};

// Two disjoint boxes written as two objects come back as 24 triangles over 16 welded vertices, with the
// right enclosed corners, and nothing but the target file is left in the folder.
TEST_P(ExportFormats, TwoNamedMeshesReadBack)
{
    const testmesh::Soup first = testmesh::box(0, 0, 0, 1, 1, 1);
    const testmesh::Soup second = testmesh::box(3, 0, 0, 4, 2, 1);
    TempDir dir;
    const std::string path = dir.file("cavities" + GetParam());
    meshprobe::writeMeshes(path, {{"Closed 1", first.view()}, {"Open 2", second.view()}});
    EXPECT_EQ(dir.list(), std::vector<std::string>{"cavities" + GetParam()});

    const meshprobe::Mesh back = meshprobe::loadMesh(path);
    EXPECT_EQ(back.triangleCount(), 24u);
    EXPECT_EQ(back.vertexCount(), 16u);

    if (GetParam() == ".obj" || GetParam() == ".glb") {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFile(path, 0);
        ASSERT_NE(scene, nullptr);
        ASSERT_EQ(scene->mNumMeshes, 2u);
        EXPECT_STREQ(scene->mMeshes[0]->mName.C_Str(), "Closed 1");
        EXPECT_STREQ(scene->mMeshes[1]->mName.C_Str(), "Open 2");
    }
}

INSTANTIATE_TEST_SUITE_P(MeshExport, ExportFormats, ::testing::Values(".stl", ".ply", ".obj", ".3mf", ".glb"),
                         [](const ::testing::TestParamInfo<std::string>& param) { return param.param.substr(1); });

class ColourFormats : public ::testing::TestWithParam<std::string> {};

using Rgb = std::array<long, 3>;

/// A face's centroid, rounded to a grid finer than the test meshes' features, to find faces again.
std::array<long, 3> centroidKey(const aiVector3D& a, const aiVector3D& b, const aiVector3D& c)
{
    const aiVector3D m = (a + b + c) / 3.0f;
    return {std::lround(m.x * 1000), std::lround(m.y * 1000), std::lround(m.z * 1000)};
}

long linearToSrgbByte(float c)
{
    const float s = c <= 0.0031308f ? c * 12.92f : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f;
    return std::lround(s * 255.0f);
}

/// The file's faces as corner triples with a colour each, read without Assimp: binary little-endian PLY with
/// face colour properties, or the base materials and pid/p1 of a 3MF model. Empty for other formats.
std::vector<std::pair<std::array<aiVector3D, 3>, Rgb>> readOwnFormatFaces(const std::string& path)
{
    std::vector<std::pair<std::array<aiVector3D, 3>, Rgb>> faces;
    std::vector<aiVector3D> vertices;
    if (path.size() > 4 && path.substr(path.size() - 4) == ".ply") {
        std::ifstream in(path, std::ios::binary);
        const std::string bytes(std::istreambuf_iterator<char>(in), {});
        const size_t body = bytes.find("end_header\n") + 11;
        const std::string header = bytes.substr(0, body);
        std::smatch counts;
        if (header.find("format binary_little_endian 1.0") == std::string::npos ||
            header.find("property list uchar int vertex_indices\nproperty uchar red\nproperty uchar green\n"
                        "property uchar blue\nproperty uchar alpha\nend_header") == std::string::npos ||
            !std::regex_search(header, counts,
                               std::regex("element vertex (\\d+)\nproperty float x\nproperty float y\n"
                                          "property float z\nelement face (\\d+)")))
            throw std::runtime_error("unexpected PLY header: " + header);
        const char* p = bytes.data() + body;
        vertices.resize(std::stoul(counts[1]));
        for (aiVector3D& v : vertices) {
            std::memcpy(&v, p, 12); // the test machine is little-endian
            p += 12;
        }
        for (unsigned long f = std::stoul(counts[2]); f-- > 0; p += 17) {
            std::uint32_t idx[3];
            if (p[0] != 3) throw std::runtime_error("face with other than three corners");
            std::memcpy(idx, p + 1, 12);
            const auto* rgb = reinterpret_cast<const unsigned char*>(p + 13);
            faces.push_back(
                {{vertices.at(idx[0]), vertices.at(idx[1]), vertices.at(idx[2])}, {rgb[0], rgb[1], rgb[2]}});
        }
    } else if (path.size() > 4 && path.substr(path.size() - 4) == ".3mf") {
        unzFile zip = unzOpen64(path.c_str());
        if (!zip || unzLocateFile(zip, "3D/3dmodel.model", 0) != UNZ_OK || unzOpenCurrentFile(zip) != UNZ_OK)
            throw std::runtime_error("no 3D/3dmodel.model in " + path);
        std::string xml;
        char chunk[65536];
        for (int n; (n = unzReadCurrentFile(zip, chunk, sizeof chunk)) > 0;)
            xml.append(chunk, static_cast<size_t>(n));
        unzCloseCurrentFile(zip);
        unzClose(zip);
        std::vector<Rgb> bases;
        const std::regex base("<base [^>]*displaycolor=\"#([0-9A-F]{2})([0-9A-F]{2})([0-9A-F]{2})FF\"");
        for (std::sregex_iterator m(xml.begin(), xml.end(), base), end; m != end; ++m)
            bases.push_back(
                {std::stol((*m)[1], nullptr, 16), std::stol((*m)[2], nullptr, 16), std::stol((*m)[3], nullptr, 16)});
        const std::regex vertex("<vertex x=\"([^\"]+)\" y=\"([^\"]+)\" z=\"([^\"]+)\"");
        for (std::sregex_iterator m(xml.begin(), xml.end(), vertex), end; m != end; ++m)
            vertices.emplace_back(std::stof((*m)[1]), std::stof((*m)[2]), std::stof((*m)[3]));
        const std::regex triangle("<triangle v1=\"(\\d+)\" v2=\"(\\d+)\" v3=\"(\\d+)\" pid=\"1\" p1=\"(\\d+)\"");
        for (std::sregex_iterator m(xml.begin(), xml.end(), triangle), end; m != end; ++m)
            faces.push_back(
                {{vertices.at(std::stoul((*m)[1])), vertices.at(std::stoul((*m)[2])), vertices.at(std::stoul((*m)[3]))},
                 bases.at(std::stoul((*m)[4]))});
    }
    return faces;
}

/// The colour of every face found in the file, by centroid: from readOwnFormatFaces, per-corner colours
/// (all three corners must agree) or, for glTF, the material's linear base colour turned back into sRGB.
std::map<std::array<long, 3>, Rgb> readBackFaceColours(const std::string& path)
{
    std::map<std::array<long, 3>, Rgb> colours;
    for (const auto& face : readOwnFormatFaces(path))
        colours[centroidKey(face.first[0], face.first[1], face.first[2])] = face.second;
    if (!colours.empty()) return colours;
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(path, 0);
    if (!scene) throw std::runtime_error(importer.GetErrorString());
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh& mesh = *scene->mMeshes[m];
        aiColor4D material;
        const bool fromMaterial = !mesh.HasVertexColors(0);
        if (fromMaterial) scene->mMaterials[mesh.mMaterialIndex]->Get(AI_MATKEY_BASE_COLOR, material);
        for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
            const unsigned* idx = mesh.mFaces[f].mIndices;
            Rgb rgb{};
            for (int k = 0; k < 3; ++k) {
                const aiColor4D c = fromMaterial ? material : mesh.mColors[0][idx[k]];
                const Rgb corner = fromMaterial
                                       ? Rgb{linearToSrgbByte(c.r), linearToSrgbByte(c.g), linearToSrgbByte(c.b)}
                                       : Rgb{std::lround(c.r * 255), std::lround(c.g * 255), std::lround(c.b * 255)};
                if (k > 0 && corner != rgb) throw std::runtime_error("corners of one face disagree");
                rgb = corner;
            }
            colours[centroidKey(mesh.mVertices[idx[0]], mesh.mVertices[idx[1]], mesh.mVertices[idx[2]])] = rgb;
        }
    }
    return colours;
}

// Every face's colour comes back exactly, byte for byte. Colours 0, 128 and 255 catch the off-by-one of
// truncating c * 255; distinct colours on faces that share corners catch writers that weld corners.
TEST_P(ColourFormats, FaceColoursReadBackExactly)
{
    const testmesh::Soup mesh = testmesh::box(0, 0, 0, 1, 1, 1);
    const size_t faces = mesh.indices.size() / 3;
    std::vector<meshprobe::Rgba> colours;
    for (size_t f = 0; f < faces; ++f)
        colours.push_back({static_cast<unsigned char>(f * 23), static_cast<unsigned char>(255 - f),
                           static_cast<unsigned char>(f % 2 ? 128 : 0), 255});
    TempDir dir;
    const std::string path = dir.file("colours" + GetParam());
    meshprobe::writeColouredMesh(path, mesh.view(), colours);

    EXPECT_EQ(meshprobe::loadMesh(path).triangleCount(), faces); // other readers see the surface too
    const auto back = readBackFaceColours(path);
    ASSERT_EQ(back.size(), faces);
    for (size_t f = 0; f < faces; ++f) {
        auto corner = [&](int k) {
            const float* p = &mesh.positions[3 * mesh.indices[3 * f + k]];
            return aiVector3D(p[0], p[1], p[2]);
        };
        const auto found = back.find(centroidKey(corner(0), corner(1), corner(2)));
        ASSERT_NE(found, back.end()) << "face " << f;
        EXPECT_EQ(found->second, (Rgb{colours[f][0], colours[f][1], colours[f][2]})) << "face " << f;
    }
}

INSTANTIATE_TEST_SUITE_P(MeshExport, ColourFormats, ::testing::Values(".ply", ".3mf", ".glb", ".obj"),
                         [](const ::testing::TestParamInfo<std::string>& param) { return param.param.substr(1); });

TEST(AtomicFile, UncommittedWriteLeavesNothing)
{
    TempDir dir;
    {
        meshprobe::detail::AtomicFile file(dir.file("out.stl"));
        file.write("partial", 7);
        EXPECT_TRUE(clitest::fileExists(file.temporaryPath()));
    }
    EXPECT_TRUE(dir.list().empty());
}

// After an interrupt discarded the partial outputs, a writer that opens its temporary file by name (as the
// mesh exporters do) cannot create it again, so nothing is left when the process then ends.
TEST(AtomicFile, DiscardedByNameFileCannotComeBack)
{
    TempDir dir;
    const pid_t child = fork();
    if (child == 0) {
        meshprobe::detail::AtomicFile file(dir.file("out.glb"), meshprobe::detail::AtomicFile::Writer::ByName);
        const bool created = std::fopen(file.temporaryPath().c_str(), "wb") != nullptr;
        meshprobe::discardPartialOutputs();
        const bool createdAgain = std::fopen(file.temporaryPath().c_str(), "wb") != nullptr;
        _exit(created && !createdAgain ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(dir.list().empty());
}

TEST(AtomicFile, CommitReplacesTargetWhole)
{
    TempDir dir;
    clitest::writeFile(dir.file("out.txt"), "old content that is longer");
    {
        meshprobe::detail::AtomicFile file(dir.file("out.txt"));
        file.write("new", 3);
        file.commit({});
    }
    std::ifstream in(dir.file("out.txt"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.txt"});
}

// A write cancelled at its commit, or a failed export, leaves the earlier file as it was and no partial
// file; a committed one gets the mode a plain new file would get under the process's umask.
TEST(AtomicFile, CancelledOrFailedWriteKeepsTheOldFileAndCommittedModesFollowTheUmask)
{
    TempDir dir;
    const std::string target = dir.file("out.txt");
    clitest::writeFile(target, "old");
    {
        meshprobe::detail::AtomicFile file(target);
        file.write("new", 3);
        EXPECT_THROW(file.commit([](float) { return false; }), meshprobe::Cancelled);
    }
    const testmesh::Soup cube = testmesh::box(0, 0, 0, 1, 1, 1);
    EXPECT_THROW(meshprobe::writeColouredMesh(target + ".ply", cube.view(), {{1, 2, 3, 4}}), meshprobe::InputError);
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"out.txt"});
    for (const mode_t mask : {0022, 0077, 0002}) {
        const mode_t previous = umask(mask);
        meshprobe::detail::AtomicFile file(target);
        file.commit({});
        umask(previous);
        struct stat info {};
        ASSERT_EQ(stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask) << std::oct << mask;
    }
    EXPECT_THROW(meshprobe::writeFileAtomically(dir.file("missing/x.html"), "x"), meshprobe::InputError);
}

} // namespace
