#pragma once
// The status bar's frame counters: frames the device sent (every frame a receiver or the
// player assembled), frames the window drew, frames the display skipped (sent - drawn), and
// the device's frame rate measured from the assembly times, so a slow display does not lower
// it. Plain object: the caller passes the receivers' totals and the times.

#include <cstdint>
#include <deque>

namespace hvk32 {

class FrameCounters {
public:
    explicit FrameCounters(std::int64_t windowMs = 2000) : windowMs_(windowMs) {}

    // Starts counting afresh from the receivers' current total (a new connection or capture).
    void restart(std::uint64_t assembledTotal);
    // Records the receivers' total and when their last frame was assembled.
    void sample(std::uint64_t assembledTotal, std::int64_t lastAssembledMs);
    void frameDrawn() { ++drawn_; }

    // Frames sent since the restart, given the receivers' current total.
    std::uint64_t sent(std::uint64_t assembledTotal) const
    {
        return assembledTotal > baseline_ ? assembledTotal - baseline_ : 0;
    }
    std::uint64_t drawn() const { return drawn_; }
    // Sent but not drawn: skipped while the display was behind or frozen.
    std::uint64_t skipped(std::uint64_t assembledTotal) const
    {
        const std::uint64_t s = sent(assembledTotal);
        return s > drawn_ ? s - drawn_ : 0;
    }
    // Frames per second assembled within the window ending at nowMs; 0 once frames stop.
    double deviceRate(std::int64_t nowMs) const;

private:
    struct Sample {
        std::uint64_t total;
        std::int64_t timeMs;
    };

    std::int64_t windowMs_;
    std::uint64_t baseline_ = 0;
    std::uint64_t drawn_ = 0;
    std::deque<Sample> samples_;
};

} // namespace hvk32
