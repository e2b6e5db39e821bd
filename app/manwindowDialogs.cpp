// The main window's dialogs and buttons: which dialog or guide each button opens, how the
// dialogs hear the device and the window, and the controls only engineers see.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "acquisition/PointDecoding.h"
#include "app/PlaybackSession.h"
#include "app/WindowLayout.h"
#include "device/Destinations.h"
#include "platform/HelpViewer.h"
#include "tools/UserPrompts.h"
#include "tools/ACWPSettingWidgetK32.h"
#include "tools/About.h"
#include "tools/CodeDialog.h"
#include "tools/Form_QLaserSelectionK32.h"
#include "tools/InetactionSetupWidgetK32.h"
#include "tools/SaveDataOptions.h"
#include "tools/SetLidarModes.h"
#include "tools/VerticalAngleSetting.h"
#include "convert/PointConversion.h"

#include <QDir>
#include <QSignalBlocker>

#include <algorithm>

namespace {

// The echo list's items in the form: dual echo (both echoes), strong echo, second echo. A
// single-echo device gets one more, shown alone.
constexpr int kEchoChoices = 3;
const char* const kSingleEcho = QT_TRANSLATE_NOOP("manwindow", "SingleEcho");

} // namespace

QList<QWidget*> manwindow::engineeringControls() const
{
    return {
        ui.toolButton_9, ui.setLidarModePushButton, ui.angleLabel, ui.doubleSpinBox, ui.label_3,
        ui.doubleSpinBox_angle_two, ui.label_4, ui.doubleSpinBox_angle_three, ui.label_5,
        ui.doubleSpinBox_angle_four, ui.setVerticalPushButton, ui.label_6, ui.showAngle_lineEdit,
        ui.toolButton_User, ui.toolButton_Develop,
    };
}

void manwindow::setEngineeringMode(bool on)
{
    for (QWidget* w : engineeringControls())
        w->setVisible(on);
    verticalAngleSetting_->setSetButtonVisible(on);
}

void manwindow::setFixedDeviceAddress(const QString& address)
{
    hvk32::device::Destinations destinations;
    destinations.defaultDeviceAddress = address.toStdString();
    verticalAngleSetting_->setDestinations(destinations);
    acwpSetting_->setDestinations(destinations);
}

void manwindow::openGuide(const QUrl& url)
{
    // Without a browser the user still learns where the guide is, to open it by hand.
    if (!prompts_->openUrl(url))
        prompts_->warning(this, tr("Warning"),
                          tr("No browser could be started to show the guide. It is here:\n%1")
                              .arg(url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString()));
}

void manwindow::showCentred(QWidget* dialog)
{
    hvk32::layout::showCentred(dialog, this);
}

void manwindow::makeConnections()
{
    connect(ui.showAngle_lineEdit, &QLineEdit::returnPressed, this, &manwindow::showAngleLinedit_pressed);
    connect(saveDataOptions_.get(), &SaveDataOptions::sendOptions, this, &manwindow::receiveSaveDataOption);
    connect(getSet_.get(), &GetSetK32::SendLidarStatusToSettingUI, this, &manwindow::receiveDevPacket);
    connect(getLidarData_.get(), &GetLidardataK32::SendDataK32, this,
            qOverload<const LidarData&>(&manwindow::CalculateCoordinatesK32));
    connect(getSet_.get(), &GetSetK32::SendDataDifo, inetactionSetup_.get(), &InetactionSetupWidgetK32::OnLidarDifoData);
    connect(getSet_.get(), &GetSetK32::SendDataDifo, acwpSetting_.get(), &ACWPSettingWidgetK32::OnLidarDifoData);
    connect(getSet_.get(), &GetSetK32::SendLidarStatusToSettingUI, inetactionSetup_.get(),
            &InetactionSetupWidgetK32::OnLidarStatusReceiving);
    connect(getSet_.get(), &GetSetK32::SendLidarStatusToSettingUI, acwpSetting_.get(),
            &ACWPSettingWidgetK32::onLidarStatusReceiving);
    connect(this, &manwindow::SendDegreeMode, laserSelection_.get(), &Form_QLaserSelectionK32::ReceiveDegreeMode);
    connect(this, &manwindow::SendModel, getLidarData_.get(), &GetLidardataK32::Receive);
    connect(inetactionSetup_.get(), &InetactionSetupWidgetK32::sendVersionToAbout, about_.get(), &About::recvVersionInfo);
    connect(ui.setLidarModePushButton, &QPushButton::clicked, this, &manwindow::showLidarModeSetting);
    connect(setLidarModes_.get(), &SetLidarModes::sendConfig, this, &manwindow::receiveConfig);
    connect(this, &manwindow::sendDefaultConfig, setLidarModes_.get(), &SetLidarModes::setConfig);
    connect(this, &manwindow::sendDefaultConfig, saveDataOptions_.get(), &SaveDataOptions::setLidarAngleType);
    connect(ui.setVerticalPushButton, &QPushButton::clicked, this, &manwindow::showVerticalSetting);
    connect(getSet_.get(), &GetSetK32::SendLidarStatusToSettingUI, verticalAngleSetting_.get(),
            &VerticalAngleSetting::onLidarStatusReceiving_);
    connect(getSet_.get(), &GetSetK32::SendDataDifo, verticalAngleSetting_.get(), &VerticalAngleSetting::OnLidarDifoData_);
    connect(this, &manwindow::sendAngleMistake, verticalAngleSetting_.get(), &VerticalAngleSetting::showAngleMistake);
    connect(this, &manwindow::SendDegreeMode, verticalAngleSetting_.get(), &VerticalAngleSetting::setDegreeMode);
    connect(this, &manwindow::sendChannelAngles, saveDataOptions_.get(), &SaveDataOptions::showChannelAngles);
    connect(playback_.get(), &PlaybackSession::captureDevice, this, &manwindow::showCaptureDevice);
    connect(ui.toolButton_clear, &QToolButton::clicked, this, &manwindow::clearView);
    connect(ui.pushButton_exportSelection, &QPushButton::clicked, this, &manwindow::exportSelection);
    connect(ui.comboBox_View, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::view);
    connect(ui.toolButton_Coor, &QToolButton::clicked, this, &manwindow::toggleCoordinateSystem);
    connect(ui.toolButton_selectCloud, &QToolButton::clicked, this, &manwindow::SelectPoints);
    connect(ui.toolButton_lidarData, &QToolButton::clicked, this, &manwindow::showLidarDataList);
    connect(ui.toolButton_Lidar, &QToolButton::clicked, this, &manwindow::onConnectLidar);
    connect(ui.toolButton_disConnect, &QToolButton::clicked, this, &manwindow::onDisconnectLidar);
    connect(ui.toolButton_MeaGrid, &QToolButton::clicked, this, &manwindow::toggleGrid);
    connect(ui.toolButton_SavePcapData, &QToolButton::clicked, this, &manwindow::toggleRecording);
    connect(ui.toolButton_Open, &QToolButton::clicked, this, &manwindow::openCaptureFile);
    connect(ui.toolButton_pause, &QToolButton::clicked, this, &manwindow::liveStartOrPause);
    connect(this, &manwindow::sendEnableSetting, inetactionSetup_.get(), &InetactionSetupWidgetK32::isEnableSetting);
    connect(this, &manwindow::sendEnableSetting, verticalAngleSetting_.get(), &VerticalAngleSetting::isEnableSetting);
    connect(this, &manwindow::sendEnableSetting, acwpSetting_.get(), &ACWPSettingWidgetK32::isEnableSetting);
    connect(ui.toolButton_11, &QToolButton::clicked, this, [this]() { showCentred(saveDataOptions_.get()); });
    connect(ui.toolButton_12, &QToolButton::clicked, this, [this]() { showCentred(inetactionSetup_.get()); });
    connect(codeDialog_.get(), &CodeDialog::sendCode, this, &manwindow::onCodeData);
    connect(ui.toolButton_About, &QToolButton::clicked, this, [this]() { showCentred(about_.get()); });
    connect(ui.toolButton_User, &QToolButton::clicked, this, [this]() { openGuide(hvk32::platform::helpPageUrl("user-guide.html")); });
    connect(ui.toolButton_Develop, &QToolButton::clicked, this, [this]() { openGuide(hvk32::platform::helpPageUrl("developer-guide.html")); });
    connect(ui.toolButton_12, &QToolButton::clicked, inetactionSetup_.get(), &InetactionSetupWidgetK32::onCleanUCWPControl);
    connect(ui.toolButton_10, &QToolButton::clicked, this, [this]() { showCentred(laserSelection_.get()); });
    connect(ui.toolButton_9, &QToolButton::clicked, acwpSetting_.get(), &ACWPSettingWidgetK32::onCleanACWPControl);
    connect(ui.toolButton_9, &QToolButton::clicked, this, [this]() {
        acwpSetting_->resetSendReady();
        acwpSetting_->setDeviceAddress(deviceAddressSeen());
        showCentred(acwpSetting_.get());
        calcIntensity = true; // the next frame's average intensities go to the dialog
    });
    connect(this, &manwindow::sendIntensity, acwpSetting_.get(), &ACWPSettingWidgetK32::recvAvIntensity);
    connect(acwpSetting_.get(), &ACWPSettingWidgetK32::sendCalculateIntensity, this, &manwindow::recvCalculateIntensity);
    connect(ui.comboBox_7, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::Return_Mode);
    connect(ui.comboBox_degree, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::Return_Degree);
    connect(ui.doubleSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &manwindow::AngleAdjust);
    connect(ui.doubleSpinBox_angle_two, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &manwindow::AngleAdjust_two);
    connect(ui.doubleSpinBox_angle_three, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &manwindow::AngleAdjust_three);
    connect(ui.doubleSpinBox_angle_four, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &manwindow::AngleAdjust_four);
}

void manwindow::showCaptureDevice(const QByteArray& deviceInfo)
{
    if (deviceInfo.size() < static_cast<int>(hvk32::devinfo::kPacketSize))
        return;
    const auto* packet = reinterpret_cast<const std::uint8_t*>(deviceInfo.constData());
    const std::vector<int> status = hvk32::decodeStatusValues(packet);
    SettingData record = hvk32::decodeSettingData(packet);
    // The capture's frames are converted in its layout from the first one shown on.
    ui.comboBox_degree->setCurrentIndex(hvk32::degreeModeOf(status[hvk32::StatusAngleModeCode]));
    showEchoMode(hvk32::echoConfigurationOf(status[hvk32::StatusEchoMode]), true);
    inetactionSetup_->showCaptureDevice(&record, status);
}

void manwindow::showEchoMode(const QString& configuration, bool capture)
{
    QComboBox* echoes = ui.comboBox_7;
    const QSignalBlocker quiet(echoes); // what is shown changes, not the user's choice
    const bool single = hvk32::sensorConfigFromName(configuration) != hvk32::SensorConfig::DualEcho;
    if (single) {
        if (echoes->count() == kEchoChoices)
            echoes->addItem(echoes->itemIcon(0), tr(kSingleEcho));
        echoes->setCurrentIndex(kEchoChoices);
    } else {
        while (echoes->count() > kEchoChoices)
            echoes->removeItem(echoes->count() - 1);
        echoes->setCurrentIndex(capture ? 0 : echoSelection);
    }
    // A single echo leaves nothing to choose, and a capture plays every echo it holds.
    echoes->setEnabled(!single && !capture);
}

void manwindow::showChannelAngles()
{
    const float* inUse = hvk32::verticalAnglesInUse(lastSnapshot_.degreeMode, lastSnapshot_.deviceVerticalAngles);
    std::array<float, 32> angles;
    std::copy(inUse, inUse + angles.size(), angles.begin());
    if (channelAnglesShown_ == angles)
        return;
    channelAnglesShown_ = angles;
    emit sendChannelAngles(angles);
}

void manwindow::showLidarModeSetting()
{
    showCentred(setLidarModes_.get());
}

void manwindow::showVerticalSetting()
{
    showCentred(verticalAngleSetting_.get());
}

void manwindow::onCodeData(QString code)
{
    Q_UNUSED(code); // the code dialog's answer carries nothing the window uses
}

void manwindow::recvCalculateIntensity(bool flag)
{
    calcIntensity = flag;
}
