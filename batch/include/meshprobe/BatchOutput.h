// SPDX-License-Identifier: MIT
// The records file of a batch: appended one whole line per part as parts finish, readable while it grows,
// and resumable after a crash.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>

#include "meshprobe/Batch.h"

namespace meshprobe {

/// A batch's JSON Lines output file. Each record is written with one write() on a descriptor opened with
/// O_APPEND, so a reader never sees two records mixed; a process killed in the middle of a write leaves at
/// most that one line unfinished, without its line break, and resuming drops it. The file is locked
/// (flock) while open: a second batch on the same file is refused instead of interleaving with this one.
/// Written data reaches the disk at least once a second and when the object is destroyed.
class BatchOutput {
public:
    enum class Mode {
        Replace, ///< start empty (existing records are removed)
        Resume,  ///< keep the records there, drop an unfinished last line, append after them
    };

    /// @throw InputError naming `path` when it cannot be opened or locked, or (Resume) when a complete
    ///        line in it is not JSON
    BatchOutput(const std::string& path, Mode mode);
    ~BatchOutput();
    BatchOutput(const BatchOutput&) = delete;
    BatchOutput& operator=(const BatchOutput&) = delete;

    /// True when the file held, when opened, a record of label.mesh made with label.options from a file of
    /// label.file's stamp (the last record of a mesh counts). A resumed batch skips such parts.
    bool hasRecord(const PartLabel& label) const;

    /// Records found when the file was opened, and the bytes of the unfinished line dropped.
    std::size_t recordsFound() const { return records; }
    std::size_t bytesDropped() const { return dropped; }

    /// Appends `record` and a line break in one write.
    /// @throw Error naming the file when the write fails (disk full, ...)
    void append(const std::string& record);

    /// Forces the records written so far to disk.
    void sync();

private:
    struct Made {
        std::string options;
        std::string file; // the record's "file" value as JSON text
    };
    void readExisting();

    std::string path;
    int descriptor = -1;
    std::unordered_map<std::string, Made> made;
    std::size_t records = 0;
    std::size_t dropped = 0;
    std::chrono::steady_clock::time_point lastSync;
};

} // namespace meshprobe
