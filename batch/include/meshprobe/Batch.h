// SPDX-License-Identifier: MIT
// Batch runs: the job done for one part (load, chosen analyses, one JSON record), shared by the tool's
// `batch` command and the Python module's cluster runner so that both write the same records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "meshprobe/BuildDirection.h"
#include "meshprobe/Profile.h"
#include "meshprobe/Progress.h"

namespace meshprobe {

/// The trapped-volume analysis of a batch, as `meshprobe trapped` takes it.
struct BatchTrapped {
    int resolution = 256;
    BuildDirection up = BuildDirection::PlusZ;
    /// Worker threads per part; parts themselves run in parallel, so one is the usual choice.
    int threads = 1;
};

/// The thickness analysis of a batch, as `meshprobe thickness` takes it.
struct BatchThickness {
    float min = 0.0f; ///< mm
    float max = 1.0f; ///< mm
    int samples = 31;
};

/// The printability check of a batch, as `meshprobe check` runs it.
struct BatchCheck {
    Profile profile;
    int resolution = 256;
    /// Worker threads per part.
    int threads = 1;
};

/// The analyses run on every part. Size and health (what `meshprobe info` reports) are always measured.
struct BatchOptions {
    std::optional<BatchTrapped> trapped;
    std::optional<BatchThickness> thickness;
    std::optional<BatchCheck> check;
    /// Repair every part's winding (fixWinding) before its analyses.
    bool fixWinding = false;
    /// Progress of one part's job; false cancels it (Cancelled), which stops the batch rather than
    /// being recorded as a failed part.
    ProgressCallback progress;
};

/// One part's record: one JSON object on one line, without a line break.
/// A part that loads and analyses:
///   {"mesh": path, "ok": true, "triangles", "vertices", "info": {...}, "warnings": [...], "trapped": {...},
///    "thickness": {...}, "verdict", "profile", "findings", "counts", ..., "seconds"}
/// where "info", "trapped" and "thickness" hold the keys of the tool's JSON report of that command (without
/// "command", "mesh", "triangles", "vertices" and "seconds"; thickness without per-face values), "warnings"
/// the mesh checks ({"code", "count", "text"}; with fixWinding also "winding_fixed_faces"), and the check's
/// keys are those of `meshprobe check --json`. A part that fails:
///   {"mesh": path, "ok": false, "error": message, "reason": why, "seconds"}
/// where "reason" is one of the FailureReason names.
struct BatchRecord {
    std::string json;
    /// The value of "ok": false when the part could not be read or analysed.
    bool ok = false;
    /// The value of "verdict" ("pass", "warn", "fail"); empty without a check or when the part failed.
    std::string verdict;
    /// The value of "reason" ("" when ok).
    std::string reason;
};

/// Why a part failed, as its record's "reason" says.
namespace FailureReason {
constexpr const char* error = "error";     ///< unreadable file or failed analysis
constexpr const char* memory = "memory";   ///< more memory than the part may use, or than there is
constexpr const char* timeout = "timeout"; ///< longer than the part may take
constexpr const char* crash = "crash";     ///< the process running the part died (a signal)
constexpr const char* worker = "worker";   ///< a cluster worker died running it, as often as allowed
} // namespace FailureReason

/// Loads one part, runs the chosen analyses and returns its record. Only cancellation throws (Cancelled);
/// every other failure is recorded. Peak memory is one part's mesh and analysis.
BatchRecord batchRecord(const std::string& path, const BatchOptions& options = {});

/// Limits of one part run by isolatedBatchRecord; zero means none.
struct PartLimits {
    double seconds = 0.0; ///< wall-clock time from start to record
    /// Address space the part may add to what the process had mapped. Memory the process had mapped and
    /// freed (the heap of a long-running host) is free for the part on top of this.
    std::uint64_t memoryBytes = 0;
};

/// batchRecord run in a forked child process, so that whatever happens to the part happens to the child:
/// a crash (any signal), exceeding `limits` or running out of memory becomes the part's failure record
/// (reason "crash", "timeout" or "memory") and the caller goes on. The child ignores SIGINT and SIGTERM
/// and dies with the calling thread. options.progress is polled every 50 ms in the caller; false kills the
/// child and throws Cancelled. Call it from a process that has not itself run analyses on several threads
/// (OpenMP's thread pool does not survive fork): the tool and cluster workers run every part this way.
/// In ThreadSanitizer builds, which cannot follow such a child, the part runs in the caller without limits.
BatchRecord isolatedBatchRecord(const std::string& path, const BatchOptions& options, const PartLimits& limits = {});

/// A file's size and modification time: what resuming a batch compares to tell whether a part changed.
/// (A hash would also catch a rewrite within the file system's time resolution that keeps the size, but
/// costs a full read of every part on each resume.)
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; ///< nanoseconds since the epoch
    bool operator==(const FileStamp& other) const { return size == other.size && modifiedNs == other.modifiedNs; }
};

/// The stamp of `path`, or nothing when it cannot be examined (missing file).
std::optional<FileStamp> fileStamp(const std::string& path);

/// The analyses and options of `options` as compact JSON, the same text for the same analyses (threads and
/// progress, which do not change a record, are left out): {"trapped": {...} or null, "thickness": ...}.
std::string batchOptionsJson(const BatchOptions& options);

/// What a record in a batch's output is about, beyond what the per-part job knows.
struct PartLabel {
    std::size_t index = 0;         ///< position of the part in the batch's input
    std::string mesh;              ///< the path as the batch was given it
    std::optional<FileStamp> file; ///< taken before the part was read
    std::string options;           ///< batchOptionsJson of the batch
};

/// `record` (a batchRecord line) with the label added: "index" first, then the record's keys, then
/// "file": {"size", "modified_ns"} (null when the file was missing) and "options". When the part was read
/// from a copy (`readFrom`, e.g. bytes sent to a cluster worker), "mesh" and the error message name
/// label.mesh instead of the copy.
std::string labelledRecord(const std::string& record, const PartLabel& label, const std::string& readFrom = {});

/// The mesh files named by `paths`: files are kept as given (readable extension or not, so that a wrong
/// file shows up as a failed part); folders are walked recursively for files whose extension loadMesh
/// reads, each folder's files sorted by path. A path that does not exist is kept too (its record says so).
std::vector<std::string> collectMeshFiles(const std::vector<std::string>& paths);

} // namespace meshprobe
