#include "cli/RenderCommand.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "cli/FrameRange.h"
#include "cli/InfoCommand.h"
#include "cli/NumberText.h"
#include "io/PlayedFrames.h"
#include "odometry/FrameTracker.h"
#include "odometry/MapAccumulator.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "render/FramePainter.h"
#include "render/FrameSchedule.h"
#include "render/Overlay.h"
#include "render/PngWriter.h"
#include "render/VideoWriter.h"
#include "view/CameraFit.h"
#include "view/Readout.h"
#include "view/ViewPreferences.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace hvk32 {

namespace {

const char* const kRenderUsage =
    "Usage: hvk32-cli render --pcap FILE --out OUT [options]\n"
    "\n"
    "Draws the frames of a capture as pictures, without a display (no X server, no GPU):\n"
    "  OUT.mp4   one H.264 video (yuv420p, plays in browsers) of the frames\n"
    "  OUT/      a folder of one PNG picture per frame, named by frame number (000001.png, ...)\n"
    "  OUT.png   one picture of the frame --frame N\n"
    "\n"
    "Options:\n"
    "  --pcap FILE        the capture to draw\n"
    "  --out OUT          the video, folder or picture to write\n"
    "  --frame N          the frame a .png shows (default 1)\n"
    "  --color C          intensity (default), elevation, azimuth or channel, the window's\n"
    "                     colourings, or distance from the scanner, 0 to --range metres\n"
    "  --size WxH         the pictures' size in pixels (default 1280x720; even for a video)\n"
    "  --background B     black (default) or white\n"
    "  --point-size N     each point's square in pixels, 1 to 10 (default 1)\n"
    "  --view V           top (default): looking down the z axis, x to the right, y up, the\n"
    "                     scanner at the centre; perspective: the window's starting camera;\n"
    "                     orbit: that camera turning once around the scanner over the video\n"
    "  --range R          the top view's metres from the centre to the nearer edge (default 30)\n"
    "  --no-overlay       leave out the frame number, the capture time and the colour legend\n"
    "  --map              register the frames one after another (odometry) and draw the map\n"
    "                     they make up to each frame and the path so far, the camera following\n"
    "                     the scanner from above and behind (with --view top: from above, the\n"
    "                     scanner at the centre)\n"
    "  --fps N            a video's pictures a second (default: the capture's frame rate, so\n"
    "                     the video lasts as long as the capture)\n"
    "  --speed X          how many times faster than recorded a video shows the capture\n"
    "                     (default 1)\n"
    "  --crf N            a video's constant quality, 0 (lossless) to 51: lower is sharper and\n"
    "                     bigger (default 23; a dense map seen from a moving camera takes many\n"
    "                     bits, 28 about halves it)\n"
    "  --from N, --to M, --start S, --duration D\n"
    "                     the frames to draw, as the export command takes them\n"
    "\n"
    "A progress line is drawn on stderr when it is a terminal; a summary line ends the run.\n"
    "A video or picture is written under a temporary name and takes its name once whole.\n"
    "Exit status: 0 when done, 1 when the capture cannot be read or an output written or the\n"
    "run is interrupted, 2 for a bad argument.\n";

enum class OutKind { Video, Folder, Picture };
enum class View { Top, Perspective, Orbit };

struct Options {
    QString pcap;
    QString out;
    OutKind kind = OutKind::Video;
    long frame = 0; // 0: not given
    render::Colouring colouring = render::Colouring::Intensity;
    int width = 1280, height = 720;
    bool whiteBackground = false;
    int pointSize = kMinPointSize;
    View view = View::Top;
    bool viewGiven = false;
    double range = 30.0;
    bool overlay = true;
    bool map = false;
    double fps = 0; // 0: the capture's
    double speed = 1.0;
    int crf = render::VideoWriter::kDefaultQuality;
    bool crfGiven = false;
    FrameRange frames;
};

constexpr int kMaxSide = 8192; // [px]

bool parseSize(const std::string& v, Options& o)
{
    const std::size_t x = v.find('x');
    if (x == std::string::npos)
        return false;
    double w = 0, h = 0;
    if (!platform::parseFiniteNumber(v.substr(0, x), w) || !platform::parseFiniteNumber(v.substr(x + 1), h))
        return false;
    if (w != std::floor(w) || h != std::floor(h) || w < 1 || h < 1 || w > kMaxSide || h > kMaxSide)
        return false;
    o.width = static_cast<int>(w);
    o.height = static_cast<int>(h);
    return true;
}

// The nearest folder of `path` that exists, or an empty string.
QString existingFolderOf(const QString& path)
{
    QFileInfo info(QFileInfo(path).absoluteFilePath());
    QString folder = info.absolutePath();
    while (!folder.isEmpty() && !QFileInfo(folder).exists()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            return {};
        folder = up;
    }
    return folder;
}

bool writableFolder(const QString& folder)
{
    const QFileInfo info(folder);
    return info.isDir() && access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

// Why `o.out` cannot be written, or an empty string; checked before any work.
QString outputProblem(const Options& o)
{
    const QFileInfo info(o.out);
    if (o.kind == OutKind::Folder) {
        if (info.exists())
            return writableFolder(o.out) ? QString() : QStringLiteral("is not a folder this user may write to");
        const QString parent = existingFolderOf(QDir::cleanPath(info.absoluteFilePath()));
        return writableFolder(parent) ? QString()
                                      : QStringLiteral("cannot be made: %1 is not a folder this user may write to")
                                            .arg(parent.isEmpty() ? QStringLiteral("its folder") : parent);
    }
    if (info.isDir())
        return QStringLiteral("is a folder");
    if (info.exists() && !info.isWritable())
        return QStringLiteral("may not be written by this user");
    const QString parent = info.absolutePath();
    if (!QFileInfo(parent).isDir())
        return QStringLiteral("is in a folder that does not exist");
    if (!writableFolder(parent))
        return QStringLiteral("is in a folder this user may not write to");
    if (QFileInfo::exists(o.pcap) && info.exists() && info.canonicalFilePath() == QFileInfo(o.pcap).canonicalFilePath())
        return QStringLiteral("would overwrite the capture");
    return {};
}

int refuse(const char* message)
{
    std::fprintf(stderr, "hvk32-cli render: %s\n", message);
    return 2;
}

int parseOptions(int argc, char** argv, Options& o)
{
    bool noOverlay = false;
    std::string background = "black";
    platform::OptionParser parser(platform::commandMessages("render", kRenderUsage));
    parser
        .value("--pcap",
               [&o](const std::string& v) {
                   o.pcap = QString::fromLocal8Bit(v.c_str());
                   return !o.pcap.isEmpty();
               })
        .value("--out",
               [&o](const std::string& v) {
                   o.out = QString::fromLocal8Bit(v.c_str());
                   return !o.out.isEmpty();
               })
        .integer("--frame", 1L, 1L << 31, o.frame)
        .value("--color",
               [&o](const std::string& v) {
                   const auto c = render::colouringNamed(v);
                   if (c)
                       o.colouring = *c;
                   return c.has_value();
               },
               [](const std::string& v) {
                   return "unknown colouring '" + v + "' for --color: intensity, elevation, azimuth, channel or distance";
               })
        .value("--size", [&o](const std::string& v) { return parseSize(v, o); },
               [](const std::string& v) {
                   return "bad value '" + v + "' for --size: WIDTHxHEIGHT in pixels, each 1 to " +
                       std::to_string(kMaxSide);
               })
        .value("--background",
               [&background](const std::string& v) {
                   background = v;
                   return v == "black" || v == "white";
               })
        .value("--point-size",
               [&o](const std::string& v) {
                   return platform::parseInteger(v, kMinPointSize, kMaxPointSize, o.pointSize);
               })
        .value("--view",
               [&o](const std::string& v) {
                   o.viewGiven = true;
                   o.view = v == "perspective" ? View::Perspective : v == "orbit" ? View::Orbit : View::Top;
                   return v == "top" || v == "perspective" || v == "orbit";
               })
        .value("--range",
               [&o](const std::string& v) {
                   return platform::parseFiniteNumber(v, o.range) && o.range > 0 && o.range <= 100000;
               },
               [](const std::string& v) {
                   return "bad value '" + v + "' for --range: metres from the centre to the nearer edge, above 0";
               })
        .flag("--no-overlay", noOverlay)
        .flag("--map", o.map)
        .value("--fps",
               [&o](const std::string& v) { return platform::parseFiniteNumber(v, o.fps) && o.fps >= 0.1 && o.fps <= 1000; })
        .value("--speed", [&o](const std::string& v) {
            return platform::parseFiniteNumber(v, o.speed) && o.speed >= 0.01 && o.speed <= 1000;
        });
    parser.value("--crf", [&o](const std::string& v) {
        o.crfGiven = true;
        return platform::parseInteger(v, 0, render::VideoWriter::kMaxQuality, o.crf);
    });
    addFrameRangeOptions(parser, o.frames);
    if (const int rc = parser.parseCommand(argc, argv, kRenderUsage))
        return rc;
    o.overlay = !noOverlay;
    o.whiteBackground = background == "white";
    if (o.pcap.isEmpty() || o.out.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli render: --pcap FILE and --out OUT are required\n%s", kRenderUsage);
        return 2;
    }
    const QString lower = o.out.toLower();
    if (lower.endsWith(QLatin1String(".mp4")))
        o.kind = OutKind::Video;
    else if (lower.endsWith(QLatin1String(".png")))
        o.kind = OutKind::Picture;
    else if (o.out.endsWith(QLatin1Char('/')) || QFileInfo(o.out).isDir())
        o.kind = OutKind::Folder;
    else
        return refuse("--out: a video ends in .mp4, a picture in .png, a folder of pictures in /");
    if (o.kind == OutKind::Video && (o.width % 2 || o.height % 2))
        return refuse("--size: a video's width and height are even numbers of pixels");
    if (o.frame && o.kind != OutKind::Picture)
        return refuse("--frame chooses the frame of one picture (--out NAME.png); a video or folder takes "
                      "--from/--to/--start/--duration");
    if (o.kind == OutKind::Picture && o.frames.given())
        return refuse("one picture (--out NAME.png) shows the frame --frame N; --from/--to/--start/--duration "
                      "choose a video's or folder's frames");
    if (o.kind != OutKind::Video && (o.fps > 0 || o.speed != 1.0 || o.crfGiven))
        return refuse("--fps, --speed and --crf are a video's (--out NAME.mp4)");
    if (o.map && o.viewGiven && o.view != View::Top)
        return refuse("--map draws from behind the scanner, or from above with --view top");
    if (o.kind == OutKind::Picture && o.view == View::Orbit)
        return refuse("--view orbit turns the camera over a video or a folder of pictures; one picture takes "
                      "--view top or perspective");
    if (!checkFrameRange("render", o.frames))
        return 2;
    const QString problem = outputProblem(o);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "hvk32-cli render: --out %s %s\n", qPrintable(o.out), qPrintable(problem));
        return 2;
    }
    return 0;
}

// The window's starting camera for a frame: the overview's direction, placed to see the
// whole frame as the window places it over its first frames.
CameraPlacement startingCamera(const PointArrays& p, double aspect)
{
    Box3 box;
    box.min = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
    box.max = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (std::size_t k = 0; k < p.size; ++k) {
        const float xyz[3] = {p.x[k], p.y[k], p.z[k]};
        for (int i = 0; i < 3; ++i)
            if (std::isfinite(xyz[i])) {
                box.min[i] = std::min(box.min[i], double(xyz[i]));
                box.max[i] = std::max(box.max[i], double(xyz[i]));
            }
    }
    if (const auto placed = p.size ? fitCamera(box, kOverviewPosition, {0.0, 0.0, 1.0}, kViewAngleDeg, aspect)
                                   : std::nullopt)
        return *placed;
    return {kOverviewPosition, {0.0, 0.0, 0.0}};
}

// The starting camera turned about the vertical through its focal point by `turn` of a turn.
CameraPlacement turned(const CameraPlacement& c, double turn)
{
    const double dx = c.position[0] - c.focalPoint[0], dy = c.position[1] - c.focalPoint[1];
    const double a = turn * 2.0 * M_PI;
    CameraPlacement out = c;
    out.position[0] = c.focalPoint[0] + dx * std::cos(a) - dy * std::sin(a);
    out.position[1] = c.focalPoint[1] + dx * std::sin(a) + dy * std::cos(a);
    return out;
}

// Behind and above the scanner, looking ahead of it along the way it goes: the way from where
// it was a few metres back, or its x axis before it has gone that far.
CameraPlacement followingCamera(const std::vector<Eigen::Isometry3d>& poses)
{
    constexpr double kBack = 25.0, kUp = 20.0, kAhead = 5.0, kHeadingBase = 3.0; // [m]
    const Eigen::Vector3d here = poses.back().translation();
    Eigen::Vector2d heading = (poses.back().linear() * Eigen::Vector3d::UnitX()).head<2>();
    for (auto it = poses.rbegin(); it != poses.rend(); ++it) {
        const Eigen::Vector2d way = here.head<2>() - it->translation().head<2>();
        if (way.norm() >= kHeadingBase) {
            heading = way;
            break;
        }
    }
    heading = heading.norm() > 1e-9 ? heading.normalized() : Eigen::Vector2d::UnitX();
    CameraPlacement c;
    c.position = {here.x() - kBack * heading.x(), here.y() - kBack * heading.y(), here.z() + kUp};
    c.focalPoint = {here.x() + kAhead * heading.x(), here.y() + kAhead * heading.y(), here.z()};
    return c;
}

// The overlay's lines, in the window's words: its frame counter and the frame's time.
QStringList overlayLines(long frame, int frames, const FrameTime& time)
{
    return {QCoreApplication::translate("manwindow", "Frame count:") + QLatin1Char(' ')
                + QStringLiteral("%1 / %2").arg(frame).arg(frames),
            QDateTime::fromMSecsSinceEpoch(time.captureMicros / 1000).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
            deviceStampText(time.deviceStamp)};
}

class Renderer {
public:
    Renderer(const Options& o, int frames) : o_(o), frames_(frames)
    {
        style_.colouring = o.colouring;
        style_.pointSize = o.pointSize;
        style_.distanceRange = static_cast<float>(o.range);
        background_ = o.whiteBackground ? Rgb8{255, 255, 255} : Rgb8{0, 0, 0};
        if (o.overlay)
            overlay_ = std::make_unique<render::Overlay>(o.width, o.height, background_,
                                                         render::legendOf(o.colouring, static_cast<float>(o.range)));
        if (o.map)
            tracker_ = std::make_unique<odometry::FrameTracker>(odometry::Parameters{});
    }

    // Takes the next frame: registers it into the map with --map; a frame alone is converted
    // when first drawn, so the frames a fast video skips cost nothing.
    void take(const PlayedFrames::Frame& f)
    {
        frame_ = &f;
        converted_ = false;
        if (tracker_) {
            tracker_->add(f.frame, f.snapshot, f.time);
            tracker_->odometry().toMap(tracker_->framePoints(), world_);
            odometry::MapFrame m;
            m.frameId = f.frameId;
            m.time = f.time;
            m.snapshot = f.snapshot;
            m.dualEcho = f.dualEcho;
            m.seconds = tracker_->seconds();
            map_.add(tracker_->points(), world_, tracker_->odometry().poses().back(), m);
        }
    }

    // The picture of the frame taken last, the camera turned by `turn` of a turn in an orbit.
    const render::Picture& draw(double turn)
    {
        if (!tracker_ && !converted_) {
            painter_.convert(frame_->frame, frame_->snapshot);
            converted_ = true;
            if (!starting_)
                starting_ = startingCamera(painter_.points(), double(o_.width) / o_.height);
        }
        raster_.clear(o_.width, o_.height, background_);
        const render::RenderCamera camera = cameraFor(turn);
        if (tracker_) {
            painter_.drawPoints(raster_, camera, map_.points(), style_);
            drawPath(camera);
        } else {
            painter_.drawFrame(raster_, camera, frame_->frame, style_);
        }
        if (overlay_) {
            QStringList lines = overlayLines(frame_->frameId, frames_, frame_->time);
            if (tracker_) // the window's status of its map
                lines << QCoreApplication::translate("manwindow", "Map: %1 frames, %2 points")
                             .arg(QLocale().toString(qulonglong(map_.frames().size())),
                                  QLocale().toString(qulonglong(map_.size())));
            overlay_->draw(raster_.picture(), lines);
        }
        return raster_.picture();
    }

    const odometry::MapAccumulator& map() const { return map_; }

private:
    render::RenderCamera cameraFor(double turn) const
    {
        if (tracker_) {
            const Eigen::Vector3d here = map_.poses().back().translation();
            if (o_.viewGiven) // --view top: from above, the scanner at the centre
                return render::RenderCamera::top(o_.width, o_.height, o_.range, here.x(), here.y());
            const CameraPlacement c = followingCamera(map_.poses());
            return render::RenderCamera::perspective(o_.width, o_.height, c.position, c.focalPoint, {0, 0, 1},
                                                     kViewAngleDeg);
        }
        if (o_.view == View::Top)
            return render::RenderCamera::top(o_.width, o_.height, o_.range);
        const CameraPlacement c = o_.view == View::Orbit ? turned(*starting_, turn) : *starting_;
        return render::RenderCamera::perspective(o_.width, o_.height, c.position, c.focalPoint, {0, 0, 1},
                                                 kViewAngleDeg);
    }

    // The scanner's path so far and where it is now, as the window's map shows them.
    void drawPath(const render::RenderCamera& camera)
    {
        constexpr Rgb8 kPathColour{255, 0, 255};
        const auto& poses = map_.poses();
        for (std::size_t k = 1; k < poses.size(); ++k) {
            const Eigen::Vector3f a = poses[k - 1].translation().cast<float>();
            const Eigen::Vector3f b = poses[k].translation().cast<float>();
            raster_.line(camera, a.data(), b.data(), kPathColour, 3);
        }
        const Eigen::Vector3f here = poses.back().translation().cast<float>();
        raster_.disc(camera, here.data(), kPathColour, 5);
    }

    const Options& o_;
    const int frames_;
    render::PaintStyle style_;
    Rgb8 background_{0, 0, 0};
    std::unique_ptr<render::Overlay> overlay_;
    render::FramePainter painter_;
    render::Raster raster_;
    std::optional<CameraPlacement> starting_;
    const PlayedFrames::Frame* frame_ = nullptr;
    bool converted_ = false; // frame_'s points are the painter's
    std::unique_ptr<odometry::FrameTracker> tracker_;
    odometry::MapAccumulator map_;
    std::vector<Eigen::Vector3f> world_;
};

QString folderPicture(const QString& folder, long frame)
{
    return QDir(folder).filePath(QStringLiteral("%1.png").arg(frame, 6, 10, QLatin1Char('0')));
}

int run(const Options& o)
{
    CapturePlayerCore player;
    QString message;
    if (!player.open(o.pcap, &message)) {
        std::fprintf(stderr, "hvk32-cli render: %s: %s\n", qPrintable(o.pcap), qPrintable(message));
        return 1;
    }
    // The whole capture is indexed first: the frames' times pace a video, their count tells
    // an orbit how far to turn, and the overlay counts frames as the window does, of all.
    FrameRange range = o.frames;
    if (o.kind == OutKind::Picture) {
        const long n = o.frame ? o.frame : 1;
        range.from = o.map ? 1 : n; // a map is built from the first frame up
        range.to = n;
    }
    CaptureFrameIndex index;
    if (!index.build(o.pcap, &message, [](qint64, qint64) { return !platform::stopSignalReceived(); })
        || (range.byTime() && !framesInTime(index, range, &message))) {
        std::fprintf(stderr, "hvk32-cli render: %s: %s\n", qPrintable(o.pcap), qPrintable(message));
        return 1;
    }
    const long first = std::max(range.from, 1L);
    const long last = range.to ? range.to : index.frameCount();
    if (last > index.frameCount()) {
        std::fprintf(stderr, "hvk32-cli render: %s has %d frame%s, so there is no frame %ld\n", qPrintable(o.pcap),
                     index.frameCount(), index.frameCount() == 1 ? "" : "s", last);
        return 1;
    }
    if (last < first) {
        std::fprintf(stderr, "hvk32-cli render: %s: no frame to draw; nothing written\n", qPrintable(o.pcap));
        return 1;
    }
    player.start();
    if (first > 1 && !player.seek(index, static_cast<int>(first))) {
        std::fprintf(stderr, "hvk32-cli render: %s: frame %ld cannot be read\n", qPrintable(o.pcap), first);
        return 1;
    }

    const render::FrameRate captureRate =
        render::captureFrameRate(index.frameTime(static_cast<int>(first)), index.frameTime(static_cast<int>(last)),
                                 last - first + 1);
    const render::FrameRate fps = o.fps > 0 ? render::frameRateOf(o.fps) : captureRate;
    render::FrameSchedule schedule(fps, o.speed, captureRate);
    long planned = 1;
    if (o.kind == OutKind::Video)
        planned = render::FrameSchedule::picturesFor(index.frameTime(static_cast<int>(first)),
                                                     index.frameTime(static_cast<int>(last)), fps, o.speed, captureRate);
    else if (o.kind == OutKind::Folder)
        planned = last - first + 1;

    render::VideoWriter video;
    if (o.kind == OutKind::Video && !video.open(o.out, o.width, o.height, fps.num, fps.den, o.crf)) {
        std::fprintf(stderr, "hvk32-cli render: %s\n", qPrintable(video.error()));
        return 1;
    }
    if (o.kind == OutKind::Folder && !QDir().mkpath(o.out)) {
        std::fprintf(stderr, "hvk32-cli render: %s: the folder cannot be made\n", qPrintable(o.out));
        return 1;
    }

    Renderer renderer(o, index.frameCount());
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const auto started = std::chrono::steady_clock::now();
    auto lastProgress = started;
    long frames = 0, pictures = 0;
    bool failed = false;
    if (o.kind == OutKind::Video)
        schedule.add(index.frameTime(static_cast<int>(first)));
    {
        PlayedFrames played(player, last);
        while (const PlayedFrames::Frame* f = played.next()) {
            if (platform::stopSignalReceived())
                break;
            renderer.take(*f);
            ++frames;
            QString error;
            if (o.kind == OutKind::Video) {
                // The pictures due before the next frame begins show this one.
                const long shown = f->frameId < last ? schedule.add(index.frameTime(f->frameId + 1)) : schedule.finish();
                for (long k = 0; k < shown && !failed; ++k, ++pictures) {
                    const double turn = planned > 0 ? double(pictures) / planned : 0.0;
                    failed = !video.add(renderer.draw(turn));
                    if (failed)
                        error = video.error();
                }
            } else if (o.kind == OutKind::Folder) {
                const double turn = planned > 0 ? double(pictures) / planned : 0.0;
                failed = !render::writePng(folderPicture(o.out, f->frameId), renderer.draw(turn), &error);
                pictures += failed ? 0 : 1;
            } else if (f->frameId == last) {
                failed = !render::writePng(o.out, renderer.draw(0.0), &error);
                pictures += failed ? 0 : 1;
            }
            if (failed) {
                std::fprintf(stderr, "hvk32-cli render: %s\n", qPrintable(error));
                break;
            }
            const auto now = std::chrono::steady_clock::now();
            if (terminal && now - lastProgress >= std::chrono::milliseconds(100)) {
                lastProgress = now;
                const double elapsed = std::chrono::duration<double>(now - started).count();
                std::fprintf(stderr, "\rrender: frame %ld of %ld, %.1f pictures/s ", frames, last - first + 1,
                             pictures / elapsed);
                std::fflush(stderr);
            }
        }
        played.stop();
    }
    if (terminal && frames)
        std::fputc('\n', stderr);
    reportCaptureDamage("render", o.pcap, player.damage());
    const bool interrupted = platform::stopSignalReceived();
    if (failed || interrupted || frames == 0) {
        if (interrupted && o.kind == OutKind::Folder)
            std::fprintf(stderr, "hvk32-cli render: interrupted; %s picture%s written in %s\n", grouped(pictures).c_str(),
                         pictures == 1 ? "" : "s", qPrintable(o.out));
        else if (interrupted)
            std::fprintf(stderr, "hvk32-cli render: interrupted; %s is not written\n", qPrintable(o.out));
        else if (frames == 0)
            std::fprintf(stderr, "hvk32-cli render: %s: no frame to draw; nothing written\n", qPrintable(o.pcap));
        video.cancel();
        return 1;
    }
    if (o.kind == OutKind::Video && !video.finish()) {
        std::fprintf(stderr, "hvk32-cli render: %s\n", qPrintable(video.error()));
        return 1;
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::fprintf(stderr, "render: %s frame%s, %s picture%s", grouped(frames).c_str(), frames == 1 ? "" : "s",
                 grouped(pictures).c_str(), pictures == 1 ? "" : "s");
    if (o.kind == OutKind::Video)
        std::fprintf(stderr, " (%.2f s at %g pictures/s)", pictures / fps.value(), fps.value());
    if (o.map)
        std::fprintf(stderr, ", map of %s points", grouped(static_cast<long>(renderer.map().size())).c_str());
    std::fprintf(stderr, " in %s, %.1f pictures/s\n", qPrintable(o.out), elapsed > 0 ? pictures / elapsed : 0.0);
    return 0;
}

} // namespace

int runRenderCommand(int argc, char** argv)
{
    Options o;
    if (const int rc = parseOptions(argc, argv, o))
        return rc == platform::OptionParser::kHelpShown ? 0 : rc;
    if (!captureIsAFile("render", o.pcap))
        return 1;
    return run(o);
}

} // namespace hvk32
