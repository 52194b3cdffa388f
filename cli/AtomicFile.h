// SPDX-License-Identifier: MIT
// Output files written atomically: a temporary file beside the target, renamed over it when complete.
#pragma once

#include <cstddef>
#include <string>

namespace cli {

/// Checks before any long work that `path` can be created: its folder exists and is writable, and the path
/// is not a folder. Throws InputError naming the option and the path.
void checkOutputPath(const std::string& path, const std::string& option);

class AtomicFile {
public:
    /// Creates an empty temporary file in the target's folder. Throws InputError when that fails.
    explicit AtomicFile(std::string targetPath);
    /// Removes the temporary file unless commit() succeeded: an interrupted or failed write leaves nothing.
    ~AtomicFile();

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Path of the temporary file, for writers that open files by name.
    const std::string& temporaryPath() const { return tempPath; }

    /// Appends bytes to the temporary file.
    void write(const void* data, std::size_t size);

    /// Flushes the data to disk, gives the file the usual permissions and renames it over the target.
    /// Throws Kel::AbortException instead when Ctrl-C arrived meanwhile (the target is left untouched).
    void commit();

private:
    std::string target;
    std::string tempPath;
    int descriptor = -1;
    bool committed = false;
};

} // namespace cli
