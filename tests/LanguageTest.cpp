// The English translation: chosen by name, it replaces the original texts of the dialogs and
// the message boxes, typos mended; without it the original texts stay.

#include "app/Language.h"
#include "device/AddressChecks.h"
#include "support/RecordingPrompts.h"
#include "tools/InetactionSetupWidgetK32.h"
#include "tools/VerticalAngleSetting.h"

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
    }
};

QTEST_MAIN(LanguageTest)
#include "LanguageTest.moc"
