// SPDX-License-Identifier: MIT
// Analysis::MeshAnalyzer's object lifecycle: construction, copying and the stored gradient colours.
#include "analysis/MeshAnalyzer.h"

namespace Analysis {

// The gradient colours are never read by the library; they start at zero so that copying a fresh
// analyzer never reads indeterminate values.
MeshAnalyzer::MeshAnalyzer() : gradientStart{}, gradientEnd{} {}

MeshAnalyzer::~MeshAnalyzer() = default;

MeshAnalyzer::MeshAnalyzer(const MeshAnalyzer& other)
{
    *this = other;
}

MeshAnalyzer& MeshAnalyzer::operator=(const MeshAnalyzer& other)
{
    for (int c = 0; c < 3; ++c) {
        gradientStart[c] = other.gradientStart[c];
        gradientEnd[c] = other.gradientEnd[c];
    }
    return *this;
}

void MeshAnalyzer::setGradientColor(const float* start, const float* end)
{
    for (int c = 0; c < 3; ++c) {
        gradientStart[c] = start[c];
        gradientEnd[c] = end[c];
    }
}

} // namespace Analysis
