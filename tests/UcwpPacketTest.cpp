// The user configuration packet built from a stored device-info packet and the form, where
// it is sent, and the address checks of the network dialog.

#include "support/DeviceInfoBuilder.h"
#include "acquisition/DeviceInfoPacket.h"
#include "device/AddressChecks.h"
#include "device/UcwpPacket.h"

#include <QtTest>

#include <algorithm>
#include <array>
#include <iterator>
#include <utility>

using namespace hvk32;
using namespace hvk32::addresschecks;
using Packet = test::DeviceInfo;

Q_DECLARE_METATYPE(hvk32::addresschecks::AddressBoxes)

namespace {

ucwp::UcwpForm plainForm()
{
    ucwp::UcwpForm form;
    form.rotateSpeed = " 5  HZ";
    form.motorState = "Run";
    form.localTime = " No";
    return form;
}

const QDateTime kNow(QDate(2024, 3, 5), QTime(9, 7, 2));

Packet built(const ucwp::UcwpForm& form, const Packet& stored = test::patternDeviceInfo())
{
    const ucwp::Build b = ucwp::buildUcwpPacket(stored.data(), form, kNow);
    if (!b.ok())
        qFatal("packet refused");
    return b.packet;
}

QByteArray bytesAt(const Packet& p, std::size_t offset, int count)
{
    return QByteArray(reinterpret_cast<const char*>(p.data() + offset), count);
}

AddressBoxes boxes(const char* device, const char* host, const char* mask, const char* gateway)
{
    return {device, host, mask, gateway};
}

enum Check { LidarIp, LocalIp, SubnetMask, Gateway };

} // namespace

class UcwpPacketTest : public QObject {
    Q_OBJECT
private slots:
    void untouchedBytesEchoTheDevice()
    {
        ucwp::UcwpForm form = plainForm();
        form.deviceIp = "10.1.2.3";
        form.hostIp = "10.1.2.9";
        const Packet stored = test::patternDeviceInfo();
        const Packet p = built(form, stored);

        Packet expected = stored;
        const std::uint8_t header[] = {0xAA, 0x00, 0xFF, 0x11, 0x22, 0x22, 0xAA, 0xAA};
        std::copy(std::begin(header), std::end(header), expected.begin());
        expected[8] = 0x01;
        expected[9] = 0x2C;
        const std::uint8_t addresses[] = {10, 1, 2, 3, 10, 1, 2, 9};
        std::copy(std::begin(addresses), std::end(addresses), expected.begin() + 10);
        const std::pair<int, int> zeroed[] = {{18, 23}, {28, 43}, {52, 57}, {160, 167}};
        for (auto [from, to] : zeroed)
            std::fill(expected.begin() + from, expected.begin() + to + 1, 0);
        expected[1204] = 0x0F;
        expected[1205] = 0xF0;
        for (std::size_t i = 0; i < p.size(); ++i)
            if (p[i] != expected[i])
                QFAIL(qPrintable(QString("byte %1 is %2, expected %3").arg(i).arg(p[i]).arg(expected[i])));
    }

    void formFieldsAreEncoded()
    {
        ucwp::UcwpForm form = plainForm();
        form.deviceIp = "192.168.1.200";
        form.hostIp = "192.168."; // partial: the reported address goes back
        form.dataPort = "2368";
        form.devicePort = "2369";
        form.ntpServer = "1.2.3.4";
        form.gateway = "192.168.1.1";
        form.subnetMask = "255.255.255.0";
        form.rotateSpeed = " 10 HZ";
        form.motorState = "OutputRate";
        form.interval = "65535";
        form.ppsAngle = "90";
        form.localTime = " Yes";
        const Packet stored = test::patternDeviceInfo();
        Packet p = built(form, stored);
        QCOMPARE(bytesAt(p, 8, 2), QByteArray("\x02\x58"));
        QCOMPARE(bytesAt(p, 10, 4), QByteArray("\xC0\xA8\x01\xC8"));
        QCOMPARE(bytesAt(p, 14, 4), bytesAt(stored, 14, 4));
        QCOMPARE(bytesAt(p, 24, 4), QByteArray("\x09\x40\x09\x41"));
        QCOMPARE(bytesAt(p, 28, 12), QByteArray("\x01\x02\x03\x04\xC0\xA8\x01\x01\xFF\xFF\xFF\x00", 12));
        QCOMPARE(bytesAt(p, 40, 4), QByteArray("\x00\x02\xFF\xFF", 4));
        QCOMPARE(bytesAt(p, 48, 2), QByteArray("\x23\x28"));
        QCOMPARE(bytesAt(p, 52, 6), QByteArray("\x18\x03\x05\x09\x07\x02"));

        // Ports outside 1025..65535 keep the reported ones; a three-part NTP address is zero;
        // an unknown motor state is "Run"; a fractional PPS angle keeps its hundredths.
        form.dataPort = "1024";
        form.devicePort = "65536";
        form.ntpServer = "1.2.3";
        form.rotateSpeed = " 20 HZ";
        form.motorState = "Spin";
        form.ppsAngle = "90.5";
        p = built(form, stored);
        QCOMPARE(bytesAt(p, 24, 4), bytesAt(stored, 24, 4));
        QCOMPARE(bytesAt(p, 28, 4), QByteArray(4, '\0'));
        QCOMPARE(bytesAt(p, 8, 2), QByteArray("\x04\xB0"));
        QCOMPARE(bytesAt(p, 40, 2), QByteArray(2, '\0'));
        QCOMPARE(bytesAt(p, 48, 2), QByteArray("\x23\x5A"));

        QCOMPARE(devinfo::clockYearByte(2000), std::uint8_t(0));
        QCOMPARE(devinfo::clockYearByte(2255), std::uint8_t(255));
        QCOMPARE(devinfo::clockYearByte(1999), std::uint8_t(255));
    }

    void refusals()
    {
        ucwp::UcwpForm form = plainForm();
        form.dataPort = form.devicePort = "2368";
        QCOMPARE(ucwp::buildUcwpPacket(test::patternDeviceInfo().data(), form, kNow).refusal, ucwp::Refusal::EqualPorts);
        form.devicePort = "2369";
        for (const char* interval : {"65536", "-1", "99999999999999999999"}) {
            form.interval = interval;
            QCOMPARE(ucwp::buildUcwpPacket(test::patternDeviceInfo().data(), form, kNow).refusal, ucwp::Refusal::IntervalOutOfRange);
        }
        form.interval = "abc"; // not a number: 0
        QCOMPARE(bytesAt(built(form), 42, 2), QByteArray(2, '\0'));
    }

    void destination()
    {
        Packet stored = test::patternDeviceInfo();
        const std::uint8_t device[] = {127, 0, 0, 2};
        std::copy(std::begin(device), std::end(device), stored.begin() + devinfo::kDeviceIp);
        const std::uint16_t commandPort = 40000;

        stored[devinfo::kFirmwareMajor] = 3;
        auto to = ucwp::ucwpDestination(stored.data(), "239.1.2.3", 2369, commandPort);
        QCOMPARE(QString::fromStdString(to.address), QString("127.0.0.2"));
        QCOMPARE(to.port, commandPort);

        stored[devinfo::kFirmwareMajor] = 2;
        to = ucwp::ucwpDestination(stored.data(), "239.1.2.3", 2369, commandPort);
        QCOMPARE(QString::fromStdString(to.address), QString("239.1.2.3"));
        QCOMPARE(to.port, std::uint16_t(2369));
        for (const char* remembered : {"192.168.1.102", ""}) {
            to = ucwp::ucwpDestination(stored.data(), remembered, 2369, commandPort);
            QCOMPARE(QString::fromStdString(to.address), QString("127.0.0.2"));
            QCOMPARE(to.port, commandPort);
        }
    }

    void addressChecks_data()
    {
        QTest::addColumn<int>("check");
        QTest::addColumn<AddressBoxes>("before");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("questions");
        QTest::addColumn<AddressBoxes>("after");

        const QString firstTo223 = "%1 is not a valid item in the first paragraph. Please specify a value between 1 and 223.";
        const QString firstTo239 = "%1 is not a valid item in the first paragraph. Please specify a value between 1 and 239.";

        QTest::newRow("lidar empty") << int(LidarIp) << boxes("", "", "", "") << QList<bool>{} << false
                                     << "The Lidar IP can not be empty." << 0 << boxes("", "", "", "");
        QTest::newRow("lidar partial") << int(LidarIp) << boxes("10.0.0", "", "", "") << QList<bool>{} << false
                                       << "Incorrect Lidar IP format." << 0 << boxes("10.0.0", "", "", "");
        QTest::newRow("lidar first 0") << int(LidarIp) << boxes("0.1.2.3", "", "", "") << QList<bool>{} << false
                                       << firstTo223.arg(0) << 0 << boxes("223.1.2.3", "", "", "");
        QTest::newRow("lidar multicast") << int(LidarIp) << boxes("224.1.2.3", "", "", "") << QList<bool>{} << false
                                         << firstTo223.arg(224) << 0 << boxes("223.1.2.3", "", "", "");

        QTest::newRow("local empty") << int(LocalIp) << boxes("", "", "", "") << QList<bool>{} << false
                                     << "The Local IP can not be empty." << 0 << boxes("", "", "", "");
        QTest::newRow("local multicast") << int(LocalIp) << boxes("", "230.1.1.1", "255.0.0.0", "10.0.0.1")
                                         << QList<bool>{} << true << "" << 0
                                         << boxes("", "230.1.1.1", "0.0.0.0", "0.0.0.0");
        QTest::newRow("local 250") << int(LocalIp) << boxes("", "250.1.1.1", "", "") << QList<bool>{} << false
                                   << firstTo239.arg(250) << 0 << boxes("", "223.1.1.1", "", "");

        const QString notContiguous =
            "The subnet mask entered is invalid. The subnet mask must be contiguous, please re-enter the subnet mask.";
        QTest::newRow("mask gap") << int(SubnetMask) << boxes("", "192.168.1.102", "255.255.0.255", "")
                                  << QList<bool>{} << false << notContiguous << 0 << boxes("", "192.168.1.102", "", "");
        QTest::newRow("mask zero") << int(SubnetMask) << boxes("", "192.168.1.102", "0.0.0.0", "") << QList<bool>{}
                                   << true << "" << 0 << boxes("", "192.168.1.102", "0.0.0.0", "");
        QTest::newRow("mask, host partial") << int(SubnetMask) << boxes("", "192.168.1", "255.255.255.0", "")
                                            << QList<bool>{} << false << "" << 0
                                            << boxes("", "192.168.1", "255.255.255.0", "");
        QTest::newRow("mask partial") << int(SubnetMask) << boxes("", "192.168.1.102", "255.255", "") << QList<bool>{}
                                      << false << "Incorrect SubNet Mask format." << 0
                                      << boxes("", "192.168.1.102", "255.255", "");
        QTest::newRow("mask, multicast host") << int(SubnetMask) << boxes("", "239.0.0.1", "255.255.0.255", "")
                                              << QList<bool>{} << true << "" << 0
                                              << boxes("", "239.0.0.1", "0.0.0.0", "");

        const AddressBoxes otherSegment = boxes("", "192.168.1.102", "255.255.255.0", "192.168.2.1");
        QTest::newRow("gateway, one question, yes") << int(Gateway) << otherSegment << QList<bool>{true} << true << ""
                                                    << 1 << otherSegment;
        const AddressBoxes farAway = boxes("", "192.168.1.102", "255.255.255.0", "10.10.10.1");
        QTest::newRow("gateway, stops at no") << int(Gateway) << farAway << QList<bool>{false} << false << "" << 1
                                              << farAway;
        const AddressBoxes fullMask = boxes("", "192.168.1.102", "255.255.255.255", "10.10.10.1");
        QTest::newRow("gateway, four questions") << int(Gateway) << fullMask << QList<bool>{true, true, true, true}
                                                 << true << "" << 4 << fullMask;
        QTest::newRow("gateway and mask empty") << int(Gateway) << boxes("", "192.168.1.102", "", "") << QList<bool>{}
                                                << true << "" << 0 << boxes("", "192.168.1.102", "", "");
        QTest::newRow("gateway, mask empty") << int(Gateway) << boxes("", "192.168.1.102", "", "192.168.1.1")
                                             << QList<bool>{} << false << "The subnet mask can not be empty." << 0
                                             << boxes("", "192.168.1.102", "", "192.168.1.1");
        QTest::newRow("gateway partial") << int(Gateway) << boxes("", "192.168.1.102", "255.255.255.0", "192.168.1")
                                         << QList<bool>{} << false << "Incorrect IP format." << 0
                                         << boxes("", "192.168.1.102", "255.255.255.0", "192.168.1");
        QTest::newRow("gateway, multicast host") << int(Gateway) << boxes("", "230.1.1.1", "255.0.0.0", "10.0.0.1")
                                                 << QList<bool>{} << true << "" << 0
                                                 << boxes("", "230.1.1.1", "255.0.0.0", "0.0.0.0");
    }

    void addressChecks()
    {
        QFETCH(int, check);
        QFETCH(AddressBoxes, before);
        QFETCH(QList<bool>, answers);
        QFETCH(bool, ok);
        QFETCH(QString, message);
        QFETCH(int, questions);
        QFETCH(AddressBoxes, after);

        QStringList asked;
        const auto ask = [&](const QString& text) {
            asked.append(text);
            return asked.size() <= answers.size() && answers[asked.size() - 1];
        };
        CheckResult r;
        switch (check) {
        case LidarIp: r = checkLidarIp(before); break;
        case LocalIp: r = checkLocalIp(before); break;
        case SubnetMask: r = checkSubnetMask(before); break;
        default: r = checkGateway(before, ask); break;
        }
        QCOMPARE(r.ok, ok);
        QCOMPARE(r.message, message);
        QCOMPARE(asked.size(), questions);
        for (const QString& text : asked)
            QCOMPARE(text, QString("The gateway is not on the same network segment (subnet) defined by the IP "
                                   "address and subnet mask. Are you sure to save it?"));
        QCOMPARE(r.boxes.deviceIp, after.deviceIp);
        QCOMPARE(r.boxes.hostIp, after.hostIp);
        QCOMPARE(r.boxes.subnetMask, after.subnetMask);
        QCOMPARE(r.boxes.gateway, after.gateway);
    }

    void focusProposals()
    {
        const auto subnet = [](const char* host, const char* mask = "") { return subnetOnFocus(boxes("", host, mask, "")); };
        QCOMPARE(subnet("172.16.0.5"), QString("255.255.0.0"));
        QCOMPARE(subnet("230.1.1.1"), QString("0.0.0.0"));
        QCOMPARE(subnet("127.0.0.1"), QString());
        QCOMPARE(subnet("172.16.0"), QString());
        QCOMPARE(subnet("172.16.0.5", "255.0.0.0"), QString("255.0.0.0")); // a typed mask stays

        const auto gateway = [](const char* host, const char* mask, const char* typed = "") {
            return gatewayOnFocus(boxes("", host, mask, typed));
        };
        QCOMPARE(gateway("192.168.1.102", "255.255.255.0"), QString("192.168.1.1"));
        QCOMPARE(gateway("230.1.1.1", "0.0.0.0"), QString("0.0.0.0"));
        QCOMPARE(gateway("192.168.1.102", ""), QString());
        QCOMPARE(gateway("192.168.1.102", "255.255.255.0", "192.168.1.254"), QString("192.168.1.254"));
    }
};

QTEST_GUILESS_MAIN(UcwpPacketTest)
#include "UcwpPacketTest.moc"
