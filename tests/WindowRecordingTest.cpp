// Recording from the window while it is connected to the simulator: adapter capture where
// this process may capture, the window's own sockets where it may not (the test takes away
// its own right to capture), what each says in the status bar, and the files they leave.

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "receivers/GetLidardataK32.h"
#include "receivers/GetSetK32.h"
#include "io/SocketRecorder.h"
#include "app/manwindow.h"
#include "platform/PacketCapture.h"
#include "platform/UdpSocket.h"
#include "support/PlayedCapture.h"
#include "support/WindowFixture.h"

#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QSurfaceFormat>
#include <QToolButton>
#include <QVTKOpenGLNativeWidget.h>
#include <QtTest>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <memory>

using namespace hvk32;

namespace {

// Turns the calling thread's right to open packet sockets on or off; false where the
// system refuses (then the process never had it).
bool setCaptureRight(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (::syscall(SYS_capget, &header, data) != 0)
        return false;
    const std::uint32_t bit = 1u << CAP_NET_RAW;
    if (on && !(data[0].permitted & bit))
        return false;
    data[0].effective = on ? data[0].effective | bit : data[0].effective & ~bit;
    return ::syscall(SYS_capset, &header, data) == 0;
}

bool captureRefused()
{
    platform::LiveCapture probe;
    std::string error;
    return !probe.open("lo", 100, &error) && probe.permissionDenied();
}

} // namespace

class WindowRecordingTest : public QObject, test::WindowFixture {
    Q_OBJECT

    QTemporaryDir dir_;
    QProcess sim_;
    std::uint16_t dataPort_ = 0, telemetryPort_ = 0;

    QToolButton* recordButton() { return widget<QToolButton>("toolButton_SavePcapData"); }
    QString statusMessage() { return window_->statusBar()->currentMessage(); }
    QString recordLabel() { return window_->findChild<QLabel*>("label_recordStatus")->text(); }

    void record(const QString& file)
    {
        prompts_.fileNames.enqueue(file);
        QTest::mouseClick(recordButton(), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        qputenv("HVK32_CAPTURE_DEVICE", "lo");
        dataPort_ = platform::findFreeUdpPort();
        telemetryPort_ = platform::findFreeUdpPort();
        sim_.start(HVK32_SIM_PATH, {"--data-port", QString::number(dataPort_), "--telemetry-port",
                                    QString::number(telemetryPort_), "--seconds", "120", "--quiet"});
        QVERIFY(sim_.waitForStarted());
        makeWindow();
        window_->setConnectionFields(QString::number(dataPort_), QString::number(telemetryPort_), "224.1.1.1");
        QVERIFY(showWindow());
        window_->onConnectLidar();
        QTRY_VERIFY_WITH_TIMEOUT(window_->framesReceived() >= 2, 10000);
    }

    void cleanupTestCase()
    {
        window_.reset();
        sim_.terminate();
        sim_.waitForFinished(3000);
        setCaptureRight(true);
    }

    // With no adapter named, the window captures on the adapter its device's datagrams come
    // through (lo for the simulator), on both ports, so the file plays with its configuration.
    void adapterRecordingPlaysWithItsConfiguration()
    {
        if (captureRefused())
            QSKIP("live capture on lo is not permitted here");
        qunsetenv("HVK32_CAPTURE_DEVICE");
        const QString file = dir_.filePath("adapter.pcap");
        record(file);
        qputenv("HVK32_CAPTURE_DEVICE", "lo");
        QCOMPARE(window_->recorderInUse(), QString("adapter"));
        QVERIFY2(recordLabel().contains("adapter lo"), qPrintable(recordLabel()));
        QVERIFY2(statusMessage().contains(QStringLiteral("or port %1").arg(telemetryPort_)), qPrintable(statusMessage()));
        // Long enough for a device-info packet, which comes once a second.
        QTRY_VERIFY_WITH_TIMEOUT(window_->recordingCounts().packets > 6000, 15000);
        QTest::mouseClick(recordButton(), Qt::LeftButton);
        QVERIFY(!window_->isRecording());

        const hvk32::test::PlayedCapture played = hvk32::test::playCapture(file);
        QVERIFY(played.configured);
        QVERIFY2(played.frames > 0, qPrintable(QString::number(played.frames)));
    }

    void withoutCaptureRightsRecordsTheWindowsSockets()
    {
        setCaptureRight(false);
        if (!captureRefused())
            QSKIP("this process cannot give up its right to capture");
        const QString file = dir_.filePath("sockets.pcap");
        record(file);
        QVERIFY(window_->isRecording());
        QCOMPARE(window_->recorderInUse(), QString("socket"));
        QVERIFY(recordButton()->isChecked());
        QVERIFY2(statusMessage().startsWith("No capture rights on this account"), qPrintable(statusMessage()));
        // Long enough for a device-info packet, which comes once a second.
        QTRY_VERIFY_WITH_TIMEOUT(window_->recordingCounts().packets > 2000, 10000);
        QTRY_VERIFY(recordLabel().contains("own sockets") && !recordLabel().contains("| 0 packets"));
        QTest::mouseClick(recordButton(), Qt::LeftButton);
        QVERIFY(!window_->isRecording());
        QVERIFY(!recordButton()->isChecked());
        QVERIFY2(statusMessage().startsWith("Recording stopped"), qPrintable(statusMessage()));

        const hvk32::test::PlayedCapture played = hvk32::test::playCapture(file);
        QVERIFY(played.configured);
        QVERIFY(played.frames > 0);
        QVERIFY(!played.damaged);

        // Forcing the adapter without the right explains how to get it, and records nothing.
        qputenv("HVK32_RECORDER", "adapter");
        record(dir_.filePath("forced.pcap"));
        qunsetenv("HVK32_RECORDER");
        setCaptureRight(true);
        QVERIFY(!window_->isRecording());
        QVERIFY(!recordButton()->isChecked());
        QCOMPARE(prompts_.shown.last().kind, QString("warning"));
        QVERIFY2(prompts_.shown.last().text.contains("setcap"), qPrintable(prompts_.shown.last().text));
    }

    void nothingArrivingIsReportedWithWhereTheRecorderListens()
    {
        // Socket recording, forced, on a window that is not connected: nothing comes.
        window_->onDisconnectLidar();
        QTRY_VERIFY(!window_->lidarDataReceiver().isRunning() && !window_->deviceInfoReceiver().isRunning());
        qputenv("HVK32_RECORDER", "socket");
        record(dir_.filePath("quiet.pcap"));
        qunsetenv("HVK32_RECORDER");
        QCOMPARE(window_->recorderInUse(), QString("socket"));
        QTRY_VERIFY_WITH_TIMEOUT(statusMessage().startsWith("Nothing recorded for 2 s"), 5000);
        QVERIFY2(statusMessage().contains(QString::number(dataPort_)) && statusMessage().contains("Connect"),
                 qPrintable(statusMessage()));
        // The recording's own field says so too: the message may have no room on a narrow screen.
        QVERIFY2(recordLabel().contains("nothing on UDP ports " + QString::number(dataPort_)),
                 qPrintable(recordLabel()));
        QTest::mouseClick(recordButton(), Qt::LeftButton);
        QCOMPARE(QFileInfo(dir_.filePath("quiet.pcap")).size(), qint64(capturefile::kFileHeaderSize));

        // By adapter capture, where permitted: the warning names the adapter and the filter.
        if (captureRefused())
            QSKIP("live capture on lo is not permitted here");
        window_->setConnectionFields(QString::number(platform::findFreeUdpPort()),
                                     QString::number(platform::findFreeUdpPort()), {});
        record(dir_.filePath("quiet-adapter.pcap"));
        QCOMPARE(window_->recorderInUse(), QString("adapter"));
        QVERIFY2(recordLabel().contains("adapter lo"), qPrintable(recordLabel()));
        QTRY_VERIFY_WITH_TIMEOUT(statusMessage().startsWith("Nothing recorded for 2 s"), 5000);
        QVERIFY2(statusMessage().contains("adapter lo") && statusMessage().contains("\"port "),
                 qPrintable(statusMessage()));
        QVERIFY2(recordLabel().contains("nothing from adapter lo, filter \"port "), qPrintable(recordLabel()));
        QTest::mouseClick(recordButton(), Qt::LeftButton);
        QVERIFY(!window_->isRecording());
    }
};

int main(int argc, char** argv) { return test::runWindowSuite<WindowRecordingTest>(argc, argv); }

#include "WindowRecordingTest.moc"
