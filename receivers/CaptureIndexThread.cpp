#include "receivers/CaptureIndexThread.h"

CaptureIndexThread::CaptureIndexThread(QObject* parent) : QThread(parent)
{
    qRegisterMetaType<std::shared_ptr<const hvk32::CaptureFrameIndex>>("std::shared_ptr<const hvk32::CaptureFrameIndex>");
}

CaptureIndexThread::~CaptureIndexThread()
{
    stop();
}

void CaptureIndexThread::build(const QString& path)
{
    stop();
    path_ = path;
    start(QThread::LowPriority);
}

void CaptureIndexThread::stop()
{
    stop_ = true;
    wait();
    stop_ = false;
}

void CaptureIndexThread::run()
{
    auto index = std::make_shared<hvk32::CaptureFrameIndex>();
    int lastPercent = -1;
    QString message;
    const bool built = index->build(path_, &message, [&](qint64 done, qint64 total) {
        const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
        if (percent != lastPercent) {
            lastPercent = percent;
            emit IndexProgress(percent);
        }
        return !stop_;
    });
    if (stop_)
        return;
    emit IndexReady(path_, built ? std::move(index) : nullptr, message);
}
