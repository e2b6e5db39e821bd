#include "io/PlayedFrames.h"

#include "convert/FrameReader.h"
#include "platform/SignalHandling.h"

namespace hvk32 {

PlayedFrames::PlayedFrames(CapturePlayerCore& player, long last) : player_(player), last_(last)
{
    for (Frame& f : frames_)
        free_.push_back(&f);
    thread_ = std::thread([this] { play(); });
}

PlayedFrames::~PlayedFrames()
{
    stop();
}

void PlayedFrames::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void PlayedFrames::play()
{
    for (;;) {
        if (stopping_ || platform::stopSignalReceived())
            break;
        const auto event = player_.next(CapturePlayerCore::Direction::Forward);
        if (event == CapturePlayerCore::Event::End)
            break;
        if (event != CapturePlayerCore::Event::Frame)
            continue;
        if (last_ > 0 && player_.frameCounter() > last_)
            break;
        Frame* slot = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
            if (stopping_)
                break;
            slot = free_.front();
            free_.pop_front();
        }
        slot->frameId = player_.frameCounter();
        player_.takeFrame(slot->frame);
        slot->snapshot = playedFrameSnapshot(player_);
        slot->dualEcho = playedFrameDualEcho(player_);
        slot->position = player_.position();
        slot->time = player_.frameTime();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ready_.push_back(slot);
        }
        changed_.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
}

const PlayedFrames::Frame* PlayedFrames::next()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (lent_) {
        free_.push_back(lent_);
        lent_ = nullptr;
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return done_ || !ready_.empty(); });
    if (ready_.empty())
        return nullptr;
    lent_ = ready_.front();
    ready_.pop_front();
    return lent_;
}

} // namespace hvk32
