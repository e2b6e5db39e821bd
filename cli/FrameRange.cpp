#include "cli/FrameRange.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace hvk32 {

namespace {
constexpr long kMaxFrame = 1L << 30;
constexpr double kMaxSeconds = 1e9;

platform::OptionParser::Take seconds(double& out)
{
    return [&out](const std::string& v) { return platform::parseFiniteNumber(v, out) && out >= 0 && out <= kMaxSeconds; };
}

platform::OptionParser::Complaint secondsComplaint(const char* option)
{
    return [option](const std::string& v) {
        return std::string(option) + " needs a number of seconds, 0 or more, not '" + v + "'";
    };
}

// Frame numbers start at 1: say so for 0 rather than calling it a bad value.
platform::OptionParser::Complaint frameComplaint(const char* option)
{
    return [option](const std::string& v) {
        long n = 0;
        if (platform::parseInteger(v, -kMaxFrame, kMaxFrame, n) && n < 1)
            return std::string(option) + " " + v + ": frames are numbered from 1";
        return "bad value '" + v + "' for " + option;
    };
}
} // namespace

void addFrameRangeOptions(platform::OptionParser& parser, FrameRange& range)
{
    parser
        .value("--from", [&range](const std::string& v) { return platform::parseInteger(v, 1, kMaxFrame, range.from); },
               frameComplaint("--from"))
        .value("--to", [&range](const std::string& v) { return platform::parseInteger(v, 1, kMaxFrame, range.to); },
               frameComplaint("--to"))
        .value("--start", seconds(range.start), secondsComplaint("--start"))
        .value("--duration", seconds(range.duration), secondsComplaint("--duration"));
}

bool checkFrameRange(const char* command, const FrameRange& range)
{
    if ((range.from || range.to) && range.byTime()) {
        std::fprintf(stderr, "hvk32-cli %s: give frames (--from, --to) or times (--start, --duration), not both\n",
                     command);
        return false;
    }
    if (range.from > 0 && range.to > 0 && range.from > range.to) {
        std::fprintf(stderr, "hvk32-cli %s: --from %ld is after --to %ld\n", command, range.from, range.to);
        return false;
    }
    if (range.duration == 0) {
        std::fprintf(stderr, "hvk32-cli %s: --duration 0 holds no frame\n", command);
        return false;
    }
    return true;
}

bool framesInTime(const CaptureFrameIndex& index, FrameRange& range, QString* message)
{
    const double first = index.summary().firstTime;
    const double begin = range.start >= 0 ? range.start : 0.0;
    const int count = index.frameCount();
    // Frame times grow with the file but a capture's clock may step back: take the first
    // frame at or after the start, and the frames from there that start before the end.
    int from = 1;
    while (from <= count && index.frameTime(from) - first < begin)
        ++from;
    if (from > count) {
        if (message)
            *message = count ? QStringLiteral("no frame starts %1 s or later after the first record; the last starts at %2 s")
                                   .arg(begin)
                                   .arg(index.frameTime(count) - first, 0, 'f', 3)
                             : QStringLiteral("the capture has no frame");
        return false;
    }
    int to = 0; // to the end
    if (range.duration >= 0) {
        to = from - 1;
        while (to < count && index.frameTime(to + 1) - first < begin + range.duration)
            ++to;
        if (to < from) {
            if (message)
                *message = QStringLiteral("no frame starts in %1 .. %2 s; the next starts at %3 s")
                               .arg(begin)
                               .arg(begin + range.duration)
                               .arg(index.frameTime(from) - first, 0, 'f', 3);
            return false;
        }
    }
    range.from = from;
    range.to = to;
    return true;
}

bool indexFrameRange(const char* command, const QString& path, FrameRange& range, CaptureFrameIndex& index,
                     bool throughEnd)
{
    if (!range.byTime())
        index.stopAfterFrames(static_cast<int>(throughEnd ? range.to : range.from));
    else if (range.duration >= 0)
        index.stopAfterTime(std::max(range.start, 0.0) + range.duration); // the frame after the range ends it
    else if (!throughEnd)
        index.stopAfterTime(range.start);
    QString message;
    // A long capture's walk ends early on a stop signal.
    if (!index.build(path, &message, [](qint64, qint64) { return !platform::stopSignalReceived(); })) {
        std::fprintf(stderr, "hvk32-cli %s: %s: %s\n", command, qPrintable(path), qPrintable(message));
        return false;
    }
    if (range.byTime()) {
        if (!framesInTime(index, range, &message)) {
            std::fprintf(stderr, "hvk32-cli %s: %s: %s\n", command, qPrintable(path), qPrintable(message));
            return false;
        }
        return true;
    }
    const long needed = std::max(range.from, throughEnd ? range.to : 0L);
    if (index.frameCount() < needed) {
        std::fprintf(stderr, "hvk32-cli %s: %s has %d frame%s, so there is no frame %ld\n", command, qPrintable(path),
                     index.frameCount(), index.frameCount() == 1 ? "" : "s", needed);
        return false;
    }
    return true;
}

bool startAtFrame(const char* command, CapturePlayerCore& player, const QString& path, FrameRange& range)
{
    player.start();
    if (range.from <= 1 && !range.byTime())
        return true;
    CaptureFrameIndex index;
    if (!indexFrameRange(command, path, range, index))
        return false;
    if (range.from > 1 && !player.seek(index, static_cast<int>(range.from))) {
        std::fprintf(stderr, "hvk32-cli %s: %s: frame %ld cannot be read\n", command, qPrintable(path), range.from);
        return false;
    }
    return true;
}

} // namespace hvk32
