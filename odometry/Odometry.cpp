#include "odometry/Odometry.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

namespace hvk32::odometry {

namespace {

constexpr double kMapThinning = 0.5;      // of the voxel size: the points the map takes
constexpr double kSourceThinning = 1.5;   // of the voxel size: the points registered
constexpr std::uint64_t kScrambleStride = 1000003; // a prime: the visiting order's step
constexpr int kPlanePoints = 4;          // a voxel's points fit a plane from this many on
constexpr double kPlanarity = 0.1;       // smallest / middle eigenvalue of a plane at most
constexpr double kPlaneSpread = 0.1;     // of the voxel size: a plane's least in-plane spread

// exp of a small twist (translation first, then rotation vector), as one rigid motion.
Eigen::Isometry3d twistMotion(const Eigen::Matrix<double, 6, 1>& d)
{
    Eigen::Isometry3d m = Eigen::Isometry3d::Identity();
    const Eigen::Vector3d w = d.tail<3>();
    const double angle = w.norm();
    if (angle > 0)
        m.linear() = Eigen::AngleAxisd(angle, w / angle).toRotationMatrix();
    m.translation() = d.head<3>();
    return m;
}

// The largest displacement a motion causes to a point within `range`: the arc of its rotation
// at that range plus its translation.
double deviationOf(const Eigen::Isometry3d& m, double range)
{
    const double c = std::clamp((m.linear().trace() - 1.0) / 2.0, -1.0, 1.0);
    const double theta = std::acos(c);
    return 2.0 * range * std::sin(theta / 2.0) + m.translation().norm();
}

// The 27 voxels around a point's own, its own first, then those sharing a face, an edge, a
// corner with it: the nearer a voxel can be, the earlier, so that the search can skip the rest.
constexpr std::array<std::array<std::int8_t, 3>, 27> kNeighbours = [] {
    std::array<std::array<std::int8_t, 3>, 27> out{};
    int n = 0;
    for (int order = 0; order <= 3; ++order)
        for (int x = -1; x <= 1; ++x)
            for (int y = -1; y <= 1; ++y)
                for (int z = -1; z <= 1; ++z)
                    if ((x != 0) + (y != 0) + (z != 0) == order)
                        out[static_cast<std::size_t>(n++)] = {static_cast<std::int8_t>(x), static_cast<std::int8_t>(y),
                                                              static_cast<std::int8_t>(z)};
    return out;
}();

} // namespace

Eigen::Isometry3d scaledMotion(const Eigen::Isometry3d& motion, double fraction)
{
    const Eigen::AngleAxisd rotation(motion.linear());
    Eigen::Isometry3d m = Eigen::Isometry3d::Identity();
    m.linear() = Eigen::AngleAxisd(rotation.angle() * fraction, rotation.axis()).toRotationMatrix();
    m.translation() = motion.translation() * fraction;
    return m;
}

// --- the map -------------------------------------------------------------------------------

VoxelMap::VoxelMap(double voxelSize, int maxPointsPerVoxel)
    : inverseSize_(1.0 / voxelSize), planeSpread2_(kPlaneSpread * kPlaneSpread * voxelSize * voxelSize),
      maxPoints_(std::clamp(maxPointsPerVoxel, 1, kMaxPointsPerVoxel))
{
}

void VoxelMap::clear()
{
    blocks_.clear();
    index_.reset(0);
}

void VoxelMap::add(const std::vector<Eigen::Vector3d>& points)
{
    for (const Eigen::Vector3d& p : points) {
        const Voxel v = voxelOf(p.x(), p.y(), p.z(), inverseSize_);
        const std::int32_t k = index_.insert(v, static_cast<std::int32_t>(blocks_.size()));
        if (static_cast<std::size_t>(k) == blocks_.size()) {
            blocks_.emplace_back();
            blocks_.back().key = v;
        }
        Block& b = blocks_[static_cast<std::size_t>(k)];
        if (b.count < maxPoints_) {
            float* q = b.points[b.count++];
            q[0] = static_cast<float>(p.x());
            q[1] = static_cast<float>(p.y());
            q[2] = static_cast<float>(p.z());
            if (!b.changed) {
                b.changed = true;
                changed_.push_back(k);
            }
        }
    }
    for (const std::int32_t k : changed_) {
        Block& b = blocks_[static_cast<std::size_t>(k)];
        fitPlane(b);
        b.changed = false;
    }
    changed_.clear();
}

void VoxelMap::fitPlane(Block& b) const
{
    b.normal[0] = b.normal[1] = b.normal[2] = 0;
    if (b.count < kPlanePoints)
        return;
    Eigen::Vector3d mean = Eigen::Vector3d::Zero();
    for (int i = 0; i < b.count; ++i)
        mean += Eigen::Vector3d(b.points[i][0], b.points[i][1], b.points[i][2]);
    mean /= b.count;
    Eigen::Matrix3d covariance = Eigen::Matrix3d::Zero();
    for (int i = 0; i < b.count; ++i) {
        const Eigen::Vector3d d = Eigen::Vector3d(b.points[i][0], b.points[i][1], b.points[i][2]) - mean;
        covariance.noalias() += d * d.transpose();
    }
    covariance /= b.count;
    Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver;
    solver.computeDirect(covariance);
    const Eigen::Vector3d& l = solver.eigenvalues(); // ascending
    if (!(l(0) < kPlanarity * l(1) && l(1) > planeSpread2_))
        return;
    const Eigen::Vector3d n = solver.eigenvectors().col(0).normalized();
    b.normal[0] = static_cast<float>(n.x());
    b.normal[1] = static_cast<float>(n.y());
    b.normal[2] = static_cast<float>(n.z());
}

void VoxelMap::removeFarFrom(const Eigen::Vector3d& origin, double range)
{
    const double r2 = range * range;
    const auto far = [&](const Block& b) {
        const double dx = b.points[0][0] - origin.x();
        const double dy = b.points[0][1] - origin.y();
        const double dz = b.points[0][2] - origin.z();
        return dx * dx + dy * dy + dz * dz > r2;
    };
    // The blocks kept keep their order, so the map stays a function of its input.
    const auto end = std::remove_if(blocks_.begin(), blocks_.end(), far);
    if (end == blocks_.end())
        return;
    blocks_.erase(end, blocks_.end());
    reindex();
}

void VoxelMap::reindex()
{
    index_.reset(blocks_.size());
    for (std::size_t k = 0; k < blocks_.size(); ++k)
        index_.insert(blocks_[k].key, static_cast<std::int32_t>(k));
}

bool VoxelMap::nearest(const Eigen::Vector3d& p, Eigen::Vector3d& found, double& squaredDistance,
                       Eigen::Vector3d& normal) const
{
    const Voxel c = voxelOf(p.x(), p.y(), p.z(), inverseSize_);
    const float px = static_cast<float>(p.x()), py = static_cast<float>(p.y()), pz = static_cast<float>(p.z());
    // The squared distances from p to the voxel's lower and upper faces on each axis: a
    // neighbour voxel can only hold a nearer point than the best so far if its box is nearer.
    const double size = 1.0 / inverseSize_;
    double below[3], above[3];
    const double at[3] = {p.x() * inverseSize_ - c.x, p.y() * inverseSize_ - c.y, p.z() * inverseSize_ - c.z};
    for (int a = 0; a < 3; ++a) {
        below[a] = at[a] * size * at[a] * size;
        above[a] = (1.0 - at[a]) * size * (1.0 - at[a]) * size;
    }
    const auto faceSquare = [&](int axis, int d) { return d < 0 ? below[axis] : d > 0 ? above[axis] : 0.0; };
    float best = std::numeric_limits<float>::infinity();
    const float* bestPoint = nullptr;
    const Block* bestBlock = nullptr;
    for (const std::array<std::int8_t, 3>& d : kNeighbours) {
        const double boxSquare = faceSquare(0, d[0]) + faceSquare(1, d[1]) + faceSquare(2, d[2]);
        if (boxSquare >= static_cast<double>(best))
            continue;
        const std::int32_t k = index_.find({c.x + d[0], c.y + d[1], c.z + d[2]});
        if (k < 0)
            continue;
        const Block& b = blocks_[static_cast<std::size_t>(k)];
        for (int i = 0; i < b.count; ++i) {
            const float* q = b.points[i];
            const float ex = q[0] - px, ey = q[1] - py, ez = q[2] - pz;
            const float e = ex * ex + ey * ey + ez * ez;
            if (e < best) {
                best = e;
                bestPoint = q;
                bestBlock = &b;
            }
        }
    }
    if (!bestPoint)
        return false;
    found = Eigen::Vector3d(bestPoint[0], bestPoint[1], bestPoint[2]);
    squaredDistance = (found - p).squaredNorm();
    normal = Eigen::Vector3d(bestBlock->normal[0], bestBlock->normal[1], bestBlock->normal[2]);
    return true;
}

std::size_t VoxelMap::pointCount() const
{
    std::size_t n = 0;
    for (const Block& b : blocks_)
        n += static_cast<std::size_t>(b.count);
    return n;
}

// --- the odometry --------------------------------------------------------------------------

Odometry::Odometry(const Parameters& parameters)
    : parameters_(parameters), map_(parameters.voxelSize, parameters.maxPointsPerVoxel)
{
}

double Odometry::sigma() const
{
    return deviationCount_ ? std::sqrt(deviationSquares_ / static_cast<double>(deviationCount_))
                           : parameters_.initialThreshold;
}

Eigen::Isometry3d Odometry::deskewMotion(double t) const
{
    if (!parameters_.deskew || deskewSeconds_ <= 0)
        return Eigen::Isometry3d::Identity();
    return scaledMotion(deskewFrameMotion_, (t - reference_) / deskewSeconds_);
}

Odometry::Deskew Odometry::deskewOf(bool withTimes) const
{
    Deskew d;
    d.on = parameters_.deskew && deskewSeconds_ > 0 && withTimes;
    if (!d.on)
        return d;
    const Eigen::AngleAxisd rotation(deskewFrameMotion_.linear());
    d.axis = rotation.axis();
    d.rate = rotation.angle() / deskewSeconds_;
    d.velocity = deskewFrameMotion_.translation() / deskewSeconds_;
    d.reference = reference_;
    return d;
}

void Odometry::toMap(const FramePoints& f, std::vector<Eigen::Vector3f>& out) const
{
    out.resize(f.size);
    if (poses_.empty())
        return;
    const Deskew deskew = deskewOf(f.time != nullptr);
    const Eigen::Isometry3d& pose = poses_.back();
    for (std::size_t i = 0; i < f.size; ++i) {
        const Eigen::Vector3d p = deskew.apply(Eigen::Vector3d(f.x[i], f.y[i], f.z[i]), deskew.on ? f.time[i] : 0.0);
        out[i] = (pose * p).cast<float>();
    }
}

void Odometry::prepare(const FramePoints& f)
{
    // Range filter and thinning at the map's scale: the first point of each fine voxel.
    const double minR2 = parameters_.minRange * parameters_.minRange;
    const double maxR2 = parameters_.maxRange * parameters_.maxRange;
    const double fine = 1.0 / (kMapThinning * parameters_.voxelSize);
    thinning_.reset(std::min<std::size_t>(f.size, 1u << 20));
    kept_.clear();
    // The points are visited in a fixed scrambled order (a stride coprime with their count),
    // so that a voxel keeps an arbitrary point of its own rather than the one where the scan
    // entered it: scans visit points channel by channel, so "the first" would sit on voxel
    // borders in every frame alike and hold the registration to the previous pose.
    const std::uint64_t n = f.size;
    std::uint64_t stride = kScrambleStride;
    while (n > 1 && std::gcd(stride % n, n) != 1)
        stride += 2;
    const std::uint64_t step = n ? stride % n : 0;
    std::uint64_t next = 0;
    for (std::uint64_t visit = 0; visit < n; ++visit) {
        const auto i = static_cast<std::size_t>(next);
        next += step;
        if (next >= n)
            next -= n;
        const double x = f.x[i], y = f.y[i], z = f.z[i];
        const double r2 = x * x + y * y + z * z;
        if (!(r2 >= minR2 && r2 <= maxR2))
            continue;
        const auto n = static_cast<std::int32_t>(kept_.size());
        if (thinning_.insert(voxelOf(x, y, z, fine), n) == n)
            kept_.push_back(static_cast<std::uint32_t>(i));
    }

    // Deskewed with the motion of the last frame interval (constant velocity).
    const Deskew deskew = deskewOf(f.time != nullptr);
    mapPoints_.resize(kept_.size());
    for (std::size_t k = 0; k < kept_.size(); ++k) {
        const std::uint32_t i = kept_[k];
        mapPoints_[k] = deskew.apply(Eigen::Vector3d(f.x[i], f.y[i], f.z[i]), deskew.on ? f.time[i] : 0.0);
    }

    // The points registered: the first map point of each coarse voxel.
    const double coarse = 1.0 / (kSourceThinning * parameters_.voxelSize);
    thinning_.reset(mapPoints_.size());
    source_.clear();
    for (const Eigen::Vector3d& p : mapPoints_) {
        const auto n = static_cast<std::int32_t>(source_.size());
        if (thinning_.insert(voxelOf(p.x(), p.y(), p.z(), coarse), n) == n)
            source_.push_back(p);
    }
}

Eigen::Isometry3d Odometry::align(const Eigen::Isometry3d& initial, double threshold, double kernel)
{
    Eigen::Isometry3d estimate = initial;
    const double threshold2 = threshold * threshold;
    const double kernel2 = kernel * kernel;
    lastIterations_ = 0;
    for (int iteration = 0; iteration < parameters_.maxIterations; ++iteration) {
        ++lastIterations_;
        Eigen::Matrix<double, 6, 6> H = Eigen::Matrix<double, 6, 6>::Zero();
        Eigen::Matrix<double, 6, 1> g = Eigen::Matrix<double, 6, 1>::Zero();
        std::size_t pairs = 0;
        for (const Eigen::Vector3d& s : source_) {
            const Eigen::Vector3d q = estimate * s;
            Eigen::Vector3d m, n;
            double d2 = 0;
            // Only points whose nearest map point lies on a plane pull: the distance along the
            // plane's normal. Point-to-point pairs would pull each frame back onto the previous
            // one wherever the scan pattern itself repeats (the rings a level ground shows move
            // with the scanner), and hold a moving scanner near standstill.
            if (!map_.nearest(q, m, d2, n) || d2 > threshold2 || n.squaredNorm() < 0.5)
                continue;
            const double e = n.dot(q - m);
            const double w = kernel2 / ((kernel + e * e) * (kernel + e * e));
            // d e / d twist = [n^T, (q x n)^T] for the motion applied on the left.
            Eigen::Matrix<double, 1, 6> J;
            J.leftCols<3>() = n.transpose();
            J.rightCols<3>() = q.cross(n).transpose();
            H.noalias() += J.transpose() * (w * J);
            g.noalias() += J.transpose() * (w * e);
            ++pairs;
        }
        if (pairs < 6)
            break;
        const Eigen::Matrix<double, 6, 1> step = H.ldlt().solve(-g);
        if (!step.allFinite())
            break;
        estimate = twistMotion(step) * estimate;
        if (step.norm() < parameters_.convergence)
            break;
    }
    return estimate;
}

const Eigen::Isometry3d& Odometry::registerFrame(const FramePoints& frame, double firstFiring)
{
    // The pose describes the instant halfway through the frame's firings: deskewing moves
    // points both ways from it, so an error of the velocity does not shift the whole frame.
    float last = 0;
    if (frame.time)
        for (std::size_t i = 0; i < frame.size; ++i)
            last = std::max(last, frame.time[i]);
    reference_ = 0.5 * static_cast<double>(last);
    const double time = firstFiring + reference_;
    // The constant-velocity prediction, scaled to this frame's interval.
    Eigen::Isometry3d prediction = Eigen::Isometry3d::Identity();
    if (!poses_.empty()) {
        prediction = poses_.back();
        if (velocitySeconds_ > 0)
            prediction = prediction * scaledMotion(velocityMotion_, (time - times_.back()) / velocitySeconds_);
    }
    deskewFrameMotion_ = velocityMotion_;
    deskewSeconds_ = velocitySeconds_;
    prepare(frame);

    Eigen::Isometry3d pose = prediction;
    if (!map_.empty()) {
        const double s = sigma();
        pose = align(prediction, 3.0 * s, s / 3.0);
        const double deviation = deviationOf(prediction.inverse() * pose, parameters_.maxRange);
        if (deviation > parameters_.minMotion) {
            deviationSquares_ += deviation * deviation;
            ++deviationCount_;
        }
    } else {
        lastIterations_ = 0;
    }
    if (!poses_.empty()) {
        velocityMotion_ = poses_.back().inverse() * pose;
        velocitySeconds_ = time - times_.back();
    }
    poses_.push_back(pose);
    times_.push_back(time);

    for (Eigen::Vector3d& p : mapPoints_)
        p = pose * p;
    map_.add(mapPoints_);
    map_.removeFarFrom(pose.translation(), parameters_.maxRange);
    return poses_.back();
}

} // namespace hvk32::odometry
