// Lost, duplicated and out-of-order packets and short revolutions, found in simulator
// streams spoiled at known places, at every speed in single and dual echo.

#include "acquisition/DataPacket.h"
#include "acquisition/PacketLossDetector.h"
#include "sim/PacketImpairment.h"
#include "sim/ScannerStream.h"

#include <QtTest>

#include <array>
#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <vector>

using namespace hvk32;
using namespace hvk32::sim;

namespace {

using Packet = std::array<std::uint8_t, datapacket::kPacketSize>;
constexpr int kClose = -1; // in an arrival order: a frame is completed here

std::vector<Packet> packets(ScannerStream& stream, int count)
{
    std::vector<Packet> out(static_cast<std::size_t>(count));
    for (Packet& p : out)
        stream.nextDataPacket(p.data());
    return out;
}

int packetsPerTurn(const ScannerStream& stream)
{
    return stream.blocksPerRevolution() * (stream.settings().echo == EchoMode::Dual ? 2 : 1) / 12;
}

ScannerSettings settingsFor(int rpm, bool dual)
{
    ScannerSettings s;
    s.rpm = rpm;
    s.echo = dual ? EchoMode::Dual : EchoMode::Single;
    s.clockStart = ClockTime{2026, 1, 1, 10, 0, 0};
    return s;
}

} // namespace

class StreamHealthTest : public QObject {
    Q_OBJECT

    static void speedsAndEchoes()
    {
        QTest::addColumn<int>("rpm");
        QTest::addColumn<bool>("dual");
        for (int rpm : {300, 600, 1200})
            for (bool dual : {false, true})
                QTest::newRow(qPrintable(QString("%1 rpm %2").arg(rpm).arg(dual ? "dual" : "single"))) << rpm << dual;
    }

private slots:
    void cleanStreamCountsNothing_data() { speedsAndEchoes(); }
    void cleanStreamCountsNothing()
    {
        QFETCH(int, rpm);
        QFETCH(bool, dual);
        ScannerStream stream(settingsFor(rpm, dual));
        const int turn = packetsPerTurn(stream);
        PacketLossDetector detector; // echo mode told by the packets themselves
        for (const Packet& p : packets(stream, 4 * turn + 3))
            detector.addPacket(p.data());
        const StreamHealth& h = detector.health();
        QCOMPARE(h.packets, std::uint64_t(4 * turn + 3));
        QCOMPARE(h.lostPackets, std::uint64_t(0));
        QCOMPARE(h.duplicatePackets, std::uint64_t(0));
        QCOMPARE(h.outOfOrderPackets, std::uint64_t(0));
        QCOMPARE(h.shortFrames, std::uint64_t(0));
        QCOMPARE(h.revolutions, std::uint64_t(3)); // between the 4 wraps seen
        QVERIFY(qAbs(h.revolutionsPerSecond - rpm / 60.0) < 0.01);
        QCOMPARE(h.lostPercent(), 0.0);
    }

    // Two packets dropped in the second revolution, one duplicated in the third, two swapped
    // in the fourth, one dropped right after a wrap.
    void spoiledAtKnownPlaces_data() { speedsAndEchoes(); }
    void spoiledAtKnownPlaces()
    {
        QFETCH(int, rpm);
        QFETCH(bool, dual);
        ScannerStream stream(settingsFor(rpm, dual));
        const int turn = packetsPerTurn(stream);
        const std::vector<Packet> all = packets(stream, 6 * turn);
        const std::set<int> dropped = {turn + 5, turn + 6, 4 * turn};
        const int duplicated = 2 * turn + 7, swapped = 3 * turn + 9;
        PacketLossDetector detector;
        detector.setConfiguration(dual ? SensorConfig::DualEcho : SensorConfig::SingleEcho);
        for (int k = 0; k < int(all.size()); ++k) {
            if (dropped.count(k))
                continue;
            const int index = k == swapped ? k + 1 : k == swapped + 1 ? k - 1 : k;
            detector.addPacket(all[index].data());
            if (k == duplicated)
                detector.addPacket(all[index].data());
        }
        const StreamHealth& h = detector.health();
        QCOMPARE(h.lostPackets, std::uint64_t(3));
        QCOMPARE(h.duplicatePackets, std::uint64_t(1));
        QCOMPARE(h.outOfOrderPackets, std::uint64_t(1));
        QCOMPARE(h.shortFrames, std::uint64_t(2)); // the second and the fifth revolution
        QCOMPARE(h.revolutions, std::uint64_t(4));
        QCOMPARE(h.packets, std::uint64_t(6 * turn - 3 + 1));
        QVERIFY(qAbs(h.lostPercent() - 100.0 * 3 / (6 * turn)) < 1e-9);
    }

    // What the simulator's impairment does is exactly what the detector finds, also across
    // the hourly wrap of the time stamps.
    void simulatorImpairmentIsFoundExactly_data()
    {
        QTest::addColumn<bool>("dual");
        QTest::addColumn<double>("loss");
        QTest::addColumn<double>("duplicate");
        QTest::addColumn<double>("reorder");
        QTest::newRow("single, 1 % lost") << false << 1.0 << 0.0 << 0.0;
        QTest::newRow("dual, 1 % lost") << true << 1.0 << 0.0 << 0.0;
        QTest::newRow("single, all three") << false << 2.0 << 1.0 << 1.0;
        QTest::newRow("dual, all three") << true << 2.0 << 1.0 << 1.0;
    }
    void simulatorImpairmentIsFoundExactly()
    {
        QFETCH(bool, dual);
        QFETCH(double, loss);
        QFETCH(double, duplicate);
        QFETCH(double, reorder);
        ScannerSettings settings = settingsFor(600, dual);
        settings.clockStart = ClockTime{2026, 1, 1, 10, 59, 58}; // time stamps wrap after 2 s
        ScannerStream stream(settings);
        PacketImpairment impairment(loss, duplicate, reorder);
        PacketLossDetector detector;
        detector.setConfiguration(dual ? SensorConfig::DualEcho : SensorConfig::SingleEcho);
        const auto feed = [&](const std::uint8_t* p) {
            detector.addPacket(p);
            return true;
        };
        const int sent = int(stream.dataPacketsPerSecond()) * 4;
        Packet p;
        for (int k = 0; k < sent; ++k) {
            stream.nextDataPacket(p.data());
            impairment.pass(p.data(), feed);
        }
        impairment.flush(feed);
        const StreamHealth& h = detector.health();
        QVERIFY(impairment.dropped() > 0);
        QCOMPARE(h.lostPackets, impairment.dropped());
        QCOMPARE(h.duplicatePackets, impairment.duplicated());
        QCOMPARE(h.outOfOrderPackets, impairment.reordered());
        QCOMPARE(h.expectedPackets(), std::uint64_t(sent));
        QVERIFY(qAbs(h.lostPercent() - loss) < 0.5); // the draw is near the percentage asked for
    }

    // Crafted orders of 3000 packets (2 s at 1200 rpm, 75 a revolution), a frame closed
    // after every revolution: a lone packet far from the stream does not move it, a late copy
    // is a duplicate, a burst of losses and a restart are told from strays, and the losses at
    // each frame's close only grow.
    void craftedOrders_data()
    {
        QTest::addColumn<QVector<int>>("order"); // packet numbers in arrival order; kClose closes a frame
        QTest::addColumn<QVector<int>>("counts"); // lost, duplicate, out of order, late
        QTest::addColumn<int>("expected");        // packets the device sent while watched
        const auto stream = [](const std::function<void(QVector<int>&, int)>& at) {
            QVector<int> order;
            for (int k = 0; k < 3000; ++k) {
                at(order, k);
                if (k % 75 == 74 && !order.isEmpty() && order.back() == k)
                    order << kClose;
            }
            return order;
        };
        QTest::newRow("clean") << stream([](QVector<int>& o, int k) { o << k; }) << QVector<int>{0, 0, 0, 0} << 3000;
        QTest::newRow("copy 900 ahead") << stream([](QVector<int>& o, int k) {
            o << k;
            if (k == 1000)
                o << 1900;
        }) << QVector<int>{0, 1, 0, 0} << 3000;
        QTest::newRow("moved 900 ahead") << stream([](QVector<int>& o, int k) {
            if (k != 1900)
                o << k;
            if (k == 1000)
                o << 1900;
        }) << QVector<int>{0, 0, 1, 0} << 3000;
        QTest::newRow("copy 900 behind") << stream([](QVector<int>& o, int k) {
            o << k;
            if (k == 1000)
                o << 100;
        }) << QVector<int>{0, 1, 0, 0} << 3000;
        QTest::newRow("copy 2 s behind") << stream([](QVector<int>& o, int k) {
            o << k;
            if (k == 2950)
                o << 10;
        }) << QVector<int>{0, 0, 1, 1} << 3000;
        QTest::newRow("copy 1.9 s ahead") << stream([](QVector<int>& o, int k) {
            o << k;
            if (k == 50)
                o << 2900;
        }) << QVector<int>{0, 0, 1, 1} << 3000;
        QTest::newRow("burst of 50 lost") << stream([](QVector<int>& o, int k) {
            if (k < 1000 || k >= 1050)
                o << k;
        }) << QVector<int>{50, 0, 0, 0} << 3000;
        QTest::newRow("burst, then two swapped") << stream([](QVector<int>& o, int k) {
            if (k == 1050)
                o << 1051 << 1050;
            else if (k < 1000 || k > 1051)
                o << k;
        }) << QVector<int>{50, 0, 1, 0} << 3000;
        QTest::newRow("silence of 1.1 s") << stream([](QVector<int>& o, int k) {
            if (k < 1000 || k >= 2650)
                o << k;
        }) << QVector<int>{0, 0, 0, 0} << 1350;
        QTest::newRow("swapped inside a frame") << stream([](QVector<int>& o, int k) {
            o << (k == 1000 ? 1001 : k == 1001 ? 1000 : k);
        }) << QVector<int>{0, 0, 1, 0} << 3000;
        // The frame closed without 1049: it stays lost there, and its late arrival is out of order.
        QTest::newRow("late across a frame's close") << stream([](QVector<int>& o, int k) {
            if (k == 1049)
                o << 1050 << 1051 << kClose << 1049;
            else if (k != 1050 && k != 1051)
                o << k;
        }) << QVector<int>{1, 0, 1, 1} << 3000;
        // Came early: held until the next packet fills the place before it.
        QTest::newRow("one early, inside a frame") << stream([](QVector<int>& o, int k) {
            if (k == 1000)
                o << 1001 << 1000;
            else if (k != 1001)
                o << k;
        }) << QVector<int>{0, 0, 1, 0} << 3000;
        QTest::newRow("lost, then found inside the frame") << stream([](QVector<int>& o, int k) {
            if (k == 1001)
                o << 1002 << 1003 << 1001;
            else if (k != 1002 && k != 1003)
                o << k;
        }) << QVector<int>{0, 0, 1, 0} << 3000;
        QTest::newRow("copy 12 ahead, then 13 sent twice") << stream([](QVector<int>& o, int k) {
            o << k;
            if (k == 1000)
                o << 1012;
            if (k == 1013)
                o << 1013;
        }) << QVector<int>{0, 2, 0, 0} << 3000;
    }
    void craftedOrders()
    {
        QFETCH(QVector<int>, order);
        QFETCH(QVector<int>, counts);
        QFETCH(int, expected);
        ScannerStream stream(settingsFor(1200, false));
        const std::vector<Packet> all = packets(stream, 3000);
        std::map<std::uint32_t, int> numberOf; // by time stamp
        for (int k = 0; k < int(all.size()); ++k)
            numberOf[datapacket::timestampRaw(all[std::size_t(k)].data())] = k;
        PacketLossDetector detector;
        std::uint64_t lostAtClose = 0;
        std::vector<int> taken; // the packets handed out to decode, in that order
        for (int k : order) {
            if (k != kClose) {
                detector.addPacket(all[std::size_t(k)].data());
                for (const TakenPacket& t : detector.taken())
                    taken.push_back(numberOf.at(datapacket::timestampRaw(t.bytes)));
                continue;
            }
            detector.closeFrame();
            QVERIFY(detector.health().lostPackets >= lostAtClose); // no frame takes back another's loss
            lostAtClose = detector.health().lostPackets;
        }
        const StreamHealth& h = detector.health();
        QCOMPARE(QVector<int>({int(h.lostPackets), int(h.duplicatePackets), int(h.outOfOrderPackets),
                               int(h.latePackets)}),
                 counts);
        QCOMPARE(h.expectedPackets(), std::uint64_t(expected));
        // Each packet is decoded once, every one that has its place in the stream; in the
        // stream's order, but for a packet found after the stream went past it (decoded where
        // it arrives, in the frame under way).
        QCOMPARE(std::set<int>(taken.begin(), taken.end()).size(), taken.size());
        QCOMPARE(std::uint64_t(taken.size()), h.expectedPackets() - h.lostPackets);
        if (QByteArray(QTest::currentDataTag()) != "lost, then found inside the frame")
            QVERIFY(std::is_sorted(taken.begin(), taken.end()));
        QVERIFY2(qAbs(h.revolutionsPerSecond - 20.0) < 0.01, qPrintable(QString::number(h.revolutionsPerSecond)));
        if (counts[0] == 0)
            QCOMPARE(h.shortFrames, std::uint64_t(0));
    }

    // A device that stops and starts again (a long silence) is not a loss; the counts go on.
    void silenceRestartsCountingWithoutLoss()
    {
        ScannerStream stream(settingsFor(1200, false));
        const std::vector<Packet> all = packets(stream, int(stream.dataPacketsPerSecond()) * 3);
        PacketLossDetector detector;
        const int turn = packetsPerTurn(stream);
        for (int k = 0; k < int(all.size()); ++k)
            if (k < 2 * turn || k >= int(all.size()) - 2 * turn)
                detector.addPacket(all[k].data());
        QCOMPARE(detector.health().lostPackets, std::uint64_t(0));
        QCOMPARE(detector.health().shortFrames, std::uint64_t(0));
        detector.reset();
        QCOMPARE(detector.health().packets, std::uint64_t(0));
    }
};

QTEST_GUILESS_MAIN(StreamHealthTest)
#include "StreamHealthTest.moc"
