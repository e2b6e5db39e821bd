#pragma once
// Lost data packets over a sliding window of time, for the status bar. Plain object: the
// caller passes the time and the stream's running totals.

#include <cstdint>
#include <deque>

namespace hvk32 {

class PacketLossMeter {
public:
    static constexpr double kWarningPercent = 0.1; // above this the loss is shown as a warning

    explicit PacketLossMeter(std::int64_t windowMs = 10000) : windowMs_(windowMs) {}

    // Running totals since the receiver started: packets the device sent (received plus
    // lost) and packets lost. A total of sent packets that goes down means a restart.
    void add(std::int64_t nowMs, std::uint64_t expectedPackets, std::uint64_t lostPackets);
    // Lost packets as a percentage of those sent within the window; 0 without traffic.
    double lostPercent() const;
    void reset() { samples_.clear(); }

private:
    struct Sample {
        std::int64_t ms;
        std::uint64_t expected, lost;
    };

    std::int64_t windowMs_;
    std::deque<Sample> samples_; // the oldest is the baseline, at or before the window's start
};

} // namespace hvk32
