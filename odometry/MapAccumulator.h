#pragma once
// The map of a run of frames as the window builds it while frames come: each registered frame's
// points join it thinned to the first point of each voxel (as a map file keeps them), its pose
// joins the trajectory. The map holds at most a given number of points, so its memory stays
// bounded on any drive: when it reaches them, it is thinned again on a grid of twice the voxel
// size (as often as it takes to bring it under three quarters of them) and goes on on that
// grid; past kMaxVoxelSize it stops taking points, and frames only extend the trajectory.
// It keeps which points each frame added, so it can be written as the command line writes a
// map, frame by frame.

#include "acquisition/CapturePlayerCore.h"
#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"
#include "io/FrameSinks.h"
#include "io/OutputFormats.h"
#include "odometry/MapWriter.h"

#include <Eigen/Core>
#include <Eigen/Geometry>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hvk32::odometry {

// What a frame brings to the map beside its points.
struct MapFrame {
    int frameId = 1;            // the frame's number in its capture, or a live frame's count
    FrameTime time;             // when its first firing happened
    std::uint64_t startStamp = 0; // its first firing in data packet time-stamp units
    ConversionSnapshot snapshot; // the device values it was converted with
    bool dualEcho = false;
    double seconds = 0;         // its first firing, in seconds from the first frame's
    std::size_t firstPoint = 0; // its first point in the map (set by the map)
    std::size_t pointCount = 0; // the points it added (set by the map)
};

class MapAccumulator {
public:
    static constexpr double kDefaultVoxelSize = 0.1;           // [m]
    static constexpr std::size_t kDefaultMaxPoints = 1000000;   // about 30 MB of points
    static constexpr double kMaxVoxelSize = 1.6;                // [m] the coarsest grid

    explicit MapAccumulator(double voxelSize = kDefaultVoxelSize, std::size_t maxPoints = kDefaultMaxPoints);

    // Empties the map and the trajectory.
    void clear();
    // Adds a registered frame: `points` as converted, `world` their places in the map (one
    // per point), `pose` the frame's pose. Returns the points it added.
    std::size_t add(const PointArrays& points, const std::vector<Eigen::Vector3f>& world, const Eigen::Isometry3d& pose,
                    MapFrame frame);

    // The map's points in the first frame's coordinates, each frame's after the frame's before;
    // their time field counts from their own frame's first firing.
    const PointArrays& points() const { return points_; }
    std::size_t size() const { return points_.size; }
    const std::vector<MapFrame>& frames() const { return frames_; }
    const std::vector<Eigen::Isometry3d>& poses() const { return poses_; }
    // No point is taken any more: the map is at its most points on the coarsest grid.
    bool full() const { return full_; }
    std::size_t maxPoints() const { return maxPoints_; }
    // The grid the map is thinned on now, and how often it was made coarser.
    double voxelSize() const { return voxelSize_; }
    int coarsenings() const { return coarsenings_; }

    // Writes the map into `out` in `format` (LAS, MCAP, PCD or PLY) as the command line's
    // "odometry --map" writes its map, under a temporary name until whole. Returns the points
    // written, or -1 with *error set and nothing left behind.
    qint64 save(const QString& out, OutputFormat format, const SinkSource& source, QString* error) const;

private:
    // Thins the map on grids of twice the voxel size until it holds less than three quarters
    // of its most points, or marks it full at the coarsest grid.
    void coarsen();

    double initialVoxelSize_;
    double voxelSize_;
    std::size_t maxPoints_;
    MapThinning thinning_;
    PointArrays points_;
    std::vector<MapFrame> frames_;
    std::vector<Eigen::Isometry3d> poses_;
    bool full_ = false;
    int coarsenings_ = 0;
};

} // namespace hvk32::odometry
