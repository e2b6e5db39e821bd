// The status bar's frame counters: what they count from, and the device rate across pauses;
// and when the window says that nothing arrives any more.

#include "view/DataSilence.h"
#include "view/FrameCounters.h"

#include <QtTest>

using namespace hvk32;

class FrameCountersTest : public QObject {
    Q_OBJECT

private slots:
    void countsFromTheRestartAndAddUp()
    {
        FrameCounters c;
        c.restart(100); // frames of an earlier connection are not this stream's
        QCOMPARE(c.sent(100), std::uint64_t(0));
        for (int i = 0; i < 3; ++i)
            c.frameDrawn();
        QCOMPARE(c.sent(110), std::uint64_t(10));
        QCOMPARE(c.skipped(110), std::uint64_t(7));
        QCOMPARE(c.sent(110), c.drawn() + c.skipped(110));
    }

    void rateFollowsAssemblyTimesNotSampleTimes()
    {
        // A 20 Hz stream sampled at uneven moments (a busy window): the rate is taken between
        // frame times, so it reads 20 Hz; a paused stream reads 0 and then its new rate.
        FrameCounters c(2000);
        c.restart(0);
        std::uint64_t total = 0;
        std::int64_t t = 1000;
        for (int step : {3, 11, 1, 17, 8, 14, 9}) {
            total += step;
            t += step * 50;
            c.sample(total, t);
        }
        QCOMPARE(c.deviceRate(t + 100), 20.0);
        QCOMPARE(c.deviceRate(t + 2100), 0.0);

        t += 10000; // resumed at 10 Hz after a long pause
        for (int i = 0; i < 6; ++i) {
            total += 5;
            t += 500;
            c.sample(total, t);
        }
        QCOMPARE(c.deviceRate(t), 10.0);
    }

    void silenceIsToldAfterTwoSecondsAndClearedByData()
    {
        // (time, datagrams received so far) -> seconds reported; the watch starts at t = 0
        // with 50 received.
        struct Tick {
            std::int64_t ms;
            std::uint64_t received;
            int quietSeconds;
        };
        const Tick ticks[] = {
            {500, 50, 0},   {1999, 50, 0}, // quiet, but not yet long enough
            {2000, 50, 2},  {4700, 50, 4}, // nothing since Connect: told, and counting
            {5000, 51, 0},                 // data again: cleared at once
            {6999, 51, 0},  {7000, 51, 2},
            {7500, 0, 0},                  // a receiver restarted from 0: that is an arrival
            {9600, 0, 2},
        };
        DataSilence silence;
        QCOMPARE(silence.sample(5000, 50), 0); // not watching before Connect
        silence.start(0, 50);
        for (const Tick& t : ticks)
            QVERIFY2(silence.sample(t.ms, t.received) == t.quietSeconds, qPrintable(QString::number(t.ms)));
        silence.stop();
        QCOMPARE(silence.sample(20000, 0), 0);
    }
};

QTEST_GUILESS_MAIN(FrameCountersTest)
#include "FrameCountersTest.moc"
