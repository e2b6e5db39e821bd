#pragma once
// The point filters that open() and listen() take as keyword arguments, as the conversion's
// options: the channels kept, the distance range, and whether returns of distance 0 stay.

// Python's headers before Qt's, whose "slots" macro they would otherwise meet.
#include <pybind11/pybind11.h>

#include "convert/PointConversion.h"

namespace hvk32::python {

// Raises ValueError for a channel outside 0..31 or a distance range that holds nothing.
ConversionOptions conversionOptions(const pybind11::object& channels, const pybind11::object& minDistance,
                                    const pybind11::object& maxDistance, bool keepZero);

} // namespace hvk32::python
