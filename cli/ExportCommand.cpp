#include "cli/ExportCommand.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/PointDecoding.h"
#include "cli/FrameRange.h"
#include "io/FrameSinks.h"
#include "io/OutputFormats.h"
#include "io/FrameRun.h"
#include "cli/InfoCommand.h"
#include "cli/NumberText.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "version/ProgramVersion.h"
#include "convert/PointConversion.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <unistd.h>

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace hvk32 {

namespace {

// The usage text, with the extensions --out knows from the list of formats.
const char* const kExportUsageText =
    "Usage: hvk32-cli export --pcap FILE (--csv OUT | --pcd OUT | --ply OUT | --las OUT |\n"
    "                                     --mcap OUT | --kitti DIR | --out OUT) [options]\n"
    "\n"
    "Plays a capture file as the viewer's player does (without its pacing) and writes every\n"
    "frame it emits as the viewer's CSV export does with all channels and azimuths 0 to 360\n"
    "degrees, converted with the degree mode the capture's device-info packets report and\n"
    "with the vertical and offset angles of the device-info packet in force at each frame.\n"
    "A vertical angle more than 1.5 degrees off the built-in table of the degree mode makes\n"
    "the frame use the built-in table, as the viewer does; stderr names the first such channel.\n"
    "\n"
    "Options:\n"
    "  --pcap FILE        the capture to read; damage found in it goes to stderr\n"
    "  --csv OUT          write one CSV file: the header, then one line per point (FrameID 1, 2, ...)\n"
    "  --pcd OUT          write one binary PCD file per frame, returns of distance 0 left out;\n"
    "                     OUT gets the frame number: scan.pcd gives scan-000001.pcd, ...\n"
    "  --ply OUT          the same points as one binary PLY file per frame, named the same way:\n"
    "                     scan.ply gives scan-000001.ply, ...\n"
    "  --las OUT          write one LAS 1.2 file (point data format 1) of every frame, returns\n"
    "                     of distance 0 left out: millimetre coordinates, the device's\n"
    "                     intensity, return number of 1 or 2 returns, user data = channel,\n"
    "                     point source ID = frame number (mod 65536), GPS time = the point's\n"
    "                     device time [s], the capture's date as the creation date\n"
    "  --mcap OUT         write one MCAP file for ROS 2 and Foxglove: per frame a\n"
    "                     sensor_msgs/msg/PointCloud2 (CDR; x y z intensity float32, ring\n"
    "                     uint16, time float32; frame_id hvk32) on /hvk32/points, stamped with\n"
    "                     the capture time of the frame's first packet, and per device-info\n"
    "                     packet a JSON message on /hvk32/device_info at its own capture time\n"
    "                     (with a range: the packet in force at its first frame, then each one\n"
    "                     up to the end of its last frame)\n"
    "  --compression C    the MCAP file's chunk compression: zstd (default), lz4 or none\n"
    "  --kitti DIR        write one KITTI point file per frame into the folder DIR (created\n"
    "                     when missing): 000000.bin, 000001.bin, ...; each point four float32\n"
    "                     x, y, z [m] and intensity scaled to 0..1\n"
    "  --out OUT          the writer chosen by the extension: %1\n"
    "  --fields LIST      the fields of each PCD or PLY point (default all, in this order):\n"
    "                     x y z (float, m), intensity (float, 0-255), ring (uint16, channel),\n"
    "                     time (float, s from the frame's first firing), azimuth (float, deg),\n"
    "                     distance (float, m), return (uint8: 1 for the second echo, else 0);\n"
    "                     e.g. --fields x,y,z,intensity\n"
    "  --from N           start at frame N (numbered from 1 as the viewer's counter numbers\n"
    "                     them; frame IDs and file numbers stay those of a whole run)\n"
    "  --to M             end after frame M\n"
    "  --start S          instead of --from: start at the first frame that starts S seconds\n"
    "                     or more after the capture's first record\n"
    "  --duration D       instead of --to: end with the last frame that starts within D\n"
    "                     seconds of the start\n"
    "  --frames N         N frames only\n"
    "  --channels LIST    channels to write, e.g. 0-15,31 (default 0-31)\n"
    "  --angle-min A      lowest azimuth written [deg] (default 0)\n"
    "  --angle-max B      highest azimuth written [deg] (default 360); both lie in 0..360 with\n"
    "                     A <= B, and A = B is widened to A - 0.5 .. A + 0.5\n"
    "  --min-distance D   leave out points nearer than D metres (default 0); with D above 0\n"
    "                     the CSV's returns of distance 0 are left out too\n"
    "  --max-distance E   leave out points farther than E metres (default no limit)\n"
    "\n"
    "Each file is written under a temporary name beside it and takes its name once whole: a\n"
    "run that fails or is interrupted leaves no CSV, LAS or MCAP file, and of the per-frame files\n"
    "only those of frames written completely (an older file of the same name stays as it was).\n"
    "An output that exists and is not a regular file (a FIFO, a device) is written in place.\n"
    "The capture must be a regular file.\n"
    "A progress bar is drawn on stderr when it is a terminal; a summary line ends the run.\n"
    "Exit status: 0 when done, 1 when the capture cannot be read as one, the output cannot be\n"
    "written or the run is interrupted, 2 for a bad argument.\n";

constexpr int kChannels = 32;
constexpr float kEqualRangeWidening = 0.5f; // an empty range becomes one degree wide
constexpr float kFullTurn = 360.0f;

struct ExportOptions {
    QString pcap;
    QString out;                      // the output given
    OutputFormat format = OutputFormat::Csv;
    bool compressionGiven = false;
    long frames = 0; // 0: every frame
    FrameRange range;
    SinkOptions sink;
    bool fieldsGiven = false;
};

const std::string& exportUsage()
{
    static const std::string usage =
        QString::fromLatin1(kExportUsageText).arg(extensionList(OutputUse::Run)).toStdString();
    return usage;
}

// "--pcd": the option that names the format's output.
std::string optionOf(OutputFormat format)
{
    return "--" + QString::fromLatin1(outputFormatInfo(format).name).toLower().toStdString();
}

bool parseNumber(const std::string& text, float& out)
{
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (!end || *end || end == text.c_str() || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

// "0-15,31": single channels and inclusive ranges, 0..31, separated by commas.
bool parseChannels(const std::string& text, QList<int>& out)
{
    std::array<bool, kChannels> listed{};
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        const std::string item = text.substr(from, comma == std::string::npos ? std::string::npos : comma - from);
        const std::size_t dash = item.find('-');
        long low = 0;
        long high = 0;
        if (dash == std::string::npos) {
            if (!platform::parseInteger(item, 0, kChannels - 1, low))
                return false;
            high = low;
        } else if (!platform::parseInteger(item.substr(0, dash), 0, kChannels - 1, low)
                   || !platform::parseInteger(item.substr(dash + 1), 0, kChannels - 1, high) || low > high) {
            return false;
        }
        for (long c = low; c <= high; ++c)
            listed[static_cast<std::size_t>(c)] = true;
        if (comma == std::string::npos)
            break;
        from = comma + 1;
    }
    out.clear();
    for (int c = 0; c < kChannels; ++c)
        if (listed[static_cast<std::size_t>(c)])
            out << c;
    return true;
}

// The options dialog's checks and messages: both ends given, both in 0..360, min <= max,
// and an empty range widened.
bool checkAngleRange(const std::string& minText, const std::string& maxText, SinkOptions& selection)
{
    if (minText.empty() || maxText.empty()) {
        std::fputs("hvk32-cli export: Angle range can not be empty\n", stderr);
        return false;
    }
    float min = 0.0f;
    float max = 0.0f;
    if (!parseNumber(minText, min)) {
        std::fprintf(stderr, "hvk32-cli export: bad value '%s' for --angle-min\n", minText.c_str());
        return false;
    }
    if (!parseNumber(maxText, max)) {
        std::fprintf(stderr, "hvk32-cli export: bad value '%s' for --angle-max\n", maxText.c_str());
        return false;
    }
    if (min > kFullTurn || max > kFullTurn || min < 0.0f || max < 0.0f) {
        std::fprintf(stderr, "hvk32-cli export: Invalid angle (%g to %g; both must lie in 0..360)\n", min, max);
        return false;
    }
    if (min > max) {
        std::fprintf(stderr, "hvk32-cli export: Angle range invalid (%g to %g; the minimum is above the maximum)\n",
                     min, max);
        return false;
    }
    if (min == max) {
        min -= kEqualRangeWidening;
        max += kEqualRangeWidening;
    }
    selection.angleMin = min;
    selection.angleMax = max;
    return true;
}

// Both ends at 0 or above and in order; an end not given leaves that side open.
bool checkDistanceRange(const std::string& minText, const std::string& maxText, SinkOptions& selection)
{
    float min = selection.distanceMin;
    float max = selection.distanceMax;
    if (!minText.empty() && (!parseNumber(minText, min) || min < 0.0f)) {
        std::fprintf(stderr, "hvk32-cli export: bad value '%s' for --min-distance (metres, 0 or more)\n",
                     minText.c_str());
        return false;
    }
    if (!maxText.empty() && (!parseNumber(maxText, max) || max < 0.0f)) {
        std::fprintf(stderr, "hvk32-cli export: bad value '%s' for --max-distance (metres, 0 or more)\n",
                     maxText.c_str());
        return false;
    }
    if (min > max) {
        std::fprintf(stderr,
                     "hvk32-cli export: Distance range invalid (%g to %g m; the minimum is above the maximum)\n",
                     min, max);
        return false;
    }
    selection.distanceMin = min;
    selection.distanceMax = max;
    return true;
}

// Returns 0 on success, 1 after --help, 2 on a bad argument (message already printed).
int parseOptions(int argc, char** argv, ExportOptions& o)
{
    std::string angleMin = "0";
    std::string angleMax = "360";
    std::string distanceMin;
    std::string distanceMax;
    QString out;
    // One output option per format, then --out; a file name may not be empty.
    std::vector<QString> outputs(outputFormats().size());
    platform::OptionParser parser(platform::commandMessages("export", exportUsage().c_str()));
    parser.value("--pcap", [&o](const std::string& v) {
        o.pcap = QString::fromLocal8Bit(v.c_str());
        return !o.pcap.isEmpty();
    });
    for (std::size_t k = 0; k < outputs.size(); ++k)
        parser.value(optionOf(outputFormats()[k].format), [&outputs, k](const std::string& v) {
            outputs[k] = QString::fromLocal8Bit(v.c_str());
            return !outputs[k].isEmpty();
        });
    parser
        .value("--compression",
               [&o](const std::string& v) {
                   o.sink.compression = v;
                   o.compressionGiven = true;
                   return v == "zstd" || v == "lz4" || v == "none";
               })
        .value("--out",
               [&out](const std::string& v) {
                   out = QString::fromLocal8Bit(v.c_str());
                   return !out.isEmpty();
               })
        .integer("--frames", 1, 1L << 30, o.frames)
        .value("--channels", [&o](const std::string& v) { return parseChannels(v, o.sink.channels); })
        .value("--fields",
               [&o](const std::string& v) {
                   o.fieldsGiven = true;
                   return pointfile::FieldSet::parse(v, o.sink.fields);
               },
               [](const std::string& v) {
                   return "--fields '" + v + "' names a field twice or one that is not among "
                          "x,y,z,intensity,ring,time,azimuth,distance,return";
               })
        .text("--angle-min", angleMin)
        .text("--angle-max", angleMax)
        .text("--min-distance", distanceMin)
        .text("--max-distance", distanceMax);
    addFrameRangeOptions(parser, o.range);
    if (const int rc = parser.parseCommand(argc, argv, exportUsage().c_str()))
        return rc;
    if (o.pcap.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli export: --pcap FILE is required\n%s", exportUsage().c_str());
        return 2;
    }
    int given = !out.isEmpty();
    for (std::size_t k = 0; k < outputs.size(); ++k)
        if (!outputs[k].isEmpty()) {
            ++given;
            o.out = outputs[k];
            o.format = outputFormats()[k].format;
        }
    if (given != 1) {
        std::fprintf(stderr,
                     "hvk32-cli export: give one of --csv OUT, --pcd OUT or --ply OUT, --las OUT, --mcap OUT, "
                     "--kitti DIR or --out OUT\n%s",
                     exportUsage().c_str());
        return 2;
    }
    if (!out.isEmpty()) {
        const std::optional<OutputFormat> format = outputFormatOf(out, OutputUse::Run);
        if (!format) {
            std::fprintf(stderr,
                         "hvk32-cli export: --out %s: the name ends in none of %s "
                         "(a KITTI folder is given with --kitti DIR)\n",
                         qPrintable(out), qPrintable(extensionList(OutputUse::Run)));
            return 2;
        }
        o.out = out;
        o.format = *format;
    }
    // An output of one file replaces it when complete: never when it is the capture itself.
    if (outputFormatInfo(o.format).layout == OutputLayout::OneFile && QFileInfo::exists(o.out)
        && QFileInfo(o.out).canonicalFilePath() == QFileInfo(o.pcap).canonicalFilePath()) {
        std::fprintf(stderr, "hvk32-cli export: %s %s would overwrite the capture\n", optionOf(o.format).c_str(),
                     qPrintable(o.out));
        return 2;
    }
    if (o.compressionGiven && o.format != OutputFormat::Mcap) {
        std::fputs("hvk32-cli export: --compression applies to --mcap\n", stderr);
        return 2;
    }
    if (o.fieldsGiven && o.format != OutputFormat::Pcd && o.format != OutputFormat::Ply) {
        std::fputs("hvk32-cli export: --fields applies to --pcd and --ply; the other outputs have their own fields\n",
                   stderr);
        return 2;
    }
    return checkAngleRange(angleMin, angleMax, o.sink) && checkDistanceRange(distanceMin, distanceMax, o.sink)
            && checkFrameRange("export", o.range)
        ? 0
        : 2;
}

// A bar on stderr, redrawn at most ten times a second.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : enabled_(enabled) {}

    void update(qint64 position, qint64 length, long frames, bool force = false)
    {
        if (!enabled_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && !force && now - lastDraw_ < std::chrono::milliseconds(100))
            return;
        lastDraw_ = now;
        drawn_ = true;
        const int percent = length > 0 ? static_cast<int>(std::min<qint64>(100, std::max<qint64>(0, position * 100 / length)))
                                       : 100;
        char bar[kWidth + 1];
        const int filled = percent * kWidth / 100;
        for (int k = 0; k < kWidth; ++k)
            bar[k] = k < filled ? '#' : '.';
        bar[kWidth] = '\0';
        std::fprintf(stderr, "\r[%s] %3d%%  frame %ld", bar, percent, frames);
        std::fflush(stderr);
    }

    // The last state, and the line ended.
    void finish(qint64 position, qint64 length, long frames)
    {
        if (!enabled_)
            return;
        update(position, length, frames, true);
        std::fputc('\n', stderr);
    }

private:
    static constexpr int kWidth = 30;
    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_;
};

// Says on stderr that a frame's vertical angle table is not used, naming the first channel
// (numbered from 0 as the CSV numbers it) more than 1.5 degrees off the built-in table.
// Returns whether it said so.
bool reportAngleMistake(const QString& pcap, const ConversionSnapshot& snapshot)
{
    const int channel = verticalAngleMistake(snapshot.degreeMode, snapshot.deviceVerticalAngles);
    if (channel < 0)
        return false;
    std::fprintf(stderr,
                 "hvk32-cli export: %s: the vertical angle of channel %d in the device-info packet (%g degrees) is "
                 "more than 1.5 degrees off the built-in table (%g degrees), so the built-in table is used where "
                 "that packet is in force\n",
                 qPrintable(pcap), channel, snapshot.deviceVerticalAngles[channel],
                 builtInVerticalAngles(snapshot.degreeMode)[channel]);
    return true;
}

// "hvk32-cli 0.1.0": the program and its version, without the commit.
std::string softwareName()
{
    const std::string line = programVersionLine("hvk32-cli");
    return line.substr(0, line.find(" ("));
}

int exportCapture(const ExportOptions& options, FrameSink& sink)
{
    CapturePlayerCore player;
    QString message;
    if (!player.open(options.pcap, &message)) {
        std::fprintf(stderr, "hvk32-cli export: %s: %s\n", qPrintable(options.pcap), qPrintable(message));
        return 1;
    }

    const auto started = std::chrono::steady_clock::now();
    // The start frame is found before the output is created, so a range past the end
    // leaves no file behind.
    FrameRange range = options.range;
    if (!startAtFrame("export", player, options.pcap, range))
        return 1;
    ProgressBar progress(isatty(STDERR_FILENO) == 1);
    bool angleMistakeReported = false;
    const qint64 length = player.fileLength();
    // So is the first frame: a capture that plays none fails and leaves no file behind.
    const FrameRun run = writePlayedFrames(
        player, sink, range.to, options.frames, [] { return platform::stopSignalReceived(); },
        [&](const PlayedFrames::Frame& f, long written) {
            if (!angleMistakeReported)
                angleMistakeReported = reportAngleMistake(options.pcap, f.snapshot);
            progress.update(f.position, length, written + 1);
        });
    if (run.end == FrameRun::End::NoFrame) {
        reportCaptureDamage("export", options.pcap, player.damage());
        if (platform::stopSignalReceived())
            std::fputs("hvk32-cli export: interrupted; the output is not written\n", stderr);
        else
            std::fprintf(stderr, "hvk32-cli export: %s: no frame to export: %s; nothing written\n",
                         qPrintable(options.pcap), qPrintable(capturefile::describeNoFrame(player.recordCounts())));
        return 1;
    }
    if (run.end == FrameRun::End::NotOpened) {
        std::fprintf(stderr, "hvk32-cli export: %s\n", qPrintable(sink.error()));
        return 1;
    }
    const long frames = run.frames;
    const unsigned long long points = run.points;
    const bool failed = run.end == FrameRun::End::Failed;
    const bool interrupted = run.end == FrameRun::End::Stopped;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    progress.finish(player.position(), player.fileLength(), frames);

    if (failed)
        std::fprintf(stderr, "hvk32-cli export: %s\n", qPrintable(sink.error()));
    reportCaptureDamage("export", options.pcap, player.damage());
    if (interrupted)
        std::fputs(sink.keepsWrittenFrames()
                       ? "hvk32-cli export: interrupted; the files of the frames counted below are written\n"
                       : "hvk32-cli export: interrupted; the output is not written\n",
                   stderr);
    std::fprintf(stderr, "exported %s frame%s, %s point%s in %.1f s\n", grouped(static_cast<unsigned long long>(frames)).c_str(),
                 frames == 1 ? "" : "s", grouped(points).c_str(), points == 1 ? "" : "s", seconds);
    return failed || interrupted ? 1 : 0;
}

} // namespace

int runExportCommand(int argc, char** argv)
{
    ExportOptions options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 1 ? 0 : rc;
    if (!captureIsAFile("export", options.pcap))
        return 1;
    // A FIFO output whose reader goes away ends the run as a stop signal does.
    platform::stopOnBrokenPipe();
    SinkSource source;
    source.capture = options.pcap;
    source.part = {!options.range.from && options.range.start < 0,
                   !options.frames && !options.range.to && options.range.duration < 0};
    source.software = QString::fromStdString(softwareName());
    const std::unique_ptr<FrameSink> sink = makeSink(options.out, options.format, options.sink, source);
    // Before any work: an output that cannot be created fails the run at once.
    if (!sink->canCreate()) {
        std::fprintf(stderr, "hvk32-cli export: %s\n", qPrintable(sink->error()));
        return 1;
    }
    return exportCapture(options, *sink);
}

} // namespace hvk32
