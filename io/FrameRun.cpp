#include "io/FrameRun.h"

namespace hvk32 {

FrameRun writePlayedFrames(CapturePlayerCore& player, FrameSink& sink, long last, long count,
                           const std::function<bool()>& stop,
                           const std::function<void(const PlayedFrames::Frame&, long written)>& onFrame)
{
    FrameRun run;
    PlayedFrames played(player, last);
    const PlayedFrames::Frame* first = played.next();
    if (!first) {
        played.stop();
        run.end = FrameRun::End::NoFrame;
        return run;
    }
    if (!sink.open()) {
        run.end = FrameRun::End::NotOpened;
        return run;
    }
    bool failed = false;
    while (!stop() && !(count && run.frames >= count)) {
        const PlayedFrames::Frame* f = first ? first : played.next();
        first = nullptr;
        if (!f)
            break;
        if (onFrame)
            onFrame(*f, run.frames);
        const qint64 written = sink.write({f->frameId, f->frame, f->snapshot, f->dualEcho, f->time, f->position});
        if (written < 0) {
            failed = true;
            break;
        }
        ++run.frames;
        run.points += static_cast<unsigned long long>(written);
    }
    played.stop();
    // Frames still being written reach their files first; the counts keep only those that did.
    if (!sink.settle(run.frames, run.points))
        failed = true;
    // A stopped or failed run leaves its output unfinished, which removes a single file.
    const bool stopped = stop();
    if (!failed && !stopped && !sink.finish())
        failed = true;
    run.end = failed ? FrameRun::End::Failed : stopped ? FrameRun::End::Stopped : FrameRun::End::Done;
    return run;
}

} // namespace hvk32
