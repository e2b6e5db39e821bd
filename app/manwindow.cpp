#include "app/manwindow.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/GetLidardataK32.h"
#include "acquisition/GetSetK32.h"
#include "platform/HelpViewer.h"
#include "platform/UserPrompts.h"
#include "records/AngleValues.h"
#include "records/MetaTypes.h"
#include "tools/Form_QLaserSelectionK32.h"
#include "view/PointTable.h"
#include "view/ViewerScene.h"

#include <QApplication>
#include <QCloseEvent>

#include <algorithm>
#include <QLabel>
#include <QPalette>
#include <QStandardItemModel>

namespace {

const char* const kOldFirmwareTitle = "Warning";
const char* const kOldFirmwareText = "The Lidar version is lower than V2.8. Does not support display";
constexpr int kFrameStatusIntervalMs = 500;
constexpr int kMinPointSize = 1;
constexpr int kMaxPointSize = 10;

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

    laserSelection_ = std::make_unique<Form_QLaserSelectionK32>();
    getLidarData_ = std::make_unique<GetLidardataK32>();
    getLidarData_->setFrameGate(&frameGate_);
    getSet_ = std::make_unique<GetSetK32>();

    setUpViewer();

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

void manwindow::setUpViewer()
{
    scene_ = std::make_unique<hvk32::ViewerScene>(ui.screen);
    scene_->onAreaPicked([this](const std::vector<int>& indices) { onAreaPicked(indices); });
    scene_->onKeyDown([this](const std::string& keySym) { onViewerKey(keySym); });

    linkLabel_ = new QLabel(this);
    linkLabel_->setObjectName("label_link");
    linkLabel_->setTextFormat(Qt::RichText);
    linkLabel_->setOpenExternalLinks(true);
    linkLabel_->setText(QStringLiteral("<a href=\"%1\">HVK32 user guide</a>")
                            .arg(hvk32::platform::helpPageUrl("user-guide.html").toString()));
    ui.statusBar->addPermanentWidget(linkLabel_);
}

void manwindow::makeConnections()
{
    connect(ui.showAngle_lineEdit, &QLineEdit::returnPressed, this, &manwindow::showAngleLinedit_pressed);
    connect(getSet_.get(), &GetSetK32::SendLidarStatusToSettingUI, this, &manwindow::receiveDevPacket);
    connect(getLidarData_.get(), &GetLidardataK32::SendDataK32, this, &manwindow::CalculateCoordinatesK32);
    connect(this, &manwindow::SendDegreeMode, laserSelection_.get(), &Form_QLaserSelectionK32::ReceiveDegreeMode);
    connect(this, &manwindow::SendModel, getLidarData_.get(), &GetLidardataK32::Receive);
    connect(ui.toolButton_clear, &QToolButton::clicked, this, &manwindow::clearView);
    connect(ui.comboBox_View, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::view);
    connect(ui.toolButton_Coor, &QToolButton::clicked, this, &manwindow::toggleCoordinateSystem);
    connect(ui.toolButton_selectCloud, &QToolButton::clicked, this, &manwindow::SelectPoints);
    connect(ui.toolButton_lidarData, &QToolButton::clicked, this, &manwindow::showLidarDataList);
    connect(ui.toolButton_Lidar, &QToolButton::clicked, this, &manwindow::onConnectLidar);
    connect(ui.toolButton_disConnect, &QToolButton::clicked, this, &manwindow::onDisconnectLidar);
    connect(ui.toolButton_MeaGrid, &QToolButton::clicked, this, &manwindow::toggleGrid);
    connect(ui.toolButton_pause, &QToolButton::clicked, this, &manwindow::liveStartOrPause);
    connect(ui.toolButton_10, &QToolButton::clicked, laserSelection_.get(), &QWidget::show);
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
    ui.toolButton_Lidar->setEnabled(false);
    ui.lineEdit_portNumber->setEnabled(false);
    ui.lineEdit->setEnabled(false);
    ui.lineEdit_2->setEnabled(false);
    ui.toolButton_disConnect->setEnabled(true);

    hvk32::resetPointTable(*tableModel_);
    ui.tableView->setModel(tableModel_.get());
    scene_->clear();

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
    frameGate_.leave();
    frameMeter_.addFrame(clock_.elapsed());
    if (liveFrozen)
        return;
    if (pendingFrame_)
        frameGate_.countSkipped(); // a newer frame arrived before this one was drawn
    pendingFrame_ = std::move(lidardata);
    if (!drawScheduled_) {
        drawScheduled_ = true;
        QMetaObject::invokeMethod(this, &manwindow::drawPendingFrame, Qt::QueuedConnection);
    }
}

void manwindow::drawPendingFrame()
{
    drawScheduled_ = false;
    if (!pendingFrame_)
        return;
    const LidarData frame = std::move(*pendingFrame_);
    pendingFrame_.reset();
    convertAndShow(frame);
}

hvk32::CloudParameters manwindow::cloudParameters() const
{
    hvk32::CloudParameters p;
    p.degreeMode = degreeMode;
    p.modeKnown = modeKnown;
    p.angleAdjust[0] = angleAdjust1;
    p.angleAdjust[1] = angleAdjust2;
    p.angleAdjust[2] = angleAdjust3;
    p.angleAdjust[3] = angleAdjust4;
    p.offsetAngles[0] = offsetAngle1;
    p.offsetAngles[1] = offsetAngle2;
    p.offsetAngles[2] = offsetAngle3;
    p.offsetAngles[3] = offsetAngle4;
    for (int c = 0; c < kChannelCount; ++c) {
        p.deviceVerticalAngles[c] = verticalAngleTable[c];
        p.channelEnabled[c] = laserSelection_->channelEnabled(c);
    }
    p.displayAngle = displayAngle;
    p.colorMode = static_cast<hvk32::ColorMode>(ui.comboBox_2->currentIndex());
    p.selectionBox = selectionBox;
    p.computeAverageIntensities = calcIntensity;
    return p;
}

void manwindow::convertAndShow(const LidarData& frame)
{
    lastFrame = frame;
    ui.comboBox_2->setEnabled(true);
    cloudBuilder_.build(frame, cloudParameters(), cloudResult_);
    if (cloudResult_.angleMistakeChannel >= 0)
        emit sendAngleMistake(cloudResult_.angleMistakeChannel);
    if (calcIntensity) {
        averageIntensities = cloudResult_.averageIntensities;
        emit sendIntensity(averageIntensities);
        calcIntensity = false;
    }
    scene_->showClouds(cloudResult_.frame, cloudResult_.selection, pointSize);
    if (mouseReadout)
        scene_->updateReadout();
    ++framesDrawn_;
}

void manwindow::view()
{
    scene_->setCameraPreset(ui.comboBox_View->currentIndex());
}

void manwindow::toggleCoordinateSystem()
{
    axesShown = !axesShown;
    scene_->showCoordinateSystem(axesShown);
}

void manwindow::toggleGrid()
{
    gridHidden = !gridHidden;
    scene_->showGrid(!gridHidden);
}

void manwindow::SelectPoints()
{
    scene_->toggleAreaPicking();
    selectMode = !selectMode;
    if (!selectMode) {
        mouseReadout = true;
        setCursor(Qt::ArrowCursor);
    } else {
        mouseReadout = false;
        setCursor(Qt::CrossCursor);
    }
}

void manwindow::onAreaPicked(const std::vector<int>& indices)
{
    if (indices.empty())
        return;
    hvk32::resetPointTable(*tableModel_);
    selectionCount = static_cast<int>(indices.size());

    hvk32::ViewerScene::Cloud picked;
    picked.reserve(indices.size());
    const auto& frame = *scene_->frameCloud();
    for (int i : indices)
        picked.push_back(frame[static_cast<std::size_t>(i)]);
    selectionBox = {picked[0].x, picked[0].x, picked[0].y, picked[0].y, picked[0].z, picked[0].z};
    for (const auto& p : picked) {
        selectionBox.xMin = std::min(selectionBox.xMin, p.x);
        selectionBox.xMax = std::max(selectionBox.xMax, p.x);
        selectionBox.yMin = std::min(selectionBox.yMin, p.y);
        selectionBox.yMax = std::max(selectionBox.yMax, p.y);
        selectionBox.zMin = std::min(selectionBox.zMin, p.z);
        selectionBox.zMax = std::max(selectionBox.zMax, p.z);
    }
    scene_->showSelection(picked);

    // Leave area picking, as a second press of the button would.
    scene_->toggleAreaPicking();
    selectMode = false;
    setCursor(Qt::ArrowCursor);
    selectionActive = true;
    mouseReadout = true;
}

void manwindow::onViewerKey(const std::string& keySym)
{
    if (keySym == "plus" || keySym == "KP_Add")
        pointSize = std::min(pointSize + 1, kMaxPointSize);
    else if (keySym == "minus" || keySym == "KP_Subtract")
        pointSize = std::max(pointSize - 1, kMinPointSize);
}

void manwindow::clearView()
{
    selectionBox = {};
    selectionActive = false;
    selectionCount = 0;
    hvk32::resetPointTable(*tableModel_);
    scene_->clear();
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
    frameStatusLabel_->setText(tr("Frames received: %1   Skipped: %2   Frame rate: %3 Hz")
                                   .arg(frameMeter_.total())
                                   .arg(frameGate_.skipped())
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
