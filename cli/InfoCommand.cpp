#include "cli/InfoCommand.h"

#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "cli/OptionParser.h"
#include "platform/SignalHandling.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace hvk32 {

namespace {

const char* const kInfoUsage =
    "Usage: hvk32-cli info --pcap FILE [--summary]\n"
    "\n"
    "Writes one JSON line per device-info packet of a capture file, in file order, with keys\n"
    "offset (the file offset of its record), statusValues (the 33 status numbers) and\n"
    "settingData (the decoded 160-byte record as lower-case hex). Damage found in the file is\n"
    "reported on stderr.\n"
    "\n"
    "  --summary   instead, one JSON object for the whole file: dataPackets, deviceInfoPackets,\n"
    "              lostPackets, lostPercent, duplicatePackets, outOfOrderPackets, shortFrames\n"
    "              (revolutions with packets missing) and revolutionsPerSecond (from the\n"
    "              packets' time stamps)\n";

void appendHex(std::string& out, const std::uint8_t* bytes, std::size_t length)
{
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < length; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
}

std::string deviceInfoJson(qint64 offset, const std::uint8_t* payload)
{
    std::string line = "{\"offset\":" + std::to_string(offset) + ",\"statusValues\":[";
    const std::vector<int> values = decodeStatusValues(payload);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i)
            line += ',';
        line += std::to_string(values[i]);
    }
    line += "],\"settingData\":\"";
    const SettingData record = decodeSettingData(payload);
    std::uint8_t bytes[sizeof(SettingData)];
    std::memcpy(bytes, &record, sizeof bytes);
    appendHex(line, bytes, sizeof bytes);
    line += "\"}\n";
    return line;
}

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

// The whole capture in one object: its packets and the health of its data stream.
std::string summaryJson(std::uint64_t deviceInfoPackets, const StreamHealth& h)
{
    return "{\"dataPackets\":" + std::to_string(h.packets) + ",\"deviceInfoPackets\":" + std::to_string(deviceInfoPackets)
        + ",\"lostPackets\":" + std::to_string(h.lostPackets) + ",\"lostPercent\":" + number(h.lostPercent())
        + ",\"duplicatePackets\":" + std::to_string(h.duplicatePackets) + ",\"outOfOrderPackets\":"
        + std::to_string(h.outOfOrderPackets) + ",\"shortFrames\":" + std::to_string(h.shortFrames)
        + ",\"revolutionsPerSecond\":" + number(h.revolutionsPerSecond) + "}\n";
}

} // namespace

void reportCaptureDamage(const char* command, const QString& file, const capturefile::Damage& damage)
{
    const QByteArray name = file.toLocal8Bit();
    if (damage.truncatedRecords)
        std::fprintf(stderr, "hvk32-cli %s: %s: dropped the last record, cut off by the end of the file at offset %lld\n",
                     command, name.constData(), static_cast<long long>(damage.truncatedOffset));
    if (damage.badLengths)
        std::fprintf(stderr, "hvk32-cli %s: %s: skipped %llu record(s) with impossible lengths (first at offset %lld)\n",
                     command, name.constData(), static_cast<unsigned long long>(damage.badLengths),
                     static_cast<long long>(damage.firstBadLengthOffset));
}

int runInfoCommand(int argc, char** argv)
{
    QString path;
    bool summary = false;
    cli::OptionMessages messages = cli::commandMessages("info", kInfoUsage);
    messages.missingValue = [](const std::string& option) {
        std::fprintf(stderr, "hvk32-cli info: missing value for '%s'\n%s", option.c_str(), kInfoUsage);
    };
    cli::OptionParser parser(messages);
    parser.value("--pcap", [&path](const std::string& v) {
        path = QString::fromLocal8Bit(v.c_str());
        return true;
    }).flag("--summary", summary);
    switch (parser.parse(argc, argv)) {
    case cli::OptionParser::Result::Help:
        std::fputs(kInfoUsage, stdout);
        return 0;
    case cli::OptionParser::Result::Error:
        return 2;
    case cli::OptionParser::Result::Run:
        break;
    }
    if (path.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli info: --pcap FILE is required\n%s", kInfoUsage);
        return 2;
    }

    capturefile::CaptureReader reader;
    QString message;
    if (!reader.open(path, &message)) {
        std::fprintf(stderr, "hvk32-cli info: %s: %s\n", qPrintable(path), qPrintable(message));
        return 1;
    }
    platform::stopOnBrokenPipe(); // a closed reader shows as a failed write

    capturefile::ScannerRecord record{};
    qint64 offset = 0;
    PacketLossDetector detector; // the echo mode is told by the packets themselves
    std::uint64_t deviceInfoPackets = 0;
    while (!platform::stopSignalReceived()) {
        const auto read = reader.next(record, &offset);
        if (read == capturefile::CaptureReader::Read::End)
            break;
        if (read != capturefile::CaptureReader::Read::Scanner)
            continue;
        const std::uint8_t* payload = record.data() + capturefile::kPayloadOffset;
        const PayloadKind kind = payloadKindOf(payload);
        if (kind == PayloadKind::Data)
            detector.addPacket(payload);
        if (kind != PayloadKind::DeviceInfo)
            continue;
        ++deviceInfoPackets;
        if (summary)
            continue;
        const std::string line = deviceInfoJson(offset, payload);
        if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0)
            break;
    }
    if (summary) {
        const std::string line = summaryJson(deviceInfoPackets, detector.health());
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    reportCaptureDamage("info", path, reader.damage());
    return 0;
}

} // namespace hvk32
