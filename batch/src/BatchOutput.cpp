// SPDX-License-Identifier: MIT
// The records file of a batch: O_APPEND writes of whole lines, a lock against a second writer, resume.
#include "meshprobe/BatchOutput.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "meshprobe/Error.h"
#include "batch/src/PartLabel.h"

namespace meshprobe {

namespace {

constexpr auto syncInterval = std::chrono::seconds(1);

std::string systemError()
{
    return std::strerror(errno);
}

} // namespace

BatchOutput::BatchOutput(const std::string& outputPath, Mode mode)
    : path(outputPath), lastSync(std::chrono::steady_clock::now())
{
    // Not truncated on open: the lock must be ours before anything is removed.
    descriptor = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0) throw InputError(path + ": cannot open the batch output: " + systemError());
    try {
        if (flock(descriptor, LOCK_EX | LOCK_NB) != 0)
            throw InputError(path + ": " +
                             (errno == EWOULDBLOCK ? std::string("another batch is writing to this file")
                                                   : "cannot lock the batch output: " + systemError()));
        struct stat status {};
        if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
            throw InputError(path + ": the batch output must be a regular file");
        if (mode == Mode::Replace) {
            if (ftruncate(descriptor, 0) != 0) throw InputError(path + ": cannot empty it: " + systemError());
        } else {
            readExisting();
        }
    } catch (...) {
        ::close(descriptor);
        throw;
    }
}

BatchOutput::~BatchOutput()
{
    fdatasync(descriptor);
    ::close(descriptor); // releases the lock
}

void BatchOutput::readExisting()
{
    std::string content;
    char buffer[1 << 16];
    for (off_t offset = 0;;) {
        const ssize_t n = pread(descriptor, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw InputError(path + ": cannot read the batch output: " + systemError());
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
    std::size_t lineStart = 0;
    std::size_t lineNumber = 0;
    for (std::size_t end; (end = content.find('\n', lineStart)) != std::string::npos; lineStart = end + 1) {
        ++lineNumber;
        if (end == lineStart) continue;
        const auto record = nlohmann::ordered_json::parse(content.begin() + lineStart, content.begin() + end, nullptr,
                                                          /*allow_exceptions=*/false);
        if (!record.is_object())
            throw InputError(path + ": line " + std::to_string(lineNumber) +
                             " is not a batch record; resume only with the output of a batch");
        ++records;
        // Records of an earlier version (no label) are not matched: their parts are done again.
        if (!record.contains("mesh") || !record.contains("options") || !record.contains("file")) continue;
        if (!record["mesh"].is_string()) continue;
        made[record["mesh"].get<std::string>()] = {record["options"].dump(), record["file"].dump()};
    }
    // Everything after the last line break is a record whose write was cut short: it is rewritten.
    dropped = content.size() - lineStart;
    if (dropped > 0 && ftruncate(descriptor, static_cast<off_t>(lineStart)) != 0)
        throw InputError(path + ": cannot drop its unfinished last line: " + systemError());
}

bool BatchOutput::hasRecord(const PartLabel& label) const
{
    const auto found = made.find(label.mesh);
    if (found == made.end()) return false;
    return found->second.file == detail::fileStampJson(label.file).dump() &&
           found->second.options == nlohmann::ordered_json::parse(label.options).dump();
}

void BatchOutput::append(const std::string& record)
{
    const std::string line = record + '\n';
    const char* bytes = line.data();
    std::size_t left = line.size();
    // One write for the whole line; a regular file takes it whole unless the disk is full or the process
    // is being killed, and then the rest follows (or the line is dropped when resuming).
    while (left > 0) {
        const ssize_t n = ::write(descriptor, bytes, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw Error(path + ": cannot write a record: " + systemError());
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
    if (std::chrono::steady_clock::now() - lastSync >= syncInterval) sync();
}

void BatchOutput::sync()
{
    fdatasync(descriptor);
    lastSync = std::chrono::steady_clock::now();
}

} // namespace meshprobe
