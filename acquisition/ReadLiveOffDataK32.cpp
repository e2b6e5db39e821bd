#include "acquisition/ReadLiveOffDataK32.h"

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
    emit SendFileTotleLength(static_cast<long>(std::min<qint64>(player->fileLength(), LONG_MAX)));
    while (!player->atEnd()) {
        if (stop_) {
            stop_ = false;
            break;
        }
        if (pause_) {
            pauses().pause(kPauseLoopMs);
            continue;
        }
        const int direction = direction_;
        if (direction != 0 && direction != 1) {
            direction_ = 0;
            continue;
        }
        const auto event = player->next(direction == 0 ? CapturePlayerCore::Direction::Forward
                                                       : CapturePlayerCore::Direction::Backward);
        if (event == CapturePlayerCore::Event::End)
            break;
        if (event == CapturePlayerCore::Event::Configuration) {
            const hvk32::PlayerConfiguration& c = player->configuration();
            emit SendLidarConfig(c.echoMode, c.degreeMode, c.accuracyMode);
        } else if (event == CapturePlayerCore::Event::Frame || event == CapturePlayerCore::Event::UnreportedFrame) {
            if (event == CapturePlayerCore::Event::Frame)
                emitFrame(*player);
            pauses().pause(frameDelayMs(speed_));
        }
    }

    const hvk32::capturefile::Damage& damage = player->damage();
    if (damage.any())
        qDebug() << "capture damaged:" << damage.truncatedRecords << "truncated record dropped,"
                 << damage.badLengths << "records with bad lengths skipped";
    player.reset(); // closes the file
    emit SendFinsh(true);
}

void ReadLiveOffDataK32::emitFrame(const CapturePlayerCore& player)
{
    // A frame the user stepped to is always shown; others wait for room at the gate.
    const bool stepping = stepOnce_ != 0;
    hvk32::FrameGate* gate = gate_;
    bool pass = true;
    if (gate) {
        if (stepping)
            gate->enter();
        else
            pass = gate->tryEnter();
    }
    if (pass) {
        ++framesEmitted_;
        emit SendData(player.frame());
    }
    emit SendProgressValue(static_cast<int>(std::min<qint64>(player.position(), INT_MAX)), player.frameCounter());
    if (stepping) {
        stepOnce_ = 0;
        pause_ = true;
    }
}
