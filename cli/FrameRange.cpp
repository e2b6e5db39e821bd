#include "cli/FrameRange.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "cli/OptionParser.h"

#include <cstdio>

namespace hvk32 {

namespace {
constexpr long kMaxFrame = 1L << 30;
}

void addFrameRangeOptions(cli::OptionParser& parser, FrameRange& range)
{
    parser.integer("--from", 1, kMaxFrame, range.from).integer("--to", 1, kMaxFrame, range.to);
}

bool checkFrameRange(const char* command, const FrameRange& range)
{
    if (range.from > 0 && range.to > 0 && range.from > range.to) {
        std::fprintf(stderr, "hvk32-cli %s: --from %ld is after --to %ld\n", command, range.from, range.to);
        return false;
    }
    return true;
}

bool startAtFrame(const char* command, CapturePlayerCore& player, const QString& path, const FrameRange& range)
{
    player.start();
    if (range.from <= 1)
        return true;
    CaptureFrameIndex index;
    index.stopAfterFrames(static_cast<int>(range.from));
    QString message;
    if (!index.build(path, &message)) {
        std::fprintf(stderr, "hvk32-cli %s: %s: %s\n", command, qPrintable(path), qPrintable(message));
        return false;
    }
    if (index.frameCount() < range.from) {
        std::fprintf(stderr, "hvk32-cli %s: %s has %d frame%s, so there is no frame %ld\n", command,
                     qPrintable(path), index.frameCount(), index.frameCount() == 1 ? "" : "s", range.from);
        return false;
    }
    if (!player.seek(index, static_cast<int>(range.from))) {
        std::fprintf(stderr, "hvk32-cli %s: %s: frame %ld cannot be read\n", command, qPrintable(path), range.from);
        return false;
    }
    return true;
}

} // namespace hvk32
