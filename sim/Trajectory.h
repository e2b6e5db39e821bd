#pragma once
// Where the substitute scanner is over time: poses of the scanner's own x/y/z frame (the one
// the exports use) in the scene's frame, read from a file of TUM lines or built in, and
// interpolated linearly in position and by slerp in rotation. Plain, no I/O beyond a stream.

#include "sim/Scene.h"

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace hvk32::sim {

// A rotation as a unit quaternion.
struct Quaternion {
    double w = 1.0;
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// The rotation of a unit quaternion as a matrix, to turn many vectors at once.
struct Rotation {
    double m[3][3];
    explicit Rotation(const Quaternion& q);
    Vec3 operator*(const Vec3& v) const
    {
        return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
                m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
    }
};

// A point p of the scanner's frame lies at rotation * p + position in the scene.
struct Pose {
    Vec3 position;
    Quaternion rotation;
};

// Spherical interpolation along the shorter arc: a at s = 0, b at s = 1.
Quaternion slerp(const Quaternion& a, Quaternion b, double s);
// Position linearly, rotation by slerp.
Pose interpolate(const Pose& a, const Pose& b, double s);
// The rotation about the vertical axis by `yaw` radians (counter-clockwise seen from above).
Quaternion yawRotation(double yaw);

struct TimedPose {
    double seconds = 0.0; // from the start of the stream
    Pose pose;
};

class Trajectory {
public:
    // Poses in increasing time order. A repeating trajectory starts over after its last pose,
    // which should equal its first; any other holds its first pose before its start and its
    // last pose after its end.
    explicit Trajectory(std::vector<TimedPose> poses, bool repeats = false);

    // Reads TUM lines ("t x y z qx qy qz qw"; blank lines and lines starting with # are
    // skipped). Times must increase strictly; quaternions are normalised. False with a
    // message naming the line when the text is not such a file or holds no pose.
    static bool readTum(std::istream& in, std::vector<TimedPose>& poses, std::string& error);

    Pose at(double seconds) const;
    const std::vector<TimedPose>& poses() const { return poses_; }
    bool repeats() const { return repeats_; }

private:
    std::vector<TimedPose> poses_;
    bool repeats_;
};

// The built-in drive through the town: a closed loop of about 1.2 km around blocks, along
// street centre lines at 10 m/s, with four turns on arcs, the scanner upright 1.8 m above
// the road and its x axis looking ahead. It repeats for as long as the stream runs.
Trajectory loopDrive();

namespace drive {
constexpr double kSpeed = 10.0;        // [m/s]
constexpr double kScannerHeight = 1.8; // [m] above the road
constexpr double kTurnRadius = 15.0;   // [m]
constexpr double kMinX = -100.0;       // [m] street centre lines the loop follows
constexpr double kMaxX = 200.0;
constexpr double kMinY = -100.0;
constexpr double kMaxY = 200.0;
constexpr double kSampleSeconds = 0.01; // spacing of the poses the loop is sampled at
} // namespace drive

// One TUM line (with its newline) for a time given in microseconds: the time printed with six
// decimals, positions in metres with six, the quaternion with nine.
std::string tumLine(std::uint64_t micros, const Pose& pose);

} // namespace hvk32::sim
