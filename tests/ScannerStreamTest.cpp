// The substitute scanner's stream: motion and timing of data packets, where its points land
// when the viewer converts them, the device-info packet, and the capture-file writer.

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoPacket.h"
#include "acquisition/PointDecoding.h"
#include "records/AngleValues.h"
#include "sim/CaptureFileWriter.h"
#include "sim/ScannerStream.h"
#include "sim/SyntheticScene.h"

#include <QtTest>

#include <cmath>
#include <sstream>
#include <vector>

using namespace hvk32;
using namespace hvk32::sim;

namespace {

// One firing as the receiver decodes it: the block azimuth and one block per echo.
struct Firing {
    std::uint16_t azimuthRaw = 0;
    DecodedBlock echo[2];
};

std::vector<Firing> firings(ScannerStream& stream, int count)
{
    const int echoes = stream.settings().echo == EchoMode::Dual ? 2 : 1;
    std::vector<Firing> out;
    std::uint8_t p[datapacket::kPacketSize];
    while (static_cast<int>(out.size()) < count) {
        stream.nextDataPacket(p);
        for (int b = 0; b < datapacket::kBlocksPerPacket; b += echoes) {
            Firing f;
            f.azimuthRaw = datapacket::azimuthRaw(p, b);
            for (int e = 0; e < echoes; ++e)
                decodeBlock(p, b + e, SensorConfig::SingleEcho, f.echo[e]);
            out.push_back(f);
        }
    }
    return out;
}

struct Point {
    double x, y, z;
};

// The viewer's conversion with zero offset angles: 0.4 cm per count, pi as 3.14159.
Point viewerPoint(float distance, float azimuth, float vertical)
{
    const double k = 3.14159 / 180.0;
    const double d = distance / 2.5;
    const double theta = azimuth;
    const double beta = theta - 12.98;
    return {(d * std::cos(vertical * k) * std::cos(theta * k) + 4.94 * std::cos(beta * k)) / 100,
            (d * std::cos(vertical * k) * std::sin(theta * k) + 4.94 * std::sin(beta * k)) / -100,
            d * std::sin(vertical * k) / 100};
}

ScannerSettings fixedClock(ScannerSettings s, ClockTime start)
{
    s.clockStart = start;
    return s;
}

} // namespace

class ScannerStreamTest : public QObject {
    Q_OBJECT
private slots:
    void motionAndTiming_data()
    {
        QTest::addColumn<int>("rpm");
        QTest::addColumn<bool>("dual");
        QTest::newRow("300 rpm single") << 300 << false;
        QTest::newRow("600 rpm dual") << 600 << true;
        QTest::newRow("1200 rpm single") << 1200 << false;
        QTest::newRow("1200 rpm dual") << 1200 << true;
    }
    void motionAndTiming()
    {
        QFETCH(int, rpm);
        QFETCH(bool, dual);
        ScannerSettings s;
        s.rpm = rpm;
        s.echo = dual ? EchoMode::Dual : EchoMode::Single;
        // One second before the top of the hour, so the time stamps wrap during the run.
        ScannerStream stream(fixedClock(s, {2026, 3, 5, 9, 59, 59}));
        const std::uint16_t step = stream.azimuthStepHundredths();
        QCOMPARE(int(step), rpm / 30);
        QCOMPARE(stream.blocksPerRevolution(), 36000 / step);
        QCOMPARE(stream.dataPacketsPerSecond(), dual ? 3000.0 : 1500.0);

        const int echoes = dual ? 2 : 1;
        std::uint8_t p[datapacket::kPacketSize];
        std::uint16_t previous = 0;
        bool first = true;
        int firingCount = 0, wraps = 0, packetsInFirstSecond = 0;
        for (std::uint64_t due = 0; due < 1200000;) {
            due = stream.nextDataPacket(p);
            QVERIFY(datapacket::isDataPacket(p, sizeof p));
            // Due at the packet's last firing, 18000 firings a second.
            firingCount += datapacket::kBlocksPerPacket / echoes;
            QCOMPARE(due, std::uint64_t(firingCount - 1) * 1000000 / 18000);
            QCOMPARE(datapacket::timestampRaw(p), std::uint32_t((3599000000ull + due) % 3600000000ull));
            if (due < 1000000)
                ++packetsInFirstSecond;
            for (int b = 0; b < datapacket::kBlocksPerPacket; b += echoes) {
                const std::uint16_t a = datapacket::azimuthRaw(p, b);
                if (dual)
                    QCOMPARE(datapacket::azimuthRaw(p, b + 1), a);
                QCOMPARE(int(a), first ? 0 : (previous + step) % 36000); // starts at 0
                first = false;
                wraps += a < previous ? 1 : 0;
                previous = a;
            }
        }
        QCOMPARE(packetsInFirstSecond, int(stream.dataPacketsPerSecond()));
        QCOMPARE(wraps, (firingCount - 1) / stream.blocksPerRevolution());
    }

    void pointsLandOnSceneSurfaces_data()
    {
        QTest::addColumn<bool>("dual");
        QTest::addColumn<bool>("thirdDegree");
        QTest::newRow("single echo, 1-degree layout") << false << false;
        QTest::newRow("dual echo, 0.33-degree layout") << true << true;
    }
    void pointsLandOnSceneSurfaces()
    {
        QFETCH(bool, dual);
        QFETCH(bool, thirdDegree);
        ScannerSettings s;
        s.echo = dual ? EchoMode::Dual : EchoMode::Single;
        s.layout = thirdDegree ? Layout::ThirdDegree : Layout::OneDegree;
        const float* vertical = thirdDegree ? defaultVerticalAngles033 : defaultVerticalAngles1;
        ScannerStream stream(s);
        const int blocks = stream.blocksPerRevolution();
        const std::vector<Firing> rev = firings(stream, blocks + 1);
        const SyntheticScene scene;
        int floorPoints = 0, wallPoints = 0, noReturn = 0;
        double floorIntensity = 0, wallIntensity = 0;
        for (int k = 0; k < blocks; ++k) {
            const float a = decodeBlockAzimuth(rev[k].azimuthRaw);
            const float step = azimuthStep(a, decodeBlockAzimuth(rev[k + 1].azimuthRaw));
            for (int e = 0; e < (dual ? 2 : 1); ++e) {
                for (int c = 0; c < 32; ++c) {
                    const float d = rev[k].echo[e].distance[c];
                    if (d == 0) {
                        ++noReturn;
                        continue;
                    }
                    const Point pt = viewerPoint(d, liveChannelAzimuth(a, step, c), vertical[c]);
                    const double off = scene.distanceToSurface({pt.x, pt.y, pt.z});
                    QVERIFY2(off < 0.01, qPrintable(QString("block %1 channel %2 echo %3: %4 m off")
                                                        .arg(k).arg(c).arg(e).arg(off)));
                    const int intensity = rev[k].echo[e].intensity[c];
                    if (std::fabs(pt.z - scene::kFloorZ) < 0.01) {
                        ++floorPoints;
                        floorIntensity += intensity;
                    } else if (std::fabs(pt.x - scene::kRoomMaxX) < 0.01) {
                        ++wallPoints;
                        wallIntensity += intensity;
                    }
                }
            }
        }
        QVERIFY(floorPoints > 1000);
        QVERIFY(wallPoints > 1000);
        QCOMPARE(noReturn, 0); // the hall is closed: every beam meets a surface
        QVERIFY(floorIntensity / floorPoints < wallIntensity / wallPoints);
    }

    void dualEchoSeesThroughGlass()
    {
        ScannerSettings s;
        s.echo = EchoMode::Dual;
        ScannerStream stream(s);
        const std::vector<Firing> rev = firings(stream, stream.blocksPerRevolution());
        const int horizontalChannel = 1; // 0 degrees in the 1-degree layout
        const Firing& towardsGlass = rev[stream.blocksPerRevolution() / 2]; // azimuth 180
        QCOMPARE(int(towardsGlass.azimuthRaw), 18000);
        const Point first = viewerPoint(towardsGlass.echo[0].distance[horizontalChannel], 180.0f, 0.0f);
        const Point last = viewerPoint(towardsGlass.echo[1].distance[horizontalChannel], 180.0f, 0.0f);
        QVERIFY(std::fabs(first.x - scene::kGlassX) < 0.01);
        QVERIFY(std::fabs(last.x - scene::kRoomMinX) < 0.01);
        // Away from the glass both echoes are the same return.
        const Firing& away = rev[0];
        for (int c = 0; c < 32; ++c) {
            QCOMPARE(away.echo[1].distance[c], away.echo[0].distance[c]);
            QCOMPARE(away.echo[1].intensity[c], away.echo[0].intensity[c]);
        }
    }

    void deviceInfoFields()
    {
        ScannerSettings s;
        s.rpm = 1200;
        s.echo = EchoMode::Dual;
        s.layout = Layout::ThirdDegree;
        s.boardMajor = 2;
        s.boardMinor = 3;
        s.firmwareMajor = 3;
        s.firmwareMinor = 1;
        s.firmwarePatch = 2;
        const ScannerStream stream(fixedClock(s, {2026, 12, 31, 23, 59, 58}));
        std::uint8_t p[devinfo::kPacketSize];
        stream.deviceInfoPacket(0, p);
        using namespace devinfo;
        QVERIFY(isDeviceInfoPacket(p, sizeof p));
        QCOMPARE(be16(p + kMotorSpeed), std::uint16_t(1200));
        QCOMPARE(be32(p + kDeviceIp), 0x7F000002u);
        QCOMPARE(be32(p + kDestinationIp), 0x7F000001u);
        QCOMPARE(be16(p + kDataPort), std::uint16_t(2368));
        QCOMPARE(be16(p + kDevicePort), std::uint16_t(2369));
        QVERIFY(std::fabs(be16(p + kApdTemperature) / 4096.0 * 330 - 50 - 35) < 0.2);
        QCOMPARE(p[kEchoMode], kDualEchoCode);
        QCOMPARE(be16(p + kAngleModeCode), kAngleMode033Code);
        QCOMPARE(p[kBoardVersionMajor], std::uint8_t(2));
        QCOMPARE(p[kBoardVersionMinor], std::uint8_t(0x30));
        QCOMPARE(p[kFirmwareMajor], std::uint8_t(3));
        QCOMPARE(p[kFirmwareMinor], std::uint8_t(0x12));
        for (int i = 0; i < kVerticalAngleCount; ++i)
            QCOMPARE(decodeVerticalAngle(be16(p + kVerticalAngles + 2 * i)),
                     defaultVerticalAngles033[verticalEntryChannel(i)]);

        // The clock advances one second per second, across the new year.
        const std::uint8_t expected[3][6] = {{26, 12, 31, 23, 59, 58}, {26, 12, 31, 23, 59, 59}, {27, 1, 1, 0, 0, 0}};
        for (int second = 0; second < 3; ++second) {
            stream.deviceInfoPacket(second * kMicrosPerSecond, p);
            QCOMPARE(QByteArray(reinterpret_cast<char*>(p + kClock), 6),
                     QByteArray(reinterpret_cast<const char*>(expected[second]), 6));
        }

        const ScannerStream plain(ScannerSettings{});
        plain.deviceInfoPacket(0, p);
        QCOMPARE(p[kEchoMode], std::uint8_t(0));
        QCOMPARE(be16(p + kAngleModeCode), std::uint16_t(0));
        QCOMPARE(decodeVerticalAngle(be16(p + kVerticalAngles + 2 * 16)), defaultVerticalAngles1[1]);
    }

    void captureFileRecords()
    {
        std::ostringstream out;
        CaptureFileWriter writer(out);
        std::vector<std::uint8_t> payload(datapacket::kPacketSize);
        for (std::size_t i = 0; i < payload.size(); ++i)
            payload[i] = static_cast<std::uint8_t>(i);
        QVERIFY(writer.writeUdpRecord(1700000000123456ull, "127.0.0.2", 2368, "224.1.1.1", 2369, payload.data(),
                                      payload.size()));
        QVERIFY(!writer.writeUdpRecord(0, "127.0.0.256", 1, "127.0.0.1", 2, payload.data(), payload.size()));
        const std::uint8_t odd[3] = {1, 2, 3};
        QVERIFY(writer.writeRecord(5, odd, sizeof odd, 99));

        const std::string bytes = out.str();
        const auto* f = reinterpret_cast<const std::uint8_t*>(bytes.data());
        QCOMPARE(bytes.size(), std::size_t(24 + 16 + 1248 + 16 + 3));
        QCOMPARE(le32(f), 0xA1B2C3D4u);
        QCOMPARE(le16(f + 4), std::uint16_t(2));
        QCOMPARE(le16(f + 6), std::uint16_t(4));
        QCOMPARE(le32(f + 16), 65535u);
        QCOMPARE(le32(f + 20), 1u);

        const std::uint8_t* record = f + 24;
        QCOMPARE(le32(record), 1700000000u);
        QCOMPARE(le32(record + 4), 123456u);
        QCOMPARE(le32(record + 8), 1248u);
        QCOMPARE(le32(record + 12), 1248u);
        const std::uint8_t* ip = record + 16 + 14;
        QCOMPARE(be16(ip - 2), std::uint16_t(0x0800));
        QCOMPARE(ip[0], std::uint8_t(0x45));
        QCOMPARE(be16(ip + 2), std::uint16_t(1234));
        QCOMPARE(ip[8], std::uint8_t(64));
        QCOMPARE(ip[9], std::uint8_t(17));
        QCOMPARE(internetChecksum(ip, 20), std::uint16_t(0)); // a valid header sums to all ones
        QCOMPARE(be32(ip + 12), 0x7F000002u);
        QCOMPARE(be32(ip + 16), 0xE0010101u);
        const std::uint8_t* udp = ip + 20;
        QCOMPARE(be16(udp), std::uint16_t(2368));
        QCOMPARE(be16(udp + 2), std::uint16_t(2369));
        QCOMPARE(be16(udp + 4), std::uint16_t(1214));
        QVERIFY(std::equal(payload.begin(), payload.end(), udp + 8));

        const std::uint8_t* oddRecord = record + 16 + 1248;
        QCOMPARE(le32(oddRecord + 8), 3u);
        QCOMPARE(le32(oddRecord + 12), 99u);
    }
};

QTEST_GUILESS_MAIN(ScannerStreamTest)
#include "ScannerStreamTest.moc"
