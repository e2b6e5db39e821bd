// SIGINT and SIGTERM end every program in order, with its closing summary, even when the
// signal arrives during start-up or the program inherited it as ignored.

#include "platform/UdpSocket.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

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
    QString capture_; // a short capture for "replay"

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
