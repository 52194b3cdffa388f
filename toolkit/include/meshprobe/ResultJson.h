// SPDX-License-Identifier: MIT
// The toolkit's results as the JSON the meshprobe tool prints: the same keys and the same rounding, written
// by the same code (the schemas in schemas/*.json describe them), for programs that link the toolkit and
// hand results on as text.
#pragma once

#include <string>

#include "meshprobe/Cavities.h"
#include "meshprobe/Check.h"
#include "meshprobe/Inspect.h"
#include "meshprobe/Orientation.h"
#include "meshprobe/Profile.h"
#include "meshprobe/ThinAreas.h"

namespace meshprobe {

/// `info`'s keys: "bounds", "watertight", "nonmanifold_edges", "bad_edges", "border_edges", "volume",
/// "inside_out", "area".
std::string toJson(const MeshInfo& info);

/// `trapped`'s keys for the result of findCavities with these options: "resolution", "voxel_size", "up",
/// "up_vector", "trapped_voxels", "trapped_volume", "cavity_count", "min_cavity", "tiny_cavities" and the
/// "cavities" (with "triangles" of their solids when options.solids, and their holes when
/// options.drainHoleDiameter > 0).
std::string toJson(const CavitiesResult& result, const CavityOptions& options);

/// `check`'s verdict for a profile: "verdict", "profile", "findings", "counts", "thinnest_wall",
/// "ignored_tiny_cavities".
std::string toJson(const CheckResult& result, const Profile& profile);

/// `orient`'s "directions": one object per candidate, best first.
std::string toJson(const OrientResult& result);

/// `thickness`'s thin areas: "thinnest" (within `max`, mm), "thin_areas", "dropped_areas",
/// "dropped_faces", "crease_areas", "crease_faces".
std::string toJson(const ThinAreasResult& result, double max);

} // namespace meshprobe
