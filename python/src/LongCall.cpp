// SPDX-License-Identifier: MIT
// Progress of a long call reported to Python with the GIL re-acquired; signals and exceptions cancel it.
#include "python/src/LongCall.h"

namespace py = pybind11;

namespace meshprobe::python {

PythonProgress::PythonProgress(py::object callable_) : callable(std::move(callable_))
{
    if (!callable.is_none() && !PyCallable_Check(callable.ptr()))
        throw py::type_error("progress must be callable as progress(percent) or None");
}

ProgressCallback PythonProgress::callback()
{
    return [this](float percent) { return report(percent); };
}

bool PythonProgress::report(float percent)
{
    if (pending) return false;
    constexpr auto interval = std::chrono::milliseconds(50);
    const auto now = std::chrono::steady_clock::now();
    if (percent < 100.0f ? now - lastReport < interval : finished) return true;
    lastReport = now;
    finished = percent >= 100.0f;
    py::gil_scoped_acquire gil;
    try {
        // Signal handlers run only here while the call holds no GIL: this is where Ctrl-C gets through.
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        if (callable.is_none()) return true;
        const py::object answer = callable(percent);
        if (answer.is_none()) return true;
        const int truth = PyObject_IsTrue(answer.ptr());
        if (truth < 0) throw py::error_already_set();
        return truth != 0;
    } catch (py::error_already_set& error) {
        pending = std::move(error);
        return false;
    }
}

void PythonProgress::raisePending()
{
    if (!pending) return;
    py::error_already_set error = std::move(*pending);
    pending.reset();
    throw error;
}

} // namespace meshprobe::python
