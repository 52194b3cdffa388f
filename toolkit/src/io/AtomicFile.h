// SPDX-License-Identifier: MIT
// Output files written atomically: a temporary file beside the target, renamed over it when complete.
#pragma once

#include <cstddef>
#include <string>

#include "meshprobe/Progress.h"

namespace meshprobe::detail {

class AtomicFile {
public:
    /// How the contents reach the temporary file.
    enum class Writer {
        Descriptor, ///< through write()
        ByName,     ///< by a library that opens temporaryPath() itself
    };

    /// Descriptor: creates an empty temporary file in the target's folder, with the mode any new file gets
    /// under the umask. ByName: creates a hidden folder there for the writer's file, so that a writer that
    /// opens the file after an interrupt removed it cannot create it again. Throws InputError when that fails.
    explicit AtomicFile(std::string targetPath, Writer writer = Writer::Descriptor);
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
    std::string tempFolder; ///< ByName only
    int descriptor = -1;
    bool committed = false;
};

} // namespace meshprobe::detail
