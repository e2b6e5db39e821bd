#pragma once
// Sends one 1206-byte configuration datagram to the device. No reply is awaited: whether
// the change took effect shows in the device's next device-info packet.

#include <cstdint>

namespace hvk32::device {

// Opens an IPv4 UDP socket, sends the whole 1206-byte `packet` to ip_data:portdata once and
// closes the socket. Returns whether the full datagram left; an address that is not dotted
// decimal, port 0 or a send error give false.
bool SendPacketDataToLidar(const std::uint8_t* packet, const char* ip_data, std::uint16_t portdata);

} // namespace hvk32::device
