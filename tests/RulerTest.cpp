// The ruler: distances between two picked points, the click sequence, the texts shown, and
// snapping a click to the cloud point the user sees.

#include "view/Ruler.h"

#include <QtTest>

#include <vector>

using namespace hvk32;

namespace {

struct P {
    float x, y, z;
};

// Looking down the z axis from above: x to the right, y up, 10 pixels per metre in a
// 200 x 200 pixel view centred on the origin, depth growing downwards (z = 10 is nearest).
ViewProjection topView()
{
    ViewProjection v;
    const double m[16] = {0.1, 0, 0, 0, 0, 0.1, 0, 0, 0, 0, -0.1, 0, 0, 0, 0, 1};
    std::copy(std::begin(m), std::end(m), v.matrix);
    v.width = 200;
    v.height = 200;
    return v;
}

} // namespace

class RulerTest : public QObject {
    Q_OBJECT

private slots:
    void distancesBetweenTwoPoints()
    {
        const Measurement m{{1, 2, 3}, {4, 6, 1}};
        QCOMPARE(m.horizontalDistance(), 5.0);
        QCOMPARE(m.heightDifference(), -2.0);
        QVERIFY(qAbs(m.distance() - std::sqrt(29.0)) < 1e-12);

        const Measurement up{{0, 0, -1.8}, {0, 0, 0.2}};
        QCOMPARE(up.horizontalDistance(), 0.0);
        QVERIFY(qAbs(up.heightDifference() - 2.0) < 1e-12);
        QCOMPARE(rulerLabelText(up).split('\n').value(2), QString("Height: +2.000 m"));
    }

    void clicksStartCompleteAndRestart()
    {
        Ruler ruler;
        QVERIFY(!ruler.measurement());
        QCOMPARE(rulerStatusText(ruler), QString("Measure: click a point of the cloud"));

        ruler.addPoint({1.23456, -2, 0.5});
        QCOMPARE(ruler.pointCount(), 1);
        QVERIFY(!ruler.measurement());
        QCOMPARE(rulerStatusText(ruler), QString("Measure: A (1.235, -2.000, 0.500)  click the second point"));

        ruler.addPoint({4.23456, 2, 0.5});
        QVERIFY(ruler.measurement());
        QCOMPARE(rulerStatusText(ruler), QString("Measure: Distance 5.000 m  Horizontal 5.000 m  Height 0.000 m  "
                                                 "A (1.235, -2.000, 0.500)  B (4.235, 2.000, 0.500)"));
        QCOMPARE(rulerLabelText(*ruler.measurement()), QString("Distance: 5.000 m\nHorizontal: 5.000 m\nHeight: 0.000 m"));

        // A third click starts the next measurement from that point.
        ruler.addPoint({9, 9, 9});
        QCOMPARE(ruler.pointCount(), 1);
        QCOMPARE(ruler.first().x, 9.0);
        QVERIFY(!ruler.measurement());

        ruler.clear();
        QCOMPARE(ruler.pointCount(), 0);
    }

    void heightDifferencesRoundWithoutNegativeZero()
    {
        QVERIFY(rulerLabelText({{0, 0, 0}, {0, 0, -0.0004}}).endsWith("Height: 0.000 m"));
        QVERIFY(rulerLabelText({{0, 0, 0}, {0, 0, -0.0006}}).endsWith("Height: -0.001 m"));
        QVERIFY(rulerLabelText({{0, 0, 0}, {3, 4, 0.0005}}).startsWith("Distance: 5.000 m"));
    }

    void snapsToTheNearestDrawnPoint()
    {
        const ViewProjection view = topView();
        double px, py, depth;
        QVERIFY(view.project(2, -3, 0, px, py, depth));
        QCOMPARE(px, 120.0);
        QCOMPARE(py, 70.0);

        // Click at pixel (100, 100), the origin.
        const std::vector<P> points = {{5, 0, 0}, {0.4f, 0.3f, 0}, {-0.2f, 0, 0}, {0, 0.6f, 0}};
        QCOMPARE(nearestOnScreen(points, view, 100, 100, 8).value(), std::size_t(2));
        // Nothing within the radius: no snap to empty space.
        QVERIFY(!nearestOnScreen(points, view, 150, 150, 8));
        QVERIFY(!nearestOnScreen(std::vector<P>{}, view, 100, 100, 8));
        // Points outside the depth range (behind the camera or beyond the far plane) are
        // not drawn, so they are not picked.
        QVERIFY(!nearestOnScreen(std::vector<P>{{0, 0, 20}, {0, 0, -20}}, view, 100, 100, 8));
    }

    void amongEquallyNearPointsTheOneInFrontWins()
    {
        // A wall seen from above: its points lie on top of each other on screen; the floor
        // beside it is a little farther from the click.
        const ViewProjection view = topView();
        const std::vector<P> points = {{0, 0.05f, -1.8f}, {0, 0.1f, 2.0f}, {0, 0.1f, 5.0f}, {0, 0.1f, -1.0f},
                                       {0.5f, 0.5f, 9.0f}};
        QCOMPARE(nearestOnScreen(points, view, 100, 101, 8).value(), std::size_t(2));

        // Outside the tie band, nearness on screen decides, whatever the depth.
        std::vector<SnapCandidate> c = {{0, 0.0, 0.5}, {1, kSnapTiePixels + 0.5, -0.9}};
        QCOMPARE(chooseSnapCandidate(c).value(), std::size_t(0));
        c[1].pixels = kSnapTiePixels - 0.1;
        QCOMPARE(chooseSnapCandidate(c).value(), std::size_t(1));
    }
};

QTEST_GUILESS_MAIN(RulerTest)
#include "RulerTest.moc"
