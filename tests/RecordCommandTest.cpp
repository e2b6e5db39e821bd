// "hvk32-cli record" as a user runs it against hvk32-sim on loopback: what it refuses, a
// recording ended by SIGTERM that plays with its configuration and that tcpdump lists, and
// recordings killed at random moments that still hold only whole records.

#include "acquisition/CaptureFile.h"
#include "acquisition/CapturePlayerCore.h"
#include "io/SocketRecorder.h"
#include "platform/UdpSocket.h"
#include "support/PlayedCapture.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace hvk32;
namespace cf = hvk32::capturefile;

namespace {

struct FileCheck {
    int scannerRecords = 0;
    int deviceInfoRecords = 0;
    bool deviceInfoFirst = false;
    int backwardTimes = 0; // records whose time is earlier than the one before
    std::uint64_t firstTime = 0, lastTime = 0; // microseconds
    cf::Damage damage;
};

FileCheck checkFile(const QString& path)
{
    FileCheck check;
    cf::CaptureReader reader;
    if (!reader.open(path)) {
        check.damage.badLengths = 1;
        return check;
    }
    cf::ScannerRecord r;
    for (auto read = reader.next(r); read != cf::CaptureReader::Read::End; read = reader.next(r)) {
        if (read != cf::CaptureReader::Read::Scanner)
            continue;
        const bool deviceInfo = r[cf::kPayloadOffset] == 0xA5;
        check.deviceInfoFirst = check.scannerRecords == 0 ? deviceInfo : check.deviceInfoFirst;
        check.deviceInfoRecords += deviceInfo;
        const auto header = cf::readRecordHeader(r.data(), reader.format());
        const std::uint64_t time = std::uint64_t(header.seconds) * 1000000 + header.fraction;
        check.backwardTimes += check.scannerRecords > 0 && time < check.lastTime;
        check.firstTime = check.scannerRecords == 0 ? time : check.firstTime;
        check.lastTime = time;
        ++check.scannerRecords;
    }
    check.damage = reader.damage();
    return check;
}

int framesPlayed(const QString& path)
{
    return hvk32::test::playCapture(path).frames;
}

// Lines tcpdump prints for a capture file; -1 when tcpdump is not installed.
int tcpdumpLines(const QString& path)
{
    const QString tcpdump = QStandardPaths::findExecutable("tcpdump", {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
    if (tcpdump.isEmpty())
        return -1;
    QProcess p;
    p.start(tcpdump, {"-n", "-r", path});
    p.waitForFinished(30000);
    return p.readAllStandardOutput().count('\n');
}

bool playsWithConfiguration(const QString& path)
{
    CapturePlayerCore player;
    if (!player.open(path))
        return false;
    player.start();
    while (player.next(CapturePlayerCore::Direction::Forward) != CapturePlayerCore::Event::End) {}
    return player.configurationReported();
}

} // namespace

class RecordCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QProcess sim_;
    std::uint16_t dataPort_ = 0, telemetryPort_ = 0;

    QStringList recordArguments(const QString& out, const QStringList& extra = {}) const
    {
        return QStringList{"record", "--out", out, "--data-port", QString::number(dataPort_), "--telemetry-port",
                           QString::number(telemetryPort_)}
            + extra;
    }

    // Starts a recording and waits until both ports are bound.
    static bool startRecording(QProcess& cli, const QStringList& arguments)
    {
        cli.start(HVK32_CLI_PATH, arguments);
        if (!cli.waitForStarted())
            return false;
        QByteArray errors;
        for (int i = 0; i < 100 && !errors.contains("recording UDP ports"); ++i) {
            cli.waitForReadyRead(100);
            errors += cli.readAllStandardError();
        }
        return errors.contains("recording UDP ports");
    }

private slots:
    void initTestCase()
    {
        dataPort_ = platform::findFreeUdpPort();
        telemetryPort_ = platform::findFreeUdpPort();
        sim_.start(HVK32_SIM_PATH, {"--data-port", QString::number(dataPort_), "--telemetry-port",
                                    QString::number(telemetryPort_), "--rpm", "1200", "--echo", "dual", "--seconds",
                                    "120", "--quiet"});
        QVERIFY(sim_.waitForStarted());
    }

    void cleanupTestCase()
    {
        sim_.terminate();
        sim_.waitForFinished(3000);
    }

    void refusesBadArgumentsAndUnwritableFiles_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("no output") << QStringList{"record", "--seconds", "1"} << 2 << "--out FILE is required";
        QTest::newRow("port 0") << QStringList{"record", "--out", "x.pcap", "--data-port", "0"} << 2 << "--data-port";
        QTest::newRow("same ports") << QStringList{"record", "--out", "x.pcap", "--data-port", "5000",
                                                   "--telemetry-port", "5000"}
                                    << 2 << "must differ";
        QTest::newRow("size") << QStringList{"record", "--out", "x.pcap", "--max-mb", "1.5"} << 2 << "--max-mb";
        QTest::newRow("missing folder") << QStringList{"record", "--out", "/nonexistent-hvk32/x.pcap", "--seconds", "1"}
                                        << 1 << "/nonexistent-hvk32/x.pcap";
        QTest::newRow("full disk") << QStringList{"record", "--out", "/dev/full", "--seconds", "1"} << 1
                                   << "No space left on device";
    }

    void refusesBadArgumentsAndUnwritableFiles()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        p.start(HVK32_CLI_PATH, arguments);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), exitCode);
        const QString errors = QString::fromLocal8Bit(p.readAllStandardError());
        QVERIFY2(errors.contains(message), qPrintable(errors));
        QVERIFY(!QFile::exists(dir_.filePath("x.pcap")));
    }

    void sigtermClosesAFileThatPlaysWithItsConfiguration()
    {
        const QString out = dir_.filePath("term.pcap");
        QProcess cli;
        QVERIFY(startRecording(cli, recordArguments(out)));
        // Long enough for a device-info packet, which comes once a second.
        QTRY_VERIFY_WITH_TIMEOUT(checkFile(out).deviceInfoRecords >= 1 && checkFile(out).scannerRecords > 3000, 15000);
        cli.terminate();
        QVERIFY(cli.waitForFinished(5000));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 0);

        const QString summary = QString::fromLocal8Bit(cli.readAllStandardOutput());
        const FileCheck file = checkFile(out);
        QVERIFY(!file.damage.any());
        const auto match = QRegularExpression("^recorded ([0-9,]+) packets in ").match(summary);
        QVERIFY2(match.hasMatch(), qPrintable(summary));
        QCOMPARE(match.captured(1).remove(',').toInt(), file.scannerRecords);
        // Two receive threads write into the file, and its times still never go back.
        QCOMPARE(file.backwardTimes, 0);
        QVERIFY(playsWithConfiguration(out));
        const int listed = tcpdumpLines(out);
        if (listed >= 0)
            QCOMPARE(listed, file.scannerRecords);
    }

    // With 1 MB files on a 1200 rpm dual-echo stream the first files fill in a fraction of
    // the second between two device-info packets: each still begins with one and plays alone,
    // and the times go on from file to file without going back.
    void everyRotatedFilePlaysAlone()
    {
        const QString out = dir_.filePath("rot.pcap");
        QProcess cli;
        QVERIFY(startRecording(cli, recordArguments(out, {"--max-mb", "1", "--seconds", "3"})));
        QVERIFY(cli.waitForFinished(15000));
        QCOMPARE(cli.exitCode(), 0);
        const QString summary = QString::fromLocal8Bit(cli.readAllStandardOutput());

        std::uint64_t lastTime = 0;
        int files = 0;
        for (int index = 0;; ++index) {
            const QString name = SocketRecorder::rotatedFileName(out, index);
            if (!QFile::exists(name))
                break;
            ++files;
            const FileCheck file = checkFile(name);
            QVERIFY(!file.damage.any());
            QVERIFY2(file.deviceInfoFirst, qPrintable(name));
            QCOMPARE(file.backwardTimes, 0);
            QVERIFY2(file.firstTime >= lastTime, qPrintable(name + ": begins before the file before it ends"));
            lastTime = file.lastTime;
            QVERIFY2(playsWithConfiguration(name), qPrintable(name));
            // A revolution is 300 packets; each full file holds more than two, the last may not.
            if (file.scannerRecords > 600)
                QVERIFY2(framesPlayed(name) > 0, qPrintable(name));
        }
        QVERIFY2(files >= 3, qPrintable(summary));
        QVERIFY2(summary.contains(QFileInfo(SocketRecorder::rotatedFileName(out, files - 1)).fileName()), qPrintable(summary));
    }

    // Each record goes to the file in one write: a kill at any moment leaves whole records,
    // but for the last one, which the system may cut at a page boundary when the kill comes
    // in the middle of its write (the reader drops it and says so).
    void killedAtRandomMomentsLeavesWholeRecords()
    {
        for (int run = 0; run < 4; ++run) {
            const QString out = dir_.filePath(QStringLiteral("kill%1.pcap").arg(run));
            QProcess cli;
            QVERIFY(startRecording(cli, recordArguments(out)));
            QTest::qWait(200 + int(QRandomGenerator::global()->bounded(1300)));
            ::kill(pid_t(cli.processId()), SIGKILL);
            QVERIFY(cli.waitForFinished(5000));
            QCOMPARE(cli.exitStatus(), QProcess::CrashExit);

            const FileCheck file = checkFile(out);
            const QString damage = QStringLiteral("run %1: %2 records cut off, %3 bad lengths, %4 damaged places")
                                       .arg(run)
                                       .arg(file.damage.truncatedRecords)
                                       .arg(file.damage.badLengths)
                                       .arg(file.damage.damagedPlaces);
            QVERIFY2(file.damage.truncatedRecords <= 1 && file.damage.badLengths == 0
                         && file.damage.damagedPlaces == 0,
                     qPrintable(damage));
            QVERIFY(file.scannerRecords > 0);
            const int listed = tcpdumpLines(out);
            if (listed >= 0)
                QCOMPARE(listed, file.scannerRecords);
        }
    }
};

QTEST_GUILESS_MAIN(RecordCommandTest)
#include "RecordCommandTest.moc"
