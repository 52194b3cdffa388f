// SPDX-License-Identifier: MIT
// Assembles the report page: the template with its style and scripts, the tool's JSON, a scene manifest,
// and every geometry array packed into one little-endian binary block, base64-encoded.
#include "report/ReportWriter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <stdexcept>

#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "report/Base64.h"
#include "report/ReportAssets.h"

namespace meshprobe::report {

namespace {

using Json = nlohmann::ordered_json;

bool hostIsLittleEndian()
{
    const std::uint32_t probe = 1;
    unsigned char first = 0;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

/// The binary block: arrays appended at 4-byte aligned offsets, each described in the manifest by its
/// element type, byte offset and element count, so that the page views them without copying.
class BinaryBlock {
public:
    template <typename T> Json add(const std::vector<T>& values, const char* type)
    {
        static_assert(sizeof(T) == 1 || sizeof(T) == 4, "the page reads 8-bit and 32-bit arrays");
        bytes.resize((bytes.size() + 3) / 4 * 4, 0);
        const std::size_t offset = bytes.size();
        bytes.resize(offset + values.size() * sizeof(T));
        if (!values.empty()) std::memcpy(bytes.data() + offset, values.data(), values.size() * sizeof(T));
        if (sizeof(T) == 4 && !hostIsLittleEndian())
            for (std::size_t b = offset; b < bytes.size(); b += 4) {
                std::swap(bytes[b], bytes[b + 3]);
                std::swap(bytes[b + 1], bytes[b + 2]);
            }
        return Json{{"type", type}, {"offset", offset}, {"length", values.size()}};
    }

    /// Vertex indices, three little-endian bytes each when all are below 2^24 (a quarter smaller than 32
    /// bits: the indices are most of a large report), else 32 bits. The page widens them once.
    Json addIndices(const std::vector<std::uint32_t>& indices)
    {
        if (!std::all_of(indices.begin(), indices.end(), [](std::uint32_t v) { return v < (1u << 24); }))
            return add(indices, "uint32");
        bytes.resize((bytes.size() + 3) / 4 * 4, 0);
        const std::size_t offset = bytes.size();
        bytes.resize(offset + 3 * indices.size());
        unsigned char* out = bytes.data() + offset;
        for (std::uint32_t v : indices) {
            *out++ = static_cast<unsigned char>(v);
            *out++ = static_cast<unsigned char>(v >> 8);
            *out++ = static_cast<unsigned char>(v >> 16);
        }
        return Json{{"type", "uint24"}, {"offset", offset}, {"length", indices.size()}};
    }

    const std::vector<unsigned char>& data() const { return bytes; }

private:
    std::vector<unsigned char> bytes;
};

void checkMesh(const ReportMesh& mesh, const std::string& what)
{
    if (mesh.vertices.size() % 3 != 0) throw meshprobe::InputError(what + ": vertex coordinates not a multiple of 3");
    if (mesh.triangles.size() % 3 != 0) throw meshprobe::InputError(what + ": triangle indices not a multiple of 3");
    const std::size_t vertexCount = mesh.vertices.size() / 3;
    for (std::uint32_t v : mesh.triangles)
        if (v >= vertexCount)
            throw meshprobe::InputError(what + ": vertex index " + std::to_string(v) + " beyond its " +
                                        std::to_string(vertexCount) + " vertices");
    for (float c : mesh.vertices)
        if (!std::isfinite(c)) throw meshprobe::InputError(what + ": a vertex coordinate is NaN or infinite");
}

void checkData(const ReportData& data)
{
    checkMesh(data.part, "part");
    const std::size_t triangleCount = data.part.triangles.size() / 3;
    const std::size_t vertexCount = data.part.vertices.size() / 3;
    if (!data.faceColours.empty() && data.faceColours.size() != 3 * triangleCount)
        throw meshprobe::InputError("face colours: " + std::to_string(data.faceColours.size()) + " bytes for " +
                                    std::to_string(triangleCount) + " triangles (3 per triangle expected)");
    if (data.legend && data.legend->stops.size() < 2)
        throw meshprobe::InputError("thickness legend: at least two stops expected");
    if (data.cavities)
        for (std::size_t c = 0; c < data.cavities->size(); ++c)
            checkMesh((*data.cavities)[c].mesh, "cavity " + std::to_string(c + 1));
    if (data.thinAreas)
        for (std::size_t a = 0; a < data.thinAreas->size(); ++a) {
            const ReportThinArea& area = (*data.thinAreas)[a];
            for (std::uint32_t f : area.faces)
                if (f >= triangleCount)
                    throw meshprobe::InputError("thin area " + std::to_string(a + 1) + ": face " + std::to_string(f) +
                                                " beyond the part's " + std::to_string(triangleCount) + " triangles");
            for (const auto& loop : area.loops)
                for (std::uint32_t v : loop)
                    if (v >= vertexCount)
                        throw meshprobe::InputError("thin area " + std::to_string(a + 1) + ": loop vertex " +
                                                    std::to_string(v) + " beyond the part's vertices");
        }
    const auto& u = data.up;
    if (!(std::isfinite(u[0]) && std::isfinite(u[1]) && std::isfinite(u[2])) || (u[0] == 0 && u[1] == 0 && u[2] == 0))
        throw meshprobe::InputError("up direction: must be a finite, non-zero vector");
}

Json rgbJson(const std::array<std::uint8_t, 3>& rgb)
{
    return Json::array({rgb[0], rgb[1], rgb[2]});
}

Json pointJson(const std::array<float, 3>& p)
{
    return Json::array({p[0], p[1], p[2]});
}

/// Face colours as a palette and one byte per face when at most 256 colours occur (the tool's scale has
/// 152), otherwise three bytes per face: a third of the size, and lossless either way.
void addFaceColours(const std::vector<std::uint8_t>& rgb, BinaryBlock& block, Json& part)
{
    part["colours"] = nullptr;
    part["colourPalette"] = nullptr;
    part["colourIndex"] = nullptr;
    if (rgb.empty()) return;
    std::map<std::uint32_t, std::uint8_t> paletteIndex;
    std::vector<std::uint8_t> palette;
    std::vector<std::uint8_t> index(rgb.size() / 3);
    for (std::size_t f = 0; f < index.size(); ++f) {
        const std::uint32_t key = std::uint32_t(rgb[3 * f]) << 16 | std::uint32_t(rgb[3 * f + 1]) << 8 | rgb[3 * f + 2];
        auto found = paletteIndex.find(key);
        if (found == paletteIndex.end()) {
            if (paletteIndex.size() == 256) {
                part["colours"] = block.add(rgb, "uint8");
                return;
            }
            found = paletteIndex.emplace(key, static_cast<std::uint8_t>(paletteIndex.size())).first;
            palette.insert(palette.end(), {rgb[3 * f], rgb[3 * f + 1], rgb[3 * f + 2]});
        }
        index[f] = found->second;
    }
    part["colourPalette"] = block.add(palette, "uint8");
    part["colourIndex"] = block.add(index, "uint8");
}

/// A set of faces (the page only tests membership): as runs of consecutive indices, [first, count] pairs,
/// when that halves the size at least (thin areas of generated and CAD meshes often run along the face
/// order), otherwise as the sorted list.
Json addFaceSet(std::vector<std::uint32_t> faces, BinaryBlock& block)
{
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
    std::vector<std::uint32_t> runs;
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (!runs.empty() && runs[runs.size() - 2] + runs.back() == faces[i])
            ++runs.back();
        else
            runs.insert(runs.end(), {faces[i], 1});
    }
    if (2 * runs.size() <= faces.size()) return {{"faces", nullptr}, {"faceRuns", block.add(runs, "uint32")}};
    return {{"faces", block.add(faces, "uint32")}, {"faceRuns", nullptr}};
}

/// The manifest the viewer reads: where each array lies in the binary block, and the per-item JSON.
Json buildScene(const ReportData& data, BinaryBlock& block)
{
    Json scene;
    scene["format"] = 1;
    scene["title"] = data.title;
    scene["up"] = pointJson(data.up);
    Json part;
    part["positions"] = block.add(data.part.vertices, "float32");
    part["triangles"] = block.addIndices(data.part.triangles);
    addFaceColours(data.faceColours, block, part);
    scene["part"] = std::move(part);

    if (data.legend) {
        Json stops = Json::array();
        for (const LegendStop& stop : data.legend->stops)
            stops.push_back({{"thickness", stop.thickness}, {"rgb", rgbJson(stop.rgb)}});
        scene["legend"] = {{"stops", std::move(stops)}, {"noWallRgb", rgbJson(data.legend->noWallRgb)}};
    } else {
        scene["legend"] = nullptr;
    }

    scene["cavities"] = nullptr;
    if (data.cavities) {
        scene["cavities"] = Json::array();
        for (const ReportCavity& cavity : *data.cavities)
            scene["cavities"].push_back({{"positions", block.add(cavity.mesh.vertices, "float32")},
                                         {"triangles", block.addIndices(cavity.mesh.triangles)},
                                         {"info", cavity.info}});
    }

    scene["thinAreas"] = nullptr;
    if (data.thinAreas) {
        scene["thinAreas"] = Json::array();
        for (const ReportThinArea& area : *data.thinAreas) {
            // Loops travel as one index array plus the length of each loop.
            std::vector<std::uint32_t> loopVertices;
            std::vector<std::uint32_t> loopLengths;
            for (const auto& loop : area.loops) {
                loopVertices.insert(loopVertices.end(), loop.begin(), loop.end());
                loopLengths.push_back(static_cast<std::uint32_t>(loop.size()));
            }
            Json faces = addFaceSet(area.faces, block);
            scene["thinAreas"].push_back({{"faces", faces["faces"]},
                                          {"faceRuns", faces["faceRuns"]},
                                          {"loopVertices", block.add(loopVertices, "uint32")},
                                          {"loopLengths", block.add(loopLengths, "uint32")},
                                          {"info", area.info}});
        }
    }

    scene["drainHoles"] = nullptr;
    if (data.drainHoles) {
        scene["drainHoles"] = Json::array();
        for (const ReportDrainHole& hole : *data.drainHoles)
            scene["drainHoles"].push_back({{"entry", pointJson(hole.entry)},
                                           {"exit", pointJson(hole.exit)},
                                           {"diameter", hole.diameter},
                                           {"info", hole.info}});
    }
    scene["binaryBytes"] = block.data().size();
    return scene;
}

/// JSON for a <script type="application/json"> element: '<' only occurs inside JSON strings, where
/// \u003c means the same, so no "</script" or "<!--" can end the element early.
std::string scriptSafeJson(const std::string& json)
{
    std::string out;
    out.reserve(json.size());
    for (char c : json)
        if (c == '<')
            out += "\\u003c";
        else
            out += c;
    return out;
}

std::string escapeHtml(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

/// Replaces every {{name}} marker of the template with its text; the inserted texts are not scanned
/// again. Every marker must be known and every text used.
std::string fillTemplate(const std::string& page, const std::vector<std::pair<std::string, const std::string*>>& texts)
{
    std::string out;
    std::vector<bool> used(texts.size(), false);
    std::size_t at = 0;
    while (true) {
        const std::size_t open = page.find("{{", at);
        if (open == std::string::npos) break;
        const std::size_t close = page.find("}}", open);
        if (close == std::string::npos) throw std::logic_error("report template: unclosed marker");
        const std::string name = page.substr(open + 2, close - open - 2);
        std::size_t t = 0;
        while (t < texts.size() && texts[t].first != name)
            ++t;
        if (t == texts.size()) throw std::logic_error("report template: unknown marker {{" + name + "}}");
        used[t] = true;
        out.append(page, at, open - at);
        out += *texts[t].second;
        at = close + 2;
    }
    out.append(page, at, std::string::npos);
    for (std::size_t t = 0; t < texts.size(); ++t)
        if (!used[t]) throw std::logic_error("report template: no marker {{" + texts[t].first + "}}");
    return out;
}

} // namespace

std::string renderReport(const ReportData& data)
{
    checkData(data);
    BinaryBlock block;
    const Json scene = buildScene(data, block);
    std::string binary;
    appendBase64(binary, block.data().data(), block.data().size());

    const std::string title = escapeHtml(data.title);
    const std::string summary = scriptSafeJson(data.summary.dump());
    const std::string sceneText = scriptSafeJson(scene.dump());
    const std::string licence = escapeHtml(assetText(Asset::ThreeLicense));
    return fillTemplate(assetText(Asset::PageTemplate),
                        {
                            {"title", &title},
                            {"style", &assetText(Asset::Style)},
                            {"summary", &summary},
                            {"scene", &sceneText},
                            {"binary", &binary},
                            {"three-core", &assetText(Asset::ThreeCore)},
                            {"three-module", &assetText(Asset::ThreeModule)},
                            {"three-orbit-controls", &assetText(Asset::ThreeOrbitControls)},
                            {"viewer", &assetText(Asset::Viewer)},
                            {"loader", &assetText(Asset::Loader)},
                            {"three-license", &licence},
                        });
}

void writeReport(const std::string& path, const ReportData& data)
{
    meshprobe::writeFileAtomically(path, renderReport(data));
}

} // namespace meshprobe::report
