// The CSV options dialog driven through its widgets: what "OK" and "Cancel" emit, the
// warnings that keep it open, and the channel table.

#include "support/RecordingPrompts.h"
#include "support/WidgetLookup.h"
#include "tools/SaveDataOptions.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionButton>
#include <QTableWidget>
#include <QtTest>

namespace {

using hvk32::test::child;

QTableWidget* table(const QWidget& w) { return child<QTableWidget>(w, "tableWidget_lines"); }

QCheckBox* lineBox(const QWidget& w, int row) { return qobject_cast<QCheckBox*>(table(w)->cellWidget(row, 0)); }

void type(QWidget& dialog, const char* field, const QString& text)
{
    QLineEdit* edit = child<QLineEdit>(dialog, field);
    edit->clear();
    QTest::keyClicks(edit, text);
}

// Clicks the check box's clickable area, wherever its layout or cell places it.
void clickBox(QCheckBox* box)
{
    QStyleOptionButton opt;
    opt.initFrom(box);
    QTest::mouseClick(box, Qt::LeftButton, {}, box->style()->subElementRect(QStyle::SE_CheckBoxClickRect, &opt, box).center());
}

void click(QWidget& dialog, const char* button)
{
    QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton);
}

QList<int> allLines()
{
    QList<int> lines;
    for (int r = 0; r < 32; ++r)
        lines.append(r);
    return lines;
}

} // namespace

class SaveDataOptionsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<QList<int>>(); }

    void init()
    {
        prompts = std::make_unique<hvk32::test::RecordingPrompts>();
        dialog = std::make_unique<SaveDataOptions>(prompts.get());
        spy = std::make_unique<QSignalSpy>(dialog.get(), &SaveDataOptions::sendOptions);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }

    void cleanup()
    {
        spy.reset();
        dialog.reset();
        prompts.reset();
    }

    void okEmitsTheEntries_data()
    {
        QTest::addColumn<QString>("frames");
        QTest::addColumn<QString>("angleMin");
        QTest::addColumn<QString>("angleMax");
        QTest::addColumn<int>("emittedFrames");
        QTest::addColumn<float>("emittedMin");
        QTest::addColumn<float>("emittedMax");
        QTest::addColumn<QString>("framesShown");

        QTest::newRow("defaults") << "1" << "0" << "360" << 1 << 0.0f << 360.0f << "1";
        QTest::newRow("equal range widened") << "3" << "90" << "90" << 3 << 89.5f << 90.5f << "3";
        QTest::newRow("empty frame count") << "" << "10" << "20" << 1 << 10.0f << 20.0f << "1";
    }

    void okEmitsTheEntries()
    {
        QFETCH(QString, frames);
        QFETCH(QString, angleMin);
        QFETCH(QString, angleMax);
        type(*dialog, "lineEdit_freamCount", frames);
        type(*dialog, "lineEdit_AngleMin", angleMin);
        type(*dialog, "lineEdit_AngleMax", angleMax);
        click(*dialog, "pushButton_ok");

        QCOMPARE(spy->count(), 1);
        const QList<QVariant> args = spy->takeFirst();
        QCOMPARE(args[0].toBool(), true);
        QTEST(args[1].toInt(), "emittedFrames");
        QTEST(args[2].toFloat(), "emittedMin");
        QTEST(args[3].toFloat(), "emittedMax");
        QCOMPARE(args[4].value<QList<int>>(), allLines());
        QTEST(child<QLineEdit>(*dialog, "lineEdit_freamCount")->text(), "framesShown");
        QVERIFY(prompts->shown.isEmpty());
        QVERIFY(!dialog->isVisible());
    }

    void badRangesWarnAndKeepTheDialogOpen_data()
    {
        QTest::addColumn<QString>("angleMin");
        QTest::addColumn<QString>("angleMax");
        QTest::addColumn<QString>("warning");

        QTest::newRow("reversed") << "10" << "5" << "Angle range invalid";
        QTest::newRow("negative") << "-1" << "10" << "Invalid angle";
        QTest::newRow("min empty") << "" << "10" << "Angle range can not be empty";
    }

    void badRangesWarnAndKeepTheDialogOpen()
    {
        QFETCH(QString, angleMin);
        QFETCH(QString, angleMax);
        QFETCH(QString, warning);
        type(*dialog, "lineEdit_AngleMin", angleMin);
        type(*dialog, "lineEdit_AngleMax", angleMax);
        click(*dialog, "pushButton_ok");

        QCOMPARE(spy->count(), 0);
        QCOMPARE(prompts->shown.size(), 1);
        QCOMPARE(prompts->shown[0].kind, QString("warning"));
        QCOMPARE(prompts->shown[0].title, QString("Warning"));
        QCOMPARE(prompts->shown[0].text, warning);
        QVERIFY(dialog->isVisible());
    }

    void channelBoxesChooseTheLines()
    {
        QCheckBox* selectAll = child<QCheckBox>(*dialog, "checkBox_selectAll");
        QVERIFY(selectAll->isChecked());
        clickBox(selectAll);
        click(*dialog, "pushButton_ok");
        QCOMPARE(spy->takeFirst()[4].value<QList<int>>(), QList<int>());

        dialog->show();
        clickBox(lineBox(*dialog, 7));
        clickBox(lineBox(*dialog, 30));
        click(*dialog, "pushButton_ok");
        QCOMPARE(spy->takeFirst()[4].value<QList<int>>(), QList<int>({7, 30}));
    }

    void cancelEmitsTheIdleOptions()
    {
        type(*dialog, "lineEdit_AngleMin", "30");
        click(*dialog, "pushButton_cancel");
        QCOMPARE(spy->count(), 1);
        const QList<QVariant> args = spy->takeFirst();
        QCOMPARE(args[0].toBool(), false);
        QCOMPARE(args[1].toInt(), 1);
        QCOMPARE(args[2].toFloat(), 0.0f);
        QCOMPARE(args[3].toFloat(), 360.0f);
        QCOMPARE(args[4].value<QList<int>>(), QList<int>());
        QVERIFY(!dialog->isVisible());
    }

    void angleColumnFollowsTheLayout()
    {
        QTableWidget* t = table(*dialog);
        QCOMPARE(t->horizontalHeaderItem(2)->text(), QString("Vertical Angle"));
        QCOMPARE(t->item(31, 1)->text(), QString("31"));
        QCOMPARE(t->item(3, 2)->text(), QString("-0.66")); // 0.33-degree layout at first
        dialog->setLidarAngleType("HVK321", 0, 1);
        QCOMPARE(t->item(3, 2)->text(), QString("1.00"));
        QCOMPARE(t->item(0, 2)->text(), QString("-16.00"));
        dialog->setLidarAngleType("HVK322", 1, 1);
        QCOMPARE(t->item(3, 2)->text(), QString("-0.66"));
    }

private:
    std::unique_ptr<hvk32::test::RecordingPrompts> prompts;
    std::unique_ptr<SaveDataOptions> dialog;
    std::unique_ptr<QSignalSpy> spy;
};

QTEST_MAIN(SaveDataOptionsTest)
#include "SaveDataOptionsTest.moc"
