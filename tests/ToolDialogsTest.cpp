// The small tool windows driven through their widgets: the lidar mode dialog, the about
// window and the code dialog.

#include "support/WidgetLookup.h"
#include "tools/About.h"
#include "tools/CodeDialog.h"
#include "tools/SetLidarModes.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

namespace {

using hvk32::test::child;
using hvk32::test::click;

bool checked(const QWidget& w, const char* name) { return child<QCheckBox>(w, name)->isChecked(); }
QString text(const QWidget& w, const char* name) { return child<QLabel>(w, name)->text(); }

} // namespace

class ToolDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void modesFollowTheButtons()
    {
        SetLidarModes modes;
        modes.show();
        QSignalSpy sent(&modes, &SetLidarModes::sendConfig);
        QVERIFY(child<QCheckBox>(modes, "checkBox_025cm")->isHidden());
        QVERIFY(child<QLabel>(modes, "label_3")->isHidden());

        click(modes, "okModePushButton");
        QCOMPARE(sent.takeFirst(), (QVariantList{"HVK321", 0, 0}));

        modes.setConfig("HVK322", 1, 0);
        QVERIFY(sent.isEmpty());
        QVERIFY(checked(modes, "checkBox_SecondEcho") && !checked(modes, "checkBox_FirstEcho"));
        QVERIFY(checked(modes, "checkBox_033_degree") && checked(modes, "checkBox_025cm"));
        click(modes, "okModePushButton");
        QCOMPARE(sent.takeFirst(), (QVariantList{"HVK322", 1, 0}));

        // An unknown echo text or a number without a button leaves that group alone.
        modes.setConfig("other", 0, 1);
        modes.setConfig("other", 7, -1);
        QVERIFY(checked(modes, "checkBox_SecondEcho") && checked(modes, "checkBox_1_degree"));
        QVERIFY(checked(modes, "checkBox_04cm"));
        click(modes, "okModePushButton");
        QCOMPARE(sent.takeFirst(), (QVariantList{"HVK322", 0, 1}));

        QTest::mouseClick(child<QCheckBox>(modes, "checkBox_FirstEcho"), Qt::LeftButton);
        QVERIFY(!checked(modes, "checkBox_SecondEcho")); // the groups are exclusive
        click(modes, "okModePushButton");
        QCOMPARE(sent.takeFirst(), (QVariantList{"HVK321", 0, 1}));
        QVERIFY(modes.isVisible());
    }

    void aboutShowsTheLastVersions()
    {
        About about;
        about.show();
        QVERIFY(text(about, "label_6").contains(QRegularExpression("\\d+\\.\\d+\\.\\d+")));
        QVERIFY(text(about, "label_LidarNumber").isEmpty());

        const QStringList versions{"V2.1.0", "2026-11-16  V3.00", "HVK32-SIM SN 0000001", "V1.0", "V1.2", "V2.0",
                                   "V1.1", "V3.0"};
        const char* const inListOrder[] = {"label_2ndFPGA",      "label_3ndFPGA",     "label_LidarNumber",
                                           "label_2ndHardware",  "label_3ndHardware", "label_emisionBoard",
                                           "label_receiveBoard", "label_structVer"};
        about.recvVersionInfo(versions);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(text(about, inListOrder[i]), versions[i]);

        // A second list replaces every value; a short one leaves the missing ones empty.
        about.recvVersionInfo({"V2.2.0", "2027-01-02  V3.10"});
        QCOMPARE(text(about, "label_2ndFPGA"), QString("V2.2.0"));
        QCOMPARE(text(about, "label_3ndFPGA"), QString("2027-01-02  V3.10"));
        QVERIFY(text(about, "label_LidarNumber").isEmpty());
        QVERIFY(text(about, "label_structVer").isEmpty());
    }

    void codeDialogEmitsOnOkOnly()
    {
        CodeDialog dialog;
        dialog.show();
        QSignalSpy sent(&dialog, &CodeDialog::sendCode);
        auto* edit = child<QLineEdit>(dialog, "lineEdit");
        QCOMPARE(edit->echoMode(), QLineEdit::Password);

        QTest::keyClicks(edit, "1234");
        click(dialog, "pushButton_cancel");
        QVERIFY(sent.isEmpty());
        QVERIFY(edit->text().isEmpty());
        QVERIFY(!dialog.isVisible());

        dialog.show();
        QTest::keyClicks(edit, "hvk");
        click(dialog, "pushButton_ok");
        dialog.show();
        click(dialog, "pushButton_ok");
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent[0][0].toString(), QString("hvk"));
        QCOMPARE(sent[1][0].toString(), QString()); // an empty code is still handed on
        QVERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(ToolDialogsTest)
#include "ToolDialogsTest.moc"
