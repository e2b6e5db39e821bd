// The Offline tab: opening, playing, pausing, stepping and recording captures.

#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "app/manwindow.h"
#include "platform/Pauses.h"
#include "platform/UdpSocket.h"
#include "records/AngleValues.h"
#include "support/CaptureBuilder.h"
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"
#include "tools/Form_QLaserSelectionK32.h"
#include "tools/InetactionSetupWidgetK32.h"
#include "tools/SaveDataOptions.h"
#include "tools/VerticalAngleSetting.h"
#include "view/Readout.h"

#include <QComboBox>
#include <QPushButton>
#include <QLabel>
#include <QLineEdit>
#include <QMutex>
#include <QSlider>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QStackedWidget>
#include <QTableView>
#include <QTableWidget>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVTKOpenGLNativeWidget.h>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

using namespace hvk32;

namespace {

// Records the pacing and waits a quarter of it, so a test plays a capture quickly but not
// faster than it can press the buttons.
class RecordingPauses : public platform::Pauses {
public:
    void pause(int ms) override
    {
        {
            QMutexLocker lock(&mutex_);
            if (ms > 1)
                delays_.append(ms);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::max(1, ms / 4)));
    }
    QList<int> delays()
    {
        QMutexLocker lock(&mutex_);
        return delays_;
    }

private:
    QMutex mutex_;
    QList<int> delays_;
};

} // namespace

class PlaybackTest : public QObject, test::WindowFixture {
    Q_OBJECT

    RecordingPauses pauses_;
    QTemporaryDir dir_;
    QString capture_;

    QToolButton* button(const char* name) { return widget<QToolButton>(name); }
    // The counter shows "N / total" once the capture is indexed, "N" before.
    int frameCount() { return widget<QLabel>("label_FreamCount")->text().section(QLatin1Char(' '), 0, 0).toInt(); }

    // A key as the user presses it: to whatever has the focus.
    void press(Qt::Key key)
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window_.get(), key);
    }

    void openCapture(const QString& path)
    {
        prompts_.fileNames.enqueue(path);
        click("toolButton_Open");
    }

    // A capture file in the test's folder; empty when it cannot be written.
    QString writeCapture(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir_.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return file.fileName();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        capture_ = dir_.filePath("hall.pcap");
        test::CaptureBuilder builder;
        builder.deviceInfo().revolutions(0.5);
        for (int i = 0; i < 30; ++i)
            builder.revolutions(1).deviceInfo();
        QFile file(capture_);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(builder.bytes());
    }

    void init()
    {
        makeWindow();
        window_->capturePlayer().setPauses(&pauses_);
        QVERIFY(showWindow({1000, 700}));
    }

    void cleanup() { window_.reset(); }

    void captureWithoutDeviceInfoSaysSo()
    {
        // Data only: the player cannot convert a frame, and the window must not just stay black.
        test::CaptureBuilder builder;
        builder.revolutions(5);
        const QString path = writeCapture("data-only.pcap", builder.bytes());

        openCapture(path);
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(prompts_.shown.size() == 2, 5000);
        QCOMPARE(prompts_.shown[1].kind, QString("warning"));
        QCOMPARE(prompts_.shown[1].text, QString("data-only.pcap holds no device-info packet of a board version "
                                                 "2 or later, so no frame was shown."));
        QCOMPARE(window_->framesDrawn(), std::uint64_t(0));
        QVERIFY(widget<QStatusBar>("statusBar")->currentMessage().startsWith("data-only.pcap holds no"));

        // The capture with device-info plays without a word.
        prompts_.shown.clear();
        openCapture(capture_);
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(window_->framesDrawn() > 0, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(button("toolButton_Open")->isEnabled(), 10000); // played to the end
        QCOMPARE(prompts_.shown.size(), 1); // the open dialog only
    }

    void openPlayPauseAndStep()
    {
        QVERIFY(!button("toolButton_Play")->isEnabled());
        openCapture(capture_);
        QCOMPARE(prompts_.shown[0].kind, QString("open"));
        QCOMPARE(prompts_.shown[0].title, QString("WireSharkCaptureFile"));
        QCOMPARE(prompts_.shown[0].text, QString("Supported Files (*.pcap)"));
        QVERIFY(button("toolButton_Play")->isEnabled());
        QVERIFY(!button("toolButton_GoToEnd")->isEnabled());

        click("toolButton_Play");
        QVERIFY(window_->capturePlayer().isRunning());
        QVERIFY(!button("toolButton_Open")->isEnabled());
        QVERIFY(button("toolButton_SeekForward")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(frameCount() >= 2, 5000);
        QVERIFY(widget<QSlider>("Slider_Frame")->value() > 0);
        QTRY_VERIFY(window_->framesDrawn() > 0); // drawn from the event loop after it arrives

        click("toolButton_Play"); // pause
        QVERIFY(button("toolButton_GoToStart")->isEnabled());
        QVERIFY(button("toolButton_Open")->isEnabled());
        QTest::qWait(100);
        const int paused = frameCount();
        QTest::qWait(100);
        QCOMPARE(frameCount(), paused);

        click("toolButton_GoToEnd"); // one frame forward, then paused again
        QTRY_COMPARE_WITH_TIMEOUT(frameCount(), paused + 1, 3000);
        QTest::qWait(150);
        QCOMPARE(frameCount(), paused + 1);
        click("toolButton_GoToStart"); // one frame back
        QTRY_COMPARE_WITH_TIMEOUT(frameCount(), paused, 3000);
        QTest::qWait(150);
        QCOMPARE(frameCount(), paused);
    }

    // Open shows frame 1 at once. A frame number above the last goes to the last frame, and
    // after Enter the keys step again although the box had the focus; stepping back from the
    // end and playing backward into frame 1 leaves a paused player with every way open.
    void openShowsFrameOneAndTheFrameBoxGivesTheKeysBack()
    {
        window_->activateWindow(); // the keys are the active window's
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        openCapture(capture_);
        QTRY_VERIFY_WITH_TIMEOUT(widget<QLabel>("label_FreamCount")->text().startsWith("1 / "), 5000);
        QTRY_COMPARE(window_->framesDrawn(), std::uint64_t(1));
        QVERIFY(!widget<QLabel>("label_frameTime")->text().isEmpty());
        const int last = widget<QLabel>("label_FreamCount")->text().section(' ', 2).toInt();
        QVERIFY(last >= 28);

        auto* box = widget<QSpinBox>("spinBox_Frame");
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QString::number(last * 10));
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(frameCount(), last, 3000);
        QCOMPARE(box->value(), last);
        QCOMPARE(QApplication::focusWidget(), widget<QWidget>("screen"));
        press(Qt::Key_Left);
        QTRY_COMPARE_WITH_TIMEOUT(frameCount(), last - 1, 3000);

        QVERIFY(button("toolButton_SeekBackward")->isEnabled());
        press(Qt::Key_Home);
        QTRY_COMPARE_WITH_TIMEOUT(frameCount(), 1, 3000);
        press(Qt::Key_Right);
        QTRY_COMPARE_WITH_TIMEOUT(frameCount(), 2, 3000);
        click("toolButton_SeekBackward");
        click("toolButton_Play");
        QTRY_COMPARE_WITH_TIMEOUT(frameCount(), 1, 3000);
        QTRY_VERIFY(button("toolButton_GoToEnd")->isEnabled()); // paused at frame 1, not finished
        QVERIFY(window_->capturePlayer().isRunning());
        QCOMPARE(widget<QSlider>("Slider_Frame")->value() < widget<QSlider>("Slider_Frame")->maximum() / 2, true);
        QVERIFY(button("toolButton_SeekForward")->isEnabled());
        click("toolButton_SeekForward");
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(frameCount() >= 3, 5000);
    }

    // Backward play that stopped at frame 1 leaves no dead end: the next Play plays forward
    // from there without the direction button.
    void playAfterBackwardStopGoesForward()
    {
        openCapture(capture_);
        QTRY_VERIFY_WITH_TIMEOUT(widget<QLabel>("label_FreamCount")->text().startsWith("1 / "), 5000);
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(frameCount() >= 3, 5000);
        click("toolButton_SeekBackward");
        QTRY_COMPARE_WITH_TIMEOUT(frameCount(), 1, 5000);
        QTRY_VERIFY(button("toolButton_GoToEnd")->isEnabled()); // paused at frame 1
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(frameCount() >= 3, 5000);
        QVERIFY(window_->capturePlayer().isRunning());
    }

    // The device's time stamp beside the counter reads as minutes and seconds within the
    // hour of the device's clock, not as a bare count of microseconds.
    void deviceTimeReadsAsTimeWithinTheHour()
    {
        const struct {
            quint32 stamp;
            const char* text;
        } cases[] = {
            {1731000611u, "device 28:51.000 past the hour"},
            {0u, "device 00:00.000 past the hour"},
            {3599999999u, "device 59:59.999 past the hour"},
            {3600000000u, "device 3600000000 µs (more than an hour)"},
        };
        for (const auto& c : cases)
            QCOMPARE(deviceStampText(c.stamp), QString::fromUtf8(c.text));

        openCapture(capture_);
        QTRY_VERIFY_WITH_TIMEOUT(widget<QLabel>("label_FreamCount")->text().startsWith("1 / "), 5000);
        QTRY_VERIFY(!widget<QLabel>("label_frameTime")->text().isEmpty());
        const QString device = widget<QLabel>("label_frameTime")->text().section('\n', 1);
        QVERIFY2(QRegularExpression("^device \\d\\d:\\d\\d\\.\\d\\d\\d past the hour$").match(device).hasMatch(),
                 qPrintable(device));
    }

    // Opens a capture of the simulated scanner at 600 rpm in a layout (1: 0.33-degree) and
    // echo mode, and waits for its first frame on screen.
    void openSimulatedCapture(int layout, bool dual)
    {
        sim::ScannerSettings settings;
        settings.rpm = 600;
        settings.layout = layout == 1 ? sim::Layout::ThirdDegree : sim::Layout::OneDegree;
        settings.echo = dual ? sim::EchoMode::Dual : sim::EchoMode::Single;
        test::CaptureBuilder builder(settings);
        builder.deviceInfo().revolutions(0.5);
        for (int i = 0; i < 3; ++i)
            builder.revolutions(1).deviceInfo();
        openCapture(writeCapture("simulated.pcap", builder.bytes()));
        QTRY_VERIFY_WITH_TIMEOUT(window_->framesDrawn() >= 1, 5000);
    }

    static void captureKinds()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("dual");
        QTest::newRow("1-degree single") << 0 << false;
        QTest::newRow("1-degree dual") << 0 << true;
        QTest::newRow("0.33-degree single") << 1 << false;
        QTest::newRow("0.33-degree dual") << 1 << true;
    }

    // With a capture open, every dialog that lists channels lists them as its frames have them.
    void dialogsListTheCaptureChannels_data() { captureKinds(); }
    void dialogsListTheCaptureChannels()
    {
        QFETCH(int, layout);
        QFETCH(bool, dual);
        openSimulatedCapture(layout, dual);
        const float* table = layout == 1 ? defaultVerticalAngles033 : defaultVerticalAngles1;
        const QString channelOne = QString::number(table[1], 'f', 2); // 0.00 or -1.00

        // The CSV options: every channel at its angle.
        auto* lines = test::child<QTableWidget>(window_->saveDataOptions(), "tableWidget_lines");
        QCOMPARE(lines->item(1, 1)->text(), QString("1"));
        for (int c = 0; c < 32; ++c)
            QCOMPARE(lines->item(c, 2)->text(), QString::number(table[c], 'f', 2));

        // The vertical angles: the capture's layout, its channel 1 named as the data names it.
        VerticalAngleSetting& vertical = window_->verticalAngleDialog();
        auto* pages = test::child<QStackedWidget>(vertical, "stackedWidget");
        QCOMPARE(pages->currentWidget()->objectName(), QString(layout == 1 ? "page_033" : "page"));
        const QAbstractItemModel* grid = test::child<QTableView>(vertical, layout == 1 ? "tableView_033" : "tableView")->model();
        QString setForOne;
        for (int r = 0; r < grid->rowCount(); ++r)
            for (int col = 0; col < grid->columnCount(); col += 4)
                if (grid->index(r, col).data().toString() == "1")
                    setForOne = grid->index(r, col + 2).data().toString();
        QCOMPARE(setForOne.toDouble(), channelOne.toDouble());

        // The channel form: the layout's rows, channel 1 in row 16.
        auto* rows = test::child<QTableWidget>(window_->laserSelection(), "tableWidget_laserselection");
        QCOMPARE(rows->item(16, 3)->text(), QString("1"));
        QCOMPARE(rows->item(16, 1)->text(), QString(layout == 1 ? "-1" : "-0"));
    }

    // The controls say what the capture's device was: its echo mode and its speed; and
    // "Refresh state", which reads a device, says how to reach one.
    void controlsTellTheCaptureDevice_data() { captureKinds(); }
    void controlsTellTheCaptureDevice()
    {
        QFETCH(int, layout);
        QFETCH(bool, dual);
        openSimulatedCapture(layout, dual);

        // A capture plays every echo it holds, so there is nothing to choose.
        auto* echoes = widget<QComboBox>("comboBox_7");
        QCOMPARE(echoes->currentText(), QString(dual ? "DualEcho" : "SingleEcho"));
        QVERIFY(!echoes->isEnabled());

        click("toolButton_12"); // opens the network dialog
        InetactionSetupWidgetK32& network = window_->networkDialog();
        QVERIFY(network.isVisible());
        QCOMPARE(test::child<QComboBox>(network, "comboBox_rotateSpeed")->currentText(), QString(" 10 HZ"));
        QCOMPARE(test::child<QLineEdit>(network, "lineEdit_Motor_State")->text(), QString("600"));
        prompts_.shown.clear();
        QTest::mouseClick(test::child<QPushButton>(network, "pushButton_LidarRefresh"), Qt::LeftButton);
        QCOMPARE(prompts_.shown.size(), 1);
        QVERIFY2(prompts_.shown[0].text.startsWith("A capture is shown, and no device is connected"),
                 qPrintable(prompts_.shown[0].text));
    }

    void speedsPaceTheFrames()
    {
        widget<QComboBox>("comboBox_speeds")->setCurrentIndex(3); // "0.5x"
        openCapture(capture_);
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(frameCount() >= 2, 5000);
        QVERIFY(pauses_.delays().contains(200));
        widget<QComboBox>("comboBox_speeds")->setCurrentIndex(2); // "4.0x"
        const int before = pauses_.delays().size();
        QTRY_VERIFY_WITH_TIMEOUT(pauses_.delays().size() > before + 1, 5000);
        QCOMPARE(pauses_.delays().last(), 30);
    }

    void endOfFileAndReplay()
    {
        QSignalSpy sent(window_.get(), &manwindow::sendOffLiveFile);
        openCapture(capture_);
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(!window_->capturePlayer().isRunning(), 10000);
        QTRY_VERIFY(button("toolButton_Open")->isEnabled());
        QVERIFY(!button("toolButton_SeekForward")->isEnabled());
        auto* slider = widget<QSlider>("Slider_Frame");
        QCOMPARE(slider->value(), slider->maximum());
        const int frames = frameCount();
        QVERIFY(frames >= 28);

        click("toolButton_Play"); // from the start again
        QCOMPARE(sent.count(), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!window_->capturePlayer().isRunning(), 10000);
        QTRY_COMPARE(frameCount(), frames);
    }

    // A capture with packets missing: the message after indexing and the status bar while
    // it plays show them, as they show a live stream's.
    void lossyCaptureShowsItsHealth()
    {
        test::CaptureBuilder builder;
        builder.deviceInfo().revolutions(0.5);
        test::CaptureBuilder::Payload dropped{};
        for (int i = 0; i < 8; ++i) {
            builder.revolutions(1).deviceInfo();
            if (i == 2 || i == 5)
                builder.stream().nextDataPacket(dropped.data());
        }
        const QString lossy = writeCapture("lossy.pcap", builder.bytes());

        openCapture(lossy);
        QTRY_VERIFY_WITH_TIMEOUT(widget<QStatusBar>("statusBar")->currentMessage().contains("packets lost"), 5000);
        QVERIFY2(QRegularExpression("^[0-9]+ frames, 2 packets lost \\(0\\.[0-9]{2} %\\)$")
                     .match(widget<QStatusBar>("statusBar")->currentMessage())
                     .hasMatch(),
                 qPrintable(widget<QStatusBar>("statusBar")->currentMessage()));
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(!window_->capturePlayer().isRunning(), 10000);
        QCOMPARE(window_->capturePlayer().streamHealth().lostPackets, std::uint64_t(2));
        QTRY_VERIFY2(widget<QLabel>("label_lostPackets")->text().startsWith("Lost packets: 2 ("),
                     qPrintable(widget<QLabel>("label_lostPackets")->text()));
    }

    // Two seconds missing from the stream are a gap, apart from the losses: the status bar
    // names it, as a warning.
    void gapInCaptureShows()
    {
        test::CaptureBuilder builder;
        builder.deviceInfo().revolutions(3.5);
        test::CaptureBuilder::Payload skipped{};
        for (int k = 0; k < 3000; ++k) // 2 s at 600 rpm
            builder.stream().nextDataPacket(skipped.data());
        builder.deviceInfo().revolutions(3.5);
        const QString path = writeCapture("gap.pcap", builder.bytes());

        openCapture(path);
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(!window_->capturePlayer().isRunning(), 10000);
        QCOMPARE(window_->capturePlayer().streamHealth().gaps, std::uint64_t(1));
        QTRY_COMPARE(widget<QLabel>("label_lostPackets")->text(),
                     QString("Lost packets: 0 (0.00 % in 10 s), gaps: 1 (2.0 s, 3000 packets)"));
        QVERIFY(widget<QLabel>("label_lostPackets")->property("warning").toBool());
    }

    // "hvk32 FILE.pcap": the Offline tab in front, the capture indexed and frame 1 on screen,
    // paused; with --play it plays at once. A file that cannot be played changes nothing.
    void openedFromTheShell()
    {
        auto* tabs = widget<QTabWidget>("tabWidget");
        QString problem;
        QVERIFY(!window_->openCaptureFromShell(dir_.filePath("missing.pcap"), false, &problem));
        QVERIFY(!problem.isEmpty());
        QVERIFY(prompts_.shown.isEmpty());
        QVERIFY(!tabs->currentWidget()->isAncestorOf(widget<QWidget>("Tab_4")));

        QVERIFY(window_->openCaptureFromShell(capture_, false, &problem));
        QVERIFY(tabs->currentWidget()->isAncestorOf(widget<QWidget>("Tab_4")));
        QTRY_VERIFY_WITH_TIMEOUT(widget<QLabel>("label_FreamCount")->text().startsWith("1 / "), 5000);
        QTRY_COMPARE(window_->framesDrawn(), std::uint64_t(1));
        QVERIFY(window_->capturePlayer().isPaused());
        QVERIFY(button("toolButton_GoToEnd")->isEnabled());
        QTest::qWait(100);
        QCOMPARE(frameCount(), 1);

        window_ = std::make_unique<manwindow>(&prompts_);
        window_->capturePlayer().setPauses(&pauses_);
        window_->show();
        QVERIFY(window_->openCaptureFromShell(capture_, true, &problem));
        QVERIFY(window_->capturePlayer().isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(frameCount() >= 3, 5000);
    }

    // Frame 1 of a capture, opened by "Open" or from the shell, and after the window was told
    // other modes (0.33-degree layout, 0.25 cm button), lists in the point table what
    // "hvk32-cli export --csv" writes for it: the capture's distance unit and layout, not the
    // window's. Rows are matched by channel and time stamp; the table rounds to 4 decimals.
    void frameOneListsAsTheCommandLineExportsIt_data()
    {
        QTest::addColumn<bool>("fromShell");
        QTest::addColumn<bool>("otherModesBefore");
        QTest::newRow("Open") << false << false;
        QTest::newRow("shell") << true << false;
        QTest::newRow("Open, other modes before") << false << true;
        QTest::newRow("shell, other modes before") << true << true;
    }

    void frameOneListsAsTheCommandLineExportsIt()
    {
        QFETCH(bool, fromShell);
        QFETCH(bool, otherModesBefore);
        const QString csv = dir_.filePath("frame1.csv");
        if (!QFileInfo::exists(csv))
            QCOMPARE(runToEnd(HVK32_CLI_PATH, {"export", "--pcap", capture_, "--csv", csv, "--to", "1"}).exitCode, 0);
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QHash<QString, QList<QByteArray>> exported; // "channel time" -> fields
        file.readLine();
        while (!file.atEnd()) {
            const QList<QByteArray> f = file.readLine().trimmed().split(',');
            QCOMPARE(f.size(), 10);
            QCOMPARE(f[0], QByteArray("1"));
            exported.insert(QString::fromLatin1(f[5] + ' ' + f[9]), f);
        }
        QVERIFY(exported.size() > 1000);

        if (otherModesBefore)
            window_->receiveConfig("HVK321", 1, 0);
        QString problem;
        if (fromShell)
            QVERIFY(window_->openCaptureFromShell(capture_, false, &problem));
        else
            openCapture(capture_);
        QTRY_COMPARE(window_->framesDrawn(), std::uint64_t(1));
        QCOMPARE(frameCount(), 1);

        const QStandardItemModel& table = window_->pointTable();
        int compared = 0;
        for (int row = 0; row < table.rowCount(); ++row) {
            if (!table.item(row, 5))
                continue;
            const QString key = table.item(row, 5)->text() + ' ' + table.item(row, 7)->text();
            QVERIFY2(exported.contains(key), qPrintable(key));
            const QList<QByteArray>& f = exported[key];
            const QStringList xyz = table.item(row, 1)->text().split(' ');
            const double shown[] = {xyz[0].toDouble(), xyz[1].toDouble(), xyz[2].toDouble(), table.item(row, 3)->text().toDouble()};
            const double written[] = {f[1].toDouble(), f[2].toDouble(), f[3].toDouble(), f[7].toDouble()};
            for (int k = 0; k < 4; ++k)
                QVERIFY2(std::fabs(shown[k] - written[k]) <= 1e-4,
                         qPrintable(QString("row %1: %2 | %3").arg(row).arg(table.item(row, 1)->text(),
                                                                            QString(f.join(',')))));
            ++compared;
        }
        QCOMPARE(compared, 128);
    }

    void badFilesAreReported()
    {
        const QString pcapng = dir_.filePath("new.pcapng");
        QFile file(pcapng);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromHex("0a0d0d0a1c0000004d3c2b1a01000000ffffffffffffffff1c000000"));
        file.close();
        openCapture(pcapng);
        QCOMPARE(prompts_.shown.last().kind, QString("warning"));
        QVERIFY(prompts_.shown.last().text.contains("pcapng"));
        QVERIFY(!button("toolButton_Play")->isEnabled());
    }

    void liveAndPlaybackExcludeEachOther()
    {
        // Play while connected disconnects first.
        click("toolButton_Lidar");
        QVERIFY(window_->deviceInfoReceiver().isRunning());
        openCapture(capture_);
        click("toolButton_Play");
        QTRY_VERIFY_WITH_TIMEOUT(!window_->deviceInfoReceiver().isRunning(), 500);
        QVERIFY(button("toolButton_Lidar")->isEnabled());

        // Connect while playing pauses the capture.
        QTRY_VERIFY_WITH_TIMEOUT(frameCount() >= 1, 5000);
        click("toolButton_Lidar");
        QVERIFY(window_->capturePlayer().isPaused());
        QVERIFY(button("toolButton_GoToStart")->isEnabled());
        click("toolButton_disConnect");
    }

    void recordTogglesAndReportsFailures()
    {
        // Cancelling the file dialog records nothing and unchecks the button.
        click("toolButton_SavePcapData");
        QCOMPARE(prompts_.shown.last().kind, QString("save"));
        QCOMPARE(prompts_.shown.last().title, QString("Save PCAP"));
        QCOMPARE(prompts_.shown.last().text, QString("WireSharkCaptureFile (*.pcap)"));
        QVERIFY(QRegularExpression("^\\d{4}-\\d{2}-\\d{2}-\\d{2}-\\d{2}\\.pcap$").match(prompts_.shown.last().proposed).hasMatch());
        QVERIFY(!button("toolButton_SavePcapData")->isChecked());
        QVERIFY(!window_->isRecording());

        // A file that cannot be created is reported.
        qputenv("HVK32_CAPTURE_DEVICE", "lo");
        prompts_.fileNames.enqueue(dir_.filePath("no/such/dir/x.pcap"));
        click("toolButton_SavePcapData");
        QVERIFY(!window_->isRecording());
        QVERIFY(!button("toolButton_SavePcapData")->isChecked());
        QCOMPARE(prompts_.shown.last().kind, QString("warning"));

        // On lo, as root, a recording starts and stops with the button.
        const QString file = dir_.filePath("recorded.pcap");
        prompts_.fileNames.enqueue(file);
        click("toolButton_SavePcapData");
        if (!window_->isRecording())
            QSKIP(qPrintable("live capture on lo is not permitted here: " + prompts_.shown.last().text));
        QVERIFY(button("toolButton_SavePcapData")->isChecked());
        click("toolButton_SavePcapData");
        QVERIFY(!window_->isRecording());
        QVERIFY(!button("toolButton_SavePcapData")->isChecked());
        QVERIFY(QFileInfo(file).size() >= 24);
    }
};

int main(int argc, char** argv) { return test::runWindowSuite<PlaybackTest>(argc, argv); }

#include "PlaybackTest.moc"
