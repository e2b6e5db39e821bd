#pragma once
// Which frame of a capture each picture of a video shows: the video runs at a given number of
// pictures a second and shows the capture `speed` times as fast as it was recorded, so picture
// k shows the last frame that began by k·speed / fps seconds after the first frame, plus a
// quarter of the capture's frame interval that absorbs the jitter of frame times. Frames come
// one at a time, so a long capture is never held; a frame may fill several pictures (slow
// motion) or none (fast).

#include <cstdint>

namespace hvk32::render {

// A frame rate as a fraction, as a video stores it.
struct FrameRate {
    int num = 10, den = 1;
    double value() const { return static_cast<double>(num) / den; }
};

// The rate frames were recorded at, from the first and last frame's start [s] and their
// count, to the hundredth of a frame a second; nothing sensible (1/1) for fewer than two.
FrameRate captureFrameRate(double firstStart, double lastStart, long frames);
// A rate given as a number (e.g. 29.97), to the thousandth.
FrameRate frameRateOf(double fps);

class FrameSchedule {
public:
    // `capture`: the rate the frames were recorded at.
    FrameSchedule(FrameRate fps, double speed, FrameRate capture)
        : step_(speed / fps.value()), slack_(0.25 / capture.value())
    {
    }

    // A frame that began `start` seconds after the capture's first: returns how many pictures
    // still show the frame before it (0 for the first frame).
    long add(double start);
    // After the last frame: how many pictures show it.
    long finish();

    long pictures() const { return pictures_; }
    // The pictures a run of frames from `first` to `last` start [s] gives, for a caller that
    // must know beforehand (a camera turning once over the video).
    static long picturesFor(double first, double last, FrameRate fps, double speed, FrameRate capture);

private:
    double step_;       // capture seconds a picture
    double slack_;      // [s]
    double first_ = 0;  // the first frame's start
    double last_ = 0;   // the newest frame's start, from the first
    bool started_ = false;
    long pictures_ = 0; // pictures given so far
};

} // namespace hvk32::render
