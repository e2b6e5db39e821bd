#include "cli/InfoCommand.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/PacketLossDetector.h"
#include "cli/OptionParser.h"
#include "platform/SignalHandling.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
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
    "With --summary it writes one JSON object about the whole capture instead: frames (as the\n"
    "viewer's player emits them), dataPackets, deviceInfoPackets, otherRecords, droppedFrames,\n"
    "firstTimestamp and lastTimestamp (record times, seconds since 1970), durationSeconds,\n"
    "truncatedRecords and badLengthRecords, and the health of the data stream: lostPackets,\n"
    "lostPercent, duplicatePackets, outOfOrderPackets, shortFrames (revolutions with packets\n"
    "missing) and revolutionsPerSecond (from the packets' time stamps).\n";

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

// Three decimals are all a rate or a percentage needs.
double rounded(double v)
{
    return std::round(v * 1000.0) / 1000.0;
}

// The summary object; one key per line of this list, so keys are easy to add.
QJsonObject captureSummary(const CaptureFrameIndex& index, const StreamHealth& h)
{
    const CaptureFrameIndex::Summary& s = index.summary();
    const QJsonValue first = s.hasRecords ? QJsonValue(s.firstTime) : QJsonValue();
    const QJsonValue last = s.hasRecords ? QJsonValue(s.lastTime) : QJsonValue();
    return {
        {"frames", index.frameCount()},
        {"dataPackets", double(s.dataPackets)},
        {"deviceInfoPackets", double(s.deviceInfoPackets)},
        {"otherRecords", double(s.otherRecords)},
        {"droppedFrames", double(s.droppedFrames)},
        {"firstTimestamp", first},
        {"lastTimestamp", last},
        {"durationSeconds", s.hasRecords ? s.lastTime - s.firstTime : 0.0},
        {"truncatedRecords", double(s.damage.truncatedRecords)},
        {"badLengthRecords", double(s.damage.badLengths)},
        {"damagedPlaces", double(s.damage.damagedPlaces)},
        {"damagedBytesSkipped", double(s.damage.skippedBytes)},
        {"lostPackets", double(h.lostPackets)},
        {"lostPercent", rounded(h.lostPercent())},
        {"duplicatePackets", double(h.duplicatePackets)},
        {"outOfOrderPackets", double(h.outOfOrderPackets)},
        {"shortFrames", double(h.shortFrames)},
        {"revolutionsPerSecond", rounded(h.revolutionsPerSecond)},
    };
}

// The stream's health, from every data packet of the capture in file order.
StreamHealth captureHealth(const QString& path)
{
    capturefile::CaptureReader reader;
    PacketLossDetector detector; // the echo mode is told by the packets themselves
    if (!reader.open(path))
        return detector.health();
    capturefile::ScannerRecord record{};
    while (!platform::stopSignalReceived()) {
        const auto read = reader.next(record);
        if (read == capturefile::CaptureReader::Read::End)
            break;
        const std::uint8_t* payload = record.data() + capturefile::kPayloadOffset;
        if (read == capturefile::CaptureReader::Read::Scanner && payloadKindOf(payload) == PayloadKind::Data)
            detector.addPacket(payload);
    }
    return detector.health();
}

int printSummary(const QString& path)
{
    CaptureFrameIndex index;
    QString message;
    if (!index.build(path, &message)) {
        std::fprintf(stderr, "hvk32-cli info: %s: %s\n", qPrintable(path), qPrintable(message));
        return 1;
    }
    const QByteArray json = QJsonDocument(captureSummary(index, captureHealth(path))).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(json.constData(), 1, static_cast<std::size_t>(json.size()), stdout);
    reportCaptureDamage("info", path, index.summary().damage);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

} // namespace

void reportCaptureDamage(const char* command, const QString& file, const capturefile::Damage& damage)
{
    if (damage.any())
        std::fprintf(stderr, "hvk32-cli %s: %s: %s\n", command, qPrintable(file),
                     qPrintable(capturefile::describeDamage(damage)));
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
    });
    parser.flag("--summary", summary);
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

    if (summary)
        return printSummary(path);

    capturefile::CaptureReader reader;
    QString message;
    if (!reader.open(path, &message)) {
        std::fprintf(stderr, "hvk32-cli info: %s: %s\n", qPrintable(path), qPrintable(message));
        return 1;
    }
    platform::stopOnBrokenPipe(); // a closed reader shows as a failed write

    capturefile::ScannerRecord record{};
    qint64 offset = 0;
    while (!platform::stopSignalReceived()) {
        const auto read = reader.next(record, &offset);
        if (read == capturefile::CaptureReader::Read::End)
            break;
        if (read != capturefile::CaptureReader::Read::Scanner)
            continue;
        const std::uint8_t* payload = record.data() + capturefile::kPayloadOffset;
        if (payloadKindOf(payload) != PayloadKind::DeviceInfo)
            continue;
        const std::string line = deviceInfoJson(offset, payload);
        if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0)
            break;
    }
    reportCaptureDamage("info", path, reader.damage());
    return 0;
}

} // namespace hvk32
