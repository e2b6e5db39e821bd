// A short drive through the simulator's town, end to end: a trajectory file written by the
// benchmark's drive generator, hvk32-sim's capture and ground truth of it, hvk32-cli odometry,
// and the evaluation of odometry/Trajectory.h. The bounds are far wider than the estimate's
// errors on this drive (about 0.1 m, 0.5 %, 0.01 degrees) but catch an estimate that lags the
// scanner: one held near standstill at the start came out 28 % short.

#include "odometry/Trajectory.h"
#include "support/ProgramRun.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <fstream>

using namespace hvk32::odometry;

namespace {

constexpr double kStreetSpacing = 100.0, kKerb = 8.0; // [m] the town's streets
constexpr double kCruise = 10.0;                      // [m/s] of the generator's short drive

// Runs a program to its end; a loaded machine may take five minutes.
ProgramRun run(const QString& program, const QStringList& arguments)
{
    return runToEnd(program, arguments, 300000);
}

bool readTum(const QString& path, Trajectory& out)
{
    std::ifstream in(path.toStdString());
    std::string error;
    const bool ok = in && readTrajectory(in, PoseFormat::Tum, out, &error);
    if (!ok)
        qWarning("%s: %s", qPrintable(path), error.c_str());
    return ok;
}

// The heading of the scanner's x axis in the horizontal plane [deg].
double headingDeg(const Eigen::Isometry3d& pose)
{
    const Eigen::Vector3d ahead = pose.linear() * Eigen::Vector3d::UnitX();
    return std::atan2(ahead.y(), ahead.x()) * 180 / M_PI;
}

} // namespace

class OdometryDriveTest : public QObject {
    Q_OBJECT
private slots:
    void shortDriveFollowsTheGroundTruth();
};

void OdometryDriveTest::shortDriveFollowsTheGroundTruth()
{
    const QString python = "/usr/bin/python3";
    if (!QFileInfo(python).isExecutable())
        QSKIP("no /usr/bin/python3 for the drive generator");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString drive = dir.filePath("drive.tum"), pcap = dir.filePath("drive.pcap");
    const QString truthFile = dir.filePath("truth.txt"), estimateFile = dir.filePath("estimate.txt");

    // The drive as written: on the streets, upright at 1.8 m, never faster than its cruising
    // speed, from rest along y = -100 and a quarter turn to the left at the crossing.
    ProgramRun r = run(python, {HVK32_DRIVE_GENERATOR, "short-turn", drive});
    QVERIFY2(r.exitCode == 0, r.errors.constData());
    Trajectory path;
    QVERIFY(readTum(drive, path));
    QVERIFY(path.size() > 100);
    QCOMPARE(path.front().time, 0.0);
    for (std::size_t k = 1; k < path.size(); ++k) {
        const Eigen::Vector3d a = path[k - 1].pose.translation(), b = path[k].pose.translation();
        QVERIFY((b - a).norm() / (path[k].time - path[k - 1].time) <= kCruise + 1e-3);
        QCOMPARE(b.z(), 1.8);
        QVERIFY((path[k].pose.linear() * Eigen::Vector3d::UnitZ()).z() > 1 - 1e-12);
        const double offX = std::fabs(b.x() - kStreetSpacing * std::round(b.x() / kStreetSpacing));
        const double offY = std::fabs(b.y() - kStreetSpacing * std::round(b.y() / kStreetSpacing));
        QVERIFY(std::min(offX, offY) < kKerb);
    }
    QCOMPARE(path.front().pose.translation().y(), -100.0);
    QVERIFY(std::fabs(headingDeg(path.front().pose)) < 1e-9);
    QVERIFY(std::fabs(headingDeg(path.back().pose) - 90) < 1e-6);

    // The capture, its ground truth and the odometry's estimate.
    const int seconds = static_cast<int>(std::ceil(path.back().time));
    r = run(HVK32_SIM_PATH, {"--quiet", "--scene", "town", "--trajectory", drive, "--seconds", QString::number(seconds),
                             "--start-time", "2026-03-05T10:00:00", "--pcap", pcap, "--ground-truth", truthFile});
    QVERIFY2(r.exitCode == 0, r.errors.constData());
    r = run(HVK32_CLI_PATH, {"odometry", "--pcap", pcap, "--trajectory", estimateFile});
    QVERIFY2(r.exitCode == 0, r.errors.constData());
    Trajectory truth, estimated;
    QVERIFY(readTum(truthFile, truth));
    QVERIFY(readTum(estimateFile, estimated));
    QVERIFY2(std::abs(static_cast<int>(estimated.size()) - 10 * seconds) <= 1, QByteArray::number(int(estimated.size())));

    // Every frame lies within the ground truth's times, in its time base.
    std::vector<Eigen::Isometry3d> e, g;
    associate(estimated, truth, e, g);
    QCOMPARE(e.size(), estimated.size());
    const double truthLength = pathLength(g), estimateLength = pathLength(e);
    QVERIFY2(truthLength > 80, QByteArray::number(truthLength));
    QVERIFY2(std::fabs(estimateLength / truthLength - 1) < 0.03,
             QByteArray::number(estimateLength) + " m estimated, " + QByteArray::number(truthLength) + " m driven");
    const double ate = absoluteTrajectoryError(e, g);
    QVERIFY2(ate < 0.5, QByteArray::number(ate));
    const double turned = headingDeg(e.front().inverse() * e.back());
    QVERIFY2(std::fabs(turned - 90) < 1, QByteArray::number(turned));
}

QTEST_GUILESS_MAIN(OdometryDriveTest)
#include "OdometryDriveTest.moc"
