// SPDX-License-Identifier: MIT
#include "batch/src/IsolatedJob.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "meshprobe/Error.h"
#include "meshprobe/detail/ChildProcess.h"

namespace meshprobe::detail {

namespace {

// The child's answer: a tag byte, then for doneTag the job's text up to the end of the stream.
constexpr char doneTag = 'D';
constexpr char memoryTag = 'M';

[[noreturn]] void runChild(int fd, pid_t parent, const PartLimits& limits, const std::function<std::string()>& job)
{
    becomeIsolatedChild();
    if (getppid() != parent) _exit(1); // the parent died before the death signal was set
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    pthread_sigmask(SIG_UNBLOCK, &interrupts, nullptr);
    if (limits.memoryBytes > 0) limitAddressSpace(limits.memoryBytes);
    int status = 0;
    try {
        const std::string text = job();
        status = writeAll(fd, &doneTag, 1) && writeAll(fd, text.data(), text.size()) ? 0 : 1;
    } catch (const std::bad_alloc&) {
        status = writeAll(fd, &memoryTag, 1) ? 0 : 1;
    } catch (...) {
        status = 2;
    }
    _exit(status); // no atexit handlers or static destructors of the parent's state
}

std::string signalName(int signal)
{
    const char* name = sigabbrev_np(signal);
    return std::string(name ? std::string("SIG") + name : "signal " + std::to_string(signal)) + ", " +
           strsignal(signal);
}

} // namespace

IsolatedOutcome runIsolated(const std::function<std::string()>& job, const PartLimits& limits,
                            const ProgressCallback& cancel)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw Error(std::string("cannot start a part's process: ") + std::strerror(errno));
    const pid_t parent = getpid();
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(fds[0]);
        close(fds[1]);
        throw Error(std::string("cannot start a part's process: ") + std::strerror(error));
    }
    if (pid == 0) {
        close(fds[0]);
        runChild(fds[1], parent, limits, job);
    }
    close(fds[1]);
    const int fd = fds[0];
    // Whatever way this function is left, the child is gone afterwards.
    struct Reaper {
        int fd;
        pid_t pid;
        int status = 0;
        bool reaped = false;
        ~Reaper()
        {
            close(fd);
            if (!reaped) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
            }
        }
        void reap()
        {
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            reaped = true;
        }
        bool exited()
        {
            reaped = waitpid(pid, &status, WNOHANG) == pid;
            return reaped;
        }
    } child{fd, pid};
    auto readSome = [&](char* buffer, std::size_t size) {
        ssize_t n;
        while ((n = ::read(fd, buffer, size)) < 0 && errno == EINTR) {
        }
        return n;
    };

    std::string answer;
    char buffer[1 << 16];
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, 50);
        if (cancel && !cancel(0.0f)) throw Cancelled();
        if (limits.seconds > 0 &&
            std::chrono::steady_clock::now() - start > std::chrono::duration<double>(limits.seconds)) {
            kill(pid, SIGKILL);
            child.reap();
            return {IsolatedOutcome::Kind::Timeout, {}};
        }
        if (polled <= 0) {
            // A part started at the same moment on another thread may hold a copy of this pipe's write end
            // (a fork copies every descriptor, and nothing is exec'd to close them), so the end of the
            // stream can come only when that part ends: the child's own exit ends the answer instead.
            if (!child.exited()) continue;
            for (pollfd left{fd, POLLIN, 0}; poll(&left, 1, 0) > 0;) {
                const ssize_t n = readSome(buffer, sizeof buffer);
                if (n <= 0) break;
                answer.append(buffer, static_cast<std::size_t>(n));
            }
            break;
        }
        const ssize_t n = readSome(buffer, sizeof buffer);
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    if (!child.reaped) child.reap();
    const int status = child.status;
    if (!answer.empty() && answer[0] == memoryTag) return {IsolatedOutcome::Kind::Memory, {}};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && !answer.empty() && answer[0] == doneTag)
        return {IsolatedOutcome::Kind::Done, answer.substr(1)};
    if (WIFSIGNALED(status)) return {IsolatedOutcome::Kind::Crash, "killed by " + signalName(WTERMSIG(status))};
    return {IsolatedOutcome::Kind::Crash, "ended with exit status " +
                                              std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) +
                                              " without an answer"};
}

} // namespace meshprobe::detail
