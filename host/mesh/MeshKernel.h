// SPDX-License-Identifier: MIT
// The host's container of a placed mesh: the mesh plus its placement matrix.
#pragma once

#include <memory>
#include <utility>

#include "host/geometry/UMatrix4.h"
#include "host/mesh/UMesh.h"

class MeshKernel {
public:
    MeshKernel() = default;
    explicit MeshKernel(std::shared_ptr<UMesh<float>> placedMesh, const UMatrix4<float>& placement = UMatrix4<float>())
        : mesh(std::move(placedMesh)), matrix(placement)
    {
    }

    std::shared_ptr<UMesh<float>>& getMesh() { return mesh; }
    UMatrix4<float> getMatrix() const { return matrix; }
    void setMatrix(const UMatrix4<float>& value) { matrix = value; }

private:
    std::shared_ptr<UMesh<float>> mesh;
    UMatrix4<float> matrix;
};
