#pragma once
// Where configuration datagrams go by default. The dialogs hold a copy of Destinations and
// send only to what it names (or to addresses the device itself reported), so a test can
// point every send at loopback.

#include <cstdint>
#include <string>

namespace hvk32::device {

// The port on which the device accepts configuration datagrams.
constexpr std::uint16_t kDeviceCommandPort = 2368;
// The device's factory address, the default target of the reset and vertical-angle packets.
constexpr const char* kFactoryDeviceAddress = "192.168.1.200";

struct Destinations {
    std::uint16_t commandPort = kDeviceCommandPort;
    std::string defaultDeviceAddress = kFactoryDeviceAddress;
};

} // namespace hvk32::device
