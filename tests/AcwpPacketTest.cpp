// The advanced configuration packet built from a stored device-info packet and the form, and
// where it is sent.

#include "support/DeviceInfoBuilder.h"
#include "acquisition/DeviceInfoPacket.h"
#include "device/AcwpPacket.h"

#include <QtTest>

#include <array>

using namespace hvk32;
using Packet = test::DeviceInfo;

Q_DECLARE_METATYPE(hvk32::acwp::Refusal)

namespace {

// A form with range 200, tail threshold 5 and distance 300, empty angles, and one field
// ("range", "limit", "distance", "angle1".."angle4") set to `value`.
acwp::Build built(const QString& field = {}, const QString& value = {}, int item = 0)
{
    acwp::AcwpForm form;
    form.range = "200";
    form.tailThreshold = "5";
    form.tailDistance = "300";
    form.motorSpeedItem = form.zeroDirectionItem = form.echoModeItem = item;
    if (field == "range")
        form.range = value;
    else if (field == "limit")
        form.tailThreshold = value;
    else if (field == "distance")
        form.tailDistance = value;
    else if (field.startsWith("angle"))
        form.angles[field.right(1).toInt() - 1] = value;
    const Packet stored = test::patternDeviceInfo();
    return acwp::buildAcwpPacket(stored.data(), form);
}

QByteArray bytesAt(const Packet& p, std::size_t offset, int count)
{
    return QByteArray(reinterpret_cast<const char*>(p.data() + offset), count);
}

} // namespace

class AcwpPacketTest : public QObject {
    Q_OBJECT

private slots:
    void frameAndCopiedBytes()
    {
        const Packet stored = test::patternDeviceInfo();
        const Packet p = built({}, {}, 1).packet;
        QCOMPARE(bytesAt(p, 0, 10), QByteArray("\xAA\x00\xFF\x11\x22\x22\xBB\xBB\x02\x58", 10));
        QCOMPARE(bytesAt(p, 160, 8), QByteArray("\x55\xAA\xAA\x55\x33\x33\x11\x11"));
        QCOMPARE(bytesAt(p, 178, 8), QByteArray("\x4E\x20\x00\x05\x01\x2C\x01\x01", 8));
        QCOMPARE(bytesAt(p, 194, 2), QByteArray(2, '\0'));
        QCOMPARE(bytesAt(p, 1204, 2), QByteArray("\x0F\xF0"));
        // The device's own bytes travel back, empty angle fields included.
        for (auto [from, to] : {std::pair{10, 160}, {168, 178}, {186, 194}, {196, 1204}})
            QCOMPARE(bytesAt(p, from, to - from), bytesAt(stored, from, to - from));
        QCOMPARE(bytesAt(built({}, {}, 0).packet, 8, 2), QByteArray("\x01\x2C"));
        QCOMPARE(bytesAt(built({}, {}, 2).packet, 8, 2), QByteArray("\x04\xB0"));
    }

    void fields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("range 1.5 is not an integer") << "range" << "1.5" << 178 << QByteArray(2, '\0');
        QTest::newRow("range beyond 16 bits") << "range" << "30000000" << 178 << QByteArray(2, '\0');
        QTest::newRow("one tail field empty") << "limit" << "" << 180 << QByteArray(4, '\0');
        QTest::newRow("angle 1 -1") << "angle1" << "-1" << 186 << QByteArray("\x80\x63");
        QTest::newRow("angle 2 at 190") << "angle2" << "0.29" << 190 << QByteArray("\x00\x1D", 2);
        QTest::newRow("angle 3 at 188") << "angle3" << "-0.01" << 188 << QByteArray("\x80\x00", 2);
        QTest::newRow("angle 4 -327.68") << "angle4" << "-327.68" << 192 << QByteArray("\xFF\xFF");
        QTest::newRow("angle 0") << "angle1" << "0" << 186 << QByteArray(2, '\0');
        QTest::newRow("angle not a number") << "angle1" << "east" << 186 << QByteArray(2, '\0');
    }

    void fields()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        const acwp::Build b = built(field, value);
        QVERIFY(b.ok());
        QCOMPARE(bytesAt(b.packet, static_cast<std::size_t>(offset), bytes.size()), bytes);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<acwp::Refusal>("refusal");
        QTest::newRow("empty range") << "range" << "" << acwp::Refusal::EmptyRange;
        QTest::newRow("negative range") << "range" << "-5" << acwp::Refusal::NegativeValue;
        QTest::newRow("negative tail") << "distance" << "-1" << acwp::Refusal::NegativeValue;
        QTest::newRow("angle 327.68") << "angle4" << "327.68" << acwp::Refusal::AngleOutOfRange;
        QTest::newRow("angle -inf") << "angle2" << "-inf" << acwp::Refusal::AngleOutOfRange;
    }

    void refusals()
    {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(acwp::Refusal, refusal);
        QCOMPARE(built(field, value).refusal, refusal);
    }

    void destination()
    {
        Packet p = test::patternDeviceInfo();
        const std::uint8_t addresses[] = {127, 0, 0, 2, 224, 1, 1, 1}; // device, then host
        std::copy(std::begin(addresses), std::end(addresses), p.begin() + devinfo::kDeviceIp);
        putBe16(p.data() + devinfo::kDevicePort, 2369);
        const auto to = [&](std::uint8_t firmware) {
            const ucwp::Destination d = acwp::acwpDestination(p.data(), firmware, 40000);
            return QString("%1:%2").arg(QString::fromStdString(d.address)).arg(d.port);
        };
        QCOMPARE(to(2), QString("224.1.1.1:2369"));
        QCOMPARE(to(3), QString("127.0.0.2:40000"));
        p[devinfo::kDestinationIp] = 239;
        QCOMPARE(to(2), QString("239.1.1.1:2369"));
        p[devinfo::kDestinationIp] = 240;
        QCOMPARE(to(2), QString("127.0.0.2:40000"));
    }
};

QTEST_GUILESS_MAIN(AcwpPacketTest)
#include "AcwpPacketTest.moc"
