// SPDX-License-Identifier: MIT
#include "toolkit/src/io/OffCheck.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "meshprobe/Error.h"

namespace meshprobe::detail {

namespace {

/// The lines of an OFF file that carry data: comments ('#' to the end of the line) and lines of nothing but
/// blanks, tabs and carriage returns skipped. A scan's file holds millions of lines, so they are cut out of
/// large reads in place; only a line that straddles two reads is copied.
class DataLines {
public:
    explicit DataLines(const std::string& path) : file(std::fopen(path.c_str(), "rb"), &std::fclose), buffer(1 << 20) {}

    /// The next data line, comment included (Tokens leaves it out). A line carries data when its first
    /// character other than a blank, tab or carriage return is there and is not the comment's '#'.
    bool next(std::string_view& line)
    {
        while (nextLine(line)) {
            const size_t first = line.find_first_not_of(" \t\r");
            if (first != std::string_view::npos && line[first] != '#') return true;
        }
        return false;
    }

private:
    // The next '\n'-ended line, or the text after the last '\n' when it is not empty.
    bool nextLine(std::string_view& line)
    {
        carry.clear();
        for (;;) {
            const char* from = buffer.data() + begin;
            const void* newline = std::memchr(from, '\n', end - begin);
            if (newline) {
                const size_t length = static_cast<const char*>(newline) - from;
                begin += length + 1;
                if (carry.empty()) {
                    line = std::string_view(from, length);
                } else {
                    carry.append(from, length);
                    line = carry;
                }
                return true;
            }
            carry.append(from, end - begin);
            begin = end = 0;
            if (file) end = std::fread(buffer.data(), 1, buffer.size(), file.get());
            if (end == 0) {
                line = carry;
                return !carry.empty();
            }
        }
    }

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file;
    std::vector<char> buffer;
    size_t begin = 0, end = 0;
    std::string carry;
};

/// Whitespace tokens of a line up to its comment, split as stream extraction splits them (the C locale's
/// spaces).
class Tokens {
public:
    explicit Tokens(std::string_view line) : rest(line.substr(0, line.find('#'))) {}

    bool next(std::string_view& token)
    {
        size_t start = 0;
        while (start < rest.size() && isSpace(rest[start]))
            ++start;
        if (start == rest.size()) return false;
        size_t stop = start;
        while (stop < rest.size() && !isSpace(rest[stop]))
            ++stop;
        token = rest.substr(start, stop - start);
        rest = rest.substr(stop);
        return true;
    }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
    std::string_view rest;
};

/// A base-10 integer with an optional sign that fills the whole token (up to a NUL byte, where a C string
/// would end) and fits a long long.
bool parseLong(std::string_view token, long long& value)
{
    // Nearly every token of a face line is a short run of digits: read here without the general path's
    // searches. Up to 18 digits cannot overflow a long long, and the value is the one from_chars gives.
    if (!token.empty() && token.size() <= 18) {
        long long digits = 0;
        std::size_t i = 0;
        for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i)
            digits = 10 * digits + (token[i] - '0');
        if (i == token.size()) {
            value = digits;
            return true;
        }
    }
    token = token.substr(0, token.find('\0'));
    if (token.size() > 1 && token[0] == '+' && token[1] != '-' && token[1] != '+') token.remove_prefix(1);
    const char* last = token.data() + token.size();
    const auto [stop, error] = std::from_chars(token.data(), last, value);
    return error == std::errc() && stop == last;
}

} // namespace

void checkOffFile(const std::string& path)
{
    DataLines lines(path);
    std::string_view line;
    if (!lines.next(line)) return;
    Tokens head(line);
    std::string_view keyword;
    if (!head.next(keyword) || keyword.size() < 3 || keyword.substr(keyword.size() - 3) != "OFF") return;
    std::vector<std::string> counts;
    for (std::string_view token; head.next(token);)
        counts.emplace_back(token);
    if (!counts.empty() && counts[0] == "BINARY") return;
    if (counts.empty()) {
        if (!lines.next(line)) throw InputError(path + ": the OFF header has no vertex and face counts");
        Tokens countLine(line);
        for (std::string_view token; countLine.next(token);)
            counts.emplace_back(token);
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
        Tokens face(line);
        std::string_view token;
        long long corners = 0;
        if (!face.next(token) || !parseLong(token, corners) || corners < 0)
            throw InputError(path + ": face " + std::to_string(f) + " does not start with its corner count");
        for (long long k = 0; k < corners; ++k) {
            long long index = 0;
            if (!face.next(token) || !parseLong(token, index))
                throw InputError(path + ": face " + std::to_string(f) + " announces " + std::to_string(corners) +
                                 " corners but lists fewer");
            if (index < 0 || index >= vertexCount)
                throw InputError(path + ": face " + std::to_string(f) + " refers to vertex " + std::string(token) +
                                 ", but there are only " + std::to_string(vertexCount));
        }
    }
}

} // namespace meshprobe::detail
