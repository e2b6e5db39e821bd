// Captures from the shell as a user handles them: cut with "slice", sent as a live device
// with "replay", taken by time with --start/--duration, made reproducible with the
// simulator's --start-time, opened in the viewer; and the programs' --version and --help.

#include "acquisition/ReplayPacing.h"
#include "platform/UdpSocket.h"
#include "support/ProgramRun.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class CaptureShellTest : public QObject {
    Q_OBJECT

    using Run = ProgramRun;

    static Run cli(const QStringList& arguments) { return runToEnd(HVK32_CLI_PATH, arguments); }

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static QByteArray digest(const QString& path)
    {
        return QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256).toHex();
    }

    // A capture of the simulator with its clock fixed, so every run makes the same file.
    QString simulatorCapture(const QString& name, double seconds, const QStringList& extra = {})
    {
        const QString path = dir_.filePath(name);
        const Run sim = runToEnd(HVK32_SIM_PATH, QStringList{"--pcap", path, "--seconds", QString::number(seconds),
                                                             "--start-time", "2026-03-05T10:00:00", "--quiet"}
                                                     + extra);
        return sim.exitCode == 0 ? path : QString();
    }

    static QJsonObject summaryOf(const QString& path)
    {
        const Run r = cli({"info", "--pcap", path, "--summary"});
        return r.lines.size() == 1 ? QJsonDocument::fromJson(r.lines[0]).object() : QJsonObject();
    }

    QTemporaryDir dir_;

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // The cut plays alone and gives frames N..M of the whole run: the same blocks and points,
    // except that its first frame may begin with the blocks of its first record that closed
    // frame N - 1. tcpdump reads it and it holds no damage.
    void sliceGivesTheFramesOfTheWholeRun_data()
    {
        QTest::addColumn<QStringList>("simulator");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("1200 rpm single echo") << QStringList{"--rpm", "1200"} << 10 << 30;
        QTest::newRow("600 rpm dual echo") << QStringList{"--rpm", "600", "--echo", "dual"} << 5 << 12;
        QTest::newRow("from the first frame") << QStringList{"--rpm", "1200"} << 1 << 3;
        QTest::newRow("to the last frame") << QStringList{"--rpm", "1200"} << 35 << 39;
    }

    void sliceGivesTheFramesOfTheWholeRun()
    {
        QFETCH(QStringList, simulator);
        QFETCH(int, from);
        QFETCH(int, to);
        const QString whole = simulatorCapture("whole.pcap", 2, simulator);
        QVERIFY(!whole.isEmpty());
        const QString cut = dir_.filePath("cut.pcap");
        QFile::remove(cut);
        const Run slice = cli({"slice", "--pcap", whole, "--out", cut, "--from", QString::number(from), "--to",
                               QString::number(to)});
        QVERIFY2(slice.exitCode == 0, slice.errors.constData());

        const Run expected = cli({"frames", "--pcap", whole, "--from", QString::number(from), "--to", QString::number(to)});
        const Run got = cli({"frames", "--pcap", cut});
        QCOMPARE(got.exitCode, 0);
        QCOMPARE(got.lines.size(), to - from + 1);
        QVERIFY2(got.errors.isEmpty(), got.errors.constData());
        QCOMPARE(got.lines.mid(1), expected.lines.mid(1));
        // The first frame: the whole run's, after the leading blocks of its first record.
        const QJsonObject first = QJsonDocument::fromJson(got.lines[0]).object();
        const QJsonObject wanted = QJsonDocument::fromJson(expected.lines[0]).object();
        const QJsonArray blocks = first["blockAzimuths"].toArray();
        const QJsonArray wantedBlocks = wanted["blockAzimuths"].toArray();
        const int extra = blocks.size() - wantedBlocks.size();
        QVERIFY(extra >= 0 && extra < 12);
        for (int b = 0; b < wantedBlocks.size(); ++b)
            QCOMPARE(blocks[extra + b], wantedBlocks[b]);
        const QJsonArray distances = first["distances"].toArray();
        const QJsonArray wantedDistances = wanted["distances"].toArray();
        for (int c = 0; c < 32; ++c) {
            const QJsonArray d = distances[c].toArray();
            const QJsonArray w = wantedDistances[c].toArray();
            QCOMPARE(d.size() - w.size(), extra); // one point per channel and block
            for (int i = 0; i < w.size(); ++i)
                QCOMPARE(d[d.size() - w.size() + i], w[i]);
        }

        const QJsonObject summary = summaryOf(cut);
        QCOMPARE(summary["frames"].toInt(), to - from + 1);
        QCOMPARE(summary["truncatedRecords"].toInt(), 0);
        QCOMPARE(summary["badLengthRecords"].toInt(), 0);
        QCOMPARE(summary["lostPackets"].toInt(), 0);
        QCOMPARE(summary["deviceInfoPackets"].toInt() >= 1, true);

        const QString tcpdump = QStandardPaths::findExecutable("tcpdump", {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
        if (tcpdump.isEmpty())
            QSKIP("tcpdump is not installed (scripts/install-deps.sh installs it)");
        const Run dump = runToEnd(tcpdump, {"-n", "-r", cut});
        QCOMPARE(dump.exitCode, 0);
        QCOMPARE(dump.lines.size(), summary["dataPackets"].toInt() + summary["deviceInfoPackets"].toInt());
        // The device-info packet comes first, to the telemetry port.
        QVERIFY2(dump.lines[0].contains("127.0.0.2.2368 > 127.0.0.1.2369: UDP, length 1206"), dump.lines[0].constData());
    }

    void sliceRefusesWhatItCannotCut()
    {
        const QString whole = simulatorCapture("short.pcap", 1, {"--rpm", "1200"});
        QVERIFY(!whole.isEmpty());
        const QString out = dir_.filePath("refused.pcap");
        QFile::remove(out);
        struct Case {
            QStringList arguments;
            int exitCode;
            QByteArray says;
        };
        const QList<Case> cases{
            {{"--from", "0"}, 2, "frames are numbered from 1"},
            {{"--from", "30"}, 1, "has 19 frames, so there is no frame 30"},
            {{"--to", "25"}, 1, "no frame 25"},
            {{"--from", "5", "--to", "4"}, 2, "--from 5 is after --to 4"},
            {{"--from", "2", "--start", "0.5"}, 2, "not both"},
            {{"--start", "5"}, 1, "no frame starts 5 s or later"},
        };
        for (const Case& c : cases) {
            const Run r = cli(QStringList{"slice", "--pcap", whole, "--out", out} + c.arguments);
            QCOMPARE(r.exitCode, c.exitCode);
            QVERIFY2(r.errors.contains(c.says), r.errors.constData());
            QVERIFY(!QFile::exists(out));
        }
        // Never over the capture it reads.
        const Run r = cli({"slice", "--pcap", whole, "--out", whole});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(!digest(whole).isEmpty());
        QCOMPARE(summaryOf(whole)["frames"].toInt(), 19);
    }

    // --start and --duration pick the frames that start in that time, counted from the first
    // record: at 1200 rpm a frame starts every 50 ms, frame k about (k - 1) * 50 ms in, so
    // 1 s .. 1.5 s holds frames 21 to 30. Every command that takes a range takes it by time.
    void timeRangeIsAFrameRange()
    {
        const QString whole = simulatorCapture("timed.pcap", 2, {"--rpm", "1200"});
        QVERIFY(!whole.isEmpty());
        const QStringList byTime{"--start", "1", "--duration", "0.5"};
        const QStringList byFrame{"--from", "21", "--to", "30"};

        Run r = cli(QStringList{"frames", "--pcap", whole, "--summary"} + byTime);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 10);
        QVERIFY(r.lines.first().startsWith("frame 21:"));
        QVERIFY(r.lines.last().startsWith("frame 30:"));
        QCOMPARE(cli(QStringList{"frames", "--pcap", whole} + byTime).lines,
                 cli(QStringList{"frames", "--pcap", whole} + byFrame).lines);

        for (const char* format : {"--csv", "--ply"}) {
            const QString timed = dir_.filePath(QStringLiteral("timed.%1").arg(format + 2));
            const QString framed = dir_.filePath(QStringLiteral("framed.%1").arg(format + 2));
            r = cli(QStringList{"export", "--pcap", whole, format, timed} + byTime);
            QCOMPARE(r.exitCode, 0);
            QCOMPARE(cli(QStringList{"export", "--pcap", whole, format, framed} + byFrame).exitCode, 0);
            if (QString(format) == "--csv") {
                QVERIFY(readFile(timed).size() > 100000);
                QCOMPARE(digest(timed), digest(framed));
            } else {
                // One file per frame, named by its number in the whole run.
                for (int frame = 21; frame <= 30; ++frame) {
                    const QString suffix = QStringLiteral("-%1.ply").arg(frame, 6, 10, QLatin1Char('0'));
                    QVERIFY2(QFile::exists(dir_.filePath("timed" + suffix)), qPrintable(suffix));
                    QCOMPARE(digest(dir_.filePath("timed" + suffix)), digest(dir_.filePath("framed" + suffix)));
                }
                QVERIFY(!QFile::exists(dir_.filePath("timed-000031.ply")));
            }
        }

        const QString timedCut = dir_.filePath("timed-cut.pcap");
        const QString framedCut = dir_.filePath("framed-cut.pcap");
        QCOMPARE(cli(QStringList{"slice", "--pcap", whole, "--out", timedCut} + byTime).exitCode, 0);
        QCOMPARE(cli(QStringList{"slice", "--pcap", whole, "--out", framedCut} + byFrame).exitCode, 0);
        QCOMPARE(digest(timedCut), digest(framedCut));

        // --start alone runs to the end; --duration alone counts from the first record.
        QCOMPARE(cli({"frames", "--pcap", whole, "--summary", "--start", "1.85"}).lines.size(), 2);
        QCOMPARE(cli({"frames", "--pcap", whole, "--summary", "--duration", "0.1"}).lines.size(), 2);
        r = cli({"frames", "--pcap", whole, "--start", "1.201", "--duration", "0.01"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errors.contains("no frame starts in 1.201 .. 1.211 s"), r.errors.constData());
        QCOMPARE(cli({"frames", "--live", "--start", "1"}).exitCode, 2);
    }

    // A replay at the recorded pace reaches "frames --live" as the device's own stream: the
    // same frames, block by block, as "frames --pcap" plays from the file. (The live path
    // cuts frames and times points by its own rules: each of its frames starts with the
    // point carried over from the last block of the one before.)
    void replayIsReceivedAsLive()
    {
        const QString capture = simulatorCapture("replayed.pcap", 1, {"--rpm", "1200"});
        QVERIFY(!capture.isEmpty());
        const Run played = cli({"frames", "--pcap", capture});
        QCOMPARE(played.lines.size(), 19);

        const std::uint16_t dataPort = hvk32::platform::findFreeUdpPort();
        const std::uint16_t telemetryPort = hvk32::platform::findFreeUdpPort();
        QProcess live;
        // The echo mode named, so that the receiver does not wait for the replay's device-info packet.
        live.start(HVK32_CLI_PATH, {"frames", "--live", "--data-port", QString::number(dataPort), "--config", "HVK321",
                                    "--count", QString::number(played.lines.size())});
        QVERIFY(live.waitForStarted());
        QByteArray notice;
        for (int i = 0; i < 50 && !notice.contains("listening"); ++i) {
            live.waitForReadyRead(100);
            notice += live.readAllStandardError();
        }
        QVERIFY(notice.contains("listening"));
        // Half the recorded pace: the receiver keeps up even on a busy machine.
        const Run replay = cli({"replay", "--pcap", capture, "--data-port", QString::number(dataPort),
                                "--telemetry-port", QString::number(telemetryPort), "--speed", "0.5"});
        QCOMPARE(replay.exitCode, 0);
        QVERIFY2(replay.errors.contains("sent 1,500 data and 1 device-info packets"), replay.errors.constData());
        if (!live.waitForFinished(10000)) {
            live.kill();
            live.waitForFinished();
        }
        const QList<QByteArray> received = live.readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(received.size(), played.lines.size());
        for (int f = 0; f < received.size(); ++f) {
            const QJsonObject got = QJsonDocument::fromJson(received[f]).object();
            const QJsonObject want = QJsonDocument::fromJson(played.lines[f]).object();
            QCOMPARE(got["blockAzimuths"], want["blockAzimuths"]);
            QCOMPARE(got["lostPackets"].toInt(), 0);
            if (f == 0)
                continue;
            for (int c = 0; c < 32; ++c) {
                const QJsonArray d = got["distances"].toArray()[c].toArray();
                const QJsonArray w = want["distances"].toArray()[c].toArray();
                QCOMPARE(d.size(), w.size() + 1);
                for (int i = 0; i + 1 < w.size(); ++i)
                    QCOMPARE(d[i + 1], w[i]);
            }
        }
    }

    void replaySendsOnlyToLoopbackOrMulticast_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("the device's factory address") << "192.168.1.200" << 2;
        QTest::newRow("a public address") << "8.8.8.8" << 2;
        QTest::newRow("broadcast") << "255.255.255.255" << 2;
        QTest::newRow("not an address") << "localhost" << 2;
        QTest::newRow("loopback") << "127.0.0.3" << 0;
        QTest::newRow("multicast") << "239.0.0.7" << 0;
    }

    void replaySendsOnlyToLoopbackOrMulticast()
    {
        QFETCH(QString, host);
        QFETCH(int, exitCode);
        const QString capture = simulatorCapture("tiny.pcap", 0.05);
        QVERIFY(!capture.isEmpty());
        const QString port = QString::number(hvk32::platform::findFreeUdpPort());
        const Run r = cli({"replay", "--pcap", capture, "--host", host, "--data-port", port, "--telemetry-port", port,
                           "--rate", "max"});
        QCOMPARE(r.exitCode, exitCode);
        QCOMPARE(r.errors.contains("sent "), exitCode == 0);
    }

    // Pacing follows the record times, scaled by the speed; a clock that steps back and the
    // start of a new pass never make a record due before the one sent before it.
    void replayPacing()
    {
        struct Case {
            const char* name;
            double speed;
            QList<double> times;    // record times [s]; NaN: the file starts again
            QList<qint64> expected; // due [us]
        };
        const double again = std::nan("");
        const QList<Case> cases{
            {"as recorded", 1, {100.0, 100.5, 101.25}, {0, 500000, 1250000}},
            {"twice as fast", 2, {100.0, 100.5, 101.25}, {0, 250000, 625000}},
            {"a tenth", 0.1, {5.0, 5.001}, {0, 10000}},
            {"as fast as possible", 0, {100.0, 200.0}, {0, 0}},
            {"clock steps back", 1, {100.0, 101.0, 50.0, 50.5}, {0, 1000000, 1000000, 1500000}},
            {"looped", 1, {10.0, 11.0, again, 10.0, 10.5}, {0, 1000000, 1000000, 1500000}},
        };
        for (const Case& c : cases) {
            hvk32::ReplayPacing pacing(c.speed);
            QList<qint64> due;
            for (double t : c.times) {
                if (std::isnan(t))
                    pacing.restart();
                else
                    due << pacing.dueMicros(t);
            }
            QVERIFY2(due == c.expected, c.name);
        }
    }

    // The same options and --start-time make the same file, byte for byte; the record times
    // and the device clock start at that time.
    void simulatorCaptureIsReproducible()
    {
        const QString a = simulatorCapture("a.pcap", 1, {"--echo", "dual", "--loss", "1", "--reorder", "1"});
        const QString b = simulatorCapture("b.pcap", 1, {"--echo", "dual", "--loss", "1", "--reorder", "1"});
        QVERIFY(!a.isEmpty() && !b.isEmpty());
        QVERIFY(QFileInfo(a).size() > 1000000);
        QCOMPARE(digest(a), digest(b));
        // 2026-03-05 10:00:00 as the record clock counts it.
        QCOMPARE(summaryOf(a)["firstTimestamp"].toDouble(), 1772704800.0);
        const Run info = cli({"info", "--pcap", a});
        QVERIFY(!info.lines.isEmpty());
        const QJsonArray status = QJsonDocument::fromJson(info.lines[0]).object()["statusValues"].toArray();
        QVERIFY(!status.isEmpty());

        for (const char* bad : {"2026-02-30T10:00:00", "2026-03-05T24:00:00", "1999-12-31", "2026-03-05T10:00:00+01:00",
                                "yesterday"}) {
            const Run r = runToEnd(HVK32_SIM_PATH, {"--pcap", dir_.filePath("bad.pcap"), "--seconds", "1",
                                                    "--start-time", bad});
            QCOMPARE(r.exitCode, 2);
            QVERIFY2(r.errors.contains("--start-time needs a date and time"), bad);
        }
        const Run midnight = runToEnd(HVK32_SIM_PATH, {"--pcap", dir_.filePath("leap.pcap"), "--seconds", "0.1",
                                                       "--start-time", "2028-02-29Z", "--quiet"});
        QCOMPARE(midnight.exitCode, 0);
        QCOMPARE(summaryOf(dir_.filePath("leap.pcap"))["firstTimestamp"].toDouble(), 1835395200.0);
    }

    // One line each: the program's name and the project's version, and the commit when known;
    // an unknown argument after --version is refused.
    void versionLines_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("name");
        QTest::newRow("hvk32-cli") << HVK32_CLI_PATH << "hvk32-cli";
        QTest::newRow("hvk32-sim") << HVK32_SIM_PATH << "hvk32-sim";
#ifdef HVK32_VIEWER_PATH
        QTest::newRow("hvk32") << HVK32_VIEWER_PATH << "hvk32";
#endif
    }

    void versionLines()
    {
        QFETCH(QString, program);
        QFETCH(QString, name);
        const Run r = runToEnd(program, {"--version"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 1);
        const QString line = QString::fromUtf8(r.lines[0]);
        QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(name + " " + HVK32_PROJECT_VERSION)
                                    + "( \\(git [0-9a-f]{12}(-dirty)?\\))?$")
                     .match(line)
                     .hasMatch(),
                 qPrintable(line));
        // Anything after it is still an argument to check.
        const Run extra = runToEnd(program, {"--version", "--bogus"});
        QCOMPARE(extra.exitCode, 2);
        QVERIFY(extra.lines.isEmpty());
        QVERIFY2(extra.errors.contains("--bogus"), extra.errors.constData());
    }

    // The overview names every command there is and every export format.
    void helpNamesEveryCommandAndFormat()
    {
        const Run help = cli({"--help"});
        QCOMPARE(help.exitCode, 0);
        const QByteArray text = help.lines.join('\n');
        for (const char* command : {"frames", "info", "export", "record", "slice", "replay", "serve"}) {
            QVERIFY2(text.contains(QByteArray("  ") + command + " "), command);
            QCOMPARE(cli({command, "--help"}).exitCode, 0);
        }
        const QByteArray exportHelp = cli({"export", "--help"}).lines.join('\n');
        for (const char* format : {"--csv", "--pcd", "--ply"}) {
            QVERIFY2(exportHelp.contains(format), format);
            QVERIFY2(text.contains(format), format);
        }
        QCOMPARE(cli({"nonsense"}).exitCode, 2);
    }

#ifdef HVK32_VIEWER_PATH
    // "hvk32 FILE --play" plays the capture at once; --quit-after and --stats work with it.
    void viewerPlaysACaptureFromTheShell()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("the viewer needs a display (run under xvfb-run)");
        const QString capture = simulatorCapture("viewer.pcap", 1, {"--rpm", "1200"});
        QVERIFY(!capture.isEmpty());
        const Run r = runToEnd(HVK32_VIEWER_PATH, {capture, "--play", "--quit-after", "4", "--stats"});
        QVERIFY2(r.exitCode == 0, r.errors.constData());
        QCOMPARE(r.lines.size(), 1);
        const QRegularExpressionMatch m = QRegularExpression("^frames sent (\\d+), drawn (\\d+)").match(r.lines[0]);
        QVERIFY2(m.hasMatch(), r.lines[0].constData());
        QVERIFY2(m.captured(1).toInt() > 0 && m.captured(2).toInt() > 0, r.lines[0].constData());

        const Run missing = runToEnd(HVK32_VIEWER_PATH, {dir_.filePath("missing.pcap")});
        QCOMPARE(missing.exitCode, 1);
        QVERIFY2(missing.errors.contains("cannot be played"), missing.errors.constData());
        QCOMPARE(runToEnd(HVK32_VIEWER_PATH, {"--play"}).exitCode, 2);
    }

    // Values the window could not use are refused before it opens, naming the option.
    void viewerRefusesImpossibleValues()
    {
        const QList<QStringList> refused = {
            {"--data-port", "99999"},     {"--data-port", "0"},          {"--telemetry-port", "70000"},
            {"--telemetry-port", "2369x"}, {"--multicast", "224.1.1"},    {"--multicast", "224.1.1.300"},
            {"--device-address", "host"}, {"--quit-after", "nan"},       {"--quit-after", "inf"},
        };
        for (const QStringList& arguments : refused) {
            const Run r = runToEnd(HVK32_VIEWER_PATH, QStringList{"--connect"} + arguments);
            const QString what = arguments.join(' ') + ": " + QString::fromLocal8Bit(r.errors);
            QVERIFY2(r.exitCode == 2, qPrintable(what));
            QVERIFY2(r.errors.startsWith(("hvk32: " + arguments[0] + " takes ").toUtf8()), qPrintable(what));
        }
    }
#endif
};

QTEST_GUILESS_MAIN(CaptureShellTest)
#include "CaptureShellTest.moc"
