// SPDX-License-Identifier: MIT
// Joins the generated chunks of each embedded asset into one string.
#include "report/ReportAssets.h"

#include <array>
#include <stdexcept>

namespace meshprobe::report {

namespace {

constexpr std::size_t knownAssets = static_cast<std::size_t>(Asset::ThreeLicense) + 1;

std::string join(const detail::AssetChunks& asset)
{
    std::string text;
    for (std::size_t c = 0; c < asset.count; ++c)
        text += asset.chunks[c];
    return text;
}

} // namespace

const std::string& assetText(Asset asset)
{
    // Built once (thread-safe static initialisation); the build passes exactly one file per Asset value.
    static const std::array<std::string, knownAssets> texts = [] {
        if (detail::assetCount != knownAssets) throw std::logic_error("report assets: wrong number of files");
        std::array<std::string, knownAssets> joined;
        for (std::size_t a = 0; a < knownAssets; ++a)
            joined[a] = join(detail::assetTable[a]);
        return joined;
    }();
    return texts.at(static_cast<std::size_t>(asset));
}

} // namespace meshprobe::report
