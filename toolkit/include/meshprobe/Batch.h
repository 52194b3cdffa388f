// SPDX-License-Identifier: MIT
// Batch runs: the job done for one part (load, chosen analyses, one JSON record), shared by the tool's
// `batch` command and the Python module's cluster runner so that both write the same records.
#pragma once

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
/// keys are those of `meshprobe check --json`. A part that
/// fails (unreadable file, failed analysis, out of memory):
///   {"mesh": path, "ok": false, "error": message, "seconds"}
struct BatchRecord {
    std::string json;
    /// The value of "ok": false when the part could not be read or analysed.
    bool ok = false;
    /// The value of "verdict" ("pass", "warn", "fail"); empty without a check or when the part failed.
    std::string verdict;
};

/// Loads one part, runs the chosen analyses and returns its record. Only cancellation throws (Cancelled);
/// every other failure is recorded. Peak memory is one part's mesh and analysis.
BatchRecord batchRecord(const std::string& path, const BatchOptions& options = {});

/// The mesh files named by `paths`: files are kept as given (readable extension or not, so that a wrong
/// file shows up as a failed part); folders are walked recursively for files whose extension loadMesh
/// reads, each folder's files sorted by path. A path that does not exist is kept too (its record says so).
std::vector<std::string> collectMeshFiles(const std::vector<std::string>& paths);

} // namespace meshprobe
