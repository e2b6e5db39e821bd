// The capture-file player: its core walking captures of the simulator's stream, sound and
// damaged, and its thread with the pacing, stepping and signals the window relies on.

#include "acquisition/CapturePlayerCore.h"
#include "acquisition/DeviceInfoPacket.h"
#include "receivers/ReadLiveOffDataK32.h"
#include "platform/Pauses.h"
#include "records/AngleValues.h"
#include "records/MetaTypes.h"
#include "support/CaptureBuilder.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <mutex>
#include <random>
#include <thread>

using namespace hvk32;
using Event = CapturePlayerCore::Event;
using Direction = CapturePlayerCore::Direction;

namespace {

// Settings of the simulator at 1200 rpm: 900 blocks a turn, 75 packets.
sim::ScannerSettings fastScanner(int boardMajor = 2)
{
    sim::ScannerSettings s;
    s.rpm = 1200;
    s.boardMajor = boardMajor;
    return s;
}

// A turn and a fifth of data, a device-info packet of the given board version, three turns.
QByteArray lateDeviceInfoCapture(int boardMajor = 2)
{
    test::CaptureBuilder b(fastScanner(boardMajor));
    return b.revolutions(1.2).deviceInfo().revolutions(3).bytes();
}

struct Walk {
    QList<Event> events;
    QList<int> counters;      // after each Frame
    QList<LidarData> frames;  // each Frame
    bool endedCleanly = true; // ended within the step bound, the position always moving on
};

Walk walk(CapturePlayerCore& core, Direction direction, bool stopAtFrame = false)
{
    Walk w;
    qint64 last = core.position();
    for (int steps = 0; steps < 1000000; ++steps) {
        const Event e = core.next(direction);
        if (e == Event::End)
            return w;
        if (direction == Direction::Forward && core.position() <= last)
            break;
        last = core.position();
        if (e != Event::None && e != Event::DeviceInfo)
            w.events << e;
        if (e == Event::Frame) {
            w.counters << core.frameCounter();
            w.frames << core.frame();
            if (stopAtFrame)
                return w;
        }
    }
    w.endedCleanly = false;
    return w;
}

// A capture's bytes in a player core, read from memory.
struct MemoryCapture {
    explicit MemoryCapture(QByteArray captureBytes) : bytes(std::move(captureBytes)), buffer(&bytes) {}
    MemoryCapture(const MemoryCapture&) = delete;
    MemoryCapture& operator=(const MemoryCapture&) = delete;

    // Opens the bytes and starts a run; false when the core refuses them.
    bool start()
    {
        if (!buffer.open(QIODevice::ReadOnly) || !core.open(&buffer))
            return false;
        core.start();
        return true;
    }

    QByteArray bytes;
    QBuffer buffer;
    CapturePlayerCore core;
};

class RecordingPauses : public platform::Pauses {
public:
    void pause(int ms) override
    {
        if (ms == ReadLiveOffDataK32::kPauseLoopMs) {
            ++pauseLoops_;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        delays_.push_back(ms);
    }
    std::vector<int> delays() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return delays_;
    }
    int pauseLoops() const { return pauseLoops_; }

private:
    mutable std::mutex mutex_;
    std::vector<int> delays_;
    std::atomic<int> pauseLoops_{0};
};

// What the player's signals delivered, in order, in the test's thread. Calls still queued
// when it goes away are dropped with its context.
struct Signals {
    QObject context;
    QStringList order;
    QList<QPair<int, int>> progress;
    QList<bool> finish;
    QList<long> lengths;
    QStringList configs;
    int data = 0;
    QList<float> offsetAngle1s; // of the calibration each frame travels with
};

} // namespace

class CapturePlayerTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QString writeFile(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir_.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return {};
        return path;
    }

    static void listen(ReadLiveOffDataK32& player, Signals& s)
    {
        connect(&player, &ReadLiveOffDataK32::SendData, &s.context, [&s](const LidarData&, const DeviceCalibration& c) {
            s.order << "data";
            ++s.data;
            s.offsetAngle1s << c.offsetAngles[0];
        });
        connect(&player, &ReadLiveOffDataK32::SendProgressValue, &s.context, [&s](int value, int frame) {
            s.order << "progress";
            s.progress << qMakePair(value, frame);
        });
        connect(&player, &ReadLiveOffDataK32::SendLidarConfig, &s.context, [&s](const QString& echo, int degree, int accuracy) {
            s.order << "config";
            s.configs << QString("%1 %2 %3").arg(echo).arg(degree).arg(accuracy);
        });
        connect(&player, &ReadLiveOffDataK32::SendFinsh, &s.context, [&s](bool f) {
            s.order << "finish";
            s.finish << f;
        });
        connect(&player, &ReadLiveOffDataK32::SendFileTotleLength, &s.context, [&s](long length) { s.lengths << length; });
    }

private slots:
    void initTestCase()
    {
        registerRecordMetaTypes();
        QVERIFY(dir_.isValid());
    }

    void simulatorCaptures_data()
    {
        QTest::addColumn<int>("rpm");
        QTest::addColumn<bool>("dual");
        QTest::addColumn<bool>("thirdDegree");
        QTest::addColumn<QString>("configuration");
        QTest::newRow("600 rpm, single echo, 1 degree") << 600 << false << false << "HVK321 0 1";
        QTest::newRow("1200 rpm, dual echo, 0.33 degree") << 1200 << true << true << "HVK322 1 1";
        QTest::newRow("300 rpm, angles past 360") << 300 << false << false << "HVK321 0 1";
    }

    void simulatorCaptures()
    {
        QFETCH(int, rpm);
        QFETCH(bool, dual);
        QFETCH(bool, thirdDegree);
        QFETCH(QString, configuration);
        sim::ScannerSettings settings;
        settings.rpm = rpm;
        settings.echo = dual ? sim::EchoMode::Dual : sim::EchoMode::Single;
        settings.layout = thirdDegree ? sim::Layout::ThirdDegree : sim::Layout::OneDegree;
        test::CaptureBuilder b(settings);
        // Data first: its frame must not be played. A second device-info packet changes nothing.
        MemoryCapture capture(b.revolutions(1.5).deviceInfo().revolutions(1.5).deviceInfo().revolutions(1.5).bytes());
        const int blocksPerTurn = b.stream().blocksPerRevolution() * (dual ? 2 : 1);

        QVERIFY(capture.start());
        CapturePlayerCore& core = capture.core;
        const Walk w = walk(core, Direction::Forward);
        QVERIFY(w.endedCleanly);
        QCOMPARE(w.events, (QList<Event>{Event::UnreportedFrame, Event::Configuration, Event::Frame, Event::Frame,
                                         Event::Frame}));
        const PlayerConfiguration& c = core.configuration();
        QCOMPARE(QString("%1 %2 %3").arg(c.echoMode).arg(c.degreeMode).arg(c.accuracyMode), configuration);
        QCOMPARE(w.counters, (QList<int>{1, 2, 3}));
        QVERIFY(!core.damage().any());

        float maxAngle = 0;
        for (const LidarData& f : w.frames) {
            QCOMPARE(int(f.blockAzimuths.size()), blocksPerTurn);
            QVERIFY(qAbs(f.blockAzimuths.back() - f.blockAzimuths.front()) <= 0.5f);
            for (int ch = 0; ch < 32; ++ch) {
                QCOMPARE(int(f.azimuths[ch].size()), blocksPerTurn);
                QCOMPARE(int(f.timestamps[ch].size()), blocksPerTurn);
            }
            for (std::size_t k = 0; k < f.blockAzimuths.size(); ++k) {
                QCOMPARE(f.azimuths[31][k], float(double(f.blockAzimuths[k]) + 31 * 0.00625));
                maxAngle = std::max(maxAngle, f.azimuths[31][k]);
                // Single-echo times for every packet: the blocks of a dual-echo pair (same
                // azimuth) are 32 firings apart, not simultaneous.
                const std::size_t next = k + 1;
                if (next < f.blockAzimuths.size() && f.blockAzimuths[k] == f.blockAzimuths[next])
                    QVERIFY(qint64(f.timestamps[0][next]) - qint64(f.timestamps[0][k]) >= 49);
            }
        }
        QVERIFY(maxAngle < 360.2f);
        if (rpm == 300)
            QVERIFY(maxAngle > 360.0f); // not wrapped
    }

    // Backward re-reads the records read forward, newest first; the counter stops at 0 even
    // when frames from before the configuration are played backward.
    void walkingBackward()
    {
        test::CaptureBuilder b(fastScanner());
        MemoryCapture capture(b.revolutions(2.5).deviceInfo().revolutions(3).bytes());
        QVERIFY(capture.start());
        CapturePlayerCore& core = capture.core;

        const Walk forward = walk(core, Direction::Forward, true);
        QCOMPARE(forward.counters, QList<int>{1});
        const qint64 afterFirstFrame = core.position();

        const Walk backward = walk(core, Direction::Backward);
        QCOMPARE(backward.counters, (QList<int>{0, 0, 0}));
        for (const LidarData& f : backward.frames) {
            QVERIFY(f.blockAzimuths.size() > 500);
            QVERIFY(qAbs(f.blockAzimuths.back() - f.blockAzimuths.front()) <= 0.5f);
        }
        // Every record was read again: nothing is left to go back to.
        QCOMPARE(core.next(Direction::Backward), Event::End);
        QVERIFY(core.position() < afterFirstFrame);
    }

    // Records of other kinds are passed over by their captured length without damage.
    void otherRecordsSkipped()
    {
        test::CaptureBuilder b(fastScanner());
        const std::uint8_t shortDatagram[100] = {0xFF, 0xEE};
        const std::array<std::uint8_t, 1206> otherPayload{0x12, 0x34};
        b.record(60, 60)                        // an ARP frame
            .record(96, 1514)                   // a frame cut to the snapshot length
            .udp(shortDatagram, sizeof shortDatagram, 2368)
            .udp(otherPayload.data(), otherPayload.size(), 2368) // 1248 bytes, neither kind
            .deviceInfo()
            .revolutions(1.5);
        MemoryCapture capture(b.bytes());
        QVERIFY(capture.start());
        CapturePlayerCore& core = capture.core;
        const Walk w = walk(core, Direction::Forward);
        QCOMPARE(w.events, (QList<Event>{Event::Configuration, Event::Frame}));
        QCOMPARE(core.deviceInfoPackets(), 1u);
        QVERIFY(!core.damage().any());
    }

    void deviceInfoRecords()
    {
        test::CaptureBuilder b(fastScanner());
        b.deviceInfo([](std::uint8_t* p) {
            p[devinfo::kBoardVersionMajor] = 1;
            putBe16(p + devinfo::kOffsetAngle1, 100);   // 1.00
            putBe16(p + devinfo::kOffsetAngle2, 32867); // -1.00
        });
        b.revolutions(1.2).deviceInfo().deviceInfo([](std::uint8_t* p) { p[devinfo::kEchoMode] = 1; }).revolutions(1);
        MemoryCapture capture(b.bytes());
        QVERIFY(capture.start());
        CapturePlayerCore& core = capture.core;
        QCOMPARE(core.next(Direction::Forward), Event::DeviceInfo); // board 1: not usable
        QCOMPARE(core.offsetAngles()[0], 1.0f);
        QCOMPARE(core.offsetAngles()[1], -1.0f);
        Walk w = walk(core, Direction::Forward);
        QCOMPARE(w.events, (QList<Event>{Event::UnreportedFrame, Event::Configuration, Event::Frame}));
        QCOMPARE(core.configuration().echoMode, QString("HVK321")); // the first usable packet counts
        QCOMPARE(core.offsetAngles()[0], 0.0f);                      // the last packet's angles win

        // A new run reports the configuration again.
        core.start();
        w = walk(core, Direction::Forward);
        QCOMPARE(w.events.count(Event::Configuration), 1);
        QCOMPARE(w.counters, QList<int>{1});
    }

    void damagedFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("openError"); // empty: the file opens
        QTest::addColumn<int>("truncated");
        QTest::addColumn<int>("badLengths");
        QTest::addColumn<int>("frames");

        // 1.2 turns, something in between, 1 turn: two frames when the middle is passed.
        auto around = [](const std::function<void(test::CaptureBuilder&)>& middle) {
            test::CaptureBuilder b(fastScanner());
            b.deviceInfo().revolutions(1.2);
            middle(b);
            return b.revolutions(1).bytes();
        };
        const QByteArray sound = around([](test::CaptureBuilder&) {});
        auto withWord = [&](std::size_t at, std::uint32_t v) {
            QByteArray b = sound;
            putLe32(reinterpret_cast<std::uint8_t*>(b.data()) + at, v);
            return b;
        };
        std::mt19937 random(7);
        QByteArray noise(65536, 0);
        for (auto& c : noise)
            c = static_cast<char>(random());

        QTest::newRow("empty") << QByteArray() << "too short" << 0 << 0 << 0;
        QTest::newRow("file header cut short") << sound.left(20) << "too short" << 0 << 0 << 0;
        QTest::newRow("pcapng") << QByteArray::fromHex("0a0d0d0a1c0000004d3c2b1a") + noise.left(100) << "pcapng" << 0 << 0 << 0;
        QTest::newRow("random bytes") << noise << "not a capture file" << 0 << 0 << 0;
        QTest::newRow("link type 105") << withWord(capturefile::kLinkTypeOffset, 105) << "link type 105 is not Ethernet or Linux cooked capture"
                                       << 0 << 0 << 0;
        QTest::newRow("sound") << sound << "" << 0 << 0 << 2;
        QTest::newRow("nanosecond times") << withWord(0, capturefile::kMagicNanoseconds) << "" << 0 << 0 << 2;
        QTest::newRow("big-endian") << test::byteSwappedCapture(sound) << "" << 0 << 0 << 2;
        QTest::newRow("header only") << sound.left(24) << "" << 0 << 0 << 0;
        QTest::newRow("last record cut short") << sound.chopped(100) << "" << 1 << 0 << 2;
        QTest::newRow("last record header cut short") << sound + QByteArray(10, 1) << "" << 1 << 0 << 2;
        QTest::newRow("zero lengths") << around([](auto& b) { b.record(0, 0); }) << "" << 0 << 1 << 2;
        QTest::newRow("negative original length") << around([](auto& b) { b.record(100, 0xFFFFFF00u); }) << "" << 0 << 1 << 2;
        QTest::newRow("captured more than sent") << around([](auto& b) { b.record(1248, 1000); }) << "" << 0 << 1 << 2;
        QTest::newRow("scanner frame cut short") << around([](auto& b) { b.record(600, 1248); }) << "" << 0 << 1 << 2;
        // A header that leads nowhere is passed over to the next record.
        QTest::newRow("huge captured length") << around([](auto& b) { b.recordHeader(0x7FFFFFF0u, 0x7FFFFFF0u); })
                                              << "" << 0 << 0 << 2;
        QTest::newRow("negative captured length") << around([](auto& b) { b.recordHeader(0xFFFFFFF0u, 100); }) << ""
                                                  << 0 << 0 << 2;
        QTest::newRow("random records") << sound.left(24) + noise << "" << -1 << -1 << -1;
    }

    // Every file is either refused with a reason or walked to its end, both ways.
    void damagedFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, openError);
        QFETCH(int, truncated);
        QFETCH(int, badLengths);
        QFETCH(int, frames);
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        CapturePlayerCore core;
        QString message;
        QCOMPARE(core.open(&buffer, &message), openError.isEmpty());
        if (!openError.isEmpty()) {
            QVERIFY2(message.contains(openError), qPrintable(message));
            QCOMPARE(ReadLiveOffDataK32::checkCaptureFile(writeFile("refused.pcap", bytes), &message), false);
            QVERIFY2(message.contains(openError), qPrintable(message));
            return;
        }
        core.start();
        const Walk forward = walk(core, Direction::Forward);
        QVERIFY(forward.endedCleanly);
        QVERIFY(core.atEnd());
        if (frames >= 0) {
            QCOMPARE(forward.counters.size(), frames);
            QCOMPARE(int(core.damage().truncatedRecords), truncated);
            QCOMPARE(int(core.damage().badLengths), badLengths);
        }
        core.start(); // backward re-reads only what forward found
        walk(core, Direction::Forward, true);
        QVERIFY(walk(core, Direction::Backward).endedCleanly);
    }

    // Sound captures with random bytes overwritten: the walk ends whatever they hit.
    void corruptedCaptures()
    {
        test::CaptureBuilder b(fastScanner());
        const QByteArray sound = b.deviceInfo().revolutions(2).bytes();
        std::mt19937 random(11);
        for (int round = 0; round < 200; ++round) {
            QByteArray bytes = sound;
            for (int k = 0; k < 6; ++k) {
                const int at = 24 + int(random() % std::uint32_t(bytes.size() - 24));
                bytes[at] = static_cast<char>(random());
            }
            MemoryCapture capture(bytes);
            QVERIFY(capture.start());
            QVERIFY(walk(capture.core, Direction::Forward).endedCleanly);
            QVERIFY(walk(capture.core, Direction::Backward).endedCleanly);
        }
    }

    void threadPacing_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("board");
        QTest::addColumn<bool>("gateFull");
        QTest::addColumn<int>("delay");
        QTest::addColumn<int>("played"); // frames counted and reported by progress
        QTest::addColumn<int>("shown");  // frames sent to the window
        QTest::newRow("0.5x") << 3 << 2 << false << 200 << 3 << 3;
        QTest::newRow("4.0x") << 2 << 2 << false << 30 << 3 << 3;
        QTest::newRow("unknown speed, window behind") << 9 << 2 << true << 100 << 3 << 0;
        QTest::newRow("no usable device info") << 1 << 1 << false << 50 << 0 << 0;
    }

    void threadPacing()
    {
        QFETCH(int, speed);
        QFETCH(int, board);
        QFETCH(bool, gateFull);
        QFETCH(int, delay);
        QFETCH(int, played);
        QFETCH(int, shown);
        sim::ScannerSettings scanner = fastScanner(board);
        scanner.offsetAngleCodes = {250, 0, 0, 0}; // 2.50 degrees
        test::CaptureBuilder b(scanner);
        const QByteArray bytes = b.revolutions(1.2).deviceInfo().revolutions(3).bytes();
        const QString path = writeFile("pacing.pcap", bytes);
        offsetAngle1 = -7.0f;

        RecordingPauses pauses;
        FrameGate gate;
        while (gateFull && gate.tryEnter()) {
        }
        Signals s;
        {
            ReadLiveOffDataK32 player;
            listen(player, s);
            player.setPauses(&pauses);
            player.setFrameGate(gateFull ? &gate : nullptr);
            player.setSpeed(speed);
            player.receiveOffliveFile(path);
            QVERIFY(player.isFileOpen());
            player.start();
            QVERIFY(player.wait(20000));
            QVERIFY(!player.isFileOpen()); // the run closed it
        }
        QTRY_COMPARE(s.finish, QList<bool>{true});
        QCOMPARE(s.lengths, QList<long>{long(bytes.size())});
        QCOMPARE(s.progress.size(), played);
        QCOMPARE(s.data, shown);
        QCOMPARE(s.configs.size(), board >= 2 ? 1 : 0);
        if (shown)
            QVERIFY(s.order.indexOf("config") < s.order.indexOf("data"));
        for (int k = 0; k < s.progress.size(); ++k) {
            QCOMPARE(s.progress[k].second, k + 1);
            QVERIFY(k == 0 || s.progress[k].first > s.progress[k - 1].first);
        }
        // Paced after every completed frame, played or not (one before the device info).
        QCOMPARE(pauses.delays(), std::vector<int>(4, delay));
        // Every frame travels with its capture's angles; what the live device published stays.
        QCOMPARE(s.offsetAngle1s, QVector<float>(shown, 2.5f).toList());
        QCOMPARE(offsetAngle1.load(), -7.0f);
    }

    // Steps forward to the first frame, then back one frame at a time to the start of the
    // file: each stepped frame is shown although the window is behind, the counter never
    // goes below 0, and the run ends once with SendFinsh(true).
    void threadSteppingBackward()
    {
        test::CaptureBuilder b(fastScanner());
        const QString path = writeFile("steps.pcap", b.revolutions(2.5).deviceInfo().revolutions(3).bytes());
        RecordingPauses pauses;
        FrameGate gate;
        while (gate.tryEnter()) {
        }
        Signals s;
        ReadLiveOffDataK32 player;
        listen(player, s);
        player.setPauses(&pauses);
        player.setFrameGate(&gate);
        player.receiveOffliveFile(path);
        player.setStepOnce(1);
        player.start();
        QTRY_COMPARE(s.progress.size(), 1);
        QTRY_VERIFY(player.isPaused());
        QCOMPARE(s.progress[0].second, 1);

        player.setDirection(1);
        for (int step = 2; step <= 4; ++step) {
            player.setStepOnce(1);
            player.setPause(false);
            QTRY_COMPARE(s.progress.size(), step);
            QTRY_VERIFY(player.isPaused());
            QCOMPARE(s.progress.last().second, 0);
        }
        QCOMPARE(s.data, 4);
        QCOMPARE(gate.waiting(), FrameGate::kMaxWaiting + 4);
        QVERIFY(pauses.pauseLoops() > 0);
        QVERIFY(s.finish.isEmpty());

        player.setStepOnce(1);
        player.setPause(false); // nothing left behind: the run ends
        QTRY_COMPARE(s.finish, QList<bool>{true});
        QVERIFY(player.wait(5000));
        QCOMPARE(s.progress.size(), 4);
    }

    void threadWithoutPlayableFile()
    {
        const QString pcapng = writeFile("saved.pcapng", QByteArray::fromHex("0a0d0d0a1c0000004d3c2b1a01000000"));
        QString message;
        QVERIFY(!ReadLiveOffDataK32::checkCaptureFile(pcapng, &message));
        QVERIFY(message.contains("save it as pcap"));

        RecordingPauses pauses;
        Signals s;
        ReadLiveOffDataK32 player;
        listen(player, s);
        player.receiveOffliveFile(writeFile("good.pcap", lateDeviceInfoCapture()));
        QVERIFY(player.isFileOpen());
        player.receiveOffliveFile(pcapng); // replaces the good file: nothing is left to play
        QVERIFY(!player.isFileOpen());
        player.receiveOffliveFile(dir_.filePath("missing.pcap"));
        QVERIFY(!player.isFileOpen());
        player.start();
        QVERIFY(player.wait(5000));
        QTRY_COMPARE(s.finish, QList<bool>{true});
        QVERIFY(s.lengths.isEmpty());

        // A paused run ends on the stop flag.
        player.setPauses(&pauses);
        player.receiveOffliveFile(writeFile("good.pcap", lateDeviceInfoCapture()));
        player.setPause(true);
        player.start();
        QTRY_VERIFY(pauses.pauseLoops() > 0);
        player.setStop(true);
        QVERIFY(player.wait(5000));
        QVERIFY(!player.stopRequested()); // the run cleared it
        QTRY_COMPARE(s.finish, (QList<bool>{true, true}));
        QVERIFY(s.progress.isEmpty());
    }
};

QTEST_GUILESS_MAIN(CapturePlayerTest)
#include "CapturePlayerTest.moc"
