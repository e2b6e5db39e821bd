#include "cli/InfoCommand.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/PacketLossDetector.h"
#include "acquisition/CaptureSummary.h"
#include "cli/StandardOutput.h"
#include "platform/FileKinds.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"

#include <QJsonDocument>

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
    "firstTimestamp and lastTimestamp (record times, seconds since 1970), durationSeconds (the\n"
    "time the records span; where their times step back, each rising run counts alone),\n"
    "truncatedRecords, badLengthRecords, damagedPlaces, damagedBytesSkipped, timeStepsBack and\n"
    "largestTimeStepBackSeconds (records timed before the one ahead of them), and the health\n"
    "of the data stream: lostPackets, lostPercent, duplicatePackets, outOfOrderPackets,\n"
    "latePackets (out of order after their frame had been played, or too far from the stream\n"
    "to place; they stay counted lost), shortFrames (revolutions with packets missing) and\n"
    "revolutionsPerSecond (from the packets' time stamps). Silences of more than a second after\n"
    "which the stream goes on are gaps, apart from the lost packets: gaps, gapSeconds,\n"
    "gapPackets (the data packets they would have held) and gapList, each gap's time (record\n"
    "time of the first packet after it, and sinceStart, seconds after the first record),\n"
    "seconds and packets.\n";

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

int printSummary(const QString& path)
{
    CaptureFrameIndex index;
    QString message;
    if (!index.build(path, &message, [](qint64, qint64) { return !platform::stopSignalReceived(); })) {
        std::fprintf(stderr, "hvk32-cli info: %s: %s\n", qPrintable(path), qPrintable(message));
        return 1;
    }
    const QByteArray json = QJsonDocument(captureSummary(index)).toJson(QJsonDocument::Compact) + '\n';
    cli::StandardOutput out("info");
    out.write(json.constData(), static_cast<std::size_t>(json.size()));
    reportCaptureDamage("info", path, index.summary().damage);
    const CaptureFrameIndex::Summary& s = index.summary();
    if (s.timeStepsBack)
        std::fprintf(stderr,
                     "hvk32-cli info: %s: the record times step back %llu time%s, by up to %.3f s (a clock set back "
                     "while recording); durationSeconds counts each rising run alone\n",
                     qPrintable(path), static_cast<unsigned long long>(s.timeStepsBack), s.timeStepsBack == 1 ? "" : "s",
                     s.largestStepBack);
    return out.finish(0);
}

} // namespace

bool captureIsAFile(const char* command, const QString& file)
{
    std::string what;
    const platform::FileKind kind = platform::fileKind(file.toLocal8Bit().toStdString(), &what);
    if (kind == platform::FileKind::Missing || kind == platform::FileKind::Regular)
        return true; // a missing file is reported where it is opened
    std::fprintf(stderr, "hvk32-cli %s: %s: %s, not a capture file\n", command, qPrintable(file), what.c_str());
    return false;
}

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
    platform::OptionMessages messages = platform::commandMessages("info", kInfoUsage);
    messages.missingValue = [](const std::string& option) {
        std::fprintf(stderr, "hvk32-cli info: missing value for '%s'\n%s", option.c_str(), kInfoUsage);
    };
    platform::OptionParser parser(messages);
    parser.value("--pcap", [&path](const std::string& v) {
        path = QString::fromLocal8Bit(v.c_str());
        return true;
    });
    parser.flag("--summary", summary);
    if (const int rc = parser.parseCommand(argc, argv, kInfoUsage))
        return rc == platform::OptionParser::kHelpShown ? 0 : rc;
    if (path.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli info: --pcap FILE is required\n%s", kInfoUsage);
        return 2;
    }

    if (!captureIsAFile("info", path))
        return 1;
    if (summary)
        return printSummary(path);

    capturefile::CaptureReader reader;
    QString message;
    if (!reader.open(path, &message)) {
        std::fprintf(stderr, "hvk32-cli info: %s: %s\n", qPrintable(path), qPrintable(message));
        return 1;
    }
    platform::stopOnBrokenPipe(); // a closed reader shows as a failed write

    cli::StandardOutput out("info");
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
        if (!out.write(deviceInfoJson(offset, payload)))
            break;
    }
    reportCaptureDamage("info", path, reader.damage());
    return out.finish(0);
}

} // namespace hvk32
