#pragma once
// The factory-reset packet: the user configuration layout filled with the factory network
// settings and the given local time; nothing is copied from a device-info packet.

#include "device/ConfigPacket.h"

#include <QDateTime>

#include <array>
#include <cstdint>

namespace hvk32 {

// What the reset sets: the device's factory network settings and motor speed.
namespace factoryreset {
constexpr long kMotorRpm = 300;
constexpr std::uint8_t kDeviceIp[4] = {192, 168, 1, 200};
constexpr std::uint8_t kHostIp[4] = {192, 168, 1, 102};
constexpr long kDataPort = 2368;
constexpr long kDevicePort = 2369;
} // namespace factoryreset

std::array<std::uint8_t, configpacket::kPacketSize> factoryResetPacket(const QDateTime& localNow);

} // namespace hvk32
