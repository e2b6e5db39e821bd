#pragma once
// The factory-reset packet: the user configuration layout filled with the factory network
// settings and the given local time; nothing is copied from a device-info packet.

#include "device/ConfigPacket.h"

#include <QDateTime>

#include <array>
#include <cstdint>

namespace hvk32 {

std::array<std::uint8_t, configpacket::kPacketSize> factoryResetPacket(const QDateTime& localNow);

} // namespace hvk32
