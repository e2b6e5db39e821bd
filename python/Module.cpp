// The hvk32 Python module: captures and live frames as NumPy arrays. The work is done by the
// C++ cores the command line and the window use; this file only names what Python sees.

#include "python/CaptureBinding.h"
#include "python/FrameArrays.h"
#include "python/LiveBinding.h"

#include <pybind11/pybind11.h>

PYBIND11_MODULE(hvk32, m)
{
    m.doc() = "Captures and live frames of the HVK32 scanner as NumPy arrays, converted as hvk32-cli converts them.";
    hvk32::python::bindFrame(m);
    hvk32::python::bindCapture(m);
    hvk32::python::bindLive(m);
    m.attr("__version__") = HVK32_VERSION;
}
