// The advanced dialog's plain cores: the settings file and its capture on loopback, the
// factory-reset packet and the GPS time log.

#include "device/GpsTimeTest.h"
#include "device/ResetPacket.h"
#include "device/SettingsFile.h"
#include "platform/PacketCapture.h"
#include "platform/UdpSocket.h"
#include "sim/ScannerStream.h"
#include "support/LoopbackSenders.h"

#include <QtTest>
#include <QTextCodec>

#include <array>
#include <atomic>
#include <thread>

using namespace hvk32;
using Packet = std::array<std::uint8_t, 1206>;

namespace {

Packet deviceInfoPacket()
{
    Packet p{};
    sim::ScannerStream(sim::ScannerSettings{}).deviceInfoPacket(0, p.data());
    return p;
}

QByteArray gb(const char* utf8) { return QTextCodec::codecForName("GB2312")->fromUnicode(QString::fromUtf8(utf8)); }

QByteArray contents(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

using LoopbackSender = test::RepeatingSender;

} // namespace

class AdvancedToolsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString noLiveCapture_; // why live capture on lo is impossible here; empty when it works
    const QDateTime start_{QDate(2026, 12, 6), QTime(21, 5, 9)};

    // Runs GPS records (hour, minute, second of 2026-12-06) through a fresh log.
    QVector<bool> jumps(GpsTimeLog& log, const QVector<QVector<int>>& times, const QString& serial = "SN01")
    {
        QString error;
        if (!log.start(dir_.path(), serial, start_, &error))
            qFatal("%s", qPrintable(error));
        QVector<bool> out;
        for (const auto& t : times) {
            const std::uint8_t clock[6] = {26, 12, 6, std::uint8_t(t[0]), std::uint8_t(t[1]), std::uint8_t(t[2])};
            out << log.record(clock, start_.addMSecs(out.size() * 1000 + 7));
        }
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        platform::LiveCapture capture;
        std::string error;
        if (!capture.open("lo", 100, &error))
            noLiveCapture_ = "live capture on lo is not possible here: " + QString::fromStdString(error);
    }

    void settingsFileFormat()
    {
        Packet p = deviceInfoPacket();
        p[4] = 10;
        p[5] = 0;
        p[1205] = 0xAB;
        const QByteArray text = settingsFileText(p.data());
        QCOMPARE(text.size(), kSettingsFileLength);
        QVERIFY(text.startsWith("a5 ff 00 5a 0a 00 "));
        QVERIFY(text.endsWith(" ab "));
        QCOMPARE(QByteArray::fromHex(text), QByteArray(reinterpret_cast<const char*>(p.data()), 1206));

        QString error;
        QVERIFY2(writeSettingsFile(dir_.filePath("set.ini"), p.data(), &error), qPrintable(error));
        QCOMPARE(contents(dir_.filePath("set.ini")), text);
        QVERIFY(!writeSettingsFile(dir_.filePath("missing/set.ini"), p.data(), &error));
        QVERIFY(error.contains("missing/set.ini"));
    }

    void resetPacketAtFixedClock()
    {
        Packet expected{};
        const std::pair<std::size_t, QByteArray> fields[] = {
            {0, QByteArray::fromHex("AA00FF112222AAAA012CC0A801C8C0A80166")},
            {24, QByteArray::fromHex("09400941")},
            {52, QByteArray::fromHex("1A0C06150509")},
            {1204, QByteArray::fromHex("0FF0")}};
        for (const auto& f : fields)
            std::copy(f.second.begin(), f.second.end(), expected.begin() + f.first);
        QCOMPARE(factoryResetPacket(start_), expected);
    }

    void gpsJumpsOnSecondsOnly()
    {
        GpsTimeLog log;
        using V = QVector<bool>;
        QCOMPARE(jumps(log, {{21, 0, 58}, {21, 0, 59}, {21, 1, 0}, {21, 1, 1}}), V({false, false, false, false}));
        QCOMPARE(log.errorCount(), 0);
        QCOMPARE(jumps(log, {{12, 0, 59}, {12, 5, 0}}), V({false, false}));
        QCOMPARE(jumps(log, {{21, 0, 10}, {21, 0, 10}, {21, 0, 9}}), V({false, true, true}));
        QCOMPARE(log.errorCount(), 2);
        // A new start is not compared with the last record before it, and counts from 0.
        QCOMPARE(jumps(log, {{21, 0, 40}}), V({false}));
        QCOMPARE(log.errorCount(), 0);
    }

    void gpsLogFilesAndLines()
    {
        QCOMPARE(gpsLogRoot(), QDir::homePath() + "/HVK32_GPSTimeTest-V3.0/");
        GpsTimeLog log;
        QCOMPARE(jumps(log, {{21, 0, 0}}, "SN02"), QVector<bool>({false}));
        QCOMPARE(jumps(log, {{21, 5, 58}, {21, 6, 0}}, "SN02"), QVector<bool>({false, true}));
        const QString folder = dir_.path() + "/2026-12-06/";
        QCOMPARE(log.mainLogPath(), folder + "HVK32-V3.0_SN02_2026-12-06-21-05-09.txt");
        QCOMPARE(log.errorLogPath(), folder + "HVK32-V3.0_SN02_Error_2026-12-06-21-05-09.txt");
        log.stop();
        QVERIFY(!log.isOpen());
        const std::uint8_t late[6] = {26, 12, 6, 21, 7, 0};
        QVERIFY(!log.record(late, start_)); // closed: nothing is written

        const QByteArray header = gb("\t\t本地时间\t\t\t\t\t\t GPS时间\n");
        QVERIFY(header.endsWith(QByteArray::fromHex("475053cab1bce40a"))); // "GPS时间" in GB2312
        // The second start appended to the first run's files.
        QVERIFY(contents(log.mainLogPath()).endsWith(
            header + gb("2026-12-06 21:05:09:007\t\t\tGPS时间 :2026/12/06 21:05:58\n"
                        "2026-12-06 21:05:10:007\t\t\tGPS时间 :2026/12/06 21:06:00\n"
                        "-------------- GPS时间发生跳变 : 2026/12/06 21:05:58 -> 2026/12/06 21:06:00--------------\n")));
        QVERIFY(contents(log.errorLogPath())
                    .endsWith(gb("2026-12-06 21:05:10:007\t\t\tGPS时间发生跳变 :2026/12/06 21:05:58 -> 2026/12/06 21:06:00\n")));
        QCOMPARE(contents(log.mainLogPath()).count(header), 2);

        QString error;
        QVERIFY(!log.start(dir_.path(), "a/b", start_, &error) && !error.isEmpty());
        QFile plain(dir_.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        QVERIFY(!log.start(plain.fileName(), "SN02", start_, &error) && !log.isOpen()); // a file, not a folder
        QVERIFY2(error.contains("plain/2026-12-06"), qPrintable(error));
    }

    void capturesDeviceInfoOnLoopback()
    {
        if (!noLiveCapture_.isEmpty())
            QSKIP(qPrintable(noLiveCapture_));
        platform::UdpSocket sink; // a listener, so the sends draw no port-unreachable replies
        const std::uint16_t port = platform::findFreeUdpPort();
        QVERIFY(sink.open() && sink.bind("127.0.0.1", port));
        sim::ScannerStream stream{sim::ScannerSettings{}};
        std::vector<QByteArray> round;
        Packet p{};
        for (int k = 0; k < 3; ++k) { // whole scanner frames with the wrong header
            stream.nextDataPacket(p.data());
            round.emplace_back(reinterpret_cast<const char*>(p.data()), 1206);
        }
        const Packet info = deviceInfoPacket();
        const QByteArray infoBytes(reinterpret_cast<const char*>(info.data()), 1206);
        round.push_back(infoBytes.left(600)); // the right header in a short frame
        round.push_back(infoBytes);

        Packet captured{};
        std::string error;
        bool ok = false;
        {
            LoopbackSender sender(port, round);
            ok = captureDeviceInfoPacket({"lo", 5000, kSettingsCaptureMaxPackets, "udp port " + std::to_string(port)},
                                         captured, &error);
        }
        QVERIFY2(ok, error.c_str());
        QCOMPARE(captured, info);

        // Only other packets: the packet bound ends the capture long before the time limit.
        QElapsedTimer timer;
        timer.start();
        {
            LoopbackSender sender(port, {round[0]});
            ok = captureDeviceInfoPacket({"lo", 5000, 5, "udp port " + std::to_string(port)}, captured, &error);
        }
        QVERIFY(!ok && timer.elapsed() < 2000);
        QVERIFY2(error.find("first 5 packets") != std::string::npos, error.c_str());
    }

    void quietOrMissingAdapterEnds()
    {
        std::string error;
        std::string adapter = "stale";
        Packet captured{};
        QVERIFY(!captureDeviceInfoPacket({"hvk32-no-such-adapter", 300, 3000, ""}, captured, &error, &adapter));
        QVERIFY2(error.find("hvk32-no-such-adapter") != std::string::npos, error.c_str());
        QVERIFY(adapter.empty()); // never opened: the caller must not say it listened there
        if (!noLiveCapture_.isEmpty())
            QSKIP(qPrintable(noLiveCapture_));
        QElapsedTimer timer;
        timer.start();
        const std::string quiet = "udp port " + std::to_string(platform::findFreeUdpPort());
        QVERIFY(!captureDeviceInfoPacket({"lo", 300, 3000, quiet}, captured, &error, &adapter));
        QVERIFY2(timer.elapsed() >= 290 && timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(error.find("300 ms") != std::string::npos, error.c_str());
        QCOMPARE(adapter, std::string("lo"));

        // No adapter named: the one that carries the device's datagrams (a loopback sender's
        // come through lo), not the first-letter rule.
        if (platform::captureDeviceOverride("").empty()) {
            QVERIFY(!captureDeviceInfoPacket({"", 100, 3000, quiet, {127, 0, 0, 2}}, captured, &error, &adapter));
            QCOMPARE(adapter, std::string("lo"));
        }
    }
};

QTEST_GUILESS_MAIN(AdvancedToolsTest)
#include "AdvancedToolsTest.moc"
