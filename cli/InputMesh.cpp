// SPDX-License-Identifier: MIT
// The MESH argument: a file or standard input, scaled to millimetres.
#include "cli/InputMesh.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "cli/CliError.h"
#include "cli/Interrupt.h"
#include "meshprobe/Import.h"

namespace cli {

namespace {

/// The importer chooses the reader by file extension and some readers (3MF) need a seekable file, so
/// standard input is copied into a temporary file with the --format extension first.
class StdinCopy {
public:
    explicit StdinCopy(const std::string& format)
    {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/meshprobe-stdin-XXXXXX." + format;
        const int fd = mkstemps(&pattern[0], static_cast<int>(format.size() + 1));
        if (fd < 0) throw InputError("-: cannot create a temporary file for standard input");
        path = pattern;
        char buffer[1 << 16];
        for (;;) {
            const std::size_t got = std::fread(buffer, 1, sizeof buffer, stdin);
            if (got > 0 && write(fd, buffer, got) != static_cast<ssize_t>(got)) {
                close(fd);
                throw InputError("-: cannot copy standard input to " + path);
            }
            if (got < sizeof buffer) break;
        }
        close(fd);
    }
    ~StdinCopy() { std::remove(path.c_str()); }
    StdinCopy(const StdinCopy&) = delete;
    StdinCopy& operator=(const StdinCopy&) = delete;

    std::string path;
};

} // namespace

meshprobe::Mesh loadInputMesh(const CommonOptions& options)
{
    meshprobe::LoadOptions load;
    load.progress = cancelOnInterrupt();
    load.assumedUnit = options.units;
    meshprobe::Mesh mesh;
    if (options.meshPath == "-") {
        if (options.format.empty())
            throw InputError("MESH '-' reads standard input and needs --format stl|obj|ply|off|3mf|glb");
        const StdinCopy copy(options.format);
        try {
            mesh = meshprobe::loadMesh(copy.path, load);
        } catch (const meshprobe::InputError& e) {
            // Name the input as the user gave it, not the temporary copy.
            std::string message = e.what();
            if (message.compare(0, copy.path.size(), copy.path) == 0) message = "-" + message.substr(copy.path.size());
            throw InputError(message);
        }
    } else {
        if (!options.format.empty())
            throw InputError("--format is for MESH '-' (standard input); a file's format is its extension");
        mesh = meshprobe::loadMesh(options.meshPath, load);
    }
    return mesh;
}

std::string inputUnit(const CommonOptions& options)
{
    // Standard input is read through a temporary copy that is gone by now: its --units holds.
    const std::string declared = options.meshPath == "-" ? "" : meshprobe::declaredUnit(options.meshPath);
    if (declared.empty()) return options.units;
    static const std::pair<const char*, const char*> shortNames[] = {
        {"millimeter", "mm"}, {"centimeter", "cm"}, {"meter", "m"}, {"inch", "in"}, {"foot", "ft"}};
    for (const auto& name : shortNames)
        if (declared == name.first) return name.second;
    return declared; // micron
}

std::string unitLine(const CommonOptions& options)
{
    const std::string unit = inputUnit(options);
    return unit == "mm" ? "mm" : unit + ", shown in mm";
}

} // namespace cli
