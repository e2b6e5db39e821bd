#pragma once
// Keeps the window from falling behind the receivers: at most kMaxWaiting frames may be on
// their way to the window at once. A receiver asks before it emits; when the window is
// behind, the frame is skipped (and counted) instead of queueing without bound.
// Every frame a receiver asks about was assembled from the device's stream, so the gate also
// counts them and stamps the last one: the device's own frame rate, whatever the window draws.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace hvk32 {

class FrameGate {
public:
    static constexpr int kMaxWaiting = 2;

    // Receiver side: true when the frame may be emitted.
    bool tryEnter()
    {
        noteAssembled();
        int waiting = waiting_.load();
        while (waiting < kMaxWaiting) {
            if (waiting_.compare_exchange_weak(waiting, waiting + 1))
                return true;
        }
        ++skipped_;
        return false;
    }

    // For a frame that must never be skipped (a single step asked for by the user).
    void enter()
    {
        noteAssembled();
        ++waiting_;
    }

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

    // Frames the receivers assembled, and when the last of them was (steady clock, in ms).
    // Read the count first: the time is then that of this frame or a later one.
    std::uint64_t assembled() const { return assembled_.load(); }
    std::int64_t lastAssembledMs() const { return lastAssembledMs_.load(); }

    static std::int64_t nowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    void noteAssembled()
    {
        lastAssembledMs_.store(nowMs());
        ++assembled_;
    }

    std::atomic<int> waiting_{0};
    std::atomic<std::uint64_t> skipped_{0};
    std::atomic<std::uint64_t> assembled_{0};
    std::atomic<std::int64_t> lastAssembledMs_{0};
};

} // namespace hvk32
