// The point table and the CSV export as the window drives them.

#include "acquisition/FrameAssembler.h"
#include "app/ViewerScene.h"
#include "app/manwindow.h"
#include "records/AngleValues.h"
#include "sim/ScannerStream.h"
#include "support/CaptureBuilder.h"
#include "support/DeviceInfoBuilder.h"
#include "support/SimulatorFrames.h"
#include "support/WindowFixture.h"
#include "tools/SaveDataOptions.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVTKOpenGLNativeWidget.h>
#include <QtTest>

#include <array>
#include <cmath>
#include <memory>

using namespace hvk32;

namespace {

using test::simulatorFrames;

QStringList frameIdsOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList ids;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray id = lines[i].split(',').value(0);
        if (!id.isEmpty() && !ids.contains(id))
            ids << id;
    }
    return ids;
}

} // namespace

class WindowExportTest : public QObject, test::WindowFixture {
    Q_OBJECT

    QTemporaryDir dir_;
    std::vector<LidarData> frames_;

    // Opens SaveData, asks for `frames` frames of every channel, and answers the save dialog.
    void requestExport(const QString& path, const QString& frames)
    {
        click("toolButton_11");
        auto& options = window_->saveDataOptions();
        QVERIFY(options.isVisible());
        auto* count = options.findChild<QLineEdit*>("lineEdit_freamCount");
        count->setText(frames);
        prompts_.fileNames.enqueue(path);
        QTest::mouseClick(options.findChild<QPushButton*>("pushButton_ok"), Qt::LeftButton);
        QVERIFY(!options.isVisible());
    }

private slots:
    void initTestCase()
    {
        for (int c = 0; c < 32; ++c)
            verticalAngleTable[c] = defaultVerticalAngles1[c];
        frames_ = simulatorFrames(4);
    }

    void init() { QVERIFY(openWindow({1000, 700})); }

    void cleanup() { window_.reset(); }

    void liveTableListsFourPointsPerChannel()
    {
        showFrame(frames_[0]);
        QStandardItemModel& table = window_->pointTable();
        QCOMPARE(table.rowCount(), 128);
        for (int k = 0; k < 4; ++k) {
            QCOMPARE(table.item(20 + k, 0)->text(), QString::number(k)); // PointID
            QCOMPARE(table.item(20 + k, 5)->text(), QString("5"));        // Channel
        }
    }

    void threeLiveFramesExported()
    {
        const QString path = dir_.filePath("live.csv");
        requestExport(path, "3");
        QCOMPARE(prompts_.shown.last().kind, QString("save"));
        QCOMPARE(prompts_.shown.last().title, QString("Save CSV"));
        QVERIFY(prompts_.shown.last().proposed.endsWith(".csv"));
        QVERIFY(window_->csvExport().isArmed());

        for (int i = 0; i < 3; ++i) {
            showFrame(frames_[i]);
            QCOMPARE(window_->scene().frameCloud()->size(), std::size_t(0)); // nothing drawn while exporting
        }
        QVERIFY(!window_->csvExport().isArmed()); // closed after the third frame
        QCOMPARE(frameIdsOf(path), (QStringList{"1", "2", "3"}));
        showFrame(frames_[3]);
        QVERIFY(window_->scene().frameCloud()->size() > 0); // the view is back
        QCOMPARE(frameIdsOf(path), (QStringList{"1", "2", "3"}));
    }

    void frozenDisplayExportsTheFrameOnScreen()
    {
        showFrame(frames_[1]);
        click("toolButton_pause");
        const QString path = dir_.filePath("frozen.csv");
        requestExport(path, "5");
        QVERIFY(!window_->csvExport().isArmed());
        QCOMPARE(frameIdsOf(path), QStringList{"1"});
    }

    // A played frame converts with its capture's vertical angles, not the live device's: a
    // capture whose device-info packets carry the 1-degree table shifted by +0.5 degrees,
    // paused and exported, gives the shifted elevations, and the published table stays.
    void playedFrameExportsWithItsCapturesAngles()
    {
        test::CaptureBuilder capture;
        capture.deviceInfo([](std::uint8_t* p) { test::shiftVerticalAngles(p, 0.5f); }).revolutions(4.5);
        const QString pcap = dir_.filePath("shifted.pcap");
        QFile file(pcap);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(capture.bytes());
        file.close();
        prompts_.fileNames.enqueue(pcap);
        click("toolButton_Open");
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(window_->framesDrawn() > 0, 5000);
        click("toolButton_Play"); // pause

        const QString path = dir_.filePath("played.csv");
        requestExport(path, "1");
        QFile csv(path);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        csv.readLine();
        int lines = 0;
        while (!csv.atEnd()) {
            const QList<QByteArray> f = csv.readLine().trimmed().split(',');
            const double distance = f[7].toDouble();
            const double angle = (defaultVerticalAngles1[f[5].toInt()] + 0.5) * 3.14159 / 180;
            QVERIFY2(std::fabs(f[3].toDouble() - distance * std::sin(angle)) <= 2e-5 * distance + 1e-5, f.join(',').constData());
            ++lines;
        }
        QVERIFY(lines >= 57600); // a whole turn of returns
        QCOMPARE(verticalAngleTable[0].load(), -16.0f);
    }

    void unwritableFileIsReported()
    {
        requestExport(dir_.filePath("no/such/dir/x.csv"), "1");
        QCOMPARE(prompts_.shown.last().kind, QString("warning"));
        QVERIFY(!window_->csvExport().isArmed());
    }
};

int main(int argc, char** argv) { return test::runWindowSuite<WindowExportTest>(argc, argv); }

#include "WindowExportTest.moc"
