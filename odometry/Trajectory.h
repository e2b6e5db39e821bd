#pragma once
// Trajectories and how they are judged: TUM and KITTI pose lines, the association of an
// estimate with ground truth by time, the KITTI odometry benchmark's relative errors and the
// absolute trajectory error.

#include <Eigen/Geometry>

#include <iosfwd>
#include <string>
#include <vector>

namespace hvk32::odometry {

struct StampedPose {
    double time = 0; // [s]
    Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
};
using Trajectory = std::vector<StampedPose>;

// "t x y z qx qy qz qw": the time with `%.6f` (microseconds, as capture times count), the rest
// with `%.9g`; the quaternion's w is made non-negative.
std::string tumLine(const StampedPose& p);
// The first three rows of the 4x4 matrix, row by row, twelve numbers `%.9g`.
std::string kittiLine(const Eigen::Isometry3d& pose);

// One line of each format; false for anything else (blank lines and '#' comments included).
// A TUM quaternion is normalised; one of length zero is refused.
bool parseTumLine(const std::string& line, StampedPose& out);
bool parseKittiLine(const std::string& line, Eigen::Isometry3d& out);

enum class PoseFormat { Tum, Kitti };

// Reads every pose line; blank lines and lines starting with '#' are skipped. KITTI lines have
// no time: pose k gets time k * kittiInterval. False, with `error` naming the line, at the
// first line that is neither.
bool readTrajectory(std::istream& in, PoseFormat format, Trajectory& out, std::string* error = nullptr,
                    double kittiInterval = 0.1);
void writeTrajectory(std::ostream& out, PoseFormat format, const Trajectory& poses);

// The pose of `truth` (ordered by time) at `time`: position interpolated linearly, rotation by
// slerp between the two poses around it. False outside its span.
bool poseAt(const Trajectory& truth, double time, Eigen::Isometry3d& out);

// Pairs every estimated pose with ground truth at its time (poses outside the ground truth's
// span are left out): `estimate` and `truth` receive the pairs, in the estimate's order.
void associate(const Trajectory& estimated, const Trajectory& groundTruth, std::vector<Eigen::Isometry3d>& estimate,
               std::vector<Eigen::Isometry3d>& truth);

struct RelativeErrors {
    double translationPercent = 0;       // average over every sub-path [%]
    double rotationDegPer100m = 0;       // average over every sub-path [deg / 100 m]
    std::size_t segments = 0;            // sub-paths averaged
};

// The KITTI odometry benchmark's relative errors: from each start pose (every `step`-th; the
// benchmark's tools take every 10th), for each length L in `lengths`, the first pose whose
// distance along the ground truth path exceeds the start's by more than L; the error of the
// estimate's relative motion over that sub-path, its translation divided by L and its rotation
// angle divided by L, averaged over every such sub-path. Both sequences are paired pose by pose.
RelativeErrors kittiRelativeErrors(const std::vector<Eigen::Isometry3d>& estimate,
                                   const std::vector<Eigen::Isometry3d>& truth,
                                   const std::vector<double>& lengths = {100, 200, 300, 400}, std::size_t step = 1);

// The rigid motion (no scale) that best maps the estimate's positions onto the truth's in the
// least-squares sense (Horn's / Umeyama's closed form).
Eigen::Isometry3d bestRigidAlignment(const std::vector<Eigen::Isometry3d>& estimate,
                                     const std::vector<Eigen::Isometry3d>& truth);
// The absolute trajectory error: RMSE [m] of the positions after that alignment; 0 when empty.
double absoluteTrajectoryError(const std::vector<Eigen::Isometry3d>& estimate,
                               const std::vector<Eigen::Isometry3d>& truth);
// The length [m] of the path through the positions.
double pathLength(const std::vector<Eigen::Isometry3d>& poses);

} // namespace hvk32::odometry
