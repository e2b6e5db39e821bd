// The main window's frame path: frames from the receivers and the player queued and drawn
// from the event loop, each converted once into the view, the point table and the selection
// (or into an armed export), the frozen display, and the status bar's frame figures.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "app/PlaybackSession.h"
#include "app/ViewToolsPanel.h"
#include "app/ViewerScene.h"
#include "app/WindowStatusBar.h"
#include "tools/UserPrompts.h"
#include "records/AngleValues.h"
#include "tools/Form_QLaserSelectionK32.h"
#include "convert/PointConversion.h"
#include "view/WindowRules.h"

#include <QScrollBar>
#include <QStandardItemModel>

#include <algorithm>

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
    handToServer(lidardata, calibration); // served whether the display is frozen or not
    if (liveFrozen)
        return;
    if (mapMode_)
        handToMap(lidardata, calibration);
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
    // A played frame brings its capture's angles and converts with its capture's distance unit;
    // a live one takes what the device published.
    lastFramePlayed_ = pendingCalibration_.has_value();
    lastSnapshot_ = pendingCalibration_
        ? hvk32::ConversionSnapshot::ofCapture(degreeMode, *pendingCalibration_)
        : hvk32::ConversionSnapshot::ofDevice(degreeMode, modeKnown, publishedOffsetAngles());
    showChannelAngles();
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
    p.selectionArea = selectionArea;
    p.computeAverageIntensities = calcIntensity;
    const DistanceChoice distance = viewTools_->distanceChoice();
    p.limitDistance = distance.enabled;
    p.distanceMin = float(distance.min);
    p.distanceMax = float(distance.max);
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
            status_->showFileWritten(tr("Export written to %1").arg(csvExport_.fileName()), csvExport_.fileName());
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
    if (mapMode_) {
        // The map is drawn in place of the frame, as it grows.
        scheduleMapRedraw();
        return;
    }
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
    // A capture shows the health of its own stream, as the live device does.
    const bool capture = playback_->isFilePlaying();
    status_->showFrames(frameCounters_.sent(total), frameCounters_.drawn(), frameCounters_.skipped(total),
                        deviceFrameRate(), capture);
    const hvk32::StreamHealth health = capture ? playback_->player().streamHealth() : getLidarData_->streamHealth();
    lossMeter_.add(hvk32::FrameGate::nowMs(), health.expectedPackets(), health.lostPackets);
    ReceiveBufferState buffer;
    buffer.drops = getLidarData_->receiveDrops();
    buffer.bytes = getLidarData_->receiveBufferBytes();
    buffer.limited = getLidarData_->receiveBufferLimited();
    status_->showStreamHealth(health, lossMeter_.lostPercent(), buffer, capture);
    updateServingStatus(health, capture ? 0 : buffer.drops);
    // The ports' fields are locked while connected, so they name the ports listened on.
    status_->showSilence(silence_.sample(hvk32::FrameGate::nowMs(), datagramsReceived()),
                         ui.lineEdit_portNumber->text().toInt(), ui.lineEdit->text().toInt());
}

std::uint64_t manwindow::datagramsReceived() const
{
    return getLidarData_->datagramsReceived() + getSet_->datagramsReceived();
}
