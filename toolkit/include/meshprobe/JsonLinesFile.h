// SPDX-License-Identifier: MIT
// A JSON Lines file written atomically: it replaces its target only once complete.
#pragma once

#include <memory>
#include <string>

#include "meshprobe/Progress.h"

namespace meshprobe {

namespace detail {
class AtomicFile;
}

/// Lines go to a temporary file beside `path` as they come; commit() renames it over `path`. Destroyed
/// without commit (failure, cancellation), it removes the temporary file and leaves the target untouched.
class JsonLinesFile {
public:
    /// @throw InputError when no file can be created beside `path` (the message names it)
    explicit JsonLinesFile(const std::string& path);
    ~JsonLinesFile();

    JsonLinesFile(const JsonLinesFile&) = delete;
    JsonLinesFile& operator=(const JsonLinesFile&) = delete;

    /// Appends `line` and a line break.
    /// @throw Error when the write fails
    void append(const std::string& line);

    /// Flushes the file to disk and renames it over the target. Reports 100 first; false leaves the target
    /// untouched and throws Cancelled.
    void commit(const ProgressCallback& progress = {});

private:
    std::unique_ptr<detail::AtomicFile> file;
};

} // namespace meshprobe
