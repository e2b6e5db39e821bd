// The advanced configuration dialog driven through its widgets: fed with device-info packets
// of the substitute scanner, sending to a socket of the test on loopback.

#include "acquisition/DeviceInfoDecoding.h"
#include "acquisition/DeviceInfoPacket.h"
#include "platform/Pauses.h"
#include "platform/UdpSocket.h"
#include "sim/ScannerStream.h"
#include "support/DialogFixture.h"
#include "support/WidgetLookup.h"
#include "tools/ACWPSettingWidgetK32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QLabel>
#include <QtTest>

#include <array>

using namespace hvk32;
using Packet = test::DevicePacket;

namespace {

using hvk32::test::child;
using hvk32::test::click;
using hvk32::test::combo;
using hvk32::test::edit;

const char* const kDeviceAddress = "127.0.0.2"; // what the substitute scanner reports
const QString kNoDevicePacket = QString::fromUtf8("Please check the device package port！");
const QString kCloseQuestion = "Question: Whether to close the Settings form?";
const QDateTime kNow(QDate(2026, 12, 6), QTime(21, 5, 9));

sim::ScannerSettings plainSettings(int second = 9)
{
    sim::ScannerSettings s;
    s.clockStart = sim::ClockTime{2026, 12, 6, 21, 5, second};
    return s;
}

Packet devicePacket(const sim::ScannerSettings& settings = plainSettings(), std::uint64_t micros = 0)
{
    return test::simulatorDevicePacket(settings, micros);
}

Packet withMotorSpeed(Packet p, std::uint16_t rpm)
{
    putBe16(p.data() + devinfo::kMotorSpeed, rpm);
    return p;
}

// What GetSetK32 hands over for one packet: the record and the list, then the raw packet.
void feed(ACWPSettingWidgetK32& dialog, const Packet& packet)
{
    test::feedDialog(dialog, packet, &ACWPSettingWidgetK32::onLidarStatusReceiving, &ACWPSettingWidgetK32::OnLidarDifoData);
}

QString text(const QWidget& w, const char* name) { return edit(w, name)->text(); }

} // namespace

class AdvancedDialogTest : public QObject, test::DialogFixture<ACWPSettingWidgetK32> {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(makeDialog(kDeviceAddress));
        dialog->setCommandPort(device.port());
        dialog->setClock([] { return kNow; });
        dialog->show();
    }

    void cleanup() { closeDialog(); }

    void setSpendsEachDevicePacketOnce()
    {
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"warring: " + kNoDevicePacket});
        QVERIFY(device.nothingSent());

        feed(*dialog, devicePacket());
        edit(*dialog, "lineEdit_range_set")->setText("200");
        prompts.shown.clear();
        prompts.answers.enqueue(QMessageBox::Cancel); // keep the window open
        click(*dialog, "pushButton_OK");
        const QByteArray sent = device.received();
        QCOMPARE(sent.left(8), QByteArray("\xAA\x00\xFF\x11\x22\x22\xBB\xBB", 8));
        QCOMPARE(sent.mid(178, 2), QByteArray("\x4E\x20"));
        QCOMPARE(pauses.made, QList<int>{50});
        QCOMPARE(test::promptTexts(prompts.shown),
                 (QStringList{"Tips: Setup completed", "Tips: Resresh completed", kCloseQuestion}));
        QVERIFY(dialog->isVisible());

        prompts.shown.clear();
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"warring: " + kNoDevicePacket});
        QVERIFY(device.nothingSent());

        // A refresh spends its own flag: the refresh after the next send has nothing new to show.
        feed(*dialog, devicePacket());
        click(*dialog, "pushButton_Refreshlidar");
        prompts.shown.clear();
        prompts.answers.enqueue(QMessageBox::Ok);
        click(*dialog, "pushButton_OK");
        QVERIFY(!device.received().isEmpty());
        QCOMPARE(test::promptTexts(prompts.shown),
                 (QStringList{"Tips: Setup completed", "warring: " + kNoDevicePacket, kCloseQuestion}));
        QVERIFY(!dialog->isVisible());
    }

    void refusedOrFailedSetsSendNothing()
    {
        feed(*dialog, devicePacket());
        click(*dialog, "pushButton_OK");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{QString::fromUtf8("warning: 请输入量程")});
        QVERIFY(device.nothingSent());
        prompts.shown.clear();
        click(*dialog, "pushButton_OK"); // the refusal spent the stored packet
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"warring: " + kNoDevicePacket});

        feed(*dialog, devicePacket());
        edit(*dialog, "lineEdit_range_set")->setText("200");
        dialog->setCommandPort(0); // the system refuses to send to port 0
        prompts.shown.clear();
        click(*dialog, "pushButton_OK");
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].kind, QString("warning"));
        QVERIFY(pauses.made.isEmpty());
    }

    void statusAndRefreshShowTheDeviceState()
    {
        sim::ScannerSettings s = plainSettings();
        s.rpm = 1200;
        s.echo = sim::EchoMode::Dual;
        s.zeroDirection = 1;
        s.measuringRange = 15050;
        s.tailThreshold = 5;
        s.tailDistance = 300;
        s.offsetAngleCodes = {32867, 150, 0, 65535};
        Packet p = devicePacket(s);
        putBe16(p.data() + devinfo::kApdTemperature, 1055);
        putBe16(p.data() + devinfo::kHighVoltage, 65534);
        putBe16(p.data() + devinfo::kHighVoltageAdjust, 65535);
        p[devinfo::kThresholdAdjust] = 7;
        feed(*dialog, p);
        QCOMPARE(text(*dialog, "lineEdit_APDtemperature"), QString("35.00"));
        QCOMPARE(text(*dialog, "lineEdit_board2HV"), QString("325.113"));
        QCOMPARE(text(*dialog, "lineEdit_board2HV_adjust"), QString("0"));
        QCOMPARE(text(*dialog, "lineEdit_borad2Sill_adjust"), QString("7"));
        QVERIFY(text(*dialog, "lineEdit_angle_set").isEmpty()); // a status alone fills no editable field

        click(*dialog, "pushButton_Refreshlidar");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"Tips: Resresh completed"});
        const QStringList shown{text(*dialog, "lineEdit_angle_set"), text(*dialog, "lineEdit_angle_set_two"),
                                text(*dialog, "lineEdit_angle_set_three"), text(*dialog, "lineEdit_angle_set_four"),
                                text(*dialog, "lineEdit_range_set"), text(*dialog, "lineEdit_trailer_limit"),
                                text(*dialog, "lineEdit_trailer_distance"), text(*dialog, "lineEdit_SerialNumber"),
                                text(*dialog, "lineEdit_Version")};
        QCOMPARE(shown, (QStringList{"-1", "1.5", "0", "-327.68", "150.5", "5", "300", "V2.10", "2026-11-16  V3.00"}));
        QCOMPARE(combo(*dialog, "setAngel0_ComboBox")->currentIndex(), 1);
        QCOMPARE(combo(*dialog, "EchoMode_comboBox")->currentIndex(), 1);
        QCOMPARE(combo(*dialog, "comboBox_motorSpeed")->currentIndex(), 2);

        // 700 rpm is between the bands: the selection stays.
        feed(*dialog, withMotorSpeed(devicePacket(), 700));
        click(*dialog, "pushButton_Refreshlidar");
        QCOMPARE(combo(*dialog, "comboBox_motorSpeed")->currentIndex(), 2);
    }

    void changesReachTheDeviceAndShowOnTheNextRefresh()
    {
        sim::ScannerStream scanner(plainSettings());
        Packet p{};
        scanner.deviceInfoPacket(0, p.data());
        feed(*dialog, p);
        click(*dialog, "pushButton_Refreshlidar");
        QCOMPARE(text(*dialog, "lineEdit_angle_set"), QString("0"));
        edit(*dialog, "lineEdit_angle_set")->setText("12.5");
        combo(*dialog, "EchoMode_comboBox")->setCurrentIndex(1);
        prompts.answers.enqueue(QMessageBox::Cancel);
        click(*dialog, "pushButton_OK");

        const QByteArray sent = device.received();
        const sim::ConfigResult applied = scanner.applyConfiguration(
            reinterpret_cast<const std::uint8_t*>(sent.constData()), static_cast<std::size_t>(sent.size()));
        QVERIFY(applied.accepted());
        QCOMPARE(applied.kind, sim::ConfigKind::Advanced);

        edit(*dialog, "lineEdit_angle_set")->clear();
        combo(*dialog, "EchoMode_comboBox")->setCurrentIndex(0);
        scanner.deviceInfoPacket(sim::kMicrosPerSecond, p.data());
        feed(*dialog, p);
        click(*dialog, "pushButton_Refreshlidar");
        QCOMPARE(text(*dialog, "lineEdit_angle_set"), QString("12.5"));
        QCOMPARE(combo(*dialog, "EchoMode_comboBox")->currentIndex(), 1);
        QCOMPARE(combo(*dialog, "comboBox_motorSpeed")->currentIndex(), 1); // 600 rpm kept
    }

    void resetAndSettingsFile()
    {
        QCOMPARE(text(*dialog, "lineEdit_DestIP") + ":" + text(*dialog, "lineEdit_DestPort"),
                 QString("192.168.1.200:2368"));
        edit(*dialog, "lineEdit_DestIP")->setText(kDeviceAddress);
        edit(*dialog, "lineEdit_DestPort")->setText(QString::number(device.port()));
        // The reset is sent only once confirmed, and the question names where the device goes.
        prompts.answers.enqueue(QMessageBox::No);
        click(*dialog, "pushButton_RecoverSetting");
        QVERIFY(device.nothingSent());
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].kind, QString("question"));
        for (const char* changed : {"192.168.1.200", "192.168.1.102", "2368", "2369", "300 rpm"})
            QVERIFY2(prompts.shown[0].text.contains(changed), changed);
        prompts.shown.clear();
        click(*dialog, "pushButton_RecoverSetting");
        const QByteArray sent = device.received();
        QCOMPARE(sent.left(8), QByteArray("\xAA\x00\xFF\x11\x22\x22\xAA\xAA", 8));
        QCOMPARE(sent.mid(52, 6), QByteArray("\x1A\x0C\x06\x15\x05\x09"));
        QCOMPARE(pauses.made, QList<int>{200});
        QCOMPARE(test::promptTexts(prompts.shown).last(), QString("Tips: Reset completed !"));

        // An empty port is port 0, which no datagram can go to: reported, not completed.
        prompts.shown.clear();
        edit(*dialog, "lineEdit_DestPort")->clear();
        click(*dialog, "pushButton_RecoverSetting");
        QCOMPARE(prompts.shown.size(), 2);
        QCOMPARE(prompts.shown[1].kind, QString("warning"));

        // No device-info packet captured: no file dialog.
        prompts.shown.clear();
        dialog->setSettingsCapture({"hvk32-no-such-adapter", 200, kSettingsCaptureMaxPackets, {}});
        click(*dialog, "pushButton_SaveSettingfile");
        // The capture's own reason follows on the next line.
        QCOMPARE(prompts.shown.size(), 1);
        const QString shown = test::promptTexts(prompts.shown)[0];
        QVERIFY2(shown.startsWith(QString::fromUtf8("error: 抓包失败,请设置发包间隔为0!\n")), qPrintable(shown));
        QVERIFY2(shown.section('\n', 1).size() > 0, qPrintable(shown));
    }

    void gpsTimeTestLogsAndCountsJumps()
    {
        QTemporaryDir root;
        dialog->setGpsLogRoot(root.path());
        auto* check = child<QCheckBox>(*dialog, "checkBox_checkGPS");
        auto* start = child<QPushButton>(*dialog, "pushButton_startCheck");
        check->click();
        click(*dialog, "pushButton_startCheck");
        QCOMPARE(test::promptTexts(prompts.shown), QStringList{"warring: The number can not be empty!"});
        QCOMPARE(start->text(), QString("Start"));

        edit(*dialog, "lineEdit_LidarIDNumber")->setText("SN7");
        click(*dialog, "pushButton_startCheck");
        QCOMPARE(start->text(), QString("Stop"));
        QVERIFY(!edit(*dialog, "lineEdit_LidarIDNumber")->isEnabled());
        QCOMPARE(text(*dialog, "lineEdit_errorCount"), QString("0"));
        // The dialog names the folder and both files it writes to, and they are where it says.
        const QStringList where = child<QLabel>(*dialog, "label_gpsLogFiles")->text().split('\n');
        QCOMPARE(where.size(), 3);
        const QDir folder(where[0].section(": ", 1));
        QVERIFY(folder.exists(where[1].section(": ", 1)));
        QVERIFY(folder.exists(where[2].section(": ", 1)));
        QVERIFY(where[2].contains("_Error_"));

        // Seconds 58, 59, 0, 0: the repeated second is the one jump.
        for (std::uint64_t micros : {0, 1, 2, 2})
            feed(*dialog, devicePacket(plainSettings(58), micros * sim::kMicrosPerSecond));
        QCOMPARE(text(*dialog, "lineEdit_errorCount"), QString("1"));

        check->click(); // unchecking ends the run and closes the logs
        QCOMPARE(start->text(), QString("Start"));
        QVERIFY(!start->isEnabled() && !edit(*dialog, "lineEdit_LidarIDNumber")->isEnabled());

        // Logs that cannot be created are reported and the test does not start.
        dialog->setGpsLogRoot(root.filePath("2026-12-06/HVK32-V3.0_SN7_2026-12-06-21-05-09.txt"));
        check->click();
        prompts.shown.clear();
        click(*dialog, "pushButton_startCheck");
        QCOMPARE(prompts.shown.size(), 1);
        QCOMPARE(prompts.shown[0].kind, QString("warning"));
        QCOMPARE(start->text(), QString("Start"));
    }
};

QTEST_MAIN(AdvancedDialogTest)
#include "AdvancedDialogTest.moc"
