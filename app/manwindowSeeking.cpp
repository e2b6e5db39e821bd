// The main window's frame index and seeking: the index is built off the GUI thread when a
// capture is opened; the slider, the frame box and the keys then go straight to a frame.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CaptureIndexThread.h"
#include "acquisition/GetLidardataK32.h"
#include "acquisition/GetSetK32.h"
#include "acquisition/ReadLiveOffDataK32.h"
#include "view/WindowRules.h"

#include <QProxyStyle>
#include <QShortcut>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// A click on the slider's groove moves the handle there instead of one page step.
class AbsoluteClickStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
            return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void manwindow::setUpSeeking()
{
    indexThread_ = std::make_unique<CaptureIndexThread>();
    connect(indexThread_.get(), &CaptureIndexThread::IndexProgress, ui.progressBar_Index, &QProgressBar::setValue);
    connect(indexThread_.get(), &CaptureIndexThread::IndexReady, this, &manwindow::receiveFrameIndex);

    auto* style = new AbsoluteClickStyle;
    style->setParent(ui.Slider_Frame);
    ui.Slider_Frame->setStyle(style);
    // Clicks, drags and the slider's own keys; a drag asks for many frames and the player
    // goes to the newest.
    connect(ui.Slider_Frame, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderNoAction && frameIndex_)
            seekToFrame(frameIndex_->frameAtPosition(ui.Slider_Frame->sliderPosition()));
    });
    connect(ui.spinBox_Frame, QOverload<int>::of(&QSpinBox::valueChanged), this, &manwindow::seekToFrame);

    auto key = [this](QKeySequence sequence, auto handler) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, handler);
    };
    key(Qt::Key_Space, [this]() {
        if (ui.toolButton_Play->isEnabled())
            playOrPause();
    });
    key(Qt::Key_Left, [this]() {
        if (ui.toolButton_GoToStart->isEnabled())
            stepBackward();
    });
    key(Qt::Key_Right, [this]() {
        if (ui.toolButton_GoToEnd->isEnabled())
            stepForward();
    });
    key(Qt::Key_Home, [this]() { seekToFrame(1); });
    key(Qt::Key_End, [this]() {
        if (frameIndex_)
            seekToFrame(frameIndex_->frameCount());
    });
}

void manwindow::indexCaptureFile(const QString& file)
{
    frameIndex_.reset();
    readLiveOffData_->setFrameIndex(nullptr);
    ui.Slider_Frame->setEnabled(false);
    ui.spinBox_Frame->setEnabled(false);
    ui.progressBar_Index->setValue(0);
    ui.progressBar_Index->setVisible(true);
    indexThread_->build(file);
}

void manwindow::receiveFrameIndex(QString path, std::shared_ptr<const hvk32::CaptureFrameIndex> index, QString message)
{
    if (path != captureFile)
        return; // a file opened before the current one
    ui.progressBar_Index->setVisible(false);
    if (!index) {
        ui.statusBar->showMessage(tr("The capture could not be indexed: %1").arg(message), 10000);
        return;
    }
    frameIndex_ = std::move(index);
    readLiveOffData_->setFrameIndex(frameIndex_);
    const int frames = frameIndex_->frameCount();
    QString text = tr("%1 frames indexed").arg(frames);
    const hvk32::capturefile::Damage& damage = frameIndex_->summary().damage;
    if (damage.any())
        text += tr("; skipped %1 truncated record(s) and %2 record(s) with impossible lengths")
                    .arg(damage.truncatedRecords)
                    .arg(damage.badLengths);
    ui.statusBar->showMessage(text, 10000);
    if (frames == 0)
        return;
    if (ui.Slider_Frame->maximum() != frameIndex_->fileLength()) {
        ui.Slider_Frame->setRange(0, static_cast<int>(std::min<qint64>(frameIndex_->fileLength(), INT_MAX)));
        ui.Slider_Frame->setPageStep(1);
        captureLength = ui.Slider_Frame->maximum();
    }
    ui.Slider_Frame->setEnabled(true);
    {
        const QSignalBlocker quiet(ui.spinBox_Frame);
        ui.spinBox_Frame->setRange(1, frames);
        ui.spinBox_Frame->setValue(std::clamp(currentFrame_, 1, frames));
    }
    ui.spinBox_Frame->setEnabled(true);
    showFrameCounter();
    // A capture opened from the shell shows its first frame, unless it is played already.
    if (showFirstFrameWhenIndexed_ && firstPlay) {
        showFirstFrameWhenIndexed_ = false;
        seekToFrame(1);
    }
}

void manwindow::showFrameCounter()
{
    if (frameIndex_ && frameIndex_->frameCount() > 0)
        ui.label_FreamCount->setText(QStringLiteral("%1 / %2").arg(currentFrame_).arg(frameIndex_->frameCount()));
    else
        ui.label_FreamCount->setText(QString::number(currentFrame_));
}

void manwindow::seekToFrame(int n)
{
    if (!frameIndex_ || frameIndex_->frameCount() == 0)
        return;
    n = std::clamp(n, 1, frameIndex_->frameCount());
    if (!firstPlay && readLiveOffData_->isRunning()) {
        readLiveOffData_->seekToFrame(n);
        return;
    }
    // No playback yet, or it ended: start one paused at that frame.
    if (getLidarData_->isRunning() || getSet_->isRunning())
        onDisconnectLidar();
    if (readLiveOffData_->isRunning()) {
        readLiveOffData_->setStop(true);
        readLiveOffData_->setPause(false);
        readLiveOffData_->wait();
    }
    emit sendOffLiveFile(captureFile);
    readLiveOffData_->setDirection(0);
    readLiveOffData_->setStepOnce(0);
    readLiveOffData_->setPause(true);
    readLiveOffData_->setStop(false);
    readLiveOffData_->seekToFrame(n);
    readLiveOffData_->start(QThread::InheritPriority);
    playStopped = true;
    firstPlay = false;
    filePlaying = true;
    ui.toolButton_Play->setIcon(QIcon(kPlayIcon));
    setControls(hvk32::WindowStep::PlaybackPaused);
}
