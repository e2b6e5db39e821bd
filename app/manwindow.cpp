#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/GetLidardataK32.h"
#include "acquisition/GetSetK32.h"
#include "acquisition/ReadLiveOffDataK32.h"
#include "acquisition/SocketRecorder.h"
#include "app/PlaybackSession.h"
#include "app/RecordingSession.h"
#include "app/WindowLayout.h"
#include "app/WindowStatusBar.h"
#include "device/Destinations.h"
#include "device/InetactionSetupWidgetK32.h"
#include "platform/HelpViewer.h"
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

#include <QCloseEvent>
#include <QDateTime>
#include <QScrollBar>
#include <QStandardItemModel>

#include <algorithm>

namespace {

const char* const kOldFirmwareTitle = QT_TRANSLATE_NOOP("manwindow", "Warning");
const char* const kOldFirmwareText =
    QT_TRANSLATE_NOOP("manwindow", "The Lidar version is lower than V2.8. Does not support display");
constexpr int kFrameStatusIntervalMs = 500;
constexpr int kMinPointSize = 1;
constexpr int kMaxPointSize = 10;

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
    hvk32::layout::fitToolRows(ui.tabWidget);
    hvk32::layout::installPalette();
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
    playback_ = std::make_unique<PlaybackSession>(&frameGate_);
    recording_ = std::make_unique<RecordingSession>();
    // The receivers hand every datagram to the socket recorder, which keeps them only while
    // it records.
    getLidarData_->setDatagramSink(&recording_->socketRecorder());
    getSet_->setDatagramSink(&recording_->socketRecorder());

    status_ = new WindowStatusBar(ui.statusBar, hvk32::platform::helpPageUrl("user-guide.html").toString());
    connect(status_, &WindowStatusBar::guideRequested, this, [this](const QString& link) { openGuide(QUrl(link)); });
    setUpViewer();
    setUpMeasureTool();
    updateFrameStatus();
    connect(&frameStatusTimer_, &QTimer::timeout, this, &manwindow::updateFrameStatus);
    frameStatusTimer_.start(kFrameStatusIntervalMs);
    setUpRecording();

    makeConnections();
    setUpPlayback();
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

void manwindow::setUpViewer()
{
    scene_ = std::make_unique<hvk32::ViewerScene>(ui.screen);
    scene_->onAreaPicked([this](const std::vector<int>& indices) { onAreaPicked(indices); });
    scene_->onKeyDown([this](const std::string& keySym) { onViewerKey(keySym); });
    scene_->onAreaDragEnded([this]() {
        if (hasPendingFrame_ && !drawScheduled_)
            drawPendingFrame();
    });
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
    playback_->yieldToLive(); // a playing capture is paused first
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
    // Both loops see the flag within one receive time-out and end on their own.
    if (getLidarData_->isRunning())
        getLidarData_->setStop(true);
    if (getSet_->isRunning())
        getSet_->setStop(true);
    status_->showMessage(tr("Disconnected"), 5000);
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
        listWholeSelection();
    if (liveFrozen)
        status_->showMessage(tr("Display frozen: frames are not shown until Pause is pressed again"));
    else
        status_->clearMessage();
}

void manwindow::CalculateCoordinatesK32(const LidarData& lidardata)
{
    queueFrame(lidardata, std::nullopt);
}

void manwindow::CalculateCoordinatesK32(const LidarData& lidardata, const hvk32::DeviceCalibration& calibration)
{
    queueFrame(lidardata, calibration);
}

void manwindow::queueFrame(const LidarData& lidardata, const std::optional<hvk32::DeviceCalibration>& calibration)
{
    frameGate_.leave();
    if (liveFrozen)
        return;
    if (hasPendingFrame_)
        frameGate_.countSkipped(); // a newer frame arrived before this one was drawn
    // Copied into storage kept between frames: no allocation once the lists have grown.
    pendingFrame_ = lidardata;
    pendingCalibration_ = calibration;
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
    // A played frame brings its capture's angles; a live one takes what the device published.
    lastSnapshot_ = pendingCalibration_
        ? hvk32::ConversionSnapshot::of(degreeMode, modeKnown, *pendingCalibration_)
        : hvk32::ConversionSnapshot::ofDevice(degreeMode, modeKnown, publishedOffsetAngles());
    convertAndShow();
    frameCounters_.frameDrawn();
}

hvk32::CloudParameters manwindow::cloudParameters(const hvk32::ConversionSnapshot& device) const
{
    hvk32::CloudParameters p;
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

void manwindow::convertAndShow()
{
    ui.comboBox_2->setEnabled(true);
    if (!csvExport_.isArmed()) {
        convertForView();
        return;
    }
    // An armed export takes the frame instead of the view; the clouds stay empty, and
    // nothing on screen is selected.
    const int mistake = hvk32::verticalAngleMistake(lastSnapshot_.degreeMode, lastSnapshot_.deviceVerticalAngles);
    if (mistake >= 0)
        emit sendAngleMistake(mistake);
    cloudResult_.frame.clear();
    cloudResult_.selection.clear();
    pointListing_.clearSelection();
    if (csvExport_.writeFrame(lastFrame, lastSnapshot_)) {
        if (!csvExport_.errorString().isEmpty())
            prompts_->warning(this, tr("Warning"), csvExport_.errorString());
        else
            status_->showMessage(tr("Export written to %1").arg(csvExport_.fileName()), 5000);
    }
    showSelectedPoints();
    scene_->showClouds(cloudResult_.frame, cloudResult_.selection, pointSize);
    if (mouseReadout)
        scene_->updateReadout();
}

void manwindow::convertForView()
{
    const hvk32::CloudParameters params = cloudParameters(lastSnapshot_);
    pointListing_.beginFrame(selectionActive);
    const hvk32::CloudBuilder::PointVisitor listPoint = [this](const hvk32::ConvertedPoint& p) {
        pointListing_.addPoint(p);
    };
    cloudBuilder_.build(lastFrame, params, cloudResult_, &listPoint);
    if (cloudResult_.angleMistakeChannel >= 0)
        emit sendAngleMistake(cloudResult_.angleMistakeChannel);
    if (calcIntensity) {
        averageIntensities = cloudResult_.averageIntensities;
        emit sendIntensity(averageIntensities);
        calcIntensity = false;
    }
    showSelectedPoints();
    scene_->showClouds(cloudResult_.frame, cloudResult_.selection, pointSize);
    if (mouseReadout)
        scene_->updateReadout();
}

void manwindow::showSelectedPoints()
{
    if (!selectionActive)
        return;
    // The count, the rows and the export all take the points this frame put inside the box.
    selectionCount = static_cast<int>(pointListing_.selectedPoints().size());
    status_->showSelection(selectionCount);
    tableModel_->setRowCount(selectionCount);
    if (hvk32::nothingNewComing(liveFrozen, playback_->isPaused(), playback_->isFilePlaying()))
        pointListing_.listPaused(lastFrame, lastSnapshot_); // no later frame will fill the other rows
    else
        pointListing_.listSelection(ui.tableView->verticalScrollBar()->value());
}

void manwindow::listWholeSelection()
{
    // Rows out of view were last written for earlier frames; no new frame will refresh them.
    if (selectionActive)
        pointListing_.listPaused(lastFrame, lastSnapshot_);
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
    if (hvk32::nothingNewComing(liveFrozen, playback_->isPaused(), playback_->isFilePlaying())) {
        // Nothing new is coming: write the frame on screen at once.
        if (!csvExport_.writeFinalFrame(lastFrame, lastSnapshot_))
            prompts_->warning(this, tr("Warning"), csvExport_.errorString());
        else
            status_->showMessage(tr("Export written to %1").arg(file), 5000);
        return;
    }
    status_->showMessage(tr("Exporting the next %1 frame(s) to %2").arg(csvExport_.framesToWrite()).arg(file), 5000);
}

void manwindow::receiveDevConfig(QString echoMode, int degreeMode, int accuaryMode)
{
    Q_UNUSED(accuaryMode); // the distance unit is known once a device reports its modes
    playback_->player().setConfiguration(echoMode);
    ui.comboBox_degree->setCurrentIndex(degreeMode);
    modeKnown = 1;
}

void manwindow::receiveConfig(QString echoMode, int degreeMode, int accuaryMode)
{
    receiveDevConfig(echoMode, degreeMode, accuaryMode);
    getLidarData_->setConfiguration(echoMode);
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
    loadCaptureFile(file, false);
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
    loadCaptureFile(file, !play);
    if (play)
        playback_->playOrPause();
    return true;
}

void manwindow::loadCaptureFile(const QString& file, bool showFirstFrame)
{
    resetTable();
    ui.tableView->setModel(tableModel_.get());
    scene_->clear();

    playback_->load(file, showFirstFrame);
    status_->showMessage(tr("Capture %1 opened: press Play").arg(file), 5000);
}

bool manwindow::isRecording() const
{
    return recording_->isRecording();
}

QString manwindow::recorderInUse() const
{
    return recording_->recorderInUse();
}

hvk32::RecordingCounts manwindow::recordingCounts() const
{
    return recording_->counts();
}

void manwindow::setUpRecording()
{
    RecordingSession* r = recording_.get();
    connect(r, &RecordingSession::recordingChanged, ui.toolButton_SavePcapData, &QToolButton::setChecked);
    connect(r, &RecordingSession::statusMessage, status_, &WindowStatusBar::showMessage);
    connect(r, &RecordingSession::clearMessage, status_, &WindowStatusBar::clearMessage);
    connect(r, &RecordingSession::statusField, status_, &WindowStatusBar::showRecording);
    connect(r, &RecordingSession::warning, this, [this](const QString& text) { prompts_->warning(this, tr("Warning"), text); });
}

void manwindow::toggleRecording()
{
    if (recording_->isRecording()) {
        recording_->stop();
        return;
    }
    const QString proposed = QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm") + ".pcap";
    const QString file = prompts_->saveFileName(this, tr("Save PCAP"), proposed, tr("WireSharkCaptureFile (*.pcap)"));
    if (file.isEmpty()) {
        ui.toolButton_SavePcapData->setChecked(false);
        return;
    }
    // The adapter that carries the device's datagrams, where the receivers have seen any.
    std::array<std::uint8_t, 4> device = getLidarData_->lastSenderAddress();
    if (device == std::array<std::uint8_t, 4>{})
        device = getSet_->lastSenderAddress();
    recording_->start(file, {ui.lineEdit_portNumber->text(), ui.lineEdit->text(), device});
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
    hvk32::ViewerScene::Cloud picked;
    picked.reserve(indices.size());
    const auto& frame = *scene_->frameCloud();
    for (int i : indices)
        picked.push_back(frame[static_cast<std::size_t>(i)]);
    selectionBox = hvk32::boundingBox(picked);

    // Leave area picking, as a second press of the button would.
    scene_->toggleAreaPicking();
    selectMode = false;
    setCursor(Qt::ArrowCursor);
    selectionActive = true;
    ui.pushButton_exportSelection->setEnabled(true);
    mouseReadout = true;

    // The frame on screen is converted again with the new box: the points it puts inside are
    // the selection shown, counted, listed (one row each) and exported, as with every later
    // frame.
    resetTable();
    convertForView();
}

void manwindow::exportSelection()
{
    if (!selectionActive)
        return;
    // The frame on screen with its own calibration and its selected points: what is counted
    // and listed is what is written, whatever frames arrive while the file is chosen.
    const LidarData frame = lastFrame;
    const hvk32::ConversionSnapshot snapshot = lastSnapshot_;
    const std::vector<hvk32::ConvertedPoint> selected = pointListing_.selectedPoints();
    const QString file = prompts_->saveFileName(this, tr("Save CSV"),
                                                hvk32::csvDefaultFileName(QDateTime::currentDateTime()), QString());
    if (file.isEmpty())
        return;
    QString error;
    const qint64 points = hvk32::writeCsvSelection(file, frame, selected, snapshot, &error);
    if (points < 0)
        prompts_->warning(this, tr("Warning"), error);
    else
        status_->showMessage(tr("%1 selected points written to %2").arg(points).arg(file), 5000);
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
    pointListing_.clearSelection();
    status_->showSelection(0);
    resetTable();
    ruler_.clear();
    scene_->clear();
    showMeasurement();
}

void manwindow::setUpMeasureTool()
{
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
        status_->showMessage(tr("Measure: no point of the cloud near the click"), 3000);
        return;
    }
    ruler_.addPoint(*point);
    scene_->showRuler(ruler_);
    showMeasurement();
}

void manwindow::showMeasurement()
{
    status_->showMeasurement(measureMode, measureMode ? hvk32::rulerStatusText(ruler_) : QString());
}

void manwindow::AngleAdjust(double value) { angleAdjust1 = value; }
void manwindow::AngleAdjust_two(double value) { angleAdjust2 = value; }
void manwindow::AngleAdjust_three(double value) { angleAdjust3 = value; }
void manwindow::AngleAdjust_four(double value) { angleAdjust4 = value; }

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

void manwindow::showAngleLinedit_pressed()
{
    displayAngle = ui.showAngle_lineEdit->text().toFloat();
}

void manwindow::resetTable()
{
    hvk32::resetPointTable(*tableModel_);
    hvk32::sizePointTableColumns(*ui.tableView, *tableModel_);
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
    status_->showFrames(frameCounters_.sent(total), frameCounters_.drawn(), frameCounters_.skipped(total),
                        deviceFrameRate());
    // A capture shows the health of its own stream, as the live device does.
    const bool capture = playback_->isFilePlaying();
    const hvk32::StreamHealth health = capture ? playback_->player().streamHealth() : getLidarData_->streamHealth();
    lossMeter_.add(hvk32::FrameGate::nowMs(), health.expectedPackets(), health.lostPackets);
    ReceiveBufferState buffer;
    buffer.drops = getLidarData_->receiveDrops();
    buffer.bytes = getLidarData_->receiveBufferBytes();
    buffer.limited = getLidarData_->receiveBufferLimited();
    status_->showStreamHealth(health, lossMeter_.lostPercent(), buffer, capture);
}

void manwindow::stopReceivers()
{
    if (playback_)
        playback_->stop();
    if (getLidarData_)
        getLidarData_->stopAndWait();
    if (getSet_)
        getSet_->stopAndWait();
    // A recording is closed quietly: the window is going away.
    if (recording_)
        recording_->close();
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
