// Captures that cross tools: the simulator's stream recorded on lo by the recorder and by
// tcpdump, each played back by the player core.

#include "acquisition/CapturePlayerCore.h"
#include "receivers/CaptureRecorder.h"
#include "acquisition/DataPacket.h"
#include "platform/UdpSocket.h"
#include "sim/ScannerStream.h"
#include "support/LoopbackSenders.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <chrono>
#include <thread>

using namespace hvk32;

namespace {

// Sends a device-info packet (from the data port, so "port N" catches it) and three
// revolutions of data packets to 127.0.0.1, at a pace lo can carry.
void sendStream(std::uint16_t dataPort, std::uint16_t telemetryPort)
{
    sim::ScannerStream stream{sim::ScannerSettings{}};
    test::PacedSender device(telemetryPort);
    device.bindSource(test::kLoopback, dataPort);
    device.sendDeviceInfo(stream, telemetryPort);
    test::PacedSender(dataPort, 16).sendDataPackets(stream, test::packetsForRevolutions(stream, 3));
}

struct Played {
    int frames = 0;
    bool configured = false;
};

Played play(const QString& path)
{
    CapturePlayerCore player;
    Played result;
    QString message;
    if (!player.open(path, &message)) {
        qWarning() << message;
        return result;
    }
    player.start();
    for (int guard = 0; guard < 1000000; ++guard) {
        const auto event = player.next(CapturePlayerCore::Direction::Forward);
        if (event == CapturePlayerCore::Event::End)
            break;
        if (event == CapturePlayerCore::Event::Frame)
            ++result.frames;
    }
    result.configured = player.configurationReported();
    return result;
}

} // namespace

class CaptureRoundTripTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void recordedOnLoopbackPlaysBack()
    {
        const std::uint16_t dataPort = platform::findFreeUdpPort();
        const QString file = dir_.filePath("recorded.pcap");
        CaptureRecorder recorder;
        RecorderSettings settings;
        settings.fileName = file.toStdString();
        settings.dataPortText = std::to_string(dataPort);
        settings.device = "lo";
        std::string error;
        if (!recorder.start(settings, &error))
            QSKIP(qPrintable(QString("live capture on lo is not possible here: %1").arg(QString::fromStdString(error))));
        sendStream(dataPort, platform::findFreeUdpPort());
        QTRY_VERIFY_WITH_TIMEOUT(recorder.framesWritten() > 400, 5000);
        recorder.stop();

        const Played played = play(file);
        QVERIFY(played.configured);
        QVERIFY2(played.frames >= 2, qPrintable(QString("%1 frames").arg(played.frames)));
    }

    void writtenByTcpdumpPlaysBack()
    {
        const QString tcpdump = QStandardPaths::findExecutable("tcpdump");
        if (tcpdump.isEmpty())
            QSKIP("tcpdump is not installed");
        const std::uint16_t dataPort = platform::findFreeUdpPort();
        const QString file = dir_.filePath("tcpdump.pcap");
        QProcess capture;
        capture.start(tcpdump, {"-i", "lo", "-U", "-w", file, "udp", "port", QString::number(dataPort)});
        if (!capture.waitForStarted())
            QSKIP("tcpdump does not start");
        // tcpdump says "listening on lo" on stderr once it captures.
        for (int i = 0; i < 50 && !capture.readAllStandardError().contains("listening"); ++i)
            capture.waitForReadyRead(100);
        if (capture.state() != QProcess::Running)
            QSKIP(qPrintable("tcpdump cannot capture on lo here: " + capture.readAllStandardError()));
        sendStream(dataPort, platform::findFreeUdpPort());
        QTest::qWait(300);
        capture.terminate();
        QVERIFY(capture.waitForFinished(5000));

        const Played played = play(file);
        QVERIFY(played.configured);
        QVERIFY2(played.frames >= 2, qPrintable(QString("%1 frames").arg(played.frames)));
    }
};

QTEST_GUILESS_MAIN(CaptureRoundTripTest)
#include "CaptureRoundTripTest.moc"
