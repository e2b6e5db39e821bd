#pragma once
// What every 1206-byte configuration packet sent to the device shares: the header, the
// tail, the marker of the advanced and vertical-angle packets, and how 16-bit values are
// written. A configuration packet (except the factory reset) starts as a copy of the last
// device-info packet, so its field offsets are those of acquisition/DeviceInfoPacket.h.

#include <cstddef>
#include <cstdint>

namespace hvk32::configpacket {

constexpr std::size_t kPacketSize = 1206;
constexpr std::size_t kHeaderSize = 8;
// User configuration (UCWP), factory reset and vertical angles.
constexpr std::uint8_t kUserHeader[kHeaderSize] = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xAA, 0xAA};
// Advanced configuration (ACWP).
constexpr std::uint8_t kAdvancedHeader[kHeaderSize] = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xBB, 0xBB};
constexpr std::size_t kMarkerOffset = 160; // 8 bytes: cleared in UCWP, a marker in ACWP and vertical packets
constexpr std::size_t kMarkerSize = 8;
constexpr std::uint8_t kMarker[kMarkerSize] = {0x55, 0xAA, 0xAA, 0x55, 0x33, 0x33, 0x11, 0x11};
constexpr std::size_t kTailOffset = 1204;
constexpr std::uint8_t kTail[2] = {0x0F, 0xF0};

// A 16-bit value, high byte first; 0 and values of 65536 or more are written as 00 00.
inline void TwoBytesDecToHex(std::uint8_t* out, long value)
{
    if (value <= 0 || value >= 65536) {
        out[0] = out[1] = 0;
        return;
    }
    out[0] = static_cast<std::uint8_t>(value / 256);
    out[1] = static_cast<std::uint8_t>(value % 256);
}

inline bool hasHeader(const std::uint8_t* p, const std::uint8_t (&header)[kHeaderSize])
{
    for (std::size_t i = 0; i < kHeaderSize; ++i)
        if (p[i] != header[i])
            return false;
    return true;
}

inline bool hasTail(const std::uint8_t* p)
{
    return p[kTailOffset] == kTail[0] && p[kTailOffset + 1] == kTail[1];
}

} // namespace hvk32::configpacket
