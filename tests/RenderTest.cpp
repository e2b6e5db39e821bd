// The pictures' plain cores: the perspective camera against VTK's own camera, the order of
// points in the depth buffer, lines that cross behind the camera, and which frame each
// picture of a video shows.

#include "render/FramePainter.h"
#include "render/FrameSchedule.h"
#include "render/Raster.h"
#include "render/RenderCamera.h"
#include "render/ViewCameras.h"

#include <vtkCamera.h>
#include <vtkMatrix4x4.h>
#include <vtkNew.h>

#include <QtTest>

#include <cmath>
#include <random>
#include <vector>

using namespace hvk32;
using namespace hvk32::render;

class RenderTest : public QObject {
    Q_OBJECT
private slots:
    // Where VTK's camera puts a point of the scene (its composite projection, then the
    // viewport's pixels as the window maps them) is where ours puts it.
    void perspectiveMatchesVtksCamera()
    {
        const int w = 1280, h = 720;
        const Vec3 position{-22.0, -17.0, 19.0}, focal{1.5, 2.0, -0.5};
        vtkNew<vtkCamera> vtk;
        vtk->SetPosition(position.data());
        vtk->SetFocalPoint(focal.data());
        vtk->SetViewUp(0, 0, 1);
        vtk->SetViewAngle(kViewAngleDeg);
        vtk->SetClippingRange(0.1, 1000.0);
        vtkMatrix4x4* m = vtk->GetCompositeProjectionTransformMatrix(double(w) / h, -1, 1);
        const RenderCamera ours = RenderCamera::perspective(w, h, position, focal, {0, 0, 1}, kViewAngleDeg);

        std::mt19937 random(7);
        std::uniform_real_distribution<float> coordinate(-30.0f, 30.0f);
        int compared = 0;
        for (int k = 0; k < 1000; ++k) {
            const float p[3] = {coordinate(random), coordinate(random), coordinate(random) / 5};
            double clip[4];
            for (int r = 0; r < 4; ++r)
                clip[r] = m->GetElement(r, 0) * p[0] + m->GetElement(r, 1) * p[1] + m->GetElement(r, 2) * p[2]
                    + m->GetElement(r, 3);
            float column = 0, row = 0, depth = 0;
            const bool seen = ours.project(p[0], p[1], p[2], column, row, depth);
            QCOMPARE(seen, clip[3] >= RenderCamera::kNear);
            if (!seen)
                continue;
            // Normalised device x and y run -1..1 across the viewport, y upwards.
            const double x = (clip[0] / clip[3] + 1) / 2 * w, y = (1 - clip[1] / clip[3]) / 2 * h;
            QVERIFY2(std::abs(column - x) < 1e-3 * std::max(1.0, std::abs(x)), qPrintable(QString::number(k)));
            QVERIFY2(std::abs(row - y) < 1e-3 * std::max(1.0, std::abs(y)), qPrintable(QString::number(k)));
            QVERIFY(std::abs(depth - clip[3]) < 1e-3 * clip[3]);
            ++compared;
        }
        QVERIFY(compared > 500);
    }

    // The nearer point wins a pixel whichever comes first; a tie keeps the first; squares of a
    // point size are cut at the picture's edges.
    void nearerPointsWinAndSquaresAreCut()
    {
        const RenderCamera top = RenderCamera::top(8, 6, 3.0); // 1 pixel a metre, centre (4, 3)
        Raster raster;
        raster.clear(8, 6, {0, 0, 0});
        auto at = [&raster](int i, int j) {
            const std::uint8_t* p = raster.picture().row(j) + i * 3;
            return Rgb8{p[0], p[1], p[2]};
        };
        auto drawPoint = [&](float x, float y, float z, Rgb8 colour, int size) {
            float column = 0, row = 0, depth = 0;
            QVERIFY(top.project(x, y, z, column, row, depth));
            raster.point(column, row, depth, colour, size);
        };
        drawPoint(0.5f, 0.5f, 0.0f, {10, 0, 0}, 1); // pixel (4, 2)
        drawPoint(0.5f, 0.5f, 1.0f, {20, 0, 0}, 1); // higher: in front
        drawPoint(0.5f, 0.5f, -1.0f, {30, 0, 0}, 1);
        drawPoint(0.5f, 0.5f, 1.0f, {40, 0, 0}, 1); // a tie: the first stays
        QCOMPARE(at(4, 2), (Rgb8{20, 0, 0}));
        drawPoint(-3.5f, 2.5f, 0.0f, {0, 9, 0}, 3); // pixel (0, 0): its square reaches (1, 1)
        QCOMPARE(at(0, 0), (Rgb8{0, 9, 0}));
        QCOMPARE(at(1, 1), (Rgb8{0, 9, 0}));
        QCOMPARE(at(2, 2), (Rgb8{0, 0, 0}));
        drawPoint(10.0f, 10.0f, 0.0f, {0, 0, 9}, 5); // wholly outside: nothing
        int lit = 0;
        for (int j = 0; j < 6; ++j)
            for (int i = 0; i < 8; ++i)
                lit += at(i, j) != Rgb8{0, 0, 0};
        QCOMPARE(lit, 5);
    }

    // A line from in front of a perspective camera to behind it is drawn up to where it
    // leaves the view, and one wholly behind is not drawn.
    void linesBehindTheCameraAreCut()
    {
        const RenderCamera camera = RenderCamera::perspective(64, 48, {0, 0, 0}, {1, 0, 0}, {0, 0, 1}, 60.0);
        Raster raster;
        raster.clear(64, 48, {0, 0, 0});
        const float front[3] = {10, 0, -1}, behind[3] = {-10, 0, -1}, farBehind[3] = {-20, 5, 0};
        raster.line(camera, behind, farBehind, {255, 0, 0}, 1);
        QVERIFY(std::all_of(raster.picture().rgb.begin(), raster.picture().rgb.end(), [](auto v) { return v == 0; }));
        raster.line(camera, front, behind, {255, 0, 0}, 1);
        float column = 0, row = 0, depth = 0;
        QVERIFY(camera.project(front[0], front[1], front[2], column, row, depth));
        QCOMPARE(raster.picture().row(int(row))[int(column) * 3], std::uint8_t(255));
    }

    // The following camera stands behind the scanner along the way it came, whatever way its
    // x axis points, and above it; an orbit's half turn puts the camera opposite.
    void camerasFollowAndTurn()
    {
        std::vector<Eigen::Isometry3d> poses;
        for (int k = 0; k <= 10; ++k) { // going along +y, the scanner's x axis turned to -x
            Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
            pose.linear() = Eigen::AngleAxisd(M_PI, Eigen::Vector3d::UnitZ()).toRotationMatrix();
            pose.translation() = Eigen::Vector3d(5.0, k * 1.0, 2.0);
            poses.push_back(pose);
        }
        const CameraPlacement follow = followingCamera(poses);
        QVERIFY(follow.position[1] < 10.0 - 20.0 && std::abs(follow.position[0] - 5.0) < 1e-9);
        QVERIFY(follow.position[2] > 2.0 + 10.0);
        QVERIFY(follow.focalPoint[1] > 10.0);
        // Before it has gone a few metres, its own x axis tells the way.
        const CameraPlacement standing = followingCamera({poses.front()});
        QVERIFY(standing.position[0] > 5.0 + 20.0);

        const CameraPlacement start{{-22.0, -22.0, 19.0}, {1.0, 2.0, 0.0}};
        const CameraPlacement half = turnedCamera(start, 0.5);
        QVERIFY(std::abs(half.position[0] - 24.0) < 1e-9 && std::abs(half.position[1] - 26.0) < 1e-9);
        QCOMPARE(half.position[2], 19.0);
        const CameraPlacement whole = turnedCamera(start, 1.0);
        QVERIFY(std::abs(whole.position[0] + 22.0) < 1e-9 && std::abs(whole.position[1] + 22.0) < 1e-9);
    }

    // The distance colouring runs from blue at the scanner to red at the range and beyond,
    // every step of distance a step of colour; its legend names both ends.
    void distanceColoursRunBlueToRed()
    {
        QCOMPARE(distanceColour(0.0f, 30.0f), (Rgb8{0, 0, 255}));
        QCOMPARE(distanceColour(-1.0f, 30.0f), (Rgb8{0, 0, 255}));
        QCOMPARE(distanceColour(15.0f, 30.0f), (Rgb8{0, 255, 0}));
        QCOMPARE(distanceColour(30.0f, 30.0f), (Rgb8{255, 0, 0}));
        QCOMPARE(distanceColour(1e9f, 30.0f), (Rgb8{255, 0, 0}));
        int changes = 0;
        for (int m = 1; m <= 300; ++m)
            changes += distanceColour(m * 0.1f, 30.0f) != distanceColour((m - 1) * 0.1f, 30.0f);
        QCOMPARE(changes, 300);
        const auto legend = legendOf(Colouring::Distance, 30.0f);
        QVERIFY(legend && legend->cells.size() == 256);
        QCOMPARE(legend->ticks.front().label, QStringLiteral("0"));
        QCOMPARE(legend->ticks.back().label, QStringLiteral("30"));
        QVERIFY(!legendOf(Colouring::Channel, 30.0f)); // as the window, which shows none
    }

    // Picture by picture, the frame shown: frames 0.1 s apart with a little jitter, at the
    // capture's own rate, twice as fast, half as fast and at another rate; the count known
    // beforehand is the count given.
    void picturesShowTheFrameDue_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<double>("speed");
        QTest::addColumn<std::vector<int>>("shown");
        QTest::newRow("own rate") << 10.0 << 1.0 << std::vector<int>{0, 1, 2, 3, 4, 5};
        QTest::newRow("twice as fast") << 10.0 << 2.0 << std::vector<int>{0, 2, 4};
        QTest::newRow("half as fast") << 10.0 << 0.5 << std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5};
        QTest::newRow("25 pictures a second")
            << 25.0 << 1.0 << std::vector<int>{0, 0, 1, 1, 1, 2, 2, 3, 3, 3, 4, 4, 5, 5};
    }
    void picturesShowTheFrameDue()
    {
        QFETCH(double, fps);
        QFETCH(double, speed);
        QFETCH(std::vector<int>, shown);
        const double jitter[6] = {0.0, 0.0003, -0.0004, 0.0002, 0.0, -0.0003};
        const double start = 1733800000.0;
        FrameSchedule schedule(frameRateOf(fps), speed, FrameRate{10, 1});
        std::vector<int> pictures;
        schedule.add(start);
        for (int frame = 0; frame < 6; ++frame) {
            const long n = frame < 5 ? schedule.add(start + (frame + 1) * 0.1 + jitter[frame + 1]) : schedule.finish();
            pictures.insert(pictures.end(), static_cast<std::size_t>(n), frame);
        }
        QCOMPARE(pictures, shown);
        QCOMPARE(FrameSchedule::picturesFor(start, start + 0.5 - 0.0003, frameRateOf(fps), speed, FrameRate{10, 1}),
                 long(shown.size()));
        // A capture's rate, measured over its frames, is kept to the hundredth.
        const FrameRate measured = captureFrameRate(start, start + 0.5 + 0.0002, 6);
        QCOMPARE(measured.num, 10);
        QCOMPARE(measured.den, 1);
        QCOMPARE(frameRateOf(29.97).num, 2997);
        QCOMPARE(frameRateOf(29.97).den, 100);
    }
};

QTEST_GUILESS_MAIN(RenderTest)
#include "RenderTest.moc"
