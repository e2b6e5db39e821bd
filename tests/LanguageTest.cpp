// The English translation: chosen by name, it replaces the original texts of the dialogs and
// the message boxes, typos mended; without it the original texts stay.

#include "app/Language.h"
#include "device/AddressChecks.h"
#include "device/GpsTimeTest.h"
#include "support/RecordingPrompts.h"
#include "tools/InetactionSetupWidgetK32.h"
#include "tools/VerticalAngleSetting.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace hvk32;

class LanguageTest : public QObject {
    Q_OBJECT

    static QString text(const test::Prompt& p) { return p.title + ": " + p.text; }

    static QString subnetMaskMessage()
    {
        addresschecks::AddressBoxes boxes;
        boxes.hostIp = "192.168.1.10";
        boxes.subnetMask = "255.255";
        return addresschecks::checkSubnetMask(boxes).message;
    }

private slots:
    void unknownLanguageIsRefused()
    {
        QString error;
        QVERIFY(!installLanguage(*qApp, "xx", &error));
        QVERIFY(error.contains("available: en"));
        QVERIFY(installLanguage(*qApp, QString(), &error)); // the original texts
    }

    void originalTextsWithoutATranslation()
    {
        test::RecordingPrompts prompts;
        InetactionSetupWidgetK32 dialog(&prompts);
        QCOMPARE(dialog.findChild<QGroupBox*>("groupBox_GPS")->title(), QString::fromUtf8("GPS Posotion："));
        QTest::mouseClick(dialog.findChild<QPushButton*>("pushButton_LidarRefresh"), Qt::LeftButton);
        QCOMPARE(text(prompts.shown.value(0)), QString::fromUtf8("warring: Please check the device package port！"));
        QCOMPARE(subnetMaskMessage(), QString("Incorrect SubNet Mask format."));
    }

    void englishDialogsAndMessages()
    {
        QString error;
        QVERIFY2(installLanguage(*qApp, "en", &error), qPrintable(error));

        test::RecordingPrompts prompts;
        InetactionSetupWidgetK32 dialog(&prompts);
        QCOMPARE(dialog.findChild<QGroupBox*>("groupBox_GPS")->title(), QString("GPS Position:"));
        QCOMPARE(dialog.findChild<QLabel*>("label_DestIP")->text(), QString("local IP:"));
        QTest::mouseClick(dialog.findChild<QPushButton*>("pushButton_LidarRefresh"), Qt::LeftButton);
        QCOMPARE(text(prompts.shown.value(0)), QString("Warning: Please check the device package port!"));

        // A dialog whose original texts are Chinese.
        VerticalAngleSetting angles(&prompts);
        QCOMPARE(angles.findChild<QPushButton*>("updatePushButton")->text(), QString("Refresh"));
        prompts.shown.clear();
        QTest::mouseClick(angles.findChild<QPushButton*>("updatePushButton"), Qt::LeftButton);
        QCOMPARE(text(prompts.shown.value(0)), QString("Tips: Connection error"));

        // A text of the lower layers that reaches a message box.
        QCOMPARE(subnetMaskMessage(), QString("Incorrect subnet mask format."));

        // Titles and units in words, and speeds that still map to the right rpm by position.
        QCOMPARE(dialog.windowTitle(), QString("Network Settings"));
        QCOMPARE(dialog.findChild<QComboBox*>("comboBox_rotateSpeed")->itemText(0), QString("5 Hz (300 rpm)"));

        // The GPS time-test log: English, in UTF-8.
        QTemporaryDir root;
        GpsTimeLog log;
        QString why;
        QVERIFY2(log.start(root.path(), "SN1", QDateTime(QDate(2026, 12, 6), QTime(21, 5, 9)), &why), qPrintable(why));
        const std::uint8_t before[6] = {26, 12, 6, 21, 5, 58};
        const std::uint8_t after[6] = {26, 12, 6, 21, 6, 0};
        log.record(before, QDateTime(QDate(2026, 12, 6), QTime(21, 5, 10)));
        QVERIFY(log.record(after, QDateTime(QDate(2026, 12, 6), QTime(21, 5, 11))));
        log.stop();
        QFile file(log.mainLogPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QTextCodec::ConverterState state;
        const QString logged = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
        QCOMPARE(state.invalidChars, 0);
        QVERIFY2(logged.startsWith("\t\tLocal time\t\t\t\t\t\t GPS time\n"), qPrintable(logged));
        QVERIFY2(logged.contains("-------------- GPS time jump : 2026/12/06 21:05:58 -> 2026/12/06 21:06:00"),
                 qPrintable(logged));
    }
};

QTEST_MAIN(LanguageTest)
#include "LanguageTest.moc"
