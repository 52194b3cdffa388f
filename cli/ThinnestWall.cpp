// SPDX-License-Identifier: MIT
// The thinnest wall in text and JSON.
#include "cli/ThinnestWall.h"

#include "cli/TextReport.h"

namespace cli {

std::string thinnestLine(const meshprobe::ThinnestWall& thinnest, double max)
{
    if (!thinnest.found) return "none thinner than " + formatFigure(max) + " mm";
    return formatFigure(thinnest.thickness) + " mm (area " + std::to_string(thinnest.area) + ", face " +
           std::to_string(thinnest.face) + ")";
}

nlohmann::ordered_json thinnestJson(const meshprobe::ThinnestWall& thinnest, double max)
{
    if (!thinnest.found) return {{"found", false}, {"thickness", max}};
    return {{"found", true},
            {"thickness", shortestDouble(thinnest.thickness)},
            {"face", thinnest.face},
            {"area", thinnest.area}};
}

} // namespace cli
