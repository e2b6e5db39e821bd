#include "app/WindowStatusBar.h"

#include "acquisition/PacketLossDetector.h"
#include "receivers/UdpReceiverThread.h"
#include "view/PacketLossMeter.h"

#include <QBoxLayout>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>
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

// Below this a text field is cut at its end rather than widening the window past a small
// screen; its tool tip then holds it whole.
constexpr int kTextFieldMinimumWidth = 120;
// A message about a written file stays long enough to copy its path.
constexpr int kWrittenMessageMs = 30000;
// Between the message and its "Copy path" button.
constexpr int kFieldGap = 12;

} // namespace

WindowStatusBar::WindowStatusBar(QStatusBar* bar, const QString& guideUrl) : QObject(bar), bar_(bar)
{
    // One permanent panel takes the whole bar: QStatusBar's own message area is left without
    // room, and the message is shown by the panel's label instead, on a row of its own.
    panel_ = new QWidget(bar_);
    panel_->setObjectName(QStringLiteral("statusPanel"));
    rows_ = new QVBoxLayout(panel_);
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(0);
    bar_->addPermanentWidget(panel_, 1);

    // Each text has a line of its own, the width of the window: side by side, three of them
    // did not fit 1280 pixels and ran into each other. A hidden one takes no room.
    silence_ = addTextField("label_silence");
    silence_->setStyleSheet(QStringLiteral("color: #d04000; font-weight: bold;"));
    silence_->hide();
    auto* messageRow = new QHBoxLayout;
    messageRow->setSpacing(kFieldGap);
    rows_->addLayout(messageRow);
    message_ = new QLabel(panel_);
    message_->setObjectName(QStringLiteral("label_message"));
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    message_->setWordWrap(true);
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    messageRow->addWidget(message_, 1);
    copyPath_ = new QToolButton(panel_);
    copyPath_->setObjectName(QStringLiteral("toolButton_copyPath"));
    copyPath_->setText(tr("Copy path"));
    copyPath_->setAutoRaise(true);
    copyPath_->hide();
    messageRow->addWidget(copyPath_, 0, Qt::AlignTop);
    // The row is as tall as the button from the start: the view keeps its size when it shows.
    message_->setMinimumHeight(copyPath_->sizeHint().height());
    connect(copyPath_, &QToolButton::clicked, this, [this]() { QGuiApplication::clipboard()->setText(writtenPath_); });
    connect(bar_, &QStatusBar::messageChanged, this, &WindowStatusBar::messageChanged);

    recording_ = addTextField("label_recordStatus");
    recording_->hide();
    serving_ = addTextField("label_serving");
    serving_->hide();
    measurement_ = addTextField("label_measurement");
    measurement_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    measurement_->setVisible(false);

    counterRow_ = new QHBoxLayout;
    counterRow_->setSpacing(0);
    rows_->addLayout(counterRow_);
    counterRow_->addStretch(1);
    link_ = addField("label_link");
    link_->setTextFormat(Qt::RichText);
    link_->setText(tr("<a href=\"%1\">HVK32 user guide</a>").arg(guideUrl));
    connect(link_, &QLabel::linkActivated, this, &WindowStatusBar::guideRequested);
    selection_ = addField("label_selection");
    framesSent_ = addField("label_framesSent");
    framesDrawn_ = addField("label_framesDrawn");
    framesSkipped_ = addField("label_framesSkipped");
    deviceRate_ = addField("label_deviceRate");
    lostPackets_ = addField("label_lostPackets");
    receiveDrops_ = addField("label_receiveDrops");
}

QLabel* WindowStatusBar::addField(const char* objectName)
{
    auto* label = new QLabel(panel_);
    label->setObjectName(objectName);
    counterRow_->addWidget(label);
    counterRow_->addSpacing(8);
    return label;
}

QLabel* WindowStatusBar::addTextField(const char* objectName)
{
    auto* label = new QLabel(panel_);
    label->setObjectName(objectName);
    label->setMinimumWidth(kTextFieldMinimumWidth);
    rows_->addWidget(label);
    return label;
}

void WindowStatusBar::showFrames(std::uint64_t sent, std::uint64_t drawn, std::uint64_t skipped, double deviceRate,
                                 bool capture)
{
    framesSent_->setText(tr("Frames sent: %1").arg(sent));
    framesDrawn_->setText(tr("Drawn: %1").arg(drawn));
    framesSkipped_->setText(tr("Skipped: %1").arg(skipped));
    // A capture's frames come as fast as the chosen speed plays them.
    deviceRate_->setText(capture ? tr("Playback rate: %1 Hz").arg(deviceRate, 0, 'f', 1)
                                 : tr("Device rate: %1 Hz").arg(deviceRate, 0, 'f', 1));
    if (deviceRate_->property("capture").toBool() != capture || deviceRate_->toolTip().isEmpty()) {
        deviceRate_->setProperty("capture", capture);
        deviceRate_->setToolTip(capture ? tr("Frames the capture is played at per second, set by the speed list")
                                        : tr("Frames the device sends per second, measured as they arrive"));
    }
}

void WindowStatusBar::showStreamHealth(const hvk32::StreamHealth& health, double lostPercent,
                                       const ReceiveBufferState& buffer, bool capture)
{
    QString lost = tr("Lost packets: %1 (%2 % in 10 s)").arg(health.lostPackets).arg(lostPercent, 0, 'f', 2);
    // Silences of more than a second are not losses, but the user must see them.
    if (health.gaps > 0)
        lost += tr(", gaps: %1 (%2 s, %3 packets)")
                    .arg(health.gaps)
                    .arg(health.gapSeconds(), 0, 'f', 1)
                    .arg(health.gapPackets);
    lostPackets_->setText(lost);
    // Drops on a buffer the system kept small: the field names the buffer's size, in the
    // warning colour, and its tip says how to raise the limit.
    const bool smallBuffer = buffer.drops > 0 && buffer.limited;
    receiveDrops_->setText(smallBuffer ? tr("Receive drops: %1 (buffer %2 KiB)").arg(buffer.drops).arg(buffer.bytes / 1024)
                                       : tr("Receive drops: %1").arg(buffer.drops));
    showAsWarning(receiveDrops_, smallBuffer);
    showAsWarning(lostPackets_, lostPercent > hvk32::PacketLossMeter::kWarningPercent || health.gaps > 0);
    lostPackets_->setToolTip((capture ? tr("Data packets missing from the capture's stream in the part played; %1 "
                                           "more came twice and %2 out of order")
                                      : tr("Data packets missing from the device's stream since Connect; %1 more came "
                                           "twice and %2 out of order"))
                                 .arg(health.duplicatePackets)
                                 .arg(health.outOfOrderPackets)
                             + (health.gaps > 0 ? tr("\nGaps: silences of more than a second after which the "
                                                     "stream went on, not counted as lost")
                                                : QString()));
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

void WindowStatusBar::showServing(const QString& text)
{
    serving_->setVisible(!text.isEmpty());
    serving_->setText(text);
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
    writtenText_.clear();
    bar_->showMessage(text, timeoutMs);
}

void WindowStatusBar::showFileWritten(const QString& text, const QString& path)
{
    writtenText_ = text;
    writtenPath_ = path;
    bar_->showMessage(text, kWrittenMessageMs);
    messageChanged(text); // the same text again emits no change
}

void WindowStatusBar::clearMessage()
{
    bar_->clearMessage();
}

void WindowStatusBar::messageChanged(const QString& text)
{
    message_->setText(text);
    message_->setToolTip(text);
    const bool written = !text.isEmpty() && text == writtenText_;
    copyPath_->setVisible(written);
    copyPath_->setToolTip(written ? writtenPath_ : QString());
}

QString WindowStatusBar::pathToCopy() const
{
    return copyPath_->isVisibleTo(panel_) ? writtenPath_ : QString();
}

void WindowStatusBar::showSilence(int seconds, int dataPort, int telemetryPort)
{
    silence_->setVisible(seconds > 0);
    if (seconds <= 0) {
        silence_->clear();
        return;
    }
    silence_->setText(tr("Nothing has arrived for %1 s on ports %2 (data) and %3 (telemetry)")
                          .arg(seconds)
                          .arg(dataPort)
                          .arg(telemetryPort));
    silence_->setToolTip(tr("No datagram has reached the window's ports since then. Check the cable and that the "
                            "device sends to this computer on these ports: a factory reset sends to its factory "
                            "ports."));
}
