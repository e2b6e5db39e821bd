#pragma once
// Scan-to-map odometry of a rotating scanner, frame by frame, after the published KISS-ICP
// method (Vizzo et al., "KISS-ICP: In Defense of Point-to-Point ICP", RA-L 2023), registering
// point to plane instead of point to point:
//
// 1. Prediction: the motion between the last two frames, scaled to the time to this frame
//    (constant velocity), predicts this frame's pose.
// 2. Deskewing: a point fired t seconds after the frame's first firing is moved by the
//    predicted motion over t - m (rotation by slerp, translation linearly) into the scanner's
//    frame at the instant m halfway through the frame's firings, the instant its pose describes.
// 3. Downsampling: points outside [minRange, maxRange] are dropped; one point of each voxel of
//    0.5 * voxelSize is kept for the map, and of those the first of each voxel of
//    1.5 * voxelSize is registered. The points are visited in a fixed scrambled order, so the
//    point a voxel keeps is an arbitrary one of it, not where the scan entered it (that point
//    lies on the voxel's border in every frame alike and would hold the registration back).
// 4. Registration: point-to-plane ICP against the local map, from the prediction: each point's
//    nearest map point in the 27 voxels around it; where that point's voxel holds a plane
//    (its points' covariance has a smallest eigenvalue under a tenth of the middle one), the
//    pair's error is the distance along the plane's normal (Chen and Medioni, 1991); pairs
//    farther apart than 3 sigma, or whose voxel holds no plane, are dropped; each pair is
//    weighted by the Geman-McClure kernel w = k^2 / (k + e^2)^2 with k = sigma / 3, a
//    Gauss-Newton step on SE(3) per iteration until the step is below `convergence`.
//    Point-to-point pairs are not used: on level ground the rings of the scan pattern move with
//    the scanner, and pairing them point to point holds a moving scanner near standstill.
// 5. Adaptive threshold: sigma is the root mean square of the model deviations seen so far
//    (the rotation's arc at maxRange plus the translation of prediction^-1 * estimate), taking
//    only deviations above minMotion; initialThreshold until there is one.
// 6. Map: the registered frame's map points join a voxel hash map of voxelSize voxels, at most
//    maxPointsPerVoxel per voxel, each voxel's plane refitted when it gains points; voxels
//    whose first point is farther than maxRange from the scanner are dropped.
//
// Everything runs on the calling thread in the order of the input points, so the same frames
// give the same poses bit for bit. Nothing is allocated per point once the buffers have grown.

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "odometry/VoxelGrid.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace hvk32::odometry {

struct Parameters {
    double voxelSize = 1.0;       // [m] of the map; frames are thinned at 0.5x and 1.5x of it
    double maxRange = 100.0;      // [m] points farther are dropped, map voxels too
    double minRange = 0.5;        // [m] points nearer are dropped (the carrier itself)
    int maxPointsPerVoxel = 20;   // 1 .. kMaxPointsPerVoxel
    double initialThreshold = 2.0; // [m] sigma before any model deviation is known
    double minMotion = 0.1;       // [m] model deviations below this do not count towards sigma
    int maxIterations = 500;      // of the ICP per frame
    double convergence = 1e-4;    // ICP stops when the step's norm is below this
    bool deskew = true;           // move each point by the predicted motion to its firing time
};

constexpr int kMaxPointsPerVoxel = 32;

// One frame's points: positions [m] in the scanner's frame and each point's firing time [s]
// from the frame's first firing (`time` may be null: every point at 0).
struct FramePoints {
    const float* x = nullptr;
    const float* y = nullptr;
    const float* z = nullptr;
    const float* time = nullptr;
    std::size_t size = 0;
};

// A rigid motion of `fraction` times `motion`: the rotation by slerp from the identity, the
// translation scaled. Deskewing and the prediction both use it.
Eigen::Isometry3d scaledMotion(const Eigen::Isometry3d& motion, double fraction);

// The local map: a voxel hash map of points in the first frame's coordinates.
class VoxelMap {
public:
    VoxelMap(double voxelSize, int maxPointsPerVoxel);

    void clear();
    // Adds points to their voxels, in order, until each voxel holds its most.
    void add(const std::vector<Eigen::Vector3d>& points);
    // Drops the voxels whose first point is farther than `range` from `origin`.
    void removeFarFrom(const Eigen::Vector3d& origin, double range);
    // The map point nearest to `p` in the 27 voxels around p's voxel; false when there is none.
    // Ties keep the first found; voxels are scanned in a fixed order (its own, then those sharing
    // a face, an edge, a corner), skipping any whose box lies farther than the best so far.
    // `normal` is the unit normal of the plane the found point's voxel holds, or zero when its
    // points lie on none.
    bool nearest(const Eigen::Vector3d& p, Eigen::Vector3d& found, double& squaredDistance,
                 Eigen::Vector3d& normal) const;

    std::size_t voxelCount() const { return blocks_.size(); }
    std::size_t pointCount() const;
    bool empty() const { return blocks_.empty(); }

private:
    struct Block {
        Voxel key;
        int count = 0;
        bool changed = false;
        float normal[3] = {0, 0, 0}; // zero: the points do not lie on a plane
        float points[kMaxPointsPerVoxel][3];
    };
    void reindex();
    void fitPlane(Block& b) const;

    double inverseSize_;
    double planeSpread2_;
    int maxPoints_;
    std::vector<Block> blocks_;
    std::vector<std::int32_t> changed_;
    VoxelIndex index_;
};

class Odometry {
public:
    explicit Odometry(const Parameters& parameters = {});

    // Registers the next frame; `firstFiring` is the instant of its first firing [s], in any
    // base that increases from frame to frame. Returns its pose: the scanner's frame at the
    // instant halfway through the frame's firings (firstFiring + half the largest point time;
    // times() holds these instants), in the first frame's coordinates (the first frame's pose is
    // the identity).
    const Eigen::Isometry3d& registerFrame(const FramePoints& frame, double firstFiring);

    // The motion used to deskew a point of the last registered frame fired `t` seconds after
    // its first firing: the point p of the scanner's frame then is deskew(t) * p in the frame
    // at the instant of the frame's pose (the identity without deskewing).
    Eigen::Isometry3d deskewMotion(double t) const;

    // The points of the last registered frame (the same `frame` as given to registerFrame),
    // deskewed as it was and moved into the first frame's coordinates: out[i] for point i.
    void toMap(const FramePoints& frame, std::vector<Eigen::Vector3f>& out) const;

    const std::vector<Eigen::Isometry3d>& poses() const { return poses_; }
    const std::vector<double>& times() const { return times_; } // the instants of poses()
    const Parameters& parameters() const { return parameters_; }
    const VoxelMap& map() const { return map_; }
    // The correspondence scale in force for the next frame [m].
    double sigma() const;
    // Points registered (after thinning) and ICP iterations of the last frame.
    std::size_t lastSourceSize() const { return source_.size(); }
    int lastIterations() const { return lastIterations_; }

private:
    // The deskew motion as a rotation rate about an axis and a velocity.
    struct Deskew {
        Eigen::Vector3d axis = Eigen::Vector3d::UnitZ();
        double rate = 0;                                  // [rad/s]
        Eigen::Vector3d velocity = Eigen::Vector3d::Zero(); // [m/s]
        bool on = false;
        double reference = 0;                             // [s] from the first firing
        Eigen::Vector3d apply(const Eigen::Vector3d& p, double t) const
        {
            if (!on)
                return p;
            // Rodrigues' formula for the rotation by rate * t about the axis.
            const double dt = t - reference;
            const double a = rate * dt;
            const double c = std::cos(a), s = std::sin(a);
            return p * c + axis.cross(p) * s + axis * (axis.dot(p) * (1.0 - c)) + velocity * dt;
        }
    };
    Deskew deskewOf(bool withTimes) const;
    // Thins and deskews the frame into mapPoints_ and source_.
    void prepare(const FramePoints& frame);
    Eigen::Isometry3d align(const Eigen::Isometry3d& initial, double threshold, double kernel);

    Parameters parameters_;
    VoxelMap map_;
    std::vector<Eigen::Isometry3d> poses_;
    std::vector<double> times_;
    Eigen::Isometry3d velocityMotion_ = Eigen::Isometry3d::Identity(); // last frame to this one
    double velocitySeconds_ = 0; // the time that motion took; 0: none yet
    Eigen::Isometry3d deskewFrameMotion_ = Eigen::Isometry3d::Identity(); // motion over deskewSeconds_
    double deskewSeconds_ = 0;
    double reference_ = 0; // [s] from the first firing of the last frame to the instant of its pose
    double deviationSquares_ = 0;
    std::size_t deviationCount_ = 0;
    int lastIterations_ = 0;

    // Buffers kept from frame to frame.
    std::vector<Eigen::Vector3d> mapPoints_, source_;
    std::vector<float> mapTimes_;
    std::vector<std::uint32_t> kept_;
    VoxelIndex thinning_;
};

} // namespace hvk32::odometry
