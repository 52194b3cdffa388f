// SPDX-License-Identifier: MIT
// Base64 encoding (RFC 4648, with padding) of the report's binary arrays.
#pragma once

#include <cstddef>
#include <string>

namespace meshprobe::report {

/// Appends the base64 text of `size` bytes to `out`. Neither the standard library nor nlohmann/json
/// exposes an encoder, and this one is a dozen lines.
void appendBase64(std::string& out, const unsigned char* bytes, std::size_t size);

} // namespace meshprobe::report
