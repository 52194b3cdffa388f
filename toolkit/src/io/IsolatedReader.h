// SPDX-License-Identifier: MIT
// Reading a file in a child process with limits, so that a reader's crash, hang or runaway allocation on a
// hostile file becomes an InputError instead of taking the calling program down.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "meshprobe/Mesh.h"
#include "meshprobe/Progress.h"

namespace meshprobe::detail {

/// Limits of one isolated read, scaled with the file's size.
struct ReadLimits {
    double seconds;            ///< wall-clock time before the child is killed
    std::uint64_t memoryBytes; ///< address space of the child (not applied under sanitizers)

    static ReadLimits forFileSize(std::uint64_t fileSize);
};

/// Runs `read` in a forked child (its progress forwarded to `progress`) and returns the mesh it built,
/// sent back through a pipe. The child ignores SIGINT and SIGTERM and dies with its parent; the caller's
/// progress callback is polled every 50 ms, so a cancellation stops the child within that time. Whatever
/// the child prints (a reader's warnings, a library's assertion text before it aborts) goes to a file of
/// its own, never to the caller's streams; the last line of it is quoted when the child fails.
///
/// `meanwhile` runs on the calling thread while the child reads; when it throws, the child is stopped and
/// its exception is the call's, whatever the child did.
/// @throw InputError naming the file when `read` throws InputError, when the child crashes, exceeds its
///        memory or time, or sends a malformed answer; Cancelled when `progress` returned false
Mesh readIsolated(const std::string& path, const ReadLimits& limits, const ProgressCallback& progress,
                  const std::function<Mesh(const ProgressCallback&)>& read,
                  const std::function<void()>& meanwhile = {});

} // namespace meshprobe::detail
