#include "receivers/FrameRelay.h"

namespace hvk32 {

std::unique_ptr<LidarData> FrameRelay::takeSpare()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!spares_.empty()) {
            std::unique_ptr<LidarData> spare = std::move(spares_.back());
            spares_.pop_back();
            return spare;
        }
        ++allocated_;
    }
    return std::make_unique<LidarData>(LidarData::empty());
}

void FrameRelay::enqueue(std::unique_ptr<LidarData> frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(frame));
}

void FrameRelay::postBySwap(LidarData& frame)
{
    std::unique_ptr<LidarData> spare = takeSpare();
    std::swap(*spare, frame);
    enqueue(std::move(spare));
}

std::unique_ptr<LidarData> FrameRelay::takeQueued()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (queue_.empty())
        return nullptr;
    std::unique_ptr<LidarData> frame = std::move(queue_.front());
    queue_.pop_front();
    return frame;
}

void FrameRelay::recycle(std::unique_ptr<LidarData> frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    spares_.push_back(std::move(frame));
}

std::size_t FrameRelay::allocated() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return allocated_;
}

} // namespace hvk32
