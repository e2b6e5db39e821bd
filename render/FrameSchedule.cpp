#include "render/FrameSchedule.h"

#include <cmath>
#include <numeric>

namespace hvk32::render {

FrameRate captureFrameRate(double firstStart, double lastStart, long frames)
{
    if (frames < 2 || !(lastStart > firstStart))
        return {1, 1};
    return frameRateOf(std::round((frames - 1) / (lastStart - firstStart) * 100.0) / 100.0);
}

FrameRate frameRateOf(double fps)
{
    // Hundredths for a rate measured from a capture would do, but a rate typed as 29.97 or
    // 23.976 needs thousandths.
    const long num = std::lround(fps * 1000.0);
    const long divisor = std::gcd(num, 1000L);
    return {static_cast<int>(num / divisor), static_cast<int>(1000 / divisor)};
}

long FrameSchedule::add(double start)
{
    if (!started_) {
        started_ = true;
        first_ = start;
        last_ = 0;
        return 0;
    }
    // Every picture due before this frame began shows the one before it.
    const double since = start - first_;
    long shown = 0;
    while (pictures_ * step_ + slack_ < since) {
        ++pictures_;
        ++shown;
    }
    last_ = since;
    return shown;
}

long FrameSchedule::finish()
{
    if (!started_)
        return 0;
    // The last frame fills the pictures due by its own start.
    long shown = 0;
    while (pictures_ * step_ <= last_ + slack_) {
        ++pictures_;
        ++shown;
    }
    return shown;
}

long FrameSchedule::picturesFor(double first, double last, FrameRate fps, double speed, FrameRate capture)
{
    FrameSchedule s(fps, speed, capture);
    s.add(first);
    s.last_ = last - first;
    return s.finish();
}

} // namespace hvk32::render
