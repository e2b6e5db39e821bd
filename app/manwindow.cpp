#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "io/SocketRecorder.h"
#include "app/PlaybackSession.h"
#include "app/PointTable.h"
#include "app/RecordingSession.h"
#include "app/ServeSession.h"
#include "app/ViewToolsPanel.h"
#include "app/ViewerScene.h"
#include "view/MapBuilder.h"
#include "app/WindowLayout.h"
#include "app/WindowStatusBar.h"
#include "platform/HelpViewer.h"
#include "tools/UserPrompts.h"
#include "records/MetaTypes.h"
#include "tools/ACWPSettingWidgetK32.h"
#include "tools/About.h"
#include "tools/CodeDialog.h"
#include "tools/Form_QLaserSelectionK32.h"
#include "tools/InetactionSetupWidgetK32.h"
#include "tools/SaveDataOptions.h"
#include "tools/SetLidarModes.h"
#include "tools/VerticalAngleSetting.h"
#include "view/ViewPreferences.h"
#include "view/WindowRules.h"

#include <QCloseEvent>
#include <QSettings>
#include <QDateTime>
#include <QStandardItemModel>

#include <algorithm>

namespace {

constexpr int kFrameStatusIntervalMs = 500;

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
    viewTools_ = new ViewToolsPanel;
    ui.tabWidget->insertTab(1, viewTools_, tr("View"));
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
    setUpViewTools();
    updateFrameStatus();
    connect(&frameStatusTimer_, &QTimer::timeout, this, &manwindow::updateFrameStatus);
    frameStatusTimer_.start(kFrameStatusIntervalMs);
    setUpRecording();

    makeConnections();
    setUpPlayback();
    setUpSeeking();
    setUpMap();
    setUpServing();
    for (int c = 0; c < kChannelCount; ++c)
        channelList.append(c);
}

manwindow::~manwindow()
{
    stopReceivers();
    serve_->stop();
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
    scene_->onAreaPicked([this](const hvk32::SelectionArea& area) { onAreaPicked(area); });
    scene_->onKeyDown([this](const std::string& keySym) { onViewerKey(keySym); });
    scene_->onAreaDragEnded([this]() {
        if (hasPendingFrame_ && !drawScheduled_)
            drawPendingFrame();
    });
}

void manwindow::showLidarDataList()
{
    ui.LidraDataDock->setVisible(!ui.LidraDataDock->isVisible());
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
    // Frame 1 is shown once indexed, unless the live stream is on screen (a receiver runs
    // and was not asked to stop): Play takes over from it.
    const auto live = [](const hvk32::UdpReceiverThread& r) { return r.isRunning() && !r.stopRequested(); };
    loadCaptureFile(file, !live(*getLidarData_) && !live(*getSet_));
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
    resetMap();

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
    connect(r, &RecordingSession::fileWritten, status_, &WindowStatusBar::showFileWritten);
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
    recording_->start(file, {ui.lineEdit_portNumber->text(), ui.lineEdit->text(), deviceAddressSeen()});
}

std::array<std::uint8_t, 4> manwindow::deviceAddressSeen() const
{
    std::array<std::uint8_t, 4> device = getLidarData_->lastSenderAddress();
    if (device == std::array<std::uint8_t, 4>{})
        device = getSet_->lastSenderAddress();
    return device;
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

void manwindow::onViewerKey(const std::string& keySym)
{
    if (keySym == "plus" || keySym == "KP_Add")
        setPointSize(std::min(pointSize + 1, hvk32::kMaxPointSize));
    else if (keySym == "minus" || keySym == "KP_Subtract")
        setPointSize(std::max(pointSize - 1, hvk32::kMinPointSize));
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

void manwindow::showAngleLinedit_pressed()
{
    displayAngle = ui.showAngle_lineEdit->text().toFloat();
}

void manwindow::resetTable()
{
    hvk32::resetPointTable(*tableModel_);
    hvk32::sizePointTableColumns(*ui.tableView, *tableModel_);
}


void manwindow::closeEvent(QCloseEvent* event)
{
    // Stop and join the receivers before the window goes, so nothing emits into a
    // destroyed window and the process ends promptly; then close a running export,
    // keeping the frames it has written. The counters take a last sample first, for --stats.
    updateFrameStatus();
    stopReceivers();
    serveButton_->setChecked(false); // closes the connections and joins the server
    csvExport_.cancel();
    event->accept();
}
