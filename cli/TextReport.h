// SPDX-License-Identifier: MIT
// Output helpers shared by the subcommands: aligned summaries, text bar charts, number formatting, JSON.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "toolkit/json/ResultJson.h"

namespace cli {

using meshprobe::json::shortestDouble;

/// A number with up to `significant` significant digits, without trailing zeros ("12.5", "0.00125", "3").
std::string formatNumber(double value, int significant = 6);

/// A figure for people: 4 significant digits, whole numbers from 1000 on ("0.8", "1.2", "0.001235", "5640").
/// Every figure of one table goes through this, so the precision is the same throughout.
std::string formatFigure(double value);

/// "1234.5 mm³ (1.2345 ml)": the tool treats model units as millimetres, the convention of STL and 3MF.
std::string formatVolume(double cubicMillimetres);

/// "12.5 mm²".
std::string formatArea(double squareMillimetres);

/// Key/value lines with the values aligned in one column.
class Summary {
public:
    Summary& add(std::string key, std::string value);
    void print(std::ostream& out) const;

private:
    std::vector<std::pair<std::string, std::string>> rows;
};

/// A table with a header row; columns are left-aligned text or right-aligned numbers.
class Table {
public:
    explicit Table(std::vector<std::string> header, std::vector<bool> rightAligned);
    void addRow(std::vector<std::string> cells);
    void print(std::ostream& out, const std::string& indent = "  ") const;

private:
    std::vector<std::vector<std::string>> rows;
    std::vector<bool> alignRight;
};

/// Horizontal bars: one line per (label, count), the longest bar `width` characters wide.
void printBarChart(std::ostream& out, const std::vector<std::pair<std::string, std::size_t>>& bars,
                   std::size_t width = 40, const std::string& indent = "  ");

/// The one JSON object of --json, on stdout. A number that is NaN or infinite (a result beyond single
/// precision) is never printed: InputError naming its key instead, as the input was out of range.
void printJson(const nlohmann::ordered_json& object);

} // namespace cli
