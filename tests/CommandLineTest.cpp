// The simulator and the command line as a user runs them: hvk32-sim sends on loopback,
// "hvk32-cli frames --live" prints the frames it receives; hvk32-sim writes a capture file,
// "hvk32-cli frames --pcap" and "info --pcap" print what the capture player finds in it, and
// "export" writes it as the window's CSV export does, or as PCD files.

#include "acquisition/CapturePlayerCore.h"
#include "platform/UdpSocket.h"
#include "records/AngleValues.h"
#include "support/CaptureBuilder.h"
#include "support/DeviceInfoBuilder.h"
#include "support/ProgramRun.h"
#include "io/CsvExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include <csignal>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

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
        cli.start(HVK32_CLI_PATH, QStringList{"frames", "--live", "--data-port", QString::number(dataPort),
                                              "--telemetry-port", QString::number(telemetryPort)}
                                      + cliExtra);
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
    std::array<float, 4> lastOffsets_{}; // the offset angles of the last frame windowExport() converted

    using Run = ProgramRun;

    // A capture of `seconds` of the simulator at 1200 rpm: 900 blocks a turn.
    QString simulatorCapture(const QString& name, int seconds, const QStringList& extra = {})
    {
        const QString path = dir_.filePath(name);
        const Run sim = runToEnd(HVK32_SIM_PATH, QStringList{"--pcap", path, "--seconds", QString::number(seconds),
                                                             "--rpm", "1200", "--quiet"} + extra);
        return sim.exitCode == 0 ? path : QString();
    }

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir_.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : QString();
    }

    static QByteArray readFile(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Four turns at 1200 rpm in the 0.33-degree layout, with the device's offset angles set
    // and every seventh return empty (distance 0). The player emits three frames.
    QString exportCapture()
    {
        hvk32::sim::ScannerSettings settings;
        settings.rpm = 1200;
        settings.layout = hvk32::sim::Layout::ThirdDegree;
        settings.offsetAngleCodes = {250, 125, 300, 75}; // 2.5, 1.25, 3 and 0.75 degrees
        hvk32::test::CaptureBuilder capture(settings);
        capture.deviceInfo();
        hvk32::test::CaptureBuilder::Payload p{};
        const int packets = 4 * capture.stream().blocksPerRevolution() / hvk32::datapacket::kBlocksPerPacket;
        for (int k = 0; k < packets; ++k) {
            capture.stream().nextDataPacket(p.data());
            for (int b = 0; b < hvk32::datapacket::kBlocksPerPacket; ++b)
                for (int c = 0; c < hvk32::datapacket::kChannelsPerBlock; ++c)
                    if ((b * 32 + c) % 7 == 0)
                        hvk32::putLe16(p.data() + hvk32::datapacket::channelOffset(b, c), 0);
            capture.udp(p.data(), p.size(), settings.dataPort);
        }
        return writeFile("export.pcap", capture.bytes());
    }

    // What the window's export writes for the first `frames` frames (0: all) the player emits
    // from `path`, each converted with the calibration it travels with.
    QByteArray windowExport(const QString& path, int frames, const QList<int>& channels, float angleMin = 0,
                            float angleMax = 360)
    {
        hvk32::CapturePlayerCore player;
        hvk32::CsvExportSession session;
        const QString out = dir_.filePath("window.csv");
        if (!player.open(path) || !session.arm(out, frames ? frames : 1 << 30, angleMin, angleMax, channels))
            return {};
        player.start();
        for (auto e = player.next(hvk32::CapturePlayerCore::Direction::Forward);
             e != hvk32::CapturePlayerCore::Event::End && session.isArmed();
             e = player.next(hvk32::CapturePlayerCore::Direction::Forward)) {
            if (e != hvk32::CapturePlayerCore::Event::Frame)
                continue;
            // The window knows the distance unit once the player has reported the configuration.
            const auto s = hvk32::ConversionSnapshot::of(player.configuration().degreeMode, 1, player.calibration());
            lastOffsets_ = player.offsetAngles();
            session.writeFrame(player.frame(), s);
        }
        session.cancel();
        return readFile(out);
    }

    static QList<int> channelRange(int first, int last)
    {
        QList<int> list;
        for (int c = first; c <= last; ++c)
            list << c;
        return list;
    }

    // The lines of a CSV export by FrameID, without the header.
    static QMap<QByteArray, QList<QByteArray>> csvFrames(const QByteArray& csv)
    {
        QMap<QByteArray, QList<QByteArray>> frames;
        const QList<QByteArray> lines = csv.split('\n');
        for (int i = 1; i < lines.size(); ++i)
            if (!lines[i].isEmpty())
                frames[lines[i].left(lines[i].indexOf(','))] << lines[i];
        return frames;
    }

    // Whether every line's elevation is that of its distance along the channel's vertical
    // angle, the built-in 1-degree table's plus `shift` (pi as 3.14159, as the export takes it).
    static bool elevationsFollow(const QList<QByteArray>& lines, float shift)
    {
        for (const QByteArray& line : lines) {
            const QList<QByteArray> f = line.split(',');
            const double distance = f[7].toDouble();
            const double angle = (defaultVerticalAngles1[f[5].toInt()] + shift) * 3.14159 / 180;
            if (std::fabs(f[3].toDouble() - distance * std::sin(angle)) > 2e-5 * distance + 1e-5) {
                qWarning("%s: elevation not along %g degrees", line.constData(), angle * 180 / 3.14159);
                return false;
            }
        }
        return !lines.isEmpty();
    }

    // The number of points in the summary line, or -1.
    static qint64 summaryPoints(const QByteArray& errors, int frames)
    {
        const auto m = QRegularExpression(QString("exported %1 frames?, ([0-9,]+) points? in [0-9]+\\.[0-9] s\n")
                                              .arg(frames))
                           .match(QString::fromLatin1(errors));
        return m.hasMatch() ? m.captured(1).remove(',').toLongLong() : -1;
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
        QCOMPARE(first.keys(), (QStringList{"azimuths", "blockAzimuths", "distances", "intensities", "lostPackets",
                                            "timestamps"}));
        QCOMPARE(first["lostPackets"].toInt(-1), 0);
        QCOMPARE(first["blockAzimuths"].toArray().size(), 901);
        const QJsonArray channel31 = first["azimuths"].toArray()[31].toArray();
        QCOMPARE(channel31.size(), 901);
        QCOMPARE(float(channel31[0].toDouble()), float(0.19375)); // block azimuth 0 + 31 x 0.00625
        QCOMPARE(QJsonDocument::fromJson(r.lines[1]).object()["blockAzimuths"].toArray().size(), 900);

        r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path, "--count", "2", "--summary"});
        QCOMPARE(r.lines, (QList<QByteArray>{"frame 1: blocks 901, points per channel 901, lost 0",
                                             "frame 2: blocks 900, points per channel 900, lost 0"}));

        // A last record cut off by the end of the file is dropped and reported.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString cut = writeFile("cut.pcap", f.readAll().chopped(100));
        r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", cut, "--summary"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 19);
        QVERIFY2(r.errors.contains("cut off by the end of the file"), r.errors.constData());
    }

    // A range starts through the frame index and gives the frames a whole run gives there,
    // with their numbers; the summary counts the whole capture.
    void frameRangesAndSummary()
    {
        const QString path = simulatorCapture("ranges.pcap", 1);
        QVERIFY(!path.isEmpty());
        const Run whole = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path});
        QCOMPARE(whole.lines.size(), 19);
        Run r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path, "--from", "7", "--to", "9"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines, whole.lines.mid(6, 3));
        r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path, "--from", "18", "--summary"});
        QCOMPARE(r.lines, (QList<QByteArray>{"frame 18: blocks 900, points per channel 900, lost 0",
                                             "frame 19: blocks 900, points per channel 900, lost 0"}));
        r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path, "--to", "2"});
        QCOMPARE(r.lines, whole.lines.mid(0, 2));

        const QString all = dir_.filePath("all.csv");
        const QString part = dir_.filePath("part.csv");
        QCOMPARE(runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--csv", all}).exitCode, 0);
        QCOMPARE(runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--csv", part, "--from", "4", "--to", "5"}).exitCode, 0);
        const QList<QByteArray> allLines = readFile(all).split('\n');
        QByteArray expected = allLines[0] + '\n';
        for (const QByteArray& line : allLines)
            if (line.startsWith("4,") || line.startsWith("5,"))
                expected += line + '\n';
        QVERIFY(expected.count('\n') > 1000);
        QVERIFY(readFile(part) == expected);

        r = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", path, "--summary"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 1);
        const QJsonObject summary = QJsonDocument::fromJson(r.lines[0]).object();
        QCOMPARE(summary["frames"].toInt(), 19);
        QCOMPARE(summary["deviceInfoPackets"].toInt(), 1);
        QCOMPARE(summary["dataPackets"].toInt(), 1500); // 20 turns of 75 packets
        QVERIFY(summary["firstTimestamp"].toDouble() > 1e9);
        QCOMPARE(summary["lastTimestamp"].toDouble() - summary["firstTimestamp"].toDouble(),
                 summary["durationSeconds"].toDouble());
        QVERIFY(std::fabs(summary["durationSeconds"].toDouble() - 1.0) < 0.01);
    }

    // A clock set back an hour while recording: the duration is the time the records span,
    // each rising run alone, and the step back is reported.
    void summaryOfRecordTimesSteppingBack()
    {
        hvk32::sim::ScannerSettings settings;
        settings.clockStart = hvk32::sim::ClockTime{2026, 3, 5, 11, 0, 0};
        hvk32::test::CaptureBuilder before(settings);
        before.deviceInfo().revolutions(2.5);
        settings.clockStart = hvk32::sim::ClockTime{2026, 3, 5, 10, 0, 0};
        hvk32::test::CaptureBuilder after(settings);
        after.deviceInfo().revolutions(2.5);
        const QString path = writeFile("set-back.pcap", before.bytes() + after.bytes().mid(hvk32::capturefile::kFileHeaderSize));
        const Run r = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", path, "--summary"});
        QCOMPARE(r.exitCode, 0);
        const QJsonObject s = QJsonDocument::fromJson(r.lines.value(0)).object();
        const double first = s["firstTimestamp"].toDouble(), last = s["lastTimestamp"].toDouble();
        QVERIFY2(std::fabs(last - first + 3600 - 0.25) < 0.01, r.lines.value(0).constData()); // 0.25 s of each clock
        QVERIFY2(std::fabs(s["durationSeconds"].toDouble() - 0.5) < 0.01, r.lines.value(0).constData());
        QCOMPARE(s["timeStepsBack"].toInt(), 1);
        QVERIFY(std::fabs(s["largestTimeStepBackSeconds"].toDouble() - 3600.25) < 0.01);
        QVERIFY2(r.errors.contains("the record times step back 1 time, by up to 3600.2"), r.errors.constData());
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

    // A capture of a stream with 1 % of its data packets dropped shows about 1 % lost, in
    // the summary and frame by frame; the clean stream shows none.
    void lostPacketsOfCapture()
    {
        const QString clean = simulatorCapture("clean.pcap", 2);
        const QString lossy = simulatorCapture("lossy.pcap", 2, {"--loss", "1", "--duplicate", "0.5", "--reorder", "0.5"});
        QVERIFY(!clean.isEmpty() && !lossy.isEmpty());
        Run r = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", clean, "--summary"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.lines.size(), 1);
        QJsonObject s = QJsonDocument::fromJson(r.lines[0]).object();
        QCOMPARE(s["dataPackets"].toInt(), 3000); // 1500 a second in single echo
        QCOMPARE(s["deviceInfoPackets"].toInt(), 2);
        for (const char* key : {"lostPackets", "duplicatePackets", "outOfOrderPackets", "shortFrames"})
            QVERIFY2(s[key].toInt(-1) == 0, key);
        QVERIFY(qAbs(s["revolutionsPerSecond"].toDouble() - 20.0) < 0.01);

        r = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", lossy, "--summary"});
        s = QJsonDocument::fromJson(r.lines.value(0)).object();
        const int lost = s["lostPackets"].toInt();
        QVERIFY2(lost > 15 && lost < 45, qPrintable(QString::number(lost))); // 1 % of 3000
        QVERIFY(qAbs(s["lostPercent"].toDouble() - 100.0 * lost / 3000) < 0.01);
        QVERIFY(s["duplicatePackets"].toInt() > 0);
        QVERIFY(s["outOfOrderPackets"].toInt() > 0);
        QCOMPARE(s["dataPackets"].toInt() - s["duplicatePackets"].toInt() + lost, 3000);

        // Frame by frame, the losses add up to what the summary found (the first revolution
        // and the last part of one are not in any frame).
        r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", lossy, "--summary"});
        int perFrame = 0;
        for (const QByteArray& line : r.lines) {
            const auto m = QRegularExpression(", lost ([0-9]+)$").match(QString::fromLatin1(line));
            QVERIFY2(m.hasMatch(), line.constData());
            perFrame += m.captured(1).toInt();
        }
        QVERIFY(perFrame > 0 && perFrame <= lost);

        // Packets sent twice are counted, and decoded once: the frames are the clean stream's.
        const QString doubled = simulatorCapture("doubled.pcap", 2, {"--duplicate", "10"});
        r = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", doubled, "--summary"});
        s = QJsonDocument::fromJson(r.lines.value(0)).object();
        QVERIFY2(s["duplicatePackets"].toInt() > 200, r.lines.value(0).constData());
        QCOMPARE(s["lostPackets"].toInt(-1), 0);
        const Run cleanFrames = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", clean, "--summary"});
        r = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", doubled, "--summary"});
        QCOMPARE(r.lines, cleanFrames.lines);
    }

    // A copy of packet 1900 sent after packet 1000 and ten packets lost at 1200: the stray
    // moves nothing, the frames' losses add up to the summary's, and a part read through the
    // index shows the same frames with the same losses.
    void strayPacketInCapture()
    {
        hvk32::sim::ScannerSettings settings;
        settings.rpm = 1200;
        // One clock for both streams: the stray must carry the time stamp of the packet it
        // repeats, whatever second each stream is made in.
        settings.clockStart = hvk32::sim::ClockTime{2026, 3, 5, 10, 0, 0};
        hvk32::test::CaptureBuilder capture(settings);
        hvk32::sim::ScannerStream ahead(settings);
        hvk32::test::CaptureBuilder::Payload stray{};
        for (int k = 0; k <= 1900; ++k)
            ahead.nextDataPacket(stray.data());
        capture.deviceInfo().data(1001).udp(stray.data(), stray.size(), settings.dataPort).data(199);
        hvk32::test::CaptureBuilder::Payload skipped{};
        for (int k = 0; k < 10; ++k)
            capture.stream().nextDataPacket(skipped.data());
        capture.data(1790);
        const QString path = writeFile("stray.pcap", capture.bytes());

        const Run info = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", path, "--summary"});
        const QJsonObject s = QJsonDocument::fromJson(info.lines.value(0)).object();
        QCOMPARE(s["lostPackets"].toInt(-1), 10);
        QCOMPARE(s["duplicatePackets"].toInt(-1), 1);
        QCOMPARE(s["outOfOrderPackets"].toInt(-1), 0);
        QVERIFY2(qAbs(s["revolutionsPerSecond"].toDouble() - 20.0) < 0.01, info.lines.value(0).constData());

        const Run whole = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path, "--summary"});
        QCOMPARE(whole.exitCode, 0);
        int perFrame = 0, framesWithLoss = 0;
        for (const QByteArray& line : whole.lines) {
            const int lost = QRegularExpression(", lost ([0-9]+)$").match(QString::fromLatin1(line)).captured(1).toInt();
            perFrame += lost;
            framesWithLoss += lost > 0;
        }
        QCOMPARE(perFrame, 10);
        QCOMPARE(framesWithLoss, 1);
        const Run part = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path, "--summary", "--from", "10", "--to", "20"});
        QCOMPARE(part.lines, whole.lines.mid(9, 11));
    }

    // Three seconds missing from a capture (two parts of a stream joined) are a gap, not a
    // loss: info --summary and frames report its time, length and packets.
    void gapInCapture()
    {
        hvk32::sim::ScannerSettings settings;
        settings.rpm = 1200;
        hvk32::test::CaptureBuilder capture(settings);
        capture.deviceInfo().data(1500);
        hvk32::test::CaptureBuilder::Payload skipped{};
        for (int k = 0; k < 4500; ++k) // 3 s at 1500 packets a second
            capture.stream().nextDataPacket(skipped.data());
        capture.data(1500);
        const QString path = writeFile("gap.pcap", capture.bytes());

        const Run info = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", path, "--summary"});
        const QJsonObject s = QJsonDocument::fromJson(info.lines.value(0)).object();
        QCOMPARE(s["lostPackets"].toInt(-1), 0);
        QCOMPARE(s["gaps"].toInt(-1), 1);
        QCOMPARE(s["gapPackets"].toInt(-1), 4500);
        QVERIFY(qAbs(s["gapSeconds"].toDouble() - 3.0) < 0.001);
        const QJsonObject gap = s["gapList"].toArray().first().toObject();
        QCOMPARE(gap["packets"].toInt(-1), 4500);
        QVERIFY2(qAbs(gap["sinceStart"].toDouble() - 4.0) < 0.01, info.lines.value(0).constData());
        QCOMPARE(gap["time"].toDouble(), s["firstTimestamp"].toDouble() + gap["sinceStart"].toDouble());

        const Run frames = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path, "--summary"});
        QCOMPARE(frames.exitCode, 0);
        const auto count = [](const QList<QByteArray>& lines, const char* text) {
            return std::count_if(lines.begin(), lines.end(), [text](const QByteArray& l) { return l.contains(text); });
        };
        QCOMPARE(count(frames.lines, "after a gap of 3.000 s (4500 packets)"), 1);
        const Run json = runToEnd(HVK32_CLI_PATH, {"frames", "--pcap", path});
        QCOMPARE(count(json.lines, "\"gapPackets\":4500,\"gapSeconds\":3.000}"), 1);
    }

    // A write to standard output that fails is an error with its reason; a reader that goes
    // away ends the command quietly.
    void writeErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("frames") << QStringList{"frames", "--pcap", "CAPTURE"};
        QTest::newRow("frames --summary") << QStringList{"frames", "--pcap", "CAPTURE", "--summary"};
        QTest::newRow("info") << QStringList{"info", "--pcap", "CAPTURE"};
        QTest::newRow("info --summary") << QStringList{"info", "--pcap", "CAPTURE", "--summary"};
        QTest::newRow("help") << QStringList{"frames", "--help"};
    }
    void writeErrors()
    {
        QFETCH(QStringList, arguments);
        const QString capture = simulatorCapture("written.pcap", 1);
        QVERIFY(!capture.isEmpty());
        arguments.replaceInStrings("CAPTURE", capture);
        QProcess p;
        p.setStandardOutputFile("/dev/full");
        p.start(HVK32_CLI_PATH, arguments);
        QVERIFY(p.waitForFinished(60000));
        const QByteArray errors = p.readAllStandardError();
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(errors.contains("cannot write to standard output: No space left on device"), errors.constData());

        QProcess pipe;
        const QString script = QString("'%1' \"$@\" | head -c 1 >/dev/null; echo \"${PIPESTATUS[0]}\"").arg(HVK32_CLI_PATH);
        pipe.start("bash", QStringList{"-c", script, "bash"} + arguments);
        QVERIFY(pipe.waitForFinished(60000));
        QCOMPARE(pipe.readAllStandardOutput().trimmed(), QByteArray("0"));
        QVERIFY2(!pipe.readAllStandardError().contains("standard output"), "a closed pipe is not an error");
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

    // A capture that is not a regular file is refused at once: a FIFO would hold open() until
    // a writer came.
    void captureThatIsNoFileIsRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");
        const QString fifo = "a FIFO (named pipe), not a capture file";
        QTest::newRow("info") << QStringList{"info", "--pcap", "FIFO"} << fifo;
        QTest::newRow("info --summary") << QStringList{"info", "--pcap", "FIFO", "--summary"} << fifo;
        QTest::newRow("frames") << QStringList{"frames", "--pcap", "FIFO"} << fifo;
        QTest::newRow("export") << QStringList{"export", "--pcap", "FIFO", "--mcap", "OUT"} << fifo;
        QTest::newRow("slice") << QStringList{"slice", "--pcap", "FIFO", "--out", "OUT"} << fifo;
        QTest::newRow("replay") << QStringList{"replay", "--pcap", "FIFO", "--data-port", "9", "--telemetry-port", "9"}
                                << fifo;
        QTest::newRow("serve") << QStringList{"serve", "--pcap", "FIFO", "--port", "0"} << fifo;
        QTest::newRow("a folder") << QStringList{"export", "--pcap", "FOLDER", "--csv", "OUT"}
                                  << "a folder, not a capture file";
    }
    void captureThatIsNoFileIsRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        const QString fifo = dir_.filePath("capture.fifo");
        QVERIFY(QFile::exists(fifo) || ::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const QString out = dir_.filePath("never-written");
        QProcess p;
        p.start(HVK32_CLI_PATH, arguments.replaceInStrings("FIFO", fifo)
                                    .replaceInStrings("FOLDER", dir_.path())
                                    .replaceInStrings("OUT", out));
        const bool ended = p.waitForFinished(20000);
        if (!ended)
            p.kill();
        QVERIFY2(ended, "it waited for a writer");
        const QByteArray errors = p.readAllStandardError();
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(errors.contains(says.toUtf8()), errors.constData());
        QVERIFY(!QFile::exists(out));
    }

    // An output that exists and is not a regular file is written in place and stays what it
    // is; one that cannot be created fails the run before any frame.
    void outputThatIsNoFile()
    {
        const QString capture = simulatorCapture("to-special.pcap", 1);
        QVERIFY(!capture.isEmpty());
        const QString csv = dir_.filePath("regular.csv");
        QCOMPARE(runToEnd(HVK32_CLI_PATH, {"export", "--pcap", capture, "--csv", csv, "--frames", "2"}).exitCode, 0);
        const QString slice = dir_.filePath("regular-slice.pcap");
        QCOMPARE(runToEnd(HVK32_CLI_PATH, {"slice", "--pcap", capture, "--out", slice, "--to", "2"}).exitCode, 0);

        // Through a FIFO to a reader: the same bytes, and the FIFO stays.
        const QString fifo = dir_.filePath("out.fifo");
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const struct {
            QStringList arguments;
            QString regular;
        } throughFifo[] = {
            {{"export", "--pcap", capture, "--csv", fifo, "--frames", "2"}, csv},
            {{"slice", "--pcap", capture, "--out", fifo, "--to", "2"}, slice},
        };
        for (const auto& c : throughFifo) {
            QProcess reader;
            const QString copy = dir_.filePath("read-from-fifo");
            reader.setStandardOutputFile(copy);
            reader.start("cat", {fifo});
            QVERIFY(reader.waitForStarted());
            const Run r = runToEnd(HVK32_CLI_PATH, c.arguments);
            QVERIFY2(r.exitCode == 0, r.errors.constData());
            QVERIFY(reader.waitForFinished(20000));
            QVERIFY(readFile(copy) == readFile(c.regular));
            QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
        }

        // Refused before any work, with the reason.
        struct Refused {
            QStringList output;
            const char* says;
        };
        const Refused refused[] = {
            {{"--csv", dir_.path()}, "cannot be written: Is a directory"},
            {{"--mcap", dir_.filePath("no-such-dir/out.mcap")}, "cannot be written: No such file or directory"},
            {{"--las", fifo}, "is a FIFO or a socket, and this file's header is written last"},
            {{"--kitti", csv}, "is not a folder"},
        };
        for (const Refused& c : refused) {
            const Run r = runToEnd(HVK32_CLI_PATH, QStringList{"export", "--pcap", capture} + c.output);
            QCOMPARE(r.exitCode, 1);
            QVERIFY2(r.errors.contains(c.says), r.errors.constData());
            QVERIFY2(!r.errors.contains("exported"), r.errors.constData());
        }

        // A character device made with mknod is written into, not replaced (needs root).
        if (::geteuid() != 0)
            QSKIP("making a device node needs root");
        const QString device = dir_.filePath("null-device");
        QVERIFY(::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0);
        for (const QStringList& output : {QStringList{"export", "--pcap", capture, "--csv", device},
                                          QStringList{"export", "--pcap", capture, "--las", device},
                                          QStringList{"slice", "--pcap", capture, "--out", device}}) {
            const Run r = runToEnd(HVK32_CLI_PATH, output);
            QVERIFY2(r.exitCode == 0, r.errors.constData());
            struct stat st {};
            QVERIFY(::stat(QFile::encodeName(device).constData(), &st) == 0);
            QVERIFY2(S_ISCHR(st.st_mode), qPrintable(output.join(' ')));
        }
    }

    void exportMatchesWindowExport()
    {
        const QString path = exportCapture();
        QVERIFY(!path.isEmpty());
        const QString csv = dir_.filePath("cli.csv");
        Run r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--csv", csv});
        QCOMPARE(r.exitCode, 0);
        const QByteArray expected = windowExport(path, 0, channelRange(0, 31));
        // The capture's 0.33-degree mode and offset angles are what the export converts with.
        QCOMPARE(lastOffsets_[0], 2.5f);
        QCOMPARE(expected.count("\n3,"), 900 * 32);
        QVERIFY(!expected.contains("\n4,"));
        QVERIFY(readFile(csv) == expected);
        QCOMPARE(summaryPoints(r.errors, 3), qint64(expected.count('\n') - 1));
        QVERIFY(!r.errors.contains('\r')); // no progress bar when stderr is not a terminal

        // The first two frames, three channels, and an empty angle range widened as the dialog does.
        r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--csv", csv, "--frames", "2", "--channels", "5,30-31",
                                      "--angle-min", "90", "--angle-max", "90"});
        QCOMPARE(r.exitCode, 0);
        const QByteArray selected = windowExport(path, 2, {5, 30, 31}, 89.5f, 90.5f);
        QSet<QByteArray> frameIds, channels;
        for (const QByteArray& line : selected.split('\n').mid(1, selected.count('\n') - 1)) {
            const QList<QByteArray> fields = line.split(',');
            frameIds << fields[0];
            channels << fields[5];
        }
        QCOMPARE(frameIds, (QSet<QByteArray>{"1", "2"}));
        QCOMPARE(channels, (QSet<QByteArray>{"5", "30", "31"}));
        QVERIFY(readFile(csv) == selected);

        // A distance range keeps exactly the lines of the whole export whose distance lies in it
        // (lines within a millimetre of a bound, where the printed text rounds, are not compared).
        r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--csv", csv, "--min-distance", "3", "--max-distance", "8"});
        QCOMPARE(r.exitCode, 0);
        auto linesInRange = [](const QByteArray& text) {
            QByteArrayList lines;
            for (const QByteArray& line : text.split('\n').mid(1)) {
                const double metres = line.split(',').value(7).toDouble();
                if (!line.isEmpty() && metres > 3.001 && metres < 7.999)
                    lines << line;
            }
            return lines;
        };
        const QByteArrayList inRange = linesInRange(expected);
        QVERIFY(inRange.size() > 1000 && inRange.size() < expected.count('\n') - 1000);
        QVERIFY(linesInRange(readFile(csv)) == inRange);
        for (const QByteArray& line : readFile(csv).split('\n').mid(1, -1))
            QVERIFY(line.isEmpty() || (line.split(',').value(7).toDouble() >= 2.9999 && line.split(',').value(7).toDouble() <= 8.0001));
    }

    // A capture converts with the vertical angles its device-info packets carry: the 1-degree
    // table shifted by +0.5 degrees gives other elevations than the unshifted one, along the
    // shifted angles; a table that changes mid-file converts the frames before and after with
    // their own, also from a frame reached through the index; a table more than 1.5 degrees off
    // on one channel is not used, and the channel is named once.
    void exportConvertsWithTheCapturesCalibration()
    {
        // Four frames at 600 rpm: the second device-info packet arrives inside frame 3. The
        // same returns and time stamps in every capture; only the vertical angles differ.
        auto capture = [this](const QString& name, float before, float after, int channel = -1) {
            hvk32::sim::ScannerSettings settings;
            settings.clockStart = hvk32::sim::ClockTime{};
            hvk32::test::CaptureBuilder b(settings);
            b.deviceInfo([&](std::uint8_t* p) { hvk32::test::shiftVerticalAngles(p, before, channel); }).revolutions(2.5);
            b.deviceInfo([&](std::uint8_t* p) { hvk32::test::shiftVerticalAngles(p, after, channel); }).revolutions(2.5);
            return writeFile(name, b.bytes());
        };
        auto exported = [this](const QString& pcap, const QStringList& extra = {}) {
            const QString csv = pcap + ".csv";
            const Run r = runToEnd(HVK32_CLI_PATH, QStringList{"export", "--pcap", pcap, "--csv", csv} + extra);
            return r.exitCode == 0 ? qMakePair(readFile(csv), r.errors) : qMakePair(QByteArray(), r.errors);
        };
        const auto plain = exported(capture("plain.pcap", 0, 0));
        const auto shifted = exported(capture("shifted.pcap", 0.5f, 0.5f));
        const auto changed = exported(capture("changed.pcap", 0, 0.5f));
        QCOMPARE(csvFrames(plain.first).keys(), (QList<QByteArray>{"1", "2", "3", "4"}));
        QVERIFY(plain.second.startsWith("exported 4 frames")); // no word about the angles
        QVERIFY(shifted.first != plain.first);
        QCOMPARE(shifted.first.count('\n'), plain.first.count('\n'));
        // Channel 0's first return, 6.532 m out: z = 6.532 sin(-15.5 deg) = -1.74560 m, not
        // 6.532 sin(-16 deg) = -1.80046 m; x = 6.532 cos(-15.5 deg) + the emitter's offset.
        QVERIFY(plain.first.contains("\n1,6.3271,0.0110958,-1.80046,14,0,0,6.532,"));
        QVERIFY(shifted.first.contains("\n1,6.34257,0.0110958,-1.7456,14,0,0,6.532,"));
        const auto plainFrames = csvFrames(plain.first);
        const auto shiftedFrames = csvFrames(shifted.first);
        const auto changedFrames = csvFrames(changed.first);
        for (const QByteArray& id : plainFrames.keys()) {
            QVERIFY(elevationsFollow(plainFrames[id], 0));
            QVERIFY(elevationsFollow(shiftedFrames[id], 0.5f));
            // The new table is in force from the frame in which its packet arrives.
            QVERIFY2(changedFrames[id] == (id < "3" ? plainFrames[id] : shiftedFrames[id]), id.constData());
        }
        // From frame 3 on through the index: the table in force there, not the file's first.
        const auto fromThree = exported(capture("changed.pcap", 0, 0.5f), {"--from", "3"});
        QCOMPARE(csvFrames(fromThree.first).keys(), (QList<QByteArray>{"3", "4"}));
        QVERIFY(csvFrames(fromThree.first)["3"] == shiftedFrames["3"]);

        // Channel 7 two degrees off in both packets: the built-in table, said once.
        const auto wrong = exported(capture("wrong.pcap", 2, 2, 7));
        QVERIFY(wrong.first == plain.first);
        QCOMPARE(wrong.second.count("channel 7 "), 1);
        QVERIFY2(wrong.second.contains("vertical angle of channel 7 in the device-info packet (5 degrees) is more than "
                                       "1.5 degrees off the built-in table (3 degrees)"),
                 wrong.second.constData());
    }

    // The device-info messages of an MCAP file go where the export meets them: before the
    // first frame the one in force at its start, then each before the first frame that
    // starts after it, and after the last frame those up to its end, or to the end of the
    // capture when the range has no end. Five packets: the second arrives inside frame 3
    // of four, the third inside frame 4, the last two after the data.
    void mcapDeviceInfoBeforeTheFramesAfterIt_data()
    {
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<QString>("channels"); // of the messages in file order: I device info, P points
        QTest::newRow("every frame") << QStringList{} << "IPPPIPIII";
        QTest::newRow("from frame 3") << QStringList{"--from", "3"} << "IPIPIII";
        QTest::newRow("from frame 4") << QStringList{"--from", "4"} << "IPIII";
        QTest::newRow("frames 1 to 2") << QStringList{"--to", "2"} << "IPP";
        QTest::newRow("frames 3 to 4") << QStringList{"--from", "3", "--to", "4"} << "IPIPI";
        QTest::newRow("frame 3 alone") << QStringList{"--from", "3", "--frames", "1"} << "IPI";
    }
    void mcapDeviceInfoBeforeTheFramesAfterIt()
    {
        QFETCH(QStringList, range);
        QFETCH(QString, channels);
        hvk32::sim::ScannerSettings settings;
        settings.clockStart = hvk32::sim::ClockTime{};
        hvk32::test::CaptureBuilder b(settings);
        b.deviceInfo().revolutions(2.5);
        b.deviceInfo([](std::uint8_t* p) { hvk32::test::shiftVerticalAngles(p, 0.5f, -1); }).revolutions(1);
        b.deviceInfo().revolutions(1.5).deviceInfo().deviceInfo();
        const QString pcap = writeFile("five-infos.pcap", b.bytes());
        const QString mcap = dir_.filePath("five-infos.mcap");
        const Run r = runToEnd(HVK32_CLI_PATH, QStringList{"export", "--pcap", pcap, "--mcap", mcap, "--compression", "none"}
                                                   + range);
        QVERIFY2(r.exitCode == 0, r.errors.constData());
        // The messages of every chunk, in file order: their channels and log times.
        const QByteArray file = readFile(mcap);
        const auto u64 = [](const char* p) { return qFromLittleEndian<quint64>(p); };
        QString order;
        QList<quint64> times;
        std::function<void(const char*, const char*)> walk = [&](const char* p, const char* end) {
            while (end - p >= 9 && std::uint8_t(*p) != 0x0F) { // to the end of the data section
                const std::uint8_t op = std::uint8_t(*p);
                const char* content = p + 9;
                p = content + u64(p + 1);
                if (op == 0x05) { // message: channel, sequence, log time, publish time, data
                    order += qFromLittleEndian<quint16>(content) == 1 ? 'P' : 'I';
                    times.append(u64(content + 6));
                } else if (op == 0x06) { // chunk: times, sizes, crc, compression, then its records
                    const char* c = content + 28;
                    c += 4 + qFromLittleEndian<quint32>(c);
                    walk(c + 8, c + 8 + u64(c));
                }
            }
        };
        walk(file.constData() + 8, file.constData() + file.size());
        QCOMPARE(order, channels);
        QVERIFY(std::is_sorted(times.begin(), times.end()));
    }

    void exportPcdFiles()
    {
        const QString path = exportCapture();
        QVERIFY(!path.isEmpty());
        const QString out = dir_.filePath("scan.pcd");
        const Run r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--pcd", out, "--frames", "2", "--channels", "0-15",
                                                "--fields", "x,y,z,intensity"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(!QFile::exists(dir_.filePath("scan-000003.pcd")));

        // Each file holds the frame's CSV points less those of distance 0, as 32-bit floats.
        const QList<QByteArray> lines = windowExport(path, 2, channelRange(0, 15)).trimmed().split('\n').mid(1);
        qint64 total = 0, zeros = 0;
        for (int frame = 1; frame <= 2; ++frame) {
            QList<QList<QByteArray>> expected;
            for (const QByteArray& line : lines) {
                QList<QByteArray> fields = line.split(',');
                if (fields[0].toInt() != frame)
                    continue;
                if (fields[7] == "0")
                    ++zeros;
                else
                    expected << fields;
            }
            const QByteArray pcd = readFile(dir_.filePath(QString("scan-%1.pcd").arg(frame, 6, 10, QChar('0'))));
            const int dataAt = pcd.indexOf("DATA binary\n") + 12;
            QVERIFY(dataAt > 12);
            const QByteArray header = pcd.left(dataAt);
            for (const char* field : {"FIELDS x y z intensity\n", "SIZE 4 4 4 4\n", "TYPE F F F F\n", "HEIGHT 1\n"})
                QVERIFY2(header.contains(field), header.constData());
            QVERIFY2(header.contains(QString("\nPOINTS %1\n").arg(expected.size()).toLatin1()), header.constData());
            QCOMPARE(pcd.size() - dataAt, expected.size() * 16);
            for (int i = 0; i < expected.size(); ++i) {
                float v[4];
                std::memcpy(v, pcd.constData() + dataAt + 16 * i, sizeof v);
                for (int k = 0; k < 4; ++k) {
                    const double want = expected[i][k + 1].toDouble();
                    QVERIFY2(std::fabs(v[k] - want) <= 1e-5 * std::max(1.0, std::fabs(want)),
                             qPrintable(QString("frame %1 point %2 field %3: %4, CSV %5").arg(frame).arg(i).arg(k).arg(v[k]).arg(want)));
                }
            }
            total += expected.size();
        }
        QVERIFY(zeros > 0);
        QCOMPARE(summaryPoints(r.errors, 2), total);

        // PLY: the same points, named by the frame's number in a whole run.
        const QString ply = dir_.filePath("scan.ply");
        const Run p = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--ply", ply, "--from", "2", "--channels", "0-15",
                                                "--fields", "intensity,x,z,y"});
        QCOMPARE(p.exitCode, 0);
        QVERIFY(!QFile::exists(dir_.filePath("scan-000001.ply")));
        const QByteArray plyBytes = readFile(dir_.filePath("scan-000002.ply"));
        const QByteArray pcd = readFile(dir_.filePath("scan-000002.pcd"));
        const QByteArray points = pcd.mid(pcd.indexOf("DATA binary\n") + 12);
        const int body = plyBytes.indexOf("end_header\n") + 11;
        QVERIFY(plyBytes.left(body).contains("format binary_little_endian"));
        QVERIFY(plyBytes.left(body).contains(QString("element vertex %1\n").arg(points.size() / 16).toLatin1()));
        QVERIFY(plyBytes.mid(body, points.size()) == points);

        // Without --fields every field; a field named wrongly is refused.
        const Run all = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--pcd", dir_.filePath("all.pcd"), "--frames", "1"});
        QCOMPARE(all.exitCode, 0);
        const QByteArray allPcd = readFile(dir_.filePath("all-000001.pcd"));
        QVERIFY2(allPcd.contains("\nFIELDS x y z intensity ring time azimuth distance return\nSIZE 4 4 4 4 2 4 4 4 1\n"
                                 "TYPE F F F F U F F F U\n"),
                 allPcd.left(300).constData());
        for (const char* fields : {"x,y,q", "x,x", ""}) {
            const Run bad = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--pcd", out, "--fields", fields});
            QCOMPARE(bad.exitCode, 2);
        }
        QCOMPARE(runToEnd(HVK32_CLI_PATH, {"export", "--pcap", path, "--csv", dir_.filePath("f.csv"), "--fields", "x"}).exitCode, 2);
    }

    void exportRefusesBadInput()
    {
        const QString capture = simulatorCapture("bad-input.pcap", 1);
        QVERIFY(!capture.isEmpty());
        const QString text = writeFile("notes.pcap", "not a capture, just text\n");
        const QString csv = dir_.filePath("refused.csv");
        struct Case {
            QStringList arguments;
            int exitCode;
            const char* message;
        };
        const Case cases[] = {
            {{"--angle-min", "10", "--angle-max", "5"}, 2, "Angle range invalid"},
            {{"--angle-min", "-1", "--angle-max", "10"}, 2, "Invalid angle"},
            {{"--angle-max", "360.5"}, 2, "Invalid angle"},
            {{"--angle-min", ""}, 2, "Angle range can not be empty"},
            {{"--angle-max", "ninety"}, 2, "bad value 'ninety' for --angle-max"},
            {{"--min-distance", "-1"}, 2, "bad value '-1' for --min-distance"},
            {{"--min-distance", "5", "--max-distance", "2"}, 2, "Distance range invalid"},
            {{"--channels", "0-32"}, 2, "bad value '0-32' for --channels"},
            {{"--channels", "7-3"}, 2, "bad value '7-3' for --channels"},
            {{"--frames", "0"}, 2, "bad value '0' for --frames"},
            {{"--pcd", dir_.filePath("refused")}, 2, "one of --csv OUT, --pcd OUT or --ply OUT, --las OUT"},
            {{"--from", "5", "--to", "4"}, 2, "--from 5 is after --to 4"},
            {{"--from", "40"}, 1, "has 19 frames, so there is no frame 40"},
        };
        for (const Case& c : cases) {
            const Run r = runToEnd(HVK32_CLI_PATH, QStringList{"export", "--pcap", capture, "--csv", csv} + c.arguments);
            QCOMPARE(r.exitCode, c.exitCode);
            QVERIFY2(r.errors.contains(c.message), r.errors.constData());
            QVERIFY(!QFile::exists(csv));
        }

        // The capture itself is never the output.
        const QByteArray before = readFile(capture);
        Run r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", capture, "--csv", capture});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errors.contains("would overwrite the capture"), r.errors.constData());
        QVERIFY(readFile(capture) == before);

        // A file that is not a capture writes nothing; an output that cannot be written fails.
        r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", text, "--csv", csv});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errors.contains("not a capture file"), r.errors.constData());
        QVERIFY(!QFile::exists(csv));
        r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", capture, "--csv", dir_.filePath("no-such-dir/out.csv")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errors.contains("cannot be written"), r.errors.constData());
    }

    // A full disk fails the export with the reason and exit 1 and leaves no file of it;
    // an older file of the same name stays as it was. Needs root to mount a small disk.
    void exportToFullDiskLeavesNoFile_data()
    {
        QTest::addColumn<QStringList>("output"); // options, the last one's value a name inside the small disk
        QTest::addColumn<bool>("singleFile");
        QTest::addColumn<QString>("diskSize");
        QTest::newRow("csv") << QStringList{"--csv", "out.csv"} << true << "128k";
        QTest::newRow("las by extension") << QStringList{"--out", "out.las"} << true << "128k";
        QTest::newRow("mcap, lz4") << QStringList{"--compression", "lz4", "--mcap", "out.mcap"} << true << "128k";
        QTest::newRow("pcd") << QStringList{"--pcd", "out.pcd"} << false << "128k";
        QTest::newRow("kitti") << QStringList{"--kitti", "kitti"} << false << "128k";
        // Room for a few frames' files, written behind the conversion: the summary counts
        // exactly the files that are there.
        QTest::newRow("pcd, a few frames fit") << QStringList{"--pcd", "out.pcd"} << false << "8m";
    }

    void exportToFullDiskLeavesNoFile()
    {
        QFETCH(QStringList, output);
        QFETCH(bool, singleFile);
        QFETCH(QString, diskSize);
        if (::geteuid() != 0 || QStandardPaths::findExecutable("unshare").isEmpty())
            QSKIP("mounting a small disk needs root and unshare");
        const QString capture = simulatorCapture("full-disk.pcap", 1);
        QVERIFY(!capture.isEmpty());
        const QString disk = dir_.filePath("small-disk");
        QVERIFY(QDir().mkpath(disk));
        // In a mount namespace of its own: a 128 KiB disk, an older file, the export, then
        // every file left on the disk with its bytes.
        const char* script =
            "mount -t tmpfs -o size=$7 none \"$1\" || exit 77\n"
            "[ \"$5\" = single ] && printf old > \"$1/$4\"\n"
            "\"$2\" export --pcap \"$3\" $6 \"$1/$4\"\n"
            "rc=$?\n"
            "for f in $(find \"$1\" -type f | sort); do echo \"$f: $(head -c 8 \"$f\")\"; done\n"
            "exit $rc\n";
        const Run r = runToEnd("unshare", {"-m", "sh", "-c", script, "sh", disk, HVK32_CLI_PATH, capture, output.last(),
                                           singleFile ? "single" : "many", output.mid(0, output.size() - 1).join(' '),
                                           diskSize});
        if (r.exitCode == 77)
            QSKIP("no tmpfs could be mounted here");
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.errors.contains("cannot be written: No space left on device"), r.errors.constData());
        if (singleFile) {
            QCOMPARE(r.lines, QList<QByteArray>{(disk + "/" + output.last() + ": old").toUtf8()});
            return;
        }
        const QRegularExpressionMatch counted = QRegularExpression("exported (\\d+) frame").match(QString::fromUtf8(r.errors));
        QVERIFY2(counted.hasMatch(), r.errors.constData());
        QCOMPARE(r.lines.size(), counted.captured(1).toInt());
        QCOMPARE(r.lines.isEmpty(), diskSize == "128k");
    }

    // A stop signal during a single-file export leaves neither the file nor its temporary.
    void interruptedExportLeavesNoFile()
    {
        const QString capture = simulatorCapture("long.pcap", 10, {"--echo", "dual", "--rpm", "600"});
        QVERIFY(!capture.isEmpty());
        QDir dir(dir_.filePath("interrupted"));
        QVERIFY(dir.mkpath("."));
        QProcess cli;
        cli.start(HVK32_CLI_PATH, {"export", "--pcap", capture, "--las", dir.filePath("scan.las")});
        QVERIFY(cli.waitForStarted());
        bool begun = false; // the temporary file is there: the export runs
        for (int i = 0; i < 2000 && !begun && cli.state() == QProcess::Running; ++i) {
            begun = !dir.entryList({"scan.las*"}, QDir::Files).isEmpty();
            if (!begun)
                QTest::qWait(2);
        }
        QVERIFY(begun);
        ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
        QVERIFY(cli.waitForFinished(30000));
        const QByteArray errors = cli.readAllStandardError();
        QCOMPARE(cli.exitCode(), 1);
        QVERIFY2(errors.contains("interrupted; the output is not written"), errors.constData());
        QCOMPARE(dir.entryList(QDir::Files), QStringList{});

        // An output name whose extension names no writer is refused before anything is read.
        const Run r = runToEnd(HVK32_CLI_PATH, {"export", "--pcap", capture, "--out", dir.filePath("scan.txt")});
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errors.contains("ends in none of .csv, .pcd, .ply, .las and .mcap"), r.errors.constData());
    }

    void framesAsJsonLines()
    {
        const auto lines = receiveFrames({"--rpm", "1200"}, {"--count", "2"});
        QCOMPARE(lines.size(), 2);
        const QJsonObject frame = QJsonDocument::fromJson(lines[1]).object();
        QCOMPARE(frame.keys(), (QStringList{"azimuths", "blockAzimuths", "distances", "intensities", "lostPackets",
                                            "timestamps"}));
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
        QCOMPARE(lines[1], QByteArray("frame 2: blocks 1800, points per channel 1801, lost 0"));
    }

    // Without --config the echo mode comes from the device's device-info packets, as in the
    // window: a dual-echo stream is decoded as dual echo.
    void echoModeFromDevice()
    {
        const auto lines = receiveFrames({"--echo", "dual"}, {"--echo", "1", "--count", "2", "--summary"});
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[1], QByteArray("frame 2: blocks 1800, points per channel 1801, lost 0"));
    }

    // Once a second while receiving: packets, lost and receive drops.
    void liveStatistics()
    {
        const auto lines = receiveFrames({"--rpm", "1200", "--loss", "5"}, {"--count", "40", "--summary", "--stats"});
        const QRegularExpression stats("^stats: packets ([0-9]+), lost ([0-9]+) \\([0-9.]+ %\\), receive drops ([0-9]+); ");
        int statsLines = 0, lost = 0;
        for (const QByteArray& line : lines) {
            const auto m = stats.match(QString::fromLatin1(line));
            if (!m.hasMatch())
                continue;
            ++statsLines;
            lost += m.captured(2).toInt();
        }
        QVERIFY2(statsLines >= 1, lines.join('\n').constData());
        QVERIFY(lost > 0);
    }

    // A value no run could use is refused before anything is opened, with exit 2 and a
    // message naming it.
    void badArguments_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("says");
        const QString groups = "--multicast takes a multicast group, 224.0.0.0 to 239.255.255.255, not '%1'";
        QTest::newRow("echo 3") << QStringList{"frames", "--live", "--echo", "3"} << "bad value '3' for --echo";
        QTest::newRow("data port 0") << QStringList{"frames", "--live", "--data-port", "0"}
                                     << "bad value '0' for --data-port";
        QTest::newRow("frames, no address") << QStringList{"frames", "--live", "--multicast", "300.1.1.1"}
                                            << groups.arg("300.1.1.1");
        QTest::newRow("frames, empty group") << QStringList{"frames", "--live", "--multicast", ""} << groups.arg("");
        QTest::newRow("record, no address") << QStringList{"record", "--out", "OUT", "--multicast", "999.1.1.1"}
                                            << groups.arg("999.1.1.1");
        QTest::newRow("record, not a group") << QStringList{"record", "--out", "OUT", "--multicast", "1.2.3.4"}
                                             << groups.arg("1.2.3.4");
        QTest::newRow("version and more") << QStringList{"--version", "--bogus"} << "unknown option '--bogus'";
    }
    void badArguments()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, says);
        const QString out = dir_.filePath("refused-record.pcap");
        const Run r = runToEnd(HVK32_CLI_PATH, arguments.replaceInStrings("OUT", out));
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.errors.contains(says.toUtf8()), r.errors.constData());
        QVERIFY(r.lines.isEmpty());
        QVERIFY(!QFile::exists(out));
    }

    void simulatorSendsOnlyToLoopback()
    {
        QProcess p;
        // The simulator sends only to loopback or a multicast group.
        p.start(HVK32_SIM_PATH, {"--host", "192.168.1.200", "--seconds", "1"});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("loopback"));
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
