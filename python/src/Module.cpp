// SPDX-License-Identifier: MIT
// The compiled part of the meshprobe Python package.
#include "python/src/Bindings.h"

PYBIND11_MODULE(_meshprobe, module)
{
    module.doc() = "Compiled core of meshprobe: the toolkit's analyses over numpy arrays. Import `meshprobe`.";
    // The version of the toolkit the extension was built from: the tool's `meshprobe --version`.
    module.attr("__version__") = MESHPROBE_VERSION;
    meshprobe::python::bindErrors(module);
    meshprobe::python::bindMesh(module);
    meshprobe::python::bindAnalyses(module);
    meshprobe::python::bindThinAreas(module);
    meshprobe::python::bindCavities(module);
    meshprobe::python::bindExport(module);
    meshprobe::python::bindCheck(module);
    meshprobe::python::bindBatch(module);
#ifdef MESHPROBE_HAS_REPORT
    meshprobe::python::bindReport(module);
#endif
}
