// How far an estimated trajectory strays from the ground truth, as the odometry's accuracy is
// judged: every estimated pose is paired with the ground truth at its time, then
//   - the KITTI odometry benchmark's relative errors over every sub-path of 100, 200, 300 and
//     400 m (translation in %, rotation in degrees per 100 m), and
//   - the absolute trajectory error, the RMSE of the positions after a rigid alignment.
//
//   hvk32-bench-trajectory-error GROUND_TRUTH ESTIMATE [--lengths 100,200,300,400]
//
// Both files hold TUM lines (t x y z qx qy qz qw) with times in one base, as hvk32-sim
// --ground-truth and hvk32-cli odometry --trajectory write them; the estimate may start at any
// pose (its first is the identity). Prints one "name value" line per figure; a relative error
// is "-" when the path is shorter than every sub-path length. Exit status 1 when a file cannot
// be read or no estimated pose falls within the ground truth's span, 2 for bad arguments.

#include "odometry/Trajectory.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using hvk32::odometry::Trajectory;

bool readTum(const char* path, Trajectory& out)
{
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "hvk32-bench-trajectory-error: cannot open %s\n", path);
        return false;
    }
    std::string error;
    if (!hvk32::odometry::readTrajectory(in, hvk32::odometry::PoseFormat::Tum, out, &error)) {
        std::fprintf(stderr, "hvk32-bench-trajectory-error: %s: %s\n", path, error.c_str());
        return false;
    }
    return true;
}

// "100,200,300" into lengths in metres; false for anything else.
bool parseLengths(const std::string& text, std::vector<double>& lengths)
{
    lengths.clear();
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        char* end = nullptr;
        const double v = std::strtod(item.c_str(), &end);
        if (item.empty() || *end != '\0' || !(v > 0))
            return false;
        lengths.push_back(v);
    }
    return !lengths.empty();
}

int usage()
{
    std::fprintf(stderr, "usage: hvk32-bench-trajectory-error GROUND_TRUTH ESTIMATE [--lengths 100,200,300,400]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<const char*> files;
    std::vector<double> lengths{100, 200, 300, 400};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--lengths" && i + 1 < argc) {
            if (!parseLengths(argv[++i], lengths))
                return usage();
        } else if (a.rfind("--", 0) == 0) {
            return usage();
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.size() != 2)
        return usage();

    Trajectory truth, estimated;
    if (!readTum(files[0], truth) || !readTum(files[1], estimated))
        return 1;
    std::vector<Eigen::Isometry3d> e, g;
    hvk32::odometry::associate(estimated, truth, e, g);
    if (e.empty()) {
        std::fprintf(stderr, "hvk32-bench-trajectory-error: no estimated pose lies within the ground truth's times\n");
        return 1;
    }
    const hvk32::odometry::RelativeErrors r = hvk32::odometry::kittiRelativeErrors(e, g, lengths);
    std::printf("estimated_poses %zu\n", estimated.size());
    std::printf("paired_poses %zu\n", e.size());
    std::printf("truth_length_m %.3f\n", hvk32::odometry::pathLength(g));
    std::printf("estimate_length_m %.3f\n", hvk32::odometry::pathLength(e));
    std::printf("rpe_segments %zu\n", r.segments);
    if (r.segments) {
        std::printf("rpe_percent %.4f\n", r.translationPercent);
        std::printf("rpe_deg_per_100m %.4f\n", r.rotationDegPer100m);
    } else {
        std::printf("rpe_percent -\nrpe_deg_per_100m -\n");
    }
    std::printf("ate_m %.4f\n", hvk32::odometry::absoluteTrajectoryError(e, g));
    return 0;
}
