// SPDX-License-Identifier: MIT
// The MESH argument: a file or standard input ("-" with --format), scaled to millimetres by --units.
#pragma once

#include <string>

#include "cli/CommonOptions.h"
#include "meshprobe/Mesh.h"

namespace cli {

/// Reads the mesh the options name (standard input for "-"), in millimetres. InputError for bad input.
meshprobe::Mesh loadInputMesh(const CommonOptions& options);

/// "mm", or "in (scaled to mm)" and the like: the summary's units line.
std::string unitLine(const CommonOptions& options);

} // namespace cli
