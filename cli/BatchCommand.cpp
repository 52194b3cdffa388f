// SPDX-License-Identifier: MIT
// `meshprobe batch`: the chosen analyses on many parts, one JSON record per part (JSON Lines), parts in
// parallel.

#include <algorithm>
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
    std::atomic<std::size_t> failed{0};
    runInOrder(
        files.size(), options.jobs,
        [&](std::size_t part) {
            meshprobe::BatchRecord record = meshprobe::batchRecord(files[part], analyses);
            if (!record.ok) ++failed;
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
    return failed == 0 ? ExitSuccess : ExitAnalysisFailed;
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
    command->add_option("-r,--resolution", options->resolution, "With --trapped: voxels along the longest side")
        ->type_name("N")
        ->check(CLI::Range(1, 1290))
        ->capture_default_str()
        ->needs(trapped);
    command->add_option("--up", options->up, "With --trapped: build direction (+z, -z, +x, -x, +y, -y)")
        ->type_name("AXIS")
        ->check(CLI::IsMember(meshprobe::buildDirectionNames()))
        ->capture_default_str()
        ->needs(trapped);
    command->add_option("--threads", options->threads, "With --trapped: worker threads per part")
        ->type_name("T")
        ->check(CLI::PositiveNumber)
        ->capture_default_str()
        ->needs(trapped);
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
