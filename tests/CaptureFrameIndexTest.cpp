// The frame index and seeking: every frame reached through the index is the frame forward
// play gave, with the calibration forward play gave it, on a capture with dual echo, changing
// offset and vertical angles, a damaged record in the middle and a truncated end; the player
// thread seeks and plays backward through it.

#include "acquisition/CaptureFrameIndex.h"
#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoPacket.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "records/AngleValues.h"
#include "records/MetaTypes.h"
#include "sim/PacketImpairment.h"
#include "support/CaptureBuilder.h"
#include "support/DeviceInfoBuilder.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <QPair>

#include <algorithm>
#include <set>
#include <vector>

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
    FrameTime time;
};

// The frames of forward play from the start, with the calibration in force at each.
QList<Played> playForward(CapturePlayerCore& core)
{
    QList<Played> out;
    core.start();
    for (Event e = core.next(Direction::Forward); e != Event::End; e = core.next(Direction::Forward))
        if (e == Event::Frame)
            out.append({core.frame(), core.calibration(), core.frameTime()});
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

QList<LidarData> framesOf(QByteArray bytes, Direction direction = Direction::Forward)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    CapturePlayerCore core;
    QList<LidarData> out;
    if (!core.open(&buffer))
        return out;
    core.start();
    if (direction == Direction::Backward) // from the last record on
        while (core.position() + qint64(capturefile::kScannerRecordSize) < core.fileLength())
            core.next(Direction::Forward);
    for (Event e = core.next(direction); e != Event::End; e = core.next(direction))
        if (e == Event::Frame)
            out.append(core.frame());
    return out;
}

// The index of a capture has the frames forward play gave, and seeking to each gives it.
void checkIndexAgrees(QByteArray bytes, const QList<LidarData>& forward)
{
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    CaptureFrameIndex index;
    QVERIFY(index.build(&buffer));
    QCOMPARE(index.frameCount(), forward.size());
    CapturePlayerCore core;
    QVERIFY(core.open(&buffer));
    for (int n = 1; n <= index.frameCount(); ++n) {
        QVERIFY(core.seek(index, n));
        const LidarData got = nextFrame(core);
        QVERIFY2(sameFrame(got, forward[n - 1]), qPrintable(QString("frame %1: %2 blocks, %3 forward; starts at %4 block %5, early %6").arg(n).arg(got.blockAzimuths.size()).arg(forward[n - 1].blockAzimuths.size()).arg(index.frame(n).recordOffset).arg(index.frame(n).block).arg(index.frame(n).earlyBytes)));
    }
}

// The frame without the blocks of lost packets; `first` is the number of its first block
// in the whole stream, 12 blocks a packet.
LidarData withoutLost(const LidarData& f, std::size_t first, const std::set<int>& lost)
{
    LidarData out = LidarData::empty();
    for (std::size_t b = 0; b < f.blockAzimuths.size(); ++b) {
        if (lost.count(static_cast<int>((first + b) / datapacket::kBlocksPerPacket)))
            continue;
        out.blockAzimuths.push_back(f.blockAzimuths[b]);
        for (std::size_t c = 0; c < out.distances.size(); ++c) {
            out.distances[c].push_back(f.distances[c][b]);
            out.intensities[c].push_back(f.intensities[c][b]);
            out.azimuths[c].push_back(f.azimuths[c][b]);
            out.timestamps[c].push_back(f.timestamps[c][b]);
        }
    }
    return out;
}

} // namespace

class CaptureFrameIndexTest : public QObject {
    Q_OBJECT

private slots:
    // The cutter closes a frame on a range of raw azimuths worked out per reference: it must
    // hold exactly the azimuths the float rule finds near it, at both ends, for every one.
    void nearRangeFollowsTheAngleRule()
    {
        int mismatches = 0;
        QString first;
        for (int r = 0; r < FrameCutter::kTurn; ++r) {
            const FrameCutter::Range near = FrameCutter::nearRange(std::uint16_t(r));
            const float reference = decodeBlockAzimuth(std::uint16_t(r));
            for (int u = std::max(0, r - 150); u <= std::min(FrameCutter::kTurn - 1, r + 150); ++u) {
                const bool inRange = u >= near.first && u <= near.last;
                if (inRange != FrameCutter::nearReference(reference, decodeBlockAzimuth(std::uint16_t(u)))
                    && mismatches++ == 0)
                    first = QStringLiteral("reference %1, azimuth %2").arg(r).arg(u);
            }
        }
        QVERIFY2(mismatches == 0, qPrintable(first));
    }

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

    void lostPacketsNeverMergeRevolutions_data()
    {
        QTest::addColumn<int>("rpm");
        QTest::addColumn<bool>("dual");
        QTest::addColumn<QList<int>>("lost"); // data packets lost, numbered from 0
        QTest::addColumn<double>("lossPercent"); // and more lost by the simulator's impairment
        // 150 packets a turn in both modes: packet 150 k holds azimuth 0 of turn k + 1, where
        // the frames close.
        QTest::newRow("wrap packet") << 600 << false << QList<int>{300} << 0.0;
        QTest::newRow("two packets in a row") << 600 << false << QList<int>{449, 450} << 0.0;
        QTest::newRow("packet before the wrap") << 600 << false << QList<int>{299} << 0.0;
        QTest::newRow("wrap packet, dual echo") << 1200 << true << QList<int>{300, 750} << 0.0;
        QTest::newRow("6 % lost") << 600 << false << QList<int>{} << 6.0;
    }

    // A capture with lost packets gives the frames of the same capture without the loss,
    // less the lost blocks: no frame runs into the next revolution, forward, through the
    // index or backward.
    void lostPacketsNeverMergeRevolutions()
    {
        QFETCH(int, rpm);
        QFETCH(bool, dual);
        QFETCH(QList<int>, lost);
        QFETCH(double, lossPercent);
        sim::ScannerSettings s;
        s.rpm = rpm;
        s.echo = dual ? sim::EchoMode::Dual : sim::EchoMode::Single;
        s.clockStart = sim::ClockTime{};
        constexpr int kPackets = 150 * 10 + 40;
        std::set<int> dropped(lost.begin(), lost.end());
        sim::PacketImpairment impairment(lossPercent, 0, 0);
        auto drop = [&](int k, const std::uint8_t* packet) {
            bool passed = lossPercent == 0;
            if (!passed)
                impairment.pass(packet, [&](const std::uint8_t*) { return passed = true; });
            if (!passed)
                dropped.insert(k);
            return dropped.count(k) > 0;
        };
        const QByteArray sound = test::CaptureBuilder(s).deviceInfo().data(kPackets).bytes();
        const QByteArray lossy = test::CaptureBuilder(s).deviceInfo().dataExcept(kPackets, drop).bytes();
        if (lossPercent > 0)
            QVERIFY(std::count_if(dropped.begin(), dropped.end(), [](int k) { return k > 0 && k % 150 == 0; }) >= 1);

        const QList<LidarData> expected = framesOf(sound);
        const QList<LidarData> got = framesOf(lossy);
        QCOMPARE(expected.size(), 10);
        QCOMPARE(got.size(), expected.size());
        std::size_t first = 0;
        for (int n = 0; n < got.size(); ++n) {
            QVERIFY2(sameFrame(got[n], withoutLost(expected[n], first, dropped)), qPrintable(QString("frame %1").arg(n + 1)));
            first += expected[n].blockAzimuths.size();
        }
        checkIndexAgrees(lossy, got);
        if (QTest::currentTestFailed())
            return;
        // Backward, frames end where the turn comes back too: none is longer than a turn.
        const QList<LidarData> backward = framesOf(lossy, Direction::Backward);
        QVERIFY(backward.size() >= expected.size() - 1);
        for (const LidarData& f : backward)
            QVERIFY(f.blockAzimuths.size() <= 1800 + datapacket::kBlocksPerPacket);
    }

    void straysLeaveTheFrames_data()
    {
        QTest::addColumn<bool>("dual");
        using Moves = QList<QPair<int, int>>;
        QTest::addColumn<Moves>("copies");      // (after packet, packet copied there)
        QTest::addColumn<Moves>("moves");       // (after packet, packet moved there)
        QTest::addColumn<QList<int>>("counts"); // duplicates, out of order, lost
        // 150 packets a turn: packet 160 lies about 100 degrees ahead of packet 120.
        QTest::newRow("copy 100 degrees ahead") << false << Moves{{120, 160}} << Moves{} << QList<int>{1, 0, 0};
        QTest::newRow("copy 30 degrees ahead") << false << Moves{{120, 132}} << Moves{} << QList<int>{1, 0, 0};
        QTest::newRow("copies from around the turn")
            << false << Moves{{310, 312}, {420, 425}, {560, 620}, {700, 775}, {860, 960}, {1010, 1149}, {1300, 1250}}
            << Moves{} << QList<int>{7, 0, 0};
        QTest::newRow("copy at the wrap") << false << Moves{{298, 300}, {449, 451}} << Moves{} << QList<int>{2, 0, 0};
        QTest::newRow("every tenth sent twice") << false << Moves{} << Moves{} << QList<int>{154, 0, 0};
        QTest::newRow("dual echo copy ahead") << true << Moves{{120, 160}, {700, 701}} << Moves{}
                                              << QList<int>{2, 0, 0};
        QTest::newRow("moved ahead") << false << Moves{} << Moves{{120, 160}, {590, 600}} << QList<int>{0, 2, 0};
        QTest::newRow("swapped with the next") << true << Moves{} << Moves{{299, 298}, {1001, 1000}}
                                               << QList<int>{0, 2, 0};
    }

    // A capture with stray copies of packets, packets sent twice, or packets that came early,
    // gives the frames of the clean capture, forward and through the index, and counts each
    // stray once.
    void straysLeaveTheFrames()
    {
        QFETCH(bool, dual);
        using Moves = QList<QPair<int, int>>;
        QFETCH(Moves, copies);
        QFETCH(Moves, moves);
        QFETCH(QList<int>, counts);
        sim::ScannerSettings s;
        s.rpm = dual ? 1200 : 600;
        s.echo = dual ? sim::EchoMode::Dual : sim::EchoMode::Single;
        constexpr int kPackets = 150 * 10 + 40;
        sim::ScannerStream stream(s);
        std::vector<test::CaptureBuilder::Payload> packets(kPackets);
        for (auto& p : packets)
            stream.nextDataPacket(p.data());
        const bool twice = copies.isEmpty() && moves.isEmpty();
        std::set<int> moved;
        for (const auto& m : moves)
            moved.insert(m.second);
        test::CaptureBuilder sound(s), spoiled(s);
        sound.deviceInfo();
        spoiled.deviceInfo();
        for (int k = 0; k < kPackets; ++k) {
            const auto send = [&](int n) { spoiled.udp(packets[n].data(), packets[n].size(), s.dataPort); };
            sound.udp(packets[k].data(), packets[k].size(), s.dataPort);
            if (!moved.count(k))
                send(k);
            if (twice && k % 10 == 5)
                send(k);
            for (const auto& c : copies)
                if (c.first == k)
                    send(c.second);
            for (const auto& m : moves)
                if (m.first == k)
                    send(m.second);
        }
        const QList<LidarData> expected = framesOf(sound.bytes());
        const QList<LidarData> got = framesOf(spoiled.bytes());
        QCOMPARE(expected.size(), 10);
        QCOMPARE(got.size(), expected.size());
        for (int n = 0; n < got.size(); ++n)
            QVERIFY2(sameFrame(got[n], expected[n]), qPrintable(QString("frame %1: %2 blocks, %3 expected").arg(n + 1)
                                                              .arg(got[n].blockAzimuths.size())
                                                              .arg(expected[n].blockAzimuths.size())));
        checkIndexAgrees(spoiled.bytes(), got);
        QByteArray bytes = spoiled.bytes();
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        CaptureFrameIndex index;
        QVERIFY(index.build(&buffer));
        const StreamHealth& h = index.summary().health;
        QCOMPARE(QList<int>({int(h.duplicatePackets), int(h.outOfOrderPackets), int(h.lostPackets)}), counts);
    }

    void damagedRecordInTheMiddle_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<int>>("lost"); // data packets whose records are passed over
        QTest::addColumn<int>("places");      // damaged places found
        QTest::addColumn<int>("skippedBytes");
        QTest::addColumn<QString>("says");

        sim::ScannerSettings s;
        s.clockStart = sim::ClockTime{};
        const QByteArray sound = test::CaptureBuilder(s).deviceInfo().data(150 * 19 + 40).bytes();
        // Record 100 after the device-info record holds data packet 99.
        const int at = int(capturefile::kFileHeaderSize + 100 * capturefile::kScannerRecordSize);
        auto word = [&](int offset, std::uint32_t v) {
            QByteArray b = sound;
            putLe32(reinterpret_cast<std::uint8_t*>(b.data()) + at + offset, v);
            return b;
        };
        const QString one = QString("skipped %1 damaged bytes at offset %2");
        QTest::newRow("captured length zeroed") << word(capturefile::kCapturedLengthOffset, 0) << QList<int>{99} << 1
                                                << 1264 << one.arg(1264).arg(at);
        QTest::newRow("original length zeroed") << word(capturefile::kOriginalLengthOffset, 0) << QList<int>{99} << 0
                                                << 0 << QString("1 record(s) with impossible lengths");
        QTest::newRow("byte inserted in the data") << QByteArray(sound).insert(at + 700, 'x') << QList<int>{99} << 1
                                                   << 1265 << one.arg(1265).arg(at);
        QTest::newRow("byte inserted in the header") << QByteArray(sound).insert(at + 6, 'x') << QList<int>{99} << 1
                                                     << 1265 << one.arg(1265).arg(at);
        QTest::newRow("byte lost") << QByteArray(sound).remove(at + 700, 1) << QList<int>{99} << 1 << 1263
                                   << one.arg(1263).arg(at);
        QTest::newRow("4 KiB zeroed") << QByteArray(sound).replace(at, 4096, QByteArray(4096, 0))
                                      << QList<int>{99, 100, 101, 102} << 1 << 4 * 1264 << one.arg(4 * 1264).arg(at);
        QTest::newRow("end cut off") << sound.chopped(100) << QList<int>{} << 0 << 0
                                     << QString("dropped the last record, cut off by the end of the file at offset %1")
                                            .arg(sound.size() - capturefile::kScannerRecordSize);
    }

    // A damaged record in the middle of a capture loses that record only: the player, the
    // index and seeking all go on with the next one and agree on every frame.
    void damagedRecordInTheMiddle()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<int>, lost);
        QFETCH(int, places);
        QFETCH(int, skippedBytes);
        QFETCH(QString, says);
        sim::ScannerSettings s;
        s.clockStart = sim::ClockTime{};
        const QList<LidarData> sound = framesOf(test::CaptureBuilder(s).deviceInfo().data(150 * 19 + 40).bytes());
        QCOMPARE(sound.size(), 19);

        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        CapturePlayerCore core;
        QVERIFY(core.open(&buffer));
        QList<LidarData> got;
        for (const Played& p : playForward(core))
            got << p.frame;
        QCOMPARE(got.size(), sound.size());
        const std::set<int> dropped(lost.begin(), lost.end());
        std::size_t first = 0;
        for (int n = 0; n < got.size(); ++n) {
            QVERIFY2(sameFrame(got[n], withoutLost(sound[n], first, dropped)), qPrintable(QString("frame %1").arg(n + 1)));
            first += sound[n].blockAzimuths.size();
        }
        const capturefile::Damage& damage = core.damage();
        QCOMPARE(int(damage.damagedPlaces), places);
        QCOMPARE(int(damage.skippedBytes), skippedBytes);
        const QString text = capturefile::describeDamage(damage);
        QVERIFY2(text.contains(says), qPrintable(text));
        QVERIFY2(places == 0 || !text.contains("last record"), qPrintable(text));

        checkIndexAgrees(bytes, got);
        CaptureFrameIndex index;
        QVERIFY(index.build(&buffer));
        QCOMPARE(capturefile::describeDamage(index.summary().damage), text);
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
        QList<FrameTime> times;
        connect(&player, &ReadLiveOffDataK32::SendFrameTime, &context,
                [&](qint64 capture, quint32 device) { times << FrameTime{capture, device}; });
        int atStart = 0;
        connect(&player, &ReadLiveOffDataK32::SendReachedStart, &context, [&]() { ++atStart; });
        bool finished = false;
        connect(&player, &ReadLiveOffDataK32::SendFinsh, &context, [&]() { finished = true; });
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
            // The frame's times are those forward play gave it: capture and device clock.
            QCOMPARE(times.last().captureMicros, forward[n - 1].time.captureMicros);
            QCOMPARE(times.last().deviceStamp, forward[n - 1].time.deviceStamp);
        }
        QVERIFY(forward[1].time.captureMicros > forward[0].time.captureMicros);

        // Playing backward stops at frame 1, paused, with the run still there; forward play
        // then goes on from it.
        player.setPause(false);
        QTRY_COMPARE(atStart, 1);
        QVERIFY(player.isPaused() && player.isRunning() && !finished);
        QCOMPARE(counters.last(), 1);
        QVERIFY(sameFrame(shown.last(), forward[0].frame));
        player.setStepOnce(1);
        player.setPause(false); // a step back from frame 1 stays there
        QTRY_COMPARE(atStart, 2);
        QCOMPARE(counters.last(), 1);
        player.setDirection(0);
        player.setStepOnce(1);
        player.setPause(false);
        QTRY_COMPARE(counters.last(), 2);
        QVERIFY(sameFrame(shown.last(), forward[1].frame));
        QVERIFY(!finished);

        // Gone to the last frame, the run waits there for a step back; playing on ends it.
        const int last = forward.size();
        player.seekToFrame(last);
        QTRY_COMPARE(counters.last(), last);
        QTest::qWait(50);
        QVERIFY(!finished && player.isRunning());
        player.setDirection(1);
        player.setStepOnce(1);
        player.setPause(false);
        QTRY_COMPARE(counters.last(), last - 1);
        QVERIFY(sameFrame(shown.last(), forward[last - 2].frame));
        player.setDirection(0);
        player.setPause(false);
        QTRY_VERIFY(finished);
        QCOMPARE(offsetAngle1.load(), -7.0f);
        QCOMPARE(verticalAngleTable[0].load(), 42.0f);
        player.setStop(true);
        QVERIFY(player.wait(5000));
    }
};

QTEST_GUILESS_MAIN(CaptureFrameIndexTest)
#include "CaptureFrameIndexTest.moc"
