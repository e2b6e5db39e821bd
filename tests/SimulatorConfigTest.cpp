// The substitute scanner as a configured device: user, advanced, vertical-angle and
// factory-reset datagrams change what its next device-info packets report and what its data
// packets hold; malformed datagrams change nothing; and the running hvk32-sim takes them on
// the network.

#include "acquisition/DataPacket.h"
#include "acquisition/DeviceInfoPacket.h"
#include "acquisition/PointDecoding.h"
#include "platform/UdpSocket.h"
#include "records/AngleValues.h"
#include "sim/ScannerStream.h"
#include "sim/SyntheticScene.h"

#include <QProcess>
#include <QtTest>

#include <array>
#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

using namespace hvk32;
using namespace hvk32::sim;
using Packet = std::array<std::uint8_t, devinfo::kPacketSize>;

namespace {

constexpr std::uint8_t kUserHeader[8] = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xAA, 0xAA};
constexpr std::uint8_t kAdvancedHeader[8] = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xBB, 0xBB};
constexpr std::uint8_t kMarker[8] = {0x55, 0xAA, 0xAA, 0x55, 0x33, 0x33, 0x11, 0x11};

Packet deviceInfo(const ScannerStream& stream, std::uint64_t micros = 0)
{
    Packet p{};
    stream.deviceInfoPacket(micros, p.data());
    return p;
}

// A configuration packet as the tool builds it: a copy of a device-info packet with the
// header, the bytes at 160 (cleared or the marker) and the tail written.
Packet configPacket(const Packet& info, const std::uint8_t (&header)[8], bool marker)
{
    Packet p = info;
    std::memcpy(p.data(), header, sizeof header);
    if (marker)
        std::memcpy(p.data() + 160, kMarker, sizeof kMarker);
    else
        std::memset(p.data() + 160, 0, 8);
    p[1204] = 0x0F;
    p[1205] = 0xF0;
    return p;
}

Packet userPacket(const Packet& info)
{
    Packet p = configPacket(info, kUserHeader, false);
    std::memset(p.data() + devinfo::kMacAddress, 0, 6);
    std::memset(p.data() + devinfo::kClock, 0, 6); // local-time box " No"
    return p;
}

void put16(Packet& p, std::size_t offset, std::uint16_t value) { putBe16(p.data() + offset, value); }

void putIp(Packet& p, std::size_t offset, std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d)
{
    p[offset] = a;
    p[offset + 1] = b;
    p[offset + 2] = c;
    p[offset + 3] = d;
}

QByteArray bytes(const Packet& p, std::size_t offset, std::size_t length)
{
    return QByteArray(reinterpret_cast<const char*>(p.data() + offset), static_cast<int>(length));
}

// Azimuth wraps among the data packets due before `until` (stream time).
int wrapsUntil(ScannerStream& stream, std::uint64_t until, std::uint16_t& last)
{
    std::uint8_t p[datapacket::kPacketSize];
    int wraps = 0;
    for (std::uint64_t due = 0; due < until;) {
        due = stream.nextDataPacket(p);
        for (int b = 0; b < datapacket::kBlocksPerPacket; ++b) {
            const std::uint16_t a = datapacket::azimuthRaw(p, b);
            wraps += a < last ? 1 : 0;
            last = a;
        }
    }
    return wraps;
}

// The viewer's point for a raw distance, horizontal and vertical angle, offsets 0.
Vec3 viewerPoint(float distance, float azimuth, float vertical)
{
    const double k = 3.14159 / 180.0;
    const double d = distance / 2.5;
    const double beta = azimuth - 12.98;
    return {(d * std::cos(vertical * k) * std::cos(azimuth * k) + 4.94 * std::cos(beta * k)) / 100,
            (d * std::cos(vertical * k) * std::sin(azimuth * k) + 4.94 * std::sin(beta * k)) / -100,
            d * std::sin(vertical * k) / 100};
}

// The largest distance of a revolution's points from the scene, converted with `vertical`.
double worstOffset(ScannerStream& stream, const float* vertical)
{
    const SyntheticScene scene;
    std::uint8_t p[datapacket::kPacketSize];
    double worst = 0;
    for (int k = 0; k < stream.blocksPerRevolution() / datapacket::kBlocksPerPacket; k += 5) {
        stream.nextDataPacket(p);
        DecodedBlock block;
        decodeBlock(p, 0, SensorConfig::SingleEcho, block);
        const float a = decodeBlockAzimuth(datapacket::azimuthRaw(p, 0));
        const float step = azimuthStep(a, decodeBlockAzimuth(datapacket::azimuthRaw(p, 1)));
        for (int c = 0; c < 32; ++c) {
            if (block.distance[c] == 0)
                continue;
            const Vec3 pt = viewerPoint(block.distance[c], liveChannelAzimuth(a, step, c), vertical[c]);
            worst = std::max(worst, scene.distanceToSurface(pt));
        }
    }
    return worst;
}

} // namespace

class SimulatorConfigTest : public QObject {
    Q_OBJECT
private slots:
    void userConfigurationIsReported()
    {
        ScannerSettings s;
        s.clockStart = ClockTime{2026, 3, 5, 10, 0, 0};
        ScannerStream stream(s);
        const Packet before = deviceInfo(stream);
        Packet p = userPacket(before);
        put16(p, 8, 1200);
        putIp(p, 10, 127, 0, 0, 9);
        putIp(p, 14, 127, 0, 0, 5);
        put16(p, 24, 3000);
        put16(p, 26, 3001);
        putIp(p, 28, 127, 0, 0, 3);
        putIp(p, 32, 127, 0, 0, 254);
        putIp(p, 36, 255, 0, 0, 0);
        put16(p, 40, 2); // output-rate mode: still sending
        put16(p, 42, 7);
        put16(p, 48, 9000);
        const std::uint8_t clock[6] = {27, 2, 3, 4, 5, 6};
        std::memcpy(p.data() + 52, clock, 6);

        const ConfigResult r = stream.applyConfiguration(p.data(), p.size(), 3 * kMicrosPerSecond);
        QVERIFY(r.accepted());
        QCOMPARE(int(r.kind), int(ConfigKind::User));
        QVERIFY(stream.motorRunning());
        const Packet after = deviceInfo(stream, 3 * kMicrosPerSecond);
        QCOMPARE(be16(after.data() + 8), std::uint16_t(1200));
        QCOMPARE(be32(after.data() + 10), 0x7F000009u);
        QCOMPARE(be32(after.data() + 14), 0x7F000005u);
        QCOMPARE(bytes(after, 18, 6), bytes(before, 18, 6)); // the device keeps its MAC
        QCOMPARE(be16(after.data() + 24), std::uint16_t(3000));
        QCOMPARE(be16(after.data() + 26), std::uint16_t(3001));
        QCOMPARE(be32(after.data() + 28), 0x7F000003u);
        QCOMPARE(be32(after.data() + 32), 0x7F0000FEu);
        QCOMPARE(be32(after.data() + 36), 0xFF000000u);
        QCOMPARE(be16(after.data() + 40), std::uint16_t(2));
        QCOMPARE(be16(after.data() + 42), std::uint16_t(7));
        QCOMPARE(be16(after.data() + 48), std::uint16_t(9000));
        QCOMPARE(bytes(after, 52, 6), QByteArray(reinterpret_cast<const char*>(clock), 6));
        QCOMPARE(stream.blocksPerRevolution(), 900);
        QCOMPARE(stream.dataPacketsPerSecond(), 1500.0); // the firing rate stays, the rotation doubles

        // A clock of six zero bytes (" No") leaves the device's clock running as it was.
        Packet again = userPacket(after);
        QVERIFY(stream.applyConfiguration(again.data(), again.size(), 5 * kMicrosPerSecond).accepted());
        const std::uint8_t later[6] = {27, 2, 3, 4, 5, 8};
        QCOMPARE(bytes(deviceInfo(stream, 5 * kMicrosPerSecond), 52, 6),
                 QByteArray(reinterpret_cast<const char*>(later), 6));
    }

    void motorSpeedAndState()
    {
        ScannerStream stream(ScannerSettings{});
        std::uint16_t last = 0;
        wrapsUntil(stream, kMicrosPerSecond, last);
        QCOMPARE(wrapsUntil(stream, 2 * kMicrosPerSecond, last), 10);

        Packet p = userPacket(deviceInfo(stream));
        put16(p, 8, 1200);
        QVERIFY(stream.applyConfiguration(p.data(), p.size(), 2 * kMicrosPerSecond).accepted());
        QCOMPARE(wrapsUntil(stream, 3 * kMicrosPerSecond, last), 20);

        put16(p, 40, 1); // Stop
        QVERIFY(stream.applyConfiguration(p.data(), p.size(), 3 * kMicrosPerSecond).accepted());
        QVERIFY(!stream.motorRunning());
        QCOMPARE(be16(deviceInfo(stream, 4 * kMicrosPerSecond).data() + 40), std::uint16_t(1));

        // Started again at 5 s: data resume from then, not with the two seconds missed, and
        // the rotation goes on from where it stopped.
        put16(p, 40, 0);
        QVERIFY(stream.applyConfiguration(p.data(), p.size(), 5 * kMicrosPerSecond).accepted());
        QVERIFY(stream.motorRunning());
        std::uint8_t data[datapacket::kPacketSize];
        const std::uint64_t due = stream.nextDataPacket(data);
        QVERIFY(due >= 5 * kMicrosPerSecond && due < 5 * kMicrosPerSecond + 1000);
        QCOMPARE(int(datapacket::azimuthRaw(data, 0)), (last + 40) % 36000);
    }

    void malformedDatagramsChangeNothing()
    {
        enum Base { User, Advanced, Vertical };
        struct Case {
            const char* name;
            Base base;
            void (*spoil)(Packet&);
            std::size_t length;
            ConfigRejection expected;
        };
        const Case cases[] = {
            {"short", User, [](Packet&) {}, 1205, ConfigRejection::Length},
            {"long", User, [](Packet&) {}, 1207, ConfigRejection::Length},
            {"header", User, [](Packet& p) { p[7] = 0xAB; }, 1206, ConfigRejection::Header},
            {"device-info header", User, [](Packet& p) { devinfo::writeHeader(p.data()); }, 1206,
             ConfigRejection::Header},
            {"tail", User, [](Packet& p) { p[1205] = 0; }, 1206, ConfigRejection::Tail},
            {"bytes at 160", User, [](Packet& p) { p[163] = 1; }, 1206, ConfigRejection::Marker},
            {"advanced without marker", Advanced, [](Packet& p) { p[160] = 0; }, 1206, ConfigRejection::Marker},
            {"700 rpm", User, [](Packet& p) { put16(p, 8, 700); }, 1206, ConfigRejection::MotorSpeed},
            {"motor state 3", User, [](Packet& p) { put16(p, 40, 3); }, 1206, ConfigRejection::MotorState},
            {"data port 0", User, [](Packet& p) { put16(p, 24, 0); }, 1206, ConfigRejection::Port},
            {"multicast device", User, [](Packet& p) { putIp(p, 10, 224, 1, 1, 1); }, 1206, ConfigRejection::Address},
            {"host 0.0.0.0", User, [](Packet& p) { putIp(p, 14, 0, 0, 0, 0); }, 1206, ConfigRejection::Address},
            {"30 February", User, [](Packet& p) { p[52] = 26; p[53] = 2; p[54] = 30; }, 1206, ConfigRejection::Clock},
            {"echo 2", Advanced, [](Packet& p) { p[185] = 2; }, 1206, ConfigRejection::EchoMode},
            {"advanced 0 rpm", Advanced, [](Packet& p) { put16(p, 8, 0); }, 1206, ConfigRejection::MotorSpeed},
            {"vertical 95 degrees", Vertical, [](Packet& p) { put16(p, 245 + 6, 9500); }, 1206,
             ConfigRejection::VerticalAngle},
        };
        for (const Case& c : cases) {
            ScannerStream stream(ScannerSettings{});
            const Packet before = deviceInfo(stream);
            Packet p = c.base == User       ? userPacket(before)
                : c.base == Advanced        ? configPacket(before, kAdvancedHeader, true)
                                            : configPacket(before, kUserHeader, true);
            put16(p, 8, 1200);         // what a valid datagram would change
            p[devinfo::kEchoMode] = 1; // (the advanced packet)
            c.spoil(p);
            std::vector<std::uint8_t> datagram(p.begin(), p.end());
            datagram.resize(c.length, 0x0F);
            const ConfigResult r = stream.applyConfiguration(datagram.data(), datagram.size());
            QVERIFY2(!r.accepted(), c.name);
            QVERIFY2(r.rejection == c.expected, c.name);
            QVERIFY2(deviceInfo(stream) == before, c.name);
            QVERIFY2(stream.blocksPerRevolution() == 1800 && stream.dataPacketsPerSecond() == 1500.0, c.name);
        }
    }

    void advancedConfiguration()
    {
        ScannerStream stream(ScannerSettings{});
        Packet p = configPacket(deviceInfo(stream), kAdvancedHeader, true);
        put16(p, 8, 300);
        putIp(p, 10, 10, 1, 2, 3); // copied device-info bytes: not settings of this packet
        put16(p, 178, 15000);
        put16(p, 180, 5);
        put16(p, 182, 6);
        p[184] = 1;
        p[185] = 1;
        put16(p, 186, 0x8063); // angle 1: -1 degree
        put16(p, 190, 100);    // angle 2
        put16(p, 188, 250);    // angle 3
        put16(p, 192, 0);      // angle 4
        const ConfigResult r = stream.applyConfiguration(p.data(), p.size());
        QVERIFY(r.accepted());
        QCOMPARE(int(r.kind), int(ConfigKind::Advanced));

        const Packet info = deviceInfo(stream);
        QCOMPARE(be16(info.data() + 8), std::uint16_t(300));
        QCOMPARE(be32(info.data() + 10), 0x7F000002u);
        QCOMPARE(be16(info.data() + 178), std::uint16_t(15000));
        QCOMPARE(be16(info.data() + 180), std::uint16_t(5));
        QCOMPARE(be16(info.data() + 182), std::uint16_t(6));
        QCOMPARE(info[184], std::uint8_t(1));
        QCOMPARE(info[185], std::uint8_t(1));
        QCOMPARE(bytes(info, 186, 8), bytes(p, 186, 8));

        // Dual echo from the next data packet on: six firings of two blocks each.
        QCOMPARE(stream.dataPacketsPerSecond(), 3000.0);
        std::uint8_t data[datapacket::kPacketSize];
        stream.nextDataPacket(data);
        for (int b = 0; b < datapacket::kBlocksPerPacket; b += 2) {
            QCOMPARE(datapacket::azimuthRaw(data, b + 1), datapacket::azimuthRaw(data, b));
            if (b > 0)
                QCOMPARE(datapacket::azimuthRaw(data, b), std::uint16_t(datapacket::azimuthRaw(data, b - 2) + 10));
        }
    }

    void verticalAnglesMoveTableAndGeometry()
    {
        ScannerStream stream(ScannerSettings{});
        // Half a degree above the 1-degree layout; the packet lists -16..15 in channel order.
        Packet p = configPacket(deviceInfo(stream), kUserHeader, true);
        for (int i = 0; i < 32; ++i) {
            const int t = (i - 16) * 100 + 50;
            put16(p, 245 + 2 * i, static_cast<std::uint16_t>(t < 0 ? t + 65535 : t));
        }
        const ConfigResult r = stream.applyConfiguration(p.data(), p.size());
        QVERIFY(r.accepted());
        QCOMPARE(int(r.kind), int(ConfigKind::VerticalAngles));
        QCOMPARE(bytes(deviceInfo(stream), 245, 64), bytes(p, 245, 64));
        QCOMPARE(be16(deviceInfo(stream).data() + 8), std::uint16_t(600)); // nothing else taken

        float shifted[32];
        for (int c = 0; c < 32; ++c)
            shifted[c] = defaultVerticalAngles1[c] + 0.5f;
        QVERIFY(worstOffset(stream, shifted) < 0.01);
        QVERIFY(worstOffset(stream, defaultVerticalAngles1) > 0.05);
    }

    void factoryReset()
    {
        ScannerStream stream(ScannerSettings{});
        Packet user = userPacket(deviceInfo(stream));
        put16(user, 8, 1200);
        put16(user, 40, 1);
        putIp(user, 28, 127, 0, 0, 3);
        QVERIFY(stream.applyConfiguration(user.data(), user.size()).accepted());
        Packet advanced = configPacket(deviceInfo(stream), kAdvancedHeader, true);
        advanced[185] = 1;
        put16(advanced, 186, 0x8063);
        QVERIFY(stream.applyConfiguration(advanced.data(), advanced.size()).accepted());
        Packet vertical = configPacket(deviceInfo(stream), kUserHeader, true);
        put16(vertical, 245, 0xF9B5); // -16.10 for the lowest channel
        QVERIFY(stream.applyConfiguration(vertical.data(), vertical.size()).accepted());

        Packet reset{};
        std::memcpy(reset.data(), kUserHeader, 8);
        put16(reset, 8, 300);
        putIp(reset, 10, 192, 168, 1, 200);
        putIp(reset, 14, 192, 168, 1, 102);
        put16(reset, 24, 2368);
        put16(reset, 26, 2369);
        const std::uint8_t clock[6] = {26, 12, 6, 21, 5, 9};
        std::memcpy(reset.data() + 52, clock, 6);
        reset[1204] = 0x0F;
        reset[1205] = 0xF0;
        const ConfigResult r = stream.applyConfiguration(reset.data(), reset.size());
        QVERIFY(r.accepted());
        QCOMPARE(int(r.kind), int(ConfigKind::FactoryReset));

        const Packet info = deviceInfo(stream);
        const Packet fresh = deviceInfo(ScannerStream(ScannerSettings{}));
        QCOMPARE(be16(info.data() + 8), std::uint16_t(300));
        // The host address is recorded as asked; the device keeps its loopback address, so
        // the tool never sends its next datagram off the machine.
        QCOMPARE(bytes(info, 14, 4), bytes(reset, 14, 4));
        QCOMPARE(bytes(info, 10, 4), bytes(fresh, 10, 4));
        QCOMPARE(stream.refusedDeviceIp(), std::string("192.168.1.200"));
        QCOMPARE(bytes(info, 24, 4), bytes(reset, 24, 4));
        QCOMPARE(bytes(info, 28, 16), QByteArray(16, '\0')); // NTP, gateway, mask, motor run, interval 0
        QCOMPARE(bytes(info, 52, 6), QByteArray(reinterpret_cast<const char*>(clock), 6));
        QVERIFY(stream.motorRunning());
        QCOMPARE(bytes(info, 178, 16), bytes(fresh, 178, 16)); // range, tail, zero, echo, offsets
        QCOMPARE(bytes(info, 245, 64), bytes(fresh, 245, 64));
        QCOMPARE(stream.dataPacketsPerSecond(), 1500.0);
    }

    void runningSimulatorTakesConfiguration_data()
    {
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<QString>("deviceIp");
        QTest::addColumn<QString>("host");
        QTest::newRow("firmware 3: device address, port 2368") << "3.0.0" << "127.0.0.77" << "127.0.0.1";
        QTest::newRow("firmware 2: multicast host group, device port") << "2.9.0" << "127.0.0.78" << "239.255.77.78";
    }
    void runningSimulatorTakesConfiguration()
    {
        QFETCH(QString, firmware);
        QFETCH(QString, deviceIp);
        QFETCH(QString, host);
        const bool multicast = platform::isMulticastAddress(host.toStdString());
        const std::uint16_t dataPort = platform::findFreeUdpPort();
        const std::uint16_t infoPort = platform::findFreeUdpPort();
        platform::UdpSocket data, info, tool;
        for (auto [socket, port] : {std::pair{&data, dataPort}, std::pair{&info, infoPort}}) {
            QVERIFY(socket->open() && socket->setReuseAddress(true));
            QVERIFY(socket->bind(multicast ? "0.0.0.0" : "127.0.0.1", port));
            QVERIFY(!multicast || socket->joinMulticast(host.toStdString(), "127.0.0.1"));
        }
        QVERIFY(tool.open() && tool.bind("127.0.0.1", 0) && tool.setMulticastInterface("127.0.0.1"));

        QProcess sim;
        sim.start(HVK32_SIM_PATH, {"--device-ip", deviceIp, "--host", host, "--data-port", QString::number(dataPort),
                                   "--telemetry-port", QString::number(infoPort), "--firmware", firmware,
                                   "--seconds", "30", "--quiet"});
        QVERIFY(sim.waitForStarted());
        auto stopSim = qScopeGuard([&] {
            sim.terminate();
            sim.waitForFinished(3000);
        });

        // The next device-info packet; the ones already waiting are skipped first.
        auto nextInfo = [&](Packet& p) {
            while (info.setReceiveTimeout(1) && info.receive(p.data(), p.size()) > 0) {}
            info.setReceiveTimeout(2500);
            for (int i = 0; i < 3; ++i)
                if (info.receive(p.data(), p.size()) == long(p.size())
                    && devinfo::isDeviceInfoPacket(p.data(), p.size()))
                    return true;
            return false;
        };
        auto sendToDevice = [&](const Packet& p) {
            const std::string to = multicast ? host.toStdString() : deviceIp.toStdString();
            return tool.sendTo(p.data(), p.size(), to, multicast ? be16(p.data() + 26) : 2368) == long(p.size());
        };
        // Revolutions a second over `seconds` of received data, from the packets' time stamps
        // and azimuths; the first 0.2 s, perhaps still of the old settings, are dropped.
        auto revolutionsPerSecond = [&](double seconds) {
            data.setReceiveTimeout(200);
            std::uint8_t p[datapacket::kPacketSize];
            const auto start = std::chrono::steady_clock::now();
            while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(200))
                data.receive(p, sizeof p);
            data.setReceiveTimeout(1000);
            double hundredths = 0, micros = 0;
            long previousTime = -1, previousAzimuth = 0;
            while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(0.2 + seconds)) {
                if (data.receive(p, sizeof p) != long(sizeof p))
                    return 0.0;
                const long time = datapacket::timestampRaw(p);
                const long first = datapacket::azimuthRaw(p, 0), lastBlock = datapacket::azimuthRaw(p, 11);
                if (previousTime >= 0) {
                    micros += (time - previousTime + 3600000000L) % 3600000000L;
                    hundredths += (first - previousAzimuth + 36000) % 36000;
                }
                hundredths += (lastBlock - first + 36000) % 36000;
                previousTime = time;
                previousAzimuth = lastBlock;
            }
            return micros > 0 ? hundredths / 36000.0 / (micros / 1e6) : 0.0;
        };

        Packet p;
        QVERIFY2(nextInfo(p), sim.readAllStandardError().constData());
        QCOMPARE(be16(p.data() + 8), std::uint16_t(600));
        const double before = revolutionsPerSecond(1.0);
        QVERIFY2(std::fabs(before - 10.0) < 0.5, qPrintable(QString::number(before)));

        Packet config = userPacket(p);
        put16(config, 8, 1200);
        QVERIFY(sendToDevice(config));
        QVERIFY(nextInfo(p));
        if (be16(p.data() + 8) != 1200) // one sent just before the datagram arrived
            QVERIFY(nextInfo(p));
        QCOMPARE(be16(p.data() + 8), std::uint16_t(1200));
        const double after = revolutionsPerSecond(1.0);
        QVERIFY2(std::fabs(after - 2 * before) < 1.0, qPrintable(QString::number(after)));

        // Stop: device info goes on, data end.
        config = userPacket(p);
        put16(config, 40, 1);
        QVERIFY(sendToDevice(config));
        QVERIFY(nextInfo(p));
        if (be16(p.data() + 40) != 1)
            QVERIFY(nextInfo(p));
        QCOMPARE(be16(p.data() + 40), std::uint16_t(1));
        QCOMPARE(revolutionsPerSecond(1.0), 0.0);
        QVERIFY(nextInfo(p));
        QVERIFY2(sim.readAllStandardError().isEmpty(), "the simulator reported a problem");
    }
};

QTEST_GUILESS_MAIN(SimulatorConfigTest)
#include "SimulatorConfigTest.moc"
