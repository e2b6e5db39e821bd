#pragma once
// Writes a standard little-endian packet capture file (microsecond time stamps, Ethernet
// link type) onto a stream: the 24-byte file header at construction, then one record per
// call. UDP records get Ethernet, IPv4 and UDP headers built around the payload.

#include "acquisition/CaptureFile.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>

namespace hvk32::sim {

namespace capture {
// The format's constants, as the capture-file reader defines them.
constexpr std::uint32_t kMagic = capturefile::kMagicMicroseconds;
constexpr std::uint16_t kVersionMajor = capturefile::kVersionMajor;
constexpr std::uint16_t kVersionMinor = capturefile::kVersionMinor;
constexpr std::uint32_t kSnapLength = capturefile::kSnapLength;
constexpr std::uint32_t kLinkTypeEthernet = capturefile::kLinkTypeEthernet;
constexpr std::size_t kFileHeaderSize = capturefile::kFileHeaderSize;
constexpr std::size_t kRecordHeaderSize = capturefile::kRecordHeaderSize;
constexpr std::size_t kEthernetHeaderSize = capturefile::kEthernetHeaderSize;
constexpr std::size_t kIpv4HeaderSize = capturefile::kIpv4HeaderSize;
constexpr std::size_t kUdpHeaderSize = capturefile::kUdpHeaderSize;
constexpr std::size_t kUdpFrameOverhead = capturefile::kUdpFrameOverhead; // 42
constexpr std::size_t kMaxUdpPayload = udpframe::kMaxPayload;
} // namespace capture

// Dotted IPv4 text ("127.0.0.1") to its four bytes; false when the text is not one.
bool parseIpv4(const std::string& text, std::array<std::uint8_t, 4>& out);

using udpframe::internetChecksum;

class CaptureFileWriter {
public:
    // Writes the file header.
    explicit CaptureFileWriter(std::ostream& out);

    // One UDP datagram as an Ethernet frame. `micros` is the record time in microseconds
    // since 1970. False, with nothing written, for an address that is not dotted IPv4 or a
    // payload too large for one datagram; false also when the stream fails.
    bool writeUdpRecord(std::uint64_t micros, const std::string& srcIp, std::uint16_t srcPort,
                        const std::string& dstIp, std::uint16_t dstPort, const std::uint8_t* payload,
                        std::size_t length);

    // One record of raw frame bytes, with any original length (to craft odd records).
    bool writeRecord(std::uint64_t micros, const std::uint8_t* bytes, std::size_t length,
                     std::uint32_t originalLength);

    bool good() const;

private:
    std::ostream& out_;
    std::uint16_t ipIdentification_ = 0;
};

} // namespace hvk32::sim
