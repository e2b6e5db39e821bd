// The main window's side of the device: the connection fields, connecting (device-info
// first, then the data stream in the mode the device reports), disconnecting, the modes the
// dialogs and the player report, and stopping every receiver.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/PointDecoding.h"
#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "app/PlaybackSession.h"
#include "app/RecordingSession.h"
#include "app/ViewerScene.h"
#include "view/MapBuilder.h"
#include "app/WindowStatusBar.h"
#include "tools/UserPrompts.h"
#include "tools/InetactionSetupWidgetK32.h"
#include "view/WindowRules.h"

#include <QStandardItemModel>

namespace {

const char* const kOldFirmwareTitle = QT_TRANSLATE_NOOP("manwindow", "Warning");
const char* const kOldFirmwareText =
    QT_TRANSLATE_NOOP("manwindow", "The Lidar version is lower than V2.8. Does not support display");

} // namespace

void manwindow::setConnectionFields(const QString& dataPort, const QString& telemetryPort, const QString& group)
{
    if (!dataPort.isEmpty())
        ui.lineEdit_portNumber->setText(dataPort);
    if (!telemetryPort.isEmpty())
        ui.lineEdit->setText(telemetryPort);
    if (!group.isEmpty())
        ui.lineEdit_2->setText(group);
}

void manwindow::onConnectLidar()
{
    playback_->yieldToLive(); // a playing capture is paused first
    setControls(hvk32::WindowStep::Connecting);

    resetTable();
    ui.tableView->setModel(tableModel_.get());
    scene_->clear();
    resetMap();

    awaitingDevice = true;
    inetactionSetup_->setCaptureShown(false); // the device will be shown, not the capture
    channelAnglesShown_.reset();               // the dialogs hear the device's angles again
    lossMeter_.reset();
    restartFrameCounters();
    silence_.start(hvk32::FrameGate::nowMs(), datagramsReceived());
    status_->showSilence(0, 0, 0);

    const int telemetryPort = ui.lineEdit->text().toInt(); // not a number: port 0
    getSet_->setPort(telemetryPort);
    getSet_->setMulticastGroup(ui.lineEdit_2->text().toStdString());
    // A running receiver is stopped and waited for: a start while it is still inside its
    // loop would be ignored.
    getSet_->restart();
    status_->showMessage(tr("Waiting for the device on telemetry port %1").arg(telemetryPort));
}

void manwindow::receiveDevPacket(SettingData* data, std::vector<int> Mac)
{
    Q_UNUSED(data); // the window needs only the status values
    if (!awaitingDevice || !hvk32::isUsableDevice(Mac))
        return;
    awaitingDevice = false;
    if (hvk32::firmwareSupportsDisplay(Mac)) {
        emit sendEnableSetting(true);
    } else {
        emit sendEnableSetting(false);
        prompts_->warning(this, tr(kOldFirmwareTitle), tr(kOldFirmwareText));
    }

    modeKnown = 1;
    ui.comboBox_degree->setCurrentIndex(hvk32::degreeModeOf(Mac[hvk32::StatusAngleModeCode]));

    const QString configuration = hvk32::echoConfigurationOf(Mac[hvk32::StatusEchoMode]);
    showEchoMode(configuration, false);
    getLidarData_->setConfiguration(configuration);
    dataPort = ui.lineEdit_portNumber->text().toInt();
    getLidarData_->setPort(dataPort);
    getLidarData_->setMulticastGroup(ui.lineEdit_2->text().toStdString());
    getLidarData_->restart();
    status_->showMessage(tr("Receiving %1 data on port %2").arg(configuration).arg(dataPort), 5000);

    emit sendDefaultConfig(configuration, ui.comboBox_degree->currentIndex(), modeKnown);
}

void manwindow::onDisconnectLidar()
{
    setControls(hvk32::WindowStep::Disconnected);
    silence_.stop();
    status_->showSilence(0, 0, 0);
    // Both loops see the flag within one receive time-out and end on their own.
    if (getLidarData_->isRunning())
        getLidarData_->setStop(true);
    if (getSet_->isRunning())
        getSet_->setStop(true);
    status_->showMessage(tr("Disconnected"), 5000);
}

void manwindow::receiveDevConfig(QString echoMode, int degreeMode, int accuaryMode)
{
    Q_UNUSED(accuaryMode); // the distance unit is known once a device reports its modes
    playback_->player().setConfiguration(echoMode);
    ui.comboBox_degree->setCurrentIndex(degreeMode);
    modeKnown = 1;
    showEchoMode(echoMode, true);
}

void manwindow::receiveConfig(QString echoMode, int degreeMode, int accuaryMode)
{
    receiveDevConfig(echoMode, degreeMode, accuaryMode);
    getLidarData_->setConfiguration(echoMode);
    liveDualEcho_ = hvk32::sensorConfigFromName(echoMode) == hvk32::SensorConfig::DualEcho;
    showEchoMode(echoMode, false);
}

void manwindow::Return_Mode()
{
    const int index = ui.comboBox_7->currentIndex();
    if (index >= 0 && index <= 2) {
        echoSelection = index;
        emit SendModel(index);
    }
}

void manwindow::Return_Degree()
{
    const int index = ui.comboBox_degree->currentIndex();
    if (index == 0 || index == 1) {
        degreeMode = index;
        emit SendDegreeMode(index);
    }
}

void manwindow::stopReceivers()
{
    if (playback_)
        playback_->stop();
    if (getLidarData_)
        getLidarData_->stopAndWait();
    if (getSet_)
        getSet_->stopAndWait();
    if (map_)
        map_->stop();
    // A recording is closed quietly: the window is going away.
    if (recording_)
        recording_->close();
}
