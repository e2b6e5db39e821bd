#include "cli/RenderCommand.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "cli/FrameRange.h"
#include "cli/InfoCommand.h"
#include "cli/NumberText.h"
#include "io/PlayedFrames.h"
#include "platform/OptionParser.h"
#include "platform/SignalHandling.h"
#include "render/FrameRenderer.h"
#include "render/FrameSchedule.h"
#include "render/PngWriter.h"
#include "render/VideoWriter.h"
#include "view/ViewPreferences.h"

#include <QDir>
#include <QFileInfo>

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
using render::View;

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

render::RenderSettings settingsOf(const Options& o, int frames)
{
    render::RenderSettings r;
    r.width = o.width;
    r.height = o.height;
    r.background = o.whiteBackground ? Rgb8{255, 255, 255} : Rgb8{0, 0, 0};
    r.style.colouring = o.colouring;
    r.style.pointSize = o.pointSize;
    r.style.distanceRange = static_cast<float>(o.range);
    r.view = o.map && !o.viewGiven ? View::Following : o.view;
    r.range = o.range;
    r.overlay = o.overlay;
    r.map = o.map;
    r.frames = frames;
    return r;
}

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

    render::FrameRenderer renderer(settingsOf(o, index.frameCount()));
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
