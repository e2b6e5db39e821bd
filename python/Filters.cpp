#include "python/Filters.h"

#include "hvk32/CaptureState.h"
#include "python/Errors.h"

#include <cmath>
#include <limits>
#include <string>
#include <vector>

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

hvk32::Filter captureFilter(const py::object& channels, const py::object& minDistance, const py::object& maxDistance,
                            bool keepZero)
{
    hvk32::Filter filter;
    filter.keepZero(keepZero);
    if (!channels.is_none()) {
        std::vector<int> kept;
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
            kept.push_back(static_cast<int>(c));
        }
        filter.channels(kept);
    }
    if (!minDistance.is_none() || !maxDistance.is_none()) {
        // Checked as the conversion's floats hold them, with this module's messages.
        const float min = minDistance.is_none() ? 0.0f : distanceOf(minDistance, "min_distance");
        const float max = maxDistance.is_none() ? std::numeric_limits<float>::infinity()
                                                : distanceOf(maxDistance, "max_distance");
        if (min > max)
            throwError(PyExc_ValueError, "Distance range invalid (" + std::string(py::str(minDistance)) + " to "
                                             + std::string(py::str(maxDistance))
                                             + " m; the minimum is above the maximum)");
        filter.minDistance(min);
        if (!maxDistance.is_none())
            filter.maxDistance(max);
    }
    return filter;
}

ConversionOptions conversionOptions(const py::object& channels, const py::object& minDistance,
                                    const py::object& maxDistance, bool keepZero)
{
    return hvk32::detail::conversionOptions(captureFilter(channels, minDistance, maxDistance, keepZero));
}

} // namespace hvk32::python
