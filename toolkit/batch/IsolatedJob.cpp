// SPDX-License-Identifier: MIT
#include "toolkit/batch/IsolatedJob.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "meshprobe/Error.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MESHPROBE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define MESHPROBE_SANITIZED 1
#endif
#endif

namespace meshprobe::detail {

namespace {

// The child's answer: a tag byte, then for doneTag the job's text up to the end of the stream.
constexpr char doneTag = 'D';
constexpr char memoryTag = 'M';

bool writeAll(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

#ifndef MESHPROBE_SANITIZED
std::uint64_t mappedBytes()
{
    unsigned long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    return pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
}
#endif

[[noreturn]] void runChild(int fd, pid_t parent, const PartLimits& limits, const std::function<std::string()>& job)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(1); // the parent died before the line above took effect
    for (const int fatal : {SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE})
        std::signal(fatal, SIG_DFL);
    // The parent decides about interrupts: a Ctrl-C sent to the process group must not end the part as a
    // crash before the parent has seen it.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    sigset_t interrupts;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    pthread_sigmask(SIG_UNBLOCK, &interrupts, nullptr);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
#ifndef MESHPROBE_SANITIZED
    // Sanitizers reserve terabytes of shadow address space up front; an address-space limit would stop them.
    if (limits.memoryBytes > 0) {
        const auto budget = static_cast<rlim_t>(mappedBytes() + limits.memoryBytes);
        const rlimit memory{budget, budget};
        setrlimit(RLIMIT_AS, &memory);
    }
#endif
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
    } child{fd, pid};

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
        if (polled <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    child.reap();
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
