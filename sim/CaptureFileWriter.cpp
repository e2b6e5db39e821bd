#include "sim/CaptureFileWriter.h"

#include "records/ByteOrder.h"

#include <algorithm>
#include <vector>

namespace hvk32::sim {

namespace {

constexpr std::uint64_t kMicrosPerSecond = 1000000;

// Ethernet: destination and source hardware addresses (zero, as on a loopback capture),
// then the type.
constexpr std::size_t kEtherTypeOffset = 12;
constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;

// IPv4 header, offsets inside it.
constexpr std::size_t kIpVersionLength = 0;
constexpr std::size_t kIpTotalLength = 2;
constexpr std::size_t kIpIdentification = 4;
constexpr std::size_t kIpFlagsFragment = 6;
constexpr std::size_t kIpTtl = 8;
constexpr std::size_t kIpProtocol = 9;
constexpr std::size_t kIpChecksum = 10;
constexpr std::size_t kIpSource = 12;
constexpr std::size_t kIpDestination = 16;
constexpr std::uint8_t kIpv4NoOptions = 0x45;  // version 4, five 32-bit words
constexpr std::uint16_t kDontFragment = 0x4000;
constexpr std::uint8_t kTtl = 64;
constexpr std::uint8_t kProtocolUdp = 17;

// UDP header, offsets inside it. The checksum stays 0 (not computed), which IPv4 allows.
constexpr std::size_t kUdpSourcePort = 0;
constexpr std::size_t kUdpDestinationPort = 2;
constexpr std::size_t kUdpLength = 4;

void writeBytes(std::ostream& out, const std::uint8_t* bytes, std::size_t length)
{
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(length));
}

} // namespace

bool parseIpv4(const std::string& text, std::array<std::uint8_t, 4>& out)
{
    std::size_t pos = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        if (part > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return false;
            ++pos;
        }
        int value = 0;
        std::size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
            value = value * 10 + (text[pos] - '0');
            ++pos;
            ++digits;
        }
        if (digits == 0 || value > 255)
            return false;
        out[part] = static_cast<std::uint8_t>(value);
    }
    return pos == text.size();
}

std::uint16_t internetChecksum(const std::uint8_t* data, std::size_t length)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += be16(data + i);
    if (length % 2 != 0)
        sum += static_cast<std::uint32_t>(data[length - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

CaptureFileWriter::CaptureFileWriter(std::ostream& out) : out_(out)
{
    std::uint8_t header[capture::kFileHeaderSize];
    capturefile::writeFileHeader(header);
    writeBytes(out_, header, sizeof header);
}

bool CaptureFileWriter::writeUdpRecord(std::uint64_t micros, const std::string& srcIp, std::uint16_t srcPort,
                                       const std::string& dstIp, std::uint16_t dstPort,
                                       const std::uint8_t* payload, std::size_t length)
{
    using namespace capture;
    std::array<std::uint8_t, 4> source{};
    std::array<std::uint8_t, 4> destination{};
    if (!parseIpv4(srcIp, source) || !parseIpv4(dstIp, destination) || length > kMaxUdpPayload)
        return false;

    std::vector<std::uint8_t> frame(kUdpFrameOverhead + length, 0);
    putBe16(frame.data() + kEtherTypeOffset, kEtherTypeIpv4);

    std::uint8_t* ip = frame.data() + kEthernetHeaderSize;
    ip[kIpVersionLength] = kIpv4NoOptions;
    putBe16(ip + kIpTotalLength, static_cast<std::uint16_t>(kIpv4HeaderSize + kUdpHeaderSize + length));
    putBe16(ip + kIpIdentification, ipIdentification_++);
    putBe16(ip + kIpFlagsFragment, kDontFragment);
    ip[kIpTtl] = kTtl;
    ip[kIpProtocol] = kProtocolUdp;
    for (std::size_t i = 0; i < 4; ++i) {
        ip[kIpSource + i] = source[i];
        ip[kIpDestination + i] = destination[i];
    }
    putBe16(ip + kIpChecksum, internetChecksum(ip, kIpv4HeaderSize));

    std::uint8_t* udp = ip + kIpv4HeaderSize;
    putBe16(udp + kUdpSourcePort, srcPort);
    putBe16(udp + kUdpDestinationPort, dstPort);
    putBe16(udp + kUdpLength, static_cast<std::uint16_t>(kUdpHeaderSize + length));
    std::copy(payload, payload + length, udp + kUdpHeaderSize);

    return writeRecord(micros, frame.data(), frame.size(), static_cast<std::uint32_t>(frame.size()));
}

bool CaptureFileWriter::writeRecord(std::uint64_t micros, const std::uint8_t* bytes, std::size_t length,
                                    std::uint32_t originalLength)
{
    capturefile::RecordHeader h;
    h.seconds = static_cast<std::uint32_t>(micros / kMicrosPerSecond);
    h.fraction = static_cast<std::uint32_t>(micros % kMicrosPerSecond);
    h.capturedLength = static_cast<std::uint32_t>(length);
    h.originalLength = originalLength;
    std::uint8_t header[capture::kRecordHeaderSize];
    capturefile::writeRecordHeader(header, h);
    writeBytes(out_, header, sizeof header);
    writeBytes(out_, bytes, length);
    return good();
}

bool CaptureFileWriter::good() const { return out_.good(); }

} // namespace hvk32::sim
