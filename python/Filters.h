#pragma once
// The point filters that open() and listen() take as keyword arguments, as the conversion's
// options: the channels kept, the distance range, and whether returns of distance 0 stay.

// Python's headers before Qt's, whose "slots" macro they would otherwise meet.
#include <pybind11/pybind11.h>

#include "convert/PointConversion.h"
#include "hvk32/hvk32.h"

namespace hvk32::python {

// The library's filter for open()'s arguments. Raises ValueError for a channel outside 0..31
// or a distance range that holds nothing, TypeError for a channel that is not a number.
hvk32::Filter captureFilter(const pybind11::object& channels, const pybind11::object& minDistance,
                            const pybind11::object& maxDistance, bool keepZero);
// The conversion's options for the same filter (listen()).
ConversionOptions conversionOptions(const pybind11::object& channels, const pybind11::object& minDistance,
                                    const pybind11::object& maxDistance, bool keepZero);

} // namespace hvk32::python
