#pragma once
// Device-info packets for tests of the decoders and of the configuration packets built on them.

#include "acquisition/DeviceInfoPacket.h"

#include <array>
#include <cstdint>

namespace hvk32::test {

using DeviceInfo = std::array<std::uint8_t, devinfo::kPacketSize>;

// A packet with a valid header whose every other byte holds its offset (mod 251), so a
// byte that is decoded, echoed or overwritten can be told from its neighbours.
inline DeviceInfo patternDeviceInfo()
{
    DeviceInfo p{};
    for (std::size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<std::uint8_t>(i % 251);
    devinfo::writeHeader(p.data());
    return p;
}

// Adds `degrees` to the vertical angle a device-info packet gives every channel, or only
// `channel` (0..31).
inline void shiftVerticalAngles(std::uint8_t* packet, float degrees, int channel = -1)
{
    for (int e = 0; e < devinfo::kVerticalAngleCount; ++e) {
        if (channel >= 0 && devinfo::verticalEntryChannel(e) != channel)
            continue;
        std::uint8_t* entry = packet + devinfo::kVerticalAngles + 2 * static_cast<std::size_t>(e);
        putBe16(entry, devinfo::encodeVerticalAngle(devinfo::decodeVerticalAngle(be16(entry)) + degrees));
    }
}

} // namespace hvk32::test
