// Device-info packets: decoding into status values, SettingData and the angle values, and
// the receiver thread on loopback.

#include "support/DeviceInfoBuilder.h"
#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoJson.h"
#include "acquisition/DeviceInfoPacket.h"
#include "receivers/GetSetK32.h"
#include "platform/UdpSocket.h"
#include "records/AngleValues.h"
#include "records/MetaTypes.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <array>
#include <cstring>

using namespace hvk32;
using Packet = test::DeviceInfo;

namespace {

int be16At(const Packet& p, std::size_t offset)
{
    return be16(p.data() + offset);
}

} // namespace

class DeviceInfoTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { registerRecordMetaTypes(); }

    void angleCodes()
    {
        QCOMPARE(devinfo::decodeAngleCode(100), 1.0f);
        QCOMPARE(devinfo::decodeAngleCode(32867), -1.0f); // 0x8063
        QCOMPARE(devinfo::decodeAngleCode(0x8000), -0.01f);
        QCOMPARE(devinfo::decodeAngleCode(0xFFFF), -327.68f);
        QCOMPARE(devinfo::decodeVerticalAngle(0xFFFF), 0.0f); // minus 65535, not 65536
        QCOMPARE(devinfo::decodeVerticalAngle(0xFF9C), -0.99f);
        QCOMPARE(devinfo::decodeVerticalAngle(1500), 15.0f);
        QCOMPARE(devinfo::decodeVerticalAngle(devinfo::encodeVerticalAngle(-16.0)), -16.0f);
    }

    void verticalTableListsEvenChannelsFirst()
    {
        Packet p = test::patternDeviceInfo();
        for (int i = 0; i < 32; ++i)
            putBe16(p.data() + devinfo::kVerticalAngles + 2 * i, static_cast<std::uint16_t>(100 * i));
        const auto angles = decodeVerticalAngles(p.data());
        QCOMPARE(angles[0], 0.0f);
        QCOMPARE(angles[2], 1.0f);  // packet entry 1
        QCOMPARE(angles[1], 16.0f); // packet entry 16
        QCOMPARE(angles[31], 31.0f);
        publishVerticalAngles(p.data());
        QCOMPARE(verticalAngleTable[2].load(), 1.0f);
    }

    void offsetAnglesByName()
    {
        Packet p = test::patternDeviceInfo();
        putBe16(p.data() + devinfo::kOffsetAngle1, 100);   // bytes 186
        putBe16(p.data() + devinfo::kOffsetAngle3, 300);   // 188
        putBe16(p.data() + devinfo::kOffsetAngle2, 200);   // 190
        putBe16(p.data() + devinfo::kOffsetAngle4, 32867); // 192
        publishOffsetAngles(p.data());
        QCOMPARE(offsetAngle1.load(), 1.0f);
        QCOMPARE(offsetAngle2.load(), 2.0f);
        QCOMPARE(offsetAngle3.load(), 3.0f);
        QCOMPARE(offsetAngle4.load(), -1.0f);
    }

    void statusValuesInTableOrder()
    {
        const Packet p = test::patternDeviceInfo();
        const std::vector<int> v = decodeStatusValues(p.data());
        QCOMPARE(int(v.size()), 33);
        const std::vector<int> expected = {
            p[18], p[19], p[20], p[21], p[22], p[23], be16At(p, 50), be16At(p, 24), be16At(p, 26), be16At(p, 186),
            be16At(p, 178), p[1198], p[1199], p[1200], p[1201], p[1202], p[1203], be16At(p, 180), be16At(p, 182),
            be16At(p, 48), be16At(p, 190), p[184], p[1196], p[1197], be16At(p, 80), be16At(p, 188), be16At(p, 192),
            p[185], be16At(p, 99), be16At(p, 101), p[103], be16At(p, 1194), p[104],
        };
        QCOMPARE(v, expected);
    }

    // The clock's year byte counts from 2000, for the packet, its JSON and the calendar check
    // alike: the byte's last year is 2255, and 29 February only in leap years.
    void clockYearRule()
    {
        Packet p = test::patternDeviceInfo();
        const std::uint8_t bytes[6] = {255, 2, 29, 23, 59, 59};
        std::memcpy(p.data() + devinfo::kClock, bytes, sizeof bytes);
        const devinfo::Clock c = devinfo::readClock(p.data() + devinfo::kClock);
        QCOMPARE(c.year, 2255);
        QVERIFY(!devinfo::isValidClock(c)); // 2255 is no leap year
        const QJsonObject o = QJsonDocument::fromJson(deviceInfoJson(p.data())).object();
        QCOMPARE(o["deviceTime"].toString(), QString("2255-02-29T23:59:59"));

        struct Case {
            devinfo::Clock clock;
            bool valid;
        };
        const Case cases[] = {
            {{2000, 2, 29, 0, 0, 0}, true},  {{2100, 2, 29, 0, 0, 0}, false}, {{2028, 2, 29, 12, 0, 0}, true},
            {{1999, 12, 31, 0, 0, 0}, false}, {{2256, 1, 1, 0, 0, 0}, false}, {{2255, 12, 31, 23, 59, 59}, true},
            {{2026, 4, 31, 0, 0, 0}, false},  {{2026, 13, 1, 0, 0, 0}, false}, {{2026, 1, 1, 24, 0, 0}, false},
            {{2026, 1, 0, 0, 0, 0}, false},   {{2026, 1, 1, 0, 60, 0}, false}, {{2026, 1, 1, 0, 0, 60}, false},
        };
        for (const Case& k : cases) {
            const devinfo::Clock& t = k.clock;
            QVERIFY2(devinfo::isValidClock(t) == k.valid,
                     qPrintable(QString("%1-%2-%3 %4:%5:%6").arg(t.year).arg(t.month).arg(t.day).arg(t.hour).arg(t.minute).arg(t.second)));
        }
    }

    void settingDataFields()
    {
        const Packet p = test::patternDeviceInfo();
        const SettingData d = decodeSettingData(p.data());
        QCOMPARE(d.destinationIp[0], p[14]);
        QCOMPARE(d.dataPort[1], p[25]);
        QCOMPARE(d.dateTime[5], p[57]);
        QCOMPARE(d.motorSpeed, be16At(p, 8));
        QCOMPARE(d.packetInterval, be16At(p, 42));
        QCOMPARE(d.motorState, be16At(p, 40));
        QCOMPARE(d.latitude[9], p[67]);
        QCOMPARE(d.latitudeLast, p[78]);
        QCOMPARE(d.longitude[0], p[68]);
        QCOMPARE(d.longitudeLast, p[79]);
        QCOMPARE(d.lvdsLock, p[83]);
        QVERIFY(std::memcmp(d.verticalAngles, p.data() + 245, 64) == 0);
        QVERIFY(std::memcmp(d.bytes168, p.data() + 168, 10) == 0);
        QVERIFY(std::memcmp(d.text1164, p.data() + 1164, 20) == 0);
        QVERIFY(std::memcmp(d.versions, p.data() + 1184, 10) == 0);
        QVERIFY(std::memcmp(d.boardAndFirmware, p.data() + 1196, 8) == 0);
    }

    void modesAndVersions()
    {
        QCOMPARE(echoConfigurationOf(1), QString("HVK322"));
        QCOMPARE(echoConfigurationOf(0), QString("HVK321"));
        QCOMPARE(echoConfigurationOf(2), QString("HVK321"));
        QCOMPARE(degreeModeOf(33), 1);
        QCOMPARE(degreeModeOf(0), 0);
        QCOMPARE(degreeModeOf(34), 0);

        std::vector<int> v(33, 0);
        auto firmware = [&](int major, int minorField) {
            v[StatusFirmwareMajor] = major;
            v[StatusFirmwareMinor] = minorField;
            return firmwareSupportsDisplay(v);
        };
        QVERIFY(!firmware(2, 0x70));
        QVERIFY(firmware(2, 0x80));
        QVERIFY(firmware(3, 0x00));
        QVERIFY(!firmware(1, 0x90));
        v[StatusBoardMajor] = 1;
        QVERIFY(!isUsableDevice(v));
        v[StatusBoardMajor] = 2;
        QVERIFY(isUsableDevice(v));
        QVERIFY(!isUsableDevice(std::vector<int>(5, 9))); // a short list is never usable
    }

    void receiverDecodesAndDropsOnLoopback()
    {
        GetSetK32 receiver;
        QList<std::vector<int>> statuses;
        QList<QByteArray> raws;
        QStringList order;
        connect(&receiver, &GetSetK32::SendLidarStatusToSettingUI, this, [&](SettingData* d, std::vector<int> v) {
            QVERIFY(d);
            statuses.append(v);
            order << "status";
        });
        connect(&receiver, &GetSetK32::SendDataDifo, this, [&](const u_char* data) {
            raws.append(QByteArray(reinterpret_cast<const char*>(data), int(devinfo::kPacketSize)));
            order << "raw";
        });
        const std::uint16_t port = platform::findFreeUdpPort();
        receiver.setPort(port);
        receiver.setMulticastGroup("224.1.1.1");
        receiver.start();
        QTRY_VERIFY(receiver.isBound());

        platform::UdpSocket sender;
        QVERIFY(sender.open());
        Packet first = test::patternDeviceInfo();
        Packet second = test::patternDeviceInfo();
        second[devinfo::kEchoMode] = 1;
        Packet foreign = test::patternDeviceInfo();
        foreign[3] = 0x5B; // not the device-info header
        sender.sendTo(first.data(), first.size(), "127.0.0.1", port);
        sender.sendTo(second.data(), 600, "127.0.0.1", port); // short: dropped, not decoded over stale bytes
        sender.sendTo(foreign.data(), foreign.size(), "127.0.0.1", port);
        sender.sendTo(second.data(), second.size(), "127.0.0.1", port);

        QTRY_COMPARE_WITH_TIMEOUT(statuses.size(), 2, 5000);
        QCOMPARE(receiver.datagramsDropped(), std::uint64_t(2));
        QCOMPARE(order, (QStringList{"status", "raw", "status", "raw"}));
        // Each delivery still shows its own packet, although the second arrived before
        // the first was handled.
        QCOMPARE(statuses[0][StatusEchoMode], int(first[devinfo::kEchoMode]));
        QCOMPARE(statuses[1][StatusEchoMode], 1);
        QCOMPARE(raws[0], QByteArray(reinterpret_cast<const char*>(first.data()), int(first.size())));
        QCOMPARE(raws[1], QByteArray(reinterpret_cast<const char*>(second.data()), int(second.size())));

        receiver.setStop(true);
        QVERIFY(receiver.wait(1000));
    }
};

QTEST_GUILESS_MAIN(DeviceInfoTest)
#include "DeviceInfoTest.moc"
