// SPDX-License-Identifier: MIT
#include "toolkit/src/io/PlyCheck.h"

#include <fstream>

#include "meshprobe/Error.h"

namespace meshprobe::detail {

void checkPlyHeader(const std::string& path)
{
    constexpr std::size_t longestHeader = 1 << 20;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line.compare(0, 3, "ply") != 0) return; // not PLY: the reader says so
    std::size_t read = line.size() + 1;
    while (read <= longestHeader && std::getline(in, line)) {
        read += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == "end_header") return;
    }
    throw InputError(path + (read > longestHeader ? ": the PLY header has no end_header line in its first megabyte"
                                                  : ": the PLY header has no end_header line"));
}

} // namespace meshprobe::detail
