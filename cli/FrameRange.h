#pragma once
// The --from N / --to M frame range of the capture commands. Frames are numbered from 1 as
// the viewer's counter numbers them, both ends included; either end may be left out.

#include <QString>

namespace hvk32 {

class CapturePlayerCore;

namespace cli {
class OptionParser;
}

struct FrameRange {
    long from = 0; // 0: from the first frame
    long to = 0;   // 0: to the last frame

    bool isPast(long frame) const { return to > 0 && frame > to; }
};

// Adds --from and --to to a command's options.
void addFrameRangeOptions(cli::OptionParser& parser, FrameRange& range);
// False, with the complaint printed, when the range is empty.
bool checkFrameRange(const char* command, const FrameRange& range);

// Starts a run of `player` (open on `path`) so that its next frame is frame `range.from`:
// past the first frame through the frame index, without decoding the frames before it.
// False, with the reason printed, when the capture has fewer frames.
bool startAtFrame(const char* command, CapturePlayerCore& player, const QString& path, const FrameRange& range);

} // namespace hvk32
