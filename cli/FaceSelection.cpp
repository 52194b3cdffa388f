// SPDX-License-Identifier: MIT
// Parser for face-index lists and ranges.
#include "cli/FaceSelection.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "cli/CliError.h"

namespace cli {

namespace {

/// Reads an "@file" list, dropping '#' comments.
std::string readListFile(const std::string& path, const std::string& option)
{
    std::ifstream in(path);
    if (!in) throw InputError(option + ": cannot read the list file '" + path + "'");
    std::string text, line;
    while (std::getline(in, line)) {
        const size_t hash = line.find('#');
        text += line.substr(0, hash) + "\n";
    }
    return text;
}

/// A non-negative decimal index; anything else (sign, letters, overflow) is an error.
long long parseIndex(const std::string& digits, const std::string& item, const std::string& option)
{
    const bool allDigits = !digits.empty() && std::all_of(digits.begin(), digits.end(),
                                                          [](unsigned char c) { return std::isdigit(c) != 0; });
    if (!allDigits || digits.size() > 12)
        throw InputError(option + ": '" + item + "' is not a face index or a range like 9-20");
    return std::stoll(digits);
}

} // namespace

std::vector<int> parseFaceSelection(const std::string& text, int faceCount, const std::string& option)
{
    const bool fromFile = !text.empty() && text[0] == '@';
    std::string list = fromFile ? readListFile(text.substr(1), option) : text;
    std::replace(list.begin(), list.end(), ',', ' ');

    std::vector<int> faces;
    std::istringstream items(list);
    std::string item;
    while (items >> item) {
        const size_t dash = item.find('-', 1);
        const long long first = parseIndex(item.substr(0, dash), item, option);
        const long long last = dash == std::string::npos ? first : parseIndex(item.substr(dash + 1), item, option);
        if (last < first) throw InputError(option + ": the range '" + item + "' runs backwards");
        if (last >= faceCount)
            throw InputError(option + ": face " + std::to_string(last) + " does not exist (the mesh has " +
                             std::to_string(faceCount) + " triangles, numbered from 0)");
        for (long long f = first; f <= last; ++f)
            faces.push_back(static_cast<int>(f));
    }
    if (faces.empty())
        throw InputError(option + ": " + (fromFile ? "the file '" + text.substr(1) + "' lists" : "the list names") +
                         " no faces");
    std::sort(faces.begin(), faces.end());
    faces.erase(std::unique(faces.begin(), faces.end()), faces.end());
    return faces;
}

} // namespace cli
