#pragma once
// The distance/azimuth readout of the point under the mouse.

#include <QString>

namespace hvk32 {

// Azimuth in degrees of a position, by the view's quadrant rule (x >= 0, y = 0 gives 360).
double readoutAzimuth(double x, double y);

// "Distance: <d> m  Azimuth: <a>°", both with 3 decimals.
QString readoutText(double x, double y, double z);

} // namespace hvk32
