#pragma once
// hvk32.open(): a capture file as a sequence of frames, its summary and its device-info packets.

#include "hvk32/hvk32.h"

#include <pybind11/pybind11.h>

#include <string>

namespace hvk32::python {

void bindCapture(pybind11::module_& m);

// A path as Python's open() takes it (str, bytes or os.PathLike), as text; ValueError for a
// name that cannot be opened.
std::string pathText(const pybind11::object& path);
// The library's failure to open a capture as Python's error of its kind (FileNotFoundError,
// PermissionError, IsADirectoryError, else ValueError), with its message.
[[noreturn]] void raiseOpenFailure(const hvk32::Error& failure);

} // namespace hvk32::python
