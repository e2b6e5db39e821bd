// CSV export and the point table's listings: the exact text of exported frames in both
// layouts, the armed export over several frames and its failures, and which rows the live,
// selection and paused listings write.

#include "support/SampleFrame.h"
#include "records/AngleValues.h"
#include "convert/CloudBuilder.h"
#include "io/CsvExport.h"
#include "view/PointListing.h"

#include <QBuffer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <sstream>

using namespace hvk32;

namespace {

using test::frameOf;
using test::Sample;

ConversionSnapshot snapshotOf(int degreeMode, int modeKnown, std::array<float, 4> offsets, float verticalShift = 0)
{
    ConversionSnapshot s;
    s.degreeMode = degreeMode;
    s.modeKnown = modeKnown;
    std::copy(offsets.begin(), offsets.end(), s.offsetAngles);
    const float* table = builtInVerticalAngles(degreeMode);
    for (int c = 0; c < 32; ++c)
        s.deviceVerticalAngles[c] = table[c] + verticalShift;
    return s;
}

// 1-degree layout, offset angle 1 = 2, offset angle 2 = -3: channels 0 and 5 turn by -3,
// channel 2 by +2.
const LidarData kOneDegreeFrame = frameOf({
    {0, 400, 1.0f, 10, 1000},   // -2 wraps to 358
    {0, 0, 10.0f, 11, 1001},    // no return: still exported
    {1, 100, 50.0f, 12, 1002},  // channel not listed
    {2, 1000, 359.5f, 13, 1003}, // 361.5 wraps to 1.5
    {5, 200, 100.0f, 14, 1004},
});
const ConversionSnapshot kOneDegree = snapshotOf(0, 0, {2, -3, 0, 0});

QString csvText(int frameId, const LidarData& frame, const CsvExportOptions& options, const ConversionSnapshot& s,
                qint64* points = nullptr)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const qint64 n = writeCsvFrame(&buffer, frameId, frame, options, s);
    if (points)
        *points = n;
    return QString::fromLatin1(buffer.data());
}

QString readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
}

QList<int> frameIdsIn(const QString& csv)
{
    QList<int> ids;
    const QStringList lines = csv.split('\n', Qt::SkipEmptyParts);
    for (int i = 1; i < lines.size(); ++i)
        ids.append(lines[i].section(',', 0, 0).toInt());
    return ids;
}

ConvertedPoint selectedPoint(int n, int channel = 3, std::size_t index = 0)
{
    ConvertedPoint p{};
    p.channel = channel;
    p.index = index;
    p.intensity = n; // tells the points apart in the rows
    p.inSelection = true;
    return p;
}

// Points 0 of channels 0 and 2 of kOneDegreeFrame, as the view selected them.
const std::vector<ConvertedPoint> kSelectedInOneDegreeFrame = {selectedPoint(0, 0, 0), selectedPoint(0, 2, 0)};

} // namespace

class CsvExportTest : public QObject {
    Q_OBJECT
private slots:
    void oneDegreeFrameExactText()
    {
        QCOMPARE(csvHeaderLine(),
                 QByteArray("FrameID,Points_X,Points_Y,Points_Z,intensity,channel,azimuth,distance,adjustedtime,timestamp\n"));

        qint64 points = 0;
        const QString all = csvText(1, kOneDegreeFrame, {{5, 0, 2}, 0.0f, 360.0f}, kOneDegree, &points);
        QCOMPARE(all, QString("1,1.0084,0.0463165,-0.275637,10,0,358,1,1000,1000\n"
                              "1,0.0491312,0.00514655,-0,11,0,7,0,1001,1001\n"
                              "1,2.4624,-0.0533675,-0.647047,13,2,1.5,2.5,1003,1003\n"
                              "1,-0.0557502,-0.545102,0.0174497,14,5,97,0.5,1004,1004\n"));
        QCOMPARE(points, qint64(4));

        // Both bounds are part of the range.
        QCOMPARE(csvText(2, kOneDegreeFrame, {{0, 2, 5}, 7.0f, 97.0f}, kOneDegree),
                 QString("2,0.0491312,0.00514655,-0,11,0,7,0,1001,1001\n"
                         "2,-0.0557502,-0.545102,0.0174497,14,5,97,0.5,1004,1004\n"));

        QCOMPARE(csvText(1, kOneDegreeFrame, {{}, 0.0f, 360.0f}, kOneDegree, &points), QString());
        QCOMPARE(points, qint64(0));
    }

    void thirdDegreeFrameUsesTheDeviceTableAndFourOffsets()
    {
        // One offset angle per channel group, the device's table (1 degree above the nominal
        // one, so still trusted) and 1/2.5 cm per count.
        const LidarData frame = frameOf({
            {0, 250, 30.0f, 20, 5000}, {2, 250, 30.0f, 21, 5001}, {7, 250, 30.0f, 22, 5002}, {20, 250, 30.0f, 23, 5003},
        });
        std::ostringstream out;
        QCOMPARE(writeCsvFrame(out, 1, frame, {{0, 2, 7, 20}, 0.0f, 360.0f}, snapshotOf(1, 1, {1, 2, 3, 4}, 1.0f)),
                 qint64(4));
        QCOMPARE(QString::fromStdString(out.str()), QString("1,0.838926,-0.552478,-0.292371,20,0,34,1,5000,5000\n"
                                                            "1,0.860174,-0.545373,-0.241922,21,2,33,1,5001,5001\n"
                                                            "1,0.904014,-0.530241,0.0174524,22,7,31,1,5002,5002\n"
                                                            "1,0.894235,-0.545695,-0.0348995,23,20,32,1,5003,5003\n"));
    }

    void armedExportWritesItsFramesThenCloses()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("three.csv");
        CsvExportSession session;
        QVERIFY(session.arm(path, 3, 97.0f, 97.0f, {5}));
        QVERIFY(session.isArmed());
        QCOMPARE(session.writeFrame(kOneDegreeFrame, kOneDegree), false);
        QCOMPARE(session.writeFrame(kOneDegreeFrame, kOneDegree), false);
        QCOMPARE(session.frameCounter(), 2);
        QCOMPARE(session.writeFrame(kOneDegreeFrame, kOneDegree), true);
        QVERIFY(!session.isArmed());
        QCOMPARE(session.frameCounter(), 0);
        QCOMPARE(session.writeFrame(kOneDegreeFrame, kOneDegree), false); // idle again: ignored
        QCOMPARE(frameIdsIn(readAll(path)), QList<int>({1, 2, 3}));
        QVERIFY(readAll(path).startsWith(csvHeaderLine()));
        QVERIFY(session.errorString().isEmpty());

        // A frame count of 0 would never be reached: it exports one frame.
        QVERIFY(session.arm(path, 0, 0.0f, 360.0f, {5}));
        QCOMPARE(session.writeFrame(kOneDegreeFrame, kOneDegree), true);
        QCOMPARE(frameIdsIn(readAll(path)), QList<int>({1}));

        // Frozen display: the one frame is written at once, whatever the count.
        QVERIFY(session.arm(path, 5, 0.0f, 360.0f, {5}));
        QVERIFY(session.writeFinalFrame(kOneDegreeFrame, kOneDegree));
        QVERIFY(!session.isArmed());
        QCOMPARE(frameIdsIn(readAll(path)), QList<int>({1}));
    }

    void newExportClosesTheEarlierFile()
    {
        QTemporaryDir dir;
        CsvExportSession session;
        QVERIFY(session.arm(dir.filePath("first.csv"), 10, 0.0f, 360.0f, {5}));
        QVERIFY(!session.writeFrame(kOneDegreeFrame, kOneDegree));
        QVERIFY(session.arm(dir.filePath("second.csv"), 2, 0.0f, 360.0f, {5}));
        QCOMPARE(frameIdsIn(readAll(dir.filePath("first.csv"))), QList<int>({1})); // complete on disk
        QVERIFY(!session.writeFrame(kOneDegreeFrame, kOneDegree));
        QVERIFY(session.writeFrame(kOneDegreeFrame, kOneDegree));
        QCOMPARE(frameIdsIn(readAll(dir.filePath("second.csv"))), QList<int>({1, 2}));
    }

    void failuresAreReported()
    {
        QTemporaryDir dir;
        CsvExportSession session;
        QVERIFY(!session.arm(dir.filePath("missing/x.csv"), 3, 0.0f, 360.0f, {5}));
        QVERIFY(!session.isArmed());
        QVERIFY(session.errorString().contains("missing/x.csv"));
        QVERIFY(!session.writeFrame(kOneDegreeFrame, kOneDegree));
        QVERIFY(!session.arm(QString(), 3, 0.0f, 360.0f, {5}));

        if (!QFile::exists("/dev/full"))
            QSKIP("no device that refuses writes");
        QVERIFY(session.arm("/dev/full", 1, 0.0f, 360.0f, {5}));
        QVERIFY(session.writeFrame(kOneDegreeFrame, kOneDegree));
        QVERIFY(!session.isArmed());
        QVERIFY(!session.errorString().isEmpty());
    }

    void selectionExportWritesTheSelectedPoints()
    {
        // The export's header and lines, only for the selected points.
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QCOMPARE(writeCsvSelection(&buffer, kOneDegreeFrame, kSelectedInOneDegreeFrame, kOneDegree), qint64(2));
        const QString expected = QString::fromLatin1(csvHeaderLine())
                                 + "1,1.0084,0.0463165,-0.275637,10,0,358,1,1000,1000\n"
                                   "1,2.4624,-0.0533675,-0.647047,13,2,1.5,2.5,1003,1003\n";
        QCOMPARE(QString::fromLatin1(buffer.data()), expected);

        QTemporaryDir dir;
        QString error;
        QCOMPARE(writeCsvSelection(dir.filePath("selection.csv"), kOneDegreeFrame, kSelectedInOneDegreeFrame, kOneDegree,
                                   &error),
                 qint64(2));
        QCOMPARE(readAll(dir.filePath("selection.csv")), expected);
        QVERIFY(error.isEmpty());
        QCOMPARE(writeCsvSelection(dir.filePath("missing/selection.csv"), kOneDegreeFrame, kSelectedInOneDegreeFrame,
                                   kOneDegree, &error),
                 qint64(-1));
        QVERIFY(error.contains("missing/selection.csv"));
    }

    void liveListingPlacesFourPointsPerChannel()
    {
        QMap<int, QStringList> rows;
        PointListing listing([&](int row, const QStringList& texts) { rows[row] = texts; });
        CloudParameters params;
        params.channelEnabled[3] = false;
        const LidarData frame = frameOf({
            {3, 400, 45.0f, 1, 1},
            {5, 400, 45.0f, 77, 1234567}, {5, 0, 45.0f, 0, 0}, // no return: not listed
            {5, 400, 46.0f, 2, 2}, {5, 400, 47.0f, 3, 3}, {5, 400, 48.0f, 4, 4}, {5, 400, 49.0f, 5, 5},
        });
        const CloudBuilder::PointVisitor visit = [&](const ConvertedPoint& p) { listing.addPoint(p); };
        CloudResult result;
        for (int frameNo = 0; frameNo < 2; ++frameNo) { // the rows are rewritten, not appended
            listing.beginFrame(false);
            CloudBuilder().build(frame, params, result, &visit);
        }
        QCOMPARE(rows.keys(), QList<int>({20, 21, 22, 23}));
        QCOMPARE(rows[20], QStringList({"0", "0.7486 -0.7329 0.0349", "45.000", "1.0000", "77", "5", "1234567", "1234567"}));
        for (int k = 1; k < 4; ++k) {
            QCOMPARE(rows[20 + k][0], QString::number(k));
            QCOMPARE(rows[20 + k][4], QString::number(k + 1));
        }
    }

    void selectionListingShowsTheFramesSelectedPoints()
    {
        QMap<int, QStringList> rows;
        QList<int> written;
        PointListing listing([&](int row, const QStringList& texts) {
            rows[row] = texts;
            written.append(row);
        });
        ConvertedPoint outside = selectedPoint(-1);
        outside.inSelection = false;
        listing.beginFrame(true);
        for (int n = 0; n < 45; ++n) {
            listing.addPoint(selectedPoint(n));
            listing.addPoint(outside); // neither kept nor listed while a selection is active
        }
        QCOMPARE(listing.selectedPoints().size(), std::size_t(45));
        QVERIFY(written.isEmpty()); // nothing until the frame's selection is complete

        // Rows 0..30 in view, each once: row i is selected point i.
        listing.listSelection(0);
        QCOMPARE(written.size(), 31);
        QCOMPARE(rows.lastKey(), 30);
        QCOMPARE(rows[4], QStringList({"4", "0.0000 0.0000 0.0000", "0.000", "0.0000", "4", "3", "0", "0"}));

        // The next frame's selection replaces it; scrolled down, rows 20..34 are in view
        // and hold that frame's points 20..34, whatever the frame before held.
        written.clear();
        listing.beginFrame(true);
        for (int n = 0; n < 35; ++n)
            listing.addPoint(selectedPoint(100 + n));
        listing.listSelection(20);
        QCOMPARE(written, (QList<int>{20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34}));
        QCOMPARE(rows[20][4], QString("120"));
        QCOMPARE(listing.selectedPoints().size(), std::size_t(35));
    }

    void pausedListingKeepsTheAzimuthUnwrapped()
    {
        QMap<int, QStringList> rows;
        PointListing listing([&](int row, const QStringList& texts) { rows[row] = texts; });
        const LidarData frame = frameOf({
            {0, 400, 1.0f, 0, 0},
            {0, 40000, 1.0f, 0, 0},
            {2, 1000, 359.5f, 0, 0},
        });
        listing.beginFrame(true);
        listing.addPoint(selectedPoint(0, 0, 0)); // what the view selected: not the return at 100 m
        listing.addPoint(selectedPoint(0, 2, 0));
        QCOMPARE(listing.listPaused(frame, kOneDegree), 2);
        QCOMPARE(rows[0], QStringList({"0", "1.0084 0.0463 -0.2756", "-2.000", "1.0000", "0", "0", "0", "0"}));
        QCOMPARE(rows[1], QStringList({"1", "2.4624 -0.0534 -0.6470", "361.500", "2.5000", "0", "2", "0", "0"}));
    }
};

QTEST_GUILESS_MAIN(CsvExportTest)
#include "CsvExportTest.moc"
