#include "app/manwindow.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/GetLidardataK32.h"
#include "acquisition/GetSetK32.h"
#include "platform/UserPrompts.h"
#include "records/MetaTypes.h"
#include "view/PointTable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPalette>
#include <QStandardItemModel>

namespace {

const char* const kOldFirmwareTitle = "Warning";
const char* const kOldFirmwareText = "The Lidar version is lower than V2.8. Does not support display";
constexpr int kFrameStatusIntervalMs = 500;

} // namespace

manwindow::manwindow(hvk32::platform::UserPrompts* prompts, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts)
{
    if (!prompts_) {
        ownPrompts_ = std::make_unique<hvk32::platform::MessageBoxPrompts>();
        prompts_ = ownPrompts_.get();
    }
    Q_INIT_RESOURCE(resources); // icons live in a static library
    ui.setupUi(this);
    installPalette();
    setWindowState(Qt::WindowMaximized);

    registerRecordMetaTypes();

    tableModel_ = std::make_unique<QStandardItemModel>();
    ui.toolButton_Play->setEnabled(false);
    ui.toolButton_GoToEnd->setEnabled(false);
    ui.toolButton_GoToStart->setEnabled(false);
    ui.toolButton_SeekBackward->setEnabled(false);
    ui.toolButton_SeekForward->setEnabled(false);
    hideUnusedControls();
    ui.toolButton_Lidar->setEnabled(true);
    ui.toolButton_disConnect->setEnabled(false);
    displayAngle = 360.0f;

    getLidarData_ = std::make_unique<GetLidardataK32>();
    getSet_ = std::make_unique<GetSetK32>();

    frameStatusLabel_ = new QLabel(this);
    frameStatusLabel_->setObjectName("label_frameStatus");
    ui.statusBar->addPermanentWidget(frameStatusLabel_);
    clock_.start();
    updateFrameStatus();
    connect(&frameStatusTimer_, &QTimer::timeout, this, &manwindow::updateFrameStatus);
    frameStatusTimer_.start(kFrameStatusIntervalMs);

    makeConnections();
    for (int c = 0; c < kChannelCount; ++c)
        channelList.append(c);
}

manwindow::~manwindow()
{
    stopReceivers();
}

void manwindow::installPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(230, 230, 230));
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Base, QColor(255, 255, 255));
    palette.setColor(QPalette::AlternateBase, QColor(105, 105, 105));
    palette.setColor(QPalette::ToolTipBase, Qt::black);
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::Text, Qt::black);
    palette.setColor(QPalette::Button, QColor(105, 105, 105));
    palette.setColor(QPalette::ButtonText, Qt::black);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Highlight, QColor(142, 45, 197).lighter(150));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    QApplication::setPalette(palette);
}

void manwindow::hideUnusedControls()
{
    const QList<QWidget*> hidden = {
        ui.toolButton_9, ui.comboBox_degree, ui.setLidarModePushButton, ui.angleLabel, ui.doubleSpinBox,
        ui.label_3, ui.doubleSpinBox_angle_two, ui.label_4, ui.doubleSpinBox_angle_three, ui.label_5,
        ui.doubleSpinBox_angle_four, ui.setVerticalPushButton, ui.label_6, ui.showAngle_lineEdit,
        ui.toolButton_User, ui.toolButton_Develop,
    };
    for (QWidget* w : hidden)
        w->hide();
}

void manwindow::makeConnections()
{
    connect(ui.showAngle_lineEdit, &QLineEdit::returnPressed, this, &manwindow::showAngleLinedit_pressed);
    connect(getSet_.get(), &GetSetK32::SendLidarStatusToSettingUI, this, &manwindow::receiveDevPacket);
    connect(getLidarData_.get(), &GetLidardataK32::SendDataK32, this, &manwindow::CalculateCoordinatesK32);
    connect(this, &manwindow::SendModel, getLidarData_.get(), &GetLidardataK32::Receive);
    connect(ui.toolButton_lidarData, &QToolButton::clicked, this, &manwindow::showLidarDataList);
    connect(ui.toolButton_Lidar, &QToolButton::clicked, this, &manwindow::onConnectLidar);
    connect(ui.toolButton_disConnect, &QToolButton::clicked, this, &manwindow::onDisconnectLidar);
    connect(ui.toolButton_pause, &QToolButton::clicked, this, &manwindow::liveStartOrPause);
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

void manwindow::onConnectLidar()
{
    ui.toolButton_Lidar->setEnabled(false);
    ui.lineEdit_portNumber->setEnabled(false);
    ui.lineEdit->setEnabled(false);
    ui.lineEdit_2->setEnabled(false);
    ui.toolButton_disConnect->setEnabled(true);

    hvk32::resetPointTable(*tableModel_);
    ui.tableView->setModel(tableModel_.get());

    awaitingDevice = true;
    frameMeter_.reset();
    updateFrameStatus();

    const int telemetryPort = ui.lineEdit->text().toInt(); // not a number: port 0
    getSet_->setPort(telemetryPort);
    getSet_->setMulticastGroup(ui.lineEdit_2->text().toStdString());
    // A running receiver is stopped and waited for: a start while it is still inside its
    // loop would be ignored.
    getSet_->restart();
    ui.statusBar->showMessage(tr("Waiting for the device on telemetry port %1").arg(telemetryPort));
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
        prompts_->warning(this, kOldFirmwareTitle, kOldFirmwareText);
    }

    modeKnown = 1;
    ui.comboBox_degree->setCurrentIndex(hvk32::degreeModeOf(Mac[hvk32::StatusAngleModeCode]));

    const QString configuration = hvk32::echoConfigurationOf(Mac[hvk32::StatusEchoMode]);
    getLidarData_->setConfiguration(configuration);
    dataPort = ui.lineEdit_portNumber->text().toInt();
    getLidarData_->setPort(dataPort);
    getLidarData_->setMulticastGroup(ui.lineEdit_2->text().toStdString());
    getLidarData_->restart();
    ui.statusBar->showMessage(tr("Receiving %1 data on port %2").arg(configuration).arg(dataPort), 5000);

    emit sendDefaultConfig(configuration, ui.comboBox_degree->currentIndex(), modeKnown);
}

void manwindow::onDisconnectLidar()
{
    ui.toolButton_Lidar->setEnabled(true);
    ui.lineEdit_portNumber->setEnabled(true);
    ui.lineEdit->setEnabled(true);
    ui.lineEdit_2->setEnabled(true);
    ui.toolButton_disConnect->setEnabled(false);
    // Both loops see the flag within one receive time-out and end on their own.
    if (getLidarData_->isRunning())
        getLidarData_->setStop(true);
    if (getSet_->isRunning())
        getSet_->setStop(true);
    ui.statusBar->showMessage(tr("Disconnected"), 5000);
}

void manwindow::showLidarDataList()
{
    ui.LidraDataDock->setVisible(!ui.LidraDataDock->isVisible());
}

void manwindow::liveStartOrPause()
{
    liveFrozen = !liveFrozen;
    ui.toolButton_pause->setIcon(QIcon(liveFrozen ? ":/image/Resources/images/Play.png" : ":/image/Resources/images/Red.png"));
    if (liveFrozen)
        ui.statusBar->showMessage(tr("Display frozen: frames are not shown until Pause is pressed again"));
    else
        ui.statusBar->clearMessage();
}

void manwindow::CalculateCoordinatesK32(LidarData lidardata)
{
    frameMeter_.addFrame(clock_.elapsed());
    if (liveFrozen)
        return;
    lastFrame = std::move(lidardata);
    ui.comboBox_2->setEnabled(true);
}

void manwindow::AngleAdjust(double value) { angleAdjust1 = value; }
void manwindow::AngleAdjust_two(double value) { angleAdjust2 = value; }
void manwindow::AngleAdjust_three(double value) { angleAdjust3 = value; }
void manwindow::AngleAdjust_four(double value) { angleAdjust4 = value; }

void manwindow::onCodeData(QString code)
{
    Q_UNUSED(code); // the code dialog's answer carries nothing the window uses
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

void manwindow::recvCalculateIntensity(bool flag)
{
    calcIntensity = flag;
}

void manwindow::showAngleLinedit_pressed()
{
    displayAngle = ui.showAngle_lineEdit->text().toFloat();
}

void manwindow::updateFrameStatus()
{
    const double rate = frameMeter_.rate(clock_.elapsed());
    frameStatusLabel_->setText(tr("Frames received: %1   Frame rate: %2 Hz")
                                   .arg(frameMeter_.total())
                                   .arg(rate, 0, 'f', 1));
}

void manwindow::stopReceivers()
{
    if (getLidarData_)
        getLidarData_->stopAndWait();
    if (getSet_)
        getSet_->stopAndWait();
}

void manwindow::closeEvent(QCloseEvent* event)
{
    // Stop and join the receivers before the window goes, so nothing emits into a
    // destroyed window and the process ends promptly.
    stopReceivers();
    event->accept();
}
