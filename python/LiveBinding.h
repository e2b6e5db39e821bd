#pragma once
// hvk32.listen(): live frames from the network as the window receives them.

#include <pybind11/pybind11.h>

namespace hvk32::python {

void bindLive(pybind11::module_& m);

} // namespace hvk32::python
