#pragma once
// Plays an opened capture: owns the player thread and the frame index built beside it, and
// keeps what the playback controls act on (playing or paused, the direction, the speed and
// the frame shown). It touches no widget: its signals say what the window shows and after
// which step the controls are set (view/WindowRules holds the controls of each step).

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class CaptureIndexThread;
class ReadLiveOffDataK32;

namespace hvk32 {
class CaptureFrameIndex;
class FrameGate;
enum class WindowStep;
}

class PlaybackSession : public QObject {
    Q_OBJECT
public:
    // Frames pass `gate` on their way to the window.
    explicit PlaybackSession(hvk32::FrameGate* gate, QObject* parent = nullptr);
    ~PlaybackSession() override;

    ReadLiveOffDataK32& player() { return *player_; }

    // Loads a capture that ReadLiveOffDataK32::checkCaptureFile accepted: a running playback
    // ends, the next Play starts at its first frame, and its frame index is built. With
    // `showFirstFrame`, frame 1 is shown once the index is ready, unless it plays by then.
    void load(const QString& file, bool showFirstFrame = false);
    void playOrPause();
    // One frame back or forward while paused.
    void stepBackward();
    void stepForward();
    // The direction of play.
    void playForward();
    void playBackward();
    void setSpeed(int speed);
    // Goes to frame n of the capture (from 1): shown at once when paused, played on from there
    // when playing; with no playback running, one starts paused at that frame.
    void seekToFrame(int n);
    // The frame at a position of the slider (a byte offset in the file), and the last frame.
    void seekToPosition(int position);
    void seekToLastFrame();
    // A live stream takes over: a playing capture is paused and no longer the frames' source.
    void yieldToLive();
    // Stops and joins the player and the indexer.
    void stop();

    // The player's reports, as the window's slots receive them.
    void finish(bool finished);
    void totalLength(long length);
    void progress(int position, int frame);
    // Playing or stepping backward reached frame 1, where the player now waits.
    void reachedStart();

    bool isPaused() const { return paused_; }
    bool isFilePlaying() const { return filePlaying_; }
    const QString& fileName() const { return file_; }
    int currentFrame() const { return currentFrame_; } // the frame counter, from 1

signals:
    void controlsChange(hvk32::WindowStep step);
    void playingChanged(bool playing);
    // Just before a capture plays: the live stream must stop.
    void liveMustStop();
    // A playback from the start of the capture: the frame counters start again.
    void playbackStarted();
    // The file handed to the player for its next run.
    void fileToPlay(QString fileName);
    void statusMessage(QString text, int timeoutMs);
    void warning(QString text);
    // The slider's range 0..maximum; `fromStart` also puts its handle at 0.
    void sliderRange(int maximum, bool fromStart);
    // Where the handle goes; unless `evenWhileDragged`, a drag of the user's wins.
    void sliderPosition(int position, bool evenWhileDragged);
    // The counter: the current frame, and the capture's frames once indexed (else 0).
    void frameCounter(int current, int total);
    // The player reached frame `frame` (from 1).
    void frameReached(int frame);
    // When the frame shown began: in the capture (microseconds since 1970 UTC) and on the device.
    void frameTime(qint64 captureMicros, quint32 deviceStamp);
    void indexStarted();
    void indexProgress(int percent);
    void indexEnded();
    // The device-info packet that says how the capture's device was set (its echo mode, layout,
    // speed): sent once the capture is indexed, before a frame of it is shown from the index.
    void captureDevice(QByteArray deviceInfo);
    // The index holds `frames` frames; the frame box goes from 1 to it, at `current`.
    void indexReady(int frames, int current);

private:
    // The frame index of the loaded capture, built off the GUI thread.
    void frameIndexReady(const QString& path, std::shared_ptr<const hvk32::CaptureFrameIndex> index,
                         const QString& message);
    // The two ways a run starts: from the first frame playing, or paused at frame n.
    void startPlayer(bool paused, int frame);
    void stopPlayer();
    void showCounter();
    void reportMissingDeviceInfo(bool atEnd);

    std::unique_ptr<ReadLiveOffDataK32> player_;
    std::unique_ptr<CaptureIndexThread> indexThread_;
    std::shared_ptr<const hvk32::CaptureFrameIndex> index_;
    QString file_;
    bool paused_ = true;       // playStopped
    bool filePlaying_ = false; // the capture, not the live stream, is the frames' source
    bool firstPlay_ = true;    // the next Play starts from the first frame
    bool showFirstFrame_ = false;
    int sliderMaximum_ = -1;
    int currentFrame_ = 0;     // the player's frame counter
    // Set while a capture plays that has not shown a usable device-info packet yet: without
    // one no frame can be shown, and the window says so.
    bool awaitingConfig_ = false;
    QTimer configTimer_;
};
