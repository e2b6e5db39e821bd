// The substitute scanner that drives: trajectories and their interpolation, the built-in
// loop, where a firing from a known pose meets the town's ground, the range noise, a
// repeatable town, ground-truth times in the capture's record-time base, and trajectory files
// that are refused with a message.

#include "acquisition/DataPacket.h"
#include "records/ByteOrder.h"
#include "sim/ScannerStream.h"
#include "sim/TownScene.h"
#include "sim/Trajectory.h"

#include "support/ProgramRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

using namespace hvk32;
using namespace hvk32::sim;

namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr double kMetresPerCount = 0.004;
constexpr double kBeamOffset = 0.0494;    // [m], emitter offset from the axis
constexpr double kBeamOffsetAngle = 12.98; // [deg]

// The rotation by `degrees` about a unit axis, written out from its definition.
Quaternion aboutAxis(double ax, double ay, double az, double degrees)
{
    const double h = degrees * kDegree / 2;
    return {std::cos(h), ax * std::sin(h), ay * std::sin(h), az * std::sin(h)};
}

// True when two quaternions give the same rotation (q and -q do).
bool sameRotation(const Quaternion& a, const Quaternion& b)
{
    const double dot = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
    return std::fabs(std::fabs(dot) - 1.0) < 1e-9;
}

std::shared_ptr<const Trajectory> trajectoryOf(const std::string& text)
{
    std::istringstream in(text);
    std::vector<TimedPose> poses;
    std::string error;
    if (!Trajectory::readTum(in, poses, error))
        qFatal("test trajectory refused: %s", error.c_str());
    return std::make_shared<Trajectory>(std::move(poses));
}

// The distance count of channel `channel` in firing `firing` of a single-echo stream.
int distanceCount(ScannerStream& stream, int firing, int channel)
{
    std::uint8_t p[datapacket::kPacketSize];
    const int perPacket = datapacket::kBlocksPerPacket;
    for (int packet = 0; packet <= firing / perPacket; ++packet)
        stream.nextDataPacket(p);
    return datapacket::distanceRaw(p, firing % perPacket, channel);
}

// Record times (microseconds since 1970) of a classic little-endian capture file.
std::vector<std::uint64_t> recordTimes(const QByteArray& file)
{
    std::vector<std::uint64_t> times;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.constData());
    for (int at = 24; at + 16 <= file.size();) {
        times.push_back(std::uint64_t(le32(bytes + at)) * 1000000 + le32(bytes + at + 4));
        at += 16 + int(le32(bytes + at + 8));
    }
    return times;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ProgramRun runSim(const QStringList& arguments)
{
    return runToEnd(HVK32_SIM_PATH, QStringList{"--quiet", "--start-time", "2026-03-05T10:00:00"} + arguments);
}

} // namespace

class SimulatedDriveTest : public QObject {
    Q_OBJECT
private slots:
    // Linear in position, slerp in rotation, held before the first and after the last pose.
    void trajectoryInterpolation_data()
    {
        QTest::addColumn<QString>("second");    // the later pose's rotation: axis and angle
        QTest::addColumn<double>("seconds");     // when the pose is asked for
        QTest::addColumn<double>("share");       // of the way from the first pose to the second
        QTest::addColumn<double>("expectedDegrees");
        QTest::newRow("halfway through a yaw of 90") << "z 90" << 2.0 << 0.5 << 45.0;
        QTest::newRow("a quarter of a roll of 120") << "x 120" << 1.5 << 0.25 << 30.0;
        QTest::newRow("the shorter way when the sign flips") << "-z 90" << 2.0 << 0.5 << 45.0;
        QTest::newRow("before the first pose") << "z 90" << 0.0 << 0.0 << 0.0;
        QTest::newRow("after the last pose") << "z 90" << 7.0 << 1.0 << 90.0;
    }
    void trajectoryInterpolation()
    {
        QFETCH(QString, second);
        QFETCH(double, seconds);
        QFETCH(double, share);
        QFETCH(double, expectedDegrees);
        const bool negated = second.startsWith('-');
        const QChar axis = second.at(negated ? 1 : 0);
        const double angle = second.section(' ', 1).toDouble();
        const double ax = axis == 'x', az = axis == 'z';
        Quaternion end = aboutAxis(ax, 0, az, angle);
        if (negated) // the same rotation written as -q
            end = {-end.w, -end.x, -end.y, -end.z};
        const Trajectory t({{1.0, {{0, 0, 0}, {}}}, {3.0, {{10, -4, 2}, end}}});

        const Pose p = t.at(seconds);
        QCOMPARE(p.position.x, 10 * share);
        QCOMPARE(p.position.y, -4 * share);
        QCOMPARE(p.position.z, 2 * share);
        QVERIFY(sameRotation(p.rotation, aboutAxis(ax, 0, az, expectedDegrees)));
    }

    // The built-in drive: a closed loop of about 1.2 km at 10 m/s, on the streets, 1.8 m up,
    // turning four times by a quarter and looking ahead.
    void loopDriveStaysOnTheStreets()
    {
        const Trajectory loop = loopDrive();
        const std::vector<TimedPose>& poses = loop.poses();
        const double period = poses.back().seconds;
        double length = 0, turned = 0;
        for (std::size_t k = 1; k < poses.size(); ++k) {
            const Vec3& a = poses[k - 1].pose.position;
            const Vec3& b = poses[k].pose.position;
            const double step = std::hypot(b.x - a.x, b.y - a.y);
            length += step;
            QVERIFY(std::fabs(step / (poses[k].seconds - poses[k - 1].seconds) - 10.0) < 0.01);
            QCOMPARE(b.z, 1.8);
            // On a street: within a kerb of a centre line.
            const double offX = std::fabs(b.x - 100 * std::round(b.x / 100));
            const double offY = std::fabs(b.y - 100 * std::round(b.y / 100));
            QVERIFY2(std::min(offX, offY) < town::kKerb, qPrintable(QString("%1 %2").arg(b.x).arg(b.y)));
            // Looking along the way it goes.
            const Vec3 ahead = Rotation(poses[k].pose.rotation) * Vec3{1, 0, 0};
            QVERIFY(std::fabs(ahead.z) < 1e-12);
            if (step > 0.05)
                QVERIFY((ahead.x * (b.x - a.x) + ahead.y * (b.y - a.y)) / step > 0.999);
            const Vec3 before = Rotation(poses[k - 1].pose.rotation) * Vec3{1, 0, 0};
            turned += std::atan2(before.x * ahead.y - before.y * ahead.x, before.x * ahead.x + before.y * ahead.y);
        }
        QVERIFY2(length > 1150 && length < 1250, qPrintable(QString::number(length)));
        QVERIFY(std::fabs(turned - 2 * 3.14159265358979) < 1e-6); // four quarter turns to the left
        // It closes and starts over.
        const Pose again = loop.at(period + 12.5);
        const Pose first = loop.at(12.5);
        QVERIFY(std::fabs(again.position.x - first.position.x) < 1e-9);
        QVERIFY(std::fabs(again.position.y - first.position.y) < 1e-9);
    }

    // A firing cast from a known pose meets the flat ground where the geometry says, every
    // firing from the pose at its own time.
    void firingHitsTheGround_data()
    {
        QTest::addColumn<QString>("trajectory");
        QTest::addColumn<int>("firing");
        QTest::addColumn<int>("channel"); // 0: -16 degrees, 2: -15 degrees
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("pitchDown"); // [deg], about the scanner's y axis
        const char* still = "0 0 0 1.8 0 0 0 1\n";
        QTest::newRow("upright in a crossing") << still << 0 << 2 << 1.8 << 0.0;
        QTest::newRow("upright, looking back along a street") << still << 900 << 0 << 1.8 << 0.0;
        QTest::newRow("higher and turned a quarter")
            << QString("0 0 0 2.5 0 0 %1 %2\n").arg(std::sin(45 * kDegree)).arg(std::cos(45 * kDegree)) << 0 << 2
            << 2.5 << 0.0;
        QTest::newRow("pitched down 5 degrees on a street")
            << QString("0 150 0 1.8 0 %1 0 %2\n").arg(std::sin(2.5 * kDegree)).arg(std::cos(2.5 * kDegree)) << 0
            << 0 << 1.8 << 5.0;
        // Climbing 10 m/s: firing 900 happens at 0.05 s, halfway up.
        QTest::newRow("climbing, firing 900 from the pose at 0.05 s")
            << "0 0 0 1.8 0 0 0 1\n0.1 0 0 2.8 0 0 0 1\n" << 900 << 2 << 2.3 << 0.0;
    }
    void firingHitsTheGround()
    {
        QFETCH(QString, trajectory);
        QFETCH(int, firing);
        QFETCH(int, channel);
        QFETCH(double, height);
        QFETCH(double, pitchDown);
        ScannerSettings s;
        s.scene = SceneKind::Town;
        s.rangeNoise = 0.0;
        s.trajectory = trajectoryOf(trajectory.toStdString());
        ScannerStream stream(s);
        const double vertical = channel == 0 ? -16.0 : -15.0;
        // The block azimuth is 0 or 180 degrees, where channels 0 and 2 look along it. The
        // emitter sits beside the axis, so pitching moves it up or down a little.
        const double azimuth = firing * 0.2;
        const double emitterX = kBeamOffset * std::cos((azimuth - kBeamOffsetAngle) * kDegree);
        const double emitterHeight = height - std::sin(pitchDown * kDegree) * emitterX;
        const double down = (azimuth == 0 ? pitchDown : -pitchDown) - vertical; // below the horizon
        const double expected = emitterHeight / std::sin(down * kDegree);
        const double got = distanceCount(stream, firing, channel) * kMetresPerCount;
        QVERIFY2(std::fabs(got - expected) <= kMetresPerCount,
                 qPrintable(QString("%1 m, expected %2 m").arg(got).arg(expected)));
    }

    // Gaussian range noise of the standard deviation asked for, none when it is 0: the ring
    // of channel 0 around a still scanner in a crossing lies on flat ground at one range.
    void rangeNoise_data()
    {
        QTest::addColumn<double>("sigma");
        QTest::newRow("none") << 0.0;
        QTest::newRow("5 cm") << 0.05;
    }
    void rangeNoise()
    {
        QFETCH(double, sigma);
        ScannerSettings s;
        s.scene = SceneKind::Town;
        s.rangeNoise = sigma;
        ScannerStream stream(s);
        const double exact = 1.8 / std::sin(16 * kDegree);
        std::uint8_t p[datapacket::kPacketSize];
        double sum = 0, squares = 0;
        const int packets = stream.blocksPerRevolution() / datapacket::kBlocksPerPacket;
        for (int k = 0; k < packets; ++k) {
            stream.nextDataPacket(p);
            for (int b = 0; b < datapacket::kBlocksPerPacket; ++b) {
                const double error = datapacket::distanceRaw(p, b, 0) * kMetresPerCount - exact;
                sum += error;
                squares += error * error;
            }
        }
        const int n = packets * datapacket::kBlocksPerPacket;
        const double mean = sum / n;
        const double deviation = std::sqrt(squares / n - mean * mean);
        QVERIFY2(std::fabs(mean) < 0.002 + 4 * sigma / std::sqrt(n), qPrintable(QString::number(mean)));
        if (sigma == 0)
            QVERIFY(deviation < kMetresPerCount);
        else
            QVERIFY2(std::fabs(deviation / sigma - 1) < 0.1, qPrintable(QString::number(deviation)));
    }

    // The same options give the same capture byte for byte; another seed another town.
    void townIsRepeatable()
    {
        QTemporaryDir dir;
        const QStringList drive{"--scene", "town", "--drive", "loop", "--seconds", "0.5"};
        const QString a = dir.filePath("a.pcap"), b = dir.filePath("b.pcap"), c = dir.filePath("c.pcap");
        QCOMPARE(runSim(drive + QStringList{"--pcap", a}).exitCode, 0);
        QCOMPARE(runSim(drive + QStringList{"--pcap", b}).exitCode, 0);
        QCOMPARE(runSim(drive + QStringList{"--pcap", c, "--seed", "2"}).exitCode, 0);
        QVERIFY(readAll(a).size() > 600000);
        QVERIFY(readAll(a) == readAll(b));
        QCOMPARE(readAll(c).size(), readAll(a).size());
        QVERIFY(readAll(c) != readAll(a));

        // The towns themselves differ, while keeping their kinds of things.
        const TownScene one(1), two(2);
        const auto footprints = [](const TownScene& t) {
            std::vector<double> corners;
            for (const TownScene::Thing& thing : t.things())
                corners.insert(corners.end(), {thing.min[0], thing.min[1], thing.max[0], thing.max[1], thing.max[2]});
            return corners;
        };
        QVERIFY(footprints(one) != footprints(two));
        QVERIFY(footprints(one) == footprints(TownScene(1)));
        for (const TownScene* t : {&one, &two}) {
            std::set<TownScene::Kind> kinds;
            for (const TownScene::Thing& thing : t->things())
                kinds.insert(thing.kind);
            QCOMPARE(kinds.size(), std::size_t(4));
        }
    }

    // Ground-truth lines every 5 ms from the capture's first record time, in its record-time
    // base: the whole seconds where device-info records lie, and the loop's poses at them.
    void groundTruthTimesAreRecordTimes()
    {
        QTemporaryDir dir;
        const QString capture = dir.filePath("drive.pcap"), truth = dir.filePath("truth.txt");
        const ProgramRun run = runSim({"--scene", "town", "--drive", "loop", "--seconds", "2", "--pcap", capture,
                                       "--ground-truth", truth});
        QCOMPARE(run.exitCode, 0);
        const std::vector<std::uint64_t> records = recordTimes(readAll(capture));
        QCOMPARE(records.size(), std::size_t(2 + 2 * 1500)); // device info at 0 and 1 s, the data packets

        const QList<QByteArray> lines = readAll(truth).trimmed().split('\n');
        QCOMPARE(lines.size(), 400);
        std::vector<std::uint64_t> times;
        for (const QByteArray& line : lines) {
            const QList<QByteArray> f = line.split(' ');
            QCOMPARE(f.size(), 8);
            const QList<QByteArray> secondsAndMicros = f[0].split('.');
            times.push_back(secondsAndMicros[0].toULongLong() * 1000000 + secondsAndMicros[1].toULongLong());
        }
        QCOMPARE(times.front(), records.front());
        for (std::size_t k = 1; k < times.size(); ++k)
            QCOMPARE(times[k] - times[k - 1], std::uint64_t(5000));
        QCOMPARE(times[200], records.front() + 1000000); // the second device-info record
        QVERIFY(std::find(records.begin(), records.end(), times[200]) != records.end());
        QVERIFY(records.back() < times.back() + 5000);

        // At 1 s the loop has gone 10 m east of its start at (50, -100).
        const QList<QByteArray> atOne = lines[200].split(' ');
        QCOMPARE(atOne[1], QByteArray("60.000000"));
        QCOMPARE(atOne[2], QByteArray("-100.000000"));
        QCOMPARE(atOne[3], QByteArray("1.800000"));
    }

    // Files that are not trajectories are refused with the line at fault.
    void badTrajectoryFilesRefused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("too few numbers") << QByteArray("0 1 2 3 0 0 0 1\n1 1 2 3\n") << "line 2: expected 8 numbers";
        QTest::newRow("not a number") << QByteArray("0 1 2 x 0 0 0 1\n") << "line 1: \"x\" is not a finite number";
        QTest::newRow("not finite") << QByteArray("# t x y z qx qy qz qw\n0 nan 0 0 0 0 0 1\n")
                                    << "line 2: \"nan\" is not a finite number";
        QTest::newRow("time going back") << QByteArray("1 0 0 0 0 0 0 1\n\n1 1 0 0 0 0 0 1\n")
                                         << "line 3: time 1 s does not come after";
        QTest::newRow("zero quaternion") << QByteArray("0 0 0 0 0 0 0 0\n") << "line 1: the quaternion";
        QTest::newRow("no pose") << QByteArray("# nothing\n\n") << "no pose in it";
    }
    void badTrajectoryFilesRefused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        std::istringstream in(text.toStdString());
        std::vector<TimedPose> poses;
        std::string error;
        QVERIFY(!Trajectory::readTum(in, poses, error));
        QVERIFY2(QString::fromStdString(error).startsWith(message), error.c_str());

        // The program says so, naming the file, and writes nothing.
        QTemporaryDir dir;
        const QString file = dir.filePath("bad.txt");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        const ProgramRun run = runSim({"--trajectory", file, "--seconds", "1", "--pcap", dir.filePath("x.pcap")});
        QCOMPARE(run.exitCode, 2);
        QVERIFY2(run.errors.contains(("trajectory file " + file + ": " + message).toUtf8()), run.errors.constData());
        QVERIFY(!QFile::exists(dir.filePath("x.pcap")));
    }

    void goodTrajectoryFileAccepted()
    {
        // Comments, blank lines, Windows line ends and unnormalised quaternions are fine.
        std::istringstream in("# t x y z qx qy qz qw\r\n0 1 2 3 0 0 0 2\r\n\r\n0.5 1 2 3 0 0 1 1\r\n");
        std::vector<TimedPose> poses;
        std::string error;
        QVERIFY2(Trajectory::readTum(in, poses, error), error.c_str());
        QCOMPARE(poses.size(), std::size_t(2));
        QVERIFY(sameRotation(poses[0].pose.rotation, Quaternion{}));
        QVERIFY(sameRotation(poses[1].pose.rotation, aboutAxis(0, 0, 1, 90)));
    }
};

QTEST_GUILESS_MAIN(SimulatedDriveTest)
#include "SimulatedDriveTest.moc"
