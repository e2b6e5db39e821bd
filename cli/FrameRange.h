#pragma once
// The frame range of the capture commands: --from N / --to M by frame number (numbered from 1
// as the viewer's counter numbers them, both ends included), or --start S / --duration D by
// time in seconds from the capture's first record (the frames that start in S .. S + D).
// Either end may be left out.

#include <QString>

namespace hvk32 {

class CapturePlayerCore;
class CaptureFrameIndex;

namespace platform {
class OptionParser;
}

struct FrameRange {
    long from = 0; // 0: from the first frame
    long to = 0;   // 0: to the last frame
    double start = -1;    // [s] from the first record; negative: not given
    double duration = -1; // [s] from the start; negative: not given

    bool byTime() const { return start >= 0 || duration >= 0; }
    bool given() const { return from || to || byTime(); }
    bool isPast(long frame) const { return to > 0 && frame > to; }
};

// Adds --from, --to, --start and --duration to a command's options.
void addFrameRangeOptions(platform::OptionParser& parser, FrameRange& range);
// False, with the complaint printed, when the range is empty or mixes frames with times.
bool checkFrameRange(const char* command, const FrameRange& range);

// The frames of `index` that start in the time range: sets range.from and range.to. False
// when no frame starts there; `message` says why.
bool framesInTime(const CaptureFrameIndex& index, FrameRange& range, QString* message);

// Starts a run of `player` (open on `path`) so that its next frame is the first of the range:
// past the first frame through the frame index, without decoding the frames before it. A
// range by time is turned into frame numbers first (range.from and range.to). False, with
// the reason printed, when the capture has no such frame.
bool startAtFrame(const char* command, CapturePlayerCore& player, const QString& path, FrameRange& range);

// Builds the index a range needs (up to range.from, or up to range.to with `throughEnd`, or
// all of it for a range by time) and turns a range by time into frame numbers. False, with
// the reason printed, when the capture cannot be indexed or has no frame in the range.
bool indexFrameRange(const char* command, const QString& path, FrameRange& range, CaptureFrameIndex& index,
                     bool throughEnd = false);

} // namespace hvk32
