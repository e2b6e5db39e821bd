// The main window's rules without the window: which controls each sequence of steps leaves
// usable, when nothing new is coming, and the box around picked points.

#include "view/WindowRules.h"

#include <QtTest>

#include <map>

using namespace hvk32;

namespace {

using C = WindowControl;
using S = WindowStep;

// Every control as the form creates it (enabled), then each step applied in turn.
std::map<C, bool> after(const QList<S>& steps)
{
    std::map<C, bool> enabled;
    for (int c = 0; c <= static_cast<int>(C::Record); ++c)
        enabled[static_cast<C>(c)] = true;
    for (S step : steps)
        for (const ControlState& s : controlsAfter(step))
            enabled[s.control] = s.enabled;
    return enabled;
}

struct Point {
    float x, y, z;
};

} // namespace

Q_DECLARE_METATYPE(hvk32::WindowStep)
Q_DECLARE_METATYPE(QList<hvk32::WindowStep>)

class WindowRulesTest : public QObject {
    Q_OBJECT

private slots:
    void connectingLocksTheFields()
    {
        for (auto state : {after({S::Started}), after({S::Started, S::Connecting, S::Disconnected})}) {
            QVERIFY(state[C::Connect] && !state[C::Disconnect]);
            QVERIFY(state[C::DataPortField] && state[C::TelemetryPortField] && state[C::MulticastField]);
        }
        auto connected = after({S::Started, S::Connecting});
        QVERIFY(!connected[C::Connect] && connected[C::Disconnect]);
        QVERIFY(!connected[C::DataPortField] && !connected[C::TelemetryPortField] && !connected[C::MulticastField]);
    }

    // Rows: the steps taken, then which playback controls are usable.
    void playbackControls_data()
    {
        QTest::addColumn<QList<S>>("steps");
        QTest::addColumn<bool>("play");
        QTest::addColumn<bool>("singleSteps");
        QTest::addColumn<bool>("directions");
        QTest::addColumn<bool>("openAndRecord");
        QTest::newRow("idle") << QList<S>{S::Started} << false << false << false << true;
        QTest::newRow("opened") << QList<S>{S::Started, S::CaptureOpened} << true << false << false << true;
        QTest::newRow("playing") << QList<S>{S::Started, S::CaptureOpened, S::PlaybackRunning} << true << false
                                 << true << false;
        QTest::newRow("paused") << QList<S>{S::Started, S::CaptureOpened, S::PlaybackRunning, S::PlaybackPaused}
                                << true << true << true << true;
        QTest::newRow("resumed") << QList<S>{S::CaptureOpened, S::PlaybackRunning, S::PlaybackPaused, S::PlaybackRunning}
                                 << true << false << true << false;
        QTest::newRow("finished") << QList<S>{S::Started, S::CaptureOpened, S::PlaybackRunning, S::PlaybackFinished}
                                  << true << false << false << true;
        // Seeking back after the end, or frame 1 shown once opened: paused, every way open.
        QTest::newRow("sought after the end")
            << QList<S>{S::CaptureOpened, S::PlaybackRunning, S::PlaybackFinished, S::PlaybackPaused} << true << true
            << true << true;
        QTest::newRow("first frame shown") << QList<S>{S::Started, S::CaptureOpened, S::PlaybackPaused} << true << true
                                           << true << true;
        QTest::newRow("reopened while paused")
            << QList<S>{S::CaptureOpened, S::PlaybackRunning, S::PlaybackPaused, S::CaptureOpened} << true << false
            << false << true;
    }

    void playbackControls()
    {
        QFETCH(QList<S>, steps);
        std::map<C, bool> enabled = after(steps);
        QTEST(enabled[C::Play], "play");
        QFETCH(bool, singleSteps);
        QCOMPARE(enabled[C::StepForward], singleSteps);
        QCOMPARE(enabled[C::StepBackward], singleSteps);
        QFETCH(bool, directions);
        QCOMPARE(enabled[C::SeekForward], directions);
        QCOMPARE(enabled[C::SeekBackward], directions);
        QFETCH(bool, openAndRecord);
        QCOMPARE(enabled[C::OpenCapture], openAndRecord);
        QCOMPARE(enabled[C::Record], openAndRecord);
    }

    void nothingNewComingWhenFrozenOrPaused()
    {
        QVERIFY(nothingNewComing(true, false, false));  // live display frozen
        QVERIFY(nothingNewComing(false, true, true));   // capture paused or ended
        QVERIFY(!nothingNewComing(false, true, false)); // live, nothing played
        QVERIFY(!nothingNewComing(false, false, true)); // capture playing
    }

    void boundingBoxHoldsEveryPoint()
    {
        const std::vector<Point> points = {{1, -2, 3}, {-4, 5, 0.5f}, {2, 0, -6}};
        const SelectionBox box = boundingBox(points);
        QCOMPARE(box.xMin, -4.0f);
        QCOMPARE(box.xMax, 2.0f);
        QCOMPARE(box.yMin, -2.0f);
        QCOMPARE(box.yMax, 5.0f);
        QCOMPARE(box.zMin, -6.0f);
        QCOMPARE(box.zMax, 3.0f);
        for (const Point& p : points)
            QVERIFY(box.contains(p.x, p.y, p.z));
        const SelectionBox single = boundingBox(std::vector<Point>{{7, 8, 9}});
        QVERIFY(single.contains(7, 8, 9) && !single.contains(7, 8, 9.01f));
        const SelectionBox none = boundingBox(std::vector<Point>{});
        QVERIFY(none.contains(0, 0, 0) && !none.contains(0, 0, 1));
    }
};

QTEST_GUILESS_MAIN(WindowRulesTest)
#include "WindowRulesTest.moc"
