#pragma once
// A run of a capture's frames into one sink: the player on a thread of its own (PlayedFrames)
// and the sink's open, write, settle and finish in the order every whole-capture writer needs.

#include "io/FrameSinks.h"
#include "io/PlayedFrames.h"

#include <functional>

namespace hvk32 {

struct FrameRun {
    enum class End {
        Done,    // the output is complete
        NoFrame, // the capture played no frame: nothing was created
        NotOpened, // the sink could not be opened; its error() says why
        Failed,  // the sink's error() says why; a single-file output is not left behind
        Stopped, // asked to stop: only the files of the frames counted stay (one file per frame)
    };
    End end = End::Done;
    long frames = 0;              // frames that reached the output
    unsigned long long points = 0; // their points
};

// Plays `player` (open, its next frame the first to write) up to frame `last` (0: the end of
// the capture), at most `count` frames (0: no limit), and writes each into `sink`, which has
// passed canCreate(). The sink is opened once a frame has been played, so a capture without
// one leaves no output. `stop` is asked before each frame and at the end; `onFrame` sees each
// frame before it is written, with the number written before it.
FrameRun writePlayedFrames(CapturePlayerCore& player, FrameSink& sink, long last, long count,
                           const std::function<bool()>& stop,
                           const std::function<void(const PlayedFrames::Frame&, long written)>& onFrame = {});

} // namespace hvk32
