// SPDX-License-Identifier: MIT
// The report page as ReportWriter assembles it: arrays that come back bit for bit from the base64 block at
// the offsets the manifest gives, data that cannot end its <script> element, refused inconsistent input,
// and files that appear whole or not at all.
#include "report/ReportWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "meshprobe/Error.h"
#include "report/Base64.h"

namespace {

using meshprobe::report::ReportData;
using nlohmann::json;

/// The text of the element with this id (between its opening tag and the next "</script>").
std::string elementText(const std::string& page, const std::string& id)
{
    const std::size_t tag = page.find("id=\"" + id + "\">");
    EXPECT_NE(tag, std::string::npos) << id;
    const std::size_t start = page.find('>', tag) + 1;
    return page.substr(start, page.find("</script>", start) - start);
}

std::vector<unsigned char> decodeBase64(const std::string& text)
{
    std::vector<unsigned char> bytes;
    unsigned group = 0;
    int bits = 0;
    for (char c : text) {
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const char* at = std::strchr(alphabet, c);
        if (c == '=' || !at) continue;
        group = group << 6 | unsigned(at - alphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<unsigned char>(group >> bits));
        }
    }
    return bytes;
}

template <typename T> std::vector<T> arrayAt(const std::vector<unsigned char>& block, const json& ref)
{
    std::vector<T> values(ref["length"].get<std::size_t>());
    const std::size_t offset = ref["offset"];
    EXPECT_EQ(offset % 4, 0u) << "typed-array views need aligned offsets";
    if (ref["type"] == "uint24") { // vertex indices, three little-endian bytes each
        EXPECT_LE(offset + 3 * values.size(), block.size());
        for (std::size_t i = 0; i < values.size() && offset + 3 * i + 2 < block.size(); ++i)
            values[i] = T(block[offset + 3 * i] | block[offset + 3 * i + 1] << 8 | block[offset + 3 * i + 2] << 16);
        return values;
    }
    EXPECT_LE(offset + values.size() * sizeof(T), block.size());
    if (!values.empty()) std::memcpy(values.data(), block.data() + offset, values.size() * sizeof(T));
    return values;
}

/// The per-face RGB bytes back from either encoding the writer may choose.
std::vector<std::uint8_t> coloursOf(const std::vector<unsigned char>& block, const json& part)
{
    if (!part["colours"].is_null()) return arrayAt<std::uint8_t>(block, part["colours"]);
    const auto palette = arrayAt<std::uint8_t>(block, part["colourPalette"]);
    std::vector<std::uint8_t> rgb;
    for (std::uint8_t i : arrayAt<std::uint8_t>(block, part["colourIndex"]))
        rgb.insert(rgb.end(), palette.begin() + 3 * i, palette.begin() + 3 * i + 3);
    return rgb;
}

/// A thin area's faces back from either encoding, sorted.
std::vector<std::uint32_t> facesOf(const std::vector<unsigned char>& block, const json& area)
{
    if (!area["faces"].is_null()) return arrayAt<std::uint32_t>(block, area["faces"]);
    std::vector<std::uint32_t> faces;
    const auto runs = arrayAt<std::uint32_t>(block, area["faceRuns"]);
    for (std::size_t r = 0; r + 1 < runs.size(); r += 2)
        for (std::uint32_t k = 0; k < runs[r + 1]; ++k)
            faces.push_back(runs[r] + k);
    return faces;
}

//  3---2      two triangles of a unit square, a tetrahedron as the one cavity, and a thin area of
//  | / |      face 1 bounded by one loop (odd-sized arrays make the next offsets need padding)
//  0---1
ReportData smallReport()
{
    ReportData data;
    data.title = "square <part>.stl";
    data.part.vertices = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    data.part.triangles = {0, 1, 2, 0, 2, 3};
    data.faceColours = {255, 0, 0, 0, 255, 128};
    data.legend = meshprobe::report::ThicknessLegend{{{0.0, {255, 0, 0}}, {2.0, {0, 255, 128}}}, {0, 255, 128}};
    meshprobe::report::ReportCavity cavity;
    cavity.mesh.vertices = {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};
    cavity.mesh.triangles = {0, 2, 1, 0, 1, 3, 1, 2, 3, 0, 3, 2};
    cavity.info = {{"name", "Closed"}, {"volume", 0.1666}};
    data.cavities.emplace({cavity});
    meshprobe::report::ReportThinArea area;
    area.faces = {1};
    area.loops = {{0, 2, 3, 0}};
    area.info = {{"id", 1}, {"area", 0.5}};
    data.thinAreas.emplace({area});
    data.summary = {{"command", "report"}, {"mesh", "square.stl"}, {"note", "</script><script>alert(1)</script>"}};
    return data;
}

TEST(ReportWriter, ArraysComeBackBitForBitAtTheirOffsets)
{
    ReportData data = smallReport();
    // Indices beyond 16 bits, whose third byte counts.
    meshprobe::report::ReportMesh& cavityMesh = (*data.cavities)[0].mesh;
    cavityMesh.vertices.resize(3 * 70000, 0.5f);
    cavityMesh.triangles.insert(cavityMesh.triangles.end(), {69999, 65536, 0x10101});
    const std::string page = meshprobe::report::renderReport(data);
    const json scene = json::parse(elementText(page, "report-scene"));
    const std::vector<unsigned char> block = decodeBase64(elementText(page, "report-binary"));
    ASSERT_EQ(block.size(), scene["binaryBytes"].get<std::size_t>());

    EXPECT_EQ(arrayAt<float>(block, scene["part"]["positions"]), data.part.vertices);
    EXPECT_EQ(arrayAt<std::uint32_t>(block, scene["part"]["triangles"]), data.part.triangles);
    EXPECT_EQ(coloursOf(block, scene["part"]), data.faceColours);
    const json& cavity = scene["cavities"][0];
    EXPECT_EQ(arrayAt<float>(block, cavity["positions"]), (*data.cavities)[0].mesh.vertices);
    EXPECT_EQ(arrayAt<std::uint32_t>(block, cavity["triangles"]), (*data.cavities)[0].mesh.triangles);
    EXPECT_EQ(cavity["info"], json((*data.cavities)[0].info));
    const json& area = scene["thinAreas"][0];
    EXPECT_EQ(facesOf(block, area), std::vector<std::uint32_t>{1});
    EXPECT_EQ(arrayAt<std::uint32_t>(block, area["loopVertices"]), (std::vector<std::uint32_t>{0, 2, 3, 0}));
    EXPECT_EQ(arrayAt<std::uint32_t>(block, area["loopLengths"]), std::vector<std::uint32_t>{4});
    EXPECT_TRUE(scene["drainHoles"].is_null()) << "not analysed stays distinguishable from none found";
}

TEST(ReportWriter, FaceColoursSurviveEitherEncoding)
{
    // 256 distinct colours fit a one-byte palette index; the 257th forces three bytes per face.
    for (const std::size_t distinct : {1u, 256u, 257u}) {
        ReportData data = smallReport();
        data.part.triangles.clear();
        data.faceColours.clear();
        for (std::size_t f = 0; f < 600; ++f) {
            data.part.triangles.insert(data.part.triangles.end(), {0, 1, 2});
            const std::size_t c = (f * 7) % distinct;
            data.faceColours.insert(data.faceColours.end(), {std::uint8_t(c), std::uint8_t(c >> 8), 9});
        }
        const std::string page = meshprobe::report::renderReport(data);
        const json part = json::parse(elementText(page, "report-scene"))["part"];
        EXPECT_EQ(part["colours"].is_null(), distinct <= 256) << distinct;
        EXPECT_EQ(coloursOf(decodeBase64(elementText(page, "report-binary")), part), data.faceColours) << distinct;
    }
}

TEST(ReportWriter, ThinAreaFacesSurviveEitherEncoding)
{
    // Scattered faces stay a list; long runs (and duplicates, given in any order) become [first, count] pairs.
    const std::vector<std::vector<std::uint32_t>> sets = {{5, 1, 3}, {9, 8, 7, 6, 5, 4, 0, 1, 2, 2, 3, 11, 10}};
    const std::vector<std::vector<std::uint32_t>> expected = {{1, 3, 5}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
    for (std::size_t s = 0; s < sets.size(); ++s) {
        ReportData data = smallReport();
        data.part.triangles.clear();
        data.faceColours.clear();
        for (int f = 0; f < 12; ++f)
            data.part.triangles.insert(data.part.triangles.end(), {0, 1, 2});
        (*data.thinAreas)[0].faces = sets[s];
        const std::string page = meshprobe::report::renderReport(data);
        const json area = json::parse(elementText(page, "report-scene"))["thinAreas"][0];
        EXPECT_EQ(area["faces"].is_null(), s == 1);
        EXPECT_EQ(facesOf(decodeBase64(elementText(page, "report-binary")), area), expected[s]);
    }
}

TEST(ReportWriter, DataCannotEndItsScriptElementAndRoundTrips)
{
    const ReportData data = smallReport();
    const std::string page = meshprobe::report::renderReport(data);
    EXPECT_EQ(page.find("<script>alert(1)"), std::string::npos);
    EXPECT_EQ(json::parse(elementText(page, "report-summary")), json(data.summary));
    EXPECT_NE(page.find("<title>square &lt;part&gt;.stl"), std::string::npos);
    // three.js itself holds "{{", so look for markers only where the template's own text lies.
    const std::size_t scripts = page.find("id=\"three-core\"");
    EXPECT_EQ(page.substr(0, scripts).find("{{"), std::string::npos) << "every template marker is filled";
    EXPECT_EQ(page.find("{{loader}}"), std::string::npos);
}

TEST(ReportWriter, Base64MatchesTheStandardVectors)
{
    // RFC 4648, section 10.
    const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    for (const auto& [plain, encoded] : vectors) {
        std::string out;
        meshprobe::report::appendBase64(out, reinterpret_cast<const unsigned char*>(plain), std::strlen(plain));
        EXPECT_EQ(out, encoded) << plain;
    }
}

TEST(ReportWriter, RefusesInconsistentDataNamingTheProblem)
{
    const std::vector<std::pair<std::string, std::function<void(ReportData&)>>> cases = {
        {"part: vertex index 4", [](ReportData& d) { d.part.triangles[5] = 4; }},
        {"part: vertex coordinates", [](ReportData& d) { d.part.vertices.pop_back(); }},
        {"part: a vertex coordinate is NaN", [](ReportData& d) { d.part.vertices[1] = std::nanf(""); }},
        {"face colours: 5 bytes for 2 triangles", [](ReportData& d) { d.faceColours.pop_back(); }},
        {"cavity 1: vertex index 9", [](ReportData& d) { (*d.cavities)[0].mesh.triangles[0] = 9; }},
        {"thin area 1: face 2", [](ReportData& d) { (*d.thinAreas)[0].faces = {2}; }},
        {"thin area 1: loop vertex 7", [](ReportData& d) { (*d.thinAreas)[0].loops[0][1] = 7; }},
        {"up direction",
         [](ReportData& d) {
             d.up = {0, 0, 0};
         }},
        {"thickness legend", [](ReportData& d) { d.legend->stops.pop_back(); }},
    };
    for (const auto& [message, spoil] : cases) {
        ReportData data = smallReport();
        spoil(data);
        try {
            meshprobe::report::renderReport(data);
            ADD_FAILURE() << "accepted: " << message;
        } catch (const meshprobe::InputError& error) {
            EXPECT_NE(std::string(error.what()).find(message), std::string::npos) << error.what();
        }
    }
}

TEST(ReportWriter, WritesWholeFilesOrNone)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("meshprobe-report-test-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const ReportData data = smallReport();
    const fs::path target = folder / "report.html";
    meshprobe::report::writeReport(target.string(), data);
    std::ifstream in(target, std::ios::binary);
    std::ostringstream written;
    written << in.rdbuf();
    EXPECT_EQ(written.str(), meshprobe::report::renderReport(data));

    EXPECT_THROW(meshprobe::report::writeReport((folder / "missing" / "report.html").string(), data),
                 std::runtime_error);
    ReportData broken = data;
    broken.up = {0, 0, 0};
    EXPECT_THROW(meshprobe::report::writeReport(target.string(), broken), meshprobe::InputError);
    // The failed writes left the earlier file as it was and no temporary file beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    EXPECT_EQ(fs::file_size(target), written.str().size());
    fs::remove_all(folder);
}

} // namespace
