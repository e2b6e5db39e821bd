#include "app/PlaybackSession.h"

#include "acquisition/CaptureFrameIndex.h"
#include "receivers/CaptureIndexThread.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "view/WindowRules.h"

#include <QFileInfo>

#include <algorithm>
#include <climits>

namespace {

constexpr int kDeviceInfoWaitMs = 2000; // a capture's device-info packets come once a second
constexpr int kIndexMessageMs = 10000;

} // namespace

PlaybackSession::PlaybackSession(hvk32::FrameGate* gate, QObject* parent)
    : QObject(parent), player_(std::make_unique<ReadLiveOffDataK32>()), indexThread_(std::make_unique<CaptureIndexThread>())
{
    player_->setFrameGate(gate);
    connect(player_.get(), &ReadLiveOffDataK32::SendLidarConfig, this, [this]() {
        awaitingConfig_ = false;
        configTimer_.stop();
    });
    configTimer_.setSingleShot(true);
    configTimer_.setInterval(kDeviceInfoWaitMs);
    connect(&configTimer_, &QTimer::timeout, this, [this]() { reportMissingDeviceInfo(false); });
    connect(player_.get(), &ReadLiveOffDataK32::SendReachedStart, this, &PlaybackSession::reachedStart);
    connect(player_.get(), &ReadLiveOffDataK32::SendFrameTime, this, &PlaybackSession::frameTime);
    connect(indexThread_.get(), &CaptureIndexThread::IndexProgress, this, &PlaybackSession::indexProgress);
    connect(indexThread_.get(), &CaptureIndexThread::IndexReady, this, &PlaybackSession::frameIndexReady);
}

PlaybackSession::~PlaybackSession()
{
    stop();
}

void PlaybackSession::load(const QString& file, bool showFirstFrame)
{
    emit controlsChange(hvk32::WindowStep::CaptureOpened);
    paused_ = true;
    firstPlay_ = true;
    file_ = file;
    showFirstFrame_ = showFirstFrame;
    awaitingConfig_ = false; // a playback that ends now is not reported
    configTimer_.stop();
    player_->setStop(true); // a running playback ends
    emit sliderPosition(0, true);
    currentFrame_ = 0;

    index_.reset();
    player_->setFrameIndex(nullptr);
    emit indexStarted();
    indexThread_->build(file);
    showCounter();
}

void PlaybackSession::playOrPause()
{
    if (!paused_) {
        paused_ = true;
        emit playingChanged(false);
        player_->setPause(true);
        emit controlsChange(hvk32::WindowStep::PlaybackPaused);
        return;
    }
    emit liveMustStop();
    paused_ = false;
    filePlaying_ = true;
    emit playingChanged(true);
    player_->setPause(false);
    player_->setStop(false);
    if (firstPlay_) {
        firstPlay_ = false;
        emit playbackStarted();
        awaitingConfig_ = true;
        configTimer_.start();
        startPlayer(false, 0);
    }
    emit controlsChange(hvk32::WindowStep::PlaybackRunning);
}

void PlaybackSession::startPlayer(bool paused, int frame)
{
    // A previous run must have left its loop before the file is opened again.
    stopPlayer();
    emit fileToPlay(file_);
    player_->receiveOffliveFile(file_);
    player_->setDirection(0);
    player_->setStepOnce(0);
    if (paused)
        player_->setPause(true);
    player_->setStop(false);
    if (frame > 0)
        player_->seekToFrame(frame);
    player_->start(QThread::InheritPriority);
}

void PlaybackSession::stopPlayer()
{
    if (!player_->isRunning())
        return;
    player_->setStop(true);
    player_->setPause(false);
    player_->wait();
}

void PlaybackSession::stop()
{
    indexThread_->stop();
    stopPlayer();
}

// A single step sets the direction and the step flag before it releases the pause: the
// other way round, the player could finish a whole frame in between and step twice.
void PlaybackSession::stepBackward()
{
    player_->setDirection(1);
    player_->setStepOnce(1);
    player_->setPause(false);
}

void PlaybackSession::stepForward()
{
    player_->setDirection(0);
    player_->setStepOnce(1);
    player_->setPause(false);
}

void PlaybackSession::playForward()
{
    player_->setDirection(0);
}

void PlaybackSession::playBackward()
{
    player_->setDirection(1);
}

void PlaybackSession::setSpeed(int speed)
{
    player_->setSpeed(speed);
}

void PlaybackSession::yieldToLive()
{
    if (!paused_)
        playOrPause();
    filePlaying_ = false;
}

void PlaybackSession::seekToFrame(int n)
{
    if (!index_ || index_->frameCount() == 0)
        return;
    n = std::clamp(n, 1, index_->frameCount());
    if (!firstPlay_ && player_->isRunning()) {
        player_->seekToFrame(n);
        return;
    }
    // No playback yet, or it ended: start one paused at that frame.
    emit liveMustStop();
    emit playbackStarted();
    startPlayer(true, n);
    paused_ = true;
    firstPlay_ = false;
    filePlaying_ = true;
    emit playingChanged(false);
    emit controlsChange(hvk32::WindowStep::PlaybackPaused);
}

void PlaybackSession::seekToPosition(int position)
{
    if (index_)
        seekToFrame(index_->frameAtPosition(position));
}

void PlaybackSession::seekToLastFrame()
{
    if (index_)
        seekToFrame(index_->frameCount());
}

void PlaybackSession::finish(bool finished)
{
    if (!finished)
        return;
    configTimer_.stop();
    reportMissingDeviceInfo(true);
    paused_ = true;
    firstPlay_ = true; // the next Play starts from the beginning
    emit playingChanged(false);
    player_->setPause(true);
    emit controlsChange(hvk32::WindowStep::PlaybackFinished);
    emit sliderPosition(sliderMaximum_, true);
}

void PlaybackSession::reachedStart()
{
    // The run waits at frame 1: paused, with every direction open again. Backward has no
    // further to go, so the next Play plays forward from here.
    if (!player_->isRunning())
        return;
    player_->setDirection(0);
    if (!paused_) {
        paused_ = true;
        emit playingChanged(false);
    }
    emit controlsChange(hvk32::WindowStep::PlaybackPaused);
}

void PlaybackSession::totalLength(long length)
{
    sliderMaximum_ = static_cast<int>(length);
    emit sliderRange(sliderMaximum_, true);
}

void PlaybackSession::progress(int position, int frame)
{
    emit sliderPosition(position, false);
    currentFrame_ = frame;
    showCounter();
    if (frame >= 1)
        emit frameReached(frame);
}

void PlaybackSession::frameIndexReady(const QString& path, std::shared_ptr<const hvk32::CaptureFrameIndex> index,
                                      const QString& message)
{
    if (path != file_)
        return; // a file opened before the current one
    emit indexEnded();
    if (!index) {
        emit statusMessage(tr("The capture could not be indexed: %1").arg(message), kIndexMessageMs);
        return;
    }
    index_ = std::move(index);
    player_->setFrameIndex(index_);
    if (index_->configurationReported()) {
        const auto& packet = index_->configurationPacket();
        emit captureDevice(QByteArray(reinterpret_cast<const char*>(packet.data()), static_cast<int>(packet.size())));
    }
    const int frames = index_->frameCount();
    const hvk32::StreamHealth& health = index_->summary().health;
    QString text = tr("%1 frames, %2 packets lost (%3 %)")
                       .arg(frames)
                       .arg(health.lostPackets)
                       .arg(health.lostPercent(), 0, 'f', 2);
    if (health.duplicatePackets || health.outOfOrderPackets)
        text += tr(", %1 duplicated, %2 out of order").arg(health.duplicatePackets).arg(health.outOfOrderPackets);
    const hvk32::capturefile::Damage& damage = index_->summary().damage;
    if (damage.any())
        text += QStringLiteral("; ") + hvk32::capturefile::describeDamage(damage);
    emit statusMessage(text, kIndexMessageMs);
    if (frames == 0)
        return;
    const int length = static_cast<int>(std::min<qint64>(index_->fileLength(), INT_MAX));
    if (sliderMaximum_ != length) {
        sliderMaximum_ = length;
        emit sliderRange(length, false);
    }
    emit indexReady(frames, std::clamp(currentFrame_, 1, frames));
    showCounter();
    if (showFirstFrame_ && firstPlay_) {
        showFirstFrame_ = false;
        seekToFrame(1);
    }
}

void PlaybackSession::showCounter()
{
    emit frameCounter(currentFrame_, index_ ? index_->frameCount() : 0);
}

void PlaybackSession::reportMissingDeviceInfo(bool atEnd)
{
    if (!awaitingConfig_ || !filePlaying_)
        return;
    const QString name = QFileInfo(file_).fileName();
    if (atEnd) {
        const QString text = tr("%1 holds no device-info packet of a board version 2 or later, so no frame "
                                "was shown.").arg(name);
        awaitingConfig_ = false;
        emit statusMessage(text, 0);
        emit warning(text);
    } else if (!paused_) {
        emit statusMessage(tr("No device-info packet in %1 yet: frames are shown from the first one on.").arg(name), 0);
    }
}
