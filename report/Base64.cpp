// SPDX-License-Identifier: MIT
// Base64 encoding: every three bytes become four characters of the 64-letter alphabet, '=' pads the tail.
#include "report/Base64.h"

namespace meshprobe::report {

void appendBase64(std::string& out, const unsigned char* bytes, std::size_t size)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    out.reserve(out.size() + (size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const unsigned group = unsigned(bytes[i]) << 16 | unsigned(bytes[i + 1]) << 8 | bytes[i + 2];
        out += alphabet[group >> 18];
        out += alphabet[(group >> 12) & 63];
        out += alphabet[(group >> 6) & 63];
        out += alphabet[group & 63];
    }
    if (i < size) {
        const bool two = i + 1 < size;
        const unsigned group = unsigned(bytes[i]) << 16 | (two ? unsigned(bytes[i + 1]) << 8 : 0u);
        out += alphabet[group >> 18];
        out += alphabet[(group >> 12) & 63];
        out += two ? alphabet[(group >> 6) & 63] : '=';
        out += '=';
    }
}

} // namespace meshprobe::report
