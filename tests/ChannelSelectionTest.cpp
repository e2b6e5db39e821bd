// The channel selection form driven through its widgets: what the row boxes show and what
// "OK" publishes to the cloud builder.

#include "support/WidgetLookup.h"
#include "tools/Form_QLaserSelectionK32.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QtTest>

#include <string>

using namespace hvk32::channels;

namespace {

using hvk32::test::child;

QTableWidget* table(const QWidget& form) { return child<QTableWidget>(form, "tableWidget_laserselection"); }

QCheckBox* rowBox(const QWidget& form, int row)
{
    return qobject_cast<QCheckBox*>(table(form)->cellWidget(row, 0));
}

QList<int> checkedRows(const QWidget& form)
{
    QList<int> rows;
    for (int r = 0; r < kRowCount; ++r)
        if (rowBox(form, r)->isChecked())
            rows.append(r);
    return rows;
}

QList<int> rowsFrom(int first, int step)
{
    QList<int> rows;
    for (int r = first; r < kRowCount; r += step)
        rows.append(r);
    return rows;
}

bool allChannelsEnabled(const Form_QLaserSelectionK32& form)
{
    for (int c = 0; c < kRowCount; ++c)
        if (!form.channelEnabled(c))
            return false;
    return true;
}

// Clicks where the style puts the check box's clickable area, wherever the cell places it.
void clickBox(QCheckBox* box)
{
    QStyleOptionButton opt;
    opt.initFrom(box);
    const QRect area = box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &opt, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, area.center());
}

void clickButton(const QWidget& form, const char* name)
{
    QTest::mouseClick(child<QAbstractButton>(form, name), Qt::LeftButton);
}

QString cellText(const QWidget& form, int row, int column) { return table(form)->item(row, column)->text(); }

} // namespace

class ChannelSelectionTest : public QObject {
    Q_OBJECT
private slots:
    void freshFormDrawsEveryChannel()
    {
        Form_QLaserSelectionK32 form;
        QVERIFY(allChannelsEnabled(form));
        QCOMPARE(checkedRows(form), rowsFrom(0, 1));
        QVERIFY(child<QCheckBox>(form, "checkBox")->isChecked());
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!form.channelEnabled(-1) && !form.channelEnabled(32) && !form.rowEnabled(32));
    }

    void okPublishesTheBoxes()
    {
        Form_QLaserSelectionK32 form;
        form.show();
        clickBox(rowBox(form, 16));
        QVERIFY(!rowBox(form, 16)->isChecked());
        QVERIFY(form.channelEnabled(1)); // nothing is published before "OK"

        clickButton(form, "pushButton_OK");
        QVERIFY(form.isVisible());
        QCOMPARE(form.laserPositionMap()[1], 16);
        QCOMPARE(form.laserEnabled()[16], 0);
        for (int c = 0; c < kRowCount; ++c)
            QCOMPARE(form.channelEnabled(c), c != 1);
    }

    void bulkSelectionsShareOneToggle()
    {
        Form_QLaserSelectionK32 form;
        form.show();
        // The first press unchecks everything although the box started checked.
        clickBox(child<QCheckBox>(form, "checkBox"));
        QVERIFY(checkedRows(form).isEmpty());
        // The toggle is now true, so "Switch selection" picks the odd rows, then the even ones.
        clickButton(form, "pushButton_toggleselection");
        QCOMPARE(checkedRows(form), rowsFrom(1, 2));
        clickButton(form, "pushButton_toggleselection");
        QCOMPARE(checkedRows(form), rowsFrom(0, 2));
        QVERIFY(allChannelsEnabled(form)); // nothing published without "OK"
    }

    void columnGroupThenCancelKeepsFlags()
    {
        Form_QLaserSelectionK32 form;
        form.ReceiveDegreeMode(1);
        form.show();
        auto* combo = child<QComboBox>(form, "comboBox_033column");
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_End);
        QCOMPARE(combo->currentText(), QString("Column4"));
        QCOMPARE(checkedRows(form), (QList<int>{10, 14, 18, 22}));

        clickButton(form, "pushButton_Cancel");
        QVERIFY(!form.isVisible());
        QVERIFY(allChannelsEnabled(form));
        form.show();
        QCOMPARE(checkedRows(form), (QList<int>{10, 14, 18, 22}));

        // The four groups split the rows between them.
        for (int r = 0; r < kRowCount; ++r) {
            int groups = 0;
            for (int index = 1; index <= 4; ++index)
                groups += rowInColumnGroup(index, r) ? 1 : 0;
            QVERIFY2(groups == 1, qPrintable(QString("row %1 in %2 groups").arg(r).arg(groups)));
        }
    }

    void degreeModeRelabelsButKeepsBoxes()
    {
        Form_QLaserSelectionK32 form;
        form.show();
        auto* combo = child<QComboBox>(form, "comboBox_033column");
        QVERIFY(combo->isHidden());
        QCOMPARE(cellText(form, 16, 1), QString("-0"));
        clickBox(rowBox(form, 3));

        form.ReceiveDegreeMode(1);
        QVERIFY(!combo->isHidden());
        QCOMPARE(cellText(form, 9, 1), QString("-3.33"));
        QCOMPARE(cellText(form, 31, 1), QString("14"));
        QVERIFY(!rowBox(form, 3)->isChecked());

        form.ReceiveDegreeMode(5);
        QVERIFY(!combo->isHidden());
        QCOMPARE(cellText(form, 31, 1), QString("14"));

        form.ReceiveDegreeMode(0);
        QVERIFY(combo->isHidden());
        QCOMPARE(cellText(form, 16, 1), QString("-0"));
        QCOMPARE(cellText(form, 31, 1), QString("15"));
        QCOMPARE(checkedRows(form).size(), kRowCount - 1);

        for (int mode : {0, 1})
            for (int r = 1; r < kRowCount; ++r)
                QVERIFY2(std::stod(verticalAngleText(mode, r - 1)) < std::stod(verticalAngleText(mode, r)),
                         qPrintable(QString("mode %1 row %2").arg(mode).arg(r)));
    }

    void laserIdAndChannelColumns()
    {
        Form_QLaserSelectionK32 form;
        QStringList ids, channels;
        for (int r = 0; r < kRowCount; ++r) {
            ids << cellText(form, r, 2);
            channels << cellText(form, r, 3);
            // The "Channel" column names the data-packet channel whose data the row's box filters.
            QCOMPARE(form.channelRow(cellText(form, r, 3).toInt()), r);
        }
        QCOMPARE(ids.mid(0, 4), (QStringList{"0", "16", "1", "17"}));
        QCOMPARE(ids.mid(28), (QStringList{"14", "30", "15", "31"}));
        QCOMPARE(channels.mid(14, 4), (QStringList{"28", "30", "1", "3"}));
    }
};

QTEST_MAIN(ChannelSelectionTest)
#include "ChannelSelectionTest.moc"
