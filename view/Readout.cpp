#include "view/Readout.h"

#include "acquisition/DataPacket.h"

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

QString deviceStampText(std::uint32_t stamp)
{
    if (stamp >= datapacket::kTimestampWrap)
        return QCoreApplication::translate("Readout", "device %1 µs (more than an hour)").arg(stamp);
    const std::uint32_t ms = stamp / 1000;
    const QString time = QStringLiteral("%1:%2.%3")
                             .arg(ms / 60000, 2, 10, QLatin1Char('0'))
                             .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                             .arg(ms % 1000, 3, 10, QLatin1Char('0'));
    return QCoreApplication::translate("Readout", "device %1 past the hour").arg(time);
}

} // namespace hvk32
