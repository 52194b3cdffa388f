// SPDX-License-Identifier: MIT
// Checks of an output-file option before any long work, with messages that name the option.
#pragma once

#include <string>

namespace cli {

/// Checks that the option's path has a known output extension (one that holds per-face colours when
/// `needsFaceColours`) and can be created. Throws InputError naming the option.
void checkOutputOption(const std::string& path, const std::string& option, bool needsFaceColours);

} // namespace cli
