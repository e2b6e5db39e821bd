#include "view/FrameRateMeter.h"

namespace hvk32 {

void FrameRateMeter::addFrame(std::int64_t nowMs)
{
    ++total_;
    times_.push_back(nowMs);
    dropOld(nowMs);
}

void FrameRateMeter::dropOld(std::int64_t nowMs)
{
    while (!times_.empty() && nowMs - times_.front() > windowMs_)
        times_.pop_front();
}

double FrameRateMeter::rate(std::int64_t nowMs) const
{
    // Frames within the window; the rate is measured between the first and the last of them,
    // so it is right from the second frame on rather than ramping up over the window.
    std::size_t first = 0;
    while (first < times_.size() && nowMs - times_[first] > windowMs_)
        ++first;
    const std::size_t n = times_.size() - first;
    if (n < 2)
        return 0.0;
    const std::int64_t span = times_.back() - times_[first];
    return span > 0 ? 1000.0 * static_cast<double>(n - 1) / static_cast<double>(span) : 0.0;
}

void FrameRateMeter::reset()
{
    times_.clear();
    total_ = 0;
}

} // namespace hvk32
