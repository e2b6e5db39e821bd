// The odometry: trajectory evaluation against hand-computed cases, registration of synthetic
// frames of a box room with known motion (with and without simulated skew), and the command
// line's odometry on a simulator capture.

#include "odometry/Odometry.h"
#include "odometry/Trajectory.h"
#include "support/ProgramRun.h"
#include "support/SyntheticRoom.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <sstream>

using namespace hvk32::odometry;

namespace {

using synthetic::poseOf;

double angleDeg(const Eigen::Isometry3d& m)
{
    return Eigen::AngleAxisd(m.linear()).angle() * 180 / M_PI;
}

} // namespace

class OdometryTest : public QObject {
    Q_OBJECT

private slots:
    void poseLinesRoundTrip();
    void poseLinesRefuseOtherText();
    void groundTruthIsInterpolatedAtEstimateTimes();
    void relativeErrors_data();
    void relativeErrors();
    void absoluteErrorIgnoresARigidMotion();
    void registrationRecoversMotion_data();
    void registrationRecoversMotion();
    void commandWritesAPosePerFrameTheSameEveryRun();
};

void OdometryTest::poseLinesRoundTrip()
{
    Trajectory poses;
    for (int k = 0; k < 5; ++k)
        poses.push_back({1796863310.25 + 0.1 * k, poseOf(3.5 * k, -2.25 * k, 0.1 * k, 40.0 * k, 5.0 - k, 2.0 * k)});
    for (const PoseFormat format : {PoseFormat::Tum, PoseFormat::Kitti}) {
        std::stringstream text;
        writeTrajectory(text, format, poses);
        Trajectory read;
        std::string error;
        std::stringstream in("# a comment\n\n" + text.str());
        QVERIFY2(readTrajectory(in, format, read, &error), error.c_str());
        QCOMPARE(read.size(), poses.size());
        for (std::size_t k = 0; k < poses.size(); ++k) {
            QVERIFY((read[k].pose.matrix() - poses[k].pose.matrix()).cwiseAbs().maxCoeff() < 1e-7);
            if (format == PoseFormat::Tum)
                QVERIFY(std::abs(read[k].time - poses[k].time) < 1e-6);
            else
                QCOMPARE(read[k].time, 0.1 * static_cast<double>(k));
        }
    }
    // The identity as the command writes the first frame.
    QCOMPARE(tumLine({12.5, Eigen::Isometry3d::Identity()}), std::string("12.500000 0 0 0 0 0 0 1"));
    QCOMPARE(kittiLine(Eigen::Isometry3d::Identity()), std::string("1 0 0 0 0 1 0 0 0 0 1 0"));
}

void OdometryTest::poseLinesRefuseOtherText()
{
    StampedPose p;
    Eigen::Isometry3d m;
    QVERIFY(!parseTumLine("1 2 3 4 0 0 0", p));        // seven numbers
    QVERIFY(!parseTumLine("1 2 3 4 0 0 0 1 9", p));    // nine
    QVERIFY(!parseTumLine("1 2 3 4 0 0 0 0", p));      // no rotation
    QVERIFY(!parseTumLine("1 2 3 4 0 0 0 nan", p));
    QVERIFY(!parseKittiLine("1 0 0 0 0 1 0 0 0 0 1", m)); // eleven
    QVERIFY(parseTumLine("1 2 3 4 0 0 0 2", p));       // a quaternion of length 2 is normalised
    QVERIFY(p.pose.linear().isApprox(Eigen::Matrix3d::Identity()));
    std::stringstream in("0 0 0 0 0 0 0 1\nnot a pose\n");
    Trajectory t;
    std::string error;
    QVERIFY(!readTrajectory(in, PoseFormat::Tum, t, &error));
    QVERIFY(error.find("line 2") != std::string::npos);
}

void OdometryTest::groundTruthIsInterpolatedAtEstimateTimes()
{
    const Trajectory truth{{10.0, poseOf(0, 0, 0, 0)}, {11.0, poseOf(2, 4, 0, 90)}, {12.0, poseOf(2, 8, 0, 90)}};
    const Trajectory estimated{{9.5, poseOf(0, 0, 0, 0)}, {10.25, poseOf(1, 1, 1, 1)}, {11.5, poseOf(0, 0, 0, 0)},
                               {12.5, poseOf(0, 0, 0, 0)}};
    std::vector<Eigen::Isometry3d> e, g;
    associate(estimated, truth, e, g);
    QCOMPARE(e.size(), std::size_t(2)); // 9.5 and 12.5 lie outside the ground truth
    QVERIFY(e[0].isApprox(poseOf(1, 1, 1, 1)));
    QVERIFY(g[0].translation().isApprox(Eigen::Vector3d(0.5, 1, 0)));
    QVERIFY(std::abs(angleDeg(g[0]) - 22.5) < 1e-9);
    QVERIFY(g[1].isApprox(poseOf(2, 6, 0, 90)));
}

void OdometryTest::relativeErrors_data()
{
    QTest::addColumn<double>("scale");       // the estimate's positions along the path: scale * truth
    QTest::addColumn<double>("yawPerMetre"); // [deg] heading drift of the estimate
    QTest::addColumn<QVector<double>>("lengths");
    QTest::addColumn<int>("step");
    QTest::addColumn<double>("percent");
    QTest::addColumn<double>("degPer100m");
    QTest::addColumn<int>("segments");
    // A straight path of 1001 poses a metre apart. A sub-path of L metres ends at the first pose
    // more than L metres on, L + 1 metres: a 1 % scale error is 1.01 m over 100 m.
    // Starts 0, 100, ..., 800 have such a pose (900 + 101 > 1000).
    QTest::newRow("1% long, 100 m") << 1.01 << 0.0 << QVector<double>{100} << 100 << 1.01 << 0.0 << 9;
    // 400 m: (401 / 400) %, starts 0 .. 599 (599 + 401 = 1000).
    QTest::newRow("1% long, 400 m, every start") << 1.01 << 0.0 << QVector<double>{400} << 1 << 401.0 / 400 << 0.0
                                                << 600;
    QTest::newRow("exact") << 1.0 << 0.0 << QVector<double>{100, 200, 300, 400} << 10 << 0.0 << 0.0
                           << (90 + 80 + 70 + 60);
    // A heading that turns 0.001 degrees per metre turns 0.101 degrees over the 101 m of a
    // 100 m sub-path (its translation error comes from the turn too, so only rotation is fixed).
    QTest::newRow("heading drift") << 1.0 << 0.001 << QVector<double>{100} << 100 << -1.0 << 0.101 << 9;
}

void OdometryTest::relativeErrors()
{
    QFETCH(double, scale);
    QFETCH(double, yawPerMetre);
    QFETCH(QVector<double>, lengths);
    QFETCH(int, step);
    QFETCH(double, percent);
    QFETCH(double, degPer100m);
    QFETCH(int, segments);
    std::vector<Eigen::Isometry3d> truth, estimate;
    for (int k = 0; k <= 1000; ++k) {
        truth.push_back(poseOf(k, 0, 0, 0));
        estimate.push_back(poseOf(scale * k, 0, 0, yawPerMetre * k));
    }
    const RelativeErrors r = kittiRelativeErrors(estimate, truth, std::vector<double>(lengths.begin(), lengths.end()),
                                                 static_cast<std::size_t>(step));
    QCOMPARE(static_cast<int>(r.segments), segments);
    if (percent >= 0)
        QVERIFY2(std::abs(r.translationPercent - percent) < 1e-9, QByteArray::number(r.translationPercent, 'g', 12));
    QVERIFY2(std::abs(r.rotationDegPer100m - degPer100m) < 1e-7, QByteArray::number(r.rotationDegPer100m, 'g', 12));
}

void OdometryTest::absoluteErrorIgnoresARigidMotion()
{
    std::vector<Eigen::Isometry3d> truth, moved, shaken;
    const Eigen::Isometry3d rigid = poseOf(120, -40, 3, 70, 4, -3);
    for (int k = 0; k < 200; ++k) {
        const double a = k * 0.05;
        truth.push_back(poseOf(30 * std::cos(a), 20 * std::sin(a), 0.01 * k, a * 57.3));
        moved.push_back(rigid * truth.back());
        // 0.5 m up and down, alternately: no rigid motion takes that away.
        shaken.push_back(truth.back());
        shaken.back().translation().z() += k % 2 ? 0.5 : -0.5;
    }
    QVERIFY(absoluteTrajectoryError(moved, truth) < 1e-9);
    QVERIFY(bestRigidAlignment(moved, truth).isApprox(rigid.inverse(), 1e-9));
    QVERIFY(std::abs(absoluteTrajectoryError(shaken, truth) - 0.5) < 1e-3);
    QCOMPARE(absoluteTrajectoryError({}, {}), 0.0);
}

void OdometryTest::registrationRecoversMotion_data()
{
    QTest::addColumn<double>("speed");  // [m/s] along the scanner's x
    QTest::addColumn<double>("turn");   // [deg/s] about z
    QTest::addColumn<bool>("skew");     // the frames are fired while moving
    QTest::addColumn<double>("tolerance"); // [m] of the last pose's position, 4 frames on
    QTest::newRow("still") << 0.0 << 0.0 << false << 0.01;
    // Points listed in scan order, straight on: a voxel keeping the first point it was entered
    // at held such registrations to the previous pose.
    QTest::newRow("10 m/s straight") << 10.0 << 0.0 << false << 0.05;
    QTest::newRow("5 m/s and turning") << 5.0 << 30.0 << false << 0.05;
    QTest::newRow("15 m/s and turning") << 15.0 << 20.0 << false << 0.1;
    QTest::newRow("15 m/s and turning, skewed") << 15.0 << 20.0 << true << 0.1;
    QTest::newRow("10 m/s and turning, skewed") << 10.0 << 30.0 << true << 0.1;
}

// Registers five frames of the room seen from a scanner moving by `motion` every 0.1 s and
// returns the error of the last pose. Frames without skew are registered without deskewing.
static Eigen::Isometry3d lastPoseError(const Eigen::Isometry3d& motion, bool skew, bool deskew)
{
    Parameters parameters;
    parameters.deskew = deskew;
    Odometry odometry(parameters);
    // Off the room's centre, five frames so that the velocity is known by the last.
    const Eigen::Isometry3d first = poseOf(-6, -1, 0, 10);
    Eigen::Isometry3d start = first;
    for (int k = 0; k < 5; ++k) {
        // The first frame is seen whole from its middle: its skew is unknown to any method, and
        // the map would keep it.
        const synthetic::Frame f = synthetic::frameOf(synthetic::boxRoom(0.15, k + 1), start, motion, skew && k > 0);
        odometry.registerFrame(f.points(), 0.1 * k);
        start = start * motion;
    }
    // The true pose at the last frame's instant (its middle), relative to the first frame's.
    const double half0 = odometry.times().front(), half4 = odometry.times().back() - 0.4;
    const Eigen::Isometry3d truth = (first * scaledMotion(motion, half0 / 0.1)).inverse()
        * (first * motion * motion * motion * motion * scaledMotion(motion, half4 / 0.1));
    return truth.inverse() * odometry.poses().back();
}

void OdometryTest::registrationRecoversMotion()
{
    QFETCH(double, speed);
    QFETCH(double, turn);
    QFETCH(bool, skew);
    QFETCH(double, tolerance);
    const Eigen::Isometry3d motion = poseOf(0.1 * speed, 0, 0, 0.1 * turn);
    const Eigen::Isometry3d error = lastPoseError(motion, skew, skew);
    QVERIFY2(error.translation().norm() < tolerance, QByteArray::number(error.translation().norm()));
    QVERIFY2(angleDeg(error) < 0.3, QByteArray::number(angleDeg(error)));
    if (skew) {
        // Without deskewing the same frames come out worse.
        const Eigen::Isometry3d skewed = lastPoseError(motion, skew, false);
        QVERIFY2(skewed.translation().norm() > error.translation().norm(),
                 QByteArray::number(skewed.translation().norm()) + " " + QByteArray::number(error.translation().norm()));
    }
}

void OdometryTest::commandWritesAPosePerFrameTheSameEveryRun()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString pcap = dir.filePath("hall.pcap");
    QCOMPARE(runToEnd(HVK32_SIM_PATH, {"--pcap", pcap, "--seconds", "2", "--quiet"}).exitCode, 0);
    const ProgramRun info = runToEnd(HVK32_CLI_PATH, {"info", "--pcap", pcap, "--summary"});
    QCOMPARE(info.exitCode, 0);
    const int frames = QJsonDocument::fromJson(info.lines.value(0)).object().value("frames").toInt();
    QVERIFY(frames >= 15);

    const auto read = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    struct Case {
        QStringList options;
        PoseFormat format;
    };
    const Case cases[] = {{{}, PoseFormat::Tum}, {{"--format", "kitti", "--no-deskew"}, PoseFormat::Kitti}};
    for (const Case& c : cases) {
        QByteArray first;
        for (int run = 0; run < 2; ++run) {
            const QString out = dir.filePath(QString("t%1.txt").arg(run));
            const QString map = dir.filePath(QString("map%1.ply").arg(run));
            const ProgramRun r = runToEnd(HVK32_CLI_PATH, QStringList{"odometry", "--pcap", pcap, "--trajectory", out,
                                                                      "--map", map}
                                                              + c.options);
            QVERIFY2(r.exitCode == 0, r.errors.constData());
            QVERIFY2(r.errors.contains(QByteArray::number(frames) + " frames"), r.errors.constData());
            const QByteArray text = read(out);
            if (run == 0) {
                first = text;
                continue;
            }
            QCOMPARE(text, first);
            QCOMPARE(read(map), read(dir.filePath("map0.ply")));
            QVERIFY(read(map).size() > 10000);
        }
        std::stringstream in(first.toStdString());
        Trajectory poses;
        QVERIFY(readTrajectory(in, c.format, poses));
        QCOMPARE(static_cast<int>(poses.size()), frames);
        QVERIFY(poses.front().pose.isApprox(Eigen::Isometry3d::Identity()));
        // The scanner stands still in the hall: every pose within a few centimetres and a
        // fraction of a degree of the first (the voxels' points differ from frame to frame),
        // and no drift from the second frame on.
        for (const StampedPose& p : poses) {
            QVERIFY2(p.pose.translation().norm() < 0.05, tumLine(p).c_str());
            QVERIFY2(angleDeg(p.pose) < 0.5, tumLine(p).c_str());
            QVERIFY2(&p == &poses[0] || (poses[1].pose.inverse() * p.pose).translation().norm() < 0.01,
                     tumLine(p).c_str());
        }
        if (c.format == PoseFormat::Tum) // seconds since 1970, a frame apart
            QVERIFY(poses.front().time > 1.6e9 && std::abs(poses[2].time - poses[1].time - 0.1) < 0.002);
    }
    // A map in a format without a place for map points is refused.
    QCOMPARE(runToEnd(HVK32_CLI_PATH, {"odometry", "--pcap", pcap, "--trajectory", dir.filePath("x.txt"), "--map",
                                       dir.filePath("m.csv")})
                 .exitCode,
             2);
}

QTEST_GUILESS_MAIN(OdometryTest)
#include "OdometryTest.moc"
