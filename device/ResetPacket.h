#pragma once
// The factory-reset packet: the user configuration layout filled with the factory network
// settings and the given local time; nothing is copied from a device-info packet.

#include <QDateTime>

#include <array>
#include <cstdint>

namespace hvk32 {

std::array<std::uint8_t, 1206> factoryResetPacket(const QDateTime& localNow);

} // namespace hvk32
