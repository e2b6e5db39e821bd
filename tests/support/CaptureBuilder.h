#pragma once
// Builds capture files in memory for tests: the simulator's packets as UDP records, odd
// records of any length, raw bytes. Uses the writer the simulator uses.

#include "acquisition/CaptureFile.h"
#include "acquisition/DataPacket.h"
#include "records/ByteOrder.h"
#include "sim/CaptureFileWriter.h"
#include "sim/ScannerStream.h"

#include <QByteArray>

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

} // namespace hvk32::test
