// SPDX-License-Identifier: MIT
// Runs the built meshprobe binary for end-to-end tests, and writes the mesh files they read.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <thread>

#include "tests/support/MeshFiles.h"

namespace clitest {

struct ToolResult {
    int exitCode = -1; // -1 when the process died from a signal
    int signal = 0;    // the signal that ended it, 0 when it exited
    std::string out;
    std::string err;
};

/// Reads two pipes to their end without letting either fill up and block the child.
inline void drain(int outFd, int errFd, std::string& out, std::string& err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

/// Starts argv[0] with the arguments, stdout on `outFd` and stderr on `errFd` (stdin on `inFd` unless it is
/// -1); the child closes `parentEnds`.
inline pid_t spawn(const std::vector<std::string>& argvStrings, int outFd, int errFd,
                   std::initializer_list<int> parentEnds, int inFd = -1)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (inFd >= 0) dup2(inFd, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        for (int fd : parentEnds)
            close(fd);
        std::vector<char*> argv;
        for (const std::string& a : argvStrings)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

/// Waits for the child and records how it ended.
inline void waitFor(pid_t pid, ToolResult& result)
{
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
}

/// What a run reads and where its report goes, when not the defaults (no input, stdout a pipe).
struct Streams {
    const std::string* input = nullptr; ///< written to a pipe on stdin, which is then closed
    const char* stdoutFile = nullptr;   ///< stdout opened on this file (e.g. /dev/full) instead of a pipe
};

/// Runs a program with the arguments; stderr is a pipe (so not a terminal), and so is stdout by default.
inline ToolResult runProgram(const std::vector<std::string>& argvStrings, Streams streams = {})
{
    int outPipe[2], errPipe[2], inPipe[2] = {-1, -1};
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0 || (streams.input && pipe(inPipe) != 0))
        throw std::runtime_error("pipe failed");
    const int outFd = streams.stdoutFile ? open(streams.stdoutFile, O_WRONLY) : outPipe[1];
    const pid_t pid = spawn(argvStrings, outFd, errPipe[1], {outPipe[0], errPipe[0], inPipe[1]}, inPipe[0]);
    for (int fd : {outPipe[1], errPipe[1], inPipe[0], streams.stdoutFile ? outFd : -1})
        if (fd >= 0) close(fd);
    // The input goes in from its own thread: a child that answers before it has read everything must not
    // block on a full output pipe while this one blocks on a full input pipe.
    std::thread feeder([&] {
        if (!streams.input) return;
        for (size_t at = 0; at < streams.input->size();) {
            const ssize_t n = write(inPipe[1], streams.input->data() + at, streams.input->size() - at);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        close(inPipe[1]);
    });
    ToolResult result;
    drain(outPipe[0], errPipe[0], result.out, result.err);
    feeder.join();
    waitFor(pid, result);
    return result;
}

/// meshprobe followed by the arguments.
inline std::vector<std::string> toolArgv(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {MESHPROBE_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

/// Runs meshprobe with the arguments; stdout and stderr are pipes unless `streams` says otherwise.
inline ToolResult runTool(const std::vector<std::string>& args, Streams streams = {})
{
    return runProgram(toolArgv(args), streams);
}

/// Runs meshprobe with its address space limited to `kibibytes` (the shell's ulimit -v).
inline ToolResult runToolWithMemoryLimit(long kibibytes, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {
        "/bin/sh", "-c", "ulimit -v " + std::to_string(kibibytes) + " && exec \"$0\" \"$@\"", MESHPROBE_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

/// A run whose stderr is a pseudo-terminal, as when a user runs the tool in a shell. `watch` sees the
/// terminal output as it arrives and at least every 2 ms while it watches, with the child's pid, and may
/// signal the child; it returns true to stop watching. stdout is a pipe.
inline ToolResult runToolOnTerminal(const std::vector<std::string>& args,
                                    const std::function<bool(const std::string&, pid_t)>& watch)
{
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    int outPipe[2];
    if (pipe(outPipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = spawn(toolArgv(args), outPipe[1], slave, {master, outPipe[0]});
    close(slave);
    close(outPipe[1]);
    ToolResult result;
    bool watching = true;
    char buffer[4096];
    // The terminal reports EIO once the child has exited and closed its side.
    pollfd terminal = {master, POLLIN, 0};
    for (;;) {
        if (poll(&terminal, 1, watching ? 2 : -1) > 0) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;
            result.err.append(buffer, static_cast<size_t>(n));
        }
        if (watching) watching = !watch(result.err, pid);
    }
    close(master);
    std::string ignored;
    drain(outPipe[0], open("/dev/null", O_RDONLY), result.out, ignored);
    waitFor(pid, result);
    return result;
}

} // namespace clitest
