#pragma once
// hvk32.open(): a capture file as a sequence of frames, its summary and its device-info packets.

#include <pybind11/pybind11.h>

namespace hvk32::python {

void bindCapture(pybind11::module_& m);

} // namespace hvk32::python
