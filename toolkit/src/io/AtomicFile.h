// SPDX-License-Identifier: MIT
// Output files written atomically: a temporary file beside the target, renamed over it when complete.
#pragma once

#include <cstddef>
#include <string>

#include "meshprobe/Progress.h"

namespace meshprobe::detail {

class AtomicFile {
public:
    /// Creates an empty temporary file in the target's folder, with the mode any new file gets under the
    /// umask. Throws InputError when that fails.
    explicit AtomicFile(std::string targetPath);
    /// Removes the temporary file unless commit() succeeded: an interrupted or failed write leaves nothing.
    ~AtomicFile();

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Path of the temporary file, for writers that open files by name.
    const std::string& temporaryPath() const { return tempPath; }

    /// Appends bytes to the temporary file.
    void write(const void* data, std::size_t size);

    /// Flushes the data to disk and renames the file over the target.
    /// Reports 100 first and throws Cancelled instead when the callback answers false (the target is left
    /// untouched).
    void commit(const ProgressCallback& progress);

private:
    std::string target;
    std::string tempPath;
    int descriptor = -1;
    bool committed = false;
};

} // namespace meshprobe::detail
