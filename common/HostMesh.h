// SPDX-License-Identifier: MIT
// The host's geometry, mesh and exception libraries, as the analyses use them. The analyses include
// this header instead of the host's own.
#pragma once

#include "host/exception/KelException.h"
#include "host/geometry/UBox3.h"
#include "host/geometry/UMatrix4.h"
#include "host/geometry/UPoint3.h"
#include "host/geometry/UVector3.h"
#include "host/mesh/MeshKernel.h"
#include "host/mesh/TriBoxOverlap.h"
#include "host/mesh/UMesh.h"
#include "host/mesh/UTriangle.h"
#include "host/mesh/UVertex.h"
