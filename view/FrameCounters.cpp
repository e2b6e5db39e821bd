#include "view/FrameCounters.h"

namespace hvk32 {

void FrameCounters::restart(std::uint64_t assembledTotal)
{
    baseline_ = assembledTotal;
    drawn_ = 0;
    samples_.clear();
}

void FrameCounters::sample(std::uint64_t assembledTotal, std::int64_t lastAssembledMs)
{
    if (assembledTotal <= baseline_ || (!samples_.empty() && samples_.back().total == assembledTotal))
        return; // nothing new: the last frame's time is already known
    if (!samples_.empty() && lastAssembledMs - samples_.back().timeMs > windowMs_)
        samples_.clear(); // the stream paused: measure from its resumption
    samples_.push_back({assembledTotal, lastAssembledMs});
    // Keep the oldest sample that still reaches back to the start of the window.
    while (samples_.size() > 2 && lastAssembledMs - samples_[1].timeMs >= windowMs_)
        samples_.pop_front();
}

double FrameCounters::deviceRate(std::int64_t nowMs) const
{
    if (samples_.size() < 2 || nowMs - samples_.back().timeMs > windowMs_)
        return 0.0;
    // Between two assembly times, so the figure does not depend on when the samples were taken.
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const std::int64_t span = last.timeMs - first.timeMs;
    if (span <= 0 || last.total <= first.total)
        return 0.0;
    return 1000.0 * static_cast<double>(last.total - first.total) / static_cast<double>(span);
}

} // namespace hvk32
