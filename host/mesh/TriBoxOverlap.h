// SPDX-License-Identifier: MIT
// Triangle / axis-aligned box overlap test of the host's mesh library.
#pragma once

/// Non-zero when the triangle and the box overlap (touching counts), by Akenine-Moller's separating-axis test.
int TriBoxOverlap(const float boxCenter[3], const float boxHalfSize[3], const float triangle[3][3]);
