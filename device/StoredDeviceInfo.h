#pragma once
// The last raw device-info packet a configuration dialog keeps as the template of what it
// sends, with the flags that gate a send and a refresh: each needs a packet that arrived
// after the last send or refresh.

#include "acquisition/DeviceInfoPacket.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace hvk32::device {

struct StoredDeviceInfo {
    std::array<std::uint8_t, devinfo::kPacketSize> packet{};
    bool sendReady = false;    // a device-info packet arrived since the last send
    bool refreshReady = false; // a device-info packet arrived since the last refresh

    // Keeps a device-info packet and sets both flags; anything else is ignored.
    bool store(const std::uint8_t* data)
    {
        if (!data || !devinfo::isDeviceInfoPacket(data, devinfo::kPacketSize))
            return false;
        std::memcpy(packet.data(), data, packet.size());
        sendReady = true;
        refreshReady = true;
        return true;
    }
};

} // namespace hvk32::device
