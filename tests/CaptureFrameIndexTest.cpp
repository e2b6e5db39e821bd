// The frame index and seeking: every frame reached through the index is the frame forward
// play gave, with the calibration forward play gave it, on a capture with dual echo, changing
// offset and vertical angles, a damaged record in the middle and a truncated end; the player
// thread seeks and plays backward through it.

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoPacket.h"
#include "acquisition/ReadLiveOffDataK32.h"
#include "records/AngleValues.h"
#include "records/MetaTypes.h"
#include "support/CaptureBuilder.h"
#include "support/DeviceInfoBuilder.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

using namespace hvk32;
using Event = CapturePlayerCore::Event;
using Direction = CapturePlayerCore::Direction;

namespace {

bool sameFrame(const LidarData& a, const LidarData& b)
{
    return a.blockAzimuths == b.blockAzimuths && a.distances == b.distances && a.intensities == b.intensities
        && a.azimuths == b.azimuths && a.timestamps == b.timestamps;
}

struct Played {
    LidarData frame;
    DeviceCalibration calibration; // in force when it was completed
};

// The frames of forward play from the start, with the calibration in force at each.
QList<Played> playForward(CapturePlayerCore& core)
{
    QList<Played> out;
    core.start();
    for (Event e = core.next(Direction::Forward); e != Event::End; e = core.next(Direction::Forward))
        if (e == Event::Frame)
            out.append({core.frame(), core.calibration()});
    return out;
}

// The next frame of forward play from where the core is.
LidarData nextFrame(CapturePlayerCore& core)
{
    for (Event e = core.next(Direction::Forward); e != Event::End; e = core.next(Direction::Forward))
        if (e == Event::Frame)
            return core.frame();
    return {};
}

// Dual echo at 20 Hz; device-info packets with new offset angles and vertical tables (shifted
// by hundredths of a degree) between and inside frames,
// the usable one only after the first frame; a record of impossible lengths in the middle
// and a data record cut off by the end of the file.
QByteArray awkwardCapture()
{
    sim::ScannerSettings s;
    s.rpm = 1200;
    s.echo = sim::EchoMode::Dual;
    test::CaptureBuilder b(s);
    auto angles = [](int code) {
        return [code](std::uint8_t* p) {
            putBe16(p + devinfo::kOffsetAngle1, static_cast<std::uint16_t>(code));
            test::shiftVerticalAngles(p, static_cast<float>(code % 100) / 100);
        };
    };
    b.deviceInfo([](std::uint8_t* p) { p[devinfo::kBoardVersionMajor] = 1; }).revolutions(1.3);
    b.deviceInfo(angles(150)).revolutions(2.45).deviceInfo(angles(275)).revolutions(0.6);
    b.recordHeader(100, 50).raw(QByteArray(100, '\x5a')); // captured more than was sent
    b.revolutions(1.7).deviceInfo(angles(40)).revolutions(2.2);
    const QByteArray whole = b.bytes();
    test::CaptureBuilder tail(s);
    const QByteArray record = tail.data(1).bytes().mid(capturefile::kFileHeaderSize);
    return whole + record.left(700);
}

} // namespace

class CaptureFrameIndexTest : public QObject {
    Q_OBJECT

private slots:
    void seekingGivesForwardFrames()
    {
        QByteArray bytes = awkwardCapture();
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        CapturePlayerCore core;
        QVERIFY(core.open(&buffer));
        const QList<Played> forward = playForward(core);
        QVERIFY(forward.size() >= 6);
        // Played with three calibrations, the vertical tables 0.5 and 0.75 degrees apart.
        QCOMPARE(forward.first().calibration.offsetAngles[0], 1.5f);
        QCOMPARE(forward.first().calibration.verticalAngles[0], -15.5f);
        QCOMPARE(forward.last().calibration.verticalAngles[0], -15.6f);
        QVERIFY(std::any_of(forward.begin(), forward.end(),
                            [](const Played& p) { return p.calibration.verticalAngles[1] == 0.75f; }));

        CaptureFrameIndex index;
        QString message;
        QVERIFY2(index.build(&buffer, &message), qPrintable(message));
        QCOMPARE(index.frameCount(), forward.size());
        QCOMPARE(index.configuration().echoMode, QString("HVK322"));
        const CaptureFrameIndex::Summary& sum = index.summary();
        QCOMPARE(sum.dataPackets, core.dataPackets());
        QCOMPARE(sum.deviceInfoPackets, std::uint64_t(4));
        QCOMPARE(sum.damage.badLengths, std::uint64_t(1));
        QCOMPARE(sum.damage.truncatedRecords, std::uint64_t(1));
        QCOMPARE(sum.damage.truncatedOffset, core.damage().truncatedOffset);
        QVERIFY(sum.lastTime > sum.firstTime);

        // Every frame, in an order unlike play's, from a core that was elsewhere before.
        for (int n = index.frameCount(); n >= 1; n -= (n % 2 ? 3 : 1)) {
            QVERIFY(core.seek(index, n));
            const LidarData frame = nextFrame(core);
            QVERIFY2(sameFrame(frame, forward[n - 1].frame), qPrintable(QString("frame %1").arg(n)));
            QCOMPARE(core.frameCounter(), n);
            QVERIFY2(core.calibration() == forward[n - 1].calibration, qPrintable(QString("frame %1").arg(n)));
            // Going on from there gives the following frame.
            if (n < index.frameCount())
                QVERIFY(sameFrame(nextFrame(core), forward[n].frame));
        }
        QVERIFY(!core.seek(index, 0));
        QVERIFY(!core.seek(index, index.frameCount() + 1));

        // Byte positions map to the frame that starts at or before them.
        QCOMPARE(index.frameAtPosition(0), 1);
        QCOMPARE(index.frameAtPosition(index.frame(3).recordOffset), 3);
        QCOMPARE(index.frameAtPosition(index.frame(3).recordOffset - 1), 2);
        QCOMPARE(index.frameAtPosition(bytes.size()), index.frameCount());
        QVERIFY(sizeof(CaptureFrameIndex::Frame) <= 64);
    }

    void unplayableAndStopped()
    {
        CaptureFrameIndex index;
        QString message;
        QByteArray notCapture("not a capture file at all, just text");
        QBuffer buffer(&notCapture);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QVERIFY(!index.build(&buffer, &message));
        QCOMPARE(message, QString("not a capture file"));

        QByteArray bytes = awkwardCapture();
        QBuffer capture(&bytes);
        QVERIFY(capture.open(QIODevice::ReadOnly));
        QVERIFY(!index.build(&capture, &message, [](qint64, qint64) { return false; }));
        QCOMPARE(message, QString("stopped"));
        QCOMPARE(index.frameCount(), 0);
    }

    // The thread goes to a frame while paused, then steps back through the index: each
    // frame is the one forward play showed, and travels with the calibration in force there;
    // the live device's published values are left alone.
    void threadSeeksAndStepsBack()
    {
        registerRecordMetaTypes();
        QTemporaryDir dir;
        const QString path = dir.filePath("awkward.pcap");
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(awkwardCapture());
        }
        CapturePlayerCore core;
        QVERIFY(core.open(path));
        const QList<Played> forward = playForward(core);
        auto index = std::make_shared<CaptureFrameIndex>();
        QVERIFY(index->build(path));

        offsetAngle1 = -7.0f;
        verticalAngleTable[0] = 42.0f;
        ReadLiveOffDataK32 player;
        QList<LidarData> shown;
        QList<DeviceCalibration> calibrations;
        QList<int> counters;
        QObject context;
        connect(&player, &ReadLiveOffDataK32::SendData, &context, [&](const LidarData& f, const DeviceCalibration& c) {
            shown << f;
            calibrations << c;
        });
        connect(&player, &ReadLiveOffDataK32::SendProgressValue, &context, [&](int, int n) { counters << n; });
        player.setFrameIndex(index);
        player.receiveOffliveFile(path);
        player.setPause(true);
        const int target = forward.size() - 1;
        player.seekToFrame(target);
        player.start();
        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(counters, QList<int>{target});
        QVERIFY(sameFrame(shown[0], forward[target - 1].frame));
        QVERIFY(calibrations[0] == forward[target - 1].calibration);
        QVERIFY(player.isPaused());

        player.setDirection(1);
        for (int n = target - 1; n >= target - 3; --n) {
            player.setStepOnce(1);
            player.setPause(false);
            QTRY_COMPARE(counters.size(), target - n + 1);
            QTRY_VERIFY(player.isPaused());
            QCOMPARE(counters.last(), n);
            QVERIFY2(sameFrame(shown.last(), forward[n - 1].frame), qPrintable(QString("frame %1").arg(n)));
            QVERIFY(calibrations.last() == forward[n - 1].calibration);
        }
        QCOMPARE(offsetAngle1.load(), -7.0f);
        QCOMPARE(verticalAngleTable[0].load(), 42.0f);
        player.setStop(true);
        QVERIFY(player.wait(5000));
    }
};

QTEST_GUILESS_MAIN(CaptureFrameIndexTest)
#include "CaptureFrameIndexTest.moc"
