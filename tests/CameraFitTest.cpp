// Placing the overview camera to see a whole box: the distance for a known case, the
// direction kept, and the inputs that give no placement.

#include "view/CameraFit.h"

#include <QtTest>

#include <cmath>
#include <limits>

using namespace hvk32;

class CameraFitTest : public QObject {
    Q_OBJECT
private slots:
    void standsJustFarEnoughForTheNearestCorners()
    {
        // A cube of side 2 seen along x with a 90-degree opening: the near corners sit one
        // unit in front of the centre and one unit off the axis, so the camera stands 2 away.
        const Box3 cube{{-1, -1, -1}, {1, 1, 1}};
        const auto p = fitCamera(cube, {5, 0, 0}, {0, 0, 1}, 90.0, 1.0, 1.0);
        QVERIFY(p);
        QCOMPARE(p->focalPoint, (Vec3{0, 0, 0}));
        QVERIFY(std::abs(p->position[0] - 2.0) < 1e-9 && std::abs(p->position[1]) < 1e-9
                && std::abs(p->position[2]) < 1e-9);

        // A wide view fits a box that is wide; a narrow view must stand farther back.
        const Box3 hall{{-20, -8, -2}, {20, 8, 4}};
        const auto wide = fitCamera(hall, {-1, -1, 1}, {0, 0, 1}, 30.0, 16.0 / 9.0);
        const auto narrow = fitCamera(hall, {-1, -1, 1}, {0, 0, 1}, 30.0, 3.0 / 4.0);
        QVERIFY(wide && narrow);
        QCOMPARE(wide->focalPoint, (Vec3{0, 0, 1}));
        const Vec3 d{wide->position[0] - 0, wide->position[1] - 0, wide->position[2] - 1};
        QVERIFY(std::abs(d[0] - d[1]) < 1e-9 && std::abs(d[0] + d[2]) < 1e-9 && d[2] > 0); // the direction given
        QVERIFY(narrow->position[2] > wide->position[2]);
    }

    void noPlacementForBadInput()
    {
        const Box3 cube{{-1, -1, -1}, {1, 1, 1}};
        QVERIFY(!fitCamera(cube, {0, 0, 0}, {0, 0, 1}, 30.0, 1.0));
        QVERIFY(!fitCamera(cube, {0, 0, 3}, {0, 0, 1}, 30.0, 1.0)); // looking along the up direction
        Box3 broken = cube;
        broken.max[1] = std::numeric_limits<double>::quiet_NaN();
        QVERIFY(!fitCamera(broken, {1, 0, 0}, {0, 0, 1}, 30.0, 1.0));
        // A single point still gets a camera in front of it.
        const auto point = fitCamera(Box3{{3, 3, 3}, {3, 3, 3}}, {1, 0, 0}, {0, 0, 1}, 30.0, 1.0);
        QVERIFY(point && point->position[0] > 3.0);
    }
};

QTEST_GUILESS_MAIN(CameraFitTest)
#include "CameraFitTest.moc"
