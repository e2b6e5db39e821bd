// The Lidar tab's "Serve" switch: a Foxglove WebSocket server on 127.0.0.1 of the frames the
// window receives or plays, the device-info packets it receives, and its stream's health;
// the status bar says where it serves and to how many clients.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "acquisition/PacketLossDetector.h"
#include "app/PlaybackSession.h"
#include "app/ServeSession.h"
#include "app/WindowStatusBar.h"
#include "receivers/GetSetK32.h"
#include "records/AngleValues.h"
#include "tools/UserPrompts.h"

#include <QIcon>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>

namespace {

constexpr int kDefaultServePort = 8765;

} // namespace

void manwindow::setUpServing()
{
    serve_ = std::make_unique<ServeSession>();
    // After the multicast field, before the tab's spacer, in the style of the tab's buttons.
    auto* portLabel = new QLabel(tr(" Serve Port:"), ui.Tab_1);
    portLabel->setObjectName("label_servePort");
    servePort_ = new QSpinBox(ui.Tab_1);
    servePort_->setObjectName("spinBox_servePort");
    servePort_->setRange(0, 65535);
    servePort_->setValue(kDefaultServePort);
    servePort_->setMinimumSize(80, 32);
    servePort_->setSpecialValueText(tr("any"));
    servePort_->setToolTip(tr("The TCP port the Serve switch listens on (on this computer only); any: a free port"));
    serveButton_ = new QToolButton(ui.Tab_1);
    serveButton_->setObjectName("toolButton_serve");
    serveButton_->setText(tr("Serve"));
    serveButton_->setIcon(QIcon(":/image/Resources/images/Sensor.png"));
    serveButton_->setIconSize(QSize(40, 40));
    serveButton_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    serveButton_->setAutoRaise(true);
    serveButton_->setCheckable(true);
    serveButton_->setToolTip(tr("Serve the frames shown (live or played), the device-info packets and the stream's "
                                "health to Foxglove: Open connection -> Foxglove WebSocket -> ws://127.0.0.1:PORT"));
    const int at = ui.horizontalLayout_Lidar->indexOf(ui.lineEdit_2) + 1;
    ui.horizontalLayout_Lidar->insertWidget(at, serveButton_);
    ui.horizontalLayout_Lidar->insertWidget(at, servePort_);
    ui.horizontalLayout_Lidar->insertWidget(at, portLabel);
    connect(serveButton_, &QToolButton::toggled, this, &manwindow::setServing);

    connect(getSet_.get(), &GetSetK32::SendDataDifo, this, [this](const u_char* raw) {
        serve_->publishDeviceInfo(raw, ServeSession::nowNs());
    });
    connect(playback_.get(), &PlaybackSession::captureDevice, this, [this](const QByteArray& deviceInfo) {
        serve_->publishDeviceInfo(reinterpret_cast<const std::uint8_t*>(deviceInfo.constData()),
                                  ServeSession::nowNs());
    });
    // A played frame's capture time follows it.
    connect(playback_.get(), &PlaybackSession::frameTime, this, [this](qint64 captureMicros, quint32) {
        serve_->releaseHeldFrame(static_cast<std::uint64_t>(captureMicros) * 1000u);
    });
}

void manwindow::setServing(bool on)
{
    if (!on) {
        serve_->stop();
        servePort_->setEnabled(true);
        status_->showServing(QString());
        return;
    }
    std::string error;
    if (!serve_->start(static_cast<std::uint16_t>(servePort_->value()), &error)) {
        const QSignalBlocker block(serveButton_);
        serveButton_->setChecked(false);
        status_->showServing(QString());
        prompts_->warning(this, tr("Warning"),
                          tr("Cannot serve on port %1: %2\nChoose another port (any: a free one) and turn Serve on "
                             "again.")
                              .arg(servePort_->value())
                              .arg(QString::fromStdString(error)));
        return;
    }
    servePort_->setEnabled(false);
    status_->showServing(tr("Serving on ws://127.0.0.1:%1 (clients: %2)").arg(serve_->port()).arg(0));
}

void manwindow::updateServingStatus(const hvk32::StreamHealth& health, std::uint64_t receiveDrops)
{
    if (!serve_ || !serve_->isServing())
        return;
    hvk32::foxglove::HealthCounts counts;
    counts.stream = hvk32::live::healthOf(health, receiveDrops); // as the command line's serve sends it
    serve_->setHealth(counts);
    status_->showServing(
        tr("Serving on ws://127.0.0.1:%1 (clients: %2)").arg(serve_->port()).arg(serve_->connectedClients()));
}

void manwindow::handToServer(const LidarData& frame, const std::optional<hvk32::DeviceCalibration>& calibration)
{
    if (!serve_ || !serve_->isServing())
        return;
    if (calibration)
        serve_->holdFrame(frame, hvk32::ConversionSnapshot::ofCapture(degreeMode, *calibration));
    else
        serve_->publishFrame(frame, hvk32::ConversionSnapshot::ofDevice(degreeMode, modeKnown, publishedOffsetAngles()),
                             ServeSession::nowNs());
}
