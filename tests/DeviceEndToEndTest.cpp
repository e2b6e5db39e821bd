// The window against the real simulator on loopback: settings changed in the dialogs reach
// the simulator, its stream changes, and the next refresh shows what it now reports.

#include "receivers/GetLidardataK32.h"
#include "app/manwindow.h"
#include "device/VerticalAnglePacket.h"
#include "platform/UdpSocket.h"
#include "records/AngleValues.h"
#include "support/WindowFixture.h"
#include "tools/ACWPSettingWidgetK32.h"
#include "tools/InetactionSetupWidgetK32.h"
#include "tools/VerticalAngleSetting.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardItemModel>
#include <QSurfaceFormat>
#include <QTableView>
#include <QVTKOpenGLNativeWidget.h>
#include <QtTest>

#include <memory>

using namespace hvk32;

class DeviceEndToEndTest : public QObject, test::WindowFixture {
    Q_OBJECT

    // A device address of its own, so suites running side by side do not share it.
    static constexpr const char* kDeviceIp = "127.0.0.91";

    QProcess sim_;

    // Revolutions the receiver cut in one second, whether or not the window had time to
    // draw them all (a loaded machine draws fewer).
    double frameRateOverOneSecond()
    {
        const auto before = window_->lidarDataReceiver().framesAssembled();
        QElapsedTimer timer;
        timer.start();
        QTest::qWait(1000);
        return double(window_->lidarDataReceiver().framesAssembled() - before) * 1000.0 / double(timer.elapsed());
    }

    template <typename T>
    static T* child(QWidget& parent, const char* name)
    {
        return test::child<T>(parent, name);
    }

    // Waits for a device-info packet newer than now, then presses the dialog's refresh.
    void refresh(QWidget& dialog, const char* button)
    {
        QTest::qWait(1100); // device-info packets come once a second
        QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        const std::uint16_t dataPort = platform::findFreeUdpPort();
        const std::uint16_t telemetryPort = platform::findFreeUdpPort();
        sim_.start(HVK32_SIM_PATH, {"--device-ip", kDeviceIp, "--data-port", QString::number(dataPort),
                                    "--telemetry-port", QString::number(telemetryPort), "--seconds", "120", "--quiet"});
        QVERIFY(sim_.waitForStarted());
        makeWindow();
        window_->setConnectionFields(QString::number(dataPort), QString::number(telemetryPort), "224.1.1.1");
        window_->setFixedDeviceAddress(kDeviceIp);
        window_->setEngineeringMode(true);
        QVERIFY(showWindow());
        window_->onConnectLidar();
        QTRY_VERIFY_WITH_TIMEOUT(window_->framesReceived() >= 3, 10000);
    }

    void cleanupTestCase()
    {
        window_.reset();
        sim_.terminate();
        sim_.waitForFinished(3000);
    }

    void motorSpeedAndIntervalFromTheNetworkDialog()
    {
        const double before = frameRateOverOneSecond();
        QVERIFY2(before >= 6 && before <= 13, qPrintable(QString("%1 frames a second").arg(before)));

        InetactionSetupWidgetK32& dialog = window_->networkDialog();
        dialog.show();
        refresh(dialog, "pushButton_LidarRefresh");
        QCOMPARE(child<QLineEdit>(dialog, "lineEdit_DefaultIP")->text(), QString(kDeviceIp));

        child<QComboBox>(dialog, "comboBox_rotateSpeed")->setCurrentIndex(2); // " 20 HZ"
        child<QLineEdit>(dialog, "lineEdit_interval")->setText("7");
        prompts_.answers.enqueue(QMessageBox::Cancel); // keep the dialog open
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_OK"), Qt::LeftButton);
        QVERIFY(std::any_of(prompts_.shown.begin(), prompts_.shown.end(),
                            [](const test::Prompt& p) { return p.text.startsWith("Setup completed"); }));

        QTRY_VERIFY_WITH_TIMEOUT(frameRateOverOneSecond() >= 16, 15000);
        refresh(dialog, "pushButton_LidarRefresh");
        QCOMPARE(child<QLineEdit>(dialog, "lineEdit_interval")->text(), QString("7"));
        QCOMPARE(child<QLineEdit>(dialog, "lineEdit_Motor_State")->text(), QString("1200"));
        dialog.close();
    }

    void verticalTableWrittenAndReadBack()
    {
        VerticalAngleSetting& dialog = window_->verticalAngleDialog();
        dialog.show();
        refresh(dialog, "updatePushButton");
        auto* model = qobject_cast<QStandardItemModel*>(child<QTableView>(dialog, "tableView")->model());
        QVERIFY(model);
        // The dialog numbers beams by angle: its channel 4 is the 1-degree layout's -12, which
        // the data packets carry as channel 8.
        const auto place = vertical::gridPlace(0, 4);
        QCOMPARE(model->item(place.row, place.reViewColumn())->text().toDouble(), -12.0);

        model->item(place.row, place.setColumn())->setText("-12.5");
        QTest::qWait(1100); // the write needs a device-info packet newer than the refresh
        QTest::mouseClick(child<QPushButton>(dialog, "setPushButton"), Qt::LeftButton);
        refresh(dialog, "updatePushButton");
        QCOMPARE(model->item(place.row, place.reViewColumn())->text().toDouble(), -12.5);
        QTRY_COMPARE_WITH_TIMEOUT(verticalAngleTable[8].load(), -12.5f, 3000);
        dialog.close();
    }

    void offsetAngleAndEchoModeFromTheAdvancedDialog()
    {
        ACWPSettingWidgetK32& dialog = window_->advancedDialog();
        dialog.resetSendReady();
        dialog.show();
        refresh(dialog, "pushButton_Refreshlidar");
        QCOMPARE(child<QComboBox>(dialog, "EchoMode_comboBox")->currentIndex(), 0);

        child<QComboBox>(dialog, "EchoMode_comboBox")->setCurrentIndex(1); // dual echo
        child<QLineEdit>(dialog, "lineEdit_angle_set")->setText("1.5");
        QTest::qWait(1100); // "Set" needs a device-info packet newer than the refresh
        prompts_.answers.enqueue(QMessageBox::Cancel);
        QTest::mouseClick(child<QPushButton>(dialog, "pushButton_OK"), Qt::LeftButton);

        QTRY_COMPARE_WITH_TIMEOUT(offsetAngle1.load(), 1.5f, 5000); // published from the next device-info packet
        refresh(dialog, "pushButton_Refreshlidar");
        QCOMPARE(child<QComboBox>(dialog, "EchoMode_comboBox")->currentIndex(), 1);
        QCOMPARE(child<QLineEdit>(dialog, "lineEdit_angle_set")->text().toDouble(), 1.5);

        // A reconnect decodes the simulator's stream as dual echo now.
        window_->onDisconnectLidar();
        QTest::qWait(300);
        window_->onConnectLidar();
        QTRY_COMPARE_WITH_TIMEOUT(window_->lidarDataReceiver().configuration(), QString("HVK322"), 5000);
        const auto frames = window_->framesReceived();
        QTRY_VERIFY_WITH_TIMEOUT(window_->framesReceived() > frames + 2, 5000);
        dialog.close();
    }
};

int main(int argc, char** argv) { return test::runWindowSuite<DeviceEndToEndTest>(argc, argv); }

#include "DeviceEndToEndTest.moc"
