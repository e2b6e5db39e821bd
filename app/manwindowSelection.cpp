// The main window's selection and exports: the area picked in the view, its points written
// to CSV, the export of the next frames chosen in "SaveData", and clearing the view.

#include "app/manwindow.h"
#include "ui_manwindow.h"

#include "app/PlaybackSession.h"
#include "app/ViewToolsPanel.h"
#include "app/ViewerScene.h"
#include "app/WindowStatusBar.h"
#include "tools/UserPrompts.h"
#include "view/WindowRules.h"

#include <QDateTime>

void manwindow::receiveSaveDataOption(bool isSave, int freams, float angleMin, float angleMax, QList<int> lines)
{
    if (!isSave)
        return;
    const QString file = prompts_->saveFileName(this, tr("Save CSV"), hvk32::csvDefaultFileName(QDateTime::currentDateTime()),
                                                QString());
    if (file.isEmpty())
        return;
    // The view's distance filter applies to the export as well.
    const DistanceChoice distance = viewTools_->distanceChoice();
    const bool armed = distance.enabled
        ? csvExport_.arm(file, freams, angleMin, angleMax, lines, float(distance.min), float(distance.max))
        : csvExport_.arm(file, freams, angleMin, angleMax, lines);
    if (!armed) {
        prompts_->warning(this, tr("Warning"), tr("The export could not start: %1").arg(csvExport_.errorString()));
        return;
    }
    if (hvk32::nothingNewComing(liveFrozen, playback_->isPaused(), playback_->isFilePlaying())) {
        // Nothing new is coming: write the frame on screen at once.
        if (!csvExport_.writeFinalFrame(lastFrame, lastSnapshot_))
            prompts_->warning(this, tr("Warning"), csvExport_.errorString());
        else
            status_->showFileWritten(tr("Export written to %1").arg(file), file);
        return;
    }
    status_->showMessage(tr("Exporting the next %1 frame(s) to %2").arg(csvExport_.framesToWrite()).arg(file), 5000);
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

void manwindow::onAreaPicked(const hvk32::SelectionArea& area)
{
    // The selection is the points drawn inside the rectangle; a rectangle over no point
    // leaves area picking on for another drag.
    hvk32::ViewerScene::Cloud picked;
    for (const auto* cloud : {scene_->frameCloud().get(), scene_->selectionCloud().get()})
        for (const auto& p : *cloud)
            if (area.contains(p.x, p.y, p.z))
                picked.push_back(p);
    if (picked.empty())
        return;
    selectionArea = area;
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
    // The frame on screen and its selected points: what is counted and listed is what is
    // written, whatever frames arrive while the file is chosen.
    const std::vector<hvk32::ConvertedPoint> selected = pointListing_.selectedPoints();
    exportShown(tr("Save CSV"), hvk32::csvDefaultFileName(QDateTime::currentDateTime()), hvk32::OutputFormat::Csv, {},
                &selected);
}

void manwindow::clearView()
{
    selectionBox = {};
    selectionArea = {};
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
