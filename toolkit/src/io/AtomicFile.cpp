// SPDX-License-Identifier: MIT
// Temporary-file-and-rename output, so that readers never see a half-written file.
#include "toolkit/src/io/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "toolkit/src/runtime/ReportOrCancel.h"

namespace meshprobe {
namespace detail {

namespace {

std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

/// Tries `create(prefix + eight random hex digits)` until it succeeds or fails for another reason than
/// EEXIST; `create` returns a value >= 0 on success, -1 with errno set on failure.
template <typename Create> int createWithRandomSuffix(const std::string& prefix, std::string& path, Create&& create)
{
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[9];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(entropy()));
        path = prefix + suffix;
        const int result = create(path);
        if (result >= 0 || errno != EEXIST) return result;
    }
    return -1;
}

/// Creates `prefix` + eight random hex digits with open(O_EXCL) and mode 0666, so that the kernel applies
/// the process's umask as to any new file (mkstemp gives 0600, and reading the umask means setting it,
/// for every thread at once). Returns the descriptor, or -1 with errno set.
int createUnique(const std::string& prefix, std::string& path)
{
    return createWithRandomSuffix(prefix, path, [](const std::string& name) {
        return open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    });
}

/// Creates the folder `prefix` + eight random hex digits, readable by the owner only; false with errno set.
bool createUniqueFolder(const std::string& prefix, std::string& path)
{
    return createWithRandomSuffix(prefix, path, [](const std::string& name) { return mkdir(name.c_str(), 0700); }) == 0;
}

/// Removes a by-name writer's file and its folder. The writer may create the file again between the two
/// (it opens by name); once the folder is gone it cannot.
void removeFileAndFolder(const std::string& file, const std::string& folder)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        unlink(file.c_str());
        if (rmdir(folder.c_str()) == 0 || errno != ENOTEMPTY) return;
    }
}

/// Temporary files of writes in progress, for a program that must end at once (discardPartialOutputs):
/// descriptor writers' files, and by-name writers' files with their folders.
struct PartialFiles {
    std::mutex lock;
    std::set<std::string> paths;
    std::map<std::string, std::string> folderOfFile;
};

PartialFiles& partialFiles()
{
    static PartialFiles* files = new PartialFiles; // never destroyed: usable until the process ends
    return *files;
}

void forget(const std::string& path)
{
    PartialFiles& files = partialFiles();
    const std::lock_guard<std::mutex> guard(files.lock);
    files.paths.erase(path);
    files.folderOfFile.erase(path);
}

} // namespace
} // namespace detail

void discardPartialOutputs()
{
    detail::PartialFiles& files = detail::partialFiles();
    // The lock stays taken: the caller ends the process, and no write may commit or start meanwhile.
    files.lock.lock();
    for (const std::string& path : files.paths)
        unlink(path.c_str());
    files.paths.clear();
    for (const auto& [file, folder] : files.folderOfFile)
        detail::removeFileAndFolder(file, folder);
    files.folderOfFile.clear();
}

void checkWritable(const std::string& path)
{
    if (path.empty()) throw InputError("the output path is empty");
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        throw InputError("'" + path + "' is a folder, not a file");
    const std::string folder = detail::folderOf(path);
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw InputError("cannot write '" + path + "': folder '" + folder + "' does not exist");
    if (access(folder.c_str(), W_OK) != 0)
        throw InputError("cannot write '" + path + "': folder '" + folder + "' is not writable");
}

void writeFileAtomically(const std::string& path, std::string_view bytes, const WriteOptions& options)
{
    checkWritable(path);
    detail::AtomicFile file(path);
    file.write(bytes.data(), bytes.size());
    file.commit(options.progress);
}

namespace detail {

AtomicFile::AtomicFile(std::string targetPath, Writer writer) : target(std::move(targetPath))
{
    // Created and listed under one lock: an interrupt that discards the partial files between the two
    // would leave this one behind.
    PartialFiles& files = partialFiles();
    const std::lock_guard<std::mutex> guard(files.lock);
    // A hidden name in the same folder keeps the final rename atomic (same file system).
    const std::string prefix = folderOf(target) + "/." + baseNameOf(target) + ".partial-";
    if (writer == Writer::ByName) {
        if (!createUniqueFolder(prefix, tempFolder))
            throw InputError("cannot create '" + target + "': " + std::strerror(errno));
        tempPath = tempFolder + "/" + baseNameOf(target);
        files.folderOfFile.emplace(tempPath, tempFolder);
        return;
    }
    descriptor = createUnique(prefix, tempPath);
    if (descriptor < 0) throw InputError("cannot create '" + target + "': " + std::strerror(errno));
    files.paths.insert(tempPath);
}

AtomicFile::~AtomicFile()
{
    if (descriptor >= 0) close(descriptor);
    if (!committed) {
        if (tempFolder.empty())
            unlink(tempPath.c_str());
        else
            removeFileAndFolder(tempPath, tempFolder);
        forget(tempPath);
    }
}

void AtomicFile::write(const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(descriptor, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw Error("cannot write '" + target + "': " + std::strerror(errno));
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

void AtomicFile::commit(const ProgressCallback& progress)
{
    if (descriptor < 0) descriptor = open(tempPath.c_str(), O_RDONLY | O_CLOEXEC); // the by-name writer's file
    if (descriptor < 0 || fsync(descriptor) != 0) throw Error("cannot write '" + target + "': " + std::strerror(errno));
    close(descriptor);
    descriptor = -1;
    reportOrCancel(progress, 100.0f);
    PartialFiles& files = partialFiles();
    const std::lock_guard<std::mutex> guard(files.lock);
    if (std::rename(tempPath.c_str(), target.c_str()) != 0)
        throw Error("cannot write '" + target + "': " + std::strerror(errno));
    if (!tempFolder.empty()) rmdir(tempFolder.c_str());
    files.paths.erase(tempPath);
    files.folderOfFile.erase(tempPath);
    committed = true;
}

} // namespace detail
} // namespace meshprobe
