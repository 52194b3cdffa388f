// SPDX-License-Identifier: MIT
#include "toolkit/src/io/OffCheck.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "meshprobe/Error.h"

namespace meshprobe::detail {

namespace {

/// The lines of an OFF file that carry data: comments ('#' to the end of the line) and blank lines skipped.
class DataLines {
public:
    explicit DataLines(const std::string& path) : in(path) {}

    bool next(std::string& line)
    {
        while (std::getline(in, line)) {
            const size_t hash = line.find('#');
            if (hash != std::string::npos) line.erase(hash);
            if (line.find_first_not_of(" \t\r") != std::string::npos) return true;
        }
        return false;
    }

private:
    std::ifstream in;
};

bool parseLong(const std::string& token, long long& value)
{
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(token.c_str(), &end, 10);
    return errno == 0 && end != token.c_str() && *end == '\0';
}

} // namespace

void checkOffFile(const std::string& path)
{
    DataLines lines(path);
    std::string line;
    if (!lines.next(line)) return;
    std::istringstream head(line);
    std::string keyword;
    head >> keyword;
    if (keyword.size() < 3 || keyword.compare(keyword.size() - 3, 3, "OFF") != 0) return;
    std::vector<std::string> counts;
    for (std::string token; head >> token;)
        counts.push_back(token);
    if (!counts.empty() && counts[0] == "BINARY") return;
    if (counts.empty()) {
        if (!lines.next(line)) throw InputError(path + ": the OFF header has no vertex and face counts");
        std::istringstream countLine(line);
        for (std::string token; countLine >> token;)
            counts.push_back(token);
    }
    long long vertexCount = 0, faceCount = 0;
    if (counts.size() < 2 || !parseLong(counts[0], vertexCount) || !parseLong(counts[1], faceCount) ||
        vertexCount < 0 || faceCount < 0)
        throw InputError(path + ": the OFF header does not give the vertex and face counts");

    for (long long v = 0; v < vertexCount; ++v)
        if (!lines.next(line))
            throw InputError(path + ": the OFF header announces " + std::to_string(vertexCount) +
                             " vertices but the file holds " + std::to_string(v));
    for (long long f = 0; f < faceCount; ++f) {
        if (!lines.next(line))
            throw InputError(path + ": the OFF header announces " + std::to_string(vertexCount) + " vertices and " +
                             std::to_string(faceCount) + " faces, but the file ends after " +
                             std::to_string(vertexCount + f) + " of those lines");
        std::istringstream face(line);
        std::string token;
        long long corners = 0;
        if (!(face >> token) || !parseLong(token, corners) || corners < 0)
            throw InputError(path + ": face " + std::to_string(f) + " does not start with its corner count");
        for (long long k = 0; k < corners; ++k) {
            long long index = 0;
            if (!(face >> token) || !parseLong(token, index))
                throw InputError(path + ": face " + std::to_string(f) + " announces " + std::to_string(corners) +
                                 " corners but lists fewer");
            if (index < 0 || index >= vertexCount)
                throw InputError(path + ": face " + std::to_string(f) + " refers to vertex " + token +
                                 ", but there are only " + std::to_string(vertexCount));
        }
    }
}

} // namespace meshprobe::detail
