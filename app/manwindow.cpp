#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CaptureIndexThread.h"
#include "acquisition/CaptureRecorder.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/GetLidardataK32.h"
#include "acquisition/GetSetK32.h"
#include "acquisition/ReadLiveOffDataK32.h"
#include "acquisition/SocketRecorder.h"
#include "device/Destinations.h"
#include "device/InetactionSetupWidgetK32.h"
#include "platform/HelpViewer.h"
#include "platform/PacketCapture.h"
#include "platform/UserPrompts.h"
#include "records/AngleValues.h"
#include "records/MetaTypes.h"
#include "tools/ACWPSettingWidgetK32.h"
#include "tools/About.h"
#include "tools/CodeDialog.h"
#include "tools/Form_QLaserSelectionK32.h"
#include "tools/SetLidarModes.h"
#include "tools/VerticalAngleSetting.h"
#include "view/PointTable.h"
#include "view/SaveDataOptions.h"
#include "view/ViewerScene.h"
#include "view/WindowRules.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFile>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <QLabel>
#include <QPalette>
#include <QHeaderView>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>
#include <QSignalBlocker>
#include <QStandardItemModel>

namespace {

// A status field in the warning colour, or back to normal; restyled only on a change.
void showAsWarning(QLabel* label, bool warn)
{
    if (label->property("warning").toBool() == warn)
        return;
    label->setProperty("warning", warn);
    label->setStyleSheet(warn ? QStringLiteral("color: #d04000; font-weight: bold;") : QString());
}

const char* const kOldFirmwareTitle = QT_TRANSLATE_NOOP("manwindow", "Warning");
const char* const kOldFirmwareText =
    QT_TRANSLATE_NOOP("manwindow", "The Lidar version is lower than V2.8. Does not support display");
constexpr int kFrameStatusIntervalMs = 500;
constexpr int kDeviceInfoWaitMs = 2000; // a capture's device-info packets come once a second
constexpr int kMinPointSize = 1;
constexpr int kMaxPointSize = 10;
constexpr int kRecordStatusIntervalMs = 500;
constexpr qint64 kNoPacketWarningMs = 2000;
constexpr double kBytesPerMegabyte = 1e6;

} // namespace

manwindow::manwindow(hvk32::platform::UserPrompts* prompts, QWidget* parent)
    : QMainWindow(parent)
    , form_(std::make_unique<Ui_manwindowClass>())
    , ui(*form_)
    , prompts_(prompts)
    , pointListing_([this](int row, const QStringList& texts) { hvk32::writePointRow(*tableModel_, row, texts); })
{
    if (!prompts_) {
        ownPrompts_ = std::make_unique<hvk32::platform::MessageBoxPrompts>();
        prompts_ = ownPrompts_.get();
    }
    Q_INIT_RESOURCE(resources); // icons live in a static library
    ui.setupUi(this);
    fitToolRows();
    installPalette();
    setWindowState(Qt::WindowMaximized);

    about_ = std::make_unique<About>();
    registerRecordMetaTypes();

    tableModel_ = std::make_unique<QStandardItemModel>();
    // The table shows its headers from the start, with columns wide enough for their values.
    ui.tableView->setModel(tableModel_.get());
    resetTable();
    setControls(hvk32::WindowStep::Started);
    ui.comboBox_degree->hide(); // set from the device, never by hand
    displayAngle = 360.0f;

    inetactionSetup_ = std::make_unique<InetactionSetupWidgetK32>(prompts_);
    laserSelection_ = std::make_unique<Form_QLaserSelectionK32>();
    codeDialog_ = std::make_unique<CodeDialog>();
    acwpSetting_ = std::make_unique<ACWPSettingWidgetK32>(prompts_);
    saveDataOptions_ = std::make_unique<SaveDataOptions>(prompts_);
    getLidarData_ = std::make_unique<GetLidardataK32>();
    getLidarData_->setFrameGate(&frameGate_);
    getSet_ = std::make_unique<GetSetK32>();
    setLidarModes_ = std::make_unique<SetLidarModes>();
    verticalAngleSetting_ = std::make_unique<VerticalAngleSetting>(prompts_);
    setEngineeringMode(false);
    readLiveOffData_ = std::make_unique<ReadLiveOffDataK32>();
    readLiveOffData_->setFrameGate(&frameGate_);
    recorder_ = std::make_unique<hvk32::CaptureRecorder>();
    // The receivers hand every datagram to the socket recorder, which keeps them only while
    // it records.
    socketRecorder_ = std::make_unique<hvk32::SocketRecorder>();
    getLidarData_->setDatagramSink(socketRecorder_.get());
    getSet_->setDatagramSink(socketRecorder_.get());

    setUpViewer();
    setUpMeasureTool();

    selectionLabel_ = addStatusField("label_selection");
    framesSentLabel_ = addStatusField("label_framesSent");
    framesDrawnLabel_ = addStatusField("label_framesDrawn");
    framesSkippedLabel_ = addStatusField("label_framesSkipped");
    deviceRateLabel_ = addStatusField("label_deviceRate");
    lostPacketsLabel_ = addStatusField("label_lostPackets");
    receiveDropsLabel_ = addStatusField("label_receiveDrops");
    updateFrameStatus();
    connect(&frameStatusTimer_, &QTimer::timeout, this, &manwindow::updateFrameStatus);
    frameStatusTimer_.start(kFrameStatusIntervalMs);

    recordStatusLabel_ = new QLabel(this);
    recordStatusLabel_->setObjectName("label_recordStatus");
    recordStatusLabel_->hide();
    // Like the ruler's reading: it takes the room the counters leave and is cut at its end
    // rather than widening the window past a 1366-pixel screen.
    recordStatusLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    recordStatusLabel_->setMinimumWidth(120);
    ui.statusBar->addPermanentWidget(recordStatusLabel_, 1);
    connect(&recordStatusTimer_, &QTimer::timeout, this, &manwindow::updateRecordingStatus);

    makeConnections();
    setUpSeeking();
    for (int c = 0; c < kChannelCount; ++c)
        channelList.append(c);
}

manwindow::~manwindow()
{
    stopReceivers();
}

QWidget* manwindow::controlWidget(hvk32::WindowControl control) const
{
    using C = hvk32::WindowControl;
    switch (control) {
    case C::Connect: return ui.toolButton_Lidar;
    case C::Disconnect: return ui.toolButton_disConnect;
    case C::DataPortField: return ui.lineEdit_portNumber;
    case C::TelemetryPortField: return ui.lineEdit;
    case C::MulticastField: return ui.lineEdit_2;
    case C::Play: return ui.toolButton_Play;
    case C::StepForward: return ui.toolButton_GoToEnd;
    case C::StepBackward: return ui.toolButton_GoToStart;
    case C::SeekForward: return ui.toolButton_SeekForward;
    case C::SeekBackward: return ui.toolButton_SeekBackward;
    case C::FrameSlider: return ui.Slider_Frame;
    case C::OpenCapture: return ui.toolButton_Open;
    case C::Record: return ui.toolButton_SavePcapData;
    }
    return nullptr;
}

void manwindow::setControls(hvk32::WindowStep step)
{
    for (const hvk32::ControlState& c : hvk32::controlsAfter(step))
        controlWidget(c.control)->setEnabled(c.enabled);
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
    // The dialogs are windows of their own: place each over the middle of this window, and
    // keep it within the screen, whatever its size and wherever the window is.
    dialog->ensurePolished();
    if (QLayout* layout = dialog->layout())
        layout->activate();
    const QScreen* screen = windowHandle() ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(), dialog->size());
    QRect place(QPoint(), dialog->size().boundedTo(available.size()));
    place.moveCenter(frameGeometry().center());
    place.moveLeft(std::clamp(place.left(), available.left(), available.right() + 1 - place.width()));
    place.moveTop(std::clamp(place.top(), available.top(), available.bottom() + 1 - place.height()));
    dialog->resize(place.size());
    dialog->move(place.topLeft());
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void manwindow::fitToolRows()
{
    // Each tab's row of tools scrolls sideways when the window is narrower than the row, so
    // the window can be made as narrow as a small screen and every tool stays reachable.
    QTabWidget* tabs = ui.tabWidget;
    for (int i = 0; i < tabs->count(); ++i) {
        QWidget* page = tabs->widget(i);
        const QString title = tabs->tabText(i);
        const QIcon icon = tabs->tabIcon(i);
        tabs->removeTab(i);
        auto* scroll = new QScrollArea;
        scroll->setObjectName(page->objectName() + "_scroll");
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setWidgetResizable(true);
        scroll->setWidget(page);
        scroll->setMinimumHeight(page->sizeHint().height() + scroll->horizontalScrollBar()->sizeHint().height());
        tabs->insertTab(i, scroll, icon, title);
    }
    tabs->setCurrentIndex(0);
}

void manwindow::setUpViewer()
{
    scene_ = std::make_unique<hvk32::ViewerScene>(ui.screen);
    scene_->onAreaPicked([this](const std::vector<int>& indices) { onAreaPicked(indices); });
    scene_->onKeyDown([this](const std::string& keySym) { onViewerKey(keySym); });
    scene_->onAreaDragEnded([this]() {
        if (hasPendingFrame_ && !drawScheduled_)
            drawPendingFrame();
    });

    linkLabel_ = new QLabel(this);
    linkLabel_->setObjectName("label_link");
    linkLabel_->setTextFormat(Qt::RichText);
    linkLabel_->setText(tr("<a href=\"%1\">HVK32 user guide</a>")
                            .arg(hvk32::platform::helpPageUrl("user-guide.html").toString()));
    connect(linkLabel_, &QLabel::linkActivated, this, [this](const QString& link) { openGuide(QUrl(link)); });
    ui.statusBar->addPermanentWidget(linkLabel_);
}

void manwindow::makeConnections()
{
    connect(ui.showAngle_lineEdit, &QLineEdit::returnPressed, this, &manwindow::showAngleLinedit_pressed);
    connect(saveDataOptions_.get(), &SaveDataOptions::sendOptions, this, &manwindow::receiveSaveDataOption);
    connect(getSet_.get(), &GetSetK32::SendLidarStatusToSettingUI, this, &manwindow::receiveDevPacket);
    connect(getLidarData_.get(), &GetLidardataK32::SendDataK32, this, &manwindow::CalculateCoordinatesK32);
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
    connect(this, &manwindow::sendOffLiveFile, readLiveOffData_.get(), &ReadLiveOffDataK32::receiveOffliveFile);
    connect(readLiveOffData_.get(), &ReadLiveOffDataK32::SendData, this, &manwindow::CalculateCoordinatesK32);
    connect(readLiveOffData_.get(), &ReadLiveOffDataK32::SendFinsh, this, &manwindow::FinishPlay);
    connect(readLiveOffData_.get(), &ReadLiveOffDataK32::SendLidarConfig, this, &manwindow::receiveDevConfig);
    connect(readLiveOffData_.get(), &ReadLiveOffDataK32::SendLidarConfig, this, [this]() {
        awaitingCaptureConfig_ = false;
        captureConfigTimer_.stop();
    });
    captureConfigTimer_.setSingleShot(true);
    captureConfigTimer_.setInterval(kDeviceInfoWaitMs);
    connect(&captureConfigTimer_, &QTimer::timeout, this, [this]() { reportMissingDeviceInfo(false); });
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
    connect(ui.comboBox_speeds, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &manwindow::setPlaySeppd);
    connect(ui.toolButton_Play, &QToolButton::clicked, this, &manwindow::playOrPause);
    connect(ui.toolButton_GoToStart, &QToolButton::clicked, this, &manwindow::stepBackward);
    connect(ui.toolButton_SeekForward, &QToolButton::clicked, this, &manwindow::seekForward);
    connect(ui.toolButton_SeekBackward, &QToolButton::clicked, this, &manwindow::seekBackward);
    connect(ui.toolButton_GoToEnd, &QToolButton::clicked, this, &manwindow::stepForward);
    connect(readLiveOffData_.get(), &ReadLiveOffDataK32::SendFileTotleLength, this, &manwindow::getTotleLength);
    connect(readLiveOffData_.get(), &ReadLiveOffDataK32::SendProgressValue, this, &manwindow::updateProgress);
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
    if (!playStopped)
        playOrPause(); // a playing capture is paused first
    filePlaying = false;
    setControls(hvk32::WindowStep::Connecting);

    resetTable();
    ui.tableView->setModel(tableModel_.get());
    scene_->clear();

    awaitingDevice = true;
    lossMeter_.reset();
    restartFrameCounters();

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
        prompts_->warning(this, tr(kOldFirmwareTitle), tr(kOldFirmwareText));
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
    setControls(hvk32::WindowStep::Disconnected);
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

void manwindow::CalculateCoordinatesK32(const LidarData& lidardata)
{
    frameGate_.leave();
    if (liveFrozen)
        return;
    if (hasPendingFrame_)
        frameGate_.countSkipped(); // a newer frame arrived before this one was drawn
    // Copied into storage kept between frames: no allocation once the lists have grown.
    pendingFrame_ = lidardata;
    hasPendingFrame_ = true;
    if (!drawScheduled_) {
        drawScheduled_ = true;
        QMetaObject::invokeMethod(this, &manwindow::drawPendingFrame, Qt::QueuedConnection);
    }
}

void manwindow::drawPendingFrame()
{
    drawScheduled_ = false;
    if (!hasPendingFrame_)
        return;
    // A new render would erase the rubber band being dragged: the newest frame waits for
    // the release (an armed export is not held up, it draws no cloud).
    if (scene_->isAreaDragging() && !csvExport_.isArmed())
        return;
    hasPendingFrame_ = false;
    // The pending frame becomes the last frame shown; the old one's storage takes the next.
    std::swap(lastFrame, pendingFrame_);
    convertAndShow(lastFrame);
}

hvk32::CloudParameters manwindow::cloudParameters() const
{
    hvk32::CloudParameters p;
    const hvk32::ConversionSnapshot device =
        hvk32::ConversionSnapshot::ofDevice(degreeMode, modeKnown, publishedOffsetAngles());
    p.degreeMode = device.degreeMode;
    p.modeKnown = device.modeKnown;
    p.angleAdjust[0] = angleAdjust1;
    p.angleAdjust[1] = angleAdjust2;
    p.angleAdjust[2] = angleAdjust3;
    p.angleAdjust[3] = angleAdjust4;
    std::copy(device.offsetAngles, device.offsetAngles + 4, p.offsetAngles);
    std::copy(device.deviceVerticalAngles, device.deviceVerticalAngles + kChannelCount, p.deviceVerticalAngles);
    for (int c = 0; c < kChannelCount; ++c)
        p.channelEnabled[c] = laserSelection_->channelEnabled(c);
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
    const hvk32::CloudParameters params = cloudParameters();
    if (csvExport_.isArmed()) {
        // An armed export takes the frame instead of the view; the clouds stay empty.
        const int mistake = hvk32::verticalAngleMistake(params.degreeMode, params.deviceVerticalAngles);
        if (mistake >= 0)
            emit sendAngleMistake(mistake);
        cloudResult_.frame.clear();
        cloudResult_.selection.clear();
        if (csvExport_.writeFrame(frame, hvk32::ConversionSnapshot::of(params))) {
            if (!csvExport_.errorString().isEmpty())
                prompts_->warning(this, tr("Warning"), csvExport_.errorString());
            else
                ui.statusBar->showMessage(tr("Export written to %1").arg(csvExport_.fileName()), 5000);
        }
    } else {
        pointListing_.beginFrame(selectionActive, selectionCount, ui.tableView->verticalScrollBar()->value());
        const hvk32::CloudBuilder::PointVisitor listPoint = [this](const hvk32::ConvertedPoint& p) {
            pointListing_.addPoint(p);
        };
        cloudBuilder_.build(frame, params, cloudResult_, &listPoint);
        if (cloudResult_.angleMistakeChannel >= 0)
            emit sendAngleMistake(cloudResult_.angleMistakeChannel);
        if (calcIntensity) {
            averageIntensities = cloudResult_.averageIntensities;
            emit sendIntensity(averageIntensities);
            calcIntensity = false;
        }
    }
    scene_->showClouds(cloudResult_.frame, cloudResult_.selection, pointSize);
    if (mouseReadout)
        scene_->updateReadout();
    frameCounters_.frameDrawn();
}

void manwindow::receiveSaveDataOption(bool isSave, int freams, float angleMin, float angleMax, QList<int> lines)
{
    if (!isSave)
        return;
    const QString file = prompts_->saveFileName(this, tr("Save CSV"), hvk32::csvDefaultFileName(QDateTime::currentDateTime()),
                                                QString());
    if (file.isEmpty())
        return;
    if (!csvExport_.arm(file, freams, angleMin, angleMax, lines)) {
        prompts_->warning(this, tr("Warning"), tr("The export could not start: %1").arg(csvExport_.errorString()));
        return;
    }
    if (hvk32::nothingNewComing(liveFrozen, playStopped, filePlaying)) {
        // Nothing new is coming: write the frame on screen at once.
        if (!csvExport_.writeFinalFrame(lastFrame, hvk32::ConversionSnapshot::of(cloudParameters())))
            prompts_->warning(this, tr("Warning"), csvExport_.errorString());
        else
            ui.statusBar->showMessage(tr("Export written to %1").arg(file), 5000);
        return;
    }
    ui.statusBar->showMessage(tr("Exporting the next %1 frame(s) to %2").arg(csvExport_.framesToWrite()).arg(file), 5000);
}

void manwindow::receiveDevConfig(QString echoMode, int degreeMode, int accuaryMode)
{
    Q_UNUSED(accuaryMode); // the distance unit is known once a device reports its modes
    readLiveOffData_->setConfiguration(echoMode);
    ui.comboBox_degree->setCurrentIndex(degreeMode);
    modeKnown = 1;
}

void manwindow::receiveConfig(QString echoMode, int degreeMode, int accuaryMode)
{
    receiveDevConfig(echoMode, degreeMode, accuaryMode);
    getLidarData_->setConfiguration(echoMode);
}

void manwindow::showLidarModeSetting()
{
    showCentred(setLidarModes_.get());
}

void manwindow::showVerticalSetting()
{
    showCentred(verticalAngleSetting_.get());
}

void manwindow::openCaptureFile()
{
    const QString file = prompts_->openFileName(this, tr("WireSharkCaptureFile"), QString(), "Supported Files (*.pcap)");
    QCoreApplication::processEvents();
    if (file.isEmpty())
        return;
    QString problem;
    if (!ReadLiveOffDataK32::checkCaptureFile(file, &problem)) {
        prompts_->warning(this, tr("Warning"), tr("%1 cannot be played: %2").arg(file, problem));
        return;
    }
    loadCaptureFile(file);
}

bool manwindow::openCaptureFromShell(const QString& file, bool play, QString* problem)
{
    if (!ReadLiveOffDataK32::checkCaptureFile(file, problem))
        return false;
    for (int i = 0; i < ui.tabWidget->count(); ++i) {
        QWidget* page = ui.tabWidget->widget(i);
        if (page == ui.Tab_4 || page->isAncestorOf(ui.Tab_4))
            ui.tabWidget->setCurrentIndex(i);
    }
    loadCaptureFile(file);
    showFirstFrameWhenIndexed_ = !play;
    if (play)
        playOrPause();
    return true;
}

void manwindow::loadCaptureFile(const QString& file)
{
    showFirstFrameWhenIndexed_ = false;
    resetTable();
    ui.tableView->setModel(tableModel_.get());
    scene_->clear();

    setControls(hvk32::WindowStep::CaptureOpened);

    playStopped = true;
    firstPlay = true;
    captureFile = file;
    awaitingCaptureConfig_ = false; // a playback that ends now is not reported
    captureConfigTimer_.stop();
    readLiveOffData_->setStop(true); // a running playback ends
    ui.Slider_Frame->setValue(0);
    currentFrame_ = 0;
    indexCaptureFile(file);
    showFrameCounter();
    ui.statusBar->showMessage(tr("Capture %1 opened: press Play").arg(file), 5000);
}

void manwindow::playOrPause()
{
    if (playStopped) {
        if (getLidarData_->isRunning() || getSet_->isRunning())
            onDisconnectLidar();
        playStopped = false;
        filePlaying = true;
        ui.toolButton_Play->setIcon(QIcon(kPauseIcon));
        readLiveOffData_->setPause(false);
        readLiveOffData_->setStop(false);
        if (firstPlay) {
            firstPlay = false;
            restartFrameCounters();
            awaitingCaptureConfig_ = true;
            captureConfigTimer_.start();
            // A previous run must have left its loop before the file is opened again.
            if (readLiveOffData_->isRunning()) {
                readLiveOffData_->setStop(true);
                readLiveOffData_->wait();
            }
            emit sendOffLiveFile(captureFile);
            readLiveOffData_->setDirection(0);
            readLiveOffData_->setStepOnce(0);
            readLiveOffData_->setStop(false);
            readLiveOffData_->start(QThread::InheritPriority);
        }
        setControls(hvk32::WindowStep::PlaybackRunning);
    } else {
        playStopped = true;
        ui.toolButton_Play->setIcon(QIcon(kPlayIcon));
        readLiveOffData_->setPause(true);
        setControls(hvk32::WindowStep::PlaybackPaused);
    }
}

// A single step sets the direction and the step flag before it releases the pause: the
// other way round, the player could finish a whole frame in between and step twice.
void manwindow::stepBackward()
{
    readLiveOffData_->setDirection(1);
    readLiveOffData_->setStepOnce(1);
    readLiveOffData_->setPause(false);
}

void manwindow::stepForward()
{
    readLiveOffData_->setDirection(0);
    readLiveOffData_->setStepOnce(1);
    readLiveOffData_->setPause(false);
}

void manwindow::seekForward()
{
    readLiveOffData_->setDirection(0);
}

void manwindow::seekBackward()
{
    readLiveOffData_->setDirection(1);
}

void manwindow::setPlaySeppd(int speed)
{
    readLiveOffData_->setSpeed(speed);
}

void manwindow::getTotleLength(long length)
{
    ui.Slider_Frame->setRange(0, static_cast<int>(length));
    ui.Slider_Frame->setPageStep(1);
    ui.Slider_Frame->setValue(0);
    captureLength = static_cast<int>(length);
}

void manwindow::updateProgress(int pos, int frameCount)
{
    if (!ui.Slider_Frame->isSliderDown()) // the user's drag wins over the progress
        ui.Slider_Frame->setValue(pos);
    currentFrame_ = frameCount;
    showFrameCounter();
    if (frameCount >= 1 && !ui.spinBox_Frame->hasFocus()) {
        const QSignalBlocker quiet(ui.spinBox_Frame);
        ui.spinBox_Frame->setValue(frameCount);
    }
}

void manwindow::reportMissingDeviceInfo(bool atEnd)
{
    if (!awaitingCaptureConfig_ || !filePlaying)
        return;
    const QString name = QFileInfo(captureFile).fileName();
    if (atEnd) {
        const QString text = tr("%1 holds no device-info packet of a board version 2 or later, so no frame "
                                "was shown.").arg(name);
        awaitingCaptureConfig_ = false;
        ui.statusBar->showMessage(text);
        prompts_->warning(this, tr("Warning"), text);
    } else if (!playStopped) {
        ui.statusBar->showMessage(tr("No device-info packet in %1 yet: frames are shown from the first one on.")
                                      .arg(name));
    }
}

void manwindow::FinishPlay(bool flag)
{
    if (!flag)
        return;
    captureConfigTimer_.stop();
    reportMissingDeviceInfo(true);
    playStopped = true;
    firstPlay = true; // the next Play starts from the beginning
    ui.toolButton_Play->setIcon(QIcon(kPlayIcon));
    readLiveOffData_->setPause(true);
    setControls(hvk32::WindowStep::PlaybackFinished);
    ui.Slider_Frame->setValue(captureLength);
}

bool manwindow::isRecording() const
{
    return recorderKind_ != RecorderKind::None;
}

QString manwindow::recorderInUse() const
{
    switch (recorderKind_) {
    case RecorderKind::Adapter: return QStringLiteral("adapter");
    case RecorderKind::Socket: return QStringLiteral("socket");
    case RecorderKind::None: break;
    }
    return QString();
}

hvk32::RecordingCounts manwindow::recordingCounts() const
{
    if (recorderKind_ == RecorderKind::Adapter) {
        hvk32::RecordingCounts counts;
        counts.packets = recorder_->framesWritten();
        counts.bytes = recorder_->bytesWritten();
        counts.receiveBufferDrops = recorder_->bufferDrops();
        counts.files = 1;
        return counts;
    }
    return socketRecorder_->counts();
}

// Records by adapter capture where this account may capture, else from the window's own
// sockets; HVK32_RECORDER=adapter or HVK32_RECORDER=socket forces either.
void manwindow::toggleRecording()
{
    if (isRecording()) {
        stopRecording();
        return;
    }
    const QString proposed = QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm") + ".pcap";
    const QString file = prompts_->saveFileName(this, tr("Save PCAP"), proposed, tr("WireSharkCaptureFile (*.pcap)"));
    if (file.isEmpty()) {
        ui.toolButton_SavePcapData->setChecked(false);
        return;
    }
    const QString forced = qEnvironmentVariable("HVK32_RECORDER").trimmed().toLower();
    if (!forced.isEmpty() && forced != QLatin1String("adapter") && forced != QLatin1String("socket")) {
        ui.toolButton_SavePcapData->setChecked(false);
        prompts_->warning(this, tr("Warning"),
                          tr("HVK32_RECORDER must be \"adapter\" or \"socket\", not \"%1\".").arg(forced));
        return;
    }
    if (forced == QLatin1String("socket")) {
        startSocketRecording(file, tr("Recording from the window's own sockets, as HVK32_RECORDER asks"));
        return;
    }

    hvk32::RecorderSettings settings;
    settings.fileName = QFile::encodeName(file).toStdString();
    settings.dataPortText = ui.lineEdit_portNumber->text().toStdString();
    settings.telemetryPortText = ui.lineEdit->text().trimmed().toStdString();
    // The adapter that carries the device's datagrams, where the receivers have seen any.
    settings.deviceAddress = getLidarData_->lastSenderAddress();
    if (settings.deviceAddress == std::array<std::uint8_t, 4>{})
        settings.deviceAddress = getSet_->lastSenderAddress();
    std::string error;
    if (recorder_->start(settings, &error)) {
        recorderKind_ = RecorderKind::Adapter;
        beginRecordingStatus(file);
        ui.statusBar->showMessage(tr("Recording by adapter capture on %1, filter \"%2\"")
                                      .arg(QString::fromStdString(recorder_->deviceName()),
                                           QString::fromStdString(recorder_->filter())));
        return;
    }
    if (recorder_->startDenied() && forced.isEmpty()) {
        startSocketRecording(file, tr("No capture rights on this account: recording from the window's own sockets"));
        return;
    }
    ui.toolButton_SavePcapData->setChecked(false);
    QString text = tr("Recording could not start: %1").arg(QString::fromStdString(error));
    if (recorder_->startDenied())
        text += "\n\n" + QString::fromStdString(hvk32::platform::captureRightsHint())
            + tr(" Without them, leave HVK32_RECORDER unset or set it to \"socket\": the window then records "
                 "the datagrams its own sockets receive.");
    prompts_->warning(this, tr("Warning"), text);
}

// `reason` says once which recorder is in use and why.
bool manwindow::startSocketRecording(const QString& file, const QString& reason)
{
    hvk32::SocketRecorder::Options options;
    options.socketsNew = false; // the receivers' sockets may have dropped datagrams before
    QString error;
    if (!socketRecorder_->start(file, options, &error)) {
        ui.toolButton_SavePcapData->setChecked(false);
        prompts_->warning(this, tr("Warning"), tr("Recording could not start: %1").arg(error));
        return false;
    }
    recorderKind_ = RecorderKind::Socket;
    beginRecordingStatus(file);
    ui.statusBar->showMessage(tr("%1 (ports %2 and %3)").arg(reason, ui.lineEdit_portNumber->text(), ui.lineEdit->text()));
    return true;
}

void manwindow::beginRecordingStatus(const QString& file)
{
    recordingFile_ = file;
    recordingClock_.start();
    noPacketWarned_ = false;
    ui.toolButton_SavePcapData->setChecked(true);
    recordStatusLabel_->show();
    updateRecordingStatus();
    recordStatusTimer_.start(kRecordStatusIntervalMs);
}

// Stops at once, whether or not traffic comes, and says what the file holds.
void manwindow::stopRecording()
{
    QString failure;
    if (recorderKind_ == RecorderKind::Adapter) {
        failure = QString::fromStdString(recorder_->workerError());
        recorder_->stop();
    } else if (recorderKind_ == RecorderKind::Socket) {
        socketRecorder_->stop();
        failure = socketRecorder_->error();
    }
    const hvk32::RecordingCounts counts = recordingCounts();
    recorderKind_ = RecorderKind::None;
    recordStatusTimer_.stop();
    recordStatusLabel_->hide();
    ui.toolButton_SavePcapData->setChecked(false);
    if (!failure.isEmpty())
        prompts_->warning(this, tr("Warning"), tr("The recording stopped early: %1\n\n%2 keeps the %3 packets written before.")
                                               .arg(failure, recordingFile_)
                                               .arg(counts.packets));
    else
        ui.statusBar->showMessage(tr("Recording stopped: %1 packets (%2 MB) written to %3")
                                      .arg(counts.packets)
                                      .arg(static_cast<double>(counts.bytes) / kBytesPerMegabyte, 0, 'f', 1)
                                      .arg(recordingFile_),
                                  10000);
}

void manwindow::updateRecordingStatus()
{
    if (!isRecording())
        return;
    const bool failed = recorderKind_ == RecorderKind::Adapter ? !recorder_->workerError().empty()
                                                               : !socketRecorder_->isRecording();
    if (failed) {
        stopRecording(); // a write failed: say so now, not at the next press of the button
        return;
    }
    const hvk32::RecordingCounts counts = recordingCounts();
    const qint64 elapsed = recordingClock_.elapsed();
    const QString source = recorderKind_ == RecorderKind::Adapter
        ? tr("adapter %1").arg(QString::fromStdString(recorder_->deviceName()))
        : tr("own sockets");
    recordStatusLabel_->setText(tr("REC %1:%2 | %3 | %4 packets | %5 MB | %6 lost in the receive buffer")
                                    .arg(elapsed / 60000, 2, 10, QLatin1Char('0'))
                                    .arg((elapsed / 1000) % 60, 2, 10, QLatin1Char('0'))
                                    .arg(source)
                                    .arg(counts.packets)
                                    .arg(static_cast<double>(counts.bytes) / kBytesPerMegabyte, 0, 'f', 1)
                                    .arg(counts.receiveBufferDrops));
    const bool nothingYet = counts.packets == 0 && elapsed >= kNoPacketWarningMs;
    if (nothingYet) {
        // The status bar's message gets little room beside its fields on a narrow screen:
        // the recording's own field says where nothing arrives, in the warning colour.
        recordStatusLabel_->setText(
            recorderKind_ == RecorderKind::Adapter
                ? tr("REC %1:%2 | nothing from %3, filter \"%4\"")
                      .arg(elapsed / 60000, 2, 10, QLatin1Char('0'))
                      .arg((elapsed / 1000) % 60, 2, 10, QLatin1Char('0'))
                      .arg(source, QString::fromStdString(recorder_->filter()))
                : tr("REC %1:%2 | nothing on UDP ports %3, %4")
                      .arg(elapsed / 60000, 2, 10, QLatin1Char('0'))
                      .arg((elapsed / 1000) % 60, 2, 10, QLatin1Char('0'))
                      .arg(ui.lineEdit_portNumber->text(), ui.lineEdit->text()));
    }
    recordStatusLabel_->setStyleSheet(nothingYet ? QStringLiteral("color: #d04000;") : QString());
    recordStatusLabel_->setToolTip(recordingFile_ + QLatin1Char('\n') + recordStatusLabel_->text());
    if (nothingYet && !noPacketWarned_) {
        noPacketWarned_ = true;
        if (recorderKind_ == RecorderKind::Adapter)
            ui.statusBar->showMessage(
                tr("Nothing recorded for 2 s on adapter %1 with filter \"%2\": check that the device sends to this "
                   "computer through that adapter and to that port")
                    .arg(QString::fromStdString(recorder_->deviceName()), QString::fromStdString(recorder_->filter())));
        else
            ui.statusBar->showMessage(
                tr("Nothing recorded for 2 s on UDP ports %1 and %2: the window records what it receives, so press "
                   "Connect, and check that the device sends to those ports")
                    .arg(ui.lineEdit_portNumber->text(), ui.lineEdit->text()));
    } else if (counts.packets > 0 && noPacketWarned_) {
        noPacketWarned_ = false;
        ui.statusBar->clearMessage();
    }
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
    resetTable();
    selectionCount = static_cast<int>(indices.size());
    // One row per selected point, so the table scrolls through all of them; the listing
    // fills the rows in view with every frame.
    tableModel_->setRowCount(selectionCount);
    selectionLabel_->setText(tr("Selected: %1 points").arg(selectionCount));

    hvk32::ViewerScene::Cloud picked;
    picked.reserve(indices.size());
    const auto& frame = *scene_->frameCloud();
    for (int i : indices)
        picked.push_back(frame[static_cast<std::size_t>(i)]);
    selectionBox = hvk32::boundingBox(picked);
    if (hvk32::nothingNewComing(liveFrozen, playStopped, filePlaying)) {
        // No new frame will list the selection: list the frame on screen now.
        pointListing_.listPaused(lastFrame, hvk32::ConversionSnapshot::of(cloudParameters()), selectionBox);
    }
    scene_->showSelection(picked);

    // Leave area picking, as a second press of the button would.
    scene_->toggleAreaPicking();
    selectMode = false;
    setCursor(Qt::ArrowCursor);
    selectionActive = true;
    ui.pushButton_exportSelection->setEnabled(true);
    mouseReadout = true;
}

void manwindow::exportSelection()
{
    if (!selectionActive)
        return;
    const QString file = prompts_->saveFileName(this, tr("Save CSV"),
                                                hvk32::csvDefaultFileName(QDateTime::currentDateTime()), QString());
    if (file.isEmpty())
        return;
    QString error;
    const qint64 points =
        hvk32::writeCsvSelection(file, lastFrame, selectionBox, hvk32::ConversionSnapshot::of(cloudParameters()), &error);
    if (points < 0)
        prompts_->warning(this, tr("Warning"), error);
    else
        ui.statusBar->showMessage(tr("%1 selected points written to %2").arg(points).arg(file), 5000);
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
    ui.pushButton_exportSelection->setEnabled(false);
    selectionCount = 0;
    selectionLabel_->clear();
    resetTable();
    ruler_.clear();
    scene_->clear();
    showMeasurement();
}

void manwindow::setUpMeasureTool()
{
    measurementLabel_ = new QLabel(this);
    measurementLabel_->setObjectName("label_measurement");
    measurementLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    measurementLabel_->setVisible(false);
    // The reading takes the room the counters leave and is cut at its end rather than
    // widening the window; its tool tip holds it whole.
    measurementLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    measurementLabel_->setMinimumWidth(120);
    ui.statusBar->addPermanentWidget(measurementLabel_, 1);
    connect(ui.toolButton_Measure, &QToolButton::toggled, this, &manwindow::toggleMeasure);
    scene_->onClick([this](int x, int y) { onViewClicked(x, y); });
}

void manwindow::toggleMeasure(bool on)
{
    measureMode = on;
    ruler_.clear();
    scene_->showRuler(ruler_);
    showMeasurement();
}

void manwindow::onViewClicked(int x, int y)
{
    // While area selection is on, clicks draw its rectangle.
    if (!measureMode || selectMode)
        return;
    const auto point = scene_->snapToCloud(x, y);
    if (!point) {
        ui.statusBar->showMessage(tr("Measure: no point of the cloud near the click"), 3000);
        return;
    }
    ruler_.addPoint(*point);
    scene_->showRuler(ruler_);
    showMeasurement();
}

void manwindow::showMeasurement()
{
    measurementLabel_->setVisible(measureMode);
    measurementLabel_->setText(measureMode ? hvk32::rulerStatusText(ruler_) : QString());
    measurementLabel_->setToolTip(measurementLabel_->text());
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

void manwindow::resetTable()
{
    hvk32::resetPointTable(*tableModel_);
    sizePointTableColumns();
}

void manwindow::sizePointTableColumns()
{
    // Widths from the widest value each column holds (ids, "x y z" in metres with four
    // decimals, azimuth, distance, intensity, channel and two microsecond time stamps).
    const QStringList widest = {"0000000", "-000.0000 -000.0000 -000.0000", "000.000", "000.0000", "000", "00",
                                "0000000000", "0000000000"};
    const QFontMetrics metrics(ui.tableView->font());
    QHeaderView* header = ui.tableView->horizontalHeader();
    for (int column = 0; column < widest.size() && column < tableModel_->columnCount(); ++column) {
        const QString title = tableModel_->headerData(column, Qt::Horizontal).toString();
        const int width = std::max(metrics.horizontalAdvance(widest[column]), metrics.horizontalAdvance(title));
        header->resizeSection(column, width + 4 * metrics.averageCharWidth());
    }
}

QLabel* manwindow::addStatusField(const char* objectName)
{
    auto* label = new QLabel(this);
    label->setObjectName(objectName);
    ui.statusBar->addPermanentWidget(label);
    return label;
}

void manwindow::restartFrameCounters()
{
    frameCounters_.restart(frameGate_.assembled());
    updateFrameStatus();
}

std::uint64_t manwindow::framesReceived() const
{
    return frameCounters_.sent(frameGate_.assembled());
}

std::uint64_t manwindow::framesSkipped() const
{
    return frameCounters_.skipped(frameGate_.assembled());
}

double manwindow::deviceFrameRate() const
{
    return frameCounters_.deviceRate(hvk32::FrameGate::nowMs());
}

void manwindow::updateFrameStatus()
{
    const std::uint64_t total = frameGate_.assembled(); // the count first, then its time
    frameCounters_.sample(total, frameGate_.lastAssembledMs());
    framesSentLabel_->setText(tr("Frames sent: %1").arg(frameCounters_.sent(total)));
    framesDrawnLabel_->setText(tr("Drawn: %1").arg(frameCounters_.drawn()));
    framesSkippedLabel_->setText(tr("Skipped: %1").arg(frameCounters_.skipped(total)));
    deviceRateLabel_->setText(tr("Device rate: %1 Hz").arg(deviceFrameRate(), 0, 'f', 1));
    updateStreamHealth();
}

void manwindow::updateStreamHealth()
{
    const hvk32::StreamHealth health = getLidarData_->streamHealth();
    lossMeter_.add(hvk32::FrameGate::nowMs(), health.expectedPackets(), health.lostPackets);
    const double percent = lossMeter_.lostPercent();
    lostPacketsLabel_->setText(tr("Lost packets: %1 (%2 % in 10 s)").arg(health.lostPackets).arg(percent, 0, 'f', 2));
    const std::uint64_t drops = getLidarData_->receiveDrops();
    // Drops on a buffer the system kept small: the field names the buffer's size, in the
    // warning colour, and its tip says how to raise the limit.
    const bool smallBuffer = drops > 0 && getLidarData_->receiveBufferLimited();
    receiveDropsLabel_->setText(smallBuffer ? tr("Receive drops: %1 (buffer %2 KiB)")
                                                  .arg(drops)
                                                  .arg(getLidarData_->receiveBufferBytes() / 1024)
                                            : tr("Receive drops: %1").arg(drops));
    showAsWarning(receiveDropsLabel_, smallBuffer);
    showAsWarning(lostPacketsLabel_, percent > hvk32::PacketLossMeter::kWarningPercent);
    lostPacketsLabel_->setToolTip(tr("Data packets missing from the device's stream since Connect; %1 more came "
                                     "twice and %2 out of order")
                                      .arg(health.duplicatePackets)
                                      .arg(health.outOfOrderPackets));
    receiveDropsLabel_->setToolTip(tr("Datagrams this computer dropped because the receive buffer was full")
                                   + receiveBufferAdvice());
}

QString manwindow::receiveBufferAdvice() const
{
    const int granted = getLidarData_->receiveBufferBytes();
    if (granted <= 0)
        return {};
    QString text = tr("\nReceive buffer: %1 KiB").arg(granted / 1024);
    if (getLidarData_->receiveBufferLimited()) {
        text += tr(" of the %1 KiB asked for: the system's limit is lower. To keep up with bursts, raise it with "
                   "\"sudo sysctl -w net.core.rmem_max=%2\" and press Connect again.")
                    .arg(hvk32::UdpReceiverThread::kReceiveBufferBytes / 1024)
                    .arg(hvk32::UdpReceiverThread::kReceiveBufferBytes);
    }
    return text;
}

void manwindow::stopReceivers()
{
    if (indexThread_)
        indexThread_->stop();
    if (getLidarData_)
        getLidarData_->stopAndWait();
    if (getSet_)
        getSet_->stopAndWait();
    if (readLiveOffData_ && readLiveOffData_->isRunning()) {
        readLiveOffData_->setStop(true);
        readLiveOffData_->setPause(false);
        readLiveOffData_->wait();
    }
    // A recording is closed quietly: the window is going away.
    if (recorder_)
        recorder_->stop();
    if (socketRecorder_)
        socketRecorder_->stop();
    recorderKind_ = RecorderKind::None;
}

void manwindow::closeEvent(QCloseEvent* event)
{
    // Stop and join the receivers before the window goes, so nothing emits into a
    // destroyed window and the process ends promptly; then close a running export,
    // keeping the frames it has written. The counters take a last sample first, for --stats.
    updateFrameStatus();
    stopReceivers();
    csvExport_.cancel();
    event->accept();
}
