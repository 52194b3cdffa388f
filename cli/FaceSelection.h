// SPDX-License-Identifier: MIT
// Face selections given on the command line: "3,4,9-20", or "@file" holding such a list.
#pragma once

#include <string>
#include <vector>

namespace cli {

/// Parses a list of face indices and inclusive ranges separated by commas or white space; "@path" reads the
/// list from that file, where '#' starts a comment that runs to the end of the line.
/// @param text       the option's value
/// @param faceCount  triangles of the mesh; every index must be below it
/// @param option     the option's name, for messages
/// @return the selected face indices, ascending, each once
/// @throw InputError naming the option and the offending item (malformed, reversed range, out of range,
///        unreadable file, nothing selected)
std::vector<int> parseFaceSelection(const std::string& text, int faceCount, const std::string& option);

} // namespace cli
