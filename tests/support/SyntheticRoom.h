#pragma once
// A synthetic scene for the odometry's tests and benchmark: a room with boxes and pillars whose
// surfaces are sampled at random (a seed per frame, so that no two frames hold the same points,
// as no two scans do), and frames of it seen from a moving scanner whose beam sweeps the azimuth
// once per 0.1 s.

#include "odometry/Odometry.h"

#include <Eigen/Geometry>

#include <cmath>
#include <random>
#include <vector>

namespace synthetic {

using hvk32::odometry::FramePoints;
using hvk32::odometry::scaledMotion;

inline Eigen::Isometry3d poseOf(double x, double y, double z, double yawDeg, double pitchDeg = 0, double rollDeg = 0)
{
    Eigen::Isometry3d p = Eigen::Isometry3d::Identity();
    p.linear() = (Eigen::AngleAxisd(yawDeg * M_PI / 180, Eigen::Vector3d::UnitZ())
                  * Eigen::AngleAxisd(pitchDeg * M_PI / 180, Eigen::Vector3d::UnitY())
                  * Eigen::AngleAxisd(rollDeg * M_PI / 180, Eigen::Vector3d::UnitX()))
                     .toRotationMatrix();
    p.translation() = Eigen::Vector3d(x, y, z);
    return p;
}

// Points on the surfaces of a room 40 x 24 x 6 m without a ceiling (floor at z = -1.8), with
// two boxes and a row of pillars in it: one point at random in each cell of `step` metres.
inline std::vector<Eigen::Vector3d> boxRoom(double step, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<Eigen::Vector3d> pts;
    const auto face = [&](Eigen::Vector3d origin, Eigen::Vector3d u, Eigen::Vector3d v) {
        const int nu = static_cast<int>(u.norm() / step), nv = static_cast<int>(v.norm() / step);
        for (int i = 0; i <= nu; ++i)
            for (int j = 0; j <= nv; ++j) {
                const double a = (i + unit(rng)) / (nu + 1), b = (j + unit(rng)) / (nv + 1);
                pts.push_back(origin + u * a + v * b);
            }
    };
    const auto box = [&](Eigen::Vector3d lo, Eigen::Vector3d size, bool withTopAndBottom) {
        const Eigen::Vector3d X(size.x(), 0, 0), Y(0, size.y(), 0), Z(0, 0, size.z());
        face(lo, X, Z);
        face(lo + Y, X, Z);
        face(lo, Y, Z);
        face(lo + X, Y, Z);
        if (withTopAndBottom) {
            face(lo, X, Y);
            face(lo + Z, X, Y);
        }
    };
    box({-20, -12, -1.8}, {40, 24, 6}, false);
    face({-20, -12, -1.8}, {40, 0, 0}, {0, 24, 0});
    box({5, 3, -1.8}, {3, 2, 1.5}, true);
    box({-9, -7, -1.8}, {2, 5, 3}, true);
    for (int k = 0; k < 6; ++k)
        box({-17.0 + 7 * k, 6.0 - (k % 3), -1.8}, {0.6, 0.6, 5}, false);
    return pts;
}

struct Frame {
    std::vector<float> x, y, z, t;
    FramePoints points() const { return {x.data(), y.data(), z.data(), t.data(), x.size()}; }
};

// One frame of `scene` seen from a scanner moving by `motion` every 0.1 s, its first firing at
// pose `start`: each point is fired when the beam passes its azimuth, t seconds after the
// first firing, and with `skew` it is seen from the pose at that time, else from the pose
// halfway through the frame. Points are listed in the order of the scene.
inline Frame frameOf(const std::vector<Eigen::Vector3d>& scene, const Eigen::Isometry3d& start,
                     const Eigen::Isometry3d& motion, bool skew)
{
    constexpr double period = 0.1;
    Frame f;
    const Eigen::Isometry3d middle = start * scaledMotion(motion, 0.5);
    for (const Eigen::Vector3d& w : scene) {
        const Eigen::Vector3d local = start.inverse() * w;
        const double azimuth = std::atan2(local.y(), local.x()) + M_PI; // 0 .. 2 pi
        const double t = period * azimuth / (2 * M_PI);
        const Eigen::Isometry3d seenFrom = skew ? start * scaledMotion(motion, t / period) : middle;
        const Eigen::Vector3d p = seenFrom.inverse() * w;
        if (p.norm() > 60 || p.norm() < 1)
            continue;
        f.x.push_back(static_cast<float>(p.x()));
        f.y.push_back(static_cast<float>(p.y()));
        f.z.push_back(static_cast<float>(p.z()));
        f.t.push_back(static_cast<float>(t));
    }
    return f;
}

} // namespace synthetic
