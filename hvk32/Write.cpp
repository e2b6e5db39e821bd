// hvk32::write, in a file of its own: a program that never calls it links none of the file
// writers. It runs "hvk32-cli export --out" over a range of frames: the same player, sinks and
// selection, without the command's progress bar and messages.

#include "hvk32/hvk32.h"

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "convert/FrameReader.h"
#include "hvk32/CaptureState.h"
#include "io/FrameRun.h"
#include "io/FrameSinks.h"
#include "io/OutputFormats.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <optional>

namespace hvk32 {

namespace {

constexpr int kChannels = 32;

// The export's options for the capture's filter: its channels and distance range, every
// azimuth, every field.
SinkOptions optionsOf(const Filter& filter)
{
    SinkOptions options;
    options.channels.clear();
    for (int c = 0; c < kChannels; ++c)
        if (filter.keepsChannel(c))
            options.channels << c;
    if (filter.limitsDistance()) {
        options.distanceMin = static_cast<float>(filter.minDistance());
        if (!std::isinf(filter.maxDistance()))
            options.distanceMax = static_cast<float>(filter.maxDistance());
    }
    return options;
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
    const std::optional<OutputFormat> format = outputFormatOf(out, OutputUse::Run);
    if (!format)
        throw Error(Error::Kind::BadArgument,
                    path + ": the name ends in none of " + extensionList(OutputUse::Run).toStdString());
    SinkSource source;
    source.capture = s.path;
    source.part = {first == 0, last == count - 1};
    source.software = QStringLiteral("hvk32 " HVK32_VERSION);
    const std::unique_ptr<FrameSink> sink = makeSink(out, *format, optionsOf(s.filter), source);
    if (!sink->canCreate())
        throw Error(Error::Kind::WriteFailed, sink->error().toStdString());

    CapturePlayerCore player;
    QString message;
    if (!player.open(s.path, &message))
        throw Error(Error::Kind::ReadFailed, s.pathText + ": " + message.toStdString());
    player.start();
    const long from = static_cast<long>(first + 1);
    const long to = static_cast<long>(last + 1);
    if (from > 1 && !player.seek(s.index, static_cast<int>(from)))
        throw Error(Error::Kind::ReadFailed, s.pathText + ": frame " + std::to_string(from) + " cannot be read");
    const FrameRun run = writePlayedFrames(player, *sink, to, 0, [] { return false; });
    switch (run.end) {
    case FrameRun::End::Done:
        break;
    case FrameRun::End::NoFrame:
    case FrameRun::End::Stopped:
        throw Error(Error::Kind::ReadFailed, s.pathText + ": frame " + std::to_string(from) + " cannot be read");
    case FrameRun::End::NotOpened:
    case FrameRun::End::Failed:
        throw Error(Error::Kind::WriteFailed, sink->error().toStdString());
    }
    // A capture that ends before the last frame (it is damaged past the index) is a failure;
    // the run has completed the output, so it is taken away again.
    if (run.frames != to - from + 1) {
        QFile::remove(out);
        throw Error(Error::Kind::ReadFailed,
                    s.pathText + ": frame " + std::to_string(from + run.frames) + " cannot be read");
    }
}

} // namespace hvk32
