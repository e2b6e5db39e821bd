#include "io/FrameExport.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "convert/CloudBuilder.h"
#include "convert/FrameReader.h"
#include "io/CsvExport.h"

#include <QDateTime>

namespace hvk32 {

namespace {

// What a run of the command line knows of a frame beside its points.
struct FrameContext {
    int frameId = 1;
    bool dualEcho = false;
    FrameTime time;
    qint64 position = 0;
    SinkSource source;
};

// Plays frame n of `capture` as "export --from n" reaches it: its time, where it ends and
// the device's echo mode.
bool playCaptureFrame(const QString& capture, int n, FrameContext& context, QString* error)
{
    CapturePlayerCore player;
    QString message;
    bool reached = player.open(capture, &message);
    if (reached) {
        player.start();
        if (n > 1) {
            CaptureFrameIndex index;
            index.stopAfterFrames(n);
            reached = index.build(capture, &message) && index.frameCount() >= n && player.seek(index, n);
        }
    }
    CapturePlayerCore::Event event = CapturePlayerCore::Event::End;
    while (reached && (event = player.next(CapturePlayerCore::Direction::Forward)) != CapturePlayerCore::Event::End
           && event != CapturePlayerCore::Event::Frame) {
    }
    if (!reached || event != CapturePlayerCore::Event::Frame) {
        if (error)
            *error = QStringLiteral("%1: frame %2 cannot be read%3")
                         .arg(capture)
                         .arg(n)
                         .arg(message.isEmpty() ? QString() : QStringLiteral(": ") + message);
        return false;
    }
    context.frameId = n;
    context.dualEcho = playedFrameDualEcho(player);
    context.time = player.frameTime();
    context.position = player.position();
    return true;
}

bool contextOf(OutputFormat format, const ShownFrame& shown, const QString& software, FrameContext& context,
               QString* error)
{
    context.source.software = software;
    context.source.oneFrame = true;
    context.dualEcho = shown.dualEcho;
    // The CSV numbers the frames of every window export from 1.
    if (!shown.capture.isEmpty() && shown.number >= 1 && format != OutputFormat::Csv) {
        context.source.capture = shown.capture;
        context.source.part = {false, false};
        return playCaptureFrame(shown.capture, shown.number, context, error);
    }
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000;
    context.time.captureMicros = now;
    context.time.seconds = static_cast<std::uint32_t>(now / 1000000);
    context.time.fraction = static_cast<std::uint32_t>(now % 1000000);
    return true;
}

qint64 exportOne(const QString& path, OutputFormat format, const ShownFrame& shown, const SinkOptions& options,
                 const QString& software, QString* error, const PointArrays* chosen)
{
    FrameContext c;
    if (!contextOf(format, shown, software, c, error))
        return -1;
    const std::unique_ptr<FrameSink> sink = makeSink(path, format, options, c.source);
    return writeOneFrame(*sink, {c.frameId, shown.frame, shown.snapshot, c.dualEcho, c.time, c.position}, error, chosen);
}

template <typename T>
void keep(const std::vector<T>& from, const std::vector<std::size_t>& positions, std::size_t size, std::vector<T>& to)
{
    to.clear();
    if (from.size() < size)
        return; // an array the conversion's precision does not fill
    for (std::size_t p : positions)
        if (p < size)
            to.push_back(from[p]);
}

template <typename... Arrays>
void keepEach(const PointArrays& all, const std::vector<std::size_t>& positions, PointArrays& out, Arrays... arrays)
{
    (keep(all.*arrays, positions, all.size, out.*arrays), ...);
}

// The points of `all` at `positions`, in that order; positions past its end are left out.
void keepPoints(const PointArrays& all, const std::vector<std::size_t>& positions, PointArrays& out)
{
    using P = PointArrays;
    keepEach(all, positions, out, &P::x, &P::y, &P::z, &P::intensity, &P::channel, &P::azimuth, &P::distance, &P::time,
             &P::echo, &P::theta, &P::distanceCm, &P::source);
    out.size = out.x.size();
}

} // namespace

qint64 exportShownFrame(const QString& path, OutputFormat format, const ShownFrame& shown, const SinkOptions& options,
                        const QString& software, QString* error)
{
    return exportOne(path, format, shown, options, software, error, nullptr);
}

qint64 exportShownPoints(const QString& path, OutputFormat format, const ShownFrame& shown,
                         const std::vector<ConvertedPoint>& selected, const QString& software, QString* error)
{
    PointArrays all, chosen;
    convertWholeFrame(shown.frame, shown.snapshot, all);
    keepPoints(all, wholeFramePositions(shown.frame, selected), chosen);
    return exportOne(path, format, shown, SinkOptions{}, software, error, &chosen);
}

} // namespace hvk32
