// The main window's "Map" mode: the frames shown (a capture playing or the live stream) are
// handed to the map builder, which registers them on its own thread; the view shows the map
// and the scanner's path in place of the single frame, redrawn a few times a second; "Save map"
// writes it in one of the map formats.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "app/PlaybackSession.h"
#include "app/ViewToolsPanel.h"
#include "app/ViewerScene.h"
#include "app/WindowStatusBar.h"
#include "records/AngleValues.h"
#include "tools/UserPrompts.h"
#include "version/ProgramVersion.h"
#include "view/MapBuilder.h"

#include <QLocale>
#include <QTimer>

#include <algorithm>

namespace {

// The map is drawn at most every kMapRedrawMs, and a large map, slow to draw, less often: the
// event loop stays free most of the time for the frames, the controls and the registration's
// frames to come.
constexpr int kMapRedrawMs = 250;
constexpr int kMapDrawShare = 4; // a draw takes at most a quarter of the time between draws

} // namespace

void manwindow::setUpMap()
{
    connect(viewTools_, &ViewToolsPanel::mapModeToggled, this, &manwindow::setMapMode);
    connect(viewTools_, &ViewToolsPanel::saveMapRequested, this, &manwindow::saveMap);
    // A played frame waits for its capture time and its number, which the player reports
    // right after it.
    connect(playback_.get(), &PlaybackSession::frameTime, this, [this](qint64 captureMicros, quint32 deviceStamp) {
        playedCaptureMicros_ = captureMicros;
        playedDeviceStamp_ = deviceStamp;
    });
    // A new source or a run from the start begins a new map.
    connect(playback_.get(), &PlaybackSession::playbackStarted, this, &manwindow::resetMap);
    mapRedrawClock_.start();
}

void manwindow::setMapMode(bool on)
{
    if (on == mapMode_)
        return;
    mapMode_ = on;
    if (on) {
        if (!map_) {
            map_ = std::make_unique<hvk32::MapBuilder>();
            map_->onChanged([this]() {
                QMetaObject::invokeMethod(this, &manwindow::scheduleMapRedraw, Qt::QueuedConnection);
            });
        }
        map_->start();
        resetMap();
        status_->showMessage(tr("Map: the frames shown from now on are registered one after another"), 5000);
        return;
    }
    map_->stop();
    resetMap();
    scene_->showTrajectory({}, Eigen::Isometry3d::Identity());
    // The frame on screen comes back in place of the map.
    scene_->showClouds(cloudResult_.frame, cloudResult_.selection, pointSize);
}

void manwindow::resetMap()
{
    if (map_)
        map_->reset();
    mapStashed_ = false;
    liveMapFrames_ = 0;
    mapCapture_.clear();
    mapCloud_.clear();
    mapShownGeneration_.reset();
    if (mapMode_)
        scheduleMapRedraw();
}

void manwindow::handToMap(const LidarData& frame, const std::optional<hvk32::DeviceCalibration>& calibration)
{
    if (calibration) {
        mapStash_ = frame;
        mapStashSnapshot_ = hvk32::ConversionSnapshot::ofCapture(degreeMode, *calibration);
        mapStashed_ = true;
        return;
    }
    if (!mapCapture_.isEmpty())
        resetMap(); // the live stream takes over from a capture
    hvk32::MapInput input;
    input.frameId = ++liveMapFrames_;
    input.dualEcho = liveDualEcho_;
    map_->submit(frame, hvk32::ConversionSnapshot::ofDevice(degreeMode, modeKnown, publishedOffsetAngles()), input);
}

void manwindow::handPlayedFrameToMap(int frameNumber)
{
    if (!mapStashed_ || !mapMode_)
        return;
    mapStashed_ = false;
    hvk32::MapInput input;
    input.frameId = frameNumber;
    input.reference.captureMicros = playedCaptureMicros_;
    input.reference.deviceStamp = playedDeviceStamp_;
    mapCapture_ = playback_->fileName();
    map_->submit(mapStash_, mapStashSnapshot_, input);
}

void manwindow::scheduleMapRedraw()
{
    if (mapRedrawScheduled_ || !mapMode_)
        return;
    mapRedrawScheduled_ = true;
    const qint64 interval = std::max<qint64>(kMapRedrawMs, kMapDrawShare * mapDrawMs_);
    const qint64 wait = std::max<qint64>(0, interval - mapRedrawClock_.elapsed());
    QTimer::singleShot(static_cast<int>(wait), this, &manwindow::drawMap);
}

void manwindow::drawMap()
{
    mapRedrawScheduled_ = false;
    if (!mapMode_ || !map_)
        return;
    // A rubber band being dragged would be erased by a render: the map waits for the release.
    if (scene_->isAreaDragging()) {
        scheduleMapRedraw();
        return;
    }
    mapRedrawClock_.restart();
    const auto mode = static_cast<hvk32::ColorMode>(ui.comboBox_2->currentIndex());
    std::vector<Eigen::Vector3f> path;
    Eigen::Isometry3d current = Eigen::Isometry3d::Identity();
    hvk32::MapStatus status;
    map_->read([&](const hvk32::odometry::MapAccumulator& map, const hvk32::MapStatus& s) {
        status = s;
        // A new map, other colours, or the map thinned anew: drawn from its first point.
        if (mapShownGeneration_ != s.generation || mapShownMode_ != mode || mapShownCoarsenings_ != s.coarsenings
            || mapCloud_.size() > map.size()) {
            mapCloud_.clear();
            mapShownGeneration_ = s.generation;
            mapShownMode_ = mode;
            mapShownCoarsenings_ = s.coarsenings;
        }
        hvk32::appendMapCloud(map.points(), mapCloud_.size(), mode, mapCloud_);
        path.reserve(map.poses().size());
        for (const Eigen::Isometry3d& pose : map.poses())
            path.push_back(pose.translation().cast<float>());
        if (!map.poses().empty())
            current = map.poses().back();
    });
    scene_->showTrajectory(path, current);
    scene_->showClouds(mapCloud_, {}, pointSize);
    if (mouseReadout)
        scene_->updateReadout();
    mapDrawMs_ = mapRedrawClock_.elapsed();
    showMapStatus(status);
}

void manwindow::showMapStatus(const hvk32::MapStatus& status)
{
    if (status.frames == 0)
        return;
    const QLocale locale;
    QString text = tr("Map: %1 frames, %2 points").arg(locale.toString(qulonglong(status.frames)),
                                                       locale.toString(qulonglong(status.points)));
    if (status.skipped > 0)
        text += tr("; %1 frames skipped while registering fell behind (the map is less exact after a skip)")
                    .arg(locale.toString(qulonglong(status.skipped)));
    if (status.full)
        text += tr("; full at %1 points: later frames extend only the path")
                    .arg(locale.toString(qulonglong(status.maxPoints)));
    else if (status.coarsenings > 0)
        text += tr("; thinned to %1 m to stay within %2 points")
                    .arg(locale.toString(status.voxelSize, 'g', 3), locale.toString(qulonglong(status.maxPoints)));
    status_->showMessage(text, 2 * kMapRedrawMs + 1000);
}

void manwindow::saveMap()
{
    if (!map_ || map_->status().frames == 0) {
        status_->showMessage(tr("Save map: the map is empty; turn Map on and play a capture or connect"), 5000);
        return;
    }
    const QString file = prompts_->saveFileName(this, tr("Save map"), pointFileName(".las"),
                                                hvk32::odometry::mapFileDialogFilter(hvk32::OutputFormat::Las));
    if (file.isEmpty())
        return;
    const std::optional<hvk32::OutputFormat> format = hvk32::outputFormatOf(file, hvk32::OutputUse::OneFrame);
    if (!format || !hvk32::odometry::isMapFormat(*format)) {
        prompts_->warning(this, tr("Warning"),
                          tr("%1: a map is written as %2").arg(file, hvk32::odometry::mapExtensionList()));
        return;
    }
    const std::string version = hvk32::programVersionLine("hvk32");
    hvk32::SinkSource source;
    source.software = QString::fromStdString(version.substr(0, version.find(" (")));
    // LAS takes its creation date from the capture; the map's frames carry no device-info
    // packets, so MCAP's are left out.
    if (*format == hvk32::OutputFormat::Las)
        source.capture = mapCapture_;
    QString error;
    qint64 points = -1;
    // The worker waits while the map is written; the map cannot change underneath.
    map_->read([&](const hvk32::odometry::MapAccumulator& map, const hvk32::MapStatus&) {
        points = map.save(file, *format, source, &error);
    });
    if (points < 0)
        prompts_->warning(this, tr("Warning"), error);
    else
        status_->showFileWritten(tr("Map of %1 points written to %2").arg(points).arg(file), file);
}
