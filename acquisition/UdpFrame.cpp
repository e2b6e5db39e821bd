#include "acquisition/UdpFrame.h"

#include "records/ByteOrder.h"

#include <algorithm>

namespace hvk32::udpframe {

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

void writeHeader(std::uint8_t* out, const Endpoints& endpoints, std::size_t payloadLength,
                 std::uint16_t identification)
{
    std::fill(out, out + kHeaderSize, std::uint8_t{0});
    putBe16(out + kEtherTypeOffset, kEtherTypeIpv4);

    std::uint8_t* ip = out + kEthernetHeaderSize;
    ip[kIpVersionLengthOffset] = kIpv4NoOptions;
    putBe16(ip + kIpTotalLengthOffset, static_cast<std::uint16_t>(kIpv4HeaderSize + kUdpHeaderSize + payloadLength));
    putBe16(ip + kIpIdentificationOffset, identification);
    putBe16(ip + kIpFlagsFragmentOffset, kDontFragment);
    ip[kIpTtlOffset] = kTtl;
    ip[kIpProtocolOffset] = kProtocolUdp;
    std::copy(endpoints.source.begin(), endpoints.source.end(), ip + kIpSourceOffset);
    std::copy(endpoints.destination.begin(), endpoints.destination.end(), ip + kIpDestinationOffset);
    putBe16(ip + kIpChecksumOffset, internetChecksum(ip, kIpv4HeaderSize));

    std::uint8_t* udp = ip + kIpv4HeaderSize;
    putBe16(udp + kUdpSourcePortOffset, endpoints.sourcePort);
    putBe16(udp + kUdpDestinationPortOffset, endpoints.destinationPort);
    putBe16(udp + kUdpLengthOffset, static_cast<std::uint16_t>(kUdpHeaderSize + payloadLength));
}

Endpoints readEndpoints(const std::uint8_t* frame)
{
    Endpoints e;
    const std::uint8_t* ip = frame + kEthernetHeaderSize;
    const std::uint8_t* udp = ip + kIpv4HeaderSize;
    std::copy(ip + kIpSourceOffset, ip + kIpSourceOffset + 4, e.source.begin());
    std::copy(ip + kIpDestinationOffset, ip + kIpDestinationOffset + 4, e.destination.begin());
    e.sourcePort = be16(udp + kUdpSourcePortOffset);
    e.destinationPort = be16(udp + kUdpDestinationPortOffset);
    return e;
}

} // namespace hvk32::udpframe
