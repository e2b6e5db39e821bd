#pragma once
// The capture-file player: replays a capture of scanner traffic as if the scanner were
// live. receiveOffliveFile opens the file, start() plays it; the window pauses, stops,
// turns and steps the playback and sets its speed through the setters while it runs.
// Every run ends with SendFinsh(true) and closes the file, so the next run needs the file
// opened again. Once the window hands over the file's frame index, a run can go to any
// frame, and playing backward shows each earlier frame exactly as forward play did; it stops,
// paused, at frame 1, and a run gone to the last frame waits there while paused.
// Every frame travels with the calibration of the capture's device-info packet in force at
// it; the process-wide angle values stay those of the live device.

#include "acquisition/FrameGate.h"
#include "records/DeviceCalibration.h"
#include "acquisition/PacketLossDetector.h"
#include "records/LidarData.h"

#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>

namespace hvk32 {
class CaptureFrameIndex;
class CapturePlayerCore;
namespace platform {
class Pauses;
}
} // namespace hvk32

class ReadLiveOffDataK32 : public QThread {
    Q_OBJECT
public:
    static constexpr int kPauseLoopMs = 1;

    explicit ReadLiveOffDataK32(QObject* parent = nullptr);
    ~ReadLiveOffDataK32() override;

    // Controls, polled by the playing thread once per record (the pause once a millisecond).
    void setPause(bool pause);
    void setStop(bool stop) { stop_ = stop; }
    void setDirection(int direction) { direction_ = direction; } // 0 forward, 1 backward
    void setStepOnce(int step) { stepOnce_ = step; }             // pause again after the next frame
    void setSpeed(int speed) { speed_ = speed; }                 // index into the frame delays

    bool isPaused() const { return pause_; }
    bool stopRequested() const { return stop_; }
    int direction() const { return direction_; }
    int stepOnce() const { return stepOnce_; }
    int speed() const { return speed_; }

    // Pause after each frame: 0 -> 100 ms, 1 -> 50, 2 -> 30, 3 -> 200, other -> 100.
    static int frameDelayMs(int speed);

    // The echo arrangement the window stores when the player reports it.
    void setConfiguration(const QString& configuration);
    QString configuration() const;

    // Frames are emitted only while the gate lets them through (a stepped frame always);
    // null: always.
    void setFrameGate(hvk32::FrameGate* gate) { gate_ = gate; }
    // The pauses of the pacing; null: the system's.
    void setPauses(hvk32::platform::Pauses* pauses) { pauses_ = pauses; }

    // The frame index of the file being played (null: none yet). A run uses it for seeks and
    // for playing backward; an index of another file is ignored.
    void setFrameIndex(std::shared_ptr<const hvk32::CaptureFrameIndex> index);
    // Asks the running playback to go to frame n (from 1, as the counter counts): the frame is
    // shown at once, also while paused, and playing goes on from there. The newest request
    // wins; without an index it is ignored.
    void seekToFrame(int n) { seekTarget_ = n; }

    // A file has been opened and waits for the next run.
    bool isFileOpen() const;
    std::uint64_t framesEmitted() const { return framesEmitted_; }
    // Lost, duplicated and out-of-order data packets of the capture's stream, in the records
    // the run has played forward up to the frame shown (kept after the run ends).
    hvk32::StreamHealth streamHealth() const;

    // Whether `path` can be played; `message` says why not.
    static bool checkCaptureFile(const QString& path, QString* message);

public slots:
    // Opens the file for the next run. When it cannot be played, "open false" goes to the
    // debug log and no file is set.
    void receiveOffliveFile(QString fileName);

signals:
    void SendLidarConfig(QString echoMode, int degreeMode, int accuaryMode);
    // Declared by reference: the player's frame is copied once, into the queued call, and
    // not again on the way. `calibration` is the one the frame is converted with.
    void SendData(const LidarData& lidardata, const hvk32::DeviceCalibration& calibration);
    void SendFinsh(bool Finsh);
    void SendFileTotleLength(long length);
    void SendProgressValue(int value, int frame);
    // Before each SendProgressValue: when the frame began, in the capture (microseconds since
    // 1970 UTC) and on the device (its data packet time stamp).
    void SendFrameTime(qint64 captureMicros, quint32 deviceStamp);
    // Playing backward reached the first frame: the run is paused there.
    void SendReachedStart();

protected:
    void run() override;

private:
    void emitFrame(const hvk32::CapturePlayerCore& player, bool seeked = false);
    // SendLidarConfig, once per run: at the first usable device-info packet, or before the
    // first frame of a run that started at a frame of the index (whose configuration it takes).
    void reportConfiguration(const hvk32::CapturePlayerCore& player);
    bool playIndexedFrame(hvk32::CapturePlayerCore& player, const hvk32::CaptureFrameIndex& index, int n,
                          bool seeked);
    std::shared_ptr<const hvk32::CaptureFrameIndex> frameIndexFor(const hvk32::CapturePlayerCore& player);
    hvk32::platform::Pauses& pauses() const;
    void publishStreamHealth(const hvk32::CapturePlayerCore& player);

    mutable QMutex mutex_;
    QString configuration_;
    std::unique_ptr<hvk32::CapturePlayerCore> file_; // opened, waiting for run()
    std::shared_ptr<const hvk32::CaptureFrameIndex> index_;
    hvk32::StreamHealth health_; // the playing thread's copy, for the window
    std::atomic<bool> indexChanged_{false};
    bool configurationSent_ = false; // this run reported its configuration (the playing thread's)
    std::atomic<int> seekTarget_{0}; // 0: no seek asked for

    std::atomic<bool> pause_{false};
    std::atomic<bool> stop_{false};
    std::atomic<int> direction_{0};
    std::atomic<int> stepOnce_{0};
    std::atomic<int> speed_{0};
    std::atomic<hvk32::FrameGate*> gate_{nullptr};
    std::atomic<hvk32::platform::Pauses*> pauses_{nullptr};
    std::atomic<std::uint64_t> framesEmitted_{0};
};
