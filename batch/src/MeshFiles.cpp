// SPDX-License-Identifier: MIT
// The mesh files of a batch: files as given, folders walked for the extensions the importer reads.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "meshprobe/Batch.h"
#include "meshprobe/Import.h"

namespace meshprobe {

std::vector<std::string> collectMeshFiles(const std::vector<std::string>& paths)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::string> found;
        // Unreadable subfolders are skipped rather than ending the walk: a batch reports what it can.
        const auto walkOptions = fs::directory_options::skip_permission_denied;
        for (fs::recursive_directory_iterator it(path, walkOptions, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError) && isReadableMeshExtension(lowerCaseExtension(it->path().string())))
                found.push_back(it->path().string());
        }
        std::sort(found.begin(), found.end());
        files.insert(files.end(), found.begin(), found.end());
    }
    return files;
}

} // namespace meshprobe
