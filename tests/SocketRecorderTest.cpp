// The socket recorder: the frames it writes around each datagram, a write failure, file
// rotation, drop counting, and a live recording beside an adapter capture of the same stream.

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "receivers/CaptureRecorder.h"
#include "acquisition/MonotonicStamps.h"
#include "io/SocketRecorder.h"
#include "receivers/UdpReceiverThread.h"
#include "platform/PacketCapture.h"
#include "platform/UdpSocket.h"
#include "records/ByteOrder.h"
#include "sim/ScannerStream.h"

#include <QBuffer>
#include <QtTest>

#include <array>

using namespace hvk32;
namespace cf = hvk32::capturefile;

namespace {

using Packet = std::array<std::uint8_t, 1206>;

ReceivedDatagram datagramOf(const Packet& p, std::uint16_t port, std::int64_t micros, std::uint32_t drops = 0)
{
    ReceivedDatagram d;
    d.payload = p.data();
    d.length = d.originalLength = p.size();
    d.endpoints = {{127, 0, 0, 2}, 2368, {224, 1, 1, 1}, port};
    d.receivedMicros = micros;
    d.receiveBufferDrops = drops;
    return d;
}

// Every record of a capture file, in order; fails the test on damage.
std::vector<cf::ScannerRecord> scannerRecords(QIODevice* device)
{
    cf::CaptureReader reader;
    QString message;
    if (!reader.open(device, &message))
        qFatal("not a capture: %s", qPrintable(message));
    std::vector<cf::ScannerRecord> records;
    cf::ScannerRecord r;
    for (auto read = reader.next(r); read != cf::CaptureReader::Read::End; read = reader.next(r)) {
        if (read == cf::CaptureReader::Read::Scanner)
            records.push_back(r);
    }
    if (reader.damage().any())
        qFatal("damaged capture");
    return records;
}

std::vector<cf::ScannerRecord> scannerRecords(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot open %s", qPrintable(path));
    return scannerRecords(&f);
}

QByteArray payloadOf(const cf::ScannerRecord& r)
{
    return QByteArray(reinterpret_cast<const char*>(r.data() + cf::kPayloadOffset), int(cf::kScannerPayloadSize));
}

// Accepts `limit` bytes, then fails every write.
class FailingDevice : public QBuffer {
public:
    explicit FailingDevice(qint64 limit) : limit_(limit) {}

protected:
    qint64 writeData(const char* data, qint64 length) override
    {
        if (pos() + length > limit_) {
            setErrorString("No space left on device");
            return -1;
        }
        return QBuffer::writeData(data, length);
    }

private:
    qint64 limit_;
};

// A receiver that only feeds its sink.
class PlainReceiver : public UdpReceiverThread {
public:
    ~PlainReceiver() override { stopAndWait(); }

protected:
    bool handleDatagram(const std::uint8_t*, std::size_t) override { return true; }
};

} // namespace

class SocketRecorderTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    sim::ScannerStream stream_{sim::ScannerSettings{}};

    Packet dataPacket()
    {
        Packet p{};
        stream_.nextDataPacket(p.data());
        return p;
    }
    Packet deviceInfo()
    {
        Packet p{};
        stream_.deviceInfoPacket(0, p.data());
        return p;
    }

private slots:
    void framesCarryTheDatagramAndWhereItCameFrom()
    {
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        SocketRecorder recorder;
        QString error;
        QVERIFY(recorder.start(&buffer, {}, &error));
        const Packet info = deviceInfo();
        const Packet data = dataPacket();
        recorder.takeDatagram(datagramOf(info, 2369, 1700000000123456));
        recorder.takeDatagram(datagramOf(data, 2368, 1700000001000001));
        // A datagram longer than the receive buffer keeps its full length as the original.
        ReceivedDatagram cut = datagramOf(data, 2368, 1700000002000000);
        cut.length = 100;
        cut.originalLength = 3000;
        recorder.takeDatagram(cut);
        recorder.stop();
        recorder.takeDatagram(datagramOf(data, 2368, 1700000003000000)); // after the stop: ignored
        QCOMPARE(recorder.counts().packets, std::uint64_t(3));
        QCOMPARE(recorder.counts().bytes, std::uint64_t(buffer.size()));

        const QByteArray& bytes = buffer.data();
        const cf::HeaderCheck check = cf::checkFileHeader(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                                          std::size_t(bytes.size()));
        QVERIFY(check.ok && !check.format.nanoseconds && !check.format.swapped);
        QCOMPARE(check.format.snapLength, cf::kSnapLength);

        const auto records = scannerRecords(&buffer);
        QCOMPARE(records.size(), std::size_t(2)); // the cut one is not a scanner frame
        const auto header = cf::readRecordHeader(records[0].data(), {});
        QCOMPARE(header.seconds, 1700000000u);
        QCOMPARE(header.fraction, 123456u);
        QCOMPARE(payloadOf(records[0]), QByteArray(reinterpret_cast<const char*>(info.data()), 1206));
        QCOMPARE(payloadOf(records[1]), QByteArray(reinterpret_cast<const char*>(data.data()), 1206));
        const std::uint8_t* frame = records[1].data() + cf::kRecordHeaderSize;
        const std::uint8_t* ip = frame + udpframe::kEthernetHeaderSize;
        QCOMPARE(be16(frame + udpframe::kEtherTypeOffset), udpframe::kEtherTypeIpv4);
        QCOMPARE(udpframe::internetChecksum(ip, udpframe::kIpv4HeaderSize), std::uint16_t(0));
        QCOMPARE(be16(ip + udpframe::kIpTotalLengthOffset), std::uint16_t(1234));
        const udpframe::Endpoints e = udpframe::readEndpoints(frame);
        QCOMPARE(e.source, (udpframe::Ipv4Address{127, 0, 0, 2}));
        QCOMPARE(e.sourcePort, std::uint16_t(2368));
        QCOMPARE(e.destination, (udpframe::Ipv4Address{224, 1, 1, 1}));
        QCOMPARE(e.destinationPort, std::uint16_t(2368));
        QCOMPARE(be16(ip + udpframe::kIpv4HeaderSize + udpframe::kUdpLengthOffset), std::uint16_t(1214));

        // The cut datagram: 100 bytes stored of a 3000-byte datagram.
        const qint64 last = bytes.size() - qint64(cf::kRecordHeaderSize + udpframe::kHeaderSize + 100);
        const auto cutHeader = cf::readRecordHeader(reinterpret_cast<const std::uint8_t*>(bytes.constData()) + last, {});
        QCOMPARE(cutHeader.capturedLength, std::uint32_t(udpframe::kHeaderSize + 100));
        QCOMPARE(cutHeader.originalLength, std::uint32_t(udpframe::kHeaderSize + 3000));
    }

    void aWriteFailureStopsAndKeepsWholeRecords()
    {
        // Room for the header and two records, and half of a third.
        const qint64 limit = qint64(cf::kFileHeaderSize + 2.5 * cf::kScannerRecordSize);
        FailingDevice device(limit);
        device.open(QIODevice::ReadWrite);
        SocketRecorder recorder;
        QString error;
        QVERIFY(recorder.start(&device, {}, &error));
        const Packet data = dataPacket();
        for (int k = 0; k < 5; ++k)
            recorder.takeDatagram(datagramOf(data, 2368, 1700000000000000 + k));
        QVERIFY(!recorder.isRecording());
        QVERIFY2(recorder.error().contains("No space left on device"), qPrintable(recorder.error()));
        QCOMPARE(recorder.counts().packets, std::uint64_t(2));
        QCOMPARE(device.size(), qint64(cf::kFileHeaderSize + 2 * cf::kScannerRecordSize));
        QCOMPARE(scannerRecords(&device).size(), std::size_t(2));

        // A file that cannot take even its header: the start fails and says why.
        QVERIFY(!recorder.start(QStringLiteral("/dev/full"), {}, &error));
        QVERIFY2(error.contains("/dev/full") && error.contains("space"), qPrintable(error));
        QVERIFY(!recorder.start(dir_.filePath("no/such/dir/x.pcap"), {}, &error));
        QVERIFY2(error.contains("no/such/dir/x.pcap"), qPrintable(error));
        QVERIFY(!recorder.isRecording());
    }

    void stampsKeepTheirOrder_data()
    {
        QTest::addColumn<QVector<qint64>>("arrived");
        QTest::addColumn<QVector<qint64>>("written");
        const qint64 t = 1700000000000000;
        QTest::newRow("in order") << QVector<qint64>{t, t + 5, t + 5, t + 9} << QVector<qint64>{t, t + 5, t + 5, t + 9};
        // A thread that writes its batch late: its earlier times take the last one written.
        QTest::newRow("late batch") << QVector<qint64>{t, t + 900, t + 300, t + 600, t + 1000}
                                    << QVector<qint64>{t, t + 900, t + 900, t + 900, t + 1000};
        // The clock set back an hour: the times go on from the last one, spaced as they came.
        QTest::newRow("clock set back") << QVector<qint64>{t, t + 10, t - 3600000000, t - 3599999990}
                                        << QVector<qint64>{t, t + 10, t + 10, t + 20};
    }

    void stampsKeepTheirOrder()
    {
        QFETCH(QVector<qint64>, arrived);
        QFETCH(QVector<qint64>, written);
        MonotonicStamps stamps;
        QVector<qint64> result;
        for (qint64 micros : arrived)
            result.push_back(stamps.next(micros));
        QCOMPARE(result, written);
    }

    // A recording with a size limit: every file begins with a device-info packet, also when
    // the recording's first datagrams come before the first one, holds every datagram once
    // in the order taken, and its times never go back, in a file or from one to the next,
    // also when two receive threads hand in datagrams whose times interleave.
    void rotatedFilesEachPlayWithTheirConfiguration_data()
    {
        QTest::addColumn<int>("dataBefore"); // data packets taken before the device-info packet
        QTest::addColumn<bool>("interleaved");
        QTest::newRow("device-info first") << 0 << false;
        QTest::newRow("data first") << 150 << false;
        QTest::newRow("data first, two threads") << 150 << true;
    }

    void rotatedFilesEachPlayWithTheirConfiguration()
    {
        QFETCH(int, dataBefore);
        QFETCH(bool, interleaved);
        QCOMPARE(SocketRecorder::rotatedFileName("/d/rec.pcap", 0), QString("/d/rec.pcap"));
        QCOMPARE(SocketRecorder::rotatedFileName("/d/rec.pcap", 12), QString("/d/rec-0012.pcap"));
        QCOMPARE(SocketRecorder::rotatedFileName("/d/rec", 1), QString("/d/rec-0001.pcap"));

        const QString path = dir_.filePath(QStringLiteral("rot%1%2.pcap").arg(dataBefore).arg(interleaved));
        SocketRecorder recorder;
        SocketRecorder::Options options;
        options.maxFileBytes = 100 * cf::kScannerRecordSize; // 99 records and the header fit
        QString error;
        QVERIFY(recorder.start(path, options, &error));
        std::vector<QByteArray> sent;
        const Packet info = deviceInfo();
        std::int64_t micros = 1700000000000000;
        auto take = [&](const Packet& p, std::uint16_t port, std::int64_t at) {
            recorder.takeDatagram(datagramOf(p, port, at));
            sent.emplace_back(reinterpret_cast<const char*>(p.data()), 1206);
        };
        for (int k = 0; k < 400 + dataBefore; ++k) {
            if (k == dataBefore)
                take(info, 2369, micros);
            // The data thread hands in a batch 2 ms late, after the device-info packet.
            take(dataPacket(), 2368, interleaved && k % 50 == 0 ? micros - 2000 : micros);
            micros += 160;
        }
        QVERIFY(!recorder.deviceInfoWaitFailed());
        recorder.stop();
        QCOMPARE(recorder.counts().packets, std::uint64_t(sent.size()));
        QCOMPARE(recorder.counts().deviceInfoPackets, std::uint64_t(1));
        QCOMPARE(recorder.counts().raisedStamps > 0, interleaved);
        const int files = recorder.counts().files;
        QCOMPARE(files, dataBefore ? 6 : 5);
        QCOMPARE(recorder.currentFile(), SocketRecorder::rotatedFileName(path, files - 1));

        std::vector<QByteArray> recorded;
        std::uint64_t lastTime = 0;
        for (int index = 0; index < files; ++index) {
            const QString name = SocketRecorder::rotatedFileName(path, index);
            QVERIFY(QFileInfo(name).size() <= qint64(options.maxFileBytes));
            const auto records = scannerRecords(name);
            // Every file starts with the device-info packet: the first file with the
            // packet itself when it came first, else with a copy.
            QCOMPARE(payloadOf(records.front()), sent[std::size_t(dataBefore)]);
            const bool copy = index > 0 || dataBefore > 0;
            for (std::size_t k = copy ? 1 : 0; k < records.size(); ++k)
                recorded.push_back(payloadOf(records[k]));
            for (const auto& r : records) {
                const auto h = cf::readRecordHeader(r.data(), {});
                const std::uint64_t time = std::uint64_t(h.seconds) * 1000000 + h.fraction;
                QVERIFY2(time >= lastTime, qPrintable(QStringLiteral("%1: the time goes back").arg(name)));
                lastTime = time;
            }
            CapturePlayerCore player;
            QVERIFY(player.open(name));
            player.start();
            while (player.next(CapturePlayerCore::Direction::Forward) != CapturePlayerCore::Event::End) {}
            QVERIFY2(player.configurationReported(), qPrintable(name));
        }
        QCOMPARE(recorded, sent);
    }

    // No device-info packet in time: the held datagrams are written without one, and said so.
    void theFirstFileWaitsForADeviceInfoPacketOnlySoLong()
    {
        for (bool stopEarly : {false, true}) {
            const QString path = dir_.filePath(stopEarly ? "wait-stop.pcap" : "wait.pcap");
            SocketRecorder recorder;
            SocketRecorder::Options options;
            options.maxFileBytes = 1000 * cf::kScannerRecordSize;
            QVERIFY(recorder.start(path, options, nullptr));
            const int packets = stopEarly ? 10 : 60;
            for (int k = 0; k < packets; ++k)
                recorder.takeDatagram(datagramOf(dataPacket(), 2368, 1700000000000000 + k * 100000));
            // 60 packets 0.1 s apart span more than the wait; 10 do not, and the stop writes them.
            QCOMPARE(recorder.deviceInfoWaitFailed(), !stopEarly);
            QCOMPARE(scannerRecords(path).size(), std::size_t(stopEarly ? 0 : packets));
            recorder.stop();
            QCOMPARE(scannerRecords(path).size(), std::size_t(packets));
            QCOMPARE(recorder.counts().deviceInfoPackets, std::uint64_t(0));
        }
    }

    void dropsCountOnlyWhileRecording()
    {
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        SocketRecorder recorder;
        const Packet data = dataPacket();
        SocketRecorder::Options older;
        older.socketsNew = false; // the sockets had lost 7 and 2 before the recording began
        QVERIFY(recorder.start(&buffer, older, nullptr));
        recorder.takeDatagram(datagramOf(data, 2368, 1, 7));
        recorder.takeDatagram(datagramOf(data, 2369, 2, 2));
        recorder.takeDatagram(datagramOf(data, 2368, 3, 10));
        QCOMPARE(recorder.counts().receiveBufferDrops, std::uint64_t(3));
        recorder.takeDatagram(datagramOf(data, 2368, 4, 1)); // the receiver opened a new socket
        QCOMPARE(recorder.counts().receiveBufferDrops, std::uint64_t(4));

        QVERIFY(recorder.start(&buffer, {}, nullptr)); // sockets opened for this recording
        recorder.takeDatagram(datagramOf(data, 2368, 5, 7));
        QCOMPARE(recorder.counts().receiveBufferDrops, std::uint64_t(7));
    }

    // The same stream recorded from sockets and captured on lo: the same datagrams, from the
    // same senders to the same ports, in the same order.
    void matchesAnAdapterCaptureOfTheSameStream()
    {
        std::string error;
        {
            platform::LiveCapture probe;
            if (!probe.open("lo", 100, &error))
                QSKIP(qPrintable("live capture on lo is not possible here: " + QString::fromStdString(error)));
        }
        const std::uint16_t dataPort = platform::findFreeUdpPort();
        const std::uint16_t telemetryPort = platform::findFreeUdpPort();
        SocketRecorder sockets;
        QString message;
        QVERIFY(sockets.start(dir_.filePath("sockets.pcap"), {}, &message));
        PlainReceiver data, telemetry;
        data.setPort(dataPort);
        telemetry.setPort(telemetryPort);
        for (PlainReceiver* r : {&data, &telemetry}) {
            r->setDatagramSink(&sockets);
            r->start();
        }
        QTRY_VERIFY(data.isBound() && telemetry.isBound());
        CaptureRecorder adapter;
        QVERIFY2(adapter.start({dir_.filePath("adapter.pcap").toStdString(), std::to_string(dataPort), "lo"}, &error),
                 error.c_str());

        // The device sends both kinds from the data port, so "port N" keeps the device-info too.
        platform::UdpSocket device;
        QVERIFY(device.open() && device.setReuseAddress(true) && device.bind("127.0.0.2", dataPort));
        Packet p = deviceInfo();
        QVERIFY(device.sendTo(p.data(), p.size(), "127.0.0.1", telemetryPort) > 0);
        for (int k = 0; k < 200; ++k) {
            p = dataPacket();
            QVERIFY(device.sendTo(p.data(), p.size(), "127.0.0.1", dataPort) > 0);
            if (k % 8 == 7)
                QThread::msleep(1);
        }
        // Other programs on this machine may use lo too: only the device's datagrams count below.
        QTRY_VERIFY(sockets.counts().packets >= 201);
        QTRY_VERIFY(adapter.framesWritten() >= 201);
        adapter.stop();
        data.stopAndWait();
        telemetry.stopAndWait();
        sockets.stop();

        // Each port's datagrams keep their order; the two receivers may interleave them
        // differently from the adapter, so the device-info packet is put first in both.
        auto fromDevice = [&](std::vector<cf::ScannerRecord> records) {
            records.erase(std::remove_if(records.begin(), records.end(),
                                         [&](const cf::ScannerRecord& r) {
                                             const auto e = udpframe::readEndpoints(r.data() + cf::kRecordHeaderSize);
                                             return e.source != udpframe::Ipv4Address{127, 0, 0, 2} || e.sourcePort != dataPort;
                                         }),
                          records.end());
            std::stable_partition(records.begin(), records.end(), [&](const cf::ScannerRecord& r) {
                return udpframe::readEndpoints(r.data() + cf::kRecordHeaderSize).destinationPort == telemetryPort;
            });
            return records;
        };
        const auto fromSockets = fromDevice(scannerRecords(dir_.filePath("sockets.pcap")));
        const auto fromAdapter = fromDevice(scannerRecords(dir_.filePath("adapter.pcap")));
        QCOMPARE(fromSockets.size(), std::size_t(201));
        QCOMPARE(fromSockets.size(), fromAdapter.size());
        for (std::size_t k = 0; k < fromSockets.size(); ++k) {
            QCOMPARE(payloadOf(fromSockets[k]), payloadOf(fromAdapter[k]));
            const auto a = udpframe::readEndpoints(fromSockets[k].data() + cf::kRecordHeaderSize);
            const auto b = udpframe::readEndpoints(fromAdapter[k].data() + cf::kRecordHeaderSize);
            QCOMPARE(a.source, b.source);
            QCOMPARE(a.sourcePort, b.sourcePort);
            QCOMPARE(a.destination, b.destination);
            QCOMPARE(a.destinationPort, b.destinationPort);
        }
    }
};

QTEST_GUILESS_MAIN(SocketRecorderTest)
#include "SocketRecorderTest.moc"
