// Frame-to-cloud conversion: horizontal angle rules, coordinates, colours and their legend,
// filters, the vertical table check, average intensities and a simulator frame end to end.

#include "support/SampleFrame.h"
#include "support/SimulatorFrames.h"
#include "acquisition/DataPacket.h"
#include "acquisition/FrameAssembler.h"
#include "records/AngleValues.h"
#include "sim/ScannerStream.h"
#include "sim/SyntheticScene.h"
#include "convert/CloudBuilder.h"
#include "view/ColourLegend.h"

#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

using namespace hvk32;

namespace {

using test::frameOf;
using test::Sample;

// Device table equal to the built-in one of the mode, so it is accepted.
CloudParameters paramsFor(int degreeMode, std::array<float, 4> offsets = {0, 0, 0, 0})
{
    CloudParameters p;
    p.degreeMode = degreeMode;
    std::copy(offsets.begin(), offsets.end(), p.offsetAngles);
    const float* table = builtInVerticalAngles(degreeMode);
    std::copy(table, table + 32, p.deviceVerticalAngles);
    return p;
}

std::vector<ConvertedPoint> convert(const LidarData& frame, const CloudParameters& params, CloudResult& out)
{
    std::vector<ConvertedPoint> points;
    const CloudBuilder::PointVisitor visitor = [&](const ConvertedPoint& p) { points.push_back(p); };
    CloudBuilder().build(frame, params, out, &visitor);
    return points;
}

ConvertedPoint convertOne(const Sample& s, const CloudParameters& params, CloudResult& out)
{
    const auto points = convert(frameOf({s}), params, out);
    if (points.size() != 1)
        qFatal("expected one converted point, got %zu", points.size());
    return points.front();
}

int packed(int r, int g, int b) { return r << 16 | g << 8 | b; }

// The legend's cell a value falls in, read off the legend alone as a user reads it: the
// value's place along the strip between the ticks (beyond the outer ticks, as far again),
// and the cell there. A value on the boundary of two cells belongs to the upper one.
Rgb8 legendCellAt(const ColourLegend& legend, double value)
{
    const auto& t = legend.ticks;
    std::size_t k = 1;
    while (k + 1 < t.size() && value >= t[k].value)
        ++k;
    const double share = (value - t[k - 1].value) / (t[k].value - t[k - 1].value);
    const double position = t[k - 1].position + share * (t[k].position - t[k - 1].position);
    const auto n = static_cast<long>(legend.cells.size());
    const long cell = std::clamp(static_cast<long>(std::floor(position * n + 1e-9)), 0L, n - 1);
    return legend.cells[static_cast<std::size_t>(cell)];
}

double norm(const ConvertedPoint& p) { return std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z); }

} // namespace

class CloudBuilderTest : public QObject {
    Q_OBJECT
private slots:
    void horizontalAngleRules_data()
    {
        QTest::addColumn<int>("degreeMode");
        QTest::addColumn<QVector<float>>("offsets");
        QTest::addColumn<int>("channel");
        QTest::addColumn<QString>("variant");
        QTest::addColumn<double>("theta");
        // Azimuth 100, adjustments 0.5, 0.25, 0.125, 2.
        const QVector<float> apart4{10, 6, 0, 0}, apart9{10, 1, 0, 0};
        const QVector<float> mode1Spread{10, 4, 3, 0.5f}, mode1Close{2, 1, 5, 5};
        QTest::newRow("0/2.6.0 even +1") << 0 << apart9 << 4 << "V2.6.0" << 110.5;
        QTest::newRow("0/2.6.0 odd -1") << 0 << apart9 << 3 << "V2.6.0" << 89.5;
        QTest::newRow("0/2.6.1 c%4=1 +2") << 0 << apart4 << 5 << "V2.6.1" << 106.25;
        QTest::newRow("0/2.6.1 c%4=2 +1") << 0 << apart4 << 6 << "V2.6.1" << 110.5;
        QTest::newRow("1/2.6.0 ch14 +1") << 1 << mode1Close << 14 << "V2.6.0" << 102.5;
        QTest::newRow("1/2.6.0 ch19 -1") << 1 << mode1Close << 19 << "V2.6.0" << 97.5;
        QTest::newRow("1/2.6.0 ch12 +2") << 1 << mode1Close << 12 << "V2.6.0" << 101.25;
        QTest::newRow("1/2.6.0 ch13 -2") << 1 << mode1Close << 13 << "V2.6.0" << 98.75;
        QTest::newRow("1/2.6.1 ch20 +2") << 1 << mode1Spread << 20 << "V2.6.1" << 104.25;
        QTest::newRow("1/2.6.1 ch30 +1") << 1 << mode1Spread << 30 << "V2.6.1" << 110.5;
        QTest::newRow("1/2.6.1 ch26 +3") << 1 << mode1Spread << 26 << "V2.6.1" << 103.125;
        QTest::newRow("1/2.6.1 ch29 +4") << 1 << mode1Spread << 29 << "V2.6.1" << 102.5;
    }
    void horizontalAngleRules()
    {
        QFETCH(int, degreeMode);
        QFETCH(QVector<float>, offsets);
        QFETCH(int, channel);
        QFETCH(QString, variant);
        QFETCH(double, theta);
        CloudParameters params = paramsFor(degreeMode, {offsets[0], offsets[1], offsets[2], offsets[3]});
        const double adjust[4] = {0.5, 0.25, 0.125, 2.0};
        std::copy(adjust, adjust + 4, params.angleAdjust);
        CloudResult out;
        const ConvertedPoint p = convertOne({channel, 400, 100}, params, out);
        QCOMPARE(QString(out.firmwareVariant), variant);
        QCOMPARE(p.theta, theta);
        QCOMPARE(p.thetaWrapped, theta);
    }

    void firmwareVariantBounds()
    {
        struct Case {
            int degreeMode;
            float offsets[4];
            const char* variant;
        };
        const Case cases[] = {
            {0, {3, 0, 0, 0}, "V2.6.0"},   {0, {0, -4, 0, 0}, "V2.6.1"}, {0, {5, 0, 0, 0}, "V2.6.0"},
            {0, {1, 1, 0, 0}, "V2.6.0"},   {0, {0, 0, 7, 1}, "V2.6.1"},  {1, {0, 0, 0, 0}, "V2.6.1"},
            {1, {6, 0, 2.5f, 0}, "V2.6.1"}, {1, {6, 0, 3, 0}, "V2.6.0"}, {1, {4, 0, 2, 0}, "V2.6.0"},
            {1, {0, 0, 7, 1}, "V2.6.0"},
        };
        for (const Case& c : cases) {
            const QString what = QString("mode %1, offsets %2 %3 %4 %5")
                                     .arg(c.degreeMode).arg(c.offsets[0]).arg(c.offsets[1]).arg(c.offsets[2]).arg(c.offsets[3]);
            QVERIFY2(QString(firmwareVariantOf(c.degreeMode, c.offsets)) == c.variant, qPrintable(what));
        }
    }

    // Reference values worked out by hand with pi = 3.14159; the long range point tells
    // 3.14159 from the true pi (0.4 mm apart there).
    void coordinates()
    {
        struct Case {
            const char* what;
            CloudParameters params;
            Sample sample;
            double x, y, z, distanceCm, thetaWrapped;
        };
        CloudParameters near = paramsFor(0);
        CloudParameters far = paramsFor(1, {10, 4, 3, 0.5f});
        far.angleAdjust[3] = 2.0;
        CloudParameters negative = paramsFor(0, {10, 1, 0, 0});
        negative.angleAdjust[0] = 0.5;
        negative.modeKnown = 1;
        const Case cases[] = {
            {"level, 0 degrees", near, {1, 4000, 0}, 10.048137759, 0.011095770, 0.0, 1000.0, 0.0},
            {"150 m, -18 degrees", far, {0, 60000, 230}, -86.883481388, 113.209727138, -46.352511301, 15000.0, 232.5},
            {"negative angle, 0.4 cm", negative, {31, 1234, 5}, 4.792712866, 0.472632457, 1.277529768, 493.6, 354.5},
        };
        for (const Case& c : cases) {
            CloudResult out;
            const ConvertedPoint p = convertOne(c.sample, c.params, out);
            QVERIFY2(qAbs(p.x - c.x) < 5e-5 && qAbs(p.y - c.y) < 5e-5 && qAbs(p.z - c.z) < 5e-5, c.what);
            QVERIFY2(qAbs(p.distanceCm - c.distanceCm) < 1e-4, c.what);
            QVERIFY2(qAbs(p.thetaWrapped - c.thetaWrapped) < 1e-9, c.what);
            QCOMPARE(int(out.frame.size()), 1);
            QCOMPARE(out.frame[0].x, p.x);
        }
    }

    void colours()
    {
        struct Case {
            ColorMode mode;
            int channel, intensity;
            float azimuth, distanceCm;
            int rgb;
        };
        const auto I = ColorMode::Intensity, E = ColorMode::Elevation, A = ColorMode::Azimuth, L = ColorMode::LaserID;
        // For elevation: channel 0 looks 16 degrees down, channel 31 15 degrees up, channel 1 level.
        const Case cases[] = {
            {I, 1, 0, 0, 500, 0x0000FF},   {I, 1, 31, 0, 500, 0x00F8FF},  {I, 1, 32, 0, 500, 0x00FFFF},
            {I, 1, 63, 0, 500, 0x00FF83},  {I, 1, 64, 0, 500, 0xC0FF00},  {I, 1, 80, 0, 500, 0x00FF00},
            {I, 1, 127, 0, 500, 0xBCFF00}, {I, 1, 128, 0, 500, 0xFFFE00}, {I, 1, 255, 0, 500, 0xFF0000},
            {ColorMode::Solid, 5, 17, 123, 500, 0xFFFFFF},
            {E, 0, 0, 0, 1000, 0x8B4513},  {E, 0, 0, 0, 400, 0xFFFF00},   {E, 1, 0, 0, 400, 0xFFFFFF},
            {E, 31, 0, 0, 300, 0xFFFFFF},  {E, 31, 0, 0, 1000, 0x008000}, {E, 31, 0, 0, 2000, 0x0000FF},
            {A, 1, 0, 89.9f, 500, 0x00FFFF}, {A, 1, 0, 90, 500, 0x007DC0}, {A, 1, 0, 180, 500, 0x00FF00},
            {A, 1, 0, 270, 500, 0xFFFF00},
            {L, 1, 0, 0, 500, 0x6666FF},   {L, 2, 0, 0, 500, 0x9999FF},   {L, 5, 0, 0, 500, 0xCCCCFF},
            {L, 6, 0, 0, 500, 0xFFFFFF},   {L, 9, 0, 0, 500, 0xFFB2B2},   {L, 11, 0, 0, 500, 0xFF6666},
            {L, 13, 0, 0, 500, 0xFF4C4C},  {L, 14, 0, 0, 500, 0xFF0000},  {L, 31, 0, 0, 500, 0xFF0000},
        };
        for (const Case& c : cases) {
            CloudParameters params = paramsFor(0);
            params.colorMode = c.mode;
            CloudResult out;
            const ConvertedPoint p = convertOne({c.channel, c.distanceCm * 4, c.azimuth, c.intensity}, params, out);
            const QString what = QString("mode %1 channel %2 intensity %3 azimuth %4 distance %5 cm: %6")
                                     .arg(int(c.mode)).arg(c.channel).arg(c.intensity).arg(c.azimuth)
                                     .arg(c.distanceCm).arg(packed(p.r, p.g, p.b), 6, 16, QChar('0'));
            QVERIFY2(packed(p.r, p.g, p.b) == c.rgb, qPrintable(what));
            QVERIFY2(packed(out.frame[0].r, out.frame[0].g, out.frame[0].b) == c.rgb, qPrintable(what));
        }
    }

    // The legend of each colouring shows the colour the points get: the colour function at
    // every boundary and inside every band, and the cloud's points at known heights,
    // intensities and azimuths (a point at 0 m is in the band that starts there).
    void legendMatchesThePoints()
    {
        struct Case {
            ColorMode mode;
            std::vector<double> values;
            Rgb8 (*colour)(double);
        };
        const Case cases[] = {
            {ColorMode::Intensity, {0, 1, 31, 32, 63, 64, 100, 127, 128, 200, 254, 255},
             [](double v) { return intensityColour(int(v)); }},
            {ColorMode::Elevation, {-50, -2.001, -2, -1, -0.001, 0, 0.5, 0.999, 1, 3, 4.999, 5, 5.001, 80},
             [](double v) { return elevationColour(float(v)); }},
            {ColorMode::Azimuth, {0, 45, 89.99, 90, 135, 179.99, 180, 269.99, 270, 359.99},
             [](double v) { return azimuthColour(float(v)); }},
        };
        for (const Case& c : cases) {
            const std::optional<ColourLegend> legend = colourLegend(c.mode);
            QVERIFY(legend && legend->ticks.size() >= 2);
            for (double v : c.values) {
                const Rgb8 want = c.colour(v), shown = legendCellAt(*legend, v);
                QVERIFY2(shown == want, qPrintable(QString("mode %1 value %2: legend %3, points %4")
                                                       .arg(int(c.mode)).arg(v)
                                                       .arg(packed(shown.r, shown.g, shown.b), 6, 16, QChar('0'))
                                                       .arg(packed(want.r, want.g, want.b), 6, 16, QChar('0'))));
            }
        }

        // Points of the cloud: channel 0 looks 16 degrees down, channel 1 level, channel 31 15 up.
        const std::optional<ColourLegend> elevation = colourLegend(ColorMode::Elevation);
        const std::optional<ColourLegend> intensity = colourLegend(ColorMode::Intensity);
        const std::optional<ColourLegend> azimuth = colourLegend(ColorMode::Azimuth);
        const Sample samples[] = {{0, 4000, 0, 0},     {0, 1600, 10, 31},  {1, 1600, 90, 64},  {1, 4000, 100, 127},
                                  {31, 1200, 180, 128}, {31, 4000, 270, 200}, {31, 8000, 359.9f, 255}};
        for (const Sample& sample : samples) {
            for (ColorMode mode : {ColorMode::Elevation, ColorMode::Intensity, ColorMode::Azimuth}) {
                CloudParameters params = paramsFor(0);
                params.colorMode = mode;
                CloudResult out;
                const ConvertedPoint p = convertOne(sample, params, out);
                const Rgb8 point{p.r, p.g, p.b};
                const Rgb8 shown = mode == ColorMode::Elevation ? legendCellAt(*elevation, p.z)
                    : mode == ColorMode::Intensity              ? legendCellAt(*intensity, p.intensity)
                                                                : legendCellAt(*azimuth, p.azimuth);
                QVERIFY2(point == shown, qPrintable(QString("mode %1 channel %2 z %3 intensity %4 azimuth %5")
                                                        .arg(int(mode)).arg(sample.channel).arg(p.z)
                                                        .arg(p.intensity).arg(p.azimuth)));
            }
        }
        CloudParameters params = paramsFor(0);
        params.colorMode = ColorMode::Elevation;
        CloudResult out;
        const ConvertedPoint level = convertOne({1, 1600, 90, 64}, params, out);
        QCOMPARE(level.z, 0.0f);
        QVERIFY((Rgb8{level.r, level.g, level.b}) == (Rgb8{255, 255, 255}));
    }

    // Channel 3 in degree mode 0 with zero offsets turns by angleAdjust1 only.
    void displaySector()
    {
        struct Case {
            float displayAngle, azimuth;
            double adjust;
            bool removed;
        };
        const Case cases[] = {
            {360, 180, 0, false}, {90, 45, 0, false},    {90, 90, 0, false},     {90, 91, 0, true},
            {90, 269, 0, true},   {90, 270, 0, false},   {90, 10, -100, false},  {90, 10, -110, true},
            {90, 350, 100, false}, {90, 350, 110, true}, // -90 -> 270, -100 -> 260, 450 -> 90, 460 -> 100
        };
        for (const Case& c : cases) {
            CloudParameters params = paramsFor(0);
            params.displayAngle = c.displayAngle;
            params.angleAdjust[0] = c.adjust;
            CloudResult out;
            const ConvertedPoint p = convertOne({3, 4000, c.azimuth}, params, out);
            const QString what = QString("sector %1, angle %2").arg(c.displayAngle).arg(c.azimuth + c.adjust);
            QVERIFY2(out.frame.size() == 1, qPrintable(what)); // removed points are still drawn
            QVERIFY2(p.distanceCm == (c.removed ? 0.0f : 1000.0f), qPrintable(what));
            // A removed point sits on the emitter offset circle.
            QVERIFY2(c.removed ? qAbs(norm(p) - 0.0494) < 1e-6 : norm(p) > 9.9, qPrintable(what));
        }
    }

    // Nothing without a distance, from a disabled channel or beyond the shortest list.
    void skippedPoints()
    {
        LidarData f = frameOf({{2, 0, 10}, {2, -4, 20}, {2, std::numeric_limits<float>::quiet_NaN(), 30},
                               {2, 400, 40}, {3, 400, 50}, {4, 400, 60}, {4, 400, 70}});
        f.timestamps[4].pop_back();
        CloudParameters params = paramsFor(0);
        params.channelEnabled[3] = false;
        CloudResult out;
        const auto points = convert(f, params, out);
        QCOMPARE(int(points.size()), 2);
        QCOMPARE(points[0].channel, 2);
        QCOMPARE(int(points[0].index), 3);
        QCOMPARE(points[0].azimuth, 40.0f);
        QCOMPARE(points[0].timestamp, std::uint64_t(7));
        QCOMPARE(points[1].channel, 4);
        QCOMPARE(int(points[1].index), 0);
        QCOMPARE(int(out.frame.size() + out.selection.size()), 2);

        // A record without channel lists converts to nothing.
        params.computeAverageIntensities = true;
        CloudBuilder().build(LidarData{}, params, out);
        QVERIFY(out.frame.empty() && out.selection.empty());
        QCOMPARE(out.averageIntensities, std::vector<float>(32, 0.0f));
    }

    void verticalTableCheck()
    {
        struct Case {
            const char* what;
            int degreeMode;
            const float* device;
            int shiftedChannel;
            float shift;
            bool laterDeviation; // channel 9 off too: the first deviating channel is reported
            int mistake;
            float channel5Angle;
        };
        const Case cases[] = {
            {"device table as built in", 0, defaultVerticalAngles1, -1, 0, false, -1, 2},
            {"1.5 off is accepted", 0, defaultVerticalAngles1, 5, 1.5f, false, -1, 3.5f},
            {"channel 5 off by 2", 0, defaultVerticalAngles1, 5, 2, true, 5, 2},
            {"1-degree table in 0.33 mode", 1, defaultVerticalAngles1, -1, 0, false, 0, -0.33f},
        };
        for (const Case& c : cases) {
            CloudParameters params = paramsFor(c.degreeMode);
            std::copy(c.device, c.device + 32, params.deviceVerticalAngles);
            if (c.shiftedChannel >= 0)
                params.deviceVerticalAngles[c.shiftedChannel] += c.shift;
            if (c.laterDeviation)
                params.deviceVerticalAngles[9] += 3;
            CloudResult out;
            const ConvertedPoint p = convertOne({5, 4000, 0}, params, out);
            QVERIFY2(out.angleMistakeChannel == c.mistake, c.what);
            const double expectedZ = 10.0 * std::sin(double(c.channel5Angle) * 3.14159 / 180.0);
            QVERIFY2(qAbs(p.z - expectedZ) < 1e-5, c.what);
        }
    }

    void averageIntensities()
    {
        LidarData f = LidarData::empty();
        const auto fill = [&](int c, int n, int intensity, float distance) {
            f.distances[c].assign(n, distance);
            f.azimuths[c].assign(n, 0.0f);
            f.intensities[c].assign(n, intensity);
            f.timestamps[c].assign(n, 0);
        };
        fill(0, 400, 150, 400); // only the first 300 count
        fill(1, 30, 100, 0);    // divided by 300 all the same; no distance needed
        fill(2, 299, 1, 400);   // 0.997 truncates to 0
        fill(3, 300, 200, 400); // disabled channels count too
        f.intensities[0][350] = 255;
        CloudParameters params = paramsFor(0);
        params.channelEnabled[3] = false;
        params.computeAverageIntensities = true;
        CloudResult out;
        CloudBuilder().build(f, params, out);
        std::vector<float> expected(32, 0.0f);
        expected[0] = 150;
        expected[1] = 10;
        expected[3] = 200;
        QCOMPARE(out.averageIntensities, expected);

        params.computeAverageIntensities = false;
        CloudBuilder().build(f, params, out);
        QVERIFY(out.averageIntensities.empty());
    }

    void selectionBoxSplit()
    {
        const LidarData f = frameOf({{1, 4000, 0}, {1, 4000, 90}, {1, 4000, 180}});
        CloudParameters params = paramsFor(0);
        CloudResult out;
        const auto before = convert(f, params, out);
        QCOMPARE(int(out.frame.size()), 3);
        QVERIFY(out.selection.empty());

        // A box that is exactly one point: bounds are inclusive.
        const ConvertedPoint& mid = before[1];
        params.selectionBox = {mid.x, mid.x, mid.y, mid.y, mid.z, mid.z};
        const auto after = convert(f, params, out);
        QCOMPARE(int(out.frame.size()), 2);
        QCOMPARE(int(out.selection.size()), 1);
        QCOMPARE(out.selection[0].x, mid.x);
        QCOMPARE(out.selection[0].y, mid.y);
        QVERIFY(!after[0].inSelection && after[1].inSelection && !after[2].inSelection);
    }

    // A point is selected when the camera draws it inside the dragged rectangle: a
    // perspective camera at the origin looking down -z (90 degrees high, 1 to 10 m deep) over
    // a 200 x 100 viewport whose corner is at (10, 20). The point 5 m ahead on the axis is drawn
    // at (110, 70); 5 m ahead and 5 m to the side at (160, 70).
    void selectionAreaIsWhatIsDrawnInside()
    {
        const double camera[16] = {0.5, 0, 0, 0, 0, 1, 0, 0, 0, 0, -11.0 / 9.0, -20.0 / 9.0, 0, 0, -1, 0};
        const int origin[2] = {10, 20}, size[2] = {200, 100};
        struct Case {
            double a[2], b[2];
            float x, y, z;
            bool inside;
        };
        const Case cases[] = {
            {{120, 80}, {100, 60}, 0, 0, -5, true},       // corners in either order
            {{100, 60}, {120, 80}, 5, 0, -5, false},      // drawn to the right of it
            {{160, 60}, {170, 80}, 5, 0, -5, true},       // on its left edge: bounds included
            {{100, 60}, {120, 80}, 0, 0, 5, false},       // behind the camera, projects to the middle
            {{100, 60}, {120, 80}, 0, 0, -20, false},     // beyond the far plane: not drawn
            {{100, 60}, {120, 80}, 0, 0, -0.5f, false},   // nearer than the near plane
            {{100, 60}, {120, 80}, 0, 2, -5, false},      // drawn higher, at y 90
            {{100, 85}, {120, 95}, 0, 2, -5, true},       // display y grows upwards
            {{10, 20}, {210, 120}, -9.9f, 4.9f, -5, true}, // the whole viewport
        };
        for (const Case& c : cases) {
            const SelectionArea area = selectionArea(camera, origin, size, c.a, c.b);
            QVERIFY(area.active);
            QVERIFY2(area.contains(c.x, c.y, c.z) == c.inside,
                     qPrintable(QString("(%1, %2, %3)").arg(c.x).arg(c.y).arg(c.z)));
        }
        const int empty[2] = {0, 100};
        QVERIFY(!selectionArea(camera, origin, empty, cases[0].a, cases[0].b).active);

        // The conversion sorts by the area when there is one, and by the box otherwise.
        const LidarData f = frameOf({{1, 4000, 0}, {1, 4000, 90}, {1, 4000, 180}});
        CloudParameters params = paramsFor(0);
        CloudResult out;
        const auto points = convert(f, params, out);
        const ConvertedPoint& mid = points[1];
        // A camera looking along the mid point's direction from the scanner: only it is drawn
        // in the middle of the view.
        const double len = std::sqrt(double(mid.x) * mid.x + double(mid.y) * mid.y + double(mid.z) * mid.z);
        const double d[3] = {mid.x / len, mid.y / len, mid.z / len};
        const double up[3] = {std::abs(d[2]) < 0.9 ? 0.0 : 1.0, 0.0, std::abs(d[2]) < 0.9 ? 1.0 : 0.0};
        double r[3] = {d[1] * up[2] - d[2] * up[1], d[2] * up[0] - d[0] * up[2], d[0] * up[1] - d[1] * up[0]};
        const double rl = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
        for (double& v : r)
            v /= rl;
        const double u[3] = {r[1] * d[2] - r[2] * d[1], r[2] * d[0] - r[0] * d[2], r[0] * d[1] - r[1] * d[0]};
        // Rows: right, up, and depth rows for planes 1 and 100 m ahead along d.
        const double view[16] = {0.5 * r[0], 0.5 * r[1], 0.5 * r[2], 0, u[0], u[1], u[2], 0,
                                 (101.0 / 99.0) * d[0], (101.0 / 99.0) * d[1], (101.0 / 99.0) * d[2], -200.0 / 99.0,
                                 d[0], d[1], d[2], 0};
        const double a[2] = {100, 60}, b[2] = {120, 80};
        params.selectionArea = selectionArea(view, origin, size, a, b);
        params.selectionBox = {points[0].x, points[0].x, points[0].y, points[0].y, points[0].z, points[0].z};
        const auto after = convert(f, params, out);
        QCOMPARE(int(out.selection.size()), 1);
        QCOMPARE(out.selection[0].x, mid.x);
        QVERIFY(!after[0].inSelection && after[1].inSelection && !after[2].inSelection);
    }

    // A revolution of the substitute scanner lands on the scene's surfaces.
    void simulatorFrame()
    {
        const LidarData frame = test::simulatorFrame();
        CloudParameters params = paramsFor(0);
        params.modeKnown = 1;
        CloudResult out;
        std::size_t floorPoints = 0;
        double worst = 0.0;
        const sim::SyntheticScene scene;
        // The frame is large enough to convert on two threads; the points still come in
        // channel order, each channel's in list order.
        std::vector<std::pair<int, std::size_t>> order;
        const CloudBuilder::PointVisitor visitor = [&](const ConvertedPoint& p) {
            order.emplace_back(p.channel, p.index);
            worst = std::max(worst, scene.distanceToSurface({p.x, p.y, p.z}));
            if (qAbs(p.z - sim::scene::kFloorZ) < 0.01)
                ++floorPoints;
        };
        CloudBuilder().build(frame, params, out, &visitor);
        QCOMPARE(QString(out.firmwareVariant), QString("V2.6.1"));
        QCOMPARE(out.angleMistakeChannel, -1);
        const std::size_t points = out.frame.size();
        QVERIFY2(points > 57000 && points <= 57632, qPrintable(QString::number(points)));
        QCOMPARE(order.size(), points);
        QVERIFY(std::is_sorted(order.begin(), order.end()));
        QCOMPARE(order.back().first, 31);
        QVERIFY2(worst < 0.01, qPrintable(QString::number(worst)));
        QVERIFY2(floorPoints > 5000, qPrintable(QString::number(floorPoints)));
    }
};

QTEST_GUILESS_MAIN(CloudBuilderTest)
#include "CloudBuilderTest.moc"
