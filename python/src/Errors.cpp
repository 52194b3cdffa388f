// SPDX-License-Identifier: MIT
// The toolkit's exceptions as Python exceptions: Error (a RuntimeError), InputError (also a ValueError, since
// it means the arguments or the file are unusable) and Cancelled.
#include <exception>

#include "meshprobe/Error.h"
#include "python/src/Bindings.h"

namespace py = pybind11;

namespace meshprobe::python {

namespace {

py::object newException(py::module_& module, const char* name, py::handle bases, const char* doc)
{
    const std::string qualified = std::string("meshprobe.") + name;
    py::object type =
        py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases.ptr(), nullptr));
    if (!type) throw py::error_already_set();
    module.attr(name) = type;
    return type;
}

} // namespace

void bindErrors(py::module_& module)
{
    // Leaked on purpose: the translator below needs them for the life of the interpreter.
    static py::handle error, inputError, cancelled;
    error =
        newException(module, "Error", PyExc_RuntimeError, "A meshprobe call failed; the message says what is wrong.")
            .release();
    inputError = newException(module, "InputError", py::make_tuple(error, py::handle(PyExc_ValueError)),
                              "The input cannot be used: a missing, empty or unreadable file, an unknown "
                              "format, a bad index, NaN coordinates or an option out of range.")
                     .release();
    cancelled = newException(module, "Cancelled", error,
                             "The progress callable returned False, and the call stopped without a result.")
                    .release();

    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) std::rethrow_exception(thrown);
        } catch (const meshprobe::Cancelled& e) {
            PyErr_SetString(cancelled.ptr(), e.what());
        } catch (const meshprobe::InputError& e) {
            PyErr_SetString(inputError.ptr(), e.what());
        } catch (const meshprobe::Error& e) {
            PyErr_SetString(error.ptr(), e.what());
        }
    });
}

} // namespace meshprobe::python
