#pragma once
// Builds capture files in memory for tests: the simulator's packets as UDP records, odd
// records of any length, raw bytes. Uses the writer the simulator uses.

#include "acquisition/CaptureFile.h"
#include "acquisition/DataPacket.h"
#include "acquisition/UdpFrame.h"
#include "records/ByteOrder.h"
#include "sim/CaptureFileWriter.h"
#include "sim/ScannerStream.h"

#include <QByteArray>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace hvk32::test {

class CaptureBuilder {
public:
    using Payload = std::array<std::uint8_t, datapacket::kPacketSize>;

    explicit CaptureBuilder(const sim::ScannerSettings& settings = {}) : stream_(settings), writer_(out_) {}

    sim::ScannerStream& stream() { return stream_; }

    // A device-info packet of the stream, changed by `edit` before it is written.
    CaptureBuilder& deviceInfo(const std::function<void(std::uint8_t*)>& edit = {})
    {
        Payload p{};
        stream_.deviceInfoPacket(micros_, p.data());
        if (edit)
            edit(p.data());
        return udp(p.data(), p.size(), settings().telemetryPort);
    }

    // The stream's next `packets` data packets.
    CaptureBuilder& data(int packets)
    {
        Payload p{};
        for (int k = 0; k < packets; ++k) {
            micros_ = stream_.nextDataPacket(p.data());
            udp(p.data(), p.size(), settings().dataPort);
        }
        return *this;
    }

    // The stream's next `packets` data packets without those `drop` picks (by their number
    // in this call, from 0), as a network that lost them.
    CaptureBuilder& dataExcept(int packets, const std::function<bool(int, const std::uint8_t*)>& drop)
    {
        Payload p{};
        for (int k = 0; k < packets; ++k) {
            micros_ = stream_.nextDataPacket(p.data());
            if (!drop(k, p.data()))
                udp(p.data(), p.size(), settings().dataPort);
        }
        return *this;
    }

    // Data packets for `revolutions` turns (12 firings a packet in single echo, 6 in dual).
    CaptureBuilder& revolutions(double revolutions)
    {
        const int firingsPerPacket = settings().echo == sim::EchoMode::Dual ? 6 : 12;
        return data(static_cast<int>(revolutions * stream_.blocksPerRevolution() / firingsPerPacket + 0.5));
    }

    CaptureBuilder& udp(const std::uint8_t* payload, std::size_t length, std::uint16_t port)
    {
        writer_.writeUdpRecord(stream_.clockEpochMicros(micros_), "127.0.0.2", 2368, "127.0.0.1", port, payload, length);
        return *this;
    }

    // A record of `captured` zero bytes with any original length.
    CaptureBuilder& record(std::size_t captured, std::uint32_t originalLength)
    {
        const std::vector<std::uint8_t> bytes(captured, 0);
        writer_.writeRecord(stream_.clockEpochMicros(micros_), bytes.data(), bytes.size(), originalLength);
        return *this;
    }

    // A record header only, claiming the given lengths.
    CaptureBuilder& recordHeader(std::uint32_t captured, std::uint32_t originalLength)
    {
        capturefile::RecordHeader h;
        h.capturedLength = captured;
        h.originalLength = originalLength;
        std::uint8_t bytes[capturefile::kRecordHeaderSize];
        capturefile::writeRecordHeader(bytes, h);
        return raw(QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes));
    }

    CaptureBuilder& raw(const QByteArray& bytes)
    {
        out_.write(bytes.constData(), bytes.size());
        return *this;
    }

    QByteArray bytes() const
    {
        const std::string s = out_.str();
        return QByteArray(s.data(), static_cast<int>(s.size()));
    }

private:
    const sim::ScannerSettings& settings() const { return stream_.settings(); }

    sim::ScannerStream stream_;
    std::ostringstream out_;
    sim::CaptureFileWriter writer_;
    std::uint64_t micros_ = 0;
};

// The same capture written big-endian, as a big-endian machine's libpcap writes it.
inline QByteArray byteSwappedCapture(const QByteArray& little)
{
    QByteArray out = little;
    auto* p = reinterpret_cast<std::uint8_t*>(out.data());
    auto swap32 = [&](std::size_t at) { putBe32(p + at, le32(p + at)); };
    auto swap16 = [&](std::size_t at) { putBe16(p + at, le16(p + at)); };
    swap32(capturefile::kMagicOffset);
    swap16(capturefile::kVersionMajorOffset);
    swap16(capturefile::kVersionMinorOffset);
    for (std::size_t at = capturefile::kTimeZoneOffset; at < capturefile::kFileHeaderSize; at += 4)
        swap32(at);
    std::size_t at = capturefile::kFileHeaderSize;
    while (at + capturefile::kRecordHeaderSize <= static_cast<std::size_t>(out.size())) {
        const std::uint32_t captured = le32(p + at + capturefile::kCapturedLengthOffset);
        for (std::size_t field = 0; field < capturefile::kRecordHeaderSize; field += 4)
            swap32(at + field);
        at += capturefile::kRecordHeaderSize + captured;
    }
    return out;
}

// How a capture taken elsewhere than on a plain Ethernet port stores its frames.
struct Encapsulation {
    std::uint32_t linkType = capturefile::kLinkTypeEthernet; // 1, 113 or 276, with any FCS bits
    std::vector<std::uint16_t> vlanTags;                     // tag EtherTypes, outermost first
    std::size_t ipOptions = 0;                               // bytes of IPv4 options, a multiple of 4
    std::size_t trailer = 0;                                 // bytes after each frame (an FCS)
};

// The same little-endian capture with every IPv4 frame stored as `e` says: the same
// addresses, UDP header and payload behind the link header, tags and options; other
// records as they are.
inline QByteArray reencapsulated(const QByteArray& plain, const Encapsulation& e)
{
    namespace cf = capturefile;
    namespace uf = udpframe;
    const auto* in = reinterpret_cast<const std::uint8_t*>(plain.constData());
    std::vector<std::uint8_t> out(in, in + cf::kFileHeaderSize);
    putLe32(out.data() + cf::kLinkTypeOffset, e.linkType);
    auto put16 = [&out](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v >> 8));
        out.push_back(static_cast<std::uint8_t>(v));
    };
    std::size_t at = cf::kFileHeaderSize;
    while (at + cf::kRecordHeaderSize <= static_cast<std::size_t>(plain.size())) {
        const std::uint8_t* record = in + at;
        const std::uint32_t captured = le32(record + cf::kCapturedLengthOffset);
        if (captured > static_cast<std::size_t>(plain.size()) - at - cf::kRecordHeaderSize)
            break; // cut off by the end of the file: kept as it is
        const std::uint8_t* frame = record + cf::kRecordHeaderSize;
        at += cf::kRecordHeaderSize + captured;
        const std::size_t headerAt = out.size();
        out.insert(out.end(), record, frame);
        if (captured < uf::kHeaderSize || be16(frame + uf::kEtherTypeOffset) != uf::kEtherTypeIpv4) {
            out.insert(out.end(), frame, frame + captured);
            continue;
        }
        const std::uint16_t firstType = e.vlanTags.empty() ? uf::kEtherTypeIpv4 : e.vlanTags.front();
        switch (e.linkType & cf::kLinkTypeMask) {
        case cf::kLinkTypeLinuxCooked:
            put16(0);                                                  // sent to this host
            put16(1);                                                  // an Ethernet device
            put16(6);                                                  // address length
            out.insert(out.end(), frame + 6, frame + 12);              // the sender's address
            put16(0);
            put16(firstType);
            break;
        case cf::kLinkTypeLinuxCooked2:
            put16(firstType);
            put16(0);
            out.insert(out.end(), {0, 0, 0, 2});                       // interface index
            put16(1);
            out.insert(out.end(), {0, 6});                             // packet type, address length
            out.insert(out.end(), frame + 6, frame + 12);
            put16(0);
            break;
        default:
            out.insert(out.end(), frame, frame + 12);
            put16(firstType);
        }
        for (std::size_t k = 0; k < e.vlanTags.size(); ++k) {
            put16(static_cast<std::uint16_t>(100 + k));                // priority 0, VLAN 100, 101, ...
            put16(k + 1 < e.vlanTags.size() ? e.vlanTags[k + 1] : uf::kEtherTypeIpv4);
        }
        const std::uint8_t* ip = frame + uf::kEthernetHeaderSize;
        const std::size_t ipAt = out.size();
        out.insert(out.end(), ip, ip + uf::kIpv4HeaderSize);
        out.insert(out.end(), e.ipOptions, 1);                         // no-operation options
        std::uint8_t* h = out.data() + ipAt;
        h[0] = static_cast<std::uint8_t>(0x40 | ((uf::kIpv4HeaderSize + e.ipOptions) / 4));
        putBe16(h + uf::kIpTotalLengthOffset, static_cast<std::uint16_t>(be16(h + uf::kIpTotalLengthOffset) + e.ipOptions));
        putBe16(h + uf::kIpChecksumOffset, 0);
        putBe16(h + uf::kIpChecksumOffset, uf::internetChecksum(h, uf::kIpv4HeaderSize + e.ipOptions));
        out.insert(out.end(), ip + uf::kIpv4HeaderSize, frame + captured);
        out.insert(out.end(), e.trailer, 0xA5);
        const auto length = static_cast<std::uint32_t>(out.size() - headerAt - cf::kRecordHeaderSize);
        putLe32(out.data() + headerAt + cf::kCapturedLengthOffset, length);
        putLe32(out.data() + headerAt + cf::kOriginalLengthOffset, length);
    }
    out.insert(out.end(), in + std::min<std::size_t>(at, static_cast<std::size_t>(plain.size())), in + plain.size());
    return QByteArray(reinterpret_cast<const char*>(out.data()), static_cast<int>(out.size()));
}

} // namespace hvk32::test
