#pragma once
// Counts frames and measures their rate over a sliding window, for the status bar.
// Plain object: the caller passes the time.

#include <cstdint>
#include <deque>

namespace hvk32 {

class FrameRateMeter {
public:
    explicit FrameRateMeter(std::int64_t windowMs = 2000) : windowMs_(windowMs) {}

    void addFrame(std::int64_t nowMs);
    // Frames per second over the window ending at nowMs; 0 once frames stop coming.
    double rate(std::int64_t nowMs) const;
    std::uint64_t total() const { return total_; }
    void reset();

private:
    void dropOld(std::int64_t nowMs);

    std::int64_t windowMs_;
    std::deque<std::int64_t> times_;
    std::uint64_t total_ = 0;
};

} // namespace hvk32
