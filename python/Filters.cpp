#include "python/Filters.h"

#include "python/Errors.h"

#include <cmath>
#include <string>

namespace hvk32::python {

namespace py = pybind11;

namespace {

// A distance in metres: a finite number, 0 or more.
float distanceOf(const py::object& value, const char* name)
{
    double d = 0.0;
    try {
        d = value.cast<double>();
    } catch (const py::cast_error&) {
        throwError(PyExc_TypeError, std::string(name) + " must be a number of metres");
    }
    if (!std::isfinite(d) || d < 0.0)
        throwError(PyExc_ValueError, std::string(name) + " must be a finite distance of 0 m or more, not "
                                         + std::string(py::str(value)));
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
        if (!minDistance.is_none())
            o.distanceMin = distanceOf(minDistance, "min_distance");
        if (!maxDistance.is_none())
            o.distanceMax = distanceOf(maxDistance, "max_distance");
        if (o.distanceMin > o.distanceMax)
            throwError(PyExc_ValueError, "min_distance " + std::string(py::str(minDistance))
                                             + " is above max_distance " + std::string(py::str(maxDistance)));
    }
    return o;
}

} // namespace hvk32::python
