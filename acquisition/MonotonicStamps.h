#pragma once
// The time stamps of the records a recording writes, kept from going back. Records reach the
// file from more than one receive thread (data and telemetry), each with its arrival time,
// and a thread that writes a batch a moment late would put earlier times after later ones.
// next() is called under the writer's lock, record by record in file order: a time earlier
// than the last one written becomes the last one. A time further back than a thread can lag
// means the system clock was set back; later times are then moved forward by that step, so
// the recording's times go on from where they were instead of standing still.

#include <cstdint>

namespace hvk32 {

class MonotonicStamps {
public:
    // Further back than any receive thread lags behind another: the clock was set back.
    static constexpr std::int64_t kClockStepMicros = 5000000;

    // The time to write for a record that arrived at `micros` (microseconds since 1970).
    std::int64_t next(std::int64_t micros)
    {
        std::int64_t stamp = micros + shift_;
        if (started_ && stamp < last_) {
            if (last_ - stamp > kClockStepMicros)
                shift_ += last_ - stamp;
            stamp = last_;
            ++raised_;
        }
        started_ = true;
        last_ = stamp;
        return stamp;
    }

    // The last time written; 0 before the first record.
    std::int64_t last() const { return last_; }
    // Records whose time was raised to keep the order.
    std::uint64_t raised() const { return raised_; }

    void reset() { *this = MonotonicStamps(); }

private:
    bool started_ = false;
    std::int64_t last_ = 0;
    std::int64_t shift_ = 0;
    std::uint64_t raised_ = 0;
};

} // namespace hvk32
