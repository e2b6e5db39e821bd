#pragma once
// Builds the frame index of a capture file off the GUI thread. build() starts a walk (ending
// any walk still running), progress() reports how far it is, and IndexReady hands over the
// finished index; a walk replaced or stopped reports nothing.

#include "acquisition/CaptureFrameIndex.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <memory>

class CaptureIndexThread : public QThread {
    Q_OBJECT
public:
    explicit CaptureIndexThread(QObject* parent = nullptr);
    ~CaptureIndexThread() override;

    void build(const QString& path);
    // Ends a running walk and waits for it.
    void stop();

signals:
    void IndexProgress(int percent);
    // `index` is null when the file could not be indexed; `message` says why.
    void IndexReady(QString path, std::shared_ptr<const hvk32::CaptureFrameIndex> index, QString message);

protected:
    void run() override;

private:
    QString path_;
    std::atomic<bool> stop_{false};
};
