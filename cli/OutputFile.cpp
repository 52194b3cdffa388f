// SPDX-License-Identifier: MIT
// Output-file options checked up front, the toolkit's messages prefixed with the option's name.
#include "cli/OutputFile.h"

#include <sys/stat.h>

#include "cli/CliError.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"

namespace cli {

namespace {

/// True when both paths name one existing file (the same inode, whatever the spelling or links).
bool sameFile(const std::string& a, const std::string& b)
{
    struct stat first {
    }, second{};
    return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

} // namespace

void checkOutputOption(const std::string& path, const std::string& option, bool needsFaceColours,
                       const CommonOptions& input)
{
    if (path.empty()) throw InputError(option + ": the output path is empty");
    if (!input.force && input.meshPath != "-" && sameFile(path, input.meshPath))
        throw InputError(option + ": '" + path + "' is the input mesh; give --force to replace it");
    try {
        meshprobe::checkWritable(path);
        const meshprobe::MeshFileFormat format = meshprobe::meshFileFormatFor(path);
        if (needsFaceColours && !meshprobe::holdsFaceColours(format))
            throw InputError("'" + meshprobe::lowerCaseExtension(path) +
                             "' files cannot hold per-face colours (use .ply, .3mf, .glb or .obj)");
    } catch (const InputError& e) {
        throw InputError(option + ": " + e.what());
    }
}

CLI::Validator nonEmptyPath()
{
    return CLI::Validator([](const std::string& path) { return path.empty() ? "the output path is empty" : ""; },
                          "PATH");
}

void addForceOption(CLI::App& command, CommonOptions& options)
{
    command.add_flag("--force", options.force, "Let an output file replace the input mesh");
}

} // namespace cli
