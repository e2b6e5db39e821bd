// The capture recorder: filter text, adapter choice, and live recordings of the simulator's
// stream on loopback, read back byte by byte and by tcpdump.

#include "acquisition/CapturePlayerCore.h"
#include "receivers/CaptureRecorder.h"
#include "acquisition/DataPacket.h"
#include "platform/PacketCapture.h"
#include "platform/UdpSocket.h"
#include "sim/ScannerStream.h"
#include "support/PlayedCapture.h"

#include <QtTest>

#include <array>
#include <cstring>

using namespace hvk32;

namespace {

constexpr int kFrameLength = 14 + 20 + 8 + 1206; // Ethernet, IPv4, UDP, payload
constexpr int kPayloadOffset = 14 + 20 + 8;

struct FileContents {
    std::uint32_t snapLength = 0, linkType = 0;
    std::vector<std::array<std::uint32_t, 2>> lengths; // captured, original
    std::vector<QByteArray> payloads;
    std::vector<std::uint64_t> times; // microseconds
};

// Reads a capture file written on this machine; false unless the whole file is well formed.
bool readCapture(const QString& path, FileContents* out)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly); // a missing file reads as empty and fails below
    const QByteArray bytes = f.readAll();
    auto u32 = [&](int at) { std::uint32_t v; std::memcpy(&v, bytes.constData() + at, 4); return v; };
    if (bytes.size() < 24 || u32(0) != 0xA1B2C3D4u)
        return false;
    out->snapLength = u32(16);
    out->linkType = u32(20);
    int at = 24;
    while (at + 16 <= bytes.size()) {
        const std::uint32_t captured = u32(at + 8);
        if (at + 16 + int(captured) > bytes.size())
            return false;
        out->lengths.push_back({captured, u32(at + 12)});
        out->times.push_back(std::uint64_t(u32(at)) * 1000000 + u32(at + 4));
        out->payloads.push_back(bytes.mid(at + 16 + kPayloadOffset, int(captured) - kPayloadOffset));
        at += 16 + int(captured);
    }
    return at == bytes.size();
}

} // namespace

class CaptureRecorderTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString noLiveCapture_; // why live capture on lo is impossible here; empty when it works
    QString recording_; // the file of recordsLoopbackTraffic, for tcpdump
    int recordedPackets_ = 0;

    QString path(const char* name) const { return dir_.filePath(name); }

private slots:
    void initTestCase()
    {
        platform::LiveCapture capture;
        std::string error;
        if (!capture.open("lo", 100, &error))
            noLiveCapture_ = "live capture on lo is not possible here: " + QString::fromStdString(error);
    }

    void filterAndAdapterChoice()
    {
        QCOMPARE(captureFilter("2368"), std::string("port 2368"));
        QCOMPARE(captureFilter("2368", "2369"), std::string("port 2368 or port 2369"));

        using A = platform::CaptureAdapter;
        // In list order among Ethernet adapters, not by letter; "Bluetooth" delivers no Ethernet.
        QCOMPARE(platform::chooseAdapterByRule({A{"eth0", "", true, ""}, A{"any", "Pseudo-device", false, ""},
                                                A{"bt", "Bluetooth Linux Monitor", false, ""},
                                                A{"wl", "Intel(R) Wireless", true, ""}, A{"re", "Realtek PCIe", true, ""}}),
                 3);
        // No description matches: the first Ethernet adapter, descriptions or not.
        QCOMPARE(platform::chooseAdapterByRule({A{"any", "Pseudo-device", false, ""}, A{"eth0", "", true, ""},
                                                A{"lo", "", true, ""}}),
                 1);
        QCOMPARE(platform::chooseAdapterByRule({A{"any", "Any", false, "no rights"}}), -1);

        // The adapter that carries the device's datagrams: loopback for a loopback sender or
        // one of this computer's own addresses, else the adapter whose subnet holds it.
        auto adapter = [](const char* name, bool loopback, std::array<std::uint8_t, 4> address,
                          std::array<std::uint8_t, 4> netmask) {
            A a{name, "", true, ""};
            a.loopback = loopback;
            a.ipv4.push_back({address, netmask});
            return a;
        };
        const std::vector<A> adapters{adapter("eth0", false, {10, 0, 0, 5}, {255, 255, 255, 0}),
                                      adapter("eth1", false, {192, 168, 1, 10}, {255, 255, 255, 0}),
                                      adapter("lo", true, {127, 0, 0, 1}, {255, 0, 0, 0})};
        using Address = std::array<std::uint8_t, 4>;
        QCOMPARE(platform::chooseAdapterForDevice(adapters, Address{192, 168, 1, 200}), 1);
        QCOMPARE(platform::chooseAdapterForDevice(adapters, Address{10, 0, 0, 77}), 0);
        QCOMPARE(platform::chooseAdapterForDevice(adapters, Address{127, 0, 0, 2}), 2);
        QCOMPARE(platform::chooseAdapterForDevice(adapters, Address{192, 168, 1, 10}), 2); // this computer
        QCOMPARE(platform::chooseAdapterForDevice(adapters, Address{172, 16, 0, 1}), -1);  // routed: the rule
        QCOMPARE(platform::chooseAdapterForDevice(adapters, Address{}), -1);                // not known

        // The settings' device beats the environment, which beats the rule (empty).
        qputenv("HVK32_CAPTURE_DEVICE", "envdev");
        QCOMPARE(platform::captureDeviceOverride(""), std::string("envdev"));
        QCOMPARE(platform::captureDeviceOverride("lo"), std::string("lo"));
        qunsetenv("HVK32_CAPTURE_DEVICE");
        QCOMPARE(platform::captureDeviceOverride(""), std::string());
    }

    void recordsLoopbackTraffic()
    {
        if (!noLiveCapture_.isEmpty())
            QSKIP(qPrintable(noLiveCapture_));
        // The device-info packet leaves from the data port, so "port N" keeps it too.
        platform::UdpSocket device;
        QVERIFY(device.open() && device.bind("127.0.0.1", 0));
        const std::uint16_t port = device.localPort();
        const std::uint16_t telemetryPort = platform::findFreeUdpPort();

        CaptureRecorder recorder;
        std::string error;
        qputenv("HVK32_CAPTURE_DEVICE", "lo");
        const bool started = recorder.start({path("live.pcap").toStdString(), std::to_string(port), ""}, &error);
        qunsetenv("HVK32_CAPTURE_DEVICE");
        QVERIFY2(started, error.c_str());
        QCOMPARE(recorder.deviceName(), std::string("lo"));

        sim::ScannerStream stream{sim::ScannerSettings{}};
        std::vector<QByteArray> sent;
        std::array<std::uint8_t, datapacket::kPacketSize> packet{};
        stream.deviceInfoPacket(0, packet.data());
        QCOMPARE(device.sendTo(packet.data(), packet.size(), "127.0.0.1", telemetryPort), long(packet.size()));
        sent.emplace_back(reinterpret_cast<const char*>(packet.data()), int(packet.size()));
        platform::UdpSocket sender;
        QVERIFY(sender.open());
        for (int k = 0; k < 300; ++k) {
            stream.nextDataPacket(packet.data());
            QCOMPARE(sender.sendTo(packet.data(), packet.size(), "127.0.0.1", port), long(packet.size()));
            sent.emplace_back(reinterpret_cast<const char*>(packet.data()), int(packet.size()));
            if (k % 8 == 7)
                QThread::msleep(1); // keep the capture buffer from overflowing
        }
        QTRY_COMPARE_WITH_TIMEOUT(recorder.framesWritten(), std::uint64_t(sent.size()), 5000);

        // Every frame is flushed: the file is complete while the recording still runs.
        FileContents file;
        QVERIFY(readCapture(path("live.pcap"), &file));
        QCOMPARE(file.linkType, 1u);
        QCOMPARE(file.snapLength, 65535u);
        QCOMPARE(file.payloads.size(), sent.size());
        for (std::size_t k = 0; k < sent.size(); ++k) {
            QCOMPARE(file.lengths[k][0], std::uint32_t(kFrameLength));
            QCOMPARE(file.lengths[k][1], std::uint32_t(kFrameLength));
            QVERIFY2(file.payloads[k] == sent[k], qPrintable(QString("payload %1 differs").arg(k)));
        }

        // Traffic has stopped: the worker must not wait for another frame.
        QTest::qWait(300);
        QElapsedTimer timer;
        timer.start();
        recorder.stop();
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString("stop took %1 ms").arg(timer.elapsed())));
        QVERIFY(!recorder.isRecording());
        QVERIFY(recorder.workerError().empty());
        QCOMPARE(QFileInfo(path("live.pcap")).size(), qint64(24 + sent.size() * (16 + kFrameLength)));
        recording_ = path("live.pcap");
        recordedPackets_ = int(sent.size());
    }

    // The device sends its device-info packets from another port than the data port: the
    // filter takes both ports, the adapter is the one its datagrams come through, and the
    // file plays, its times in order.
    void recordsBothPortsOnTheAdapterThatCarriesTheDevice()
    {
        if (!noLiveCapture_.isEmpty())
            QSKIP(qPrintable(noLiveCapture_));
        const std::uint16_t dataPort = platform::findFreeUdpPort();
        const std::uint16_t telemetryPort = platform::findFreeUdpPort();
        RecorderSettings settings;
        settings.fileName = path("both.pcap").toStdString();
        settings.dataPortText = std::to_string(dataPort);
        settings.telemetryPortText = std::to_string(telemetryPort);
        settings.deviceAddress = {127, 0, 0, 2};
        qunsetenv("HVK32_CAPTURE_DEVICE");
        CaptureRecorder recorder;
        std::string error;
        QVERIFY2(recorder.start(settings, &error), error.c_str());
        QCOMPARE(recorder.deviceName(), std::string("lo"));

        platform::UdpSocket device;
        QVERIFY(device.open() && device.bind("127.0.0.2", 0));
        sim::ScannerSettings scanner;
        scanner.echo = sim::EchoMode::Dual;
        sim::ScannerStream stream{scanner};
        std::array<std::uint8_t, datapacket::kPacketSize> packet{};
        const int packets = 4 * stream.blocksPerRevolution() * 2 / 12; // four revolutions of both echoes
        for (int k = 0; k < packets; ++k) {
            if (k % 400 == 0) {
                stream.deviceInfoPacket(0, packet.data());
                QVERIFY(device.sendTo(packet.data(), packet.size(), "127.0.0.1", telemetryPort) > 0);
            }
            stream.nextDataPacket(packet.data());
            QVERIFY(device.sendTo(packet.data(), packet.size(), "127.0.0.1", dataPort) > 0);
            if (k % 8 == 7)
                QThread::msleep(1);
        }
        const std::uint64_t expected = std::uint64_t(packets + (packets + 399) / 400);
        QTRY_VERIFY_WITH_TIMEOUT(recorder.framesWritten() >= expected, 5000);
        recorder.stop();
        QVERIFY(recorder.workerError().empty());

        const hvk32::test::PlayedCapture played = hvk32::test::playCapture(path("both.pcap"));
        QVERIFY(played.configured);
        QVERIFY2(played.frames >= 3, qPrintable(QString::number(played.frames)));

        FileContents file;
        QVERIFY(readCapture(path("both.pcap"), &file));
        for (std::size_t k = 1; k < file.times.size(); ++k)
            QVERIFY2(file.times[k] >= file.times[k - 1], qPrintable(QString("record %1 goes back in time").arg(k)));
    }

    void tcpdumpReadsRecording()
    {
        if (recording_.isEmpty())
            QSKIP("no recording to read: the live recording was skipped or failed");
        const QString tcpdump = QStandardPaths::findExecutable("tcpdump", {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
        if (tcpdump.isEmpty())
            QSKIP("tcpdump is not installed");
        QProcess p;
        p.start(tcpdump, {"-n", "-r", recording_});
        QVERIFY(p.waitForFinished(30000));
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        const QStringList lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), recordedPackets_);
        for (const QString& line : lines)
            QVERIFY2(line.contains("UDP, length 1206"), qPrintable(line));
    }

    void stopsWithoutTrafficAndRestarts()
    {
        if (!noLiveCapture_.isEmpty())
            QSKIP(qPrintable(noLiveCapture_));
        const std::string port = std::to_string(platform::findFreeUdpPort());
        QElapsedTimer timer;
        {
            CaptureRecorder recorder;
            std::string error;
            QVERIFY2(recorder.start({path("quiet1.pcap").toStdString(), port, "lo"}, &error), error.c_str());
            QTest::qWait(150);
            timer.start();
            recorder.stop();
            QVERIFY(timer.elapsed() < 1000);
            QVERIFY2(recorder.start({path("quiet2.pcap").toStdString(), port, "lo"}, &error), error.c_str());
            QVERIFY(!recorder.start({path("quiet3.pcap").toStdString(), port, "lo"}, &error));
            QTest::qWait(150);
            timer.start();
        } // the destructor stops and joins
        QVERIFY(timer.elapsed() < 1000);
        for (const char* name : {"quiet1.pcap", "quiet2.pcap"}) {
            FileContents file;
            QVERIFY2(readCapture(path(name), &file), name);
            QCOMPARE(QFileInfo(path(name)).size(), qint64(24));
        }
        QVERIFY(!QFile::exists(path("quiet3.pcap")));
    }

    void reportsFailures()
    {
        CaptureRecorder recorder;
        std::string error;
        QVERIFY(!recorder.start({path("x.pcap").toStdString(), "2368", "hvk32-no-such-adapter"}, &error));
        QVERIFY2(error.find("hvk32-no-such-adapter") != std::string::npos, error.c_str());
        QVERIFY(!recorder.isRecording());

        if (!noLiveCapture_.isEmpty())
            QSKIP(qPrintable(noLiveCapture_));
        // An adapter without Ethernet frames would give a file the player finds nothing in.
        QVERIFY(!recorder.start({path("any.pcap").toStdString(), "2368", "any"}, &error));
        QVERIFY2(error.find("\"any\"") != std::string::npos, error.c_str());
        QVERIFY(!recorder.start({path("bad.pcap").toStdString(), "abc", "lo"}, &error));
        QVERIFY2(error.find("port abc") != std::string::npos, error.c_str());
        QVERIFY(!recorder.start({path("missing/dir/x.pcap").toStdString(), "2368", "lo"}, &error));
        QVERIFY2(error.find("missing/dir/x.pcap") != std::string::npos, error.c_str());
        QVERIFY(!recorder.isRecording());
        for (const char* name : {"x.pcap", "any.pcap", "bad.pcap"})
            QVERIFY2(!QFile::exists(path(name)), name);
    }
};

QTEST_GUILESS_MAIN(CaptureRecorderTest)
#include "CaptureRecorderTest.moc"
