#pragma once
// The scanner's 1206-byte data packet. Little-endian throughout.
//
//   offset            size  content
//   100*b             2     block flag FF EE (b = 0..11; only block 0's flag is tested)
//   100*b + 2         2     block azimuth, hundredths of a degree
//   100*b + 4 + 3*c   2     distance count of channel c (c = 0..31), 0 = no return
//   100*b + 6 + 3*c   1     intensity of channel c
//   1200              4     packet time stamp
//   1204              2     trailing bytes, not interpreted
//
// Readers assume a buffer of at least kPacketSize bytes; isDataPacket() checks length
// and flag at the boundary.

#include "records/ByteOrder.h"

#include <cstddef>
#include <cstdint>

namespace hvk32::datapacket {

constexpr std::size_t kPacketSize = 1206;
constexpr int kBlocksPerPacket = 12;
constexpr int kChannelsPerBlock = 32;
constexpr std::size_t kBlockSize = 100;
constexpr std::size_t kFlagOffset = 0;         // within a block
constexpr std::size_t kAzimuthOffset = 2;      // within a block
constexpr std::size_t kFirstChannelOffset = 4; // within a block
constexpr std::size_t kChannelSize = 3;
constexpr std::size_t kIntensityOffset = 2;    // within a channel
constexpr std::size_t kTimestampOffset = 1200;
constexpr std::uint8_t kFlagByte0 = 0xFF;
constexpr std::uint8_t kFlagByte1 = 0xEE;
constexpr std::uint16_t kAzimuthUnitsPerTurn = 36000; // [deg/100]

// Timing of the stream: the device fires this often at every motor speed, and a packet's
// time stamp is the time of its last firing in microseconds within the hour.
constexpr int kFiringsPerSecond = 18000;
constexpr std::uint32_t kTimestampWrap = 3600000000u; // [us]

constexpr std::size_t blockOffset(int block) { return kBlockSize * static_cast<std::size_t>(block); }
constexpr std::size_t channelOffset(int block, int channel)
{
    return blockOffset(block) + kFirstChannelOffset + kChannelSize * static_cast<std::size_t>(channel);
}

// A datagram is a data packet when it is a full 1206 bytes and starts with FF EE.
inline bool isDataPacket(const std::uint8_t* p, std::size_t length)
{
    return length >= kPacketSize && p[0] == kFlagByte0 && p[1] == kFlagByte1;
}

inline std::uint16_t azimuthRaw(const std::uint8_t* p, int block) { return le16(p + blockOffset(block) + kAzimuthOffset); }
inline std::uint16_t distanceRaw(const std::uint8_t* p, int block, int channel) { return le16(p + channelOffset(block, channel)); }
inline std::uint8_t intensityRaw(const std::uint8_t* p, int block, int channel) { return p[channelOffset(block, channel) + kIntensityOffset]; }
inline std::uint32_t timestampRaw(const std::uint8_t* p) { return le32(p + kTimestampOffset); }

inline void setBlockFlag(std::uint8_t* p, int block)
{
    p[blockOffset(block) + kFlagOffset] = kFlagByte0;
    p[blockOffset(block) + kFlagOffset + 1] = kFlagByte1;
}
inline void setAzimuthRaw(std::uint8_t* p, int block, std::uint16_t v) { putLe16(p + blockOffset(block) + kAzimuthOffset, v); }
inline void setDistanceRaw(std::uint8_t* p, int block, int channel, std::uint16_t v) { putLe16(p + channelOffset(block, channel), v); }
inline void setIntensityRaw(std::uint8_t* p, int block, int channel, std::uint8_t v) { p[channelOffset(block, channel) + kIntensityOffset] = v; }
inline void setTimestampRaw(std::uint8_t* p, std::uint32_t v) { putLe32(p + kTimestampOffset, v); }

} // namespace hvk32::datapacket
