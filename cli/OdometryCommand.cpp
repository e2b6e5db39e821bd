#include "cli/OdometryCommand.h"

#include "acquisition/CapturePlayerCore.h"
#include "cli/FrameRange.h"
#include "cli/InfoCommand.h"
#include "cli/NumberText.h"
#include "convert/PointConversion.h"
#include "io/FrameSinks.h"
#include "io/OutputFormats.h"
#include "io/PlayedFrames.h"
#include "odometry/FrameTracker.h"
#include "odometry/MapWriter.h"
#include "odometry/Trajectory.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "version/ProgramVersion.h"

#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

namespace hvk32 {

namespace {

const char* const kOdometryUsage =
    "Usage: hvk32-cli odometry --pcap FILE --trajectory OUT [options]\n"
    "\n"
    "Estimates the scanner's motion from the frames of a capture and writes its pose at every\n"
    "frame. Each frame is deskewed with its points' firing times and the motion of the frame\n"
    "before (constant velocity), thinned on a voxel grid and registered to a local map of the\n"
    "frames before it by point-to-point ICP with a robust (Geman-McClure) kernel and a distance\n"
    "threshold that adapts to how far the motion strayed from the prediction so far.\n"
    "\n"
    "Options:\n"
    "  --pcap FILE        the capture to read\n"
    "  --trajectory OUT   write one pose per frame: 'time x y z qx qy qz qw' (TUM), the time\n"
    "                     in seconds since 1970 as the capture's records count it, halfway\n"
    "                     through the frame's firings, the instant the pose describes; the pose\n"
    "                     of the scanner's x/y/z frame in the first frame's (whose pose is the\n"
    "                     identity)\n"
    "  --format F         tum (default) or kitti: the first three rows of the pose matrix,\n"
    "                     twelve numbers per line\n"
    "  --no-deskew        register each frame as if all its points were fired at once\n"
    "  --map OUT          also write every frame's points in the first frame's coordinates,\n"
    "                     thinned to the first point of each voxel of --map-voxel metres, as LAS\n"
    "                     (point source ID = frame number mod 65536), MCAP (one message per\n"
    "                     frame), or one PCD or PLY file (which have no frame field: their time\n"
    "                     field is seconds from the first frame's first firing), by extension;\n"
    "                     with intensity and ring\n"
    "  --map-voxel S      the map's voxel size in metres (default 0.1)\n"
    "  --from N, --to M, --start S, --duration D\n"
    "                     the frames to use, as the export command takes them\n"
    "\n"
    "A progress line is drawn on stderr when it is a terminal; a summary line ends the run\n"
    "(frames, metres travelled, frames per second). Every output is written under a temporary\n"
    "name and takes its name once whole. Exit status: 0 when done, 1 when the capture cannot be\n"
    "read or an output written or the run is interrupted, 2 for a bad argument.\n";

struct Options {
    QString pcap;
    QString trajectory;
    odometry::PoseFormat format = odometry::PoseFormat::Tum;
    bool deskew = true;
    QString map;
    OutputFormat mapFormat = OutputFormat::Las;
    double mapVoxel = 0.1;
    FrameRange range;
};

int parseOptions(int argc, char** argv, Options& o)
{
    bool noDeskew = false;
    platform::OptionParser parser(platform::commandMessages("odometry", kOdometryUsage));
    parser
        .value("--pcap",
               [&o](const std::string& v) {
                   o.pcap = QString::fromLocal8Bit(v.c_str());
                   return !o.pcap.isEmpty();
               })
        .value("--trajectory",
               [&o](const std::string& v) {
                   o.trajectory = QString::fromLocal8Bit(v.c_str());
                   return !o.trajectory.isEmpty();
               })
        .value("--format",
               [&o](const std::string& v) {
                   o.format = v == "kitti" ? odometry::PoseFormat::Kitti : odometry::PoseFormat::Tum;
                   return v == "tum" || v == "kitti";
               })
        .flag("--no-deskew", noDeskew)
        .value("--map",
               [&o](const std::string& v) {
                   o.map = QString::fromLocal8Bit(v.c_str());
                   return !o.map.isEmpty();
               })
        .value("--map-voxel", [&o](const std::string& v) {
            return platform::parseFiniteNumber(v, o.mapVoxel) && o.mapVoxel >= 0.001 && o.mapVoxel <= 1000;
        });
    addFrameRangeOptions(parser, o.range);
    if (const int rc = parser.parseCommand(argc, argv, kOdometryUsage))
        return rc;
    o.deskew = !noDeskew;
    if (o.pcap.isEmpty() || o.trajectory.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli odometry: --pcap FILE and --trajectory OUT are required\n%s", kOdometryUsage);
        return 2;
    }
    if (!o.map.isEmpty()) {
        const std::optional<OutputFormat> format = outputFormatOf(o.map, OutputUse::OneFrame);
        if (!format || !odometry::isMapFormat(*format)) {
            std::fprintf(stderr,
                         "hvk32-cli odometry: --map %s: a map is written as .las, .mcap, .pcd or .ply (the CSV's "
                         "columns are a frame's angles and distances, a KITTI folder holds frames)\n",
                         qPrintable(o.map));
            return 2;
        }
        o.mapFormat = *format;
    }
    for (const QString& out : {o.trajectory, o.map})
        if (!out.isEmpty() && QFileInfo::exists(out)
            && QFileInfo(out).canonicalFilePath() == QFileInfo(o.pcap).canonicalFilePath()) {
            std::fprintf(stderr, "hvk32-cli odometry: %s would overwrite the capture\n", qPrintable(out));
            return 2;
        }
    return checkFrameRange("odometry", o.range) ? 0 : 2;
}

// The map's writer: where its frames come from, who writes it.
std::unique_ptr<odometry::MapWriter> makeMapWriter(const Options& o)
{
    SinkSource source;
    source.capture = o.pcap;
    source.part = {!o.range.from && o.range.start < 0, !o.range.to && o.range.duration < 0};
    const std::string line = programVersionLine("hvk32-cli");
    source.software = QString::fromStdString(line.substr(0, line.find(" (")));
    return std::make_unique<odometry::MapWriter>(o.map, o.mapFormat, o.mapVoxel, source);
}

int run(const Options& o)
{
    CapturePlayerCore player;
    QString message;
    if (!player.open(o.pcap, &message)) {
        std::fprintf(stderr, "hvk32-cli odometry: %s: %s\n", qPrintable(o.pcap), qPrintable(message));
        return 1;
    }
    FrameRange range = o.range;
    if (!startAtFrame("odometry", player, o.pcap, range))
        return 1;

    QSaveFile trajectory(o.trajectory);
    if (!trajectory.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "hvk32-cli odometry: %s: %s\n", qPrintable(o.trajectory),
                     qPrintable(trajectory.errorString()));
        return 1;
    }
    std::unique_ptr<odometry::MapWriter> map;
    if (!o.map.isEmpty()) {
        map = makeMapWriter(o);
        if (!map->canCreate()) {
            std::fprintf(stderr, "hvk32-cli odometry: %s\n", qPrintable(map->error()));
            return 1;
        }
    }

    odometry::Parameters parameters;
    parameters.deskew = o.deskew;
    odometry::FrameTracker tracker(parameters);
    std::vector<Eigen::Vector3f> world;
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const auto started = std::chrono::steady_clock::now();
    auto lastProgress = started;
    long frames = 0;
    bool failed = false;
    {
        PlayedFrames played(player, range.to);
        while (const PlayedFrames::Frame* f = played.next()) {
            if (platform::stopSignalReceived())
                break;
            const odometry::StampedPose stamped = tracker.add(f->frame, f->snapshot, f->time);
            const std::string line = (o.format == odometry::PoseFormat::Tum ? odometry::tumLine(stamped)
                                                                            : odometry::kittiLine(stamped.pose))
                + '\n';
            if (trajectory.write(line.data(), static_cast<qint64>(line.size())) != static_cast<qint64>(line.size())) {
                std::fprintf(stderr, "hvk32-cli odometry: %s: %s\n", qPrintable(o.trajectory),
                             qPrintable(trajectory.errorString()));
                failed = true;
                break;
            }
            if (map) {
                tracker.odometry().toMap(tracker.framePoints(), world);
                const ExportFrame e{f->frameId, f->frame, f->snapshot, f->dualEcho, f->time, f->position};
                if (!map->add(e, tracker.points(), world, tracker.seconds())) {
                    std::fprintf(stderr, "hvk32-cli odometry: %s\n", qPrintable(map->error()));
                    failed = true;
                    break;
                }
            }
            ++frames;
            const auto now = std::chrono::steady_clock::now();
            if (terminal && now - lastProgress >= std::chrono::milliseconds(100)) {
                lastProgress = now;
                const double elapsed = std::chrono::duration<double>(now - started).count();
                std::fprintf(stderr, "\rodometry: frame %ld, %.1f m, %.1f frames/s ", frames,
                             odometry::pathLength(tracker.odometry().poses()), frames / elapsed);
                std::fflush(stderr);
            }
        }
        played.stop();
    }
    if (terminal && frames)
        std::fputc('\n', stderr);
    reportCaptureDamage("odometry", o.pcap, player.damage());
    const bool interrupted = platform::stopSignalReceived();
    if (failed || interrupted) {
        if (interrupted)
            std::fputs("hvk32-cli odometry: interrupted; nothing written\n", stderr);
        trajectory.cancelWriting();
        return 1;
    }
    if (frames == 0) {
        std::fprintf(stderr, "hvk32-cli odometry: %s: no frame to register; nothing written\n", qPrintable(o.pcap));
        trajectory.cancelWriting();
        return 1;
    }
    if (map && !map->finish()) {
        std::fprintf(stderr, "hvk32-cli odometry: %s\n", qPrintable(map->error()));
        trajectory.cancelWriting();
        return 1;
    }
    if (!trajectory.commit()) {
        std::fprintf(stderr, "hvk32-cli odometry: %s: %s\n", qPrintable(o.trajectory),
                     qPrintable(trajectory.errorString()));
        return 1;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "odometry: %s frame%s, %.1f m travelled, %.1f frames/s", grouped(frames).c_str(),
                 frames == 1 ? "" : "s", odometry::pathLength(tracker.odometry().poses()),
                 elapsed > 0 ? frames / elapsed : 0.0);
    if (map)
        std::fprintf(stderr, ", map of %s points", grouped(map->points()).c_str());
    std::fputc('\n', stderr);
    return 0;
}

} // namespace

int runOdometryCommand(int argc, char** argv)
{
    Options options;
    if (const int rc = parseOptions(argc, argv, options))
        return rc == 1 ? 0 : rc;
    if (!captureIsAFile("odometry", options.pcap))
        return 1;
    return run(options);
}

} // namespace hvk32
