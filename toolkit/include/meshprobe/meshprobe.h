// SPDX-License-Identifier: MIT
// meshprobe toolkit: wall thickness, marking areas and trapped volumes of triangle meshes, over plain
// arrays. Every function is safe to call concurrently on different meshes and on the same mesh (views are
// read only); all lengths are millimetres; failures throw meshprobe::Error (Error.h); nothing is printed.
#pragma once

#include "meshprobe/BuildDirection.h"
#include "meshprobe/Cavities.h"
#include "meshprobe/Check.h"
#include "meshprobe/DrainHoles.h"
#include "meshprobe/Error.h"
#include "meshprobe/Export.h"
#include "meshprobe/Import.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/MarkingAreas.h"
#include "meshprobe/Mesh.h"
#include "meshprobe/MeshChecks.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Profile.h"
#include "meshprobe/ResultJson.h"
#include "meshprobe/Progress.h"
#include "meshprobe/Thickness.h"
#include "meshprobe/ThicknessColours.h"
#include "meshprobe/ThinAreas.h"
#include "meshprobe/Threads.h"
#include "meshprobe/TrappedVolumes.h"
