// SPDX-License-Identifier: MIT
// One part of a batch: load, measure, run the chosen analyses, and write everything as one JSON record.
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>
#include <optional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "meshprobe/Batch.h"
#include "meshprobe/Check.h"
#include "meshprobe/Error.h"
#include "meshprobe/Import.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThinAreas.h"
#include "meshprobe/TrappedVolumes.h"
#include "batch/src/IsolatedJob.h"
#include "toolkit/json/ResultJson.h"

#if defined(__SANITIZE_THREAD__)
#define MESHPROBE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MESHPROBE_THREAD_SANITIZER 1
#endif
#endif

namespace {
#ifdef MESHPROBE_THREAD_SANITIZER
constexpr bool forkedParts = false;
#else
constexpr bool forkedParts = true;
#endif
} // namespace

namespace meshprobe {

namespace {

using Json = nlohmann::ordered_json;

constexpr int histogramBins = 10; // the tool's thickness report uses ten bins over the window

using json::shortestDouble;

Json trappedReport(const Mesh& mesh, const BatchTrapped& job, const ProgressCallback& progress)
{
    TrappedOptions options;
    options.resolution = job.resolution;
    options.up = job.up;
    options.threads = job.threads;
    options.cavityMeshes = false; // a record lists cavities; their meshes would only cost memory
    options.progress = progress;
    return json::trappedJson(trappedVolumes(mesh, options));
}

Json thicknessReport(const Mesh& mesh, const BatchThickness& job, const ProgressCallback& progress)
{
    ThicknessOptions options;
    options.min = job.min;
    options.max = job.max;
    options.samples = job.samples;
    options.threads = 1; // parts run side by side (--jobs); each part's rays on one thread
    options.progress = progress;
    const ThicknessResult result = thickness(mesh, options);
    // The window's counts as the tool reports them (a wall at max is not thin).
    const ThinCounts counts = thinCounts(result.perFace, job.min, job.max, histogramBins);
    Json report{{"min", shortestDouble(job.min)},
                {"max", shortestDouble(job.max)},
                {"samples", job.samples},
                {"status", result.status},
                {"message", result.message}};
    json::addThinCountsJson(report, counts);
    report["histogram"] = json::histogramJson(counts.bins);
    return report;
}

/// Progress of one step as a slice [from, to] of the part's 0..100.
ProgressCallback slice(const ProgressCallback& progress, float from, float to)
{
    if (!progress) return {};
    return [progress, from, to](float percent) { return progress(from + percent * (to - from) / 100.0f); };
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return std::round(elapsed.count() * 1000.0) / 1000.0;
}

Json runJob(const std::string& path, const BatchOptions& options)
{
    // Loading is quick next to the analyses; they share the rest of the part's progress, the check (which
    // runs thickness and cavities) as much as the other two together.
    const bool analyses = options.trapped || options.thickness || options.check;
    const float loaded = analyses ? 5.0f : 100.0f;
    const float checkStart = options.check ? (options.trapped || options.thickness ? 50.0f : loaded) : 100.0f;
    const float trappedEnd = options.thickness ? (options.trapped ? (loaded + checkStart) / 2 : loaded) : checkStart;
    Mesh mesh = loadMesh(path, {slice(options.progress, 0.0f, loaded)});
    std::size_t flippedFaces = 0;
    if (options.fixWinding) {
        WindingFix fix = fixWinding(mesh);
        flippedFaces = fix.flippedFaces;
        mesh = std::move(fix.mesh);
    }
    Json record{{"mesh", path},
                {"ok", true},
                {"triangles", mesh.triangleCount()},
                {"vertices", mesh.vertexCount()},
                {"info", json::infoJson(inspect(mesh))}};
    record["warnings"] = nullptr; // filled in below, from the check's own mesh checks when it runs
    if (options.fixWinding) record["winding_fixed_faces"] = flippedFaces;
    if (options.trapped)
        record["trapped"] = trappedReport(mesh, *options.trapped, slice(options.progress, loaded, trappedEnd));
    if (options.thickness)
        record["thickness"] =
            thicknessReport(mesh, *options.thickness, slice(options.progress, trappedEnd, checkStart));
    std::optional<CheckResult> checked;
    if (options.check) {
        CheckOptions checkOptions;
        checkOptions.resolution = options.check->resolution;
        checkOptions.threads = options.check->threads;
        checkOptions.progress = slice(options.progress, checkStart, 100.0f);
        checked = check(mesh, options.check->profile, checkOptions);
    }
    record["warnings"] = json::warningsJson(checked ? checked->meshWarnings : checkMesh(mesh));
    if (checked) json::addCheckJson(record, *checked, options.check->profile);
    return record;
}

Json failure(const std::string& path, const std::string& message, const char* reason)
{
    return Json{{"mesh", path}, {"ok", false}, {"error", message}, {"reason", reason}};
}

BatchRecord finished(Json record, std::chrono::steady_clock::time_point start)
{
    record["seconds"] = secondsSince(start);
    const bool ok = record["ok"].get<bool>();
    std::string reason = ok ? std::string() : record["reason"].get<std::string>();
    std::string verdict = ok && record.contains("verdict") ? record["verdict"].get<std::string>() : "";
    // Messages may quote file content; replacing invalid UTF-8 keeps the record writable.
    return {json::dumpJson(record), ok, std::move(verdict), std::move(reason)};
}

std::string plainNumber(double value)
{
    std::ostringstream text;
    text << value;
    return text.str();
}

std::string megabytes(std::uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

std::string memoryMessage(const std::string& path, const PartLimits& limits)
{
    return path + ": needs more memory than " +
           (limits.memoryBytes > 0 ? "the " + megabytes(limits.memoryBytes) + " a part may use"
                                   : std::string("there is"));
}

} // namespace

BatchRecord batchRecord(const std::string& path, const BatchOptions& options)
{
    const auto start = std::chrono::steady_clock::now();
    Json record;
    try {
        record = runJob(path, options);
    } catch (const Cancelled&) {
        throw;
    } catch (const std::bad_alloc&) {
        record = failure(path, path + ": out of memory", FailureReason::memory);
    } catch (const std::exception& e) {
        record = failure(path, e.what(), FailureReason::error);
    }
    return finished(std::move(record), start);
}

BatchRecord isolatedBatchRecord(const std::string& path, const BatchOptions& options, const PartLimits& limits)
{
    // ThreadSanitizer ends a child of a threaded process that starts threads, as the analyses do: under it,
    // parts run in the caller, without limits.
    if constexpr (!forkedParts) return batchRecord(path, options);
    const auto start = std::chrono::steady_clock::now();
    BatchOptions inChild = options;
    inChild.progress = {}; // cancellation is the parent's: it kills the child
    const detail::IsolatedOutcome outcome =
        detail::runIsolated([&] { return batchRecord(path, inChild).json; }, limits, options.progress);
    using Kind = detail::IsolatedOutcome::Kind;
    switch (outcome.kind) {
    case Kind::Done: {
        Json record = Json::parse(outcome.text);
        // The job records a failed allocation itself; with a limit, the limit is what the user can change.
        if (!record["ok"].get<bool>() && record["reason"] == FailureReason::memory && limits.memoryBytes > 0)
            record["error"] = memoryMessage(path, limits);
        return finished(std::move(record), start);
    }
    case Kind::Timeout:
        return finished(
            failure(path, path + ": not finished within the " + plainNumber(limits.seconds) + " s a part may take",
                    FailureReason::timeout),
            start);
    case Kind::Memory:
        return finished(failure(path, memoryMessage(path, limits), FailureReason::memory), start);
    case Kind::Crash:
        break;
    }
    return finished(failure(path, path + ": the analysis crashed (" + outcome.text + ")", FailureReason::crash), start);
}

} // namespace meshprobe
