#include "receivers/ReadLiveOffDataK32.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "platform/Pauses.h"

#include <QDebug>
#include <QMutexLocker>

#include <algorithm>
#include <climits>

using hvk32::CapturePlayerCore;

ReadLiveOffDataK32::ReadLiveOffDataK32(QObject* parent) : QThread(parent) {}

ReadLiveOffDataK32::~ReadLiveOffDataK32()
{
    if (isRunning()) {
        stop_ = true;
        wait();
    }
}

void ReadLiveOffDataK32::setPause(bool pause)
{
    pause_ = pause;
    qDebug() << "isPause" << pause;
}

int ReadLiveOffDataK32::frameDelayMs(int speed)
{
    switch (speed) {
    case 1:
        return 50;
    case 2:
        return 30;
    case 3:
        return 200;
    default:
        return 100;
    }
}

void ReadLiveOffDataK32::setConfiguration(const QString& configuration)
{
    QMutexLocker lock(&mutex_);
    configuration_ = configuration;
}

QString ReadLiveOffDataK32::configuration() const
{
    QMutexLocker lock(&mutex_);
    return configuration_;
}

void ReadLiveOffDataK32::setFrameIndex(std::shared_ptr<const hvk32::CaptureFrameIndex> index)
{
    QMutexLocker lock(&mutex_);
    index_ = std::move(index);
    indexChanged_ = true;
}

std::shared_ptr<const hvk32::CaptureFrameIndex> ReadLiveOffDataK32::frameIndexFor(const CapturePlayerCore& player)
{
    QMutexLocker lock(&mutex_);
    if (index_ && index_->fileLength() == player.fileLength())
        return index_;
    return nullptr;
}

hvk32::StreamHealth ReadLiveOffDataK32::streamHealth() const
{
    QMutexLocker lock(&mutex_);
    return health_;
}

void ReadLiveOffDataK32::publishStreamHealth(const CapturePlayerCore& player)
{
    QMutexLocker lock(&mutex_);
    health_ = player.streamHealth();
}

bool ReadLiveOffDataK32::isFileOpen() const
{
    QMutexLocker lock(&mutex_);
    return file_ != nullptr;
}

bool ReadLiveOffDataK32::checkCaptureFile(const QString& path, QString* message)
{
    hvk32::capturefile::CaptureReader reader;
    return reader.open(path, message);
}

void ReadLiveOffDataK32::receiveOffliveFile(QString fileName)
{
    auto player = std::make_unique<CapturePlayerCore>();
    QString message;
    const bool opened = player->open(fileName, &message);
    if (!opened) {
        qDebug() << "open false";
        qDebug() << fileName << message;
    }
    QMutexLocker lock(&mutex_);
    file_ = opened ? std::move(player) : nullptr;
}

hvk32::platform::Pauses& ReadLiveOffDataK32::pauses() const
{
    hvk32::platform::Pauses* p = pauses_;
    return p ? *p : hvk32::platform::systemPauses();
}

void ReadLiveOffDataK32::run()
{
    std::unique_ptr<CapturePlayerCore> player;
    {
        QMutexLocker lock(&mutex_);
        player = std::move(file_);
    }
    // Without a file there is nothing to play; the window still learns that the run ended.
    if (!player) {
        emit SendFinsh(true);
        return;
    }

    player->start();
    configurationSent_ = false;
    publishStreamHealth(*player);
    emit SendFileTotleLength(static_cast<long>(std::min<qint64>(player->fileLength(), LONG_MAX)));
    std::shared_ptr<const hvk32::CaptureFrameIndex> index;
    indexChanged_ = true;
    for (;;) {
        if (stop_) {
            stop_ = false;
            break;
        }
        if (indexChanged_.exchange(false))
            index = frameIndexFor(*player);
        if (const int target = seekTarget_.exchange(0); target > 0 && index) {
            const int n = std::min(target, index->frameCount());
            if (n >= 1 && !playIndexedFrame(*player, *index, n, true))
                break;
            continue;
        }
        // Playing forward ends the run at the end of the file. Gone to the last frame (a seek
        // or a step, so paused) with an index to go back by, the run waits there instead.
        if (player->atEnd() && !(index && (pause_ || direction_ == 1)))
            break;
        if (pause_) {
            pauses().pause(kPauseLoopMs);
            continue;
        }
        const int direction = direction_;
        if (direction != 0 && direction != 1) {
            direction_ = 0;
            continue;
        }
        if (direction == 1 && index) {
            // Backward through the index: frame N - 1 as forward play showed it. At the first
            // frame the run pauses there, so that the next Play or step can go either way.
            const int n = player->frameCounter() - 1;
            if (n < 1) {
                stepOnce_ = 0;
                pause_ = true;
                emit SendReachedStart();
                continue;
            }
            if (n > index->frameCount() || !playIndexedFrame(*player, *index, n, false))
                break;
            pauses().pause(frameDelayMs(speed_));
            continue;
        }
        const auto event = player->next(direction == 0 ? CapturePlayerCore::Direction::Forward
                                                       : CapturePlayerCore::Direction::Backward);
        if (event == CapturePlayerCore::Event::End)
            break;
        if (event == CapturePlayerCore::Event::Configuration) {
            reportConfiguration(*player);
        } else if (event == CapturePlayerCore::Event::Frame || event == CapturePlayerCore::Event::UnreportedFrame) {
            if (event == CapturePlayerCore::Event::Frame)
                emitFrame(*player);
            pauses().pause(frameDelayMs(speed_));
        }
    }

    publishStreamHealth(*player);
    const hvk32::capturefile::Damage& damage = player->damage();
    if (damage.any())
        qDebug().noquote() << "capture damaged:" << hvk32::capturefile::describeDamage(damage);
    player.reset(); // closes the file
    emit SendFinsh(true);
}

bool ReadLiveOffDataK32::playIndexedFrame(CapturePlayerCore& player, const hvk32::CaptureFrameIndex& index, int n,
                                          bool seeked)
{
    if (!player.seek(index, n))
        return false;
    for (;;) {
        const auto event = player.next(CapturePlayerCore::Direction::Forward);
        switch (event) {
        case CapturePlayerCore::Event::End:
            return false;
        case CapturePlayerCore::Event::Frame:
            emitFrame(player, seeked);
            return true;
        case CapturePlayerCore::Event::None:
        case CapturePlayerCore::Event::DeviceInfo:
        case CapturePlayerCore::Event::Configuration:
        case CapturePlayerCore::Event::UnreportedFrame:
            break;
        }
    }
}

void ReadLiveOffDataK32::reportConfiguration(const CapturePlayerCore& player)
{
    if (configurationSent_)
        return;
    configurationSent_ = true;
    const hvk32::PlayerConfiguration& c = player.configuration();
    emit SendLidarConfig(c.echoMode, c.degreeMode, c.accuracyMode);
}

void ReadLiveOffDataK32::emitFrame(const CapturePlayerCore& player, bool seeked)
{
    // A run that began at a frame of the index read no device-info packet to report: the
    // window learns the capture's modes before its first frame all the same.
    reportConfiguration(player);
    // A frame the user stepped or went to is always shown; others wait for room at the gate.
    const bool stepping = stepOnce_ != 0 && !seeked;
    hvk32::FrameGate* gate = gate_;
    bool pass = true;
    if (gate) {
        if (stepping || seeked)
            gate->enter();
        else
            pass = gate->tryEnter();
    }
    publishStreamHealth(player);
    if (pass) {
        ++framesEmitted_;
        emit SendData(player.frame(), player.calibration());
    }
    const hvk32::FrameTime& time = player.frameTime();
    emit SendFrameTime(time.captureMicros, time.deviceStamp);
    emit SendProgressValue(static_cast<int>(std::min<qint64>(player.position(), INT_MAX)), player.frameCounter());
    if (stepping) {
        stepOnce_ = 0;
        pause_ = true;
    }
}
