// The simulator and the command line as a user runs them: hvk32-sim sends on loopback,
// "hvk32-cli frames --live" prints the frames it receives; hvk32-sim writes a capture file,
// "hvk32-cli frames --pcap" and "info --pcap" print what the capture player finds in it.

#include "platform/UdpSocket.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
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

    QTemporaryDir dir_;

    struct Run {
        int exitCode = -1;
        QList<QByteArray> lines; // stdout
        QByteArray errors;       // stderr
    };

    static Run runToEnd(const char* program, const QStringList& arguments)
    {
        Run r;
        QProcess p;
        p.start(program, arguments);
        if (!p.waitForFinished(60000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        const QByteArray out = p.readAllStandardOutput().trimmed();
        if (!out.isEmpty())
            r.lines = out.split('\n');
        r.errors = p.readAllStandardError();
        return r;
    }

    // A capture of `seconds` of the simulator at 1200 rpm: 900 blocks a turn.
    QString simulatorCapture(const QString& name, int seconds)
    {
        const QString path = dir_.filePath(name);
        const Run sim = runToEnd(HVK32_SIM_PATH, {"--pcap", path, "--seconds", QString::number(seconds), "--rpm", "1200",
                                                  "--quiet"});
        return sim.exitCode == 0 ? path : QString();
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir_.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : QString();
    }

private slots:
    void framesFromCapture()
    {
        const QString path = simulatorCapture("one-second.pcap", 1);
        QVERIFY(!path.isEmpty());
        Run r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 19); // 20 turns; the first frame closes at the start of the second
        QVERIFY2(r.errors.isEmpty(), r.errors.constData());
        const QJsonObject first = QJsonDocument::fromJson(r.lines[0]).object();
        QCOMPARE(first.keys(), (QStringList{"azimuths", "blockAzimuths", "distances", "intensities", "timestamps"}));
        QCOMPARE(first["blockAzimuths"].toArray().size(), 901);
        const QJsonArray channel31 = first["azimuths"].toArray()[31].toArray();
        QCOMPARE(channel31.size(), 901);
        QCOMPARE(float(channel31[0].toDouble()), float(0.19375)); // block azimuth 0 + 31 x 0.00625
        QCOMPARE(QJsonDocument::fromJson(r.lines[1]).object()["blockAzimuths"].toArray().size(), 900);

        r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path, "--count", "2", "--summary"});
        QCOMPARE(r.lines, (QList<QByteArray>{"frame 1: blocks 901, points per channel 901",
                                             "frame 2: blocks 900, points per channel 900"}));

        // A last record cut off by the end of the file is dropped and reported.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString cut = writeFile("cut.pcap", f.readAll().chopped(100));
        r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", cut, "--summary"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 19);
        QVERIFY2(r.errors.contains("cut off by the end of the file"), r.errors.constData());
    }

    void infoFromCapture()
    {
        const QString path = simulatorCapture("two-seconds.pcap", 2);
        QVERIFY(!path.isEmpty());
        const Run r = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", path});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 2); // one device-info packet a second
        const QJsonObject first = QJsonDocument::fromJson(r.lines[0]).object();
        QCOMPARE(first.keys(), (QStringList{"offset", "settingData", "statusValues"}));
        QCOMPARE(first["offset"].toInt(), 24);
        const QJsonArray values = first["statusValues"].toArray();
        QCOMPARE(values.size(), 33);
        QCOMPARE(values[7].toInt(), 2368); // data port
        QCOMPARE(values[22].toInt(), 2);   // board version
        const QString record = first["settingData"].toString();
        QVERIFY(QRegularExpression("^[0-9a-f]{320}$").match(record).hasMatch());
        QVERIFY(record.startsWith("7f000001")); // destination address 127.0.0.1
        const int second = QJsonDocument::fromJson(r.lines[1]).object()["offset"].toInt();
        QVERIFY(second > 24 && (second - 24) % 1264 == 0);
    }

    void captureCommandsRefuseOtherFiles()
    {
        const QString text = writeFile("notes.pcap", "not a capture, just text\n");
        const QString pcapng = writeFile("saved.pcapng", QByteArray::fromHex("0a0d0d0a1c0000004d3c2b1a01000000"));
        struct Case {
            QStringList arguments;
            int exitCode;
            const char* message;
        };
        const Case cases[] = {
            {{"frames", "--pcap", text}, 1, "not a capture file"},
            {{"info", "--pcap", pcapng}, 1, "save it as pcap (libpcap) format"},
            {{"frames", "--pcap", dir_.filePath("missing.pcap")}, 1, "cannot open"},
            {{"frames", "--pcap", text, "--config", "HVK322"}, 2, "--live only"},
            {{"frames", "--live", "--pcap", text}, 2, "either --live or --pcap"},
            {{"info"}, 2, "--pcap FILE is required"},
        };
        for (const Case& c : cases) {
            const Run r = runToEnd(HVK32_CLI_PATH, c.arguments);
            QCOMPARE(r.exitCode, c.exitCode);
            QVERIFY2(r.errors.contains(c.message), r.errors.constData());
            QVERIFY(r.lines.isEmpty());
        }
    }

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
