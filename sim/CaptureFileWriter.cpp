#include "sim/CaptureFileWriter.h"

#include "records/ByteOrder.h"

#include <algorithm>
#include <vector>

namespace hvk32::sim {

namespace {

constexpr std::uint64_t kMicrosPerSecond = 1000000;

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

    std::vector<std::uint8_t> frame(kUdpFrameOverhead + length);
    udpframe::writeHeader(frame.data(), {source, srcPort, destination, dstPort}, length, ipIdentification_++);
    std::copy(payload, payload + length, frame.data() + kUdpFrameOverhead);
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
