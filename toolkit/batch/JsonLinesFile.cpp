// SPDX-License-Identifier: MIT
// JSON Lines output through the toolkit's atomic file.
#include "meshprobe/JsonLinesFile.h"

#include "toolkit/src/AtomicFile.h"

namespace meshprobe {

JsonLinesFile::JsonLinesFile(const std::string& path) : file(std::make_unique<detail::AtomicFile>(path)) {}

JsonLinesFile::~JsonLinesFile() = default;

void JsonLinesFile::append(const std::string& line)
{
    const std::string withBreak = line + '\n';
    file->write(withBreak.data(), withBreak.size());
}

void JsonLinesFile::commit(const ProgressCallback& progress)
{
    file->commit(progress);
}

} // namespace meshprobe
