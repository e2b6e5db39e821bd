#pragma once
// Hands finished frames from a receiving thread to the thread that emits them, without
// allocating or deep-copying per frame once it has warmed up: a frame is swapped into a
// spare, queued, and after delivery the spare goes back to be filled again. Frames are delivered one per call, in the order posted.
// Plain object: the Qt shells post one delivery call per frame into the receiving
// object's thread.

#include "records/LidarData.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace hvk32 {

class FrameRelay {
public:
    // Producer: queues the frame's contents by swapping them with a spare. `frame` gets the
    // spare's stale contents back and must be cleared before it is filled again.
    void postBySwap(LidarData& frame);

    // Consumer: passes the oldest queued frame to `deliver` and takes the spare back
    // afterwards; false when none was queued. The frame stays intact during the call
    // whatever the producer does meanwhile.
    template <typename Deliver>
    bool deliverOne(Deliver&& deliver)
    {
        std::unique_ptr<LidarData> frame = takeQueued();
        if (!frame)
            return false;
        deliver(static_cast<const LidarData&>(*frame));
        recycle(std::move(frame));
        return true;
    }

    // Frames allocated so far: stays small when the consumer keeps up.
    std::size_t allocated() const;

private:
    std::unique_ptr<LidarData> takeSpare();
    void enqueue(std::unique_ptr<LidarData> frame);
    std::unique_ptr<LidarData> takeQueued();
    void recycle(std::unique_ptr<LidarData> frame);

    mutable std::mutex mutex_;
    std::deque<std::unique_ptr<LidarData>> queue_;
    std::vector<std::unique_ptr<LidarData>> spares_;
    std::size_t allocated_ = 0;
};

} // namespace hvk32
