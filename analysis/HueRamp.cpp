// SPDX-License-Identifier: MIT
// The thickness colours' hue ramp, apart from the analyzer so that code colouring values it measured itself
// links the same ramp.
#include <QColor>

#include "analysis/ThicknessOutput.h"

namespace Analysis {

void gradientRgb(float* rgb, float weight)
{
    // Hue in whole degrees from 0 (red) at weight 0 to 150 at weight 1 and above. Weights above 1 go
    // straight to hue 150, so that QColor never sees a hue past 359 (it would warn and return black);
    // negative or NaN weights, never passed by the library itself, are treated as 0.
    int hue = 0;
    if (weight > 1.0f)
        hue = 150;
    else if (weight > 0.0f)
        hue = static_cast<int>(weight * 150.0);
    const QColor colour = QColor::fromHsv(hue, 255, 255, 255);
    rgb[0] = static_cast<float>(colour.red() / 255.0);
    rgb[1] = static_cast<float>(colour.green() / 255.0);
    rgb[2] = static_cast<float>(colour.blue() / 255.0);
}

} // namespace Analysis
