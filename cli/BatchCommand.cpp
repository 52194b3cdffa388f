// SPDX-License-Identifier: MIT
// `meshprobe batch`: the chosen analyses on many parts, one JSON record per part (JSON Lines), parts in
// parallel, each in its own process so that no part can end the batch.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/BatchSummary.h"
#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/NumberRange.h"
#include "meshprobe/detail/OrderedRuns.h"
#include "cli/ProcessProfile.h"
#include "cli/ProgressBar.h"
#include "cli/Stopwatch.h"
#include "cli/ThicknessWindow.h"
#include "meshprobe/Batch.h"
#include "meshprobe/BatchOutput.h"
#include "meshprobe/Threads.h"

namespace cli {

namespace {

struct BatchOptions {
    std::vector<std::string> paths;
    int jobs = meshprobe::defaultThreadCount();
    bool trapped = false;
    int resolution = 256;
    std::string up = "+z";
    int threads = 1;
    std::vector<double> thickness;
    int samples = 31;
    std::string outputPath;
    bool resume = false;
    bool ordered = false;
    double partSeconds = 0.0;
    double partMegabytes = 0.0;
    bool quiet = false;
    ProfileCliOptions profile;
    bool fixWinding = false;
    /// -r and --threads, which only the trapped-volume analysis and the check use.
    CLI::Option* resolutionOption = nullptr;
    CLI::Option* threadsOption = nullptr;
};

/// A failing part (its check's verdict is fail): the batch ran, but not every part is fit to print.
constexpr int ExitVerdictFailed = 3;

/// How many parts passed, warned and failed their check.
struct VerdictCounts {
    std::atomic<std::size_t> pass{0}, warn{0}, fail{0};

    void add(const meshprobe::BatchRecord& record)
    {
        if (record.verdict == "pass") ++pass;
        if (record.verdict == "warn") ++warn;
        if (record.verdict == "fail") ++fail;
    }
};

/// Where the records go: stdout, each line flushed so that a reader of the pipe sees every part as soon as
/// it is done, or the batch's output file.
class RecordSink {
public:
    explicit RecordSink(std::unique_ptr<meshprobe::BatchOutput> output) : file(std::move(output)) {}

    void write(const std::string& line)
    {
        if (file) {
            file->append(line);
            return;
        }
        std::cout << line << '\n' << std::flush;
        if (!std::cout) throw meshprobe::Error("cannot write to standard output");
    }

private:
    std::unique_ptr<meshprobe::BatchOutput> file;
};

meshprobe::BatchOptions analysesOf(const BatchOptions& options)
{
    meshprobe::BatchOptions analyses;
    if (options.trapped)
        analyses.trapped =
            meshprobe::BatchTrapped{options.resolution, meshprobe::parseBuildDirection(options.up), options.threads};
    if (!options.thickness.empty()) {
        checkThicknessWindow(options.thickness[0], options.thickness[1], "--thickness MIN", "MAX");
        analyses.thickness = meshprobe::BatchThickness{static_cast<float>(options.thickness[0]),
                                                       static_cast<float>(options.thickness[1]), options.samples};
    }
    for (const CLI::Option* o :
         {options.profile.minWallOption, options.profile.warnWallOption, options.profile.drainOption})
        if (o->count() && !hasProfile(options.profile))
            throw InputError(o->get_name() + " needs a process: --printer KIND or --profile FILE");
    for (const CLI::Option* o : {options.resolutionOption, options.threadsOption})
        if (o->count() && !options.trapped && !hasProfile(options.profile))
            throw InputError(o->get_name() + " needs --trapped, --printer or --profile");
    if (hasProfile(options.profile))
        analyses.check = meshprobe::BatchCheck{resolveProfile(options.profile), options.resolution, options.threads};
    analyses.fixWinding = options.fixWinding;
    analyses.progress = cancelOnInterrupt();
    return analyses;
}

meshprobe::PartLimits limitsOf(const BatchOptions& options)
{
    return {options.partSeconds, static_cast<std::uint64_t>(options.partMegabytes * (1 << 20))};
}

int runBatch(const BatchOptions& options)
{
    const Stopwatch stopwatch;
    const meshprobe::BatchOptions analyses = analysesOf(options);
    const meshprobe::PartLimits limits = limitsOf(options);
    const std::string optionsJson = meshprobe::batchOptionsJson(analyses);
    const std::vector<std::string> files = meshprobe::collectMeshFiles(options.paths);
    if (files.empty()) throw InputError("batch: no mesh files found in the folders given");

    std::unique_ptr<meshprobe::BatchOutput> output;
    if (!options.outputPath.empty())
        output = std::make_unique<meshprobe::BatchOutput>(options.outputPath,
                                                          options.resume ? meshprobe::BatchOutput::Mode::Resume
                                                                         : meshprobe::BatchOutput::Mode::Replace);

    // The label of every part, stamped before it is read: a file changed while it was analysed is redone
    // by a resume.
    BatchSummary summary;
    std::vector<meshprobe::PartLabel> parts;
    for (std::size_t index = 0; index < files.size(); ++index) {
        meshprobe::PartLabel label{index, files[index], meshprobe::fileStamp(files[index]), optionsJson};
        if (output && options.resume && output->hasRecord(label))
            summary.skipped(1);
        else
            parts.push_back(std::move(label));
    }
    RecordSink sink(std::move(output));

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    const meshprobe::ProgressCallback partsDone = progress.stage("parts", 0, 100);
    std::size_t delivered = 0;
    VerdictCounts verdicts;
    const auto printSummary = [&](bool interrupted) {
        progress.clear();
        std::cerr << "meshprobe batch: " << summary.text(stopwatch.seconds(), interrupted) << std::endl;
        if (analyses.check)
            std::cerr << "meshprobe batch: verdicts: " << verdicts.pass << " pass, " << verdicts.warn << " warn, "
                      << verdicts.fail << " fail" << std::endl;
    };
    try {
        meshprobe::detail::runInOrder(
            parts.size(), options.jobs,
            [&](std::size_t part) {
                const meshprobe::BatchRecord record =
                    meshprobe::isolatedBatchRecord(parts[part].mesh, analyses, limits);
                verdicts.add(record);
                // The reason travels in front of the record, after a line break, which a JSON line never holds.
                return (record.ok ? std::string() : record.reason) + '\n' +
                       meshprobe::labelledRecord(record.json, parts[part]);
            },
            [&](std::size_t, std::string&& reasonAndRecord) {
                const std::size_t lineBreak = reasonAndRecord.find('\n');
                progress.clear();
                sink.write(reasonAndRecord.substr(lineBreak + 1));
                summary.recorded(reasonAndRecord.substr(0, lineBreak));
                ++delivered;
                if (!partsDone(100.0f * static_cast<float>(delivered) / static_cast<float>(parts.size())))
                    throw meshprobe::Cancelled();
            },
            options.ordered ? meshprobe::detail::Delivery::ItemOrder : meshprobe::detail::Delivery::Completion);
    } catch (const meshprobe::Cancelled&) {
        if (!options.quiet) printSummary(true);
        throw;
    }
    if (!options.quiet) printSummary(false);
    // A part that could not be analysed outweighs a verdict: its record holds none.
    if (summary.failed() != 0) return ExitAnalysisFailed;
    return verdicts.fail ? ExitVerdictFailed : ExitSuccess;
}

} // namespace

Command addBatchCommand(CLI::App& app)
{
    auto options = std::make_shared<BatchOptions>();
    CLI::App* command = app.add_subcommand(
        "batch", "The chosen analyses on many parts: one JSON line per part (failed parts included), in parallel");
    command->add_option("FILES", options->paths, "Mesh files, and folders to search for mesh files")->required();
    command->add_option("--jobs", options->jobs, "Parts analysed at the same time (default: all cores)")
        ->type_name("N")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    CLI::Option* trapped = command->add_flag("--trapped", options->trapped, "Find trapped volumes in every part");
    options->resolutionOption = command
                                    ->add_option("-r,--resolution", options->resolution,
                                                 "With --trapped or a process: voxels along the longest side")
                                    ->type_name("N")
                                    ->check(CLI::Range(1, 1290))
                                    ->capture_default_str();
    command->add_option("--up", options->up, "With --trapped: build direction (+z, -z, +x, -x, +y, -y)")
        ->type_name("AXIS")
        ->check(CLI::IsMember(meshprobe::buildDirectionNames()))
        ->capture_default_str()
        ->needs(trapped);
    options->threadsOption =
        command->add_option("--threads", options->threads, "With --trapped or a process: worker threads per part")
            ->type_name("T")
            ->check(CLI::PositiveNumber)
            ->capture_default_str();
    addProfileOptions(*command, options->profile, false);
    command->add_flag("--fix-winding", options->fixWinding,
                      "Make the winding consistent and turn inside-out shells before the analyses");
    command->footer(profileFooter() + "\nWith --printer or --profile every part is checked as `meshprobe check` "
                                      "does; exit 3 when a part fails.");
    CLI::Option* thickness =
        command->add_option("--thickness", options->thickness, "Measure wall thickness with the window MIN to MAX mm")
            ->expected(2)
            ->type_name("MIN MAX")
            ->check(CLI::NonNegativeNumber);
    command->add_option("--samples", options->samples, "With --thickness: rays per face")
        ->type_name("S")
        ->check(CLI::NonNegativeNumber)
        ->capture_default_str()
        ->needs(thickness);
    CLI::Option* output =
        command
            ->add_option("-o,--output", options->outputPath,
                         "Write the records to OUT instead of stdout, each as soon as its part is done")
            ->type_name("OUT");
    command
        ->add_flag("--resume", options->resume,
                   "Keep the records in OUT and do only the parts without one (or whose file or options changed)")
        ->needs(output);
    command->add_flag("--ordered", options->ordered,
                      "Records in the order of the parts (default: as parts finish, each with its \"index\")");
    command->add_option("--part-timeout", options->partSeconds, "Seconds a part may take before it is stopped")
        ->type_name("S")
        ->check(positiveNumberUpTo(1e9, "s"));
    command->add_option("--part-memory", options->partMegabytes, "Memory a part may use, in MB")
        ->type_name("MB")
        ->check(positiveNumberUpTo(1e9, "MB"));
    command->add_flag("-q,--quiet", options->quiet, "No progress bar and no summary on stderr");
    return {command, [options] { return runBatch(*options); }};
}

} // namespace cli
