// hvk32::write, in a file of its own: a program that never calls it links none of the file
// writers. It runs "hvk32-cli export --out" over a range of frames: the same player, sinks and
// selection, without the command's progress bar and messages.

#include "hvk32/hvk32.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "convert/FrameReader.h"
#include "hvk32/CaptureState.h"
#include "io/FrameSinks.h"

#include <QDateTime>
#include <QFileInfo>

#include <cmath>

namespace hvk32 {

namespace {

constexpr int kChannels = 32;
constexpr float kFullTurn = 360.0f;

// The export's selection for the capture's filter: its channels and distance range, every
// azimuth.
CsvExportOptions selectionOf(const Filter& filter)
{
    CsvExportOptions selection;
    for (int c = 0; c < kChannels; ++c)
        if (filter.keepsChannel(c))
            selection.channels << c;
    selection.angleMin = 0.0f;
    selection.angleMax = kFullTurn;
    if (filter.limitsDistance()) {
        selection.distanceMin = static_cast<float>(filter.minDistance());
        if (!std::isinf(filter.maxDistance()))
            selection.distanceMax = static_cast<float>(filter.maxDistance());
    }
    return selection;
}

// This library and its version, and the capture's date: that of its first record (UTC), or
// today's when it has none.
LasOrigin lasOrigin(const QString& pcap)
{
    LasOrigin origin;
    origin.generatingSoftware = QStringLiteral("hvk32 ") + QStringLiteral(HVK32_VERSION);
    QDate date = QDateTime::currentDateTimeUtc().date();
    capturefile::CaptureReader reader;
    capturefile::ScannerRecord record;
    if (reader.open(pcap) && reader.next(record) != capturefile::CaptureReader::Read::End)
        date = QDateTime::fromSecsSinceEpoch(reader.lastHeader().seconds, Qt::UTC).date();
    origin.creationDayOfYear = static_cast<std::uint16_t>(date.dayOfYear());
    origin.creationYear = static_cast<std::uint16_t>(date.year());
    return origin;
}

std::unique_ptr<FrameSink> sinkFor(const QString& out, const detail::CaptureAccess::State& s, bool fromStart, bool toEnd)
{
    const CsvExportOptions selection = selectionOf(s.filter);
    auto named = [&out](const char* extension) { return out.endsWith(QLatin1String(extension), Qt::CaseInsensitive); };
    if (named(".csv"))
        return makeCsvSink(out, selection);
    if (named(".pcd"))
        return makeCloudFileSink(out, CloudFormat::Pcd, selection, pointfile::FieldSet::all());
    if (named(".ply"))
        return makeCloudFileSink(out, CloudFormat::Ply, selection, pointfile::FieldSet::all());
    if (named(".las"))
        return makeLasSink(out, selection, lasOrigin(s.path));
    if (named(".mcap"))
        return makeMcapSink(out, s.path, selection, "zstd", "hvk32 " HVK32_VERSION, {fromStart, toEnd});
    throw Error(Error::Kind::BadArgument,
                out.toStdString() + ": the name ends in none of .csv, .pcd, .ply, .las and .mcap");
}

} // namespace

void write(const std::string& path, const Capture& capture)
{
    write(path, capture, 0, capture.size() - 1);
}

void write(const std::string& path, const Capture& capture, std::size_t first, std::size_t last)
{
    detail::CaptureAccess::State& s = detail::CaptureAccess::state(capture);
    const std::size_t count = capture.size();
    if (last >= count)
        throw detail::outOfRange(s.pathText, count, last);
    if (first > last)
        throw Error(Error::Kind::BadArgument, "frames " + std::to_string(first) + " to " + std::to_string(last)
                                                  + ": the first is after the last");
    const QString out = QString::fromStdString(path);
    // The output replaces its file when complete: never when it is the capture itself.
    if (QFileInfo::exists(out) && QFileInfo(out).canonicalFilePath() == QFileInfo(s.path).canonicalFilePath())
        throw Error(Error::Kind::BadArgument, path + " would overwrite the capture");
    const std::unique_ptr<FrameSink> sink = sinkFor(out, s, first == 0, last == count - 1);
    if (!sink->canCreate())
        throw Error(Error::Kind::WriteFailed, sink->error().toStdString());

    CapturePlayerCore player;
    QString message;
    if (!player.open(s.path, &message))
        throw Error(Error::Kind::ReadFailed, s.pathText + ": " + message.toStdString());
    player.start();
    const int from = static_cast<int>(first + 1);
    const int to = static_cast<int>(last + 1);
    if (from > 1 && !player.seek(s.index, from))
        throw Error(Error::Kind::ReadFailed, s.pathText + ": frame " + std::to_string(from) + " cannot be read");
    if (!sink->open())
        throw Error(Error::Kind::WriteFailed, sink->error().toStdString());
    LidarData frame;
    long frames = 0;
    unsigned long long points = 0;
    bool failed = false;
    while (player.frameCounter() < to) {
        const auto event = player.next(CapturePlayerCore::Direction::Forward);
        if (event == CapturePlayerCore::Event::End)
            break;
        if (event != CapturePlayerCore::Event::Frame)
            continue;
        player.takeFrame(frame);
        const ConversionSnapshot snapshot = playedFrameSnapshot(player);
        const qint64 written = sink->write({player.frameCounter(), frame, snapshot, playedFrameDualEcho(player),
                                            player.frameTime(), player.position()});
        if (written < 0) {
            failed = true;
            break;
        }
        ++frames;
        points += static_cast<unsigned long long>(written);
    }
    // A capture that ends before the last frame (it is damaged past the index) is a failure.
    const bool whole = failed || frames == to - from + 1;
    // Frames still being written reach their files first; a failed run leaves no single file.
    if (!sink->settle(frames, points) || failed)
        throw Error(Error::Kind::WriteFailed, sink->error().toStdString());
    if (!whole)
        throw Error(Error::Kind::ReadFailed,
                    s.pathText + ": frame " + std::to_string(from + frames) + " cannot be read");
    if (!sink->finish())
        throw Error(Error::Kind::WriteFailed, sink->error().toStdString());
}

} // namespace hvk32
