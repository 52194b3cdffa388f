// SPDX-License-Identifier: MIT
// The compiled part of the meshprobe Python package.
#include "python/src/Bindings.h"

PYBIND11_MODULE(_meshprobe, module)
{
    module.doc() = "Compiled core of meshprobe: the toolkit's analyses over numpy arrays. Import `meshprobe`.";
    meshprobe::python::bindErrors(module);
    meshprobe::python::bindMesh(module);
    meshprobe::python::bindAnalyses(module);
    meshprobe::python::bindThinAreas(module);
    meshprobe::python::bindCavities(module);
    meshprobe::python::bindCheck(module);
    meshprobe::python::bindBatch(module);
}
