// The live data receiver on loopback, fed by the simulator's packet stream.

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoPacket.h"
#include "receivers/GetLidardataK32.h"
#include "platform/UdpSocket.h"
#include "records/MetaTypes.h"
#include "sim/ScannerStream.h"
#include "support/DataPacketBuilder.h"
#include "support/LoopbackSenders.h"
#include "support/SameFrame.h"

#include <QtTest>

#include <array>
#include <chrono>
#include <thread>

#include <unistd.h>

using namespace hvk32;

namespace {

using Sender = test::PacedSender;

} // namespace

class LiveReceiverTest : public QObject {
    Q_OBJECT

    std::vector<LidarData> frames_;

    void collect(GetLidardataK32& receiver)
    {
        frames_.clear();
        connect(&receiver, &GetLidardataK32::SendDataK32, this, [this](const LidarData& f) { frames_.push_back(f); });
    }

    static void startOn(GetLidardataK32& receiver, std::uint16_t port, const char* config)
    {
        receiver.setPort(port);
        receiver.setMulticastGroup("224.1.1.1");
        receiver.setConfiguration(config);
        receiver.start();
        QTRY_VERIFY(receiver.isBound()); // no datagram before run() listens
    }

    // A complete revolution: block azimuths 360 degrees round at the simulator's step, and
    // every channel filled with as many points as blocks (plus the carried wrap point).
    static void verifyCompleteRevolution(const LidarData& f, const sim::ScannerStream& stream, int echoes)
    {
        const float step = stream.azimuthStepHundredths() / 100.0f;
        const int blocks = stream.blocksPerRevolution();
        if (!f.blockAzimuths.empty()) {
            QCOMPARE(int(f.blockAzimuths.size()), blocks);
            for (std::size_t k = 1; k + 1 < f.blockAzimuths.size(); ++k)
                QVERIFY(qAbs(azimuthStep(f.blockAzimuths[k - 1], f.blockAzimuths[k]) - step) < 1e-3f);
        }
        for (int c = 0; c < 32; ++c) {
            const auto& d = f.distances[c];
            QVERIFY(int(d.size()) >= echoes * blocks);
            QCOMPARE(f.azimuths[c].size(), d.size());
            QCOMPARE(f.timestamps[c].size(), d.size());
            const auto returns = std::count_if(d.begin(), d.end(), [](float v) { return v > 0.0f; });
            QVERIFY2(returns > long(d.size()) / 2, qPrintable(QString("channel %1 mostly empty").arg(c)));
        }
    }

private slots:
    void initTestCase() { registerRecordMetaTypes(); }

    // The main thread stays busy while the receiver cuts several revolutions; the frames
    // handed on meanwhile must each arrive exactly as cut, untouched by the ones after them.
    void framesHandedOnStayIntactWhileTheNextFills()
    {
        sim::ScannerSettings settings;
        settings.rpm = 1200;
        sim::ScannerStream stream(settings);
        const int packetCount = stream.blocksPerRevolution() / 12 * 5 + 10;
        std::vector<std::array<std::uint8_t, datapacket::kPacketSize>> packets(packetCount);
        std::vector<LidarData> expected;
        FrameAssembler reference;
        reference.setConfiguration(SensorConfig::SingleEcho);
        for (auto& p : packets) {
            stream.nextDataPacket(p.data());
            reference.addPacket(p.data(), [&](LidarData& f) { expected.push_back(f); });
        }
        QCOMPARE(int(expected.size()), 5);

        GetLidardataK32 receiver;
        collect(receiver);
        const std::uint16_t port = platform::findFreeUdpPort();
        startOn(receiver, port, "HVK321");
        Sender sender(port);
        for (const auto& p : packets)
            sender.send(p.data(), p.size());
        // No event is processed until every frame has been cut.
        for (int i = 0; i < 1000 && receiver.framesEmitted() < expected.size(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QCOMPARE(receiver.framesEmitted(), std::uint64_t(expected.size()));
        QVERIFY(frames_.empty());
        QTRY_COMPARE_WITH_TIMEOUT(frames_.size(), expected.size(), 10000);
        for (std::size_t k = 0; k < expected.size(); ++k)
            QVERIFY2(test::sameFrame(frames_[k], expected[k]), qPrintable(QString("frame %1").arg(k)));
    }

    void singleEchoStreamGivesCompleteRevolutions()
    {
        sim::ScannerSettings settings;
        settings.rpm = 600;
        sim::ScannerStream stream(settings);
        GetLidardataK32 receiver;
        collect(receiver);
        const std::uint16_t port = platform::findFreeUdpPort();
        startOn(receiver, port, "HVK321");

        Sender sender(port);
        const int packetsPerTurn = stream.blocksPerRevolution() / 12;
        sender.sendDataPackets(stream, packetsPerTurn * 3 + 10);
        QTRY_COMPARE_WITH_TIMEOUT(int(frames_.size()), 3, 10000);
        verifyCompleteRevolution(frames_[1], stream, 1);
        verifyCompleteRevolution(frames_[2], stream, 1);
        QCOMPARE(receiver.datagramsDropped(), std::uint64_t(0));

        // The buffer the system granted, and whether that is less than asked: as the
        // system's limit says, unless this process may go beyond the limit.
        QVERIFY(receiver.receiveBufferBytes() > 0);
        QFile limitFile("/proc/sys/net/core/rmem_max");
        if (limitFile.open(QIODevice::ReadOnly) && geteuid() != 0) {
            const int limit = QString::fromLatin1(limitFile.readAll()).trimmed().toInt();
            QCOMPARE(receiver.receiveBufferLimited(), limit < UdpReceiverThread::kReceiveBufferBytes);
            QCOMPARE(receiver.receiveBufferBytes(), std::min(limit, UdpReceiverThread::kReceiveBufferBytes));
        }
    }

    void dualEchoStreamWithBothEchoes()
    {
        sim::ScannerSettings settings;
        settings.rpm = 1200;
        settings.echo = sim::EchoMode::Dual;
        sim::ScannerStream stream(settings);
        GetLidardataK32 receiver;
        collect(receiver);
        receiver.Receive(0);
        const std::uint16_t port = platform::findFreeUdpPort();
        startOn(receiver, port, "HVK322");

        Sender sender(port);
        const int packetsPerTurn = stream.blocksPerRevolution() / 6;
        sender.sendDataPackets(stream, packetsPerTurn * 3 + 10);
        QTRY_COMPARE_WITH_TIMEOUT(int(frames_.size()), 3, 10000);
        QVERIFY(frames_[1].blockAzimuths.empty());
        verifyCompleteRevolution(frames_[1], stream, 2);
    }

    void foreignAndShortDatagramsAreDropped()
    {
        GetLidardataK32 receiver;
        collect(receiver);
        const std::uint16_t port = platform::findFreeUdpPort();
        startOn(receiver, port, "HVK321");
        Sender sender(port);

        // Half a turn at 0.2 degrees per block, from 10 degrees: no wrap yet.
        const auto sweep = test::singleEchoSweep(1000, 20, 60);
        for (int k = 0; k < 30; ++k)
            sender.send(sweep[k].data(), sweep[k].size());
        // A short datagram whose first block would look like a wrap if decoded over the
        // previous packet's bytes, and a device-info packet on the data port.
        auto wrap = test::dataPacket({35900, 35900, 35900, 35900, 35900, 35900, 35900, 35900, 35900, 35900, 35900, 35900});
        sender.send(wrap.data(), 300);
        std::array<std::uint8_t, devinfo::kPacketSize> info{};
        devinfo::writeHeader(info.data());
        sender.send(info.data(), info.size());
        for (int k = 30; k < 60; ++k)
            sender.send(sweep[k].data(), sweep[k].size());

        QTRY_COMPARE_WITH_TIMEOUT(receiver.datagramsReceived(), std::uint64_t(62), 5000);
        QCOMPARE(receiver.datagramsDropped(), std::uint64_t(2));
        QTest::qWait(100);
        QVERIFY(frames_.empty());
    }

    void restartOnNewPortAndStopPromptly()
    {
        sim::ScannerStream stream{sim::ScannerSettings{}};
        GetLidardataK32 receiver;
        collect(receiver);
        const std::uint16_t first = platform::findFreeUdpPort();
        startOn(receiver, first, "HVK321");
        QVERIFY(receiver.isRunning());

        const std::uint16_t second = platform::findFreeUdpPort();
        receiver.setPort(second);
        receiver.restart();
        QTest::qWait(50);
        const int packetsPerTurn = stream.blocksPerRevolution() / 12;
        Sender(first).sendDataPackets(stream, packetsPerTurn * 2 + 10);
        QTest::qWait(200);
        QVERIFY(frames_.empty()); // the old port is closed
        Sender(second).sendDataPackets(stream, packetsPerTurn * 2 + 10);
        QTRY_VERIFY_WITH_TIMEOUT(!frames_.empty(), 10000);

        // With no traffic the loop still looks at the stop flag every receive time-out.
        receiver.setStop(true);
        QVERIFY(receiver.wait(200));
        QVERIFY(!receiver.stopRequested()); // cleared on the way out, ready for a restart
    }

    // Datagrams that found the receive buffer full are reported by the system with the next
    // datagram queued after them: what was read plus what was dropped is what was sent.
    void overflowingReceiveBufferIsCounted()
    {
        platform::UdpSocket receiver;
        QVERIFY(receiver.open());
        receiver.setReceiveBufferSize(1); // the system's minimum: room for a datagram or two
        QVERIFY(receiver.receiveBufferSize() > 0 && receiver.receiveBufferSize() < 16 * 1024);
        if (!receiver.enableDatagramDetails())
            QSKIP("the system does not report receive drops");
        QVERIFY(receiver.bind("127.0.0.1", 0));
        QVERIFY(receiver.setReceiveTimeout(50));
        platform::UdpSocket sender;
        QVERIFY(sender.open());
        const int sent = 64;
        std::array<std::uint8_t, datapacket::kPacketSize> p{};
        for (int k = 0; k < sent; ++k)
            QCOMPARE(sender.sendTo(p.data(), p.size(), "127.0.0.1", receiver.localPort()), long(p.size()));
        platform::DatagramDetails details;
        int read = 0;
        while (receiver.receive(p.data(), p.size(), details) > 0)
            ++read;
        QVERIFY(read >= 1);
        sender.sendTo(p.data(), p.size(), "127.0.0.1", receiver.localPort());
        QVERIFY(receiver.receive(p.data(), p.size(), details) > 0);
        QVERIFY(details.receiveBufferDrops > 0);
        QCOMPARE(std::uint64_t(read) + details.receiveBufferDrops, std::uint64_t(sent));
    }
};

QTEST_GUILESS_MAIN(LiveReceiverTest)
#include "LiveReceiverTest.moc"
