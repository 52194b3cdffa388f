// SPDX-License-Identifier: MIT
#include "toolkit/src/io/IsolatedReader.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "meshprobe/Error.h"
#include "meshprobe/detail/ChildProcess.h"

// Present only in sanitizer runtimes: a fuzzer registers a death callback that saves the input as a crash,
// which is wrong in the child, where a reader crash is an expected outcome that the parent reports.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)(void));

namespace meshprobe::detail {

namespace {

// Messages from the child: a tag byte, then the tag's payload.
constexpr char progressTag = 'P'; // float percent
constexpr char errorTag = 'E';    // uint32 length, message bytes
constexpr char meshTag = 'M';     // uint64 float count, uint64 index count, the two arrays

void sendError(int fd, const std::string& message)
{
    const auto length = static_cast<std::uint32_t>(message.size());
    writeAll(fd, &errorTag, 1) && writeAll(fd, &length, sizeof length) && writeAll(fd, message.data(), length);
}

[[noreturn]] void runChild(int fd, const ReadLimits& limits, const std::function<Mesh(const ProgressCallback&)>& read)
{
    becomeIsolatedChild();
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(nullptr);
    const auto cpuSeconds = static_cast<rlim_t>(limits.seconds) + 1;
    const rlimit cpu{cpuSeconds, cpuSeconds + 1};
    setrlimit(RLIMIT_CPU, &cpu);
    limitAddressSpace(limits.memoryBytes);
    int status = 0;
    try {
        float lastSent = -1.0f;
        const Mesh mesh = read([fd, &lastSent](float percent) {
            if (percent >= lastSent + 1.0f || percent >= 100.0f) {
                lastSent = percent;
                return writeAll(fd, &progressTag, 1) && writeAll(fd, &percent, sizeof percent);
            }
            return true;
        });
        const std::uint64_t sizes[2] = {mesh.vertices.size(), mesh.triangles.size()};
        const bool sent = writeAll(fd, &meshTag, 1) && writeAll(fd, sizes, sizeof sizes) &&
                          writeAll(fd, mesh.vertices.data(), sizes[0] * sizeof(float)) &&
                          writeAll(fd, mesh.triangles.data(), sizes[1] * sizeof(std::uint32_t));
        status = sent ? 0 : 1;
    } catch (const InputError& e) {
        sendError(fd, e.what());
    } catch (const std::bad_alloc&) {
        sendError(fd, "reading it needs more than the " + std::to_string(limits.memoryBytes >> 20) +
                          " MB allowed for a file of this size");
    } catch (const std::exception& e) {
        sendError(fd, std::string("cannot read the mesh: ") + e.what());
    } catch (...) {
        sendError(fd, "cannot read the mesh");
    }
    close(fd);
    _exit(status); // no atexit handlers or static destructors of the parent's state
}

/// The child's standard output and error both go to `messages` (or nowhere when it could not be made): a
/// reader's text must not land in the caller's output, which may be a JSON document. Called only in the
/// forked child, which ends with _exit: the caller's own descriptors are never touched.
void divertChildOutput(int messages)
{
    const int target = messages >= 0 ? messages : open("/dev/null", O_WRONLY);
    if (target < 0) return;
    dup2(target, STDOUT_FILENO);
    dup2(target, STDERR_FILENO);
}

/// The last non-empty line the child printed, shortened to a readable length; empty when it printed none.
std::string lastMessageLine(int messages)
{
    if (messages < 0) return "";
    const off_t size = lseek(messages, 0, SEEK_END);
    if (size <= 0) return "";
    char tail[4096];
    const off_t from = size > off_t(sizeof tail) ? size - off_t(sizeof tail) : 0;
    const ssize_t got = pread(messages, tail, static_cast<std::size_t>(size - from), from);
    if (got <= 0) return "";
    std::string text(tail, static_cast<std::size_t>(got));
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.pop_back();
    text.erase(0, text.find_last_of('\n') + 1);
    constexpr std::size_t longest = 240;
    if (text.size() > longest) text = text.substr(0, longest) + "...";
    return text;
}

/// The parent's end of the pipe: reads with a deadline, polling the caller's cancellation.
class ChildChannel {
public:
    ChildChannel(int pipeEnd, int messageFile, pid_t child, const std::string& meshPath, const ReadLimits& readLimits,
                 const ProgressCallback& callback)
        : fd(pipeEnd), messages(messageFile), pid(child), path(meshPath), limits(readLimits), progress(callback),
          deadline(std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                          std::chrono::duration<double>(readLimits.seconds)))
    {
    }

    ~ChildChannel()
    {
        close(fd);
        if (messages >= 0) close(messages);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    /// Fills `size` bytes; false at the end of the stream (the child exited or died).
    bool read(void* data, std::size_t size)
    {
        char* bytes = static_cast<char*>(data);
        while (size > 0) {
            pollfd ready{fd, POLLIN, 0};
            const int polled = poll(&ready, 1, 50);
            if (progress && !progress(percent)) throw Cancelled();
            if (std::chrono::steady_clock::now() > deadline)
                throw InputError(path + ": reading did not finish within " + std::to_string(int(limits.seconds)) +
                                 " s; the file is malformed or far larger than its size suggests");
            if (polled <= 0) continue;
            const ssize_t n = ::read(fd, bytes, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            bytes += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    /// Why the child ended without an answer.
    [[noreturn]] void failWithExitStatus()
    {
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        std::string reason = "the reader stopped without an answer";
        if (WIFSIGNALED(status)) {
            const int signal = WTERMSIG(status);
            if (signal == SIGXCPU || signal == SIGKILL)
                reason = "reading took more time or memory than allowed for a file of this size";
            else
                reason = std::string("the reader crashed on it (") + strsignal(signal) + ")";
        } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
            reason = "the reader failed on it (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
        }
        const std::string said = lastMessageLine(messages);
        if (!said.empty()) reason += "; its last message: " + said;
        throw InputError(path + ": cannot read the mesh: " + reason + "; the file is malformed");
    }

    float percent = 0.0f;

private:
    int fd;
    int messages;
    pid_t pid;
    const std::string& path;
    const ReadLimits& limits;
    const ProgressCallback& progress;
    std::chrono::steady_clock::time_point deadline;
};

} // namespace

ReadLimits ReadLimits::forFileSize(std::uint64_t fileSize)
{
    // Assimp's text readers parse 6-10 MB/s on a busy machine and hold a few dozen bytes of scene per byte
    // of file; hostile files need far more of either, and a small one is stopped within a few seconds.
    return {3.0 + double(fileSize) / (2 << 20), (std::uint64_t(1) << 30) + 48 * fileSize};
}

Mesh readIsolated(const std::string& path, const ReadLimits& limits, const ProgressCallback& progress,
                  const std::function<Mesh(const ProgressCallback&)>& read, const std::function<void()>& meanwhile)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw Error(path + ": cannot start the reader: " + std::strerror(errno));
    // A scan's mesh is tens of megabytes: a larger pipe lets the child write it in fewer turns (best effort;
    // the default size works too).
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
    // An anonymous file for what the child prints; without one, its output is dropped.
    const int messages = memfd_create("meshprobe-reader-output", MFD_CLOEXEC);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        if (messages >= 0) close(messages);
        throw Error(path + ": cannot start the reader: " + std::strerror(errno));
    }
    if (pid == 0) {
        close(fds[0]);
        divertChildOutput(messages);
        runChild(fds[1], limits, read);
    }
    close(fds[1]);
    ChildChannel channel(fds[0], messages, pid, path, limits, progress);
    // Leaving here by an exception stops the child (the channel's destructor).
    if (meanwhile) meanwhile();
    for (;;) {
        char tag = 0;
        if (!channel.read(&tag, 1)) channel.failWithExitStatus();
        if (tag == progressTag) {
            float percent = 0.0f;
            if (!channel.read(&percent, sizeof percent)) channel.failWithExitStatus();
            channel.percent = percent;
        } else if (tag == errorTag) {
            std::uint32_t length = 0;
            if (!channel.read(&length, sizeof length) || length > (1u << 20)) channel.failWithExitStatus();
            std::string message(length, '\0');
            if (!channel.read(message.data(), length)) channel.failWithExitStatus();
            throw InputError(message.rfind(path, 0) == 0 ? message : path + ": " + message);
        } else if (tag == meshTag) {
            std::uint64_t sizes[2] = {};
            if (!channel.read(sizes, sizeof sizes) || sizes[0] > limits.memoryBytes || sizes[1] > limits.memoryBytes)
                channel.failWithExitStatus();
            Mesh mesh;
            mesh.vertices.resize(sizes[0]);
            mesh.triangles.resize(sizes[1]);
            if (!channel.read(mesh.vertices.data(), sizes[0] * sizeof(float)) ||
                !channel.read(mesh.triangles.data(), sizes[1] * sizeof(std::uint32_t)))
                channel.failWithExitStatus();
            return mesh;
        } else {
            channel.failWithExitStatus();
        }
    }
}

} // namespace meshprobe::detail
