#include "io/CaptureSlice.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"

#include <QIODevice>

#include <algorithm>
#include <vector>

namespace hvk32 {

namespace {
constexpr qint64 kCopyChunk = 1 << 20;
}

bool findSliceBounds(const QString& path, const CaptureFrameIndex& index, int from, int to, SliceBounds& bounds,
                     QString* message)
{
    auto fail = [message](const QString& why) {
        if (message)
            *message = why;
        return false;
    };
    if (from < 1 || to < from || to > index.frameCount())
        return fail(QStringLiteral("frames %1 to %2 are not in the capture's %3").arg(from).arg(to).arg(index.frameCount()));
    bounds = {};
    bounds.begin = index.frame(from).recordOffset;

    // The last device-info record before the first frame: its settings are in force there.
    capturefile::CaptureReader reader;
    if (!reader.open(path, message))
        return false;
    capturefile::ScannerRecord record{};
    qint64 offset = 0;
    while (reader.position() < bounds.begin) {
        const auto read = reader.next(record, &offset);
        if (read == capturefile::CaptureReader::Read::End)
            break;
        if (read == capturefile::CaptureReader::Read::Scanner && offset < bounds.begin
            && payloadKindOf(record.data() + capturefile::kPayloadOffset) == PayloadKind::DeviceInfo) {
            bounds.deviceInfoOffset = offset;
            bounds.deviceInfoSize = static_cast<qint64>(capturefile::kRecordHeaderSize) + reader.lastHeader().capturedLength;
        }
    }
    if (bounds.deviceInfoOffset < 0)
        return fail(QStringLiteral("no device-info record before frame %1").arg(from));

    // The last frame ends in the record the player is in when it completes that frame.
    CapturePlayerCore player;
    if (!player.open(path, message))
        return false;
    player.start();
    if (!player.seek(index, to))
        return fail(QStringLiteral("frame %1 cannot be read").arg(to));
    for (;;) {
        const auto event = player.next(CapturePlayerCore::Direction::Forward);
        if (event == CapturePlayerCore::Event::Frame)
            break;
        if (event == CapturePlayerCore::Event::End)
            return fail(QStringLiteral("frame %1 does not end in the file").arg(to));
    }
    bounds.end = player.position();
    return true;
}

bool copySlice(QIODevice& in, const SliceBounds& bounds, QIODevice& out, QString* message,
               const std::function<bool()>& keepGoing)
{
    auto fail = [message](const QString& why) {
        if (message)
            *message = why;
        return false;
    };
    // Copies `length` bytes from `offset` of the input.
    std::vector<char> buffer(static_cast<std::size_t>(kCopyChunk));
    auto copy = [&](qint64 offset, qint64 length) {
        if (!in.seek(offset))
            return fail(QStringLiteral("cannot read the capture: %1").arg(in.errorString()));
        while (length > 0) {
            if (keepGoing && !keepGoing())
                return fail(QStringLiteral("stopped"));
            const qint64 want = std::min(length, kCopyChunk);
            if (in.read(buffer.data(), want) != want)
                return fail(QStringLiteral("cannot read the capture: %1").arg(in.errorString()));
            if (out.write(buffer.data(), want) != want)
                return fail(QStringLiteral("cannot write: %1").arg(out.errorString()));
            length -= want;
        }
        return true;
    };
    return copy(0, static_cast<qint64>(capturefile::kFileHeaderSize))
        && copy(bounds.deviceInfoOffset, bounds.deviceInfoSize)
        && copy(bounds.begin, bounds.end - bounds.begin);
}

} // namespace hvk32
