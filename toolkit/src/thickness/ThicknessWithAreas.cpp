// SPDX-License-Identifier: MIT
// Thickness and its thin areas in one call, with the areas' ray scene built beside the thickness rays.
#include <future>
#include <memory>

#include "meshprobe/ThinAreas.h"
#include "meshprobe/Threads.h"
#include "toolkit/src/adapters/ThicknessHostMesh.h"
#include "toolkit/src/cavities/RayScene.h"
#include "toolkit/src/thickness/ThinAreasOnScene.h"

namespace meshprobe {

ThicknessWithAreas thicknessWithThinAreas(const MeshView& mesh, const ThicknessOptions& thicknessOptions,
                                          const ThinAreaOptions& areaOptions)
{
    validate(mesh);
    const int threads = thicknessOptions.threads > 0 ? thicknessOptions.threads : defaultThreadCount();
    // The scene's build is one thread's work wherever it runs (it is built on one Embree thread, so its
    // nearest hits, ties included, are the same as in thinAreas). Beside the rays it takes a share of
    // the team's cores for a while instead of leaving all but one idle afterwards; on one thread there is
    // nothing to run beside, and it stays where thinAreas builds it.
    std::future<std::unique_ptr<detail::RayScene>> scene;
    if (threads > 1)
        scene = std::async(std::launch::async, [&mesh] { return std::make_unique<detail::RayScene>(mesh); });
    ThicknessWithAreas result;
    // Leaving early (an error, a cancellation) waits for the build in the future's destructor: the scene
    // reads the caller's mesh, which must outlive it.
    // The areas' marking step works on the host mesh the rays used: making a second one of the same view
    // would cost the same again.
    std::unique_ptr<detail::MarkingAreaMesh> hostMesh;
    result.thickness = detail::thicknessKeepingHostMesh(mesh, thicknessOptions, hostMesh);
    std::unique_ptr<detail::RayScene> built = scene.valid() ? scene.get() : nullptr;
    result.areas =
        detail::thinAreasOnScene(mesh, result.thickness.perFace, areaOptions, std::move(built), std::move(hostMesh));
    return result;
}

} // namespace meshprobe
