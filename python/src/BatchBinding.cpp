// SPDX-License-Identifier: MIT
// The tool's per-part batch job, its record labels and its output file, for the Python batch runners.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "meshprobe/Error.h"
#include "meshprobe/Batch.h"
#include "meshprobe/BatchOutput.h"
#include "meshprobe/Profile.h"
#include "python/src/Bindings.h"
#include "python/src/LongCall.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

using Stamp = std::optional<std::tuple<std::uint64_t, std::int64_t>>;

/// The check's profile: a printer kind, or a profile file's text (read once by the caller, so that workers
/// need not see the file).
std::optional<BatchCheck> checkOf(const std::optional<std::string>& printer,
                                  const std::optional<std::string>& profileText, const std::string& profileSource,
                                  int resolution, int threads)
{
    if (printer && profileText) throw InputError("give printer or profile, not both");
    if (printer) return BatchCheck{builtinProfile(*printer), resolution, threads};
    if (profileText) return BatchCheck{parseProfile(*profileText, profileSource), resolution, threads};
    return std::nullopt;
}

/// What a process check adds to a part's analyses: the printer or profile, and the winding repair.
struct CheckArguments {
    std::optional<std::string> printer;
    std::optional<std::string> profileText;
    std::string profileSource = "profile";
    bool fixWinding = false;
};

/// Refuses before any part what `meshprobe batch` refuses on its command line: otherwise every part of a run
/// would get a failure record repeating the same mistake.
void requireToolRanges(bool voxels, int resolution, int threads, std::optional<std::pair<float, float>> thickness,
                       int samples)
{
    if (voxels && (resolution < 1 || resolution > 1290))
        throw InputError("resolution " + std::to_string(resolution) + " is outside 1..1290");
    if (voxels && threads < 1) throw InputError("threads must be at least 1, got " + std::to_string(threads));
    if (!thickness) return;
    const auto [min, max] = *thickness;
    if (!(std::isfinite(min) && std::isfinite(max) && min >= 0 && min <= max))
        throw InputError("thickness must be (min, max) with 0 <= min <= max, both finite; got (" + std::to_string(min) +
                         ", " + std::to_string(max) + ")");
    if (samples < 0) throw InputError("samples must be 0 or more, got " + std::to_string(samples));
}

BatchOptions analyses(bool trapped, int resolution, const std::string& up, int threads,
                      std::optional<std::pair<float, float>> thickness, int samples, const CheckArguments& check)
{
    requireToolRanges(trapped || check.printer || check.profileText, resolution, threads, thickness, samples);
    BatchOptions options;
    options.check = checkOf(check.printer, check.profileText, check.profileSource, resolution, threads);
    options.fixWinding = check.fixWinding;
    if (trapped) options.trapped = BatchTrapped{resolution, parseBuildDirection(up), threads};
    if (thickness) options.thickness = BatchThickness{thickness->first, thickness->second, samples};
    return options;
}

PartLimits limits(std::optional<double> seconds, std::optional<double> megabytes)
{
    // The tool's --part-timeout and --part-memory range; NaN fails both comparisons.
    constexpr double highest = 1e9;
    if ((seconds && !(*seconds > 0 && *seconds <= highest)) ||
        (megabytes && !(*megabytes > 0 && *megabytes <= highest)))
        throw InputError("part_timeout and part_memory must be positive, at most 1e9 (or None for no limit)");
    return {seconds.value_or(0.0), static_cast<std::uint64_t>(megabytes.value_or(0.0) * (1 << 20))};
}

std::optional<FileStamp> toStamp(const Stamp& stamp)
{
    if (!stamp) return std::nullopt;
    return FileStamp{std::get<0>(*stamp), std::get<1>(*stamp)};
}

PartLabel label(std::size_t index, const std::filesystem::path& mesh, const Stamp& stamp, const std::string& options)
{
    return {index, mesh.string(), toStamp(stamp), options};
}

std::string record(const std::filesystem::path& path, bool trapped, int resolution, const std::string& up, int threads,
                   std::optional<std::pair<float, float>> thickness, int samples,
                   const std::optional<std::string>& printer, const std::optional<std::string>& profileText,
                   const std::string& profileSource, bool fixWinding, std::optional<double> partTimeout,
                   std::optional<double> partMemory, bool isolate, py::object progress)
{
    BatchOptions options = analyses(trapped, resolution, up, threads, thickness, samples,
                                    {printer, profileText, profileSource, fixWinding});
    const PartLimits partLimits = limits(partTimeout, partMemory);
    const bool isolated = isolate || partTimeout || partMemory;
    PythonProgress report(std::move(progress));
    options.progress = report.callback();
    return withoutGil(report, [&] {
        return (isolated ? isolatedBatchRecord(path.string(), options, partLimits)
                         : batchRecord(path.string(), options))
            .json;
    });
}

/// The output file as Python holds it: closed explicitly (with or at the end of a `with` block), so that
/// its lock is released and its records reach the disk when the run ends, not when the object is collected.
class OpenBatchOutput {
public:
    OpenBatchOutput(const std::filesystem::path& path, bool resume)
        : output(std::make_unique<BatchOutput>(path.string(),
                                               resume ? BatchOutput::Mode::Resume : BatchOutput::Mode::Replace))
    {
    }
    BatchOutput& open() const
    {
        if (!output) throw InputError("the batch output is closed");
        return *output;
    }
    void close() { output.reset(); }

private:
    std::unique_ptr<BatchOutput> output;
};

} // namespace

void bindBatch(py::module_& module)
{
    module.def("batch_record", &record, py::arg("path"), py::arg("trapped") = false, py::arg("resolution") = 256,
               py::arg("up") = "+z", py::arg("threads") = 1, py::arg("thickness") = py::none(), py::arg("samples") = 31,
               py::arg("printer") = py::none(), py::arg("profile_text") = py::none(),
               py::arg("profile_source") = "profile", py::arg("fix_winding") = false,
               py::arg("part_timeout") = py::none(), py::arg("part_memory") = py::none(), py::arg("isolate") = false,
               py::arg("progress") = py::none(),
               R"(One part of a batch: the JSON record `meshprobe batch` writes for it, as a str on one line.

path          the mesh file.
trapped       also run the trapped-volume analysis with resolution, up and threads (per part).
thickness     None, or (min, max) in mm to run the thickness analysis with `samples` rays per face.
printer       a printer kind, or profile_text a profile file's JSON text (named profile_source in errors):
              also check the part, with resolution and threads, as `meshprobe batch --printer/--profile`.
fix_winding   repair the winding before the analyses.
part_timeout  seconds, part_memory  MB: run the part in a child process with these limits (either one
              given); a crash, a timeout or running out of memory becomes the part's failure record.
isolate       run the part in a child process even without limits. A child of a process that has run
              analyses on several threads (threads > 1) can hang in OpenMP: isolate every part, or none.

Options `meshprobe batch` refuses (a resolution outside 1..1290, a bad thickness window, negative samples)
raise meshprobe.InputError before the part is read. A part that cannot be read or analysed gives a record
with "ok": false, its "error" and its "reason"; only cancellation (progress returning False:
meshprobe.Cancelled; Ctrl-C: KeyboardInterrupt) raises.)");

    module.def(
        "batch_options_json",
        [](bool trapped, int resolution, const std::string& up, int threads,
           std::optional<std::pair<float, float>> thickness, int samples, const std::optional<std::string>& printer,
           const std::optional<std::string>& profileText, const std::string& profileSource, bool fixWinding) {
            return batchOptionsJson(analyses(trapped, resolution, up, threads, thickness, samples,
                                             {printer, profileText, profileSource, fixWinding}));
        },
        py::arg("trapped") = false, py::arg("resolution") = 256, py::arg("up") = "+z", py::arg("threads") = 1,
        py::arg("thickness") = py::none(), py::arg("samples") = 31, py::arg("printer") = py::none(),
        py::arg("profile_text") = py::none(), py::arg("profile_source") = "profile", py::arg("fix_winding") = false,
        "The analyses' options as a record's \"options\" holds them (compact JSON).");

    module.def(
        "file_stamp",
        [](const std::filesystem::path& path) -> Stamp {
            const auto stamp = fileStamp(path.string());
            if (!stamp) return std::nullopt;
            return std::make_tuple(stamp->size, stamp->modifiedNs);
        },
        py::arg("path"), "(size, modification time in ns) of a file, or None when it cannot be examined.");

    module.def(
        "labelled_record",
        [](const std::string& line, std::size_t index, const std::filesystem::path& mesh, const Stamp& stamp,
           const std::string& options,
           const std::string& readFrom) { return labelledRecord(line, label(index, mesh, stamp, options), readFrom); },
        py::arg("record"), py::arg("index"), py::arg("mesh"), py::arg("stamp"), py::arg("options"),
        py::arg("read_from") = "",
        R"(A batch_record line with its label, as the tool writes it to its output: "index" first, then
"file" (the stamp) and "options" at the end; with read_from (the copy that was read), "mesh" and the
error name `mesh` instead.)");

    py::class_<OpenBatchOutput>(module, "BatchOutput",
                                R"(A batch's records file, as `meshprobe batch -o OUT [--resume]` writes it: one
whole line per record in one write, locked against a second writer, an unfinished last line dropped on
resume.)")
        .def(py::init<const std::filesystem::path&, bool>(), py::arg("path"), py::arg("resume") = false)
        .def(
            "has_record",
            [](const OpenBatchOutput& output, const std::filesystem::path& mesh, const Stamp& stamp,
               const std::string& options) { return output.open().hasRecord(label(0, mesh, stamp, options)); },
            py::arg("mesh"), py::arg("stamp"), py::arg("options"),
            "True when the file held a record of `mesh` with this stamp and these options when it was opened.")
        .def(
            "append", [](const OpenBatchOutput& output, const std::string& line) { output.open().append(line); },
            py::arg("record"), "Appends one record line.")
        .def("close", &OpenBatchOutput::close, "Writes the records to disk and releases the file (idempotent).")
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](OpenBatchOutput& output, py::args) { output.close(); })
        .def_property_readonly("records_found",
                               [](const OpenBatchOutput& output) { return output.open().recordsFound(); })
        .def_property_readonly("bytes_dropped",
                               [](const OpenBatchOutput& output) { return output.open().bytesDropped(); });

    module.def(
        "collect_mesh_files",
        [](const std::vector<std::filesystem::path>& paths) {
            std::vector<std::string> names;
            for (const std::filesystem::path& path : paths)
                names.push_back(path.string());
            return collectMeshFiles(names);
        },
        py::arg("paths"),
        R"(The mesh files of a batch, as `meshprobe batch` finds them: files kept as given, folders walked
recursively for the extensions meshprobe.load reads, each folder's files sorted.)");
}

} // namespace meshprobe::python
