// The "View" tab as a user drives it: point size and background kept between runs, the
// colour legend, the distance filter, fit view, saving the view as an image, and the PCD and
// PLY exports of the frame on screen and of the selection, read back with PCL's own readers,
// and the "Map" mode with its "Save map".

#include "acquisition/FrameAssembler.h"
#include "app/LegendOverlay.h"
#include "app/ViewToolsPanel.h"
#include "app/ViewerScene.h"
#include "app/manwindow.h"
#include "records/AngleValues.h"
#include "sim/ScannerStream.h"
#include "support/SimulatorFrames.h"
#include "support/WindowFixture.h"
#include "io/CsvExport.h"
#include "view/MapBuilder.h"
#include "view/ViewPreferences.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVTKOpenGLNativeWidget.h>
#include <QtTest>
#include <pcl/io/pcd_io.h>
#include <pcl/io/ply_io.h>
#include <vtkCamera.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>
#include <vtkTextActor.h>

#include <array>
#include <cmath>
#include <memory>

using namespace hvk32;

namespace {

using test::simulatorFrame;

// Pixels of exactly this colour in the image.
int pixelsOf(const QImage& image, const QColor& colour, QRect area = QRect())
{
    if (area.isNull())
        area = image.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.pixelColor(x, y) == colour;
    return n;
}

} // namespace

class ViewToolsTest : public QObject, test::WindowFixture {
    Q_OBJECT

    const QSize kWindowSize{1200, 800};
    QTemporaryDir dir_;

    QImage grabView()
    {
        window_->scene().render();
        return widget<QVTKOpenGLNativeWidget>("screen")->grabFramebuffer();
    }

    // The right edge of the view, where the legend stands.
    void setDistanceFilter(double min, double max)
    {
        widget<QCheckBox>("checkBox_distanceFilter")->setChecked(true);
        widget<QDoubleSpinBox>("doubleSpinBox_maxDistance")->setValue(max);
        widget<QDoubleSpinBox>("doubleSpinBox_minDistance")->setValue(min);
    }

    QRect legendArea(const QImage& image) const
    {
        return QRect(int(image.width() * 0.9), 0, image.width() - int(image.width() * 0.9), image.height());
    }

private slots:
    void initTestCase()
    {
        for (int c = 0; c < 32; ++c)
            verticalAngleTable[c] = defaultVerticalAngles1[c];
    }

    void init() { QVERIFY(openWindow(kWindowSize)); }
    void cleanup() { window_.reset(); }

    // Point size and background chosen in one run are there in the next; values in the
    // settings file that the view cannot take leave the defaults.
    void pointSizeAndBackgroundAreKept()
    {
        const QString file = dir_.filePath("kept.ini");
        window_->rememberViewSettings(std::make_unique<QSettings>(file, QSettings::IniFormat));
        widget<QSpinBox>("spinBox_pointSize")->setValue(4);
        QComboBox* background = widget<QComboBox>("comboBox_background");
        background->setCurrentIndex(background->findText("White"));
        widget<QCheckBox>("checkBox_legend")->setChecked(false);
        QCOMPARE(window_->currentPointSize(), 4);
        window_.reset();

        QVERIFY(openWindow(kWindowSize));
        QCOMPARE(window_->currentPointSize(), 1); // nothing remembered without settings
        window_->rememberViewSettings(std::make_unique<QSettings>(file, QSettings::IniFormat));
        QCOMPARE(window_->currentPointSize(), 4);
        QCOMPARE(widget<QComboBox>("comboBox_background")->currentText(), QString("White"));
        QVERIFY(window_->scene().background() == (Rgb8{255, 255, 255}));
        QVERIFY(!widget<QCheckBox>("checkBox_legend")->isChecked());
        const QImage image = grabView();
        QCOMPARE(image.pixelColor(image.width() / 2, 5), QColor(255, 255, 255));

        // The keys and the spin box are one setting.
        vtkRenderWindowInteractor* it = widget<QVTKOpenGLNativeWidget>("screen")->interactor();
        it->SetKeyEventInformation(0, 0, '+', 1, "plus");
        it->InvokeEvent(vtkCommand::KeyPressEvent, nullptr);
        QCOMPARE(widget<QSpinBox>("spinBox_pointSize")->value(), 5);

        {
            QSettings broken(dir_.filePath("broken.ini"), QSettings::IniFormat);
            broken.setValue("view/pointSize", 40);
            broken.setValue("view/background", "#12345");
        }
        window_->rememberViewSettings(std::make_unique<QSettings>(dir_.filePath("broken.ini"), QSettings::IniFormat));
        QCOMPARE(window_->currentPointSize(), kMinPointSize);
        QVERIFY(window_->scene().background() == (Rgb8{0, 0, 0}));
    }

    // The legend shows the colouring's own colours at the right edge, with its units, and
    // goes for colourings without a scale or when switched off.
    void legendShowsTheColouringsColours()
    {
        showFrame(simulatorFrame());
        QComboBox* colouring = widget<QComboBox>("comboBox_2");
        colouring->setCurrentIndex(int(ColorMode::Elevation));
        QImage image = grabView();
        const QRect area = legendArea(image);
        QVERIFY(pixelsOf(image, QColor(139, 69, 19), area) > 100); // below -2 m
        QVERIFY(pixelsOf(image, QColor(0, 128, 0), area) > 100);   // 1..5 m
        QVERIFY(window_->scene().legendOverlay().texts().contains("Elevation (m)"));

        colouring->setCurrentIndex(int(ColorMode::Azimuth));
        image = grabView();
        QVERIFY(pixelsOf(image, QColor(0, 125, 192), area) > 100);
        QCOMPARE(pixelsOf(image, QColor(139, 69, 19), area), 0);
        QVERIFY(window_->scene().legendOverlay().texts().contains("270°"));

        colouring->setCurrentIndex(int(ColorMode::Intensity));
        QCOMPARE(window_->scene().legendOverlay().texts().front(), QString("Intensity (0–255)"));
        colouring->setCurrentIndex(int(ColorMode::Solid));
        QVERIFY(!window_->scene().legendOverlay().isShown());
        colouring->setCurrentIndex(int(ColorMode::Elevation));
        widget<QCheckBox>("checkBox_legend")->setChecked(false);
        QCOMPARE(pixelsOf(grabView(), QColor(139, 69, 19), area), 0);
    }

    // Another colouring recolours the frame on screen at once, with the legend, though no
    // next frame comes (the display is frozen). On a white background every band of the
    // Elevation legend is a box of its own: a line in the text colour between each two.
    void colouringRecoloursTheFrameOnScreenAndItsLegend()
    {
        QComboBox* background = widget<QComboBox>("comboBox_background");
        background->setCurrentIndex(background->findText("White"));
        showFrame(simulatorFrame());
        click("toolButton_pause");
        widget<QComboBox>("comboBox_2")->setCurrentIndex(int(ColorMode::Elevation));
        const auto& cloud = *window_->scene().frameCloud();
        QVERIFY(cloud.size() > 1000);
        for (const auto& p : cloud)
            QVERIFY2(elevationColour(p.z) == (Rgb8{p.r, p.g, p.b}), qPrintable(QString::number(p.z)));

        // Down the middle of the strip: the frame's two edges and a line between each two of
        // the five bands, black on white.
        const QImage image = grabView();
        const int x = int(image.width() * (LegendOverlay::kLeft + LegendOverlay::kRight) / 2);
        const int top = int(image.height() * (1 - LegendOverlay::kTop)) - 3;
        const int bottom = int(image.height() * (1 - LegendOverlay::kBottom)) + 3;
        int blackRuns = 0;
        bool inBlack = false;
        for (int y = top; y <= bottom; ++y) {
            const QColor c = image.pixelColor(x, y);
            const bool black = c.red() < 60 && c.green() < 60 && c.blue() < 60;
            blackRuns += black && !inBlack;
            inBlack = black;
        }
        QCOMPARE(blackRuns, 6);
        click("toolButton_pause");
    }

    // Over a frame that stays on screen the readout follows the mouse; saved images leave
    // it out unless "With readout" is ticked.
    void readoutFollowsTheMouseAndStaysOutOfImages()
    {
        showFrame(simulatorFrame());
        vtkRenderWindowInteractor* it = widget<QVTKOpenGLNativeWidget>("screen")->interactor();
        auto readout = [this]() -> QString {
            const auto shapes = window_->scene().viewer().getShapeActorMap();
            const auto found = shapes->find(ViewerScene::kReadoutId);
            if (found == shapes->end())
                return {};
            return QString::fromUtf8(vtkTextActor::SafeDownCast(found->second)->GetInput());
        };
        const int cx = it->GetSize()[0] / 2, cy = it->GetSize()[1] / 2;
        it->SetEventInformation(cx - 200, cy);
        it->InvokeEvent(vtkCommand::MouseMoveEvent, nullptr);
        QTRY_VERIFY(readout().startsWith("Distance: "));
        const QString first = readout();
        it->SetEventInformation(cx + 200, cy + 100);
        it->InvokeEvent(vtkCommand::MouseMoveEvent, nullptr);
        QTRY_VERIFY(readout() != first);
        QVERIFY(readout().startsWith("Distance: "));

        // The readout's white text at the bottom left, in the image and out of it.
        auto readoutPixels = [](const QImage& image) {
            return pixelsOf(image, QColor(255, 255, 255), QRect(150, image.height() - 30, 500, 30));
        };
        const QString plain = dir_.filePath("plain.png"), with = dir_.filePath("with.png");
        prompts_.fileNames.enqueue(plain);
        click("toolButton_saveImage");
        QVERIFY(window_->scene().readoutShown()); // still on screen
        widget<QCheckBox>("checkBox_readoutInImage")->setChecked(true);
        prompts_.fileNames.enqueue(with);
        click("toolButton_saveImage");
        QImage withoutReadout, withReadout;
        QVERIFY(withoutReadout.load(plain, "PNG") && withReadout.load(with, "PNG"));
        QVERIFY(readoutPixels(grabView()) > 100);
        QVERIFY(readoutPixels(withReadout) > 100);
        QCOMPARE(readoutPixels(withoutReadout), 0);
    }

    // Only points within the limits are drawn, listed and exported; the frame on screen is
    // redrawn at once.
    void distanceFilterLimitsViewAndExports()
    {
        showFrame(simulatorFrame());
        const std::size_t all = window_->scene().frameCloud()->size();
        const QImage before = grabView();
        setDistanceFilter(2.0, 6.0);
        const auto& cloud = *window_->scene().frameCloud();
        QVERIFY(cloud.size() > 0 && cloud.size() < all);
        for (const auto& p : cloud) {
            const float d = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
            QVERIFY2(d >= 1.9f && d <= 6.1f, qPrintable(QString::number(d)));
        }
        const QImage after = grabView();
        QVERIFY(pixelsOf(after, QColor(0, 0, 0)) > pixelsOf(before, QColor(0, 0, 0)));

        const QString pcd = dir_.filePath("near.pcd");
        prompts_.fileNames.enqueue(pcd);
        click("toolButton_exportFrame");
        QVERIFY(widget<QToolButton>("toolButton_copyPath")->isVisible()); // "... points written to ..."
        QCOMPARE(widget<QToolButton>("toolButton_copyPath")->toolTip(), pcd);
        pcl::PointCloud<pcl::PointXYZI> read;
        QCOMPARE(pcl::io::loadPCDFile(pcd.toStdString(), read), 0);
        QVERIFY(read.size() > 0 && read.size() < all);
        for (const auto& p : read) {
            const float d = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
            QVERIFY2(d >= 1.9f && d <= 6.1f, qPrintable(QString::number(d)));
        }

        // SaveData's export of the frozen frame on screen.
        click("toolButton_pause");
        const QString csv = dir_.filePath("near.csv");
        prompts_.fileNames.enqueue(csv);
        QList<int> channels;
        for (int c = 0; c < 32; ++c)
            channels << c;
        window_->receiveSaveDataOption(true, 1, 0.0f, 360.0f, channels);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = file.readAll().split('\n').mid(1);
        lines.removeAll(QByteArray());
        QCOMPARE(std::size_t(lines.size()), read.size());
        for (const QByteArray& line : lines) {
            const float d = line.split(',')[7].toFloat();
            QVERIFY2(d >= 2.0f && d <= 6.0f, line.constData());
        }
        click("toolButton_pause");

        widget<QCheckBox>("checkBox_distanceFilter")->setChecked(false);
        QCOMPARE(window_->scene().frameCloud()->size(), all);
    }

    // Fit view frames the cloud from where the camera looks, and keeps it on screen.
    void fitViewFramesTheCloudWithoutClearingIt()
    {
        showFrame(simulatorFrame());
        vtkRenderer* renderer = window_->scene().viewer().getRendererCollection()->GetFirstRenderer();
        vtkCamera* camera = renderer->GetActiveCamera();
        camera->SetFocalPoint(400, 400, 0);
        camera->SetPosition(400, 400, 5);
        const int emptyBefore = pixelsOf(grabView(), QColor(0, 0, 0));
        click("toolButton_fitView");
        QVERIFY(window_->scene().viewer().contains(ViewerScene::kFrameCloudId));
        // Every point of the frame projects inside the view.
        for (const auto& p : *window_->scene().frameCloud()) {
            renderer->SetWorldPoint(p.x, p.y, p.z, 1.0);
            renderer->WorldToView();
            const double* v = renderer->GetViewPoint();
            QVERIFY(std::fabs(v[0]) <= 1.0 && std::fabs(v[1]) <= 1.0);
        }
        QVERIFY(pixelsOf(grabView(), QColor(0, 0, 0)) < emptyBefore - 1000);
    }

    // "Save image" writes what the view shows into a PNG; a place that cannot be written is
    // reported and leaves nothing behind.
    void saveImageWritesTheView()
    {
        showFrame(simulatorFrame());
        QComboBox* background = widget<QComboBox>("comboBox_background");
        background->setCurrentIndex(background->findText("White"));
        widget<QComboBox>("comboBox_2")->setCurrentIndex(int(ColorMode::Elevation));
        const QString png = dir_.filePath("view.png");
        prompts_.fileNames.enqueue(png);
        click("toolButton_saveImage");
        QVERIFY(widget<QToolButton>("toolButton_copyPath")->isVisible()); // "Image written to ..."
        QCOMPARE(widget<QToolButton>("toolButton_copyPath")->toolTip(), png);
        QImage saved;
        QVERIFY(saved.load(png, "PNG"));
        const QImage shown = grabView();
        QCOMPARE(saved.size(), shown.size());
        QCOMPARE(saved.pixelColor(saved.width() / 2, 3), QColor(255, 255, 255));
        QVERIFY(pixelsOf(saved, QColor(139, 69, 19), legendArea(saved)) > 100); // the legend is in it
        // Upright: the legend's brown cell is at its bottom, as on screen.
        const int brownRow = [&]() {
            for (int y = saved.height() - 1; y >= 0; --y)
                for (int x = legendArea(saved).left(); x < saved.width(); ++x)
                    if (saved.pixelColor(x, y) == QColor(139, 69, 19))
                        return y;
            return -1;
        }();
        QVERIFY(brownRow > saved.height() / 2);

        const QString nowhere = dir_.filePath("missing/view.png");
        prompts_.fileNames.enqueue(nowhere);
        click("toolButton_saveImage");
        QVERIFY(!QFile::exists(nowhere));
        QCOMPARE(prompts_.shown.last().kind, QString("warning"));
        QVERIFY(prompts_.shown.last().text.contains(nowhere));
    }

    // The selection exported as PCD and PLY holds the points its CSV holds.
    void selectionExportsAsPcdAndPly()
    {
        showFrame(simulatorFrame());
        window_->SelectPoints();
        vtkRenderWindowInteractor* it = widget<QVTKOpenGLNativeWidget>("screen")->interactor();
        const int cx = it->GetSize()[0] / 2, cy = it->GetSize()[1] / 2;
        it->SetEventInformation(cx - 150, cy - 150);
        it->InvokeEvent(vtkCommand::LeftButtonPressEvent, nullptr);
        it->SetEventInformation(cx + 150, cy + 150);
        it->InvokeEvent(vtkCommand::MouseMoveEvent, nullptr);
        it->InvokeEvent(vtkCommand::LeftButtonReleaseEvent, nullptr);
        QVERIFY(window_->isSelectionActive());

        QPushButton* exportSelection = widget<QPushButton>("pushButton_exportSelection");
        for (const char* name : {"sel.csv", "sel.pcd", "sel.ply"}) {
            prompts_.fileNames.enqueue(dir_.filePath(name));
            QTest::mouseClick(exportSelection, Qt::LeftButton);
        }
        QFile csv(dir_.filePath("sel.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = csv.readAll().split('\n').mid(1);
        lines.removeAll(QByteArray());
        QVERIFY(!lines.isEmpty());

        pcl::PointCloud<pcl::PointXYZI> pcd, ply;
        QCOMPARE(pcl::io::loadPCDFile(dir_.filePath("sel.pcd").toStdString(), pcd), 0);
        QCOMPARE(pcl::io::loadPLYFile(dir_.filePath("sel.ply").toStdString(), ply), 0);
        QCOMPARE(int(pcd.size()), lines.size());
        QCOMPARE(int(ply.size()), lines.size());
        for (int i = 0; i < lines.size(); i += 97) {
            const QList<QByteArray> f = lines[i].split(',');
            for (const auto* cloud : {&pcd, &ply}) {
                const auto& p = (*cloud)[std::size_t(i)];
                QVERIFY(std::fabs(p.x - f[1].toFloat()) < 1e-3f && std::fabs(p.y - f[2].toFloat()) < 1e-3f
                        && std::fabs(p.z - f[3].toFloat()) < 1e-3f);
                QCOMPARE(p.intensity, f[4].toFloat());
            }
        }
    }

    // "Map": the frames shown are registered into a map drawn in place of the frame, with the
    // scanner's path and pose; "Save map" writes it in a map format and refuses other names;
    // Map off brings the frame back and empties the map.
    void mapModeDrawsAndSavesTheMap()
    {
        const std::vector<LidarData> frames = test::simulatorFrames(4);
        showFrame(frames[3]);
        const std::size_t oneFrame = window_->scene().frameCloud()->size();
        click("toolButton_saveMap"); // nothing to save: said in the status bar, no dialog
        QVERIFY(prompts_.shown.isEmpty());

        widget<QCheckBox>("checkBox_map")->setChecked(true);
        MapBuilder* map = window_->mapBuilder();
        QVERIFY(map);
        // One frame at a time: a frame shown while the last still waits would replace it.
        for (std::size_t k = 0; k < frames.size(); ++k) {
            showFrame(frames[k]);
            QTRY_COMPARE_WITH_TIMEOUT(map->status().frames, k + 1, 60000);
        }
        const std::size_t points = map->status().points;
        QVERIFY(points > 1000);
        // Drawn a few times a second: the map of every frame comes, and the path through them.
        QTRY_COMPARE(window_->scene().frameCloud()->size(), points);
        const auto shapes = window_->scene().viewer().getShapeActorMap();
        for (const char* id : {ViewerScene::kTrajectoryId, ViewerScene::kPoseMarkerId, ViewerScene::kHeadingId})
            QTRY_VERIFY2(shapes->count(id) == 1, id);

        const QString ply = dir_.filePath("map.ply");
        prompts_.fileNames.enqueue(ply);
        click("toolButton_saveMap");
        QCOMPARE(prompts_.shown.back().kind, QString("save"));
        QVERIFY(prompts_.shown.back().text.startsWith("LAS (*.las);;"));
        QVERIFY(!prompts_.shown.back().text.contains("CSV"));
        pcl::PointCloud<pcl::PointXYZI> read;
        QCOMPARE(pcl::io::loadPLYFile(ply.toStdString(), read), 0);
        QCOMPARE(read.size(), points);
        QCOMPARE(widget<QToolButton>("toolButton_copyPath")->toolTip(), ply);

        const QString csv = dir_.filePath("map.csv");
        prompts_.fileNames.enqueue(csv);
        click("toolButton_saveMap");
        QCOMPARE(prompts_.shown.back().kind, QString("warning"));
        QVERIFY(!QFile::exists(csv));

        widget<QCheckBox>("checkBox_map")->setChecked(false);
        QCOMPARE(window_->scene().frameCloud()->size(), oneFrame);
        QCOMPARE(shapes->count(ViewerScene::kTrajectoryId), std::size_t(0));
        QCOMPARE(map->status().frames, std::size_t(0));
        QVERIFY(!map->isRunning());
    }
};

int main(int argc, char** argv) { return test::runWindowSuite<ViewToolsTest>(argc, argv); }

#include "ViewToolsTest.moc"
