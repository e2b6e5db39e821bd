// The main window's side of playback: the capture session's reports shown in the Offline
// tab's widgets, and the slider, the frame box and the keys that go straight to a frame.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "app/FrameSpinBox.h"
#include "app/PlaybackSession.h"
#include "app/WindowStatusBar.h"
#include "tools/UserPrompts.h"
#include "view/Readout.h"
#include "view/WindowRules.h"

#include <QDateTime>
#include <QProxyStyle>
#include <QShortcut>
#include <QSignalBlocker>

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

ReadLiveOffDataK32& manwindow::capturePlayer()
{
    return playback_->player();
}

void manwindow::setUpPlayback()
{
    PlaybackSession* p = playback_.get();
    ReadLiveOffDataK32* player = &p->player();
    connect(player, &ReadLiveOffDataK32::SendData, this,
            qOverload<const LidarData&, const hvk32::DeviceCalibration&>(&manwindow::CalculateCoordinatesK32));
    connect(player, &ReadLiveOffDataK32::SendFinsh, this, &manwindow::FinishPlay);
    connect(player, &ReadLiveOffDataK32::SendLidarConfig, this, &manwindow::receiveDevConfig);
    connect(player, &ReadLiveOffDataK32::SendFileTotleLength, this, &manwindow::getTotleLength);
    connect(player, &ReadLiveOffDataK32::SendProgressValue, this, &manwindow::updateProgress);
    connect(ui.comboBox_speeds, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::setPlaySeppd);
    connect(ui.toolButton_Play, &QToolButton::clicked, p, &PlaybackSession::playOrPause);
    connect(ui.toolButton_GoToStart, &QToolButton::clicked, p, &PlaybackSession::stepBackward);
    connect(ui.toolButton_SeekForward, &QToolButton::clicked, p, &PlaybackSession::playForward);
    connect(ui.toolButton_SeekBackward, &QToolButton::clicked, p, &PlaybackSession::playBackward);
    connect(ui.toolButton_GoToEnd, &QToolButton::clicked, p, &PlaybackSession::stepForward);

    connect(p, &PlaybackSession::controlsChange, this, &manwindow::setControls);
    connect(p, &PlaybackSession::playingChanged, this, [this](bool playing) {
        ui.toolButton_Play->setIcon(QIcon(playing ? kPauseIcon : kPlayIcon));
        if (!playing)
            listWholeSelection();
    });
    connect(p, &PlaybackSession::liveMustStop, this, [this]() {
        if (getLidarData_->isRunning() || getSet_->isRunning())
            onDisconnectLidar();
    });
    connect(p, &PlaybackSession::playbackStarted, this, &manwindow::restartFrameCounters);
    connect(p, &PlaybackSession::playbackStarted, this, [this]() { lossMeter_.reset(); });
    connect(p, &PlaybackSession::fileToPlay, this, &manwindow::sendOffLiveFile);
    connect(p, &PlaybackSession::statusMessage, status_, &WindowStatusBar::showMessage);
    connect(p, &PlaybackSession::warning, this, [this](const QString& text) { prompts_->warning(this, tr("Warning"), text); });
    connect(p, &PlaybackSession::sliderRange, this, [this](int maximum, bool fromStart) {
        ui.Slider_Frame->setRange(0, maximum);
        ui.Slider_Frame->setPageStep(1);
        if (fromStart)
            ui.Slider_Frame->setValue(0);
    });
    connect(p, &PlaybackSession::sliderPosition, this, [this](int position, bool evenWhileDragged) {
        if (evenWhileDragged || !ui.Slider_Frame->isSliderDown()) // the user's drag wins over the progress
            ui.Slider_Frame->setValue(position);
    });
    connect(p, &PlaybackSession::frameCounter, this, [this](int current, int total) {
        ui.label_FreamCount->setText(total > 0 ? QStringLiteral("%1 / %2").arg(current).arg(total)
                                               : QString::number(current));
    });
    connect(p, &PlaybackSession::frameTime, this, [this](qint64 captureMicros, quint32 deviceStamp) {
        ui.label_frameTime->setText(
            QStringLiteral("%1\n%2")
                .arg(QDateTime::fromMSecsSinceEpoch(captureMicros / 1000).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
                     hvk32::deviceStampText(deviceStamp)));
    });
    connect(p, &PlaybackSession::frameReached, this, [this](int frame) {
        if (ui.spinBox_Frame->hasFocus())
            return;
        const QSignalBlocker quiet(ui.spinBox_Frame);
        ui.spinBox_Frame->setValue(frame);
    });
    connect(p, &PlaybackSession::indexStarted, this, [this]() {
        ui.Slider_Frame->setEnabled(false);
        ui.spinBox_Frame->setEnabled(false);
        ui.progressBar_Index->setValue(0);
        ui.label_frameTime->clear();
        ui.progressBar_Index->setVisible(true);
    });
    connect(p, &PlaybackSession::indexProgress, ui.progressBar_Index, &QProgressBar::setValue);
    connect(p, &PlaybackSession::indexEnded, ui.progressBar_Index, &QProgressBar::hide);
    connect(p, &PlaybackSession::indexReady, this, [this](int frames, int current) {
        ui.Slider_Frame->setEnabled(true);
        {
            const QSignalBlocker quiet(ui.spinBox_Frame);
            ui.spinBox_Frame->setRange(1, frames);
            ui.spinBox_Frame->setValue(current);
        }
        ui.spinBox_Frame->setEnabled(true);
    });
}

void manwindow::FinishPlay(bool flag) { playback_->finish(flag); }
void manwindow::setPlaySeppd(int speed) { playback_->setSpeed(speed); }
void manwindow::getTotleLength(long length) { playback_->totalLength(length); }
void manwindow::updateProgress(int pos, int frameCount)
{
    playback_->progress(pos, frameCount);
    handPlayedFrameToMap(frameCount); // the frame just shown, if the map waits for it
}

void manwindow::seekToFrame(int n)
{
    resetMap();
    playback_->seekToFrame(n);
}

void manwindow::setUpSeeking()
{
    auto* style = new AbsoluteClickStyle;
    style->setParent(ui.Slider_Frame);
    ui.Slider_Frame->setStyle(style);
    // Clicks, drags and the slider's own keys; a drag asks for many frames and the player
    // goes to the newest.
    connect(ui.Slider_Frame, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderNoAction)
            return;
        resetMap();
        playback_->seekToPosition(ui.Slider_Frame->sliderPosition());
    });
    connect(ui.spinBox_Frame, QOverload<int>::of(&QSpinBox::valueChanged), this, &manwindow::seekToFrame);
    // After Enter the keys below work again: the box would keep them for its own editing.
    connect(ui.spinBox_Frame, &FrameSpinBox::entered, this, [this]() { ui.screen->setFocus(Qt::OtherFocusReason); });
    ui.label_frameTime->setToolTip(tr("When the frame shown began: the capture's time of its first packet, and that "
                                      "packet's time stamp from the device, which counts minutes and seconds within "
                                      "the hour of the device's clock"));

    auto key = [this](QKeySequence sequence, auto handler) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, handler);
    };
    key(Qt::Key_Space, [this]() {
        if (ui.toolButton_Play->isEnabled())
            playback_->playOrPause();
    });
    key(Qt::Key_Left, [this]() {
        if (ui.toolButton_GoToStart->isEnabled())
            playback_->stepBackward();
    });
    key(Qt::Key_Right, [this]() {
        if (ui.toolButton_GoToEnd->isEnabled())
            playback_->stepForward();
    });
    key(Qt::Key_Home, [this]() { seekToFrame(1); });
    key(Qt::Key_End, [this]() {
        resetMap();
        playback_->seekToLastFrame();
    });
}
