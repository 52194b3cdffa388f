// SPDX-License-Identifier: MIT
// Formatting of the human-readable summaries and of JSON numbers.
#include "cli/TextReport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "meshprobe/Error.h"

namespace cli {

std::string formatNumber(double value, int significant)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", significant, value);
    return text;
}

std::string formatFigure(double value)
{
    char text[64];
    if (std::fabs(value) >= 1000.0 && std::isfinite(value))
        std::snprintf(text, sizeof text, "%.0f", value);
    else
        std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

std::string formatVolume(double cubicMillimetres)
{
    return formatNumber(cubicMillimetres) + " mm³ (" + formatNumber(cubicMillimetres / 1000.0, 4) + " ml)";
}

std::string formatArea(double squareMillimetres)
{
    return formatNumber(squareMillimetres) + " mm²";
}

Summary& Summary::add(std::string key, std::string value)
{
    rows.emplace_back(std::move(key), std::move(value));
    return *this;
}

void Summary::print(std::ostream& out) const
{
    size_t width = 0;
    for (const auto& row : rows)
        width = std::max(width, row.first.size());
    for (const auto& row : rows)
        out << row.first << std::string(width - row.first.size() + 2, ' ') << row.second << '\n';
}

namespace {

/// Display width of UTF-8 text: continuation bytes take no column.
size_t columns(const std::string& text)
{
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

Table::Table(std::vector<std::string> header, std::vector<bool> rightAligned) : alignRight(std::move(rightAligned))
{
    alignRight.resize(header.size(), false);
    rows.push_back(std::move(header));
}

void Table::addRow(std::vector<std::string> cells)
{
    cells.resize(rows.front().size());
    rows.push_back(std::move(cells));
}

void Table::print(std::ostream& out, const std::string& indent) const
{
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], columns(row[c]));
    for (const auto& row : rows) {
        std::string line = indent;
        for (size_t c = 0; c < row.size(); ++c) {
            const std::string pad(widths[c] - columns(row[c]), ' ');
            line += alignRight[c] ? pad + row[c] : row[c] + pad;
            if (c + 1 < row.size()) line += "  ";
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << '\n';
    }
}

void printBarChart(std::ostream& out, const std::vector<std::pair<std::string, std::size_t>>& bars, std::size_t width,
                   const std::string& indent)
{
    size_t labelWidth = 0, largest = 0, countWidth = 1;
    for (const auto& bar : bars) {
        labelWidth = std::max(labelWidth, columns(bar.first));
        largest = std::max(largest, bar.second);
        countWidth = std::max(countWidth, std::to_string(bar.second).size());
    }
    for (const auto& bar : bars) {
        // Any non-empty bin shows at least one mark, so that a few faces are not lost next to many.
        size_t length = largest == 0 ? 0 : (bar.second * width + largest / 2) / largest;
        if (bar.second > 0) length = std::max<size_t>(length, 1);
        const std::string count = std::to_string(bar.second);
        out << indent << bar.first << std::string(labelWidth - columns(bar.first), ' ') << "  "
            << std::string(countWidth - count.size(), ' ') << count;
        if (length > 0) out << "  " << std::string(length, '#');
        out << '\n';
    }
}

namespace {

/// The key path of the first number that is NaN or infinite, or "" when there is none.
std::string firstNonFiniteNumber(const nlohmann::ordered_json& value, const std::string& path)
{
    if (value.is_number_float()) return std::isfinite(value.get<double>()) ? "" : path;
    if (value.is_object()) {
        for (const auto& item : value.items()) {
            const std::string found = firstNonFiniteNumber(item.value(), path + "." + item.key());
            if (!found.empty()) return found;
        }
    } else if (value.is_array()) {
        for (size_t i = 0; i < value.size(); ++i) {
            const std::string found = firstNonFiniteNumber(value[i], path + "[" + std::to_string(i) + "]");
            if (!found.empty()) return found;
        }
    }
    return "";
}

} // namespace

void printJson(const nlohmann::ordered_json& object)
{
    const std::string bad = firstNonFiniteNumber(object, "");
    if (!bad.empty())
        throw meshprobe::InputError("the result " + bad.substr(1) +
                                    " is beyond single precision: the input is too large for the analysis");
    std::cout << object.dump() << std::endl;
}

} // namespace cli
