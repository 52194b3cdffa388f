// SPDX-License-Identifier: MIT
// Output-file options checked up front, the toolkit's messages prefixed with the option's name.
#include "cli/OutputFile.h"

#include "cli/CliError.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"

namespace cli {

void checkOutputOption(const std::string& path, const std::string& option, bool needsFaceColours)
{
    try {
        meshprobe::checkWritable(path);
        const meshprobe::MeshFileFormat format = meshprobe::meshFileFormatFor(path);
        if (needsFaceColours && !meshprobe::holdsFaceColours(format))
            throw InputError("'" + meshprobe::lowerCaseExtension(path) +
                             "' files cannot hold per-face colours (use .ply, .glb or .obj)");
    } catch (const InputError& e) {
        throw InputError(option + ": " + e.what());
    }
}

} // namespace cli
