#pragma once
// The Ethernet frame that carries one IPv4 UDP datagram, as a capture file stores it.
//
//   offset  size  content
//   0       6     destination hardware address (zero: the frame never crossed a wire)
//   6       6     source hardware address (zero)
//   12      2     EtherType, 0x0800 = IPv4                       (big-endian)
//   14      20    IPv4 header without options:
//                   +0 version 4 and header length 5 words (0x45)
//                   +2 total length: IPv4 header + UDP header + payload
//                   +4 identification   +6 flags (don't fragment) and fragment offset
//                   +8 time to live     +9 protocol, 17 = UDP
//                   +10 header checksum (Internet checksum of the 20 bytes)
//                   +12 source address  +16 destination address
//   34      8     UDP header: +0 source port, +2 destination port, +4 length (8 + payload),
//                 +6 checksum (0: not computed, which IPv4 allows)
//   42      ...   payload
//
// A scanner datagram of 1206 bytes makes a frame of 1248 bytes.

#include <array>
#include <cstddef>
#include <cstdint>

namespace hvk32::udpframe {

constexpr std::size_t kEthernetHeaderSize = 14;
constexpr std::size_t kIpv4HeaderSize = 20;
constexpr std::size_t kUdpHeaderSize = 8;
constexpr std::size_t kHeaderSize = kEthernetHeaderSize + kIpv4HeaderSize + kUdpHeaderSize; // 42
// The largest payload one IPv4 datagram can carry.
constexpr std::size_t kMaxPayload = 65535 - kIpv4HeaderSize - kUdpHeaderSize;

// Ethernet header.
constexpr std::size_t kEtherTypeOffset = 12;
constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;

// IPv4 header, offsets from its start.
constexpr std::size_t kIpVersionLengthOffset = 0;
constexpr std::size_t kIpTotalLengthOffset = 2;
constexpr std::size_t kIpIdentificationOffset = 4;
constexpr std::size_t kIpFlagsFragmentOffset = 6;
constexpr std::size_t kIpTtlOffset = 8;
constexpr std::size_t kIpProtocolOffset = 9;
constexpr std::size_t kIpChecksumOffset = 10;
constexpr std::size_t kIpSourceOffset = 12;
constexpr std::size_t kIpDestinationOffset = 16;
constexpr std::uint8_t kIpv4NoOptions = 0x45;
constexpr std::uint16_t kDontFragment = 0x4000;
constexpr std::uint8_t kTtl = 64;
constexpr std::uint8_t kProtocolUdp = 17;

// UDP header, offsets from its start.
constexpr std::size_t kUdpSourcePortOffset = 0;
constexpr std::size_t kUdpDestinationPortOffset = 2;
constexpr std::size_t kUdpLengthOffset = 4;
constexpr std::size_t kUdpChecksumOffset = 6;

using Ipv4Address = std::array<std::uint8_t, 4>; // in dotted order

struct Endpoints {
    Ipv4Address source{};
    std::uint16_t sourcePort = 0;
    Ipv4Address destination{};
    std::uint16_t destinationPort = 0;
};

// Internet checksum: the ones' complement of the ones' complement sum of 16-bit words.
std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t length);

// Writes the 42-byte header of a frame carrying `payloadLength` bytes (at most kMaxPayload)
// into `out`, with the IPv4 header's checksum.
void writeHeader(std::uint8_t* out, const Endpoints& endpoints, std::size_t payloadLength,
                 std::uint16_t identification);

// Reads the addresses and ports back from a frame's header.
Endpoints readEndpoints(const std::uint8_t* frame);

} // namespace hvk32::udpframe
