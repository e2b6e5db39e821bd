#include "odometry/Trajectory.h"

#include <Eigen/SVD>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

namespace hvk32::odometry {

namespace {

// Reads exactly `count` numbers separated by blanks; false for anything else.
bool readNumbers(const std::string& line, double* out, int count)
{
    const char* p = line.c_str();
    for (int k = 0; k < count; ++k) {
        char* end = nullptr;
        out[k] = std::strtod(p, &end);
        if (end == p || !std::isfinite(out[k]))
            return false;
        p = end;
    }
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')
        ++p;
    return *p == '\0';
}

bool skippable(const std::string& line)
{
    const std::size_t first = line.find_first_not_of(" \t\r");
    return first == std::string::npos || line[first] == '#';
}

double rotationAngle(const Eigen::Matrix3d& r)
{
    // As the benchmark's tools compute it: from the trace, clamped.
    const double d = 0.5 * (r(0, 0) + r(1, 1) + r(2, 2) - 1.0);
    return std::acos(std::max(std::min(d, 1.0), -1.0));
}

} // namespace

std::string tumLine(const StampedPose& p)
{
    Eigen::Quaterniond q(p.pose.linear());
    q.normalize();
    if (q.w() < 0)
        q.coeffs() = -q.coeffs();
    const Eigen::Vector3d t = p.pose.translation();
    char line[256];
    std::snprintf(line, sizeof line, "%.6f %.9g %.9g %.9g %.9g %.9g %.9g %.9g", p.time, t.x(), t.y(), t.z(), q.x(),
                  q.y(), q.z(), q.w());
    return line;
}

std::string kittiLine(const Eigen::Isometry3d& pose)
{
    const Eigen::Matrix4d& m = pose.matrix();
    std::string line;
    char number[32];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) {
            std::snprintf(number, sizeof number, "%.9g", m(r, c));
            if (!line.empty())
                line += ' ';
            line += number;
        }
    return line;
}

bool parseTumLine(const std::string& line, StampedPose& out)
{
    double v[8];
    if (!readNumbers(line, v, 8))
        return false;
    Eigen::Quaterniond q(v[7], v[4], v[5], v[6]);
    if (!(q.norm() > 0))
        return false;
    q.normalize();
    out.time = v[0];
    out.pose = Eigen::Isometry3d::Identity();
    out.pose.linear() = q.toRotationMatrix();
    out.pose.translation() = Eigen::Vector3d(v[1], v[2], v[3]);
    return true;
}

bool parseKittiLine(const std::string& line, Eigen::Isometry3d& out)
{
    double v[12];
    if (!readNumbers(line, v, 12))
        return false;
    out = Eigen::Isometry3d::Identity();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            out.matrix()(r, c) = v[r * 4 + c];
    return true;
}

bool readTrajectory(std::istream& in, PoseFormat format, Trajectory& out, std::string* error, double kittiInterval)
{
    out.clear();
    std::string line;
    long number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (skippable(line))
            continue;
        StampedPose p;
        const bool ok = format == PoseFormat::Tum ? parseTumLine(line, p) : parseKittiLine(line, p.pose);
        if (!ok) {
            if (error)
                *error = "line " + std::to_string(number) + " is not a "
                    + (format == PoseFormat::Tum ? "TUM pose (t x y z qx qy qz qw)" : "KITTI pose (12 numbers)");
            return false;
        }
        if (format == PoseFormat::Kitti)
            p.time = static_cast<double>(out.size()) * kittiInterval;
        out.push_back(p);
    }
    return true;
}

void writeTrajectory(std::ostream& out, PoseFormat format, const Trajectory& poses)
{
    for (const StampedPose& p : poses)
        out << (format == PoseFormat::Tum ? tumLine(p) : kittiLine(p.pose)) << '\n';
}

bool poseAt(const Trajectory& truth, double time, Eigen::Isometry3d& out)
{
    if (truth.empty() || time < truth.front().time || time > truth.back().time)
        return false;
    const auto after = std::lower_bound(truth.begin(), truth.end(), time,
                                        [](const StampedPose& p, double t) { return p.time < t; });
    if (after->time == time || after == truth.begin()) {
        out = after->pose;
        return true;
    }
    const StampedPose& a = *(after - 1);
    const StampedPose& b = *after;
    const double f = (time - a.time) / (b.time - a.time);
    const Eigen::Quaterniond qa(a.pose.linear()), qb(b.pose.linear());
    out = Eigen::Isometry3d::Identity();
    out.linear() = qa.slerp(f, qb).toRotationMatrix();
    out.translation() = a.pose.translation() + f * (b.pose.translation() - a.pose.translation());
    return true;
}

void associate(const Trajectory& estimated, const Trajectory& groundTruth, std::vector<Eigen::Isometry3d>& estimate,
               std::vector<Eigen::Isometry3d>& truth)
{
    estimate.clear();
    truth.clear();
    for (const StampedPose& p : estimated) {
        Eigen::Isometry3d g;
        if (!poseAt(groundTruth, p.time, g))
            continue;
        estimate.push_back(p.pose);
        truth.push_back(g);
    }
}

RelativeErrors kittiRelativeErrors(const std::vector<Eigen::Isometry3d>& estimate,
                                   const std::vector<Eigen::Isometry3d>& truth, const std::vector<double>& lengths,
                                   std::size_t step)
{
    RelativeErrors result;
    const std::size_t n = std::min(estimate.size(), truth.size());
    if (n < 2 || step == 0)
        return result;
    // Distance along the ground truth path to each pose.
    std::vector<double> distance(n, 0.0);
    for (std::size_t k = 1; k < n; ++k)
        distance[k] = distance[k - 1] + (truth[k].translation() - truth[k - 1].translation()).norm();
    double translationSum = 0, rotationSum = 0;
    for (std::size_t first = 0; first < n; first += step)
        for (const double length : lengths) {
            std::size_t last = first;
            while (last < n && !(distance[last] > distance[first] + length))
                ++last;
            if (last >= n)
                continue;
            const Eigen::Isometry3d truthDelta = truth[first].inverse() * truth[last];
            const Eigen::Isometry3d estimateDelta = estimate[first].inverse() * estimate[last];
            const Eigen::Isometry3d error = estimateDelta.inverse() * truthDelta;
            translationSum += error.translation().norm() / length;
            rotationSum += rotationAngle(error.linear()) / length;
            ++result.segments;
        }
    if (result.segments) {
        const double count = static_cast<double>(result.segments);
        result.translationPercent = 100.0 * translationSum / count;
        result.rotationDegPer100m = 100.0 * (rotationSum / count) * 180.0 / M_PI;
    }
    return result;
}

Eigen::Isometry3d bestRigidAlignment(const std::vector<Eigen::Isometry3d>& estimate,
                                     const std::vector<Eigen::Isometry3d>& truth)
{
    const std::size_t n = std::min(estimate.size(), truth.size());
    Eigen::Isometry3d result = Eigen::Isometry3d::Identity();
    if (n == 0)
        return result;
    Eigen::Vector3d meanE = Eigen::Vector3d::Zero(), meanT = Eigen::Vector3d::Zero();
    for (std::size_t k = 0; k < n; ++k) {
        meanE += estimate[k].translation();
        meanT += truth[k].translation();
    }
    meanE /= static_cast<double>(n);
    meanT /= static_cast<double>(n);
    Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero();
    for (std::size_t k = 0; k < n; ++k)
        covariance += (truth[k].translation() - meanT) * (estimate[k].translation() - meanE).transpose();
    const Eigen::JacobiSVD<Eigen::Matrix3d> svd(covariance, Eigen::ComputeFullU | Eigen::ComputeFullV);
    Eigen::Matrix3d s = Eigen::Matrix3d::Identity();
    if (svd.matrixU().determinant() * svd.matrixV().determinant() < 0)
        s(2, 2) = -1;
    result.linear() = svd.matrixU() * s * svd.matrixV().transpose();
    result.translation() = meanT - result.linear() * meanE;
    return result;
}

double absoluteTrajectoryError(const std::vector<Eigen::Isometry3d>& estimate,
                               const std::vector<Eigen::Isometry3d>& truth)
{
    const std::size_t n = std::min(estimate.size(), truth.size());
    if (n == 0)
        return 0;
    const Eigen::Isometry3d a = bestRigidAlignment(estimate, truth);
    double sum = 0;
    for (std::size_t k = 0; k < n; ++k)
        sum += (a * estimate[k].translation() - truth[k].translation()).squaredNorm();
    return std::sqrt(sum / static_cast<double>(n));
}

double pathLength(const std::vector<Eigen::Isometry3d>& poses)
{
    double length = 0;
    for (std::size_t k = 1; k < poses.size(); ++k)
        length += (poses[k].translation() - poses[k - 1].translation()).norm();
    return length;
}

} // namespace hvk32::odometry
