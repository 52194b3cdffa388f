// SPDX-License-Identifier: MIT
// Export macro of the meshanalysis library: symbols are hidden unless marked with MESHPROBE_API.
#pragma once

#if defined(_WIN32)
#if defined(MESHPROBE_BUILDING_LIBRARY)
#define MESHPROBE_API __declspec(dllexport)
#else
#define MESHPROBE_API __declspec(dllimport)
#endif
#else
#define MESHPROBE_API __attribute__((visibility("default")))
#endif
