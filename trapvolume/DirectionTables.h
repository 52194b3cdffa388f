// SPDX-License-Identifier: MIT
// The direction tables of the voxel passes: face-neighbour steps and the in-plane neighbours of a line.
// Included at the end of VoxelizerTrapVolumePrivate.h, so every user of the class sees the same inline
// definitions.
#pragma once

#include "trapvolume/VoxelizerTrapVolumePrivate.h"

/// The six face steps in the order every flood and cavity walk takes them: down, up, then -x, +x, -y, +y.
/// The order decides the breadth-first order of the cavity meshes, and so which voxels start a column.
inline const UVector3<double> VoxelizerTrapVolumePrivate::faceDirections[6] = {{0, 0, -1}, {0, 0, 1},  {-1, 0, 0},
                                                                               {1, 0, 0},  {0, -1, 0}, {0, 1, 0}};
/// The same six as floats: the directions of the six parity rays of a vote.
inline const UVector3<float> VoxelizerTrapVolumePrivate::faceDirectionsF[6] = {{0, 0, -1}, {0, 0, 1},  {-1, 0, 0},
                                                                               {1, 0, 0},  {0, -1, 0}, {0, 1, 0}};
/// The face steps of a flood that must never move down (drainable air): sideways and up.
inline const UVector3<double> VoxelizerTrapVolumePrivate::faceDirectionsNoDown[5] = {
    {-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, 1}};
/// Offsets (a, b) of the four neighbours of a walked line in the plane across it, on the line's two other
/// axes in x, y, z order.
inline const int VoxelizerTrapVolumePrivate::planeNeighbours[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
