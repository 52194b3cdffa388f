// SPDX-License-Identifier: MIT
// `meshprobe batch`: the chosen analyses on many parts, one JSON record per part (JSON Lines), parts in
// parallel.

#include <algorithm>
#include <iostream>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/OrderedParallel.h"
#include "cli/ProcessProfile.h"
#include "cli/ProgressBar.h"
#include "cli/ThicknessWindow.h"
#include "meshprobe/Batch.h"
#include "meshprobe/JsonLinesFile.h"

namespace cli {

namespace {

struct BatchOptions {
    std::vector<std::string> paths;
    int jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    bool trapped = false;
    int resolution = 256;
    std::string up = "+z";
    int threads = 1;
    std::vector<double> thickness;
    int samples = 31;
    std::string outputPath;
    bool quiet = false;
    ProfileCliOptions profile;
    bool fixWinding = false;
    /// -r and --threads, which only the trapped-volume analysis and the check use.
    CLI::Option* resolutionOption = nullptr;
    CLI::Option* threadsOption = nullptr;
};

/// A failing part (its check's verdict is fail): the batch ran, but not every part is fit to print.
constexpr int ExitVerdictFailed = 3;

/// How many parts passed, warned and failed their check, and how many could not be read or analysed.
struct VerdictCounts {
    std::atomic<std::size_t> pass{0}, warn{0}, fail{0}, failedParts{0};

    void add(const meshprobe::BatchRecord& record)
    {
        if (!record.ok) ++failedParts;
        if (record.verdict == "pass") ++pass;
        if (record.verdict == "warn") ++warn;
        if (record.verdict == "fail") ++fail;
    }
};

/// Where the records go: stdout, or a file that replaces the target only once the batch is complete.
class RecordSink {
public:
    explicit RecordSink(const std::string& path)
    {
        if (!path.empty()) file = std::make_unique<meshprobe::JsonLinesFile>(path);
    }
    RecordSink(const RecordSink&) = delete;
    RecordSink& operator=(const RecordSink&) = delete;

    void write(std::string line)
    {
        if (file) {
            file->append(line);
            return;
        }
        line += '\n';
        // Each line is flushed, so that a reader of the pipe sees every part as soon as it is done.
        if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0)
            throw meshprobe::Error("cannot write to standard output");
    }

    void commit()
    {
        if (file) file->commit(cancelOnInterrupt());
    }

private:
    std::unique_ptr<meshprobe::JsonLinesFile> file;
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

int runBatch(const BatchOptions& options)
{
    const meshprobe::BatchOptions analyses = analysesOf(options);
    const std::vector<std::string> files = meshprobe::collectMeshFiles(options.paths);
    if (files.empty()) throw InputError("batch: no mesh files found in the folders given");
    RecordSink sink(options.outputPath);

    ProgressBar progress(ProgressBar::shouldShow(options.quiet));
    const meshprobe::ProgressCallback partsDone = progress.stage("parts", 0, 100);
    VerdictCounts counts;
    runInOrder(
        files.size(), options.jobs,
        [&](std::size_t part) {
            meshprobe::BatchRecord record = meshprobe::batchRecord(files[part], analyses);
            counts.add(record);
            return std::move(record.json);
        },
        [&](std::size_t part, std::string&& record) {
            progress.clear();
            sink.write(std::move(record));
            if (!partsDone(100.0f * static_cast<float>(part + 1) / static_cast<float>(files.size())))
                throw meshprobe::Cancelled();
        });
    progress.clear();
    sink.commit();
    if (analyses.check)
        std::cerr << "meshprobe: " << files.size() << (files.size() == 1 ? " part: " : " parts: ") << counts.pass
                  << " pass, " << counts.warn << " warn, " << counts.fail << " fail"
                  << (counts.failedParts ? ", " + std::to_string(counts.failedParts) + " not analysed" : "")
                  << std::endl;
    // A part that could not be analysed outweighs a verdict: its record holds none.
    if (counts.failedParts) return ExitAnalysisFailed;
    return counts.fail ? ExitVerdictFailed : ExitSuccess;
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
    command
        ->add_option("-o,--output", options->outputPath,
                     "Write the records to OUT instead of stdout (replaced only when the batch completes)")
        ->type_name("OUT");
    command->add_flag("-q,--quiet", options->quiet, "No progress bar on stderr");
    return {command, [options] { return runBatch(*options); }};
}

} // namespace cli
