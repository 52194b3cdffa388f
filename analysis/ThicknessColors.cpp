// SPDX-License-Identifier: MIT
// Weight-to-colour mappings of Analysis::MeshAnalyzer and its float fill helper.
#include "analysis/MeshAnalyzer.h"

#include "analysis/ThicknessOutput.h"

namespace Analysis {

void MeshAnalyzer::weight_to_gradientRgb(float* rgb, float weight)
{
    gradientRgb(rgb, weight);
}

void MeshAnalyzer::weight_to_rgb(float* rgb, float weight)
{
    // Four bands blue -> cyan -> green -> yellow -> red, brightness from 0.5 at weight 0 to 1 at weight 1.
    const float bright = weight * 0.5f + 0.5f;
    if (weight <= 0.25f) {
        rgb[0] = 0.0f;
        rgb[1] = (bright * weight) * 4.0f;
        rgb[2] = bright;
    } else if (weight <= 0.5f) {
        rgb[0] = 0.0f;
        rgb[1] = bright;
        rgb[2] = (1.0f - (weight - 0.25f) * 4.0f) * bright;
    } else if (weight <= 0.75f) {
        rgb[0] = ((weight - 0.5f) * 4.0f) * bright;
        rgb[1] = bright;
        rgb[2] = 0.0f;
    } else if (weight <= 1.0f) {
        rgb[0] = bright;
        rgb[1] = (1.0f - (weight - 0.75f) * 4.0f) * bright;
        rgb[2] = 0.0f;
    } else {
        // Above 1 or NaN: magenta marks an out-of-range weight.
        rgb[0] = 1.0f;
        rgb[1] = 0.0f;
        rgb[2] = 1.0f;
    }
}

void MeshAnalyzer::copy_vn_fl(float* values, int count, float value)
{
    for (int i = count - 1; i >= 0; --i)
        values[i] = value;
}

} // namespace Analysis
