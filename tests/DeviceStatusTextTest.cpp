// How the configuration dialogs show the device's state, without the dialogs.

#include "acquisition/DeviceInfoDecoding.h"
#include "device/DeviceStatusText.h"

#include <QtTest>

#include <cstring>

using namespace hvk32;
using namespace hvk32::statustext;

class DeviceStatusTextTest : public QObject {
    Q_OBJECT

private slots:
    // Rows: a measured speed, then the item each dialog selects (-1: none).
    void speedItems_data()
    {
        QTest::addColumn<int>("rpm");
        QTest::addColumn<int>("network");
        QTest::addColumn<int>("advanced");
        QTest::newRow("stopped") << 0 << -1 << -1;
        QTest::newRow("band edge is outside") << 200 << -1 << -1;
        QTest::newRow("slow, coarse only") << 240 << 0 << -1;
        QTest::newRow("5 Hz") << 301 << 0 << 0;
        QTest::newRow("between 5 and 10 Hz") << 450 << -1 << -1;
        QTest::newRow("10 Hz, coarse only") << 680 << 1 << -1;
        QTest::newRow("20 Hz") << 1199 << 2 << 2;
        QTest::newRow("too fast") << 1300 << -1 << -1;
    }

    void speedItems()
    {
        QFETCH(int, rpm);
        QTEST(motorSpeedItemOf(rpm, kNetworkSpeedTolerance), "network");
        QTEST(motorSpeedItemOf(rpm, kAdvancedSpeedTolerance), "advanced");
    }

    void scaledValues()
    {
        QCOMPARE(shownMotorSpeed(49), 0);
        QCOMPARE(shownMotorSpeed(50), 50);
        QCOMPARE(apdTemperatureText(0), QString("-50.00"));
        QCOMPARE(apdTemperatureText(1241), QString("49.98")); // 1241 * 330 / 4096 - 50
        QCOMPARE(apdTemperatureText(65535), QString("5229.92"));
        QCOMPARE(boardTwoSigned(32767), 32767);
        QCOMPARE(boardTwoSigned(65534), -1);
        QCOMPARE(highVoltageText(0), QString("325.033"));
        QCOMPARE(hundredthsText(150), QString("1.5"));
        QCOMPARE(hundredthsText(-100), QString("-1"));
    }

    // Rows: the PPS state word, whether PPS is off, and the error angle.
    void ppsState_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<bool>("disabled");
        QTest::addColumn<int>("angle");
        QTest::newRow("on, positive") << 16384 << false << 16384;
        QTest::newRow("on, negative") << 16385 << false << 16385 - 32768;
        QTest::newRow("off, low quarter") << 0x8001 << true << 1;
        QTest::newRow("off, high quarter") << 0xFFFF << true << -1;
    }

    void ppsState()
    {
        QFETCH(int, word);
        const PpsState pps = decodePpsState(word);
        QTEST(pps.disabled, "disabled");
        QTEST(pps.errorAngle, "angle");
    }

    void textsAndVersions()
    {
        SettingData record{};
        std::memcpy(record.latitude, "\x01" "3150.12N\0", 10); // the first byte is not the latitude's
        record.latitudeLast = 'x';
        std::memcpy(record.longitude, "11712.5E\0\0", 10);
        record.longitudeLast = 0; // NUL padding is dropped wherever it is
        std::memcpy(record.text1164, "HVK32", 5);
        for (int i = 0; i < 10; ++i)
            record.versions[i] = static_cast<std::uint8_t>(i);
        QCOMPARE(latitudeText(record), QString("3150.12Nx"));
        QCOMPARE(longitudeText(record), QString("11712.5E"));

        const std::uint8_t clock[6] = {26, 12, 8, 21, 5, 9};
        QCOMPARE(clockText(clock), QString("2026/12/8 21:5:9"));

        std::vector<int> status(StatusValueCount, 0);
        const int mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x15E}; // only the low byte counts
        for (int i = 0; i < 6; ++i)
            status[StatusMac0 + i] = mac[i];
        QCOMPARE(macText(status), QString("00-1a-2b-3c-4d-5e"));
        status[StatusBoardMajor] = 2;
        status[StatusBoardMinor] = 0x10;
        status[StatusFirmwareMajor] = 3;
        status[StatusFirmwareMinor] = 0x0A;
        const int date[4] = {20, 26, 11, 16};
        for (int i = 0; i < 4; ++i)
            status[StatusFirmwareDate0 + i] = date[i];
        QCOMPARE(boardVersionText(status), QString("V2.10"));
        QCOMPARE(versionTexts(status, record),
                 (QStringList{"V2.1.0", "2026-11-16  V3.010", "HVK32", "V0.1", "V2.3", "V4.5", "V6.7", "V8.9"}));
    }
};

QTEST_GUILESS_MAIN(DeviceStatusTextTest)
#include "DeviceStatusTextTest.moc"
