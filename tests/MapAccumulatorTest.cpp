// The window's map without a window: registered frames thinned into a map of bounded size,
// the trajectory beside it, and the map saved as the command line writes one. Then the map
// builder's worker fed the substitute scanner's frames: frames registered in order, a jump in
// time starting the map afresh, the newest waiting frame replacing older ones, and the poses of
// a drive's frames handed over one by one the same as the command line's.

#include "io/PlayedFrames.h"
#include "odometry/FrameTracker.h"
#include "odometry/MapAccumulator.h"
#include "odometry/MapWriter.h"
#include "support/ProgramRun.h"
#include "support/SimulatorFrames.h"
#include "view/MapBuilder.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <random>
#include <set>
#include <tuple>

using namespace hvk32;
using namespace hvk32::odometry;

namespace {

// A frame of n points spread over a 20 m cube, with every field set, and their places in the
// map (the cube moved by `shift` along x).
struct SyntheticFrame {
    PointArrays points;
    std::vector<Eigen::Vector3f> world;
};

SyntheticFrame syntheticFrame(std::size_t n, float shift, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
    SyntheticFrame f;
    PointArrays& p = f.points;
    p.size = n;
    for (auto* v : {&p.x, &p.y, &p.z, &p.intensity, &p.azimuth, &p.distance, &p.time})
        v->resize(n);
    p.channel.resize(n);
    p.echo.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        p.x[i] = coordinate(random);
        p.y[i] = coordinate(random);
        p.z[i] = coordinate(random);
        p.intensity[i] = float(i % 256);
        p.channel[i] = std::uint16_t(i % 32);
        p.azimuth[i] = float(i % 360);
        p.distance[i] = std::hypot(p.x[i], p.y[i]);
        p.time[i] = float(i) * 1e-6f;
        p.echo[i] = 0;
        f.world.emplace_back(p.x[i] + shift, p.y[i], p.z[i]);
    }
    return f;
}

MapFrame frameInfo(int id)
{
    MapFrame f;
    f.frameId = id;
    f.startStamp = 1000000u + 100000u * std::uint64_t(id);
    f.time.captureMicros = 1700000000000000LL + 100000LL * id;
    f.time.seconds = std::uint32_t(f.time.captureMicros / 1000000);
    f.time.fraction = std::uint32_t(f.time.captureMicros % 1000000);
    f.seconds = 0.1 * (id - 1);
    return f;
}

Eigen::Isometry3d along(double x)
{
    Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
    pose.translation() = Eigen::Vector3d(x, 0, 0);
    return pose;
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The map's frames share its points out in order, and no two of its points share a voxel.
void checkMapShape(const MapAccumulator& map)
{
    std::size_t next = 0;
    for (const MapFrame& f : map.frames()) {
        QCOMPARE(f.firstPoint, next);
        next += f.pointCount;
    }
    QCOMPARE(next, map.size());
    std::set<std::tuple<int, int, int>> voxels;
    const PointArrays& p = map.points();
    for (std::size_t k = 0; k < p.size; ++k) {
        const Voxel v = voxelOf(p.x[k], p.y[k], p.z[k], 1.0 / map.voxelSize());
        QVERIFY(voxels.insert({v.x, v.y, v.z}).second);
    }
}

ConversionSnapshot hallSnapshot()
{
    return ConversionSnapshot::ofDevice(0, 1, {0, 0, 0, 0});
}

} // namespace

class MapAccumulatorTest : public QObject {
    Q_OBJECT

private slots:
    void mapStaysWithinItsPoints_data();
    void mapStaysWithinItsPoints();
    void savedMapIsTheCommandLinesMap_data();
    void savedMapIsTheCommandLinesMap();
    void mapsThatCannotBeWrittenAreRefused();
    void builderRegistersFramesInOrder_data();
    void builderRegistersFramesInOrder();
    void newestWaitingFrameIsRegistered();
    void builderPosesAreTheCommandLines();
};

void MapAccumulatorTest::mapStaysWithinItsPoints_data()
{
    QTest::addColumn<std::size_t>("maxPoints");
    QTest::addColumn<double>("voxel");
    QTest::addColumn<bool>("coarser"); // thinned on a coarser grid on the way
    QTest::addColumn<bool>("full");
    // Five frames of 20000 points over a 20 m cube, each 2 m farther along x.
    QTest::newRow("room for all") << std::size_t(1000000) << 0.1 << false << false;
    QTest::newRow("thinned coarser") << std::size_t(40000) << 0.1 << true << false;
    QTest::newRow("full at the coarsest grid") << std::size_t(1000) << 0.1 << true << true;
}

void MapAccumulatorTest::mapStaysWithinItsPoints()
{
    QFETCH(std::size_t, maxPoints);
    QFETCH(double, voxel);
    QFETCH(bool, coarser);
    QFETCH(bool, full);
    MapAccumulator map(voxel, maxPoints);
    std::set<std::tuple<int, int, int>> distinct; // the voxels of every point given
    for (int k = 1; k <= 5; ++k) {
        const SyntheticFrame f = syntheticFrame(20000, 2.0f * k, unsigned(k));
        for (const Eigen::Vector3f& p : f.world) {
            const Voxel v = voxelOf(p.x(), p.y(), p.z(), 1.0 / voxel);
            distinct.insert({v.x, v.y, v.z});
        }
        map.add(f.points, f.world, along(2.0 * k), frameInfo(k));
        QVERIFY(map.size() <= maxPoints);
    }
    checkMapShape(map);
    QCOMPARE(map.frames().size(), std::size_t(5));
    QCOMPARE(map.poses().size(), std::size_t(5)); // a full map still extends the trajectory
    QCOMPARE(map.poses().back().translation().x(), 10.0);
    QCOMPARE(map.coarsenings() > 0, coarser);
    QCOMPARE(map.full(), full);
    if (!coarser)
        QCOMPARE(map.size(), distinct.size()); // one point of every voxel reached
    if (full)
        QCOMPARE(map.voxelSize(), MapAccumulator::kMaxVoxelSize);

    map.clear();
    QCOMPARE(map.size(), std::size_t(0));
    QVERIFY(map.frames().empty() && map.poses().empty() && !map.full());
    QCOMPARE(map.voxelSize(), voxel);
}

void MapAccumulatorTest::savedMapIsTheCommandLinesMap_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("LAS, frame by frame") << "map.las";
    QTest::newRow("MCAP, frame by frame") << "map.mcap";
    QTest::newRow("PCD, one cloud") << "map.pcd";
    QTest::newRow("PLY, one cloud") << "map.ply";
}

void MapAccumulatorTest::savedMapIsTheCommandLinesMap()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const OutputFormat format = *outputFormatOf(name, OutputUse::OneFrame);
    SinkSource source;
    source.software = "hvk32 test";
    // The command line's writer takes each registered frame whole and thins it itself; the
    // window's map thinned the same frames as they came.
    MapWriter direct(dir.filePath("direct-" + name), format, 0.1, source);
    QVERIFY(direct.canCreate());
    MapAccumulator map(0.1);
    for (int k = 1; k <= 4; ++k) {
        const SyntheticFrame f = syntheticFrame(5000, 1.5f * k, unsigned(10 + k));
        const MapFrame info = frameInfo(k);
        LidarData stamp = LidarData::empty();
        stamp.distances[0] = {0.0f};
        stamp.intensities[0] = {0};
        stamp.azimuths[0] = {0.0f};
        stamp.timestamps[0] = {info.startStamp};
        QVERIFY(direct.add({k, stamp, info.snapshot, false, info.time, 0}, f.points, f.world, info.seconds));
        map.add(f.points, f.world, along(1.5 * k), info);
    }
    QVERIFY(direct.finish());
    QString error;
    const QString saved = dir.filePath(name);
    QCOMPARE(map.save(saved, format, source, &error), qint64(map.size()));
    QCOMPARE(direct.points(), static_cast<unsigned long long>(map.size()));
    const QByteArray bytes = contents(saved);
    QVERIFY(bytes.size() > 10000);
    QCOMPARE(bytes, contents(dir.filePath("direct-" + name)));
}

void MapAccumulatorTest::mapsThatCannotBeWrittenAreRefused()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    MapAccumulator map;
    QString error;
    // Nothing to write yet.
    QCOMPARE(map.save(dir.filePath("m.ply"), OutputFormat::Ply, {}, &error), qint64(-1));
    QVERIFY(error.contains("no frame"));
    const SyntheticFrame f = syntheticFrame(100, 0, 1);
    map.add(f.points, f.world, along(0), frameInfo(1));
    for (const auto& [file, format] :
         {std::pair{"m.csv", OutputFormat::Csv}, std::pair{"m.bin", OutputFormat::Kitti}}) {
        error.clear();
        QCOMPARE(map.save(dir.filePath(file), format, {}, &error), qint64(-1));
        QVERIFY2(error.endsWith("a map is written as " + mapExtensionList()), qPrintable(error));
        QVERIFY(!QFile::exists(dir.filePath(file)));
    }
    // A folder that does not exist: the writer's own message, nothing left behind.
    error.clear();
    QCOMPARE(map.save(dir.filePath("none/m.las"), OutputFormat::Las, {}, &error), qint64(-1));
    QVERIFY(!error.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 0);
}

void MapAccumulatorTest::builderRegistersFramesInOrder_data()
{
    QTest::addColumn<QList<int>>("sequence"); // the scanner's frames handed over, one at a time
    QTest::addColumn<int>("frames");          // in the map at the end
    QTest::addColumn<int>("restarts");
    QTest::newRow("consecutive") << QList<int>{0, 1, 2, 3} << 4 << 0;
    QTest::newRow("a few frames missed") << QList<int>{0, 1, 4, 5} << 4 << 0;
    QTest::newRow("back in time") << QList<int>{0, 1, 2, 1} << 1 << 1;
    QTest::newRow("over five seconds ahead") << QList<int>{0, 1, 57} << 1 << 1;
}

void MapAccumulatorTest::builderRegistersFramesInOrder()
{
    QFETCH(QList<int>, sequence);
    QFETCH(int, frames);
    QFETCH(int, restarts);
    static const std::vector<LidarData> hall = test::simulatorFrames(58); // 10 a second
    MapBuilder builder;
    builder.start();
    for (int k : sequence) {
        MapInput input;
        input.frameId = k + 1;
        builder.submit(hall[std::size_t(k)], hallSnapshot(), input);
        QVERIFY(builder.waitIdle(60000));
    }
    const MapStatus status = builder.status();
    QCOMPARE(int(status.frames), frames);
    QCOMPARE(int(status.generation), restarts);
    QCOMPARE(status.skipped, std::size_t(0));
    builder.read([&](const MapAccumulator& map, const MapStatus&) {
        checkMapShape(map);
        QCOMPARE(int(map.poses().size()), frames);
        QCOMPARE(map.frames().back().frameId, sequence.back() + 1);
        QVERIFY(map.size() > 1000);
        QVERIFY(map.poses().front().isApprox(Eigen::Isometry3d::Identity()));
        // The scanner stands still in the hall.
        for (const Eigen::Isometry3d& pose : map.poses())
            QVERIFY2(pose.translation().norm() < 0.1, QByteArray::number(pose.translation().norm()));
        // The map's first two frames as far apart as the device's clock says (10 frames a second).
        if (frames > 1) {
            const int first = sequence[sequence.size() - frames];
            const int second = sequence[sequence.size() - frames + 1];
            QVERIFY(std::abs(map.frames()[1].seconds - 0.1 * (second - first)) < 0.002);
        }
    });

    builder.reset();
    const MapStatus empty = builder.status();
    QCOMPARE(empty.frames, std::size_t(0));
    QCOMPARE(empty.points, std::size_t(0));
    QCOMPARE(int(empty.generation), restarts + 1);
    builder.read([](const MapAccumulator& map, const MapStatus&) { QVERIFY(map.frames().empty() && map.size() == 0); });
    builder.stop();
}

void MapAccumulatorTest::newestWaitingFrameIsRegistered()
{
    const std::vector<LidarData> hall = test::simulatorFrames(3);
    MapBuilder builder;
    // No worker yet: every frame waits, the newest replacing the one before.
    for (int k = 0; k < 3; ++k) {
        MapInput input;
        input.frameId = k + 1;
        builder.submit(hall[std::size_t(k)], hallSnapshot(), input);
    }
    QCOMPARE(builder.status().skipped, std::size_t(2));
    builder.start();
    QVERIFY(builder.waitIdle(60000));
    QCOMPARE(builder.status().frames, std::size_t(1));
    builder.read([](const MapAccumulator& map, const MapStatus&) { QCOMPARE(map.frames().front().frameId, 3); });
    // A frame waiting when the worker stops is dropped; stopping joins at once.
    builder.submit(hall[0], hallSnapshot(), {});
    builder.stop();
    QVERIFY(!builder.isRunning());
}

void MapAccumulatorTest::builderPosesAreTheCommandLines()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pcap = dir.filePath("drive.pcap");
    QCOMPARE(runToEnd(HVK32_SIM_PATH, {"--scene", "town", "--drive", "loop", "--seconds", "2", "--pcap", pcap,
                                             "--quiet"})
                 .exitCode,
             0);
    CapturePlayerCore player;
    QVERIFY(player.open(pcap));
    FrameTracker tracker{Parameters{}};
    MapBuilder builder;
    builder.start();
    std::vector<Eigen::Isometry3d> poses;
    std::vector<double> times, seconds;
    {
        PlayedFrames played(player, 0);
        while (const PlayedFrames::Frame* f = played.next()) {
            const StampedPose stamped = tracker.add(f->frame, f->snapshot, f->time);
            poses.push_back(stamped.pose);
            times.push_back(stamped.time);
            seconds.push_back(tracker.seconds());
            // As the window hands a played frame over: with the capture's time of its start.
            MapInput input;
            input.frameId = f->frameId;
            input.reference = f->time;
            builder.submit(f->frame, f->snapshot, input);
            QVERIFY(builder.waitIdle(60000));
        }
    }
    QVERIFY(poses.size() >= 15);
    builder.read([&](const MapAccumulator& map, const MapStatus& status) {
        QCOMPARE(status.generation, std::uint64_t(0));
        QCOMPARE(map.poses().size(), poses.size());
        for (std::size_t k = 0; k < poses.size(); ++k) {
            QVERIFY2(map.poses()[k].isApprox(poses[k], 1e-12), qPrintable(QString::number(k)));
            QCOMPARE(map.frames()[k].seconds, seconds[k]);
            // The frame's first firing in the capture's time base, before its pose's instant
            // (halfway through the frame's firings).
            const double start = double(map.frames()[k].time.captureMicros) * 1e-6;
            QVERIFY(start < times[k] && times[k] - start < 0.06);
        }
    });
}

QTEST_GUILESS_MAIN(MapAccumulatorTest)
#include "MapAccumulatorTest.moc"
