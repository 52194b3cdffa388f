// SPDX-License-Identifier: MIT
// The thinnest wall in text.
#include "cli/ThinnestWall.h"

#include "cli/TextReport.h"

namespace cli {

std::string thinnestLine(const meshprobe::ThinnestWall& thinnest, double max)
{
    if (!thinnest.found) return "none thinner than " + formatFigure(max) + " mm";
    return formatFigure(thinnest.thickness) + " mm (area " + std::to_string(thinnest.area) + ", face " +
           std::to_string(thinnest.face) + ")";
}

} // namespace cli
