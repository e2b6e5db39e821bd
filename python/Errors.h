#pragma once
// Python exceptions and warnings with the command line's messages.

#include <pybind11/pybind11.h>

#include <string>

namespace hvk32::python {

// Raises `type` (PyExc_ValueError, ...) with `message`.
[[noreturn]] inline void throwError(PyObject* type, const std::string& message)
{
    PyErr_SetString(type, message.c_str());
    throw pybind11::error_already_set();
}

// A UserWarning, raised as an error when the warnings filter says so.
inline void warn(const std::string& message)
{
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) < 0)
        throw pybind11::error_already_set();
}

} // namespace hvk32::python
