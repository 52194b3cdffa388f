// SPDX-License-Identifier: MIT
// The report's thickness legend, drawn with the analysis library's own colour ramp.
#pragma once

#include "report/ReportWriter.h"

namespace meshprobe::report {

/// One stop per whole hue degree of the thickness colour scale over [min, max] (red at min through yellow
/// to hue 150 at max), each at the thickness where its colour begins, with the colour the thickness
/// analysis gives a face there; and the colour of faces with no wall within max.
ThicknessLegend thicknessLegend(float min, float max);

} // namespace meshprobe::report
