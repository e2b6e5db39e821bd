#pragma once
// Live frames for a caller that takes them one at a time (the Python module's listen()): the
// device-info receiver first, then, once a usable device (board version 2 or later) has told
// its echo mode, the data receiver with that mode, as the window and "frames --live" do. The
// receivers run in their own threads; next() runs the calling thread's event loop, which
// needs a QCoreApplication, until a frame arrives or the wait is over. stop() (and the
// destructor) stop and join both threads.

#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "acquisition/LostSinceLastFrame.h"
#include "records/LidarData.h"

#include <QObject>

#include <array>
#include <cstdint>
#include <deque>
#include <string>

namespace hvk32 {

class LiveFrames {
public:
    struct Ports {
        int data = 2368;
        int telemetry = 2369;
        std::string multicast; // empty: none
    };

    explicit LiveFrames(const Ports& ports);
    ~LiveFrames();
    LiveFrames(const LiveFrames&) = delete;
    LiveFrames& operator=(const LiveFrames&) = delete;

    // Starts the device-info receiver.
    void start();
    // Waits up to `waitMs` for the next frame; true with it in frame(). Frames that arrive
    // while nobody asks wait in the receiver's relay.
    bool next(int waitMs);
    // Stops and joins both receivers.
    void stop();

    const LidarData& frame() const { return frame_; }
    long frameNumber() const { return frameNumber_; }       // from 1
    std::uint64_t lostPackets() const { return lostPackets_; } // since the previous frame
    bool receiving() const { return dataReceiver_.isRunning(); }
    int degreeMode() const { return degreeMode_; }
    bool dualEcho() const;
    // The device's horizontal offset angles as the device-info receiver published them.
    std::array<float, 4> offsetAngles() const;

private:
    Ports ports_;
    GetSetK32 deviceInfo_;
    GetLidardataK32 dataReceiver_;
    QObject context_; // the calling thread's end of the receivers' signals
    std::deque<LidarData> arrived_; // delivered by the event loop, not taken yet
    LidarData frame_;
    long frameNumber_ = 0;
    std::uint64_t lostPackets_ = 0;
    LostSinceLastFrame lost_;
    int degreeMode_ = 0;
};

} // namespace hvk32
