#include "tools/InetactionSetupWidgetK32.h"
#include "ui_InetactionSetupWidgetK32.h"

#include "device/DeviceStatusText.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "device/UcwpPacket.h"
#include "tools/UserPrompts.h"

#include <QEvent>
#include <QIntValidator>
#include <QRegExp>
#include <QRegExpValidator>

#include <algorithm>
#include <cstring>
#include <iterator>

using namespace hvk32;

namespace {

const QString kAddressPattern = QStringLiteral(
    "\\b(?:(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.){3}(?:25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\b");
constexpr int kPortBottom = 1024;
constexpr int kPortTop = 65536;

constexpr int kPauseAfterSend = 400;      // [ms] lets the datagram leave
constexpr int kPauseBeforeRefresh = 500;  // [ms] lets the device apply the settings

constexpr int kPpsAngleScale = 100;

const char* const kRefreshTitle = QT_TRANSLATE_NOOP("InetactionSetupWidgetK32", "warring");
const char* const kNoDevicePacket = QT_TRANSLATE_NOOP("InetactionSetupWidgetK32", "Please check the device package port！");

QString iconPath(const char* name)
{
    return QStringLiteral(":/image/Resources/images/") + QLatin1String(name);
}

} // namespace

InetactionSetupWidgetK32::InetactionSetupWidgetK32(platform::UserPrompts* prompts, platform::Pauses* pauses,
                                                   QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::InetactionSetupWidgetK32>()), sender_(prompts, pauses), clock_([] { return QDateTime::currentDateTime(); })
{
    Q_INIT_RESOURCE(resources); // the icons live in a static library
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::Window);

    auto* addressValidator = new QRegExpValidator(QRegExp(kAddressPattern), this);
    for (QLineEdit* box : {ui->lineEdit_DefaultIP, ui->lineEdit_DestIP, ui->lineEdit_Subnet, ui->lineEdit_Gateway,
                           ui->lineEdit_NTP})
        box->setValidator(addressValidator);
    auto* portValidator = new QIntValidator(kPortBottom, kPortTop, this);
    ui->lineEdit_defaultPort->setValidator(portValidator);
    ui->lineEdit_destPort->setValidator(portValidator);

    fillComboBoxes();

    connect(ui->pushButton_LidarRefresh, &QPushButton::clicked, this, &InetactionSetupWidgetK32::onRefreshCilcked);
    connect(ui->pushButton_OK, &QPushButton::clicked, this, &InetactionSetupWidgetK32::onOK_Clicked);
    connect(ui->pushButton_Cancel, &QPushButton::clicked, this, &InetactionSetupWidgetK32::onCancel_Clicked);
    // A speed the user picks stays until a refresh.
    connect(ui->comboBox_rotateSpeed, QOverload<int>::of(&QComboBox::activated), this, [this]() { speedFollows_ = false; });

    for (QWidget* spare : {static_cast<QWidget*>(ui->lineEdit_Current_IP), static_cast<QWidget*>(ui->label_Current_IP),
                           static_cast<QWidget*>(ui->lineEdit_Current_Port),
                           static_cast<QWidget*>(ui->label_Current_Port)})
        spare->hide();
    ui->lineEdit_mac_addr->setEnabled(false);
    for (QLineEdit* box : {ui->lineEdit_Current_IP, ui->lineEdit_Current_Port, ui->lineEdit_GPS_Position_longitude,
                           ui->lineEdit_GPS_Position_latitude, ui->lineEdit_Motor_State})
        box->setFocusPolicy(Qt::NoFocus);

    onCleanUCWPControl();
    ui->lineEdit_Subnet->installEventFilter(this);
    ui->lineEdit_Gateway->installEventFilter(this);
    setFocus();
}

InetactionSetupWidgetK32::~InetactionSetupWidgetK32() = default;

void InetactionSetupWidgetK32::fillComboBoxes()
{
    const char* const motorIcons[] = {"NO.png", "YES.png", "ResetCameraposition.png"};
    for (std::size_t i = 0; i < std::size(ucwp::kMotorStateItems); ++i)
        ui->comboBox->addItem(QIcon(iconPath(motorIcons[i])), QString::fromLatin1(ucwp::kMotorStateItems[i]));
    const char* const speedIcons[] = {"5.png", "10.png", "20.png"};
    // The items as ucwp::kRotateSpeedItems writes them, shown translated: the packet takes
    // the speed from the item's index, not from its text.
    const char* const speedTexts[] = {QT_TR_NOOP(" 5  HZ"), QT_TR_NOOP(" 10 HZ"), QT_TR_NOOP(" 20 HZ")};
    static_assert(std::size(speedTexts) == std::size(ucwp::kRotateSpeedItems));
    for (std::size_t i = 0; i < std::size(ucwp::kRotateSpeedItems); ++i)
        ui->comboBox_rotateSpeed->addItem(QIcon(iconPath(speedIcons[i])), tr(speedTexts[i]));
    const char* const timeIcons[] = {"YES.png", "NO.png"};
    for (std::size_t i = 0; i < std::size(ucwp::kLocalTimeItems); ++i)
        ui->comboBox_localTime->addItem(QIcon(iconPath(timeIcons[i])), QString::fromLatin1(ucwp::kLocalTimeItems[i]));
}

void InetactionSetupWidgetK32::OnLidarDifoData(const u_char* data)
{
    stored_.store(data);
}

void InetactionSetupWidgetK32::OnLidarStatusReceiving(SettingData* data, std::vector<int> Mac)
{
    if (!data || Mac.size() < static_cast<std::size_t>(StatusValueCount))
        return;
    statusSeen_ = true;
    std::memcpy(&storedStatus_, data, sizeof storedStatus_);
    storedDataPort_ = Mac[StatusDataPort];
    storedDevicePort_ = Mac[StatusDevicePort];

    if (firstStatus_) {
        firstStatus_ = false;
        showVersions(Mac);
    }
    showStatus(storedStatus_, Mac);
}

void InetactionSetupWidgetK32::showCaptureDevice(SettingData* data, std::vector<int> Mac)
{
    if (!data || Mac.size() < static_cast<std::size_t>(StatusValueCount))
        return;
    captureShown_ = true;
    captureStatus_ = *data;
    captureValues_ = std::move(Mac);
    SettingData status = captureStatus_;
    showStatus(status, captureValues_);
}

void InetactionSetupWidgetK32::showStatus(SettingData& status, const std::vector<int>& Mac)
{
    const int cleanliness = Mac[StatusCleanliness];
    if (cleanliness >= 0 && cleanliness < ui->comboBox_LidarClean->count())
        ui->comboBox_LidarClean->setCurrentIndex(cleanliness);
    ui->lineEdit_Temperature->setText(statustext::apdTemperatureText(Mac[StatusApdTemperature]));
    status.motorSpeed = statustext::shownMotorSpeed(status.motorSpeed);
    ui->lineEdit_Motor_State->setText(QString::number(status.motorSpeed));
    // The box opens on the speed the device turns at, not on the first item.
    if (speedFollows_) {
        const int item = statustext::motorSpeedItemOf(status.motorSpeed, statustext::kNetworkSpeedTolerance);
        if (item >= 0)
            ui->comboBox_rotateSpeed->setCurrentIndex(item);
    }
    ui->lineEdit_PPS_Angle->setText(QString::number(Mac[StatusPpsAngle] / kPpsAngleScale));
    ui->comboBox_LVDS->setCurrentIndex(status.lvdsLock & 1);

    ui->lineEdit_GPS_Position_latitude->clear();
    ui->lineEdit_utc_time->clear();
    ui->lineEdit_utc_time->setText(statustext::clockText(status.dateTime));
    ui->lineEdit_GPS_Position_latitude->setText(statustext::latitudeText(status));
    ui->lineEdit_GPS_Position_longitude->setText(statustext::longitudeText(status));
    ui->lineEdit_mac_addr->setText(statustext::macText(Mac));

    const statustext::PpsState pps = statustext::decodePpsState(Mac[StatusPpsState]);
    ui->lineEdit->setText(pps.disabled ? QStringLiteral("1") : QStringLiteral("0"));
    ui->lineEdit_2->setText(QString::number(pps.errorAngle));
}

void InetactionSetupWidgetK32::showVersions(const std::vector<int>& status)
{
    emit sendVersionToAbout(statustext::versionTexts(status, storedStatus_));
}

void InetactionSetupWidgetK32::showSpeedRead()
{
    storedStatus_.motorSpeed = statustext::shownMotorSpeed(storedStatus_.motorSpeed);
    ui->lineEdit_Motor_State->setText(QString::number(storedStatus_.motorSpeed));
}

void InetactionSetupWidgetK32::onRefreshCilcked()
{
    refresh(false);
}

void InetactionSetupWidgetK32::refresh(bool quiet)
{
    if (!stored_.refreshReady) {
        // With a capture on screen there is no device to read: say how to reach one.
        if (!quiet)
            prompts().information(nullptr, tr(kRefreshTitle),
                                  captureShown_ ? tr("A capture is shown, and no device is connected to read the "
                                                     "settings from. Connect to the device with the link button on "
                                                     "the \"Lidar\" tab, then press \"Refresh state\" again.")
                                                : tr(kNoDevicePacket));
        return;
    }
    ui->lineEdit_DefaultIP->setText(ucwp::addressText(stored_.packet.data() + devinfo::kDeviceIp));
    ui->lineEdit_DestIP->setText(ucwp::addressText(stored_.packet.data() + devinfo::kDestinationIp));
    ui->lineEdit_defaultPort->setText(QString::number(storedDataPort_));
    ui->lineEdit_destPort->setText(QString::number(storedDevicePort_));
    multicastSendAddress_ = ui->lineEdit_DestIP->text();
    ui->lineEdit_NTP->setText(ucwp::addressText(stored_.packet.data() + devinfo::kNtpServerIp));
    ui->lineEdit_Gateway->setText(ucwp::addressText(stored_.packet.data() + devinfo::kGatewayIp));
    ui->lineEdit_Subnet->setText(ucwp::addressText(stored_.packet.data() + devinfo::kSubnetMask));
    multicastPort_ = static_cast<std::uint16_t>(storedDevicePort_);

    if (statusSeen_) {
        ui->lineEdit_interval->setText(QString::number(storedStatus_.packetInterval));
        if (storedStatus_.motorState >= 0 && storedStatus_.motorState < ui->comboBox->count())
            ui->comboBox->setCurrentIndex(storedStatus_.motorState);
        showSpeedRead();
        speedFollows_ = false; // from now on the box moves on a refresh only
        // Right after a send the motor is still changing speed: leave the box as the user set it.
        if (speedSync_) {
            const int item = statustext::motorSpeedItemOf(storedStatus_.motorSpeed, statustext::kNetworkSpeedTolerance);
            if (item >= 0)
                ui->comboBox_rotateSpeed->setCurrentIndex(item);
        } else {
            speedSync_ = true;
        }
        if (!quiet)
            prompts().information(nullptr, tr("Tips"), tr("Resresh completed"));
        statusSeen_ = false;
    }
    stored_.refreshReady = false;
}

void InetactionSetupWidgetK32::isEnableSetting(bool flag)
{
    ui->pushButton_OK->setEnabled(flag);
}

bool InetactionSetupWidgetK32::reportIncompleteAddress()
{
    // The address validator lets a half-typed box ("127.0.0") stand without ever finishing
    // the edit, so its checks never ran: say which box it is rather than send it.
    const std::pair<QLabel*, QLineEdit*> boxes[] = {
        {ui->label_DefaultIP, ui->lineEdit_DefaultIP}, {ui->label_DestIP, ui->lineEdit_DestIP},
        {ui->label_Subnet, ui->lineEdit_Subnet},       {ui->label_Gateway, ui->lineEdit_Gateway},
        {ui->label_NTP, ui->lineEdit_NTP},
    };
    for (const auto& [label, box] : boxes) {
        if (addresschecks::isIncomplete(box->text())) {
            QString name = label->text().trimmed();
            name.remove(QRegExp(QStringLiteral("[:：]$")));
            prompts().warning(this, tr("Warning"), tr("The address \"%1\" in %2 is incomplete.").arg(box->text(), name));
            box->setFocus();
            return true;
        }
    }
    return false;
}

void InetactionSetupWidgetK32::onOK_Clicked()
{
    // A form that "Refresh state" never filled holds no addresses at all: they are empty,
    // not equal, and the way on is to fill the form first.
    if (ui->lineEdit_DestIP->text().isEmpty() && ui->lineEdit_DefaultIP->text().isEmpty()) {
        prompts().information(nullptr, tr(kRefreshTitle),
                              tr("The form is empty: press \"Refresh state\" to fill it with the device's "
                                 "settings, change what you need, then press \"Set\"."));
        return;
    }
    if (reportIncompleteAddress())
        return;
    if (!isLegalSubNetMask() || !isLegalGateway())
        return;
    if (ui->lineEdit_DestIP->text() == ui->lineEdit_DefaultIP->text()) {
        // One message: nothing was sent, so the stored packet stays good for the next try.
        prompts().information(nullptr, tr(kRefreshTitle),
                              tr("The Lidar local IP cannot be set to the same as the destination "
                                 "IP.Please reset it！"));
        return;
    }
    if (!stored_.sendReady) {
        prompts().information(nullptr, tr(kRefreshTitle), tr(kNoDevicePacket));
        return;
    }

    speedSync_ = false;
    ucwp::UcwpForm form;
    form.deviceIp = ui->lineEdit_DefaultIP->text();
    form.hostIp = ui->lineEdit_DestIP->text();
    form.dataPort = ui->lineEdit_defaultPort->text();
    form.devicePort = ui->lineEdit_destPort->text();
    form.ntpServer = ui->lineEdit_NTP->text();
    form.gateway = ui->lineEdit_Gateway->text();
    form.subnetMask = ui->lineEdit_Subnet->text();
    form.rotateSpeed = QString::fromLatin1(
        ucwp::kRotateSpeedItems[std::clamp(ui->comboBox_rotateSpeed->currentIndex(), 0,
                                           static_cast<int>(std::size(ucwp::kRotateSpeedItems)) - 1)]);
    form.motorState = ui->comboBox->currentText();
    form.localTime = ui->comboBox_localTime->currentText();
    form.interval = ui->lineEdit_interval->text();
    form.ppsAngle = ui->lineEdit_SetPPS_Angle->text();
    const ucwp::Build build = ucwp::buildUcwpPacket(stored_.packet.data(), form, clock_());
    switch (build.refusal) {
    case ucwp::Refusal::None:
        break;
    case ucwp::Refusal::EqualPorts:
        prompts().information(this, tr("Warning"), tr("Data port and device port can't be the same"));
        return;
    case ucwp::Refusal::IntervalOutOfRange:
        prompts().information(this, tr("Warning"),
                              tr("The packet interval must be a number from 0 to 65535."));
        return;
    }
    ucwpPacket_ = build.packet;

    const ucwp::Destination to = ucwp::ucwpDestination(stored_.packet.data(), multicastSendAddress_, multicastPort_,
                                                       destinations_.commandPort);
    // A failed send leaves the stored packet good for another try. After a send the refresh
    // shows in the boxes what the device now reports, and one box says it is done and offers
    // to close the form.
    device::SendSteps steps(this, tr("Warning"), tr("The settings could not be sent to %1:%2."), kPauseAfterSend);
    steps.sent = [this] { stored_.sendReady = false; };
    steps.pauseBeforeRefresh = kPauseBeforeRefresh;
    steps.refresh = [this] { refresh(true); };
    steps.closeTitle = tr("Question");
    steps.closeText = tr("Setup completed") + QLatin1Char('\n') + tr("Whether to close the Settings form?");
    sender_.send(ucwpPacket_.data(), QString::fromStdString(to.address), to.port, steps);
}

void InetactionSetupWidgetK32::onCancel_Clicked()
{
    close();
}

void InetactionSetupWidgetK32::onCleanUCWPControl()
{
    for (QLineEdit* box : {ui->lineEdit_Current_IP, ui->lineEdit_DefaultIP, ui->lineEdit_DestIP, ui->lineEdit_Current_Port,
                           ui->lineEdit_defaultPort, ui->lineEdit_destPort, ui->lineEdit_GPS_Position_latitude,
                           ui->lineEdit_GPS_Position_longitude, ui->lineEdit_Motor_State, ui->lineEdit_mac_addr,
                           ui->lineEdit_interval, ui->lineEdit_Gateway, ui->lineEdit_Subnet})
        box->clear();
    // A live device fills the status again within a second; a capture's device only here.
    if (captureShown_ && !captureValues_.empty()) {
        SettingData status = captureStatus_;
        showStatus(status, captureValues_);
    }
}

addresschecks::AddressBoxes InetactionSetupWidgetK32::addressBoxes() const
{
    return {ui->lineEdit_DefaultIP->text(), ui->lineEdit_DestIP->text(), ui->lineEdit_Subnet->text(),
            ui->lineEdit_Gateway->text()};
}

bool InetactionSetupWidgetK32::apply(const addresschecks::CheckResult& result)
{
    if (!result.message.isEmpty())
        prompts().warning(nullptr, tr("Warning"), result.message);
    const auto write = [](QLineEdit* box, const QString& text) {
        if (box->text() != text)
            box->setText(text);
    };
    write(ui->lineEdit_DefaultIP, result.boxes.deviceIp);
    write(ui->lineEdit_DestIP, result.boxes.hostIp);
    write(ui->lineEdit_Subnet, result.boxes.subnetMask);
    write(ui->lineEdit_Gateway, result.boxes.gateway);
    return result.ok;
}

bool InetactionSetupWidgetK32::isLegalLidarIP()
{
    return apply(addresschecks::checkLidarIp(addressBoxes()));
}

bool InetactionSetupWidgetK32::isLegalLocalIP()
{
    return apply(addresschecks::checkLocalIp(addressBoxes()));
}

bool InetactionSetupWidgetK32::isLegalSubNetMask()
{
    return apply(addresschecks::checkSubnetMask(addressBoxes()));
}

bool InetactionSetupWidgetK32::isLegalGateway()
{
    const auto ask = [this](const QString& text) {
        return prompts().question(nullptr, tr("Warning"), text, QMessageBox::Yes | QMessageBox::No,
                                  QMessageBox::NoButton)
            == QMessageBox::Yes;
    };
    return apply(addresschecks::checkGateway(addressBoxes(), ask));
}

bool InetactionSetupWidgetK32::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == ui->lineEdit_Subnet) {
            const QString proposal = addresschecks::subnetOnFocus(addressBoxes());
            if (proposal != ui->lineEdit_Subnet->text())
                ui->lineEdit_Subnet->setText(proposal);
        } else if (watched == ui->lineEdit_Gateway) {
            const QString proposal = addresschecks::gatewayOnFocus(addressBoxes());
            if (proposal != ui->lineEdit_Gateway->text())
                ui->lineEdit_Gateway->setText(proposal);
        }
    }
    return QWidget::eventFilter(watched, event);
}
