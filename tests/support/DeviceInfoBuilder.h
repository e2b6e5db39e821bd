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

} // namespace hvk32::test
