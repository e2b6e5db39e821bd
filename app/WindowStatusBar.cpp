#include "app/WindowStatusBar.h"

#include "acquisition/PacketLossDetector.h"
#include "acquisition/UdpReceiverThread.h"
#include "view/PacketLossMeter.h"

#include <QLabel>
#include <QStatusBar>
#include <QVariant>

namespace {

// A field in the warning colour, or back to normal; restyled only on a change.
void showAsWarning(QLabel* label, bool warn)
{
    if (label->property("warning").toBool() == warn)
        return;
    label->setProperty("warning", warn);
    label->setStyleSheet(warn ? QStringLiteral("color: #d04000; font-weight: bold;") : QString());
}

constexpr int kWideFieldMinimumWidth = 120;

} // namespace

WindowStatusBar::WindowStatusBar(QStatusBar* bar, const QString& guideUrl) : QObject(bar), bar_(bar)
{
    link_ = addField("label_link");
    link_->setTextFormat(Qt::RichText);
    link_->setText(tr("<a href=\"%1\">HVK32 user guide</a>").arg(guideUrl));
    connect(link_, &QLabel::linkActivated, this, &WindowStatusBar::guideRequested);

    measurement_ = addWideField("label_measurement");
    measurement_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    measurement_->setVisible(false);

    selection_ = addField("label_selection");
    framesSent_ = addField("label_framesSent");
    framesDrawn_ = addField("label_framesDrawn");
    framesSkipped_ = addField("label_framesSkipped");
    deviceRate_ = addField("label_deviceRate");
    lostPackets_ = addField("label_lostPackets");
    receiveDrops_ = addField("label_receiveDrops");

    recording_ = addWideField("label_recordStatus");
    recording_->hide();
}

QLabel* WindowStatusBar::addField(const char* objectName, int stretch)
{
    auto* label = new QLabel(bar_);
    label->setObjectName(objectName);
    bar_->addPermanentWidget(label, stretch);
    return label;
}

QLabel* WindowStatusBar::addWideField(const char* objectName)
{
    // A long text takes the room the counters leave and is cut at its end rather than
    // widening the window past a small screen; its tool tip holds it whole.
    QLabel* label = addField(objectName, 1);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(kWideFieldMinimumWidth);
    return label;
}

void WindowStatusBar::showFrames(std::uint64_t sent, std::uint64_t drawn, std::uint64_t skipped, double deviceRate)
{
    framesSent_->setText(tr("Frames sent: %1").arg(sent));
    framesDrawn_->setText(tr("Drawn: %1").arg(drawn));
    framesSkipped_->setText(tr("Skipped: %1").arg(skipped));
    deviceRate_->setText(tr("Device rate: %1 Hz").arg(deviceRate, 0, 'f', 1));
}

void WindowStatusBar::showStreamHealth(const hvk32::StreamHealth& health, double lostPercent,
                                       const ReceiveBufferState& buffer, bool capture)
{
    lostPackets_->setText(tr("Lost packets: %1 (%2 % in 10 s)").arg(health.lostPackets).arg(lostPercent, 0, 'f', 2));
    // Drops on a buffer the system kept small: the field names the buffer's size, in the
    // warning colour, and its tip says how to raise the limit.
    const bool smallBuffer = buffer.drops > 0 && buffer.limited;
    receiveDrops_->setText(smallBuffer ? tr("Receive drops: %1 (buffer %2 KiB)").arg(buffer.drops).arg(buffer.bytes / 1024)
                                       : tr("Receive drops: %1").arg(buffer.drops));
    showAsWarning(receiveDrops_, smallBuffer);
    showAsWarning(lostPackets_, lostPercent > hvk32::PacketLossMeter::kWarningPercent);
    lostPackets_->setToolTip((capture ? tr("Data packets missing from the capture's stream in the part played; %1 "
                                           "more came twice and %2 out of order")
                                      : tr("Data packets missing from the device's stream since Connect; %1 more came "
                                           "twice and %2 out of order"))
                                 .arg(health.duplicatePackets)
                                 .arg(health.outOfOrderPackets));
    // The receive buffer's size and, when the system granted less than asked, how to raise it.
    QString advice;
    if (buffer.bytes > 0) {
        advice = tr("\nReceive buffer: %1 KiB").arg(buffer.bytes / 1024);
        if (buffer.limited)
            advice += tr(" of the %1 KiB asked for: the system's limit is lower. To keep up with bursts, raise it with "
                         "\"sudo sysctl -w net.core.rmem_max=%2\" and press Connect again.")
                          .arg(hvk32::UdpReceiverThread::kReceiveBufferBytes / 1024)
                          .arg(hvk32::UdpReceiverThread::kReceiveBufferBytes);
    }
    receiveDrops_->setToolTip(tr("Datagrams this computer dropped because the receive buffer was full") + advice);
}

void WindowStatusBar::showSelection(int count)
{
    if (count > 0)
        selection_->setText(tr("Selected: %1 points").arg(count));
    else
        selection_->clear();
}

void WindowStatusBar::showMeasurement(bool visible, const QString& text)
{
    measurement_->setVisible(visible);
    measurement_->setText(visible ? text : QString());
    measurement_->setToolTip(measurement_->text());
}

void WindowStatusBar::showRecording(const QString& text, bool warn, const QString& file)
{
    recording_->setVisible(!text.isEmpty());
    if (text.isEmpty())
        return;
    recording_->setText(text);
    recording_->setStyleSheet(warn ? QStringLiteral("color: #d04000;") : QString());
    recording_->setToolTip(file + QLatin1Char('\n') + text);
}

void WindowStatusBar::showMessage(const QString& text, int timeoutMs)
{
    bar_->showMessage(text, timeoutMs);
}

void WindowStatusBar::clearMessage()
{
    bar_->clearMessage();
}
