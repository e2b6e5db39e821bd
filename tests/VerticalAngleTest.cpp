// The vertical angle table: grid placement, read-back and packet building through the core,
// then the window driven through its buttons, sending to a socket of the test on loopback,
// and a table written to the substitute scanner and read back from its next device-info packet.

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "device/VerticalAnglePacket.h"
#include "platform/Pauses.h"
#include "platform/UdpSocket.h"
#include "records/AngleValues.h"
#include "sim/ScannerStream.h"
#include "support/DialogFixture.h"
#include "tools/VerticalAngleSetting.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QtTest>

#include <set>

using namespace hvk32;
using Packet = test::DevicePacket;

namespace {

const QString kConnectionError = QStringLiteral("提示: 连接错误");
const QString kRefreshDone = QStringLiteral("提示: 刷新成功");
const QString kSetDone = QStringLiteral("提示: 设置成功");

Packet devicePacket(const sim::ScannerSettings& settings = {})
{
    return test::simulatorDevicePacket(settings);
}

// A device whose entry (window channel) `channel` is `degrees`, the rest of the 1-degree table nominal.
Packet deviceWithAngle(int channel, float degrees)
{
    sim::ScannerSettings settings;
    std::array<float, 32> byDataChannel{};
    std::copy(defaultVerticalAngles1, defaultVerticalAngles1 + 32, byDataChannel.begin());
    byDataChannel[devinfo::verticalEntryChannel(channel)] = degrees;
    settings.verticalAngles = byDataChannel;
    return devicePacket(settings);
}

QByteArray bytesAt(const std::uint8_t* p, std::size_t offset, int count)
{
    return QByteArray(reinterpret_cast<const char*>(p + offset), count);
}

QByteArray angleBytes(const std::uint8_t* p, int channel) { return bytesAt(p, devinfo::kVerticalAngles + 2 * channel, 2); }

} // namespace

class VerticalAngleTest : public QObject, test::DialogFixture<VerticalAngleSetting> {
    Q_OBJECT

    void feed(const Packet& packet)
    {
        test::feedDialog(*dialog, packet, &VerticalAngleSetting::onLidarStatusReceiving_,
                         &VerticalAngleSetting::OnLidarDifoData_);
    }

    void click(const char* name) { QTest::mouseClick(dialog->findChild<QPushButton*>(name), Qt::LeftButton); }

    QStringList shown() const { return test::promptTexts(prompts.shown); }

    // The read-back (column + 1) or set (column + 2) text of a channel in the grid of `mode`.
    QString cell(int mode, int channel, int offset) const
    {
        const auto* view = dialog->findChild<QTableView*>(mode == 0 ? "tableView" : "tableView_033");
        const vertical::GridPlace place = vertical::gridPlace(mode, channel);
        return view->model()->index(place.row, place.column + offset).data().toString();
    }
    QString reView(int mode, int channel) const { return cell(mode, channel, 1); }
    QString setAngle(int mode, int channel) const { return cell(mode, channel, 2); }

private slots:
    void init()
    {
        QVERIFY(makeDialog("127.0.0.1"));
        dialog->setDestinations({device.port(), "127.0.0.1"});
        dialog->setSetButtonVisible(true);
        dialog->show();
    }

    void cleanup() { closeDialog(); }

    void gridPlacement()
    {
        QCOMPARE(vertical::gridPlace(0, 1).row, 0); // odd channel of a pair on the left
        QCOMPARE(vertical::gridPlace(0, 1).column, 0);
        QCOMPARE(vertical::gridPlace(0, 0).column, 4);
        // Channel 11 is the first of the first group, in the row that channel 8 opened.
        QCOMPARE(vertical::gridPlace(1, 11).row, 4);
        QCOMPARE(vertical::gridPlace(1, 11).column, 0);
        QCOMPARE(vertical::gridPlace(1, 10).column, 12);
        QCOMPARE(vertical::gridPlace(1, 31).row, 11);
        for (int mode : {0, 1}) {
            std::set<std::pair<int, int>> cells;
            for (int c = 0; c < 32; ++c) {
                const vertical::GridPlace p = vertical::gridPlace(mode, c);
                QVERIFY(p.row >= 0 && p.row < vertical::gridRowCount(mode));
                cells.insert({p.row, p.column});
            }
            QCOMPARE(cells.size(), std::size_t(32));
        }
        QVERIFY(!vertical::gridPlace(2, 0).valid());

        // What the window shows at start: headers, widths, nominal set column, empty read-back.
        auto* view033 = dialog->findChild<QTableView*>("tableView_033");
        QCOMPARE(view033->model()->columnCount(), 15);
        QCOMPARE(view033->model()->rowCount(), 12);
        QCOMPARE(view033->model()->headerData(13, Qt::Horizontal).toString(), QString("ReView Angle"));
        QCOMPARE(view033->columnWidth(1), 110);
        QCOMPARE(view033->horizontalHeader()->height(), 40);
        auto* view1 = dialog->findChild<QTableView*>("tableView");
        QCOMPARE(view1->model()->columnCount(), 7);
        QCOMPARE(view1->columnWidth(3), 50);
        QCOMPARE(setAngle(0, 0), QString("-16"));
        QCOMPARE(setAngle(1, 9), QString("-3.33"));
        // Each entry is named by its data-packet channel, as the frames name it: entry 1
        // (-15 degrees) is channel 2, entry 16 (0 degrees) channel 1.
        QCOMPARE(cell(0, 1, 0), QString("2"));
        QCOMPARE(cell(0, 16, 0), QString("1"));
        QCOMPARE(setAngle(0, 16), QString("0"));
        QCOMPARE(cell(1, 1, 0), QString("2"));
        QCOMPARE(reView(1, 9), QString());
        QVERIFY(VerticalAngleSetting(&prompts, &pauses).findChild<QPushButton*>("setPushButton")->isHidden());
    }

    void packetBytes()
    {
        const Packet info = devicePacket();
        vertical::Angles oneDegree{}, third{};
        for (int c = 0; c < 32; ++c) {
            oneDegree[c] = *vertical::nominalAngle(0, c);
            third[c] = *vertical::nominalAngle(1, c);
        }
        const vertical::Build b = vertical::buildVerticalAnglePacket(info.data(), oneDegree, 0);
        QVERIFY(b.ok());
        const std::uint8_t* p = b.packet.data();
        QCOMPARE(bytesAt(p, 0, 8), QByteArray("\xAA\x00\xFF\x11\x22\x22\xAA\xAA", 8));
        QCOMPARE(bytesAt(p, 160, 8), QByteArray("\x55\xAA\xAA\x55\x33\x33\x11\x11"));
        QCOMPARE(bytesAt(p, 1204, 2), QByteArray("\x0F\xF0"));
        QCOMPARE(bytesAt(p, 10, 4), bytesAt(info.data(), 10, 4)); // the rest travels back unchanged
        QCOMPARE(bytesAt(p, 1164, 40), bytesAt(info.data(), 1164, 40));
        QCOMPARE(angleBytes(p, 15), QByteArray("\xFF\x9B")); // -1.00: -100 + 65535
        QCOMPARE(angleBytes(p, 16), QByteArray("\x00\x00", 2));
        QCOMPARE(angleBytes(p, 31), QByteArray("\x05\xDC"));
        QCOMPARE(angleBytes(vertical::buildVerticalAnglePacket(info.data(), third, 1).packet.data(), 9),
                 QByteArray("\xFE\xB2")); // -3.33: -333 + 65535

        // 1.5 degrees off is still accepted; more stops the packet at that channel.
        oneDegree[4] += 1.5f;
        QVERIFY(vertical::buildVerticalAnglePacket(info.data(), oneDegree, 0).ok());
        oneDegree[7] -= 1.6f;
        const vertical::Build refused = vertical::buildVerticalAnglePacket(info.data(), oneDegree, 0);
        QCOMPARE(refused.refusal, vertical::Refusal::Deviation);
        QCOMPARE(refused.channel, 7);
        // Texts that read as no number at all never reach the packet.
        for (const char* text : {"nan", "inf", "-inf"}) {
            vertical::Angles angles = third;
            angles[12] = QString(text).toFloat();
            const vertical::Build b = vertical::buildVerticalAnglePacket(info.data(), angles, 1);
            QCOMPARE(b.refusal, vertical::Refusal::Deviation);
            QCOMPARE(b.channel, 12);
            QCOMPARE(vertical::angleHundredths(angles[12]), 0);
        }
        QCOMPARE(vertical::buildVerticalAnglePacket(info.data(), third, 2).refusal, vertical::Refusal::NoLayout);
    }

    void refreshReadsTheDeviceTable()
    {
        click("updatePushButton");
        click("setPushButton");
        QCOMPARE(shown(), (QStringList{kConnectionError, kConnectionError}));
        QVERIFY(device.nothingSent());

        Packet p = devicePacket();
        putBe16(p.data() + devinfo::kVerticalAngles + 2 * 17, 0xFF9C);
        feed(p);
        dialog->showAngleMistake(3);
        QCOMPARE(dialog->findChild<QLabel*>("label")->text(), QStringLiteral("回读：通道3  偏差大于正负1.5\n"));
        QCOMPARE(dialog->findChild<QLabel*>("label")->styleSheet(), QString("color:red;"));
        prompts.shown.clear();
        click("updatePushButton");
        QCOMPARE(shown(), QStringList{kRefreshDone});
        QCOMPARE(reView(0, 17), QString("-0.99")); // 65436 - 65535
        QCOMPARE(setAngle(0, 17), QString("-0.99"));
        QCOMPARE(reView(0, 0), QString("-16.00"));
        QVERIFY(dialog->findChild<QLabel*>("label")->text().isEmpty());

        // A device that reports no table leaves the set column as it was.
        dialog->setDegreeMode(1);
        QCOMPARE(dialog->findChild<QStackedWidget*>("stackedWidget")->currentWidget()->objectName(), QString("page_033"));
        for (int c = 0; c < 32; ++c)
            putBe16(p.data() + devinfo::kVerticalAngles + 2 * c, 0);
        feed(p);
        click("updatePushButton");
        QCOMPARE(reView(1, 9), QString("0.00"));
        QCOMPARE(setAngle(1, 9), QString("-3.33"));
        QCOMPARE(setAngle(1, 31), QString("14.00"));
    }

    void writeSendsOncePerDevicePacket()
    {
        dialog->setDegreeMode(0);
        feed(devicePacket());
        click("setPushButton");
        const QByteArray sent = device.received();
        QCOMPARE(sent.size(), int(devinfo::kPacketSize));
        QCOMPARE(sent.mid(devinfo::kVerticalAngles, 4), QByteArray("\xF9\xBF\xFA\x23")); // -16, -15
        QCOMPARE(sent.mid(devinfo::kVerticalAngles + 30, 2), QByteArray("\xFF\x9B"));
        QCOMPARE(pauses.made, (QList<int>{800, 1000}));
        QCOMPARE(shown(), (QStringList{kSetDone, kRefreshDone}));

        prompts.shown.clear();
        click("setPushButton");
        QCOMPARE(shown(), QStringList{kConnectionError});
        QVERIFY(device.nothingSent());
    }

    void deviationStopsTheWrite()
    {
        feed(deviceWithAngle(5, -11.0f + 1.6f));
        click("updatePushButton");
        prompts.shown.clear();
        click("setPushButton");
        // Entry 5 of the table is data-packet channel 10, the number the grid shows for it.
        const QString text = QStringLiteral("设置：通道10  偏差大于正负1.5，请重新输入");
        QCOMPARE(shown(), QStringList{"提示: " + text});
        auto* label2 = dialog->findChild<QLabel*>("label_2");
        QCOMPARE(label2->text(), text);
        QCOMPARE(label2->styleSheet(), QString("color:red;"));
        QVERIFY(device.nothingSent());

        // The refusal did not spend the stored packet.
        dialog->setDegreeMode(0);
        click("setPushButton");
        QVERIFY(!device.received().isEmpty());
    }

    void failedSendIsNotReportedAsDone()
    {
        feed(devicePacket());
        dialog->setDestinations({0, "127.0.0.1"}); // the system refuses to send to port 0
        click("setPushButton");
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].kind, QString("warning"));
        QVERIFY(pauses.made.isEmpty());

        dialog->setDestinations({device.port(), "127.0.0.1"});
        click("setPushButton");
        QVERIFY(!device.received().isEmpty());
    }

    void tableWrittenToTheScannerReadsBack()
    {
        sim::ScannerStream scanner{sim::ScannerSettings{}}; // reports the 1-degree table
        Packet p{};
        scanner.deviceInfoPacket(0, p.data());
        feed(p);
        dialog->setDegreeMode(1);
        click("setPushButton");
        const QByteArray sent = device.received();
        QCOMPARE(sent.size(), int(devinfo::kPacketSize));
        const sim::ConfigResult result =
            scanner.applyConfiguration(reinterpret_cast<const std::uint8_t*>(sent.constData()), sent.size(), 1000000);
        QVERIFY(result.accepted());
        QCOMPARE(result.kind, sim::ConfigKind::VerticalAngles);

        scanner.deviceInfoPacket(2000000, p.data());
        feed(p);
        click("updatePushButton");
        for (int c = 0; c < 32; ++c)
            QCOMPARE(reView(1, c), QString::number(*vertical::nominalAngle(1, c), 'f', 2));
    }
};

QTEST_MAIN(VerticalAngleTest)
#include "VerticalAngleTest.moc"
