#include "view/Readout.h"

#include <QCoreApplication>
#include <cmath>

namespace hvk32 {

double readoutAzimuth(double x, double y)
{
    const double r = std::sqrt(x * x + y * y);
    double azimuth = r > 0.0 ? std::asin(std::fabs(y) / r) * 57.2957795 : 0.0;
    if (x < 0 && y > 0)
        azimuth += 180.0;
    else if (x < 0 && y < 0)
        azimuth = 180.0 - azimuth;
    else if (x >= 0 && y >= 0)
        azimuth = 360.0 - azimuth;
    return azimuth;
}

QString readoutText(double x, double y, double z)
{
    const double distance = std::sqrt(x * x + y * y + z * z);
    return QCoreApplication::translate("Readout", "Distance: %1 m  Azimuth: %2°")
        .arg(distance, 0, 'f', 3)
        .arg(readoutAzimuth(x, y), 0, 'f', 3);
}

} // namespace hvk32
