#include "python/Filters.h"

#include "python/Errors.h"

#include <cmath>
#include <limits>
#include <string>

namespace hvk32::python {

namespace py = pybind11;

namespace {

// A distance in metres, finite and 0 or more (as the conversion's float holds it); the
// command line's complaint otherwise. No limit is None, not infinity.
float distanceOf(const py::object& value, const char* name)
{
    double d = -1.0;
    try {
        d = value.cast<double>();
    } catch (const py::cast_error&) {
    }
    if (!(d >= 0.0 && d <= std::numeric_limits<float>::max())) // NaN fails both
        throwError(PyExc_ValueError, "bad value '" + std::string(py::str(value)) + "' for " + name
                                         + " (metres, a finite number 0 or more)");
    return static_cast<float>(d);
}

} // namespace

ConversionOptions conversionOptions(const py::object& channels, const py::object& minDistance,
                                    const py::object& maxDistance, bool keepZero)
{
    ConversionOptions o;
    o.precision = Precision::Fast;
    o.keepZeroDistances = keepZero;
    if (!channels.is_none()) {
        o.channels.fill(false);
        const py::object listed =
            py::isinstance<py::int_>(channels) ? py::object(py::make_tuple(channels)) : channels;
        for (const py::handle item : py::iter(listed)) {
            long c = 0;
            try {
                c = item.cast<long>();
            } catch (const py::cast_error&) {
                throwError(PyExc_TypeError, "channels must be channel numbers 0..31");
            }
            if (c < 0 || c >= kChannelCount)
                throwError(PyExc_ValueError, "channel " + std::to_string(c) + " is not one of 0..31");
            o.channels[static_cast<std::size_t>(c)] = true;
        }
    }
    if (!minDistance.is_none() || !maxDistance.is_none()) {
        o.limitDistance = true;
        o.distanceMin = minDistance.is_none() ? 0.0f : distanceOf(minDistance, "min_distance");
        o.distanceMax = maxDistance.is_none() ? std::numeric_limits<float>::infinity()
                                              : distanceOf(maxDistance, "max_distance");
        if (o.distanceMin > o.distanceMax)
            throwError(PyExc_ValueError, "Distance range invalid (" + std::string(py::str(minDistance)) + " to "
                                             + std::string(py::str(maxDistance))
                                             + " m; the minimum is above the maximum)");
    }
    return o;
}

} // namespace hvk32::python
