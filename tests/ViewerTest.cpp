// The 3-D view in the window: tools of the Lidar tab, frames drawn as clouds, skipping.

#include "acquisition/FrameAssembler.h"
#include "receivers/GetLidardataK32.h"
#include "app/RendererKind.h"
#include "app/RulerOverlay.h"
#include "app/ViewerScene.h"
#include "app/manwindow.h"
#include "records/AngleValues.h"
#include "sim/ScannerStream.h"
#include "sim/SyntheticScene.h"
#include "support/SimulatorFrames.h"
#include "support/WindowFixture.h"
#include "tools/Form_QLaserSelectionK32.h"
#include "io/CsvExport.h"
#include "view/MeasurementGrid.h"
#include "view/Readout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QLabel>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QToolButton>
#include <QVTKOpenGLNativeWidget.h>
#include <QLabel>
#include <QStandardItemModel>
#include <QtTest>
#include <vtkCamera.h>
#include <vtkRenderWindowInteractor.h>
#include <vtkRenderer.h>
#include <vtkRendererCollection.h>

#include <array>
#include <memory>
#include <set>

using namespace hvk32;

namespace {

using test::simulatorFrame;

struct PixelCounts {
    int lit = 0;      // not background
    int grey = 0;     // bright and without hue: white points, smoothed at their edges
    int coloured = 0; // a clear hue
};

PixelCounts countPixels(const QImage& image)
{
    PixelCounts n;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() + c.green() + c.blue() < 60)
                continue;
            ++n.lit;
            const int spread = std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()});
            if (spread < 30 && c.red() > 120)
                ++n.grey;
            else if (spread > 60)
                ++n.coloured;
        }
    }
    return n;
}

} // namespace

class ViewerTest : public QObject, test::WindowFixture {
    Q_OBJECT

    QImage grabView() { return widget<QVTKOpenGLNativeWidget>("screen")->grabFramebuffer(); }

    // The view as it stands, with everything added since the last frame drawn too.
    QImage renderAndGrab()
    {
        window_->scene().render();
        return grabView();
    }

    // Clicks the view where the world point (x, y, z) is drawn.
    void clickAt(double x, double y, double z)
    {
        vtkRenderer* renderer = window_->scene().viewer().getRendererCollection()->GetFirstRenderer();
        renderer->SetWorldPoint(x, y, z, 1.0);
        renderer->WorldToDisplay();
        const double* d = renderer->GetDisplayPoint();
        vtkRenderWindowInteractor* it = widget<QVTKOpenGLNativeWidget>("screen")->interactor();
        it->SetEventInformation(int(std::lround(d[0])), int(std::lround(d[1])));
        it->InvokeEvent(vtkCommand::LeftButtonPressEvent, nullptr);
        it->InvokeEvent(vtkCommand::LeftButtonReleaseEvent, nullptr);
    }

    // Rubber-band steps over the middle of the view, as a user drags: press at the top left
    // of a 300-pixel square, move to its bottom right, release.
    void pressBandCorner() { bandEvent(-150, vtkCommand::LeftButtonPressEvent); }
    void moveBandCorner() { bandEvent(150, vtkCommand::MouseMoveEvent); }
    void releaseBand() { bandEvent(150, vtkCommand::LeftButtonReleaseEvent); }
    void dragBand()
    {
        pressBandCorner();
        moveBandCorner();
        releaseBand();
    }
    void bandEvent(int offset, unsigned long event)
    {
        vtkRenderWindowInteractor* it = widget<QVTKOpenGLNativeWidget>("screen")->interactor();
        it->SetEventInformation(it->GetSize()[0] / 2 + offset, it->GetSize()[1] / 2 + offset);
        it->InvokeEvent(event, nullptr);
    }

    void key(const char* sym, char code)
    {
        vtkRenderWindowInteractor* it = widget<QVTKOpenGLNativeWidget>("screen")->interactor();
        it->SetKeyEventInformation(0, 0, code, 1, sym);
        it->InvokeEvent(vtkCommand::KeyPressEvent, nullptr);
        it->InvokeEvent(vtkCommand::CharEvent, nullptr);
        it->InvokeEvent(vtkCommand::KeyReleaseEvent, nullptr);
    }

private slots:
    void initTestCase()
    {
        for (int c = 0; c < 32; ++c)
            verticalAngleTable[c] = defaultVerticalAngles1[c];
    }

    void init() { QVERIFY(openWindow({1200, 800})); }

    void cleanup() { window_.reset(); }

    void framesShowAsColouredPointsAndSolidIsWhite()
    {
        const LidarData frame = simulatorFrame();
        showFrame(frame);
        QCOMPARE(window_->scene().frameCloud()->size(), std::size_t(57600));
        const PixelCounts coloured = countPixels(grabView());
        QVERIFY2(coloured.lit > 5000, qPrintable(QString("only %1 lit pixels").arg(coloured.lit)));
        QVERIFY(coloured.coloured > coloured.lit / 2);

        widget<QComboBox>("comboBox_2")->setCurrentIndex(1); // "Solid"
        showFrame(frame);
        const PixelCounts solid = countPixels(grabView());
        QVERIFY(solid.grey > solid.lit / 2);
        QVERIFY(solid.coloured < solid.lit / 5); // the blue readout text
        QVERIFY(coloured.grey < coloured.lit / 5);
    }

    // Multisampling is left out only where the CPU draws: the names Mesa and the GPU
    // drivers report, and the view this test display actually draws with.
    void multisamplingOnlyOnGraphicsProcessors()
    {
        QVERIFY(isSoftwareRendererName(QStringLiteral("llvmpipe (LLVM 15.0.6, 256 bits)")));
        QVERIFY(isSoftwareRendererName(QStringLiteral("softpipe")));
        QVERIFY(isSoftwareRendererName(QStringLiteral("Software Rasterizer")));
        QVERIFY(!isSoftwareRendererName(QStringLiteral("Mesa Intel(R) UHD Graphics 620 (KBL GT2)")));
        QVERIFY(!isSoftwareRendererName(QStringLiteral("NVIDIA GeForce RTX 3060/PCIe/SSE2")));
        QVERIFY(!isSoftwareRendererName(QStringLiteral("AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6)")));
        QCOMPARE(viewMultiSamples(QStringLiteral("llvmpipe"), 8), 0);
        QCOMPARE(viewMultiSamples(QStringLiteral("Mesa Intel(R) Xe Graphics"), 8), 8);

        const QString renderer = openGlRendererName();
        QVERIFY2(!renderer.isEmpty(), "no OpenGL context on the test display");
        const int samples = widget<QVTKOpenGLNativeWidget>("screen")->renderWindow()->GetMultiSamples();
        QCOMPARE(samples == 0, isSoftwareRendererName(renderer));
    }

    void gridCoordinateAndClear()
    {
        const auto segments = measurementGridSegments();
        std::set<std::string> ids;
        for (const auto& s : segments)
            ids.insert(s.id);
        QCOMPARE(int(ids.size()), kGridLineCount + kGridCircleSegmentCount);
        QVERIFY(ids.count("Circle1050"));

        click("toolButton_MeaGrid");
        QCOMPARE(window_->scene().shapeCount(), 802);
        click("toolButton_MeaGrid");
        QCOMPARE(window_->scene().shapeCount(), 0);

        click("toolButton_Coor");
        QVERIFY(window_->scene().viewer().contains("coordinate"));
        click("toolButton_Coor");
        QVERIFY(!window_->scene().viewer().contains("coordinate"));

        showFrame(simulatorFrame());
        QVERIFY(window_->scene().viewer().contains(ViewerScene::kFrameCloudId));
        QVERIFY(window_->scene().viewer().contains(ViewerScene::kReadoutId));
        click("toolButton_clear");
        QVERIFY(!window_->scene().viewer().contains(ViewerScene::kFrameCloudId));
        QCOMPARE(window_->scene().shapeCount(), 0);
    }

    void clearReturnsToTheOverviewThatFitsTheCloud()
    {
        const LidarData frame = simulatorFrame();
        showFrame(frame);
        vtkRenderer* renderer = window_->scene().viewer().getRendererCollection()->GetFirstRenderer();
        vtkCamera* camera = renderer->GetActiveCamera();
        camera->Dolly(8.0); // a close-up
        widget<QComboBox>("comboBox_View")->setCurrentIndex(1); // and from the top

        click("toolButton_clear");
        showFrame(frame);
        // Looking from behind and above, as at the start.
        double direction[3];
        camera->GetDirectionOfProjection(direction);
        const double n = std::sqrt(22.0 * 22.0 * 2 + 19.0 * 19.0);
        QVERIFY(qAbs(direction[0] - 22.0 / n) < 1e-6 && qAbs(direction[1] - 22.0 / n) < 1e-6
                && qAbs(direction[2] + 19.0 / n) < 1e-6);
        // Every corner of the cloud's bounds is in view.
        double bounds[6] = {1e9, -1e9, 1e9, -1e9, 1e9, -1e9};
        for (const auto& p : *window_->scene().frameCloud()) {
            const float xyz[3] = {p.x, p.y, p.z};
            for (int i = 0; i < 3; ++i) {
                bounds[2 * i] = std::min(bounds[2 * i], double(xyz[i]));
                bounds[2 * i + 1] = std::max(bounds[2 * i + 1], double(xyz[i]));
            }
        }
        const int* size = renderer->GetSize();
        double xMin = 1e9, xMax = -1e9, yMin = 1e9, yMax = -1e9;
        for (int corner = 0; corner < 8; ++corner) {
            renderer->SetWorldPoint(bounds[corner & 1], bounds[2 + ((corner >> 1) & 1)], bounds[4 + ((corner >> 2) & 1)], 1.0);
            renderer->WorldToDisplay();
            const double* d = renderer->GetDisplayPoint();
            xMin = std::min(xMin, d[0]), xMax = std::max(xMax, d[0]);
            yMin = std::min(yMin, d[1]), yMax = std::max(yMax, d[1]);
        }
        QVERIFY2(xMin >= 0 && yMin >= 0 && xMax <= size[0] && yMax <= size[1],
                 qPrintable(QString("%1..%2 x %3..%4 in %5 x %6").arg(xMin).arg(xMax).arg(yMin).arg(yMax).arg(size[0]).arg(size[1])));
        // Fitted, not merely inside: the cloud reaches close to one edge of the view.
        const double gap = std::min({xMin, yMin, size[0] - xMax, size[1] - yMax});
        QVERIFY2(gap < 0.1 * std::min(size[0], size[1]), qPrintable(QString("%1 px from the edges").arg(gap)));
    }

    void cloudsUpdatedInPlaceLookLikeCloudsAddedAnew()
    {
        // Each colour mode, with the point size changed in between: a cloud updated in place
        // from a larger and from a smaller frame is drawn exactly as the same frame added
        // to an empty view.
        const LidarData single = simulatorFrame();
        sim::ScannerSettings dualEcho;
        dualEcho.echo = sim::EchoMode::Dual;
        const LidarData dual = simulatorFrame(dualEcho);
        window_->scene().viewer().setShowFPS(false); // the frame rate text differs from render to render
        auto* colours = widget<QComboBox>("comboBox_2");
        for (int mode = 0; mode < 5; ++mode) {
            colours->setCurrentIndex(mode);
            key("plus", '+');
            for (const LidarData* frame : {&single, &dual}) {
                showFrame(frame == &single ? dual : single);
                showFrame(*frame);
                QVERIFY(window_->scene().viewer().contains(ViewerScene::kFrameCloudId));
                const QImage inPlace = renderAndGrab();
                click("toolButton_clear"); // the next frame adds the clouds anew
                showFrame(*frame);
                const QImage added = renderAndGrab();
                QVERIFY2(inPlace == added, qPrintable(QString("colour mode %1, %2 points")
                                                          .arg(mode)
                                                          .arg(window_->scene().frameCloud()->size())));
            }
        }
        QCOMPARE(window_->currentPointSize(), 6);
    }

    void measuresTheHallBetweenTwoWalls()
    {
        window_->receiveDevConfig("HVK321", 0, 1); // distances in the device's unit, as when connected
        showFrame(simulatorFrame());
        widget<QComboBox>("comboBox_View")->setCurrentIndex(1); // "Top"
        auto* label = widget<QLabel>("label_measurement");
        QVERIFY(!label->isVisible());
        click("toolButton_Measure");
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), QString("Measure: click a point of the cloud"));

        // Across the hall, from the wall at one side to the wall at the other.
        clickAt(2.0, sim::scene::kRoomMaxY, 0.0);
        QCOMPARE(window_->ruler().pointCount(), 1);
        QVERIFY(window_->scene().rulerOverlay().isShown());
        clickAt(2.0, sim::scene::kRoomMinY, 0.0);
        const auto m = window_->ruler().measurement();
        QVERIFY(m);
        const double width = sim::scene::kRoomMaxY - sim::scene::kRoomMinY;
        QVERIFY2(qAbs(m->horizontalDistance() - width) < 0.03, qPrintable(label->text()));
        QVERIFY(qAbs(m->from.y - sim::scene::kRoomMaxY) < 0.03 && qAbs(m->to.y - sim::scene::kRoomMinY) < 0.03);
        QVERIFY(label->text().contains(QString("Horizontal %1 m").arg(m->horizontalDistance(), 0, 'f', 3)));
        QCOMPARE(window_->scene().rulerOverlay().labelText(), rulerLabelText(*m));
        QVERIFY(label->textInteractionFlags() & Qt::TextSelectableByMouse);

        // Empty space outside the hall is not measured; the measurement stays.
        clickAt(sim::scene::kRoomMaxX + 30, sim::scene::kRoomMaxY + 30, 0.0);
        QVERIFY(window_->ruler().measurement());

        // New frames leave the measurement in place; a third point starts a new one.
        showFrame(simulatorFrame());
        QVERIFY(window_->scene().rulerOverlay().isShown());
        clickAt(sim::scene::kRoomMinX, 0.0, 0.0);
        QCOMPARE(window_->ruler().pointCount(), 1);

        click("toolButton_clear");
        QCOMPARE(window_->ruler().pointCount(), 0);
        QVERIFY(!window_->scene().rulerOverlay().isShown());
        QVERIFY(label->isVisible());

        showFrame(simulatorFrame());
        clickAt(2.0, sim::scene::kRoomMaxY, 0.0);
        clickAt(2.0, sim::scene::kRoomMinY, 0.0);
        QVERIFY(window_->scene().rulerOverlay().isShown());
        click("toolButton_Measure"); // off: the measurement goes
        QVERIFY(!window_->scene().rulerOverlay().isShown());
        QVERIFY(!label->isVisible());
        clickAt(2.0, sim::scene::kRoomMaxY, 0.0);
        QCOMPARE(window_->ruler().pointCount(), 0);
    }

    void pointSizeKeys()
    {
        QCOMPARE(window_->currentPointSize(), 1);
        key("minus", '-');
        QCOMPARE(window_->currentPointSize(), 1);
        for (int i = 0; i < 12; ++i)
            key("plus", '+');
        QCOMPARE(window_->currentPointSize(), 10);
        key("minus", '-');
        QCOMPARE(window_->currentPointSize(), 9);
    }

    void areaSelectionMakesABox()
    {
        QCOMPARE(window_->pointTable().columnCount(), 8); // headers before any data
        const LidarData frame = simulatorFrame();
        showFrame(frame);
        click("toolButton_selectCloud");

        // Drag a rectangle over the middle of the view, as a user would.
        dragBand();

        QVERIFY(window_->isSelectionActive());
        QVERIFY(widget<QPushButton>("pushButton_exportSelection")->isEnabled());
        const SelectionBox box = window_->currentSelectionBox();
        QVERIFY(box.xMax > box.xMin && box.yMax > box.yMin);
        const auto selected = window_->scene().selectionCloud()->size();
        QVERIFY(selected > 0);
        // Its size is shown, and the table has a row for every selected point to scroll to.
        QCOMPARE(widget<QLabel>("label_selection")->text(), QString("Selected: %1 points").arg(selected));
        QCOMPARE(window_->pointTable().rowCount(), int(selected));

        // The next frame draws the points inside the box in the selection cloud, in blue.
        showFrame(frame);
        QVERIFY(window_->scene().selectionCloud()->size() > 0);
        const QImage image = grabView();
        int blue = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                blue += image.pixelColor(x, y) == QColor(0, 0, 255);
        QVERIFY2(blue > 100, qPrintable(QString("%1 blue pixels").arg(blue)));
        QCOMPARE(window_->scene().frameCloud()->size() + window_->scene().selectionCloud()->size(), std::size_t(57600));

        QCOMPARE(window_->pointTable().rowCount(), int(selected));

        // The selection exports to a file in the export's format: its points lie in the box.
        QTemporaryDir dir;
        prompts_.fileNames.enqueue(dir.filePath("selection.csv"));
        QTest::mouseClick(widget<QPushButton>("pushButton_exportSelection"), Qt::LeftButton);
        QFile csv(dir.filePath("selection.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readLine(), csvHeaderLine());
        int lines = 0;
        while (!csv.atEnd()) {
            const QList<QByteArray> f = csv.readLine().trimmed().split(',');
            QCOMPARE(f.size(), 10);
            // Six significant digits: a point on the box's edge may read just outside it.
            const float x = f[1].toFloat(), y = f[2].toFloat(), z = f[3].toFloat();
            QVERIFY(box.xMin - 1e-3f <= x && x <= box.xMax + 1e-3f && box.yMin - 1e-3f <= y && y <= box.yMax + 1e-3f
                    && box.zMin - 1e-3f <= z && z <= box.zMax + 1e-3f);
            ++lines;
        }
        QVERIFY(lines > 0);

        click("toolButton_clear");
        QVERIFY(!widget<QPushButton>("pushButton_exportSelection")->isEnabled());
        QVERIFY(!window_->isSelectionActive());
        QVERIFY(widget<QLabel>("label_selection")->text().isEmpty());
    }

    // The points selected are those the view draws inside the dragged rectangle, whatever the
    // view, its zoom and the window's size.
    void selectionIsTheRectangle_data()
    {
        QTest::addColumn<int>("view"); // 0 the view at the start, 1 "Top", 2 zoomed in
        QTest::addColumn<int>("width");
        for (int width : {1280, 1366}) {
            QTest::newRow(qPrintable(QString("default %1").arg(width))) << 0 << width;
            QTest::newRow(qPrintable(QString("top %1").arg(width))) << 1 << width;
            QTest::newRow(qPrintable(QString("zoomed %1").arg(width))) << 2 << width;
        }
    }
    void selectionIsTheRectangle()
    {
        QFETCH(int, view);
        QFETCH(int, width);
        window_->resize(width, 768);
        const LidarData frame = simulatorFrame();
        for (int i = 0; i < 3; ++i) // past the frames that still move the camera
            showFrame(frame);
        vtkRenderWindowInteractor* it = widget<QVTKOpenGLNativeWidget>("screen")->interactor();
        vtkRenderer* renderer = window_->scene().viewer().getRendererCollection()->GetFirstRenderer();
        if (view == 1) {
            widget<QComboBox>("comboBox_View")->setCurrentIndex(1); // "Top"
        } else if (view == 2) {
            const double before = renderer->GetActiveCamera()->GetDistance();
            for (int i = 0; i < 4; ++i) {
                it->SetEventInformation(it->GetSize()[0] / 3, it->GetSize()[1] / 3);
                it->InvokeEvent(vtkCommand::MouseWheelForwardEvent, nullptr);
            }
            QVERIFY(renderer->GetActiveCamera()->GetDistance() < before * 0.8);
        }
        showFrame(frame);

        // A drag from the upper left to the lower right of part of the view.
        const int w = it->GetSize()[0], h = it->GetSize()[1];
        const int x0 = w * 25 / 100, x1 = w * 55 / 100, y0 = h * 30 / 100, y1 = h * 75 / 100;
        click("toolButton_selectCloud");
        it->SetEventInformation(x0, y1);
        it->InvokeEvent(vtkCommand::LeftButtonPressEvent, nullptr);
        it->SetEventInformation(x1, y0);
        it->InvokeEvent(vtkCommand::MouseMoveEvent, nullptr);
        it->InvokeEvent(vtkCommand::LeftButtonReleaseEvent, nullptr);
        QVERIFY(window_->isSelectionActive());

        // Every shown point, projected with the view's camera: selected exactly when drawn
        // inside the rectangle. Points within a thousandth of a pixel of its edge may go
        // either way.
        int inside = 0, outside = 0, wrong = 0;
        auto check = [&](const ViewerScene::Cloud& cloud, bool selected) {
            for (const auto& p : cloud) {
                renderer->SetWorldPoint(p.x, p.y, p.z, 1.0);
                renderer->WorldToDisplay();
                const double* d = renderer->GetDisplayPoint();
                const double e = 1e-3;
                const bool in = d[0] >= x0 + e && d[0] <= x1 - e && d[1] >= y0 + e && d[1] <= y1 - e && d[2] >= 0 && d[2] <= 1;
                const bool out = d[0] < x0 - e || d[0] > x1 + e || d[1] < y0 - e || d[1] > y1 + e || d[2] < 0 || d[2] > 1;
                inside += in;
                outside += out;
                wrong += (in && !selected) || (out && selected);
            }
        };
        check(*window_->scene().frameCloud(), false);
        check(*window_->scene().selectionCloud(), true);
        QCOMPARE(wrong, 0);
        QVERIFY2(inside > 100 && outside > 100, qPrintable(QString("%1 inside, %2 outside").arg(inside).arg(outside)));
        const auto selected = window_->scene().selectionCloud()->size();
        QCOMPARE(widget<QLabel>("label_selection")->text(), QString("Selected: %1 points").arg(selected));
        QCOMPARE(window_->pointTable().rowCount(), int(selected));
    }

    // "Selected: N points", the table and the exported file describe the same frame and the
    // same points, also when a frame with other points in the box arrives between the
    // selection and its export.
    void selectionShownIsSelectionExported()
    {
        const LidarData first = simulatorFrame();
        showFrame(first);
        click("toolButton_selectCloud");
        dragBand();
        QVERIFY(window_->isSelectionActive());
        auto selectedCount = [this]() {
            return widget<QLabel>("label_selection")->text().section(QLatin1Char(' '), 1, 1).toInt();
        };
        const int firstCount = selectedCount();
        QVERIFY(firstCount > 0);

        // The next frame has lost every other return of the even channels.
        LidarData later = first;
        for (int c = 0; c < 32; c += 2)
            for (std::size_t j = 0; j < later.distances[c].size(); j += 2)
                later.distances[c][j] = 0;
        showFrame(later);
        const int count = selectedCount();
        QVERIFY2(count > 0 && count < firstCount, qPrintable(QString("%1 then %2").arg(firstCount).arg(count)));
        QCOMPARE(int(window_->scene().selectionCloud()->size()), count);
        QStandardItemModel& table = window_->pointTable();
        QCOMPARE(table.rowCount(), count);

        QTemporaryDir dir;
        prompts_.fileNames.enqueue(dir.filePath("selection.csv"));
        QTest::mouseClick(widget<QPushButton>("pushButton_exportSelection"), Qt::LeftButton);
        QFile csv(dir.filePath("selection.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QList<QByteArray> lines = csv.readAll().split('\n').mid(1);
        lines.removeAll(QByteArray());
        QCOMPARE(lines.size(), count);
        // The rows in view are the file's points, in its order: channel, intensity, time.
        for (int row = 0; row <= 30; ++row) {
            const QList<QByteArray> f = lines[row].split(',');
            QCOMPARE(table.item(row, 5)->text().toLatin1(), f[5]);
            QCOMPARE(table.item(row, 4)->text().toLatin1(), f[4]);
            QCOMPARE(table.item(row, 7)->text().toLatin1(), f[9]);
        }
    }

    void liveFramesWaitForTheRubberBand()
    {
        // Frames keep arriving while a rectangle is dragged: none is drawn over the band
        // until the release, the area is picked from the frame the user saw, and the
        // newest frame is drawn after it.
        const LidarData frame = simulatorFrame();
        showFrame(frame);
        click("toolButton_selectCloud");
        pressBandCorner();
        QVERIFY(window_->scene().isAreaDragging());
        const QImage before = grabView();

        const auto drawn = window_->framesDrawn();
        const LidarData empty = LidarData::empty();
        for (int i = 0; i < 3; ++i) {
            window_->CalculateCoordinatesK32(i < 2 ? frame : empty);
            QCoreApplication::processEvents();
        }
        moveBandCorner();
        QCoreApplication::processEvents();
        QCOMPARE(window_->framesDrawn(), drawn);
        // The band's edges are drawn over the view.
        const QImage band = grabView();
        QVERIFY(band != before);

        releaseBand();
        QVERIFY(!window_->scene().isAreaDragging());
        QVERIFY(window_->isSelectionActive());
        QVERIFY(window_->scene().selectionCloud()->size() > 0);
        // Only the newest of the held frames is drawn: the empty one.
        QTRY_COMPARE(window_->framesDrawn(), drawn + 1);
        QCOMPARE(window_->scene().frameCloud()->size(), std::size_t(0));
    }

    void disabledChannelsAreNotDrawn()
    {
        auto& form = window_->laserSelection();
        QVERIFY(form.channelEnabled(1));
        const LidarData frame = simulatorFrame();
        showFrame(frame);
        const auto all = window_->scene().frameCloud()->size();
        // Row 16 holds data-packet channel 1.
        auto* row16 = form.findChild<QCheckBox*>("checkBox_row16");
        QVERIFY(row16);
        row16->setChecked(false);
        QTest::mouseClick(form.findChild<QPushButton*>("pushButton_OK"), Qt::LeftButton);
        QVERIFY(!form.channelEnabled(1));
        showFrame(frame);
        QCOMPARE(window_->scene().frameCloud()->size(), all - 1800);
    }

    void windowFallsBehindWithoutQueueing()
    {
        // Ten frames arrive while the window is busy: at most two wait, the rest are skipped,
        // and the one drawn is the newest that arrived.
        FrameGate& gate = window_->frameGate();
        LidarData frame = simulatorFrame();
        int emitted = 0;
        for (int i = 0; i < 10; ++i) {
            if (gate.tryEnter()) {
                ++emitted;
                frame.blockAzimuths.assign(1, float(i));
                QMetaObject::invokeMethod(window_.get(), "CalculateCoordinatesK32", Qt::QueuedConnection,
                                          Q_ARG(LidarData, frame));
            }
        }
        QCOMPARE(emitted, FrameGate::kMaxWaiting);
        QCOMPARE(gate.skipped(), std::uint64_t(8));
        QTRY_COMPARE(gate.waiting(), 0);
        QTRY_COMPARE(window_->framesDrawn(), std::uint64_t(1));
        QCOMPARE(gate.skipped(), std::uint64_t(9)); // the older of the two arrived frames
    }

    void readoutQuadrants()
    {
        QCOMPARE(readoutAzimuth(5, 0), 360.0);
        QCOMPARE(readoutAzimuth(-5, 0), 0.0);
        QCOMPARE(readoutText(12.5 * std::cos(M_PI / 4), -12.5 * std::sin(M_PI / 4), 0),
                 QString("Distance: 12.500 m  Azimuth: 45.000°"));
        QVERIFY(qAbs(readoutAzimuth(-1, 1) - 225.0) < 1e-6);
        QVERIFY(qAbs(readoutAzimuth(-1, -1) - 135.0) < 1e-6);
        QVERIFY(qAbs(readoutAzimuth(1, 1) - 315.0) < 1e-6);
    }
};

int main(int argc, char** argv) { return test::runWindowSuite<ViewerTest>(argc, argv); }

#include "ViewerTest.moc"
