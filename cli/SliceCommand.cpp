#include "cli/SliceCommand.h"

#include "acquisition/CaptureFrameIndex.h"
#include "io/CaptureSlice.h"
#include "cli/FrameRange.h"
#include "cli/InfoCommand.h"
#include "cli/NumberText.h"
#include "io/OutputDevice.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <string>

namespace hvk32 {

namespace {

const char* const kSliceUsage =
    "Usage: hvk32-cli slice --pcap IN --out OUT [--from N] [--to M | --start S] [--duration D]\n"
    "\n"
    "Writes frames N to M of a capture into a capture of their own that plays alone: the\n"
    "device-info packet in force at frame N first, then every record from the one holding\n"
    "frame N's first block to the one holding frame M's last, each copied whole and unchanged\n"
    "(so frame N may also carry the few blocks of its first record that belong to frame N - 1).\n"
    "\n"
    "Options:\n"
    "  --pcap IN          the capture to cut\n"
    "  --out OUT          the capture to write (replaced only once it is complete; an\n"
    "                     existing FIFO or device is written in place)\n"
    "  --from N           first frame, numbered from 1 as the viewer's counter numbers them\n"
    "                     (default 1)\n"
    "  --to M             last frame (default: the last of the capture)\n"
    "  --start S          instead of --from: the first frame that starts S seconds or more\n"
    "                     after the capture's first record\n"
    "  --duration D       instead of --to: the frames that start within D seconds of the start\n"
    "\n"
    "Exit status: 0 written, 1 the capture cannot be read, has no such frame or the output\n"
    "cannot be written, 2 for a bad argument.\n";

struct SliceOptions {
    QString pcap;
    QString out;
    FrameRange range;
};

// Returns 0 to run, 1 after --help, 2 on a bad argument (message already printed).
int parseOptions(int argc, char** argv, SliceOptions& o)
{
    auto fileName = [](QString& out) {
        return [&out](const std::string& v) {
            out = QString::fromLocal8Bit(v.c_str());
            return !out.isEmpty();
        };
    };
    platform::OptionParser parser(platform::commandMessages("slice", kSliceUsage));
    parser.value("--pcap", fileName(o.pcap)).value("--out", fileName(o.out));
    addFrameRangeOptions(parser, o.range);
    if (const int rc = parser.parseCommand(argc, argv, kSliceUsage))
        return rc;
    if (o.pcap.isEmpty() || o.out.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli slice: --pcap IN and --out OUT are required\n%s", kSliceUsage);
        return 2;
    }
    if (QFileInfo::exists(o.out) && QFileInfo(o.out).canonicalFilePath() == QFileInfo(o.pcap).canonicalFilePath()) {
        std::fprintf(stderr, "hvk32-cli slice: --out %s would overwrite the capture\n", qPrintable(o.out));
        return 2;
    }
    return checkFrameRange("slice", o.range) ? 0 : 2;
}

int slice(const SliceOptions& options)
{
    if (!captureIsAFile("slice", options.pcap))
        return 1;
    // Before any work: an output that cannot be created fails the run at once.
    const std::string target = options.out.toLocal8Bit().toStdString();
    std::string error;
    if (!pointfile::OutputFile::checkTarget(target, false, &error)) {
        std::fprintf(stderr, "hvk32-cli slice: %s\n", error.c_str());
        return 1;
    }
    FrameRange range = options.range;
    CaptureFrameIndex index;
    if (!indexFrameRange("slice", options.pcap, range, index, true))
        return 1;
    reportCaptureDamage("slice", options.pcap, index.summary().damage);
    if (index.frameCount() == 0) {
        std::fprintf(stderr, "hvk32-cli slice: %s has no frame to cut%s\n", qPrintable(options.pcap),
                     index.configurationReported() ? "" : " (no device-info packet of a board version 2 or later)");
        return 1;
    }
    const int from = range.from ? static_cast<int>(range.from) : 1;
    const int to = range.to ? static_cast<int>(range.to) : index.frameCount();

    SliceBounds bounds;
    QString message;
    if (!findSliceBounds(options.pcap, index, from, to, bounds, &message)) {
        std::fprintf(stderr, "hvk32-cli slice: %s: %s\n", qPrintable(options.pcap), qPrintable(message));
        return 1;
    }
    QFile in(options.pcap);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "hvk32-cli slice: %s: %s\n", qPrintable(options.pcap), qPrintable(in.errorString()));
        return 1;
    }
    // Written under a temporary name and renamed once whole; a FIFO or device in place.
    pointfile::OutputFile file;
    if (!file.open(target)) {
        std::fprintf(stderr, "hvk32-cli slice: %s\n", file.error().c_str());
        return 1;
    }
    OutputDevice out(file);
    const bool copied = copySlice(in, bounds, out, &message, [] { return !platform::stopSignalReceived(); });
    if (!copied || !file.commit()) {
        file.discard();
        if (platform::stopSignalReceived())
            std::fprintf(stderr, "hvk32-cli slice: interrupted; %s was not written\n", qPrintable(options.out));
        else
            std::fprintf(stderr, "hvk32-cli slice: %s\n",
                         copied ? file.error().c_str() : qPrintable(options.out + ": " + message));
        return 1;
    }
    const double first = index.summary().firstTime;
    std::fprintf(stderr, "hvk32-cli slice: wrote frames %d to %d (%.3f s to %.3f s of %s), %s bytes, to %s\n", from,
                 to, index.frameTime(from) - first, index.frameTime(to) - first, qPrintable(options.pcap),
                 grouped(static_cast<unsigned long long>(out.pos())).c_str(),
                 qPrintable(options.out));
    return 0;
}

} // namespace

int runSliceCommand(int argc, char** argv)
{
    SliceOptions options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 1 ? 0 : rc;
    // A FIFO output whose reader goes away ends the run as a stop signal does.
    platform::stopOnBrokenPipe();
    return slice(options);
}

} // namespace hvk32
