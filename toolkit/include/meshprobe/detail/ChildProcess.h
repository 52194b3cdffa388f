// SPDX-License-Identifier: MIT
// What every forked child that runs untrusted work (a file reader, a batch part) shares: the pipe writes
// back to its parent, its signals and core dumps, and the address-space budget it may use.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define MESHPROBE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define MESHPROBE_SANITIZED 1
#endif
#endif

namespace meshprobe::detail {

/// Writes every byte to the pipe, across short writes and interrupts; false when the pipe is gone.
inline bool writeAll(int fd, const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

/// The child's first steps: it dies with its parent, a crash ends it plainly (handlers inherited from the
/// caller, a fuzzer's or a host program's crash reporter, must not treat it as their own), interrupts are
/// the parent's to act on (a Ctrl-C sent to the whole process group must not end the child before the
/// parent has seen it), and it leaves no core dump.
inline void becomeIsolatedChild()
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (const int fatal : {SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE})
        std::signal(fatal, SIG_DFL);
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
}

/// Limits the child's address space to what it has mapped now plus `budget` bytes (a host program may
/// already be large). Sanitizers reserve terabytes of shadow address space up front, so an address-space
/// limit would stop them; their own allocation limits take its place there, and this does nothing.
inline void limitAddressSpace(std::uint64_t budget)
{
#ifndef MESHPROBE_SANITIZED
    unsigned long long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%llu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const auto limit = static_cast<rlim_t>(pages * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE)) + budget);
    const rlimit memory{limit, limit};
    setrlimit(RLIMIT_AS, &memory);
#else
    (void)budget;
#endif
}

} // namespace meshprobe::detail
