// SPDX-License-Identifier: MIT
// The thickness analysis as the thickness and areas commands run it: window checks, the library call,
// and its outcome turned into thickness values, selection flags, colours or an exception.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "common/HostMesh.h"

namespace cli {

/// Checks a thickness window given on the command line; InputError naming the options otherwise.
void checkThicknessWindow(double min, double max, const std::string& minOption, const std::string& maxOption);

/// Measures every face and selects those whose thickness lies strictly inside (min, max).
/// @param message  receives the library's outcome message, when given
/// @return the thickness of every face, in face order (max for faces that found no wall within max)
/// @throw AnalysisError with the library's message when it fails; Kel::AbortException when cancelled
std::vector<float> measureAndSelect(UMesh<float>& mesh, float min, float max, int samples,
                                    const std::function<void(int)>& progress, std::string* message = nullptr);

/// Measures every face again and returns its colour (RGBA) on the library's hue scale over the window.
std::vector<std::array<unsigned char, 4>> measureColours(UMesh<float>& mesh, float min, float max, int samples,
                                                         const std::function<void(int)>& progress);

} // namespace cli
