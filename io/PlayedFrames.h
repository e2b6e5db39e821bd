#pragma once
// Plays a capture on a thread of its own and hands its frames over in order, so that reading
// and decoding the next frame overlap converting and writing the one before. Three frame
// buffers go round between the two threads; nothing is allocated per frame once they have
// grown to the capture's frame size.

#include "acquisition/CapturePlayerCore.h"
#include "records/LidarData.h"
#include "convert/ConversionSnapshot.h"

#include <QtGlobal>

#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace hvk32 {

class PlayedFrames {
public:
    struct Frame {
        int frameId = 0;          // the player's counter, from 1
        LidarData frame;
        ConversionSnapshot snapshot; // the capture's degree mode and the calibration in force
        bool dualEcho = false;
        qint64 position = 0;      // the player's file position after the frame
        FrameTime time;           // when the frame began
    };

    // Starts playing `player` (open, and at the first frame wanted) forward until the end of
    // the capture, frame `last` (0: none) or a stop signal.
    PlayedFrames(CapturePlayerCore& player, long last);
    ~PlayedFrames(); // stops and joins the player's thread
    PlayedFrames(const PlayedFrames&) = delete;
    PlayedFrames& operator=(const PlayedFrames&) = delete;

    // The next frame, or nullptr when there is none left; it stays valid until the next call.
    const Frame* next();
    // Stops the player's thread and waits for it; the player may be read again afterwards.
    void stop();

private:
    void play();

    CapturePlayerCore& player_;
    const long last_;
    std::array<Frame, 3> frames_;
    std::deque<Frame*> free_;
    std::deque<Frame*> ready_;
    Frame* lent_ = nullptr;
    bool done_ = false;
    std::atomic<bool> stopping_{false}; // also read between records, without the lock
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
};

} // namespace hvk32
