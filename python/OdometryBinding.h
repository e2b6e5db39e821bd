#pragma once
// hvk32.odometry(): the scanner's trajectory through a capture, as "hvk32-cli odometry" writes it.

#include <pybind11/pybind11.h>

namespace hvk32::python {

void bindOdometry(pybind11::module_& m);

} // namespace hvk32::python
