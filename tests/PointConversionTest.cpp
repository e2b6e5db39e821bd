// The one conversion: each row is one return converted in both precisions and compared with
// values worked out by hand (x = (d cos v cos t + 4.94 cos(t - 12.98)) / 100, pi as 3.14159,
// y likewise with sin and negated, z = d sin v / 100): both layouts, both distance units,
// offsets and the wrap, the 1.5-degree rule, the echo and time fields; then the filters.

#include "records/AngleValues.h"
#include "convert/PointConversion.h"

#include <QtTest>

#include <cmath>

using namespace hvk32;

namespace {

struct Row {
    const char* name;
    int degreeMode;
    int modeKnown;
    float offsets[4];
    float tableShift;   // added to every channel of the built-in table
    int shiftedChannel; // this channel (if >= 0) gets 2 degrees instead
    int channel;
    float raw;
    float azimuth;
    std::uint8_t echo;
    std::uint64_t stamp, start; // the point's time stamp and the frame's first firing
    float x, y, z, wrapped, metres, seconds;
};

const Row kRows[] = {
    {"1-degree, channel 0 turned by offset 2 (-3), 358 deg", 0, 1, {2, -3, 0, 0}, 0, -1, 0, 1000, 1.0f, 0, 1500, 1000,
     3.890426f, 0.1469591f, -1.102549f, 358.0f, 4.0f, 0.0005f},
    {"1-degree, mode unknown (0.25 cm), +2, 361.5 wraps", 0, 0, {2, -3, 0, 0}, 0, -1, 2, 1000, 359.5f, 1, 20,
     3599999990u, 2.462399f, -0.05336749f, -0.6470471f, 1.5f, 2.5f, 0.00003f},
    {"0.33-degree, channel 5 turned by offset 2", 1, 1, {1, 2, 3, 4}, 0, -1, 5, 2500, 100.0f, 1, 1000, 1000,
     -2.078223f, -9.83071f, -0.0575955f, 102.0f, 10.0f, 0.0f},
    {"0.33-degree, channel 0 turned by offset 4", 1, 1, {1, 2, 3, 4}, 0, -1, 0, 2500, 100.0f, 0, 2000, 1000,
     -2.301679f, -9.277457f, -3.090167f, 104.0f, 10.0f, 0.001f},
    {"device table 1 deg off: used", 0, 1, {0, 0, 0, 0}, 1, -1, 4, 1000, 10.0f, 0, 1000, 1000, 3.887602f,
     -0.6742216f, -0.8998035f, 10.0f, 4.0f, 0.0f},
    {"one channel 2 deg off: built-in table", 0, 1, {0, 0, 0, 0}, 1, 3, 4, 1000, 10.0f, 0, 1000, 1000, 3.871553f,
     -0.6713916f, -0.9676868f, 10.0f, 4.0f, 0.0f},
    {"zero distance: on the emitter offset circle", 0, 1, {2, -3, 0, 0}, 0, -1, 0, 0, 50.0f, 0, 1000, 1000,
     0.04094482f, -0.0276384f, 0.0f, 47.0f, 0.0f, 0.0f},
};

ConversionSnapshot snapshotOf(const Row& r)
{
    ConversionSnapshot s;
    s.degreeMode = r.degreeMode;
    s.modeKnown = r.modeKnown;
    std::copy(r.offsets, r.offsets + 4, s.offsetAngles);
    const float* table = builtInVerticalAngles(r.degreeMode);
    for (int c = 0; c < kChannelCount; ++c)
        s.deviceVerticalAngles[c] = table[c] + (c == r.shiftedChannel ? 2.0f : r.tableShift);
    return s;
}

void add(LidarData& f, int c, float raw, float azimuth, int intensity, std::uint64_t stamp, std::uint8_t echo)
{
    f.distances[c].push_back(raw);
    f.azimuths[c].push_back(azimuth);
    f.intensities[c].push_back(intensity);
    f.timestamps[c].push_back(stamp);
    f.echoes[c].push_back(echo);
}

bool near(float actual, float expected, float tolerance)
{
    return std::fabs(actual - expected) <= tolerance * std::max(1.0f, std::fabs(expected));
}

} // namespace

class PointConversionTest : public QObject {
    Q_OBJECT
private slots:
    void pointsMatchHandComputedValues_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("precision");
        for (int i = 0; i < int(std::size(kRows)); ++i) {
            QTest::newRow(qPrintable(QString("%1, exact").arg(kRows[i].name))) << i << int(Precision::Exact);
            QTest::newRow(qPrintable(QString("%1, fast").arg(kRows[i].name))) << i << int(Precision::Fast);
        }
    }
    void pointsMatchHandComputedValues()
    {
        QFETCH(int, row);
        QFETCH(int, precision);
        const Row& r = kRows[row];
        LidarData frame = LidarData::empty();
        add(frame, r.channel, r.raw, r.azimuth, 200, r.stamp, r.echo);
        add(frame, 31, 0, 0, 0, r.start, 0); // the frame's first firing, on a channel left out
        ConversionOptions options;
        options.precision = Precision(precision);
        options.channels.fill(false);
        options.channels[r.channel] = true;
        const ConversionSnapshot snapshot = snapshotOf(r);
        PointArrays points;
        PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), options, points);

        QCOMPARE(points.size, std::size_t(1));
        const float tolerance = options.precision == Precision::Exact ? 1e-6f : 2e-6f;
        QVERIFY2(near(points.x[0], r.x, tolerance), qPrintable(QString::number(points.x[0], 'g', 9)));
        QVERIFY2(near(points.y[0], r.y, tolerance), qPrintable(QString::number(points.y[0], 'g', 9)));
        QVERIFY2(near(points.z[0], r.z, tolerance), qPrintable(QString::number(points.z[0], 'g', 9)));
        QCOMPARE(points.azimuth[0], r.wrapped);
        QCOMPARE(points.distance[0], r.metres);
        QVERIFY2(near(points.time[0], r.seconds, 1e-6f), qPrintable(QString::number(points.time[0], 'g', 9)));
        QCOMPARE(points.intensity[0], 200.0f);
        QCOMPARE(int(points.channel[0]), r.channel);
        QCOMPARE(int(points.echo[0]), int(r.echo));
    }

    // Channel mask, azimuth and distance ranges, zero distances and the window's display
    // sector, on one frame; a frame without echo lists reads as single echo.
    void filtersChooseThePoints()
    {
        LidarData frame = LidarData::empty();
        for (int c : {0, 1, 2})
            for (float a : {10.0f, 100.0f, 200.0f}) {
                // 2.5 m, but channel 1 has no return at 100 and channel 2 is at 1, 2.5 and 5 m.
                const float raw = c == 2 ? (a == 10.0f ? 400.0f : a == 100.0f ? 1000.0f : 2000.0f) : 1000.0f;
                frame.distances[c].push_back(a == 100.0f && c == 1 ? 0.0f : raw);
                frame.azimuths[c].push_back(a);
                frame.intensities[c].push_back(c);
                frame.timestamps[c].push_back(5);
            }
        ConversionSnapshot snapshot;
        std::copy(defaultVerticalAngles1, defaultVerticalAngles1 + 32, snapshot.deviceVerticalAngles);
        PointArrays points;
        auto channelsAndAzimuths = [&] {
            QStringList list;
            for (std::size_t k = 0; k < points.size; ++k)
                list << QString("%1@%2%3").arg(points.channel[k]).arg(points.azimuth[k]).arg(points.distance[k] == 0 ? "/0" : "");
            return list.join(' ');
        };
        const AngleTerms angles = AngleTerms::fixed(snapshot);

        ConversionOptions options;
        options.channels[2] = false;
        options.limitAzimuth = true;
        options.azimuthMin = 50;
        options.azimuthMax = 200;
        PointConversion().convert(frame, snapshot, angles, options, points);
        QCOMPARE(channelsAndAzimuths(), QString("0@100 0@200 1@100/0 1@200"));
        QCOMPARE(int(points.echo[0]), 0);

        options.keepZeroDistances = false;
        PointConversion().convert(frame, snapshot, angles, options, points);
        QCOMPARE(channelsAndAzimuths(), QString("0@100 0@200 1@200"));

        ConversionOptions window;
        window.collapseOutsideDisplay = true;
        window.displayAngle = 90; // 90 < angle < 270 collapses
        window.channels.fill(false);
        window.channels[0] = true;
        PointConversion().convert(frame, snapshot, angles, window, points);
        QCOMPARE(channelsAndAzimuths(), QString("0@10 0@100/0 0@200/0"));

        for (Precision precision : {Precision::Exact, Precision::Fast}) {
            ConversionOptions near;
            near.precision = precision;
            near.limitDistance = true;
            near.distanceMin = 2.0f; // the zero distance is left out though zeros are kept
            near.distanceMax = 4.0f;
            PointConversion().convert(frame, snapshot, angles, near, points);
            QCOMPARE(channelsAndAzimuths(), QString("0@10 0@100 0@200 1@10 1@200 2@100"));
            near.limitAzimuth = true; // both limits at once
            near.azimuthMin = 50;
            PointConversion().convert(frame, snapshot, angles, near, points);
            QCOMPARE(channelsAndAzimuths(), QString("0@100 0@200 1@200 2@100"));
        }
    }

    // Fast keeps, in order, exactly the points Exact keeps, whatever the pattern of dropped
    // points in a channel (stretches, every other point, none, all), with and without limits,
    // and off the trigonometry grid; its coordinates and distances are within a few float steps
    // of Exact. Leaving fields out changes none of the others.
    void fastKeepsExactsPoints_data()
    {
        QTest::addColumn<QString>("pattern"); // per point of a channel: '0' no return, '1' a return
        QTest::addColumn<bool>("keepZeros");
        QTest::addColumn<float>("azimuthMin");
        QTest::addColumn<float>("distanceMax"); // 0: no distance limit
        const QString stretches = QString("1").repeated(300) + QString("0").repeated(40) + QString("1").repeated(500)
            + QString("0").repeated(3) + "1";
        const QString alternate = QString("10").repeated(300);
        QTest::newRow("stretches, zeros dropped") << stretches << false << 0.0f << 0.0f;
        QTest::newRow("stretches, zeros kept") << stretches << true << 0.0f << 0.0f;
        QTest::newRow("every other point") << alternate << false << 0.0f << 0.0f;
        QTest::newRow("no return at all") << QString("0").repeated(600) << false << 0.0f << 0.0f;
        QTest::newRow("every point kept") << QString("1").repeated(600) << false << 0.0f << 0.0f;
        QTest::newRow("azimuth from 100") << stretches << true << 100.0f << 0.0f;
        QTest::newRow("distance up to 3 m, azimuth from 50") << alternate << false << 50.0f << 3.001f;
    }
    void fastKeepsExactsPoints()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, keepZeros);
        QFETCH(float, azimuthMin);
        QFETCH(float, distanceMax);
        LidarData frame = LidarData::empty();
        for (int c = 0; c < kChannelCount; ++c)
            for (int j = 0; j < pattern.size(); ++j) {
                const bool hit = pattern[(j + c) % pattern.size()] == '1';
                // Channel 7 turns far beyond a turn, off the trigonometry grid.
                const float azimuth = c == 7 ? 700.0f + j * 0.1f : std::fmod(j * 0.6f + c, 360.0f);
                add(frame, c, hit ? 200.0f + (j * 37 + c) % 1500 : 0.0f, azimuth, (j + c) % 256, 1000u + j * 55u,
                    std::uint8_t(j % 2));
            }
        ConversionSnapshot snapshot;
        snapshot.modeKnown = 1;
        snapshot.offsetAngles[0] = 3.0f;
        std::copy(defaultVerticalAngles1, defaultVerticalAngles1 + 32, snapshot.deviceVerticalAngles);
        ConversionOptions options;
        options.keepZeroDistances = keepZeros;
        options.limitAzimuth = azimuthMin > 0.0f;
        options.azimuthMin = azimuthMin;
        options.limitDistance = distanceMax > 0.0f;
        options.distanceMax = distanceMax;
        PointArrays fast, exact, fewer;
        PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), options, fast);
        // A writer of x, y, z and intensity only gets the same points and values.
        ConversionOptions xyzi = options;
        xyzi.fillChannel = xyzi.fillTime = xyzi.fillEcho = false;
        PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), xyzi, fewer);
        QCOMPARE(fewer.size, fast.size);
        for (std::size_t k = 0; k < fast.size; ++k)
            QVERIFY2(fewer.x[k] == fast.x[k] && fewer.y[k] == fast.y[k] && fewer.z[k] == fast.z[k]
                         && fewer.intensity[k] == fast.intensity[k] && fewer.azimuth[k] == fast.azimuth[k]
                         && fewer.distance[k] == fast.distance[k],
                     qPrintable(QString("point %1 with fewer fields").arg(k)));
        options.precision = Precision::Exact;
        PointConversion().convert(frame, snapshot, AngleTerms::fixed(snapshot), options, exact);

        QCOMPARE(fast.size, exact.size);
        for (std::size_t k = 0; k < exact.size; ++k) {
            const QString at = QString("point %1: channel %2/%3 azimuth %4/%5 distance %6/%7 time %8/%9")
                                   .arg(k).arg(fast.channel[k]).arg(exact.channel[k])
                                   .arg(double(fast.azimuth[k]), 0, 'g', 9).arg(double(exact.azimuth[k]), 0, 'g', 9)
                                   .arg(double(fast.distance[k]), 0, 'g', 9).arg(double(exact.distance[k]), 0, 'g', 9)
                                   .arg(double(fast.time[k]), 0, 'g', 9).arg(double(exact.time[k]), 0, 'g', 9);
            QVERIFY2(fast.channel[k] == exact.channel[k] && fast.azimuth[k] == exact.azimuth[k]
                         && near(fast.distance[k], exact.distance[k], 2e-7f) && fast.intensity[k] == exact.intensity[k]
                         && fast.time[k] == exact.time[k] && fast.echo[k] == exact.echo[k],
                     qPrintable(at));
            QVERIFY2(near(fast.x[k], exact.x[k], 2e-6f) && near(fast.y[k], exact.y[k], 2e-6f)
                         && near(fast.z[k], exact.z[k], 2e-6f),
                     qPrintable(at));
        }
    }
};

QTEST_GUILESS_MAIN(PointConversionTest)
#include "PointConversionTest.moc"
