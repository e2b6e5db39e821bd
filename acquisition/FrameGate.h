#pragma once
// Keeps the window from falling behind the receivers: at most kMaxWaiting frames may be on
// their way to the window at once. A receiver asks before it emits; when the window is
// behind, the frame is skipped (and counted) instead of queueing without bound.

#include <atomic>
#include <cstdint>

namespace hvk32 {

class FrameGate {
public:
    static constexpr int kMaxWaiting = 2;

    // Receiver side: true when the frame may be emitted.
    bool tryEnter()
    {
        int waiting = waiting_.load();
        while (waiting < kMaxWaiting) {
            if (waiting_.compare_exchange_weak(waiting, waiting + 1))
                return true;
        }
        ++skipped_;
        return false;
    }

    // For a frame that must never be skipped (a single step asked for by the user).
    void enter() { ++waiting_; }

    // Window side: a frame has arrived.
    void leave()
    {
        int waiting = waiting_.load();
        while (waiting > 0 && !waiting_.compare_exchange_weak(waiting, waiting - 1)) {
        }
    }

    // The window dropped an arrived frame in favour of a newer one.
    void countSkipped() { ++skipped_; }

    int waiting() const { return waiting_.load(); }
    std::uint64_t skipped() const { return skipped_.load(); }

private:
    std::atomic<int> waiting_{0};
    std::atomic<std::uint64_t> skipped_{0};
};

} // namespace hvk32
