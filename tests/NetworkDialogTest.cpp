// The network configuration dialog driven through its widgets: fed with device-info packets
// of the substitute scanner, sending to a socket of the test on loopback.

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "platform/Pauses.h"
#include "platform/UdpSocket.h"
#include "sim/ScannerStream.h"
#include "support/DialogFixture.h"
#include "support/WidgetLookup.h"
#include "tools/InetactionSetupWidgetK32.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <array>
#include <functional>

using namespace hvk32;
using Packet = test::DevicePacket;

namespace {

using hvk32::test::child;
using hvk32::test::click;
using hvk32::test::combo;
using hvk32::test::edit;

const char* const kDeviceAddress = "127.0.0.2"; // what the substitute scanner reports
const QString kNoDevicePacket = QString::fromUtf8("Please check the device package port！");

Packet devicePacket(int rpm = 600, const sim::ClockTime& clock = {2024, 3, 5, 9, 7, 2})
{
    sim::ScannerSettings settings;
    settings.rpm = rpm;
    settings.clockStart = clock;
    return test::simulatorDevicePacket(settings);
}

Packet withBe16(Packet p, std::size_t offset, std::uint16_t value)
{
    putBe16(p.data() + offset, value);
    return p;
}

// What GetSetK32 hands over for one packet: the record and the list, then the raw packet.
void feed(InetactionSetupWidgetK32& dialog, const Packet& packet)
{
    test::feedDialog(dialog, packet, &InetactionSetupWidgetK32::OnLidarStatusReceiving,
                     &InetactionSetupWidgetK32::OnLidarDifoData);
}


} // namespace

class NetworkDialogTest : public QObject, test::DialogFixture<InetactionSetupWidgetK32> {
    Q_OBJECT

    // Refresh from a fresh packet and forget the prompts so far.
    void refreshed(const Packet& packet = devicePacket())
    {
        feed(*dialog, packet);
        click(*dialog, "pushButton_LidarRefresh");
        prompts.shown.clear();
    }

private slots:
    void init()
    {
        QVERIFY(makeDialog(kDeviceAddress));
        dialog->setCommandPort(device.port());
        dialog->show();
    }

    void cleanup() { closeDialog(); }

    void setSendsOncePerDevicePacket()
    {
        edit(*dialog, "lineEdit_DefaultIP")->setText(kDeviceAddress);
        edit(*dialog, "lineEdit_DestIP")->setText("127.0.0.1");
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"warring: " + kNoDevicePacket});
        QVERIFY(device.nothingSent());

        feed(*dialog, devicePacket());
        click(*dialog, "pushButton_LidarRefresh");
        QCOMPARE(test::promptTexts(prompts.shown).last(), QString("Tips: Resresh completed"));
        QCOMPARE(edit(*dialog, "lineEdit_DefaultIP")->text(), QString(kDeviceAddress));
        QCOMPARE(edit(*dialog, "lineEdit_DestIP")->text(), QString("127.0.0.1"));
        QCOMPARE(edit(*dialog, "lineEdit_Subnet")->text(), QString("255.255.255.0"));
        prompts.shown.clear();

        prompts.answers.enqueue(QMessageBox::Cancel); // keep the window open
        click(*dialog, "pushButton_OK");
        const QByteArray sent = device.received();
        QCOMPARE(sent.left(8), QByteArray("\xAA\x00\xFF\x11\x22\x22\xAA\xAA", 8));
        QCOMPARE(sent.mid(10, 4), QByteArray("\x7F\x00\x00\x02", 4));
        QCOMPARE(sent.right(2), QByteArray("\x0F\xF0"));
        QCOMPARE(pauses.made, (QList<int>{400, 500}));
        // A successful Set ends in one box, whatever the refresh after it finds.
        QCOMPARE(test::promptTexts(prompts.shown),
                 QStringList{"Question: Setup completed\nWhether to close the Settings form?"});
        QVERIFY(dialog->isVisible());

        prompts.shown.clear();
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"warring: " + kNoDevicePacket});
        QVERIFY(device.nothingSent());

        feed(*dialog, devicePacket());
        prompts.answers.enqueue(QMessageBox::Ok);
        click(*dialog, "pushButton_OK");
        QVERIFY(!device.received().isEmpty());
        QVERIFY(!dialog->isVisible());
    }

    void refusedSetsSendNothing()
    {
        // A form never filled: one message that says to refresh first (empty boxes are not
        // equal addresses), and the stored packet stays good.
        feed(*dialog, devicePacket());
        click(*dialog, "pushButton_OK");
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY2(prompts.shown[0].text.contains("\"Refresh state\""), qPrintable(prompts.shown[0].text));
        QVERIFY(device.nothingSent());

        // Equal addresses are named as such.
        refreshed();
        edit(*dialog, "lineEdit_DestIP")->setText(edit(*dialog, "lineEdit_DefaultIP")->text());
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown),
                 (QStringList{QString::fromUtf8("warring: The Lidar local IP cannot be set to the same as the "
                                                "destination IP.Please reset it！")}));
        QVERIFY(device.nothingSent());

        // A half-typed address is named, not sent as it stands.
        prompts.shown.clear();
        refreshed();
        edit(*dialog, "lineEdit_DestIP")->setText("127.0.0");
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown),
                 QStringList{QString::fromUtf8("Warning: The address \"127.0.0\" in local IP is incomplete.")});
        QVERIFY(device.nothingSent());
        edit(*dialog, "lineEdit_DestIP")->setText("127.0.0.1");
        prompts.shown.clear();

        edit(*dialog, "lineEdit_destPort")->setText("2368");
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"Warning: Data port and device port can't be the same"});

        prompts.shown.clear();
        edit(*dialog, "lineEdit_destPort")->setText("2369");
        edit(*dialog, "lineEdit_interval")->setText("70000");
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"Warning: The packet interval must be a number from 0 to 65535."});

        // A gateway outside the host's subnet asks first; No stops the send.
        prompts.shown.clear();
        edit(*dialog, "lineEdit_interval")->setText("0");
        edit(*dialog, "lineEdit_Gateway")->setText("10.10.10.1");
        prompts.answers.enqueue(QMessageBox::No);
        click(*dialog, "pushButton_OK");
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].kind, QString("question"));
        QCOMPARE(prompts.shown[0].title, QString("Warning"));
        QVERIFY(device.nothingSent());
        QVERIFY(pauses.made.isEmpty());

        // The refusals left the stored packet unspent.
        edit(*dialog, "lineEdit_Gateway")->setText("127.0.0.1");
        prompts.answers.enqueue(QMessageBox::Cancel);
        click(*dialog, "pushButton_OK");
        const QByteArray sent = device.received();
        QCOMPARE(sent.mid(24, 4), QByteArray("\x09\x40\x09\x41"));
        QCOMPARE(sent.mid(32, 4), QByteArray("\x7F\x00\x00\x01", 4));
    }

    void failedSendIsNotReportedAsDone()
    {
        refreshed();
        dialog->setCommandPort(0); // the system refuses to send to port 0
        click(*dialog, "pushButton_OK");
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].kind, QString("warning"));
        QVERIFY(!test::promptTexts(prompts.shown).contains("Tips: Setup completed"));
        QVERIFY(pauses.made.isEmpty());
    }

    void rotateSpeedFollowsTheMotorFromTheSecondRefreshAfterASend()
    {
        QComboBox* speed = combo(*dialog, "comboBox_rotateSpeed");
        refreshed(devicePacket(600));
        QCOMPARE(speed->currentText(), QString(" 10 HZ"));

        speed->setCurrentIndex(0);
        pauses.during = [&](int ms) {
            if (ms == 500)
                feed(*dialog, devicePacket(600)); // the motor has not slowed down yet
        };
        prompts.answers.enqueue(QMessageBox::Cancel);
        click(*dialog, "pushButton_OK");
        QCOMPARE(device.received().mid(8, 2), QByteArray("\x01\x2C"));
        QVERIFY(!test::promptTexts(prompts.shown).contains("Tips: Resresh completed")); // the Set's one box only
        QCOMPARE(speed->currentText(), QString(" 5  HZ"));

        refreshed(devicePacket(600));
        QCOMPARE(speed->currentText(), QString(" 10 HZ"));

        // 400 rpm is between the bands; below 50 rpm reads as stopped.
        speed->setCurrentIndex(2);
        refreshed(withBe16(devicePacket(), devinfo::kMotorSpeed, 400));
        QCOMPARE(speed->currentText(), QString(" 20 HZ"));
        QCOMPARE(edit(*dialog, "lineEdit_Motor_State")->text(), QString("400"));
        feed(*dialog, withBe16(devicePacket(), devinfo::kMotorSpeed, 49));
        QCOMPARE(edit(*dialog, "lineEdit_Motor_State")->text(), QString("0"));
    }

    // The box opens on the speed the device turns at, and follows it until the user picks one.
    void rotateSpeedOpensOnTheDeviceSpeed()
    {
        QComboBox* speed = combo(*dialog, "comboBox_rotateSpeed");
        feed(*dialog, devicePacket(600));
        QCOMPARE(speed->currentText(), QString(" 10 HZ"));
        feed(*dialog, devicePacket(1200));
        QCOMPARE(speed->currentText(), QString(" 20 HZ"));
        speed->setFocus();
        QTest::keyClick(speed, Qt::Key_Up);
        QCOMPARE(speed->currentText(), QString(" 10 HZ"));
        feed(*dialog, devicePacket(1200));
        QCOMPARE(speed->currentText(), QString(" 10 HZ"));
        QVERIFY(prompts.shown.isEmpty());
    }

    void ppsState_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<QString>("disabled");
        QTest::addColumn<QString>("errorAngle");
        QTest::newRow("disabled, +1") << 0x8001 << "1" << "1";
        QTest::newRow("disabled, -1") << 0xFFFF << "1" << "-1";
        QTest::newRow("enabled, 16384") << 0x4000 << "0" << "16384";
        QTest::newRow("enabled, -16383") << 0x4001 << "0" << "-16383";
    }

    void ppsState()
    {
        QFETCH(int, word);
        QFETCH(QString, disabled);
        QFETCH(QString, errorAngle);
        feed(*dialog, withBe16(devicePacket(), devinfo::kPpsState, static_cast<std::uint16_t>(word)));
        QCOMPARE(edit(*dialog, "lineEdit")->text(), disabled);
        QCOMPARE(edit(*dialog, "lineEdit_2")->text(), errorAngle);
    }

    void statusDisplays()
    {
        QSignalSpy versions(dialog.get(), &InetactionSetupWidgetK32::sendVersionToAbout);
        Packet p = withBe16(devicePacket(), devinfo::kPpsAngle, 9050);
        p[devinfo::kCleanliness] = 2;
        feed(*dialog, p);
        feed(*dialog, devicePacket());

        QCOMPARE(versions.count(), 1);
        QCOMPARE(versions[0][0].toStringList(),
                 (QStringList{"V2.1.0", "2026-11-16  V3.00", "HVK32-SIM SN 0000001", "V1.0", "V1.2", "V2.0", "V1.1",
                              "V3.0"}));
        QCOMPARE(edit(*dialog, "lineEdit_utc_time")->text(), QString("2024/3/5 9:7:2"));
        QCOMPARE(edit(*dialog, "lineEdit_mac_addr")->text(), QString("02-4b-33-32-00-01"));
        QCOMPARE(edit(*dialog, "lineEdit_Temperature")->text(), QString("35.00"));
        QCOMPARE(edit(*dialog, "lineEdit_GPS_Position_latitude")->text(), QString("4807.0380N"));
        QCOMPARE(edit(*dialog, "lineEdit_GPS_Position_longitude")->text(), QString("01131.0000E"));
        QCOMPARE(combo(*dialog, "comboBox_LVDS")->currentIndex(), 1);
        QCOMPARE(combo(*dialog, "comboBox_LidarClean")->currentIndex(), 0);

        feed(*dialog, p);
        QCOMPARE(edit(*dialog, "lineEdit_PPS_Angle")->text(), QString("90"));
        QCOMPARE(combo(*dialog, "comboBox_LidarClean")->currentText(), QString("Serious pollution"));
        QVERIFY(prompts.shown.isEmpty()); // statuses never fill the settings nor ask anything
        QVERIFY(edit(*dialog, "lineEdit_DefaultIP")->text().isEmpty());
    }

    void emptyBoxesProposeSubnetAndGateway()
    {
        edit(*dialog, "lineEdit_DestIP")->setText("172.16.0.5");
        QFocusEvent focusIn(QEvent::FocusIn);
        QApplication::sendEvent(edit(*dialog, "lineEdit_Subnet"), &focusIn);
        QCOMPARE(edit(*dialog, "lineEdit_Subnet")->text(), QString("255.255.0.0"));
        QApplication::sendEvent(edit(*dialog, "lineEdit_Gateway"), &focusIn);
        QCOMPARE(edit(*dialog, "lineEdit_Gateway")->text(), QString("172.16.0.1"));
    }
};

QTEST_MAIN(NetworkDialogTest)
#include "NetworkDialogTest.moc"
