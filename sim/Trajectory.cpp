#include "sim/Trajectory.h"

#include "platform/OptionParser.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace hvk32::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTinyNorm = 1e-9;      // a quaternion this short has no direction
constexpr double kNearlyParallel = 0.9995; // cosine above which slerp falls back to a straight blend
constexpr int kTumFields = 8;

Quaternion normalised(const Quaternion& q)
{
    const double n = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    return {q.w / n, q.x / n, q.y / n, q.z / n};
}

std::string lineError(std::size_t line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

} // namespace

Rotation::Rotation(const Quaternion& q)
{
    const double w = q.w, x = q.x, y = q.y, z = q.z;
    m[0][0] = 1 - 2 * (y * y + z * z);
    m[0][1] = 2 * (x * y - w * z);
    m[0][2] = 2 * (x * z + w * y);
    m[1][0] = 2 * (x * y + w * z);
    m[1][1] = 1 - 2 * (x * x + z * z);
    m[1][2] = 2 * (y * z - w * x);
    m[2][0] = 2 * (x * z - w * y);
    m[2][1] = 2 * (y * z + w * x);
    m[2][2] = 1 - 2 * (x * x + y * y);
}

Quaternion slerp(const Quaternion& a, Quaternion b, double s)
{
    double cosine = a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
    if (cosine < 0.0) { // q and -q are the same rotation: take the shorter way
        b = {-b.w, -b.x, -b.y, -b.z};
        cosine = -cosine;
    }
    double wa = 1.0 - s;
    double wb = s;
    if (cosine < kNearlyParallel) {
        const double angle = std::acos(cosine);
        const double sine = std::sin(angle);
        wa = std::sin((1.0 - s) * angle) / sine;
        wb = std::sin(s * angle) / sine;
    }
    return normalised({wa * a.w + wb * b.w, wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z});
}

Pose interpolate(const Pose& a, const Pose& b, double s)
{
    const Vec3& p = a.position;
    const Vec3& q = b.position;
    return {{p.x + s * (q.x - p.x), p.y + s * (q.y - p.y), p.z + s * (q.z - p.z)}, slerp(a.rotation, b.rotation, s)};
}

Quaternion yawRotation(double yaw) { return {std::cos(yaw / 2), 0.0, 0.0, std::sin(yaw / 2)}; }

Trajectory::Trajectory(std::vector<TimedPose> poses, bool repeats) : poses_(std::move(poses)), repeats_(repeats)
{
    if (poses_.empty())
        throw std::invalid_argument("a trajectory needs at least one pose");
}

Pose Trajectory::at(double seconds) const
{
    const double start = poses_.front().seconds;
    const double end = poses_.back().seconds;
    if (repeats_ && end > start)
        seconds = start + std::fmod(std::fmod(seconds - start, end - start) + (end - start), end - start);
    if (seconds <= start)
        return poses_.front().pose;
    if (seconds >= end)
        return poses_.back().pose;
    const auto after = std::upper_bound(poses_.begin(), poses_.end(), seconds,
                                        [](double t, const TimedPose& p) { return t < p.seconds; });
    const TimedPose& b = *after;
    const TimedPose& a = *(after - 1);
    return interpolate(a.pose, b.pose, (seconds - a.seconds) / (b.seconds - a.seconds));
}

bool Trajectory::readTum(std::istream& in, std::vector<TimedPose>& poses, std::string& error)
{
    poses.clear();
    std::string text;
    std::size_t lineNumber = 0;
    while (std::getline(in, text)) {
        ++lineNumber;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        std::istringstream words(text);
        std::vector<std::string> fields;
        for (std::string word; words >> word;)
            fields.push_back(word);
        if (fields.empty() || fields.front()[0] == '#')
            continue;
        if (fields.size() != kTumFields) {
            error = lineError(lineNumber, "expected 8 numbers (t x y z qx qy qz qw), found "
                                              + std::to_string(fields.size()) + " fields");
            return false;
        }
        double v[kTumFields];
        for (int i = 0; i < kTumFields; ++i) {
            if (!platform::parseFiniteNumber(fields[i], v[i])) {
                error = lineError(lineNumber, "\"" + fields[i] + "\" is not a finite number");
                return false;
            }
        }
        if (!poses.empty() && !(v[0] > poses.back().seconds)) {
            error = lineError(lineNumber, "time " + fields[0] + " s does not come after the line before");
            return false;
        }
        const Quaternion q{v[7], v[4], v[5], v[6]};
        if (std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z) < kTinyNorm) {
            error = lineError(lineNumber, "the quaternion (qx qy qz qw) is zero");
            return false;
        }
        poses.push_back({v[0], {{v[1], v[2], v[3]}, normalised(q)}});
    }
    if (in.bad()) {
        error = "reading failed";
        return false;
    }
    if (poses.empty()) {
        error = "no pose in it (expected lines of t x y z qx qy qz qw)";
        return false;
    }
    return true;
}

Trajectory loopDrive()
{
    using namespace drive;
    // Counter-clockwise around the rectangle of centre lines, from the middle of its southern
    // side: straight pieces and quarter circles, each given by its length and curvature.
    const double r = kTurnRadius;
    const double width = kMaxX - kMinX;
    const double depth = kMaxY - kMinY;
    const double quarter = kPi / 2 * r;
    const std::pair<double, double> pieces[] = {
        {width / 2 - r, 0.0}, {quarter, 1 / r}, {depth - 2 * r, 0.0}, {quarter, 1 / r},
        {width - 2 * r, 0.0}, {quarter, 1 / r}, {depth - 2 * r, 0.0}, {quarter, 1 / r},
        {width / 2 - r, 0.0},
    };
    double length = 0.0;
    for (const auto& piece : pieces)
        length += piece.first;

    // Position and heading at distance s along the loop.
    const auto along = [&](double s, double& x, double& y, double& heading) {
        x = (kMinX + kMaxX) / 2;
        y = kMinY;
        heading = 0.0;
        for (const auto& [pieceLength, curvature] : pieces) {
            const double d = std::min(s, pieceLength);
            if (curvature == 0.0) {
                x += d * std::cos(heading);
                y += d * std::sin(heading);
            } else {
                const double turned = d * curvature;
                x += (std::sin(heading + turned) - std::sin(heading)) / curvature;
                y += (std::cos(heading) - std::cos(heading + turned)) / curvature;
                heading += turned;
            }
            s -= d;
            if (s <= 0.0)
                break;
        }
    };

    const double period = length / kSpeed;
    std::vector<TimedPose> poses;
    for (std::int64_t k = 0;; ++k) {
        const double t = std::min(static_cast<double>(k) * kSampleSeconds, period);
        double x = 0, y = 0, heading = 0;
        along(t * kSpeed, x, y, heading);
        poses.push_back({t, {{x, y, kScannerHeight}, yawRotation(heading)}});
        if (t >= period)
            break;
    }
    poses.back().pose = poses.front().pose; // closes the loop exactly
    return Trajectory(std::move(poses), true);
}

std::string tumLine(std::uint64_t micros, const Pose& pose)
{
    const Vec3& p = pose.position;
    const Quaternion& q = pose.rotation;
    char line[256];
    std::snprintf(line, sizeof line, "%" PRIu64 ".%06" PRIu64 " %.6f %.6f %.6f %.9f %.9f %.9f %.9f\n",
                  micros / 1000000, micros % 1000000, p.x, p.y, p.z, q.x, q.y, q.z, q.w);
    return line;
}

} // namespace hvk32::sim
