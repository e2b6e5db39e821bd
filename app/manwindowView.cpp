// The main window's "View" tab: point size, background colour and colour legend (kept from
// run to run), the distance filter, fitting the view to the cloud, saving the view as an
// image and exporting the frame on screen. The "Map" mode is in manwindowMap.cpp.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "receivers/GetLidardataK32.h"
#include "app/PlaybackSession.h"
#include "app/ViewToolsPanel.h"
#include "app/ViewerScene.h"
#include "app/WindowStatusBar.h"
#include "tools/UserPrompts.h"
#include "view/ColourLegend.h"
#include "io/CsvExport.h"
#include "version/ProgramVersion.h"
#include "view/ViewPreferences.h"

#include <QDateTime>
#include <QSettings>

#include <algorithm>

void manwindow::setUpViewTools()
{
    ViewToolsPanel* tools = viewTools_;
    tools->setPointSize(pointSize);
    connect(tools, &ViewToolsPanel::pointSizeChanged, this, &manwindow::setPointSize);
    connect(tools, &ViewToolsPanel::backgroundChanged, this, &manwindow::applyBackground);
    connect(tools, &ViewToolsPanel::legendToggled, this, &manwindow::showLegend);
    connect(ui.comboBox_2, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this]() {
        showLegend();
        // The frame on screen takes the new colours at once, as the legend does: a paused
        // capture or a frozen display brings no next frame to show them.
        const bool shown = std::any_of(lastFrame.distances.begin(), lastFrame.distances.end(),
                                       [](const std::vector<float>& channel) { return !channel.empty(); });
        if (shown && !csvExport_.isArmed())
            convertForView();
        if (mapMode_)
            scheduleMapRedraw(); // drawn again in the new colours
    });
    connect(tools, &ViewToolsPanel::distanceFilterChanged, this, [this]() {
        // The frame on screen is drawn again with the new limits, as the next ones will be.
        if (!csvExport_.isArmed())
            convertForView();
    });
    connect(tools, &ViewToolsPanel::fitViewRequested, this, [this]() {
        if (!scene_->fitView())
            status_->showMessage(tr("Fit view: no points are shown"), 3000);
    });
    connect(tools, &ViewToolsPanel::saveImageRequested, this, &manwindow::saveImage);
    connect(tools, &ViewToolsPanel::exportFrameRequested, this, &manwindow::exportFrame);
    // Frames coming update the readout as they are drawn; over a frame that stays (a paused
    // capture, a frozen display, no stream) it follows the mouse itself, one update for a
    // burst of moves.
    scene_->onMouseMoved([this]() {
        const bool framesComing = !liveFrozen
            && (getLidarData_->isRunning() || (playback_->isFilePlaying() && !playback_->isPaused()));
        if (!mouseReadout || framesComing || readoutPending_)
            return;
        readoutPending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this]() {
                readoutPending_ = false;
                scene_->updateReadout();
                scene_->render();
            },
            Qt::QueuedConnection);
    });
    applyBackground();
    showLegend();
}

void manwindow::rememberViewSettings(std::unique_ptr<QSettings> settings)
{
    viewSettings_.reset();
    if (!settings)
        return;
    const hvk32::ViewPreferences p = hvk32::loadViewPreferences(*settings);
    viewTools_->setPointSize(p.pointSize);
    viewTools_->setBackground(p.background);
    viewTools_->setLegendShown(p.legendShown);
    // Stored only from now on, so the values just applied are not written back needlessly.
    viewSettings_ = std::move(settings);
}

void manwindow::storeViewSettings()
{
    if (!viewSettings_)
        return;
    hvk32::saveViewPreferences(*viewSettings_, {pointSize, viewTools_->background(), viewTools_->legendShown()});
    viewSettings_->sync();
}

void manwindow::setPointSize(int size)
{
    if (size == pointSize) {
        viewTools_->setPointSize(size);
        return;
    }
    pointSize = size;
    viewTools_->setPointSize(size); // the keys change it too
    // The frame or map on screen takes the new size at once, not only the next frame.
    if (mapMode_)
        scene_->showClouds(mapCloud_, {}, pointSize);
    else
        scene_->showClouds(cloudResult_.frame, cloudResult_.selection, pointSize);
    storeViewSettings();
}

void manwindow::applyBackground()
{
    scene_->setBackground(viewTools_->background());
    showLegend(); // its texts take the colour that reads on the new background
}

void manwindow::showLegend()
{
    const auto mode = static_cast<hvk32::ColorMode>(ui.comboBox_2->currentIndex());
    scene_->showLegend(viewTools_->legendShown() ? hvk32::colourLegend(mode) : std::nullopt);
    storeViewSettings();
}

QString manwindow::pointFileName(const QString& suffix) const
{
    return QDateTime::currentDateTime().toString("yyyy-MM-dd-hh-mm-ss") + suffix;
}

void manwindow::saveImage()
{
    const QString file = prompts_->saveFileName(this, tr("Save image"), pointFileName(".png"), tr("PNG image (*.png)"));
    if (file.isEmpty())
        return;
    QString error;
    if (!scene_->saveImage(file, &error, viewTools_->readoutInImage()))
        prompts_->warning(this, tr("Warning"), error);
    else
        status_->showFileWritten(tr("Image written to %1").arg(file), file);
}

void manwindow::exportShown(const QString& caption, const QString& proposedName, hvk32::OutputFormat offeredFirst,
                            const hvk32::SinkOptions& options, const std::vector<hvk32::ConvertedPoint>* selected)
{
    // The frame on screen with its own calibration, whatever arrives while the file is chosen.
    const LidarData frame = lastFrame;
    const hvk32::ConversionSnapshot snapshot = lastSnapshot_;
    hvk32::ShownFrame shown{frame, snapshot, QString(), 0, liveDualEcho_};
    if (lastFramePlayed_) {
        shown.capture = playback_->fileName();
        shown.number = playback_->currentFrame();
    }
    const QString file = prompts_->saveFileName(this, caption, proposedName, hvk32::fileDialogFilter(offeredFirst));
    if (file.isEmpty())
        return;
    // A name that ends in no format's extension is written as CSV.
    const hvk32::OutputFormat format =
        hvk32::outputFormatOf(file, hvk32::OutputUse::OneFrame).value_or(hvk32::OutputFormat::Csv);
    const std::string version = hvk32::programVersionLine("hvk32");
    const QString software = QString::fromStdString(version.substr(0, version.find(" (")));
    QString error;
    const qint64 points = selected ? hvk32::exportShownPoints(file, format, shown, *selected, software, &error)
                                   : hvk32::exportShownFrame(file, format, shown, options, software, &error);
    if (points < 0)
        prompts_->warning(this, tr("Warning"), error);
    else if (selected)
        status_->showFileWritten(tr("%1 selected points written to %2").arg(points).arg(file), file);
    else
        status_->showFileWritten(tr("%1 points written to %2").arg(points).arg(file), file);
}

void manwindow::exportFrame()
{
    const bool shown = std::any_of(lastFrame.distances.begin(), lastFrame.distances.end(),
                                   [](const std::vector<float>& channel) { return !channel.empty(); });
    if (!shown) {
        status_->showMessage(tr("Export frame: no frame is shown yet"), 5000);
        return;
    }
    // Every channel and azimuth, and the distances chosen in the View tab, for every format.
    const DistanceChoice distance = viewTools_->distanceChoice();
    hvk32::SinkOptions options;
    if (distance.enabled) {
        options.distanceMin = float(distance.min);
        options.distanceMax = float(distance.max);
    }
    exportShown(tr("Export frame"), pointFileName(".pcd"), hvk32::OutputFormat::Pcd, options, nullptr);
}
