// SPDX-License-Identifier: MIT
// What every benchmark program shares: `--mesh FILE` (any format the toolkit reads) in place of the
// program's generated meshes, and `--json`, one JSON object per line per measure.
//
// A measure describes itself with describe(): the mesh's name, its triangles, the threads and, where it
// applies, a throughput (items per second) and its unit. Other counters become extra keys of its line; a
// counter whose name ends in "_s" (seconds of one phase) also gets a line of its own.
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "meshprobe/Import.h"
#include "tests/support/TestMeshes.h"

namespace bench {

/// A mesh to run on, with the name the JSON lines give it.
struct NamedMesh {
    std::string name;
    testmesh::Soup soup;
    std::size_t triangles() const { return soup.indices.size() / 3; }
};

/// Peak resident memory of the process since the last reset, MiB (Linux).
inline double peakResidentMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0.0;
}

/// Resets the peak that peakResidentMiB reads.
inline void resetPeakResident()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

/// CPU time of the whole process so far (all threads), seconds: unlike the wall time it does not grow while
/// other processes hold the cores.
inline double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * t.tv_usec; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

/// The path given with --mesh, empty without.
inline std::string& meshFile()
{
    static std::string path;
    return path;
}

/// The --mesh file as a soup, read once.
inline const NamedMesh& fileMesh()
{
    static const NamedMesh mesh = [] {
        const meshprobe::Mesh loaded = meshprobe::loadMesh(meshFile());
        return NamedMesh{meshFile(), testmesh::Soup{loaded.vertices, loaded.triangles}};
    }();
    return mesh;
}

/// Between the mesh's name and the unit in a run's label (the console shows the label as it is).
constexpr const char* labelSeparator = " | ";

/// Names the run's mesh, triangle count and threads, and its throughput: `items` per iteration, counted
/// per second of the measured time, in `unit` ("rays/s").
inline void describe(benchmark::State& state, const std::string& mesh, std::size_t triangles, int threads,
                     double items = 0.0, const std::string& unit = "")
{
    state.SetLabel(unit.empty() ? mesh : mesh + labelSeparator + unit);
    state.counters["triangles"] = static_cast<double>(triangles);
    state.counters["threads"] = threads;
    if (!unit.empty())
        state.counters["throughput"] =
            benchmark::Counter(items * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

/// One JSON object per line and measure.
class JsonLinesReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context&) override { return true; }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const std::size_t split = run.report_label.rfind(labelSeparator);
            nlohmann::json line;
            line["anchor"] = run.run_name.function_name.substr(0, run.run_name.function_name.find('/'));
            line["measure"] = run.benchmark_name();
            line["mesh"] = run.report_label.substr(0, split);
            const double seconds = run.real_accumulated_time / static_cast<double>(run.iterations);
            line["time_s"] = seconds;
            std::vector<std::pair<std::string, double>> phases;
            for (const auto& [name, counter] : run.counters) {
                if (name == "throughput") {
                    line["throughput"] = counter.value;
                    line["unit"] =
                        split == std::string::npos ? "" : run.report_label.substr(split + std::strlen(labelSeparator));
                } else if (name == "triangles" || name == "threads") {
                    line[name] = static_cast<long long>(counter.value);
                } else {
                    line[name] = counter.value;
                    if (name.size() > 2 && name.compare(name.size() - 2, 2, "_s") == 0)
                        phases.emplace_back(name.substr(0, name.size() - 2), counter.value);
                }
            }
            std::cout << line.dump() << '\n';
            for (const auto& [phase, time] : phases) {
                nlohmann::json phaseLine{{"anchor", line["anchor"]},
                                         {"measure", run.benchmark_name() + "/" + phase},
                                         {"mesh", line["mesh"]},
                                         {"triangles", line.value("triangles", 0LL)},
                                         {"threads", line.value("threads", 0LL)},
                                         {"time_s", time}};
                std::cout << phaseLine.dump() << '\n';
            }
        }
        std::cout.flush();
    }
};

/// main() of a benchmark program: takes --mesh FILE and --json out of the arguments, calls `registerAll`
/// (which may look at meshFile()), then runs what the remaining arguments select.
template <typename Register> int runBenchmarks(int argc, char** argv, Register&& registerAll)
{
    std::vector<char*> args;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mesh") == 0 && i + 1 < argc) {
            meshFile() = argv[++i];
            continue;
        }
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
            continue;
        }
        args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    try {
        registerAll();
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 2;
    }
    if (json) {
        JsonLinesReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
    } else {
        benchmark::RunSpecifiedBenchmarks();
    }
    benchmark::Shutdown();
    return 0;
}

} // namespace bench
