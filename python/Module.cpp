// The hvk32 Python module: captures and live frames as NumPy arrays. The work is done by the
// C++ cores the command line and the window use; this file only names what Python sees.

#include "python/CaptureBinding.h"
#include "python/FrameArrays.h"
#include "python/LiveBinding.h"
#include "python/OdometryBinding.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

PYBIND11_MODULE(hvk32, m)
{
    // NumPy's C interface is looked up once, on first use, behind a C++ static guard. Done
    // here, under the import's GIL: on first use it would import NumPy inside a frame's read,
    // where another thread could wait at that guard holding the GIL that the import needs
    // (a deadlock), and where the first frame read would pay for NumPy's import.
    pybind11::dtype::of<float>();
    m.doc() = "Captures and live frames of the HVK32 scanner as NumPy arrays, converted as hvk32-cli converts them.";
    hvk32::python::bindFrame(m);
    hvk32::python::bindCapture(m);
    hvk32::python::bindLive(m);
    hvk32::python::bindOdometry(m);
    m.attr("__version__") = HVK32_VERSION;
}
