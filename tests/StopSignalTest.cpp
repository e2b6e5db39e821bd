// SIGINT and SIGTERM end every program in order, with its closing summary, even when the
// signal arrives during start-up or the program inherited it as ignored.

#include "platform/UdpSocket.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A child process that starts with the stop signals blocked or ignored, as a script's
// background job or a parent in the middle of forking can leave them.
class ChildProcess : public QProcess {
public:
    enum class Inherit { Blocked, Ignored };
    explicit ChildProcess(Inherit inherit) : inherit_(inherit) {}

    bool waitForStderr(const QByteArray& text)
    {
        for (int i = 0; i < 100 && !errors_.contains(text); ++i) {
            waitForReadyRead(100);
            errors_ += readAllStandardError();
        }
        return errors_.contains(text);
    }

    // Waits for the end; true when the program exited by itself with code 0.
    bool finishedCleanly()
    {
        if (!waitForFinished(30000)) {
            kill();
            waitForFinished();
            return false;
        }
        errors_ += readAllStandardError();
        return exitStatus() == QProcess::NormalExit && exitCode() == 0;
    }

    QByteArray errors() const { return errors_; }

protected:
    void setupChildProcess() override
    {
        if (inherit_ == Inherit::Blocked) {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGINT);
            sigaddset(&set, SIGTERM);
            sigprocmask(SIG_BLOCK, &set, nullptr);
        } else {
            std::signal(SIGINT, SIG_IGN);
            std::signal(SIGTERM, SIG_IGN);
        }
    }

private:
    Inherit inherit_;
    QByteArray errors_;
};

QStringList ports()
{
    return {"--data-port", QString::number(hvk32::platform::findFreeUdpPort())};
}

} // namespace

class StopSignalTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString capture_; // a short capture for "replay" and the outputs

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        capture_ = dir_.filePath("replayed.pcap");
        QProcess sim;
        sim.start(HVK32_SIM_PATH, {"--pcap", capture_, "--seconds", "0.2", "--quiet"});
        QVERIFY(sim.waitForFinished(30000) && sim.exitCode() == 0);
    }

    // The signal is sent right after the program was started; held blocked, it reaches the
    // program however early it comes, and must end the run as a stop, not be lost.
    void signalDuringStartUpEndsTheRun_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("signal");
        QTest::addColumn<QByteArray>("summary");
        // Stopped while it waits for the device's first device-info packet.
        const QStringList live = QStringList{"frames", "--live", "--summary", "--telemetry-port",
                                             QString::number(hvk32::platform::findFreeUdpPort())}
            + ports();
        QTest::newRow("frames --live, SIGINT") << HVK32_CLI_PATH << live << SIGINT << QByteArray("received");
        QTest::newRow("frames --live, SIGTERM") << HVK32_CLI_PATH << live << SIGTERM << QByteArray("received");
        const QStringList sim = QStringList{"--telemetry-port", QString::number(hvk32::platform::findFreeUdpPort()),
                                            "--seconds", "60"}
            + ports();
        QTest::newRow("sim, SIGINT") << HVK32_SIM_PATH << sim << SIGINT << QByteArray("hvk32-sim: sent");
        QTest::newRow("sim, SIGTERM") << HVK32_SIM_PATH << sim << SIGTERM << QByteArray("hvk32-sim: sent");
        const QString port = QString::number(hvk32::platform::findFreeUdpPort());
        const QStringList replay{"replay", "--pcap", capture_, "--loop", "--data-port", port, "--telemetry-port", port};
        QTest::newRow("replay --loop, SIGINT") << HVK32_CLI_PATH << replay << SIGINT << QByteArray("replay: sent");
        QTest::newRow("replay --loop, SIGTERM") << HVK32_CLI_PATH << replay << SIGTERM << QByteArray("replay: sent");
    }

    void signalDuringStartUpEndsTheRun()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, signal);
        QFETCH(QByteArray, summary);
        ChildProcess child(ChildProcess::Inherit::Blocked);
        child.start(program, arguments);
        QVERIFY(child.waitForStarted());
        ::kill(static_cast<pid_t>(child.processId()), signal);
        QVERIFY2(child.finishedCleanly(), child.errors().constData());
        QVERIFY2(child.errors().contains(summary), child.errors().constData());
    }

    // An output that takes no bytes holds a command only until a stop signal: a FIFO without
    // a reader (opening it waits), or with a reader that does not read (a write waits), also
    // as standard output.
    void stopWhileAnOutputWaits_data()
    {
        QTest::addColumn<QStringList>("arguments"); // FIFO: the FIFO's path
        QTest::addColumn<bool>("readerOpen");      // the FIFO has a reader that never reads
        QTest::addColumn<bool>("fifoIsStdout");
        QTest::addColumn<int>("exitCode");
        const QString port = QString::number(hvk32::platform::findFreeUdpPort());
        const QString otherPort = QString::number(hvk32::platform::findFreeUdpPort());
        const QStringList exportCsv{"export", "--pcap", capture_, "--csv", "FIFO"};
        QTest::newRow("export, no reader") << exportCsv << false << false << 1;
        QTest::newRow("export, reader not reading") << exportCsv << true << false << 1;
        QTest::newRow("slice, no reader") << QStringList{"slice", "--pcap", capture_, "--out", "FIFO"} << false << false
                                          << 1;
        QTest::newRow("record, no reader")
            << QStringList{"record", "--out", "FIFO", "--data-port", port, "--telemetry-port", otherPort} << false << false
            << 1;
        QTest::newRow("frames to standard output, reader not reading")
            << QStringList{"frames", "--pcap", capture_} << true << true << 0;
    }

    void stopWhileAnOutputWaits()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, readerOpen);
        QFETCH(bool, fifoIsStdout);
        QFETCH(int, exitCode);
        const QString fifo = dir_.filePath(QString("waiting-%1.fifo").arg(QTest::currentDataTag()).replace(' ', '-'));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const int reader = readerOpen ? ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK) : -1;
        QVERIFY(!readerOpen || reader >= 0);
        QProcess cli;
        if (fifoIsStdout)
            cli.setStandardOutputFile(fifo);
        cli.start(HVK32_CLI_PATH, arguments.replaceInStrings("FIFO", fifo));
        QVERIFY(cli.waitForStarted());
        QTest::qWait(1000); // long enough to be waiting on the FIFO
        ::kill(static_cast<pid_t>(cli.processId()), SIGTERM);
        const bool ended = cli.waitForFinished(30000);
        if (!ended) {
            cli.kill();
            cli.waitForFinished();
        }
        if (reader >= 0)
            ::close(reader);
        QVERIFY2(ended, "the signal did not end it");
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), exitCode);
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile()); // never replaced
    }

    void inheritedIgnoredSignalStillStops()
    {
        ChildProcess child(ChildProcess::Inherit::Ignored);
        child.start(HVK32_CLI_PATH, QStringList{"frames", "--live", "--telemetry-port",
                                                QString::number(hvk32::platform::findFreeUdpPort())}
                                        + ports());
        QVERIFY(child.waitForStarted());
        QVERIFY(child.waitForStderr("listening"));
        ::kill(static_cast<pid_t>(child.processId()), SIGINT);
        QVERIFY2(child.finishedCleanly(), child.errors().constData());
        QVERIFY(child.errors().contains("received 0 datagrams"));
    }

#ifdef HVK32_VIEWER_PATH
    // The viewer closes its window as the user would and prints its statistics.
    void viewerStopsOnSigterm()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("the viewer needs a display (run under xvfb-run)");
        ChildProcess viewer(ChildProcess::Inherit::Blocked);
        viewer.start(HVK32_VIEWER_PATH, QStringList{"--stats", "--connect"} + ports());
        QVERIFY(viewer.waitForStarted());
        ::kill(static_cast<pid_t>(viewer.processId()), SIGTERM);
        QVERIFY2(viewer.finishedCleanly(), viewer.errors().constData());
        QVERIFY(viewer.readAllStandardOutput().contains("frames sent 0"));
    }
#endif
};

QTEST_GUILESS_MAIN(StopSignalTest)
#include "StopSignalTest.moc"
