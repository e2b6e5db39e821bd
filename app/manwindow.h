#pragma once
// The main window: owns the receivers, connects to the device, waits for its first usable
// device-info record, then starts the data stream and shows the frames.

#include "acquisition/FrameGate.h"
#include "records/DeviceCalibration.h"
#include "records/LidarData.h"
#include "records/SettingData.h"
#include "convert/CloudBuilder.h"
#include "io/CsvExport.h"
#include "io/FrameExport.h"
#include "view/DataSilence.h"
#include "view/FrameCounters.h"
#include "view/PacketLossMeter.h"
#include "view/PointListing.h"
#include "view/Ruler.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class ACWPSettingWidgetK32;
class About;
class CodeDialog;
class Form_QLaserSelectionK32;
class SetLidarModes;
class VerticalAngleSetting;
class InetactionSetupWidgetK32;
class GetLidardataK32;
class GetSetK32;
class PlaybackSession;
class RecordingSession;
class ServeSession;
class QSpinBox;
class QToolButton;
class WindowStatusBar;
class ReadLiveOffDataK32;
class ViewToolsPanel;
class SaveDataOptions;
class Ui_manwindowClass;
class QSettings;
class QStandardItemModel;

namespace hvk32 {
class MapBuilder;
struct StreamHealth;
struct MapStatus;
struct RecordingCounts;
class ViewerScene;
enum class WindowControl;
enum class WindowStep;
}

namespace hvk32::platform {
class UserPrompts;
}

class manwindow : public QMainWindow {
    Q_OBJECT
public:
    // `prompts` shows the message boxes; null means real QMessageBoxes.
    explicit manwindow(hvk32::platform::UserPrompts* prompts = nullptr, QWidget* parent = nullptr);
    ~manwindow() override;

    GetLidardataK32& lidarDataReceiver() { return *getLidarData_; }
    GetSetK32& deviceInfoReceiver() { return *getSet_; }
    ReadLiveOffDataK32& capturePlayer();
    SaveDataOptions& saveDataOptions() { return *saveDataOptions_; }
    InetactionSetupWidgetK32& networkDialog() { return *inetactionSetup_; }
    VerticalAngleSetting& verticalAngleDialog() { return *verticalAngleSetting_; }
    ACWPSettingWidgetK32& advancedDialog() { return *acwpSetting_; }
    bool isCalculatingIntensity() const { return calcIntensity; }
    SetLidarModes& lidarModeDialog() { return *setLidarModes_; }
    About& aboutDialog() { return *about_; }
    QStandardItemModel& pointTable() { return *tableModel_; }
    const hvk32::CsvExportSession& csvExport() const { return csvExport_; }
    bool isRecording() const;
    // How the running recording gets its packets: "adapter" (capture on a network adapter),
    // "socket" (the window's own sockets, no capture rights needed), or empty when idle.
    QString recorderInUse() const;
    hvk32::RecordingCounts recordingCounts() const;
    // The Lidar tab's "Serve" switch: a Foxglove WebSocket server of what the window shows.
    ServeSession& serveSession() { return *serve_; }
    QToolButton& serveButton() { return *serveButton_; }
    QSpinBox& servePortBox() { return *servePort_; }
    Form_QLaserSelectionK32& laserSelection() { return *laserSelection_; }
    hvk32::ViewerScene& scene() { return *scene_; }
    ViewToolsPanel& viewTools() { return *viewTools_; }
    // The "Map" mode's builder; null until Map was first turned on.
    hvk32::MapBuilder* mapBuilder() { return map_.get(); }
    // The map's points as the view shows them.
    const std::vector<hvk32::CloudPoint>& mapCloud() const { return mapCloud_; }
    // Keeps the view's settings (point size, background, legend) in `settings` from now on,
    // and applies those it holds. Without it the window starts with the defaults each time.
    void rememberViewSettings(std::unique_ptr<QSettings> settings);
    hvk32::FrameGate& frameGate() { return frameGate_; }
    // Frames the device sent (assembled by the receiver or the player), drawn, and skipped by
    // the display; they count from the last Connect or Play from the start.
    std::uint64_t framesReceived() const;
    std::uint64_t framesDrawn() const { return frameCounters_.drawn(); }
    std::uint64_t framesSkipped() const;
    double deviceFrameRate() const;
    int currentPointSize() const { return pointSize; }
    const hvk32::SelectionBox& currentSelectionBox() const { return selectionBox; }
    bool isSelectionActive() const { return selectionActive; }
    const hvk32::Ruler& ruler() const { return ruler_; }

    // Fills the " Data Port:", " Telemetry Port：" and " Multicast IP:" fields; empty leaves one as it is.
    void setConnectionFields(const QString& dataPort, const QString& telemetryPort, const QString& group);

    // Where the packets with a fixed destination go (the vertical angles, and the factory
    // reset's default): the device's factory address unless redirected, e.g. to a simulator.
    void setFixedDeviceAddress(const QString& address);

    // Shows the controls the window normally keeps hidden (advanced settings, mode, vertical
    // angles, angle adjustments, display angle, help), for engineers who need them.
    void setEngineeringMode(bool on);

    // The handler of toolButton_Lidar: lock the fields and wait for the device.
    void onConnectLidar();

    // Opens a capture named on the command line as "Open" would, with the "Offline" tab in
    // front; once it is indexed, frame 1 is shown, or with `play` it plays from the start at
    // once. False, with nothing changed and `problem` set, when the file cannot be played.
    bool openCaptureFromShell(const QString& file, bool play, QString* problem);

signals:
    void SendModel(int ReturnMode);
    void SendDegreeMode(int degreeMode);
    void sendSelect(QString s);          // declared for the dialogs' use; not emitted
    void sendVersion(QString _version);  // declared for the dialogs' use; not emitted
    void sendIntensity(std::vector<float> _av);
    void sendAngleMistake(int channel);
    void sendDefaultConfig(QString echoMode, int degreeMode, int accuaryMode);
    void sendEnableSetting(bool flag);
    void sendOffLiveFile(QString fileName);
    // The vertical angle each data-packet channel of the frame on screen is converted with
    // (its layout goes with SendDegreeMode). Sent when it changes.
    void sendChannelAngles(const std::array<float, 32>& angles);

public slots:
    void receiveDevPacket(SettingData* data, std::vector<int> Mac);
    void receiveDevConfig(QString echoMode, int degreeMode, int accuaryMode);
    void receiveConfig(QString echoMode, int degreeMode, int accuaryMode);
    void FinishPlay(bool flag);
    void setPlaySeppd(int speed);
    void getTotleLength(long length);
    void updateProgress(int pos, int frameCount);
    void onDisconnectLidar();
    void showLidarDataList();
    void liveStartOrPause();
    void view();
    void SelectPoints();
    // A live frame, converted with the angle values the device published.
    void CalculateCoordinatesK32(const LidarData& lidardata);
    // A played frame, converted with the calibration of its capture.
    void CalculateCoordinatesK32(const LidarData& lidardata, const hvk32::DeviceCalibration& calibration);
    void AngleAdjust(double value);
    void AngleAdjust_two(double value);
    void AngleAdjust_three(double value);
    void AngleAdjust_four(double value);
    void onCodeData(QString code);
    void Return_Mode();
    void Return_Degree();
    void recvCalculateIntensity(bool flag);
    void showLidarModeSetting();
    void showVerticalSetting();
    void showAngleLinedit_pressed();
    void receiveSaveDataOption(bool isSave, int freams, float angleMin, float angleMax, QList<int> lines);
    // Goes to frame n of the opened capture (from 1): shown at once when paused, played on
    // from there when playing; with no playback running, one starts paused at that frame.
    void seekToFrame(int n);
    // A capture's device-info packet that says how its device was set: the layout, the echo
    // mode and the device's state go to the controls and dialogs while the capture is shown.
    void showCaptureDevice(const QByteArray& deviceInfo);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static constexpr const char* kPlayIcon = ":/image/Resources/images/Play.png";
    static constexpr const char* kPauseIcon = ":/image/Resources/images/Pause.png";

    QList<QWidget*> engineeringControls() const;
    // The echo list says what the device or capture shown sends (single echo: shown as such,
    // nothing to choose). The echo a live dual-echo device's frames keep is the
    // user's choice; a capture plays every echo.
    void showEchoMode(const QString& configuration, bool capture);
    // Tells the dialogs the channel angles of the frame just converted, when they changed.
    void showChannelAngles();
    void openGuide(const QUrl& url);
public:
    // Shows a dialog centred on this window (and within the screen).
    void showCentred(QWidget* dialog);
private:
    void setUpViewer();
    void makeConnections();
    void stopReceivers();
    void updateFrameStatus();
    void restartFrameCounters();
    void resetTable(); // headers only, at their widths
    // Enables and disables the controls as the step requires.
    void setControls(hvk32::WindowStep step);
    QWidget* controlWidget(hvk32::WindowControl control) const;

    // Capture files: open, and the playback's reports; recording.
    void openCaptureFile();
    // A file the player can read; `showFirstFrame`: frame 1 is shown once it is indexed.
    void loadCaptureFile(const QString& file, bool showFirstFrame);
    void setUpPlayback();
    void setUpRecording();
    void toggleRecording();
    // Where the device's datagrams come from, where the receivers have seen any (all zero:
    // none yet): captures are made on the adapter that carries them.
    std::array<std::uint8_t, 4> deviceAddressSeen() const;
    // Datagrams both receivers have taken in, whatever their kind.
    std::uint64_t datagramsReceived() const;
    // Seeking: the slider, the frame box and the keys.
    void setUpSeeking();

    // The "Serve" switch: serves the frames, device-info packets and health the window has.
    void setUpServing();
    void setServing(bool on);
    // The status-bar field and the health the server sends, from the stream's counters.
    void updateServingStatus(const hvk32::StreamHealth& health, std::uint64_t receiveDrops);
    // A frame on its way to the view goes to the server too; a played one once its time came.
    void handToServer(const LidarData& frame, const std::optional<hvk32::DeviceCalibration>& calibration);

    // Viewer tools.
    void toggleCoordinateSystem();
    void toggleGrid();
    void clearView();
    void onAreaPicked(const hvk32::SelectionArea& area);
    // Asks for a file and writes the selected points of the frame on screen to it as CSV.
    void exportSelection();
    void onViewerKey(const std::string& keySym);

    // The "View" tab: point size, background, legend, distance filter, fit view, image and
    // frame export.
    void setUpViewTools();
    void setPointSize(int size);
    void applyBackground();
    void showLegend();
    void storeViewSettings();
    void saveImage();
    void exportFrame();
    // The file name for an export of points chosen now, with the format's suffix.
    QString pointFileName(const QString& suffix) const;
    // Asks for a file and writes the frame on screen into it, in the format its name asks
    // for: the points `options` let through, or the `selected` ones.
    void exportShown(const QString& caption, const QString& proposedName, hvk32::OutputFormat offeredFirst,
                     const hvk32::SinkOptions& options, const std::vector<hvk32::ConvertedPoint>* selected);

    // The "Map" mode: the frames shown are registered into a map drawn in place of the frame.
    void setUpMap();
    void setMapMode(bool on);
    // Empties the map: on a seek, another capture, another source, or Map turned off.
    void resetMap();
    // A frame about to be shown goes to the map; a played one once its time and number came.
    void handToMap(const LidarData& frame, const std::optional<hvk32::DeviceCalibration>& calibration);
    void handPlayedFrameToMap(int frameNumber);
    void scheduleMapRedraw();
    void drawMap();
    void showMapStatus(const hvk32::MapStatus& status);
    // Asks for a file and writes the map into it, in the map format its name asks for.
    void saveMap();

    // The ruler: the Measure button, clicks in the view, the status-bar line.
    void setUpMeasureTool();
    void toggleMeasure(bool on);
    void onViewClicked(int x, int y);
    void showMeasurement();

    // Frames are drawn from the event loop: when several arrive while one is being drawn,
    // only the newest is drawn.
    void queueFrame(const LidarData& lidardata, const std::optional<hvk32::DeviceCalibration>& calibration);
    void drawPendingFrame();
    // Converts lastFrame with lastSnapshot_ and shows it: into the view, the point table and
    // the selection, or into an armed export.
    void convertAndShow();
    void convertForView();
    // After a frame is converted with a selection active: its selected points are counted
    // and listed (all of them when no new frame is coming, else the rows in view).
    void showSelectedPoints();
    // Lists every selected point of the frame on screen, which stays there.
    void listWholeSelection();
    hvk32::CloudParameters cloudParameters(const hvk32::ConversionSnapshot& device) const;

    // The generated form; only the window's own manwindow*.cpp files see its definition.
    std::unique_ptr<Ui_manwindowClass> form_;
    Ui_manwindowClass& ui;
    std::unique_ptr<hvk32::platform::UserPrompts> ownPrompts_;
    hvk32::platform::UserPrompts* prompts_;
    std::unique_ptr<QStandardItemModel> tableModel_;
    std::unique_ptr<About> about_;
    std::unique_ptr<InetactionSetupWidgetK32> inetactionSetup_;
    std::unique_ptr<CodeDialog> codeDialog_;
    std::unique_ptr<ACWPSettingWidgetK32> acwpSetting_;
    std::unique_ptr<SetLidarModes> setLidarModes_;
    std::unique_ptr<VerticalAngleSetting> verticalAngleSetting_;
    std::unique_ptr<Form_QLaserSelectionK32> laserSelection_;
    std::unique_ptr<SaveDataOptions> saveDataOptions_;
    std::unique_ptr<GetLidardataK32> getLidarData_;
    std::unique_ptr<GetSetK32> getSet_;
    std::unique_ptr<PlaybackSession> playback_;
    std::unique_ptr<RecordingSession> recording_;
    std::unique_ptr<ServeSession> serve_;
    QToolButton* serveButton_ = nullptr; // owned by the Lidar tab
    QSpinBox* servePort_ = nullptr;
    WindowStatusBar* status_ = nullptr; // owned by the form's status bar
    std::unique_ptr<hvk32::ViewerScene> scene_;
    ViewToolsPanel* viewTools_ = nullptr; // owned by the tab widget
    std::unique_ptr<QSettings> viewSettings_;

    // Window state.
    std::vector<float> averageIntensities;
    bool axesShown = false;
    bool gridHidden = true;
    bool selectMode = false;
    bool mouseReadout = true;
    bool readoutPending_ = false; // a readout update for the mouse is queued
    int pointSize = 1;
    bool selectionActive = false;
    int selectionCount = 0;
    hvk32::SelectionBox selectionBox;   // around the selected points of the frame they were picked in
    hvk32::SelectionArea selectionArea; // the points drawn inside the dragged rectangle
    bool measureMode = false;
    hvk32::Ruler ruler_;
    QList<int> channelList;        // 0..31
    LidarData lastFrame;           // copies of the last frame shown
    // The device values lastFrame was converted with: the capture's calibration for a played
    // frame, the published values for a live one.
    hvk32::ConversionSnapshot lastSnapshot_;
    bool lastFramePlayed_ = false; // lastFrame came from the capture played, not the live stream
    bool liveDualEcho_ = false;    // the live device sends two returns
    bool liveFrozen = false;
    int echoSelection = 0;
    std::optional<std::array<float, 32>> channelAnglesShown_; // last sent
    int degreeMode = 0;
    int modeKnown = 0;
    bool awaitingDevice = true;
    bool calcIntensity = false;
    double angleAdjust1 = 0.0;
    double angleAdjust2 = 0.0;
    double angleAdjust3 = 0.0;
    double angleAdjust4 = 0.0;
    float displayAngle = 360.0f;
    int dataPort = 2368;

    // Point table and CSV export.
    hvk32::PointListing pointListing_;
    hvk32::CsvExportSession csvExport_;

    // Frame display.
    hvk32::CloudBuilder cloudBuilder_;
    hvk32::CloudResult cloudResult_;
    hvk32::FrameGate frameGate_;
    LidarData pendingFrame_;       // the newest frame not drawn yet, when hasPendingFrame_
    std::optional<hvk32::DeviceCalibration> pendingCalibration_; // a played frame's; none for a live one
    bool hasPendingFrame_ = false;
    bool drawScheduled_ = false;

    // The status bar's figures: frame counters, and the live stream's packet losses.
    QTimer frameStatusTimer_;
    hvk32::FrameCounters frameCounters_;
    hvk32::PacketLossMeter lossMeter_;
    // While connected: how long nothing has arrived on either port.
    hvk32::DataSilence silence_;

    // The "Map" mode.
    std::unique_ptr<hvk32::MapBuilder> map_;
    bool mapMode_ = false;
    LidarData mapStash_; // a played frame waiting for its time and number
    hvk32::ConversionSnapshot mapStashSnapshot_;
    bool mapStashed_ = false;
    qint64 playedCaptureMicros_ = 0; // when the last played frame began, in the capture
    quint32 playedDeviceStamp_ = 0;  // and on the device
    int liveMapFrames_ = 0;          // live frames handed to the map since it started
    QString mapCapture_;             // the capture the map's frames are played from
    std::vector<hvk32::CloudPoint> mapCloud_; // the map as drawn
    std::optional<std::uint64_t> mapShownGeneration_;
    hvk32::ColorMode mapShownMode_ = hvk32::ColorMode::Intensity;
    int mapShownCoarsenings_ = 0;
    bool mapRedrawScheduled_ = false;
    QElapsedTimer mapRedrawClock_; // since the last draw of the map began
    qint64 mapDrawMs_ = 0;         // how long that draw took
};
