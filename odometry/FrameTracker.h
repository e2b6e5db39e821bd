#pragma once
// A capture's frames into the odometry one after another, as the command line and the Python
// module both run it: each frame converted as the exports convert it (every channel, returns
// of distance 0 left out), registered, and its pose stamped in the capture's time base.

#include "acquisition/CapturePlayerCore.h"
#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"
#include "odometry/Odometry.h"
#include "odometry/Trajectory.h"
#include "records/LidarData.h"

#include <cstdint>

namespace hvk32::odometry {

class FrameTracker {
public:
    explicit FrameTracker(const Parameters& parameters) : odometry_(parameters) {}

    // Registers the next frame. Returns its pose with the instant it describes: halfway through
    // the frame's firings, in seconds since 1970 as the capture's records count them, to the
    // microsecond.
    StampedPose add(const LidarData& frame, const ConversionSnapshot& snapshot, const FrameTime& time);

    // The last frame's converted points, and the same as the odometry takes them.
    const PointArrays& points() const { return points_; }
    FramePoints framePoints() const
    {
        return {points_.x.data(), points_.y.data(), points_.z.data(), points_.time.data(), points_.size};
    }
    // The last frame's first firing, in seconds from the first frame's.
    double seconds() const { return seconds_; }
    const Odometry& odometry() const { return odometry_; }

private:
    Odometry odometry_;
    PointConversion conversion_;
    PointArrays points_;
    std::int64_t firstMicros_ = 0;
    double seconds_ = 0;
    bool started_ = false;
};

} // namespace hvk32::odometry
