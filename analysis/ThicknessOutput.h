// SPDX-License-Identifier: MIT
// What the thickness analysis' output pass makes of one face's thickness: its selection flag, or its colour
// on the hue ramp over the window. Shared by MeshAnalyzer::statvis_calc_thickness and the toolkit, which
// colours the values of its multi-threaded ray pass without casting the rays again.
#pragma once

namespace Analysis {

/// The thickness colours' hue ramp (MeshAnalyzer::weight_to_gradientRgb): red at weight 0 to hue 150 at
/// weight 1 and above, as three floats in [0, 1].
void gradientRgb(float* rgb, float weight);

/// A colour channel in [0, 1] as a byte, rounded to nearest.
inline unsigned char thicknessChannelByte(float x)
{
    if (x <= 0.0f) return 0;
    if (x > 0.998039186f) return 255; // 1 - 0.5 / 255
    return static_cast<unsigned char>(x * 255.0f + 0.5f);
}

/// What selection mode does to a face of thickness t: +1 sets its flag (strictly inside the window),
/// -1 clears it (t reached max), 0 leaves it as it is (t at or below min).
inline int thicknessSelection(float t, float min, float max)
{
    if (t < max) return t > min ? 1 : 0;
    return -1;
}

/// The RGBA colour of a face of thickness t: ramp(rgb, weight) over the window for t below max, with
/// weight = (t - min) * range clamped to [0, 1] (range = 1 / (max - min)); (0, 255, 128, 255) otherwise.
template <typename Ramp>
void thicknessColour(float t, float min, float max, float range, Ramp&& ramp, unsigned char colour[4])
{
    if (t < max) {
        float weight = (t - min) * range;
        weight = weight < 0.0f ? 0.0f : (weight < 1.0f ? weight : 1.0f);
        float rgb[3];
        ramp(rgb, weight);
        colour[0] = thicknessChannelByte(rgb[0]);
        colour[1] = thicknessChannelByte(rgb[1]);
        colour[2] = thicknessChannelByte(rgb[2]);
        colour[3] = 255;
    } else {
        colour[0] = 0;
        colour[1] = 255;
        colour[2] = 128;
        colour[3] = 255;
    }
}

} // namespace Analysis
