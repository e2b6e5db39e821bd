#pragma once
// The distance/azimuth readout of the point under the mouse.

#include <QString>

#include <cstdint>

namespace hvk32 {

// Azimuth in degrees of a position, by the view's quadrant rule (x >= 0, y = 0 gives 360).
double readoutAzimuth(double x, double y);

// "Distance: <d> m  Azimuth: <a>°", both with 3 decimals.
QString readoutText(double x, double y, double z);

// A data packet's time stamp as the device means it, microseconds within the hour of its
// clock: "device 28:51.000 past the hour" for 1731000611. A stamp of an hour or more is no
// time within the hour and is shown as the number it is.
QString deviceStampText(std::uint32_t stamp);

} // namespace hvk32
