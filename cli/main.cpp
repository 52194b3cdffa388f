// SPDX-License-Identifier: MIT
// meshprobe: wall thickness, marking areas and trapped volumes of a mesh file, from the command line.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/CliError.h"
#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "cli/JsonHead.h"

namespace {

constexpr const char* usage =
    "meshprobe: mesh analysis for additive-manufacturing print preparation.\n"
    "Exit codes: 0 success, 1 analysis failed, 2 bad usage or unreadable input, 3 the part fails its check\n"
    "(check, batch with a process), 130 interrupted (Ctrl-C).";

/// CLI11 reads a value that starts with '-' as the next option, so "--up -z" would lose its axis. Joining
/// the pair into "--up=-z" lets both spellings work.
std::vector<std::string> joinNegativeAxisValues(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> joined;
    for (size_t i = 0; i < args.size(); ++i) {
        const bool isAxis = i + 1 < args.size() && args[i + 1].size() == 2 && args[i + 1][0] == '-' &&
                            std::strchr("xyz", args[i + 1][1]) != nullptr;
        // A vector whose first component is negative ("-1,0,1") starts with '-' just as well.
        const bool isVector = i + 1 < args.size() && args[i + 1].size() > 1 && args[i + 1][0] == '-' &&
                              std::strchr("0123456789.", args[i + 1][1]) != nullptr;
        if (args[i] == "--up" && (isAxis || isVector)) {
            joined.push_back("--up=" + args[i + 1]);
            ++i;
        } else {
            joined.push_back(args[i]);
        }
    }
    return joined;
}

/// How the tool ends a run that failed: a line on stderr, and one JSON object on stdout when the command line
/// asked for JSON (known before parsing, so that parse errors get it too).
struct Failure {
    bool json = false;

    int operator()(int exitCode, const std::string& message) const
    {
        std::cerr << "meshprobe: " << message << std::endl;
        if (json) std::cout << cli::jsonError(message, exitCode).dump() << std::endl;
        return exitCode;
    }

    /// A signal that was acted on: the process ends the way the watchdog ends it, with the JSON error
    /// first when one was asked for.
    [[noreturn]] void interrupted() const
    {
        if (json) std::cout << cli::jsonError("interrupted", cli::interruptExitCode()).dump() << std::endl;
        cli::endInterrupted();
    }
};

/// A report that did not reach stdout (a full disk, a closed pipe) is a failure, not a success.
int finishOutput(int exitCode, const Failure& fail)
{
    std::cout.flush();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (!flushed || std::ferror(stdout) || !std::cout)
        return fail(exitCode == 0 ? cli::ExitAnalysisFailed : exitCode,
                    std::string("cannot write to standard output") +
                        (error ? ": " + std::string(std::strerror(error)) : ""));
    if (cli::interruptRequested()) fail.interrupted();
    return exitCode;
}

} // namespace

namespace {

/// The tool's work from the command line to the exit code.
int runTool(int argc, char** argv)
{
    Failure fail;
    for (int i = 1; i < argc; ++i)
        fail.json = fail.json || std::strcmp(argv[i], "--json") == 0;

    CLI::App app{usage, "meshprobe"};
    app.set_version_flag("--version", "meshprobe " MESHPROBE_VERSION);
    app.require_subcommand(1);
    app.fallthrough(false);
    std::vector<cli::Command> commands = {cli::addInfoCommand(app),      cli::addTrappedCommand(app),
                                          cli::addThicknessCommand(app), cli::addAreasCommand(app),
                                          cli::addBatchCommand(app),     cli::addOrientCommand(app),
                                          cli::addCheckCommand(app)};
#ifdef MESHPROBE_HAS_REPORT
    commands.push_back(cli::addReportCommand(app));
#endif

    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const cli::Command& command : commands)
            known = known || command.parser->get_name() == argv[1];
        if (!known)
            return fail(cli::ExitBadInput,
                        std::string("unknown command '") + argv[1] + "'\nRun 'meshprobe --help' for usage.");
    }
    try {
        std::vector<std::string> args = joinNegativeAxisValues(argc, argv);
        std::reverse(args.begin(), args.end()); // CLI11 takes the arguments last-first
        app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(cli::ExitBadInput, std::string(e.what()) + "\nRun 'meshprobe --help' for usage.");
    }

    try {
        for (const cli::Command& command : commands)
            if (command.parser->parsed()) return finishOutput(command.run(), fail);
        return fail(cli::ExitBadInput, "no command given");
    } catch (const meshprobe::Cancelled&) {
        fail.interrupted();
    } catch (const meshprobe::InputError& e) {
        return fail(cli::ExitBadInput, e.what());
    } catch (const meshprobe::Error& e) {
        return fail(cli::ExitAnalysisFailed, e.what());
    } catch (const std::bad_alloc&) {
        return fail(cli::ExitAnalysisFailed, "out of memory");
    } catch (const std::exception& e) {
        return fail(cli::ExitAnalysisFailed, e.what());
    } catch (...) {
        return fail(cli::ExitAnalysisFailed, "unexpected error");
    }
}

} // namespace

int main(int argc, char** argv)
{
    cli::installInterruptHandler();
    const int exitCode = runTool(argc, argv);
    cli::claimOrdinaryExit();
    return exitCode;
}
