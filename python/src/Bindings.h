// SPDX-License-Identifier: MIT
// The parts of the _meshprobe extension, each defined in its own file and added to the module by Module.cpp.
#pragma once

#include <pybind11/pybind11.h>

namespace meshprobe::python {

/// meshprobe.Error, InputError and Cancelled, and the translation of the toolkit's exceptions into them.
void bindErrors(pybind11::module_& module);

/// meshprobe.Mesh, MeshInfo and load().
void bindMesh(pybind11::module_& module);

/// thickness(), thickness_histogram(), trapped() and areas() with their result classes.
void bindAnalyses(pybind11::module_& module);

/// thin_areas() with its result classes.
void bindThinAreas(pybind11::module_& module);
/// cavities(), orient(), check() and fix_winding(): located cavities for any build direction and the mesh checks.
void bindCavities(pybind11::module_& module);

/// save() and thickness_colours(): meshes and colour files written like the tool's.
void bindExport(pybind11::module_& module);

/// _check(): the printability verdict as the tool's JSON, for meshprobe.check().
void bindCheck(pybind11::module_& module);

/// _report(): the HTML report, with its summary as the tool's JSON, for meshprobe.report(). Only in builds
/// with the report library (MESHPROBE_HAS_REPORT).
void bindReport(pybind11::module_& module);

/// batch_record() and collect_mesh_files(): the per-part job the batch runners share with the tool.
void bindBatch(pybind11::module_& module);

} // namespace meshprobe::python
