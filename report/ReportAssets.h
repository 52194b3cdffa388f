// SPDX-License-Identifier: MIT
// The report page's text assets (page template, style, viewer, three.js and its licence), compiled in.
#pragma once

#include <cstddef>
#include <string>

namespace meshprobe::report {

/// The embedded files, in the order the build passes them to meshprobe_embed_assets.
enum class Asset {
    PageTemplate,       ///< report/page/report.html
    Style,              ///< report/page/report.css
    Loader,             ///< report/page/loader.js: a classic script that starts the modules below
    Viewer,             ///< report/page/viewer.js: the page's ES module
    ThreeCore,          ///< three/build/three.core.js
    ThreeModule,        ///< three/build/three.module.js (imports ./three.core.js)
    ThreeOrbitControls, ///< three/examples/jsm/controls/OrbitControls.js (imports three)
    ThreeLicense,       ///< three/LICENSE
};

/// The whole text of an asset, joined from its chunks on first use.
const std::string& assetText(Asset asset);

namespace detail {

struct AssetChunks {
    const char* const* chunks;
    std::size_t count;
};
extern const AssetChunks assetTable[];
extern const std::size_t assetCount;

} // namespace detail

} // namespace meshprobe::report
