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
#include "odometry/Trajectory.h"
#include "odometry/VoxelGrid.h"
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
        if (!format || *format == OutputFormat::Csv || *format == OutputFormat::Kitti) {
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

// Appends point i of `from`, at `p`, to `to`.
void appendPoint(const PointArrays& from, std::size_t i, const Eigen::Vector3f& p, float time, PointArrays& to)
{
    const std::size_t k = to.size++;
    const auto put = [k](auto& v, auto value) {
        if (v.size() <= k)
            v.resize(k + 1 + k / 2);
        v[k] = value;
    };
    put(to.x, p.x());
    put(to.y, p.y());
    put(to.z, p.z());
    put(to.intensity, from.intensity[i]);
    put(to.channel, from.channel[i]);
    put(to.azimuth, from.azimuth[i]);
    put(to.distance, from.distance[i]);
    put(to.time, time);
    put(to.echo, from.echo[i]);
}

// The map: the first point of each voxel, written frame by frame or once at the end.
class MapWriter {
public:
    MapWriter(const Options& o) : voxel_(1.0 / o.mapVoxel), perFrame_(o.mapFormat == OutputFormat::Las || o.mapFormat == OutputFormat::Mcap)
    {
        SinkSource source;
        source.capture = o.pcap;
        source.part = {!o.range.from && o.range.start < 0, !o.range.to && o.range.duration < 0};
        const std::string line = programVersionLine("hvk32-cli");
        source.software = QString::fromStdString(line.substr(0, line.find(" (")));
        source.oneFrame = !perFrame_;
        sink_ = makeSink(o.map, o.mapFormat, SinkOptions{}, source);
        thinning_.reset(1u << 16);
    }

    bool canCreate() { return sink_->canCreate(); }
    QString error() const { return sink_->error(); }

    bool add(const PlayedFrames::Frame& f, const PointArrays& points, const std::vector<Eigen::Vector3f>& world,
             double secondsFromFirst)
    {
        if (!opened_) {
            if (!sink_->open())
                return false;
            opened_ = true;
        }
        if (perFrame_)
            frame_.size = 0;
        for (std::size_t i = 0; i < points.size; ++i) {
            const Eigen::Vector3f& p = world[i];
            const auto n = static_cast<std::int32_t>(thinning_.size());
            if (thinning_.insert(odometry::voxelOf(p.x(), p.y(), p.z(), voxel_), n) != n)
                continue;
            appendPoint(points, i, p, perFrame_ ? points.time[i] : static_cast<float>(secondsFromFirst + points.time[i]),
                        frame_);
        }
        if (perFrame_) {
            const ExportFrame e{f.frameId, f.frame, f.snapshot, f.dualEcho, f.time, f.position};
            if (sink_->writePoints(e, frame_) < 0)
                return false;
            written_ += frame_.size;
            ++frames_;
        } else {
            last_ = f.snapshot;
            lastTime_ = f.time;
            lastId_ = f.frameId;
            lastDual_ = f.dualEcho;
        }
        return true;
    }

    bool finish()
    {
        if (!opened_)
            return true;
        if (!perFrame_) {
            const LidarData none;
            const ExportFrame e{lastId_, none, last_, lastDual_, lastTime_, 0};
            if (sink_->writePoints(e, frame_) < 0)
                return false;
            written_ = frame_.size;
            frames_ = 1;
        }
        unsigned long long points = written_;
        return sink_->settle(frames_, points) && sink_->finish();
    }

    unsigned long long points() const { return written_; }

private:
    double voxel_;
    bool perFrame_;
    std::unique_ptr<FrameSink> sink_;
    odometry::VoxelIndex thinning_;
    PointArrays frame_;
    bool opened_ = false;
    unsigned long long written_ = 0;
    long frames_ = 0;
    ConversionSnapshot last_;
    FrameTime lastTime_;
    int lastId_ = 1;
    bool lastDual_ = false;
};

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
    std::unique_ptr<MapWriter> map;
    if (!o.map.isEmpty()) {
        map = std::make_unique<MapWriter>(o);
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
                if (!map->add(*f, tracker.points(), world, tracker.seconds())) {
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
