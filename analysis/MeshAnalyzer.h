// SPDX-License-Identifier: MIT
// Analysis::MeshAnalyzer: wall thickness and marking areas on a host mesh.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/Export.h"

template <typename T> class UMesh;

namespace Analysis {

/// One patch of selected faces connected across manifold, non-bad edges.
struct MarkingRegion {
    /// Number of the area within one getMarkingAreas call: 1, 2, ...
    int id = 0;
    /// The label passed to getMarkingAreas.
    std::string name;
    /// Face indices (the faces' own index fields): the seed first, then breadth-first order.
    std::vector<int> faceIndices;
    /// Closed loops of vertex IDs bounding the patch; each loop's last entry repeats its first.
    std::vector<std::vector<unsigned>> boundaryLoops;
};

/// Output of getMarkingAreas; owned by the caller.
struct MarkingArea {
    std::vector<MarkingRegion> regions;
};

class MESHPROBE_API MeshAnalyzer {
public:
    /// Outcome of statvis_calc_thickness.
    struct Result {
        int status;          ///< 1 success, 0 failure, 2 aborted by the progress callback
        std::string message; ///< the outcome text
    };

    /// What the thickness analysis writes after measuring.
    enum ShowType {
        Select = 0, ///< flags: faces strictly inside (min, max) are selected, faces that reached max cleared
        Color = 1,  ///< an RGBA colour per face in the caller's buffer
    };

    /// Leaves the gradient colours unset.
    MeshAnalyzer();
    ~MeshAnalyzer();
    MeshAnalyzer(const MeshAnalyzer& other);
    MeshAnalyzer& operator=(const MeshAnalyzer& other);

    /// @name Wall thickness
    /// @{

    /// Measures every face's wall thickness by rays cast from the face along its inward normal, on the
    /// calling thread, then selects or colours the faces.
    /// @param mesh          the mesh; faces wound counter-clockwise seen from outside
    /// @param vertexCoords  optional corner positions, indexed by UVertex::ID(); null to use the faces' own points
    /// @param min           lower end of the thickness window, model units
    /// @param max           upper end, model units; also the longest distance a ray looks
    /// @param sampleCount   rays per face: 0 none, 1..31 a jittered pattern, 32 or more one ray from the centroid
    /// @param showType      Select, Color, or any other value to leave the per-face thickness floats in the buffer
    /// @param faceColors    caller-owned, one entry per face in every mode: it carries the thickness floats
    /// @param progress      percentages 1..99, called on the calling thread; may throw Kel::AbortException
    /// @return status 1 "Thickness analysis Successfully", 2 on abort, 0 on failure, with the message
    /// @throw const char* "min can not exceed max." when min > max (nothing is touched)
    Result statvis_calc_thickness(UMesh<float>* mesh, const float (*vertexCoords)[3], float min, float max,
                                  int sampleCount, ShowType showType, unsigned char (*faceColors)[4],
                                  std::function<void(int)> progress);
    /// @}

    /// @name Marking areas
    /// @{

    /// Groups the selected, non-deleted faces into edge-connected areas with their boundary loops.
    /// Builds the mesh's topology when missing (and leaves it); clears every face's visited flag.
    /// @param mesh    may be null (nothing happens)
    /// @param label   the name of every area of this call
    /// @param output  regions are appended, never cleared; regions already in it get this mesh's boundary
    ///                loops appended again, so pass an empty one
    void getMarkingAreas(UMesh<float>* mesh, std::string label, MarkingArea& output);
    /// @}

    /// Stores two gradient colours (three floats each); nothing in the library reads them.
    void setGradientColor(const float* start, const float* end);

protected:
    /// Hue ramp from red (weight 0) to hue 150 (weight 1 and above), as three floats in [0, 1].
    void weight_to_gradientRgb(float* rgb, float weight);
    /// Blue-cyan-green-yellow-red ramp with brightness rising with the weight; magenta above 1 or NaN.
    void weight_to_rgb(float* rgb, float weight);
    /// Writes value into values[0 .. count), from the last down to the first.
    void copy_vn_fl(float* values, int count, float value);

private:
    float gradientStart[3];
    float gradientEnd[3];
};

} // namespace Analysis
