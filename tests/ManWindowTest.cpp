// The main window driven through its widgets, with the simulator's packets on loopback.

#include "acquisition/DataPacket.h"
#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "app/WindowStatusBar.h"
#include "app/manwindow.h"
#include "platform/UdpSocket.h"
#include "sim/ScannerStream.h"
#include "support/LoopbackSenders.h"
#include "support/WindowFixture.h"
#include "tools/ACWPSettingWidgetK32.h"
#include "tools/About.h"
#include "tools/InetactionSetupWidgetK32.h"
#include "tools/SetLidarModes.h"
#include "tools/VerticalAngleSetting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QSurfaceFormat>
#include <QToolButton>
#include <QVTKOpenGLNativeWidget.h>
#include <QtTest>

#include <array>
#include <chrono>
#include <memory>
#include <thread>

using namespace hvk32;

namespace {

struct Ports {
    std::uint16_t data = platform::findFreeUdpPort();
    std::uint16_t telemetry = platform::findFreeUdpPort();
};

void sendDeviceInfo(std::uint16_t port, const sim::ScannerSettings& settings)
{
    test::PacedSender(port).sendDeviceInfo(sim::ScannerStream(settings), port);
}

// Sends whole revolutions; with dropEvery, every so many packets goes missing.
void sendRevolutions(std::uint16_t port, int revolutions, int dropEvery = 0)
{
    sim::ScannerStream stream{sim::ScannerSettings{}};
    test::PacedSender sender(port);
    std::array<std::uint8_t, datapacket::kPacketSize> packet{};
    for (int k = 0; k < test::packetsForRevolutions(stream, revolutions); ++k) {
        stream.nextDataPacket(packet.data());
        if (dropEvery && k % dropEvery == dropEvery - 1)
            continue;
        sender.send(packet.data(), packet.size());
    }
}

sim::ScannerSettings firmware(int major, int minor)
{
    sim::ScannerSettings s;
    s.firmwareMajor = major;
    s.firmwareMinor = minor;
    return s;
}

} // namespace

class ManWindowTest : public QObject, test::WindowFixture {
    Q_OBJECT

    Ports ports_;

    void type(const char* field, const QString& text)
    {
        auto* edit = widget<QLineEdit>(field);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    // Types fresh ports into the fields and presses Connect.
    void connectWindow()
    {
        ports_ = Ports{};
        type("lineEdit_portNumber", QString::number(ports_.data));
        type("lineEdit", QString::number(ports_.telemetry));
        click("toolButton_Lidar");
        QTRY_VERIFY(window_->deviceInfoReceiver().isBound()); // no datagram before it listens
    }

private slots:
    void init() { QVERIFY(openWindow()); }

    void cleanup() { window_.reset(); }

    void startsIdleWithTheFormDefaults()
    {
        QCOMPARE(window_->windowTitle(), QString("HVK32"));
        QCOMPARE(widget<QLineEdit>("lineEdit_portNumber")->text(), QString("2368"));
        QCOMPARE(widget<QLineEdit>("lineEdit")->text(), QString("2369"));
        QCOMPARE(widget<QLineEdit>("lineEdit_2")->text(), QString("224.1.1.1"));
        QVERIFY(widget<QToolButton>("toolButton_Lidar")->isEnabled());
        QVERIFY(!widget<QToolButton>("toolButton_disConnect")->isEnabled());
        QVERIFY(!widget<QToolButton>("toolButton_Play")->isEnabled());
        QVERIFY(widget<QComboBox>("comboBox_degree")->isHidden());
        QVERIFY(widget<QToolButton>("toolButton_9")->isHidden());
        QCOMPARE(widget<QComboBox>("comboBox_speeds")->itemText(3), QString("0.5x"));
        QVERIFY(!window_->deviceInfoReceiver().isRunning());
        QVERIFY(!window_->lidarDataReceiver().isRunning());
    }

    void connectWaitsForUsableDeviceThenStreams()
    {
        QSignalSpy started(&window_->lidarDataReceiver(), &QThread::started);
        QSignalSpy enable(window_.get(), &manwindow::sendEnableSetting);
        QSignalSpy defaults(window_.get(), &manwindow::sendDefaultConfig);
        connectWindow();
        QVERIFY(!widget<QLineEdit>("lineEdit_portNumber")->isEnabled());
        QVERIFY(widget<QToolButton>("toolButton_disConnect")->isEnabled());
        QVERIFY(window_->deviceInfoReceiver().isRunning());
        QCOMPARE(window_->deviceInfoReceiver().port(), int(ports_.telemetry));

        sim::ScannerSettings board1;
        board1.boardMajor = 1;
        sendDeviceInfo(ports_.telemetry, board1);
        QTRY_COMPARE_WITH_TIMEOUT(window_->deviceInfoReceiver().packetsDecoded(), std::uint64_t(1), 3000);
        QTest::qWait(50);
        QVERIFY(!window_->lidarDataReceiver().isRunning());

        for (int k = 0; k < 3; ++k)
            sendDeviceInfo(ports_.telemetry, sim::ScannerSettings{});
        QTRY_COMPARE_WITH_TIMEOUT(window_->deviceInfoReceiver().packetsDecoded(), std::uint64_t(4), 3000);
        QTest::qWait(100);
        QCOMPARE(started.count(), 1);
        QVERIFY(window_->lidarDataReceiver().isRunning());
        QCOMPARE(window_->lidarDataReceiver().port(), int(ports_.data));
        QCOMPARE(window_->lidarDataReceiver().configuration(), QString("HVK321"));
        QCOMPARE(enable.count(), 1);
        QCOMPARE(enable[0][0].toBool(), true);
        QCOMPARE(defaults.count(), 1);
        QCOMPARE(defaults[0], (QVariantList{QString("HVK321"), 0, 1}));
        QVERIFY(prompts_.shown.isEmpty());

        sendRevolutions(ports_.data, 3);
        QTRY_VERIFY_WITH_TIMEOUT(window_->framesReceived() >= 2, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(widget<QLabel>("label_framesSent")->text().startsWith("Frames sent: "), 2000);
        QTRY_COMPARE(widget<QLabel>("label_lostPackets")->text(), QString("Lost packets: 0 (0.00 % in 10 s)"));
        QVERIFY(!widget<QLabel>("label_lostPackets")->property("warning").toBool());

        click("toolButton_disConnect");
        QVERIFY(widget<QLineEdit>("lineEdit_portNumber")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!window_->lidarDataReceiver().isRunning(), 200);
        QTRY_VERIFY_WITH_TIMEOUT(!window_->deviceInfoReceiver().isRunning(), 200);
    }

    void deviceRateAndCountersIgnoreASlowDisplay()
    {
        // The device sends 20 revolutions a second while the window draws at most about six:
        // the rate still reads 20 Hz and sent = drawn + skipped.
        connectWindow();
        sendDeviceInfo(ports_.telemetry, sim::ScannerSettings{});
        QTRY_VERIFY_WITH_TIMEOUT(window_->lidarDataReceiver().isBound(), 3000);

        std::thread device([port = ports_.data]() {
            sim::ScannerStream stream{sim::ScannerSettings{}};
            platform::UdpSocket socket;
            socket.open();
            std::array<std::uint8_t, datapacket::kPacketSize> packet{};
            const int packetsPerRevolution = stream.blocksPerRevolution() / 12;
            auto due = std::chrono::steady_clock::now();
            for (int rev = 0; rev < 60; ++rev) {
                for (int k = 0; k < packetsPerRevolution; ++k) {
                    stream.nextDataPacket(packet.data());
                    socket.sendTo(packet.data(), packet.size(), "127.0.0.1", port);
                }
                due += std::chrono::milliseconds(50);
                std::this_thread::sleep_until(due);
            }
        });
        double rate = 0;
        QElapsedTimer sending;
        sending.start();
        while (sending.elapsed() < 2800) { // a busy GUI thread: 150 ms between event loops
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            QCoreApplication::processEvents();
            if (sending.elapsed() > 2200)
                rate = std::max(rate, window_->deviceFrameRate());
        }
        device.join();
        QVERIFY2(rate > 19.0 && rate < 21.0, qPrintable(QString("device rate %1 Hz").arg(rate)));
        QTest::qWait(300);
        const auto sent = window_->framesReceived();
        QVERIFY2(sent >= 55, qPrintable(QString("%1 frames sent").arg(sent)));
        QVERIFY(window_->framesSkipped() > 0);
        QCOMPARE(sent, window_->framesDrawn() + window_->framesSkipped());
        QTRY_COMPARE(widget<QLabel>("label_framesSkipped")->text(),
                     QString("Skipped: %1").arg(window_->framesSkipped()));
    }

    void fitsANarrowScreenAndCentresDialogs()
    {
        // With every tool shown, the window still goes down to 1280 px: the tool rows scroll
        // and the status bar's counters stay in view. Dialogs open over its middle.
        window_->setEngineeringMode(true);
        window_->resize(1280, 700);
        QTRY_COMPARE(window_->width(), 1280);
        QVERIFY(window_->minimumSizeHint().width() <= 1280);
        auto* rate = widget<QLabel>("label_deviceRate");
        QVERIFY(rate->isVisible());
        QVERIFY(rate->mapTo(window_.get(), QPoint(rate->width(), 0)).x() <= window_->width());

        // A ruler reading is long: it is cut, and neither widens the window nor pushes the
        // counters out of view.
        widget<QToolButton>("toolButton_Measure")->setChecked(true);
        auto* reading = widget<QLabel>("label_measurement");
        reading->setText("Measure: Distance 23.450 m  Horizontal 23.435 m  Height +0.853 m  "
                         "A (-9.001, 4.712, 1.242)  B (11.842, -6.000, 2.095)");
        QTest::qWait(100); // the status bar lays itself out again
        QVERIFY(window_->minimumSizeHint().width() <= 1280);
        QCOMPARE(window_->width(), 1280);
        QVERIFY(rate->mapTo(window_.get(), QPoint(rate->width(), 0)).x() <= window_->width());
        widget<QToolButton>("toolButton_Measure")->setChecked(false);

        window_->move(40, 30);
        click("toolButton_12");
        auto& dialog = window_->networkDialog();
        QTRY_VERIFY(dialog.isVisible());
        const QPoint offset = dialog.frameGeometry().center() - window_->frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 4, qPrintable(QString("%1,%2").arg(offset.x()).arg(offset.y())));
        dialog.close();
    }

    // At 1280 px every status text shown at once has room of its own: no two fields overlap or
    // touch side by side, each lies inside the bar, and each shows whole (a wrapped one has the
    // height its lines need). A file written shows "Copy path" beside its message.
    void statusTextsEachHaveTheirOwnSpace()
    {
        window_->resize(1280, 700);
        QTRY_COMPARE(window_->width(), 1280);
        auto* status = window_->statusBar()->findChild<WindowStatusBar*>();
        QVERIFY(status);
        auto* panel = widget<QWidget>("statusPanel");
        const auto checkLayout = [&]() -> bool {
            QTest::qWait(50); // the status bar lays itself out again
            QList<QWidget*> shown;
            for (QWidget* w : panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
                if (w->isVisible() && (qobject_cast<QLabel*>(w) || qobject_cast<QToolButton*>(w)))
                    shown << w;
            for (QWidget* w : shown) {
                const QString name = w->objectName();
                if (!panel->rect().contains(w->geometry())
                    || !window_->statusBar()->rect().contains(QRect(panel->mapTo(window_->statusBar(), QPoint()), panel->size()))) {
                    qWarning() << name << "lies outside the status bar";
                    return false;
                }
                auto* label = qobject_cast<QLabel*>(w);
                const bool whole = label && label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                                              : w->sizeHint().width() <= w->width();
                if (!whole) {
                    qWarning() << name << "is cut:" << w->geometry() << w->sizeHint();
                    return false;
                }
                for (QWidget* other : shown) {
                    const QRect a = w->geometry(), b = other->geometry();
                    if (other == w || a.bottom() < b.top() || b.bottom() < a.top())
                        continue; // different rows
                    if (a.right() < b.left() ? b.left() - a.right() <= 4 : b.right() < a.left() ? a.left() - b.right() <= 4 : true) {
                        qWarning() << name << a << "meets" << other->objectName() << b;
                        return false;
                    }
                }
            }
            return true;
        };

        status->showSilence(9, 2368, 2369);
        status->showMessage("Nothing recorded for 2 s on adapter lo with filter \"port 2368 or port 2369\": check "
                            "that the device sends to this computer through that adapter and to that port");
        status->showRecording("REC 00:05 | nothing from adapter lo, filter \"port 2368 or port 2369\"", true,
                              "/tmp/quiet.pcap");
        status->showServing("Serving on ws://127.0.0.1:65535 (clients: 16)");
        status->showMeasurement(true, "Measure: Distance 23.450 m  Horizontal 23.435 m  Height +0.853 m  "
                                      "A (-9.001, 4.712, 1.242)  B (11.842, -6.000, 2.095)");
        QVERIFY(checkLayout());
        status->showFileWritten("Recording stopped: 828 packets (1.0 MB) written to /tmp/quiet.pcap", "/tmp/quiet.pcap");
        QVERIFY(widget<QToolButton>("toolButton_copyPath")->isVisible());
        QVERIFY(checkLayout());
        QCOMPARE(window_->width(), 1280);
    }

    // One packet in 50 missing: 2 % lost, shown as a warning. The window starts at Connect,
    // before the first packet, so it holds the whole stream.
    void lostPacketsWarn()
    {
        connectWindow();
        sendDeviceInfo(ports_.telemetry, sim::ScannerSettings{});
        QTRY_VERIFY_WITH_TIMEOUT(window_->lidarDataReceiver().isRunning(), 3000);
        QTest::qWait(50);
        sendRevolutions(ports_.data, 4, 50);
        QTRY_COMPARE_WITH_TIMEOUT(window_->lidarDataReceiver().streamHealth().lostPackets, std::uint64_t(12), 5000);
        QTRY_COMPARE(widget<QLabel>("label_lostPackets")->text(), QString("Lost packets: 12 (1.99 % in 10 s)")); // of 602
        QVERIFY(widget<QLabel>("label_lostPackets")->property("warning").toBool());
        QCOMPARE(widget<QLabel>("label_receiveDrops")->text(), QString("Receive drops: 0"));
    }

    void oldFirmwareWarns_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::addColumn<bool>("supported");
        QTest::newRow("2.7") << 2 << 7 << false;
        QTest::newRow("2.8") << 2 << 8 << true;
        QTest::newRow("3.0") << 3 << 0 << true;
    }
    void oldFirmwareWarns()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        QFETCH(bool, supported);
        QSignalSpy enable(window_.get(), &manwindow::sendEnableSetting);
        connectWindow();
        sendDeviceInfo(ports_.telemetry, firmware(major, minor));
        QTRY_COMPARE_WITH_TIMEOUT(enable.count(), 1, 3000);
        QCOMPARE(enable[0][0].toBool(), supported);
        if (supported) {
            QVERIFY(prompts_.shown.isEmpty());
        } else {
            QCOMPARE(prompts_.shown.size(), 1);
            QCOMPARE(prompts_.shown[0].kind, QString("warning"));
            QCOMPARE(prompts_.shown[0].title, QString("Warning"));
            QCOMPARE(prompts_.shown[0].text, QString("The Lidar version is lower than V2.8. Does not support display"));
        }
        QVERIFY(window_->lidarDataReceiver().isRunning()); // display goes on either way
    }

    void deviceModesChooseDecoding()
    {
        QSignalSpy degree(window_.get(), &manwindow::SendDegreeMode);
        connectWindow();
        sim::ScannerSettings settings;
        settings.layout = sim::Layout::ThirdDegree;
        settings.echo = sim::EchoMode::Dual;
        sendDeviceInfo(ports_.telemetry, settings);
        QTRY_COMPARE_WITH_TIMEOUT(degree.count(), 1, 3000);
        QCOMPARE(degree[0][0].toInt(), 1);
        QCOMPARE(widget<QComboBox>("comboBox_degree")->currentText(), QString("Degree0.33"));
        QCOMPARE(window_->lidarDataReceiver().configuration(), QString("HVK322"));

        // The echo list reaches the receiver.
        widget<QComboBox>("comboBox_7")->setCurrentIndex(2);
        QCOMPARE(window_->lidarDataReceiver().echoSelection(), 2);
    }

    // The echo list says what the device sends: a single-echo device leaves nothing to
    // choose; a dual-echo one offers the three choices again, the user's still chosen.
    void echoListShowsTheDevice()
    {
        auto* echoes = widget<QComboBox>("comboBox_7");
        echoes->setCurrentIndex(1);
        connectWindow();
        sendDeviceInfo(ports_.telemetry, sim::ScannerSettings{});
        QTRY_COMPARE_WITH_TIMEOUT(echoes->currentText(), QString("SingleEcho"), 3000);
        QVERIFY(!echoes->isEnabled());

        click("toolButton_disConnect");
        QTRY_VERIFY_WITH_TIMEOUT(!window_->deviceInfoReceiver().isRunning(), 3000);
        connectWindow();
        sim::ScannerSettings dual;
        dual.echo = sim::EchoMode::Dual;
        sendDeviceInfo(ports_.telemetry, dual);
        QTRY_COMPARE_WITH_TIMEOUT(echoes->currentText(), QString("StrongEcho"), 3000);
        QVERIFY(echoes->isEnabled());
        QCOMPARE(echoes->count(), 3);
        QCOMPARE(window_->lidarDataReceiver().echoSelection(), 1);
    }

    void engineeringModeShowsTheHiddenTools()
    {
        const char* tools[] = {"toolButton_9", "setLidarModePushButton", "setVerticalPushButton", "doubleSpinBox",
                               "showAngle_lineEdit", "toolButton_User", "toolButton_Develop"};
        for (const char* name : tools)
            QVERIFY2(widget<QWidget>(name)->isHidden(), name);
        window_->setEngineeringMode(true);
        for (const char* name : tools)
            QVERIFY2(!widget<QWidget>(name)->isHidden(), name);
        QVERIFY(widget<QComboBox>("comboBox_degree")->isHidden()); // always from the device

        // "Distance" opens the advanced dialog and asks for the next frame's intensities.
        click("toolButton_9");
        QVERIFY(window_->advancedDialog().isVisible());
        QVERIFY(window_->isCalculatingIntensity());
        window_->advancedDialog().close();

        QTest::mouseClick(widget<QPushButton>("setVerticalPushButton"), Qt::LeftButton);
        QVERIFY(window_->verticalAngleDialog().isVisible());
        window_->verticalAngleDialog().close();

        click("toolButton_User");
        click("toolButton_Develop");
        QCOMPARE(prompts_.openedUrls.size(), 2);
        QVERIFY(prompts_.openedUrls[0].toLocalFile().endsWith("docs/user-guide.html"));
        QVERIFY(QFileInfo::exists(prompts_.openedUrls[1].toLocalFile()));

        // Without a browser the message names the guide's file.
        prompts_.browserStarts = false;
        prompts_.shown.clear();
        click("toolButton_User");
        QCOMPARE(prompts_.shown.size(), 1);
        QVERIFY(prompts_.shown[0].text.endsWith("\n" + prompts_.openedUrls[0].toLocalFile()));

        click("toolButton_About");
        QVERIFY(window_->aboutDialog().isVisible());
        window_->aboutDialog().close();
    }

    void modesSetByHandReachTheReceiver()
    {
        window_->setEngineeringMode(true);
        QSignalSpy degree(window_.get(), &manwindow::SendDegreeMode);
        QTest::mouseClick(widget<QPushButton>("setLidarModePushButton"), Qt::LeftButton);
        SetLidarModes& modes = window_->lidarModeDialog();
        QVERIFY(modes.isVisible());
        modes.findChild<QCheckBox*>("checkBox_SecondEcho")->click();
        modes.findChild<QCheckBox*>("checkBox_033_degree")->click();
        QTest::mouseClick(modes.findChild<QPushButton*>("okModePushButton"), Qt::LeftButton);
        QCOMPARE(window_->lidarDataReceiver().configuration(), QString("HVK322"));
        QCOMPARE(window_->capturePlayer().configuration(), QString("HVK322"));
        QCOMPARE(degree.count(), 1);
        QCOMPARE(degree[0][0].toInt(), 1);
    }

    void closingJoinsTheReceivers()
    {
        connectWindow();
        sendDeviceInfo(ports_.telemetry, sim::ScannerSettings{});
        QTRY_VERIFY_WITH_TIMEOUT(window_->lidarDataReceiver().isRunning(), 3000);
        window_->close();
        QVERIFY(!window_->lidarDataReceiver().isRunning());
        QVERIFY(!window_->deviceInfoReceiver().isRunning());
    }
};

int main(int argc, char** argv) { return test::runWindowSuite<ManWindowTest>(argc, argv); }

#include "ManWindowTest.moc"
