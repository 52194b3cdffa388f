// SPDX-License-Identifier: MIT
// The MESH argument: a file or standard input ("-" with --format), scaled to millimetres by --units.
#pragma once

#include <string>

#include "cli/CommonOptions.h"
#include "meshprobe/Mesh.h"

namespace cli {

/// Reads the mesh the options name (standard input for "-"), in millimetres. InputError for bad input.
meshprobe::Mesh loadInputMesh(const CommonOptions& options);

/// The unit the input is read in: the unit a 3MF file declares, else --units.
std::string inputUnit(const CommonOptions& options);

/// "mm", or "in, shown in mm" and the like: the summary's units line.
std::string unitLine(const CommonOptions& options);

} // namespace cli
