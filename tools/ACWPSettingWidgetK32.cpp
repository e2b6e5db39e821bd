#include "tools/ACWPSettingWidgetK32.h"
#include "ui_ACWPSettingWidgetK32.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "device/AcwpPacket.h"
#include "device/DeviceStatusText.h"
#include "device/ResetPacket.h"
#include "tools/UserPrompts.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <string>

using namespace hvk32;

namespace {

constexpr int kPauseAfterSend = 50;   // [ms] lets the ACWP datagram leave
constexpr int kPauseAfterReset = 200; // [ms] lets the reset datagram leave
constexpr std::size_t kAveragedChannels = 32;
// Where the firmware major sits among the record's last eight version bytes.
constexpr std::size_t kFirmwareMajorInRecord = devinfo::kFirmwareMajor - devinfo::kBoardVersionMajor;

const char* const kNoDevicePacket = QT_TRANSLATE_NOOP("ACWPSettingWidgetK32", "Please check the device package port！");
const char* const kSettingsFilter = QT_TRANSLATE_NOOP("ACWPSettingWidgetK32", "Supported Files (*.ini)");

// The status entries shown in the four angle fields, in field order 1..4.
constexpr StatusIndex kAngleEntries[acwp::kAngleCount] = {StatusOffsetAngle1, StatusOffsetAngle2, StatusOffsetAngle3,
                                                          StatusOffsetAngle4};

// A message and, on its own line, the reason the failing call gave, so the user can act on it.
QString withReason(const QString& message, const QString& reason)
{
    return reason.isEmpty() ? message : message + QLatin1Char('\n') + reason;
}

} // namespace

ACWPSettingWidgetK32::ACWPSettingWidgetK32(platform::UserPrompts* prompts, platform::Pauses* pauses, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::ACWPSettingWidgetK32>()), sender_(prompts, pauses), clock_([] { return QDateTime::currentDateTime(); }),
      gpsLogRoot_(gpsLogRoot())
{
    Q_INIT_RESOURCE(resources); // the icons live in a static library
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window);

    connect(ui->pushButton_OK, &QPushButton::clicked, this, &ACWPSettingWidgetK32::onOK_Clicked);
    connect(ui->pushButton_Cancel, &QPushButton::clicked, this, &ACWPSettingWidgetK32::onCancel_Clicked);
    connect(ui->pushButton_Refreshlidar, &QPushButton::clicked, this, &ACWPSettingWidgetK32::onRefreshbutton_clicked);
    connect(ui->pushButton_RecoverSetting, &QPushButton::clicked, this, &ACWPSettingWidgetK32::onRecoverSetting);
    connect(ui->pushButton_SaveSettingfile, &QPushButton::clicked, this, &ACWPSettingWidgetK32::onSaveSettingFile);
    connect(ui->pushButton_startCheck, &QPushButton::clicked, this, &ACWPSettingWidgetK32::onStartCheck_Clicked);
    connect(ui->checkBox_checkGPS, &QCheckBox::stateChanged, this, &ACWPSettingWidgetK32::GPS_Checkbox_clicked);
}

ACWPSettingWidgetK32::~ACWPSettingWidgetK32() = default;

void ACWPSettingWidgetK32::setDestinations(const device::Destinations& destinations)
{
    destinations_ = destinations;
    ui->lineEdit_DestIP->setText(QString::fromStdString(destinations.defaultDeviceAddress));
    ui->lineEdit_DestPort->setText(QString::number(destinations.commandPort));
}

void ACWPSettingWidgetK32::isEnableSetting(bool flag)
{
    ui->pushButton_OK->setEnabled(flag);
    ui->pushButton_RecoverSetting->setEnabled(flag);
    ui->pushButton_SaveSettingfile->setEnabled(flag);
}

void ACWPSettingWidgetK32::OnLidarDifoData(const u_char* data)
{
    stored_.store(data);
}

void ACWPSettingWidgetK32::onLidarStatusReceiving(SettingData* data, std::vector<int> Mac)
{
    if (!data || Mac.size() < static_cast<std::size_t>(StatusValueCount))
        return;
    std::memcpy(&storedStatus_, data, sizeof storedStatus_);
    statusValues_ = std::move(Mac);

    ui->lineEdit_APDtemperature->setText(statustext::apdTemperatureText(statusValues_[StatusApdTemperature]));
    for (StatusIndex i : {StatusHighVoltage, StatusHighVoltageAdjust, StatusThresholdAdjust})
        statusValues_[i] = statustext::boardTwoSigned(statusValues_[i]);
    ui->lineEdit_board2HV->setText(statustext::highVoltageText(statusValues_[StatusHighVoltage]));
    ui->lineEdit_board2HV_adjust->setText(QString::number(statusValues_[StatusHighVoltageAdjust]));
    ui->lineEdit_borad2Sill_adjust->setText(QString::number(statusValues_[StatusThresholdAdjust]));

    if (gpsCheckRunning_)
        GPSTimeTest(&storedStatus_);
}

void ACWPSettingWidgetK32::showPortWarning()
{
    prompts().information(nullptr, tr("warring"), tr(kNoDevicePacket));
}

void ACWPSettingWidgetK32::onRefreshbutton_clicked()
{
    // The list comes with every status before its raw packet; without one there is nothing to show.
    if (!stored_.refreshReady || statusValues_.size() < static_cast<std::size_t>(StatusValueCount)) {
        showPortWarning();
        return;
    }
    stored_.refreshReady = false;

    ui->lineEdit_SerialNumber->setText(statustext::boardVersionText(statusValues_));
    ui->lineEdit_Version->setText(statustext::firmwareVersionText(statusValues_));
    const int speedItem = statustext::motorSpeedItemOf(storedStatus_.motorSpeed, statustext::kAdvancedSpeedTolerance);
    if (speedItem >= 0)
        ui->comboBox_motorSpeed->setCurrentIndex(speedItem);

    QLineEdit* const angleFields[acwp::kAngleCount] = {ui->lineEdit_angle_set, ui->lineEdit_angle_set_two,
                                                      ui->lineEdit_angle_set_three, ui->lineEdit_angle_set_four};
    for (int i = 0; i < acwp::kAngleCount; ++i) {
        int& value = statusValues_[kAngleEntries[i]];
        value = acwp::angleCodeHundredths(value);
        angleFields[i]->setText(statustext::hundredthsText(value));
    }
    ui->lineEdit_range_set->setText(statustext::hundredthsText(statusValues_[StatusMeasuringRange]));
    ui->lineEdit_trailer_distance->setText(QString::number(statusValues_[StatusTailDistance]));
    ui->lineEdit_trailer_limit->setText(QString::number(statusValues_[StatusTailThreshold]));

    const int zero = statusValues_[StatusZeroDirection];
    if (zero == 0 || zero == 1)
        ui->setAngel0_ComboBox->setCurrentIndex(zero);
    const int echo = statusValues_[StatusEchoMode];
    if (echo == 0 || echo == 1)
        ui->EchoMode_comboBox->setCurrentIndex(echo);

    statusValues_.clear();
    prompts().information(this, tr("Tips"), tr("Resresh completed"));
    ui->pushButton_OK->setEnabled(true);
}

void ACWPSettingWidgetK32::onOK_Clicked()
{
    if (!stored_.sendReady) {
        showPortWarning();
        return;
    }
    stored_.sendReady = false; // spent even when the form is refused below

    acwp::AcwpForm form;
    form.motorSpeedItem = ui->comboBox_motorSpeed->currentIndex();
    form.range = ui->lineEdit_range_set->text();
    form.tailThreshold = ui->lineEdit_trailer_limit->text();
    form.tailDistance = ui->lineEdit_trailer_distance->text();
    form.zeroDirectionItem = ui->setAngel0_ComboBox->currentIndex();
    form.echoModeItem = ui->EchoMode_comboBox->currentIndex();
    form.angles[0] = ui->lineEdit_angle_set->text();
    form.angles[1] = ui->lineEdit_angle_set_two->text();
    form.angles[2] = ui->lineEdit_angle_set_three->text();
    form.angles[3] = ui->lineEdit_angle_set_four->text();
    const acwp::Build build = acwp::buildAcwpPacket(stored_.packet.data(), form);
    switch (build.refusal) {
    case acwp::Refusal::None:
        break;
    case acwp::Refusal::EmptyRange:
        prompts().information(this, tr("warning"), tr("请输入量程"));
        return;
    case acwp::Refusal::NegativeValue:
        prompts().information(this, tr("warning"), tr("The range and the tail values can not be negative."));
        return;
    case acwp::Refusal::AngleOutOfRange:
        prompts().information(this, tr("warning"), tr("The horizontal angles must be from -327.68 to 327.67."));
        return;
    }
    acwpPacket_ = build.packet;

    const ucwp::Destination to = acwp::acwpDestination(
        stored_.packet.data(), storedStatus_.boardAndFirmware[kFirmwareMajorInRecord], destinations_.commandPort);
    device::SendSteps steps(this, tr("Warning"), tr("The settings could not be sent to %1:%2."), kPauseAfterSend);
    steps.doneParent = this;
    steps.doneTitle = tr("Tips");
    steps.doneText = tr("Setup completed");
    steps.refresh = [this] { onRefreshbutton_clicked(); };
    steps.closeTitle = tr("Question");
    steps.closeText = tr("Whether to close the Settings form?");
    sender_.send(acwpPacket_.data(), QString::fromStdString(to.address), to.port, steps);
}

void ACWPSettingWidgetK32::onCancel_Clicked()
{
    close();
}

void ACWPSettingWidgetK32::onSaveSettingFile()
{
    std::array<std::uint8_t, configpacket::kPacketSize> packet{};
    std::string captureError;
    std::string adapter;
    if (!captureDeviceInfoPacket(capture_, packet, &captureError, &adapter)) {
        // The adapter was opened but saw no device-info packet: say where it listened, as
        // the device's packet interval is not what went wrong.
        const QString lead = adapter.empty()
                                 ? tr("抓包失败,请设置发包间隔为0!")
                                 : tr("Save set file reads the settings from a device-info packet captured on the "
                                      "network adapter \"%1\", and none was captured there. Check that the device is "
                                      "connected and sends to this computer through that adapter.")
                                       .arg(QString::fromStdString(adapter));
        prompts().warning(this, tr("error"), withReason(lead, QString::fromStdString(captureError)));
        return;
    }
    const QString path = prompts().saveFileName(this, tr("WireSharkCaptureFile"), QString(),
                                                tr(kSettingsFilter));
    if (path.isEmpty())
        return;
    QString fileError;
    if (!writeSettingsFile(path, packet.data(), &fileError))
        prompts().warning(this, tr("error"), withReason(tr("打开文件失败,请检查!"), fileError));
}

void ACWPSettingWidgetK32::onRecoverSetting()
{
    // The reset moves the device to other addresses and ports, after which this computer may
    // receive nothing from it: the user confirms, knowing what changes.
    const auto dotted = [](const std::uint8_t (&a)[4]) { return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]); };
    namespace factory = hvk32::factoryreset;
    const QString question =
        tr("Restore the device's factory settings? It will then use:\n"
           "  device address %1, sending to %2\n"
           "  data port %3, telemetry port %4\n"
           "  motor speed %5 rpm\n"
           "Afterwards this computer receives the device only with that address and on those ports.")
            .arg(dotted(factory::kDeviceIp), dotted(factory::kHostIp))
            .arg(factory::kDataPort)
            .arg(factory::kDevicePort)
            .arg(factory::kMotorRpm);
    if (prompts().question(this, tr("Question"), question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
        QMessageBox::Yes)
        return;
    std::array<std::uint8_t, configpacket::kPacketSize> packet = factoryResetPacket(clock_());
    const std::uint16_t port = ui->lineEdit_DestPort->text().toUShort(); // not a port number: 0
    device::SendSteps steps(this, tr("Warning"), tr("The reset could not be sent to %1:%2."), kPauseAfterReset);
    steps.doneParent = this;
    steps.doneTitle = tr("Tips");
    steps.doneText = tr("Reset completed !");
    sender_.send(packet.data(), ui->lineEdit_DestIP->text(), port, steps);
}

void ACWPSettingWidgetK32::onCleanACWPControl()
{
    ui->lineEdit_SerialNumber->clear();
    ui->lineEdit_Version->clear();
}

void ACWPSettingWidgetK32::recvAvIntensity(std::vector<float> _av)
{
    averagedIntensities_ = std::move(_av);
    averagedIntensities_.resize(kAveragedChannels, 0.0f);
}

void ACWPSettingWidgetK32::GPS_Checkbox_clicked(int state)
{
    const bool checked = state == Qt::Checked;
    if (!checked) {
        ui->pushButton_startCheck->setText(tr("Start"));
        stopGpsCheck();
    }
    ui->lineEdit_LidarIDNumber->setEnabled(checked);
    ui->pushButton_startCheck->setEnabled(checked);
    ui->label_7->setEnabled(checked);
}

void ACWPSettingWidgetK32::onStartCheck_Clicked()
{
    if (ui->pushButton_startCheck->text() != tr("Start")) {
        ui->lineEdit_LidarIDNumber->setEnabled(true);
        ui->pushButton_startCheck->setText(tr("Start"));
        stopGpsCheck();
        return;
    }
    if (ui->lineEdit_LidarIDNumber->text().isEmpty()) {
        prompts().warning(nullptr, tr("warring"), tr("The number can not be empty!"));
        return;
    }
    QString root = gpsLogRoot_;
    if (!createTestFile(root))
        return;
    ui->lineEdit_LidarIDNumber->setEnabled(false);
    ui->pushButton_startCheck->setText(tr("Stop"));
    gpsCheckRunning_ = true;
    // Where the logs go, so the operator can find them afterwards.
    const QFileInfo mainLog(gpsLog_.mainLogPath());
    ui->label_gpsLogFiles->setText(tr("Folder: %1\nLog: %2\nErrors: %3")
                                      .arg(QDir::toNativeSeparators(mainLog.absolutePath()), mainLog.fileName(),
                                           QFileInfo(gpsLog_.errorLogPath()).fileName()));
    ui->lineEdit_errorCount->setText(QString::number(gpsLog_.errorCount()));
}

bool ACWPSettingWidgetK32::createTestFile(QString& path)
{
    QString error;
    if (gpsLog_.start(path, ui->lineEdit_LidarIDNumber->text(), clock_(), &error))
        return true;
    // Logging into files that do not exist would look like a running test that records nothing.
    gpsLog_.stop();
    prompts().warning(nullptr, tr("Warning"), tr("The GPS time logs could not be created: %1").arg(error));
    return false;
}

void ACWPSettingWidgetK32::GPSTimeTest(SettingData* data)
{
    if (!data)
        return;
    if (gpsLog_.record(data->dateTime, clock_()))
        ui->lineEdit_errorCount->setText(QString::number(gpsLog_.errorCount()));
}

void ACWPSettingWidgetK32::stopGpsCheck()
{
    gpsCheckRunning_ = false;
    gpsLog_.stop();
}
