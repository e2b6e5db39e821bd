#pragma once
// The angles a device reports in its device-info packets and a frame is converted with: the
// vertical angle of every channel and the four horizontal offset angles. A capture carries
// its own, so a played frame travels with the set in force where it was recorded.

#include <QMetaType>

#include <array>

namespace hvk32 {

struct DeviceCalibration {
    std::array<float, 32> verticalAngles{}; // by data-packet channel [deg]
    std::array<float, 4> offsetAngles{};    // horizontal offset angles 1..4 [deg]

    bool operator==(const DeviceCalibration& o) const
    {
        return verticalAngles == o.verticalAngles && offsetAngles == o.offsetAngles;
    }
    bool operator!=(const DeviceCalibration& o) const { return !(*this == o); }
};

} // namespace hvk32

Q_DECLARE_METATYPE(hvk32::DeviceCalibration)
