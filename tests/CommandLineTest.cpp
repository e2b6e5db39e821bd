// The simulator and the command line as a user runs them: hvk32-sim sends on loopback,
// "hvk32-cli frames --live" prints the frames it receives.

#include "platform/UdpSocket.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

class CommandLineTest : public QObject {
    Q_OBJECT

    static QStringList simArguments(std::uint16_t dataPort, std::uint16_t telemetryPort, const QStringList& extra = {})
    {
        return QStringList{"--data-port", QString::number(dataPort), "--telemetry-port", QString::number(telemetryPort),
                           "--seconds", "20", "--quiet"}
            + extra;
    }

    // Runs the command line against a running simulator and returns its stdout lines.
    static QList<QByteArray> receiveFrames(const QStringList& simExtra, const QStringList& cliExtra)
    {
        const std::uint16_t dataPort = hvk32::platform::findFreeUdpPort();
        const std::uint16_t telemetryPort = hvk32::platform::findFreeUdpPort();
        QProcess cli;
        cli.start(HVK32_CLI_PATH, QStringList{"frames", "--live", "--data-port", QString::number(dataPort)} + cliExtra);
        if (!cli.waitForStarted())
            return {};
        // The listening notice comes on stderr once the receiver runs.
        for (int i = 0; i < 50 && !cli.readAllStandardError().contains("listening"); ++i)
            cli.waitForReadyRead(100);
        QProcess sim;
        sim.start(HVK32_SIM_PATH, simArguments(dataPort, telemetryPort, simExtra));
        const bool finished = cli.waitForFinished(15000);
        sim.terminate();
        sim.waitForFinished(3000);
        if (!finished) {
            cli.kill();
            cli.waitForFinished();
            return {};
        }
        QByteArray out = cli.readAllStandardOutput();
        return out.trimmed().split('\n');
    }

private slots:
    void framesAsJsonLines()
    {
        const auto lines = receiveFrames({"--rpm", "1200"}, {"--count", "2"});
        QCOMPARE(lines.size(), 2);
        const QJsonObject frame = QJsonDocument::fromJson(lines[1]).object();
        QCOMPARE(frame.keys(), (QStringList{"azimuths", "blockAzimuths", "distances", "intensities", "timestamps"}));
        const QJsonArray blocks = frame["blockAzimuths"].toArray();
        QCOMPARE(blocks.size(), 900); // 0.4 degrees per block at 1200 rpm
        for (const char* key : {"distances", "intensities", "azimuths", "timestamps"}) {
            const QJsonArray channels = frame[key].toArray();
            QCOMPARE(channels.size(), 32);
            for (const auto& channel : channels)
                QCOMPARE(channel.toArray().size(), 901); // a turn plus the carried wrap point
        }
        // 9 significant digits: an angle reads back as the same float.
        const double a = frame["azimuths"].toArray()[5].toArray()[100].toDouble();
        QCOMPARE(double(float(a)), a);
    }

    void dualEchoSummary()
    {
        const auto lines = receiveFrames({"--echo", "dual"}, {"--config", "HVK322", "--echo", "1", "--count", "2", "--summary"});
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1], QByteArray("frame 2: blocks 1800, points per channel 1801"));
    }

    void badArguments()
    {
        QProcess p;
        p.start(HVK32_CLI_PATH, {"frames", "--live", "--echo", "3"});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardOutput().isEmpty());

        // The simulator sends only to loopback or a multicast group.
        p.start(HVK32_SIM_PATH, {"--host", "192.168.1.200", "--seconds", "1"});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("loopback"));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
