#include "view/PacketLossMeter.h"

namespace hvk32 {

void PacketLossMeter::add(std::int64_t nowMs, std::uint64_t expectedPackets, std::uint64_t lostPackets)
{
    // Fewer packets than before: the receiver started again. (The lost count alone may go
    // down by the odd packet that arrives late; lostPercent() keeps that at 0.)
    if (!samples_.empty() && expectedPackets < samples_.back().expected)
        samples_.clear();
    samples_.push_back({nowMs, expectedPackets, lostPackets});
    // Keep one sample at or before the window's start as the baseline.
    while (samples_.size() > 1 && nowMs - samples_[1].ms >= windowMs_)
        samples_.pop_front();
}

double PacketLossMeter::lostPercent() const
{
    if (samples_.size() < 2)
        return 0.0;
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const std::uint64_t expected = last.expected - first.expected;
    const std::uint64_t lost = last.lost > first.lost ? last.lost - first.lost : 0;
    return expected ? 100.0 * static_cast<double>(lost) / static_cast<double>(expected) : 0.0;
}

} // namespace hvk32
