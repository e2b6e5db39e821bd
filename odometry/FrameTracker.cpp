#include "odometry/FrameTracker.h"

#include "odometry/FrameInstant.h"

#include <cmath>

namespace hvk32::odometry {

StampedPose FrameTracker::add(const LidarData& frame, const ConversionSnapshot& snapshot, const FrameTime& time)
{
    ConversionOptions options;
    options.keepZeroDistances = false;
    conversion_.convert(frame, snapshot, AngleTerms::fixed(snapshot), options, points_);
    const std::int64_t micros = firstFiringMicros(frame, time);
    if (!started_) {
        firstMicros_ = micros;
        started_ = true;
    }
    seconds_ = static_cast<double>(micros - firstMicros_) * 1e-6;
    const Eigen::Isometry3d& pose = odometry_.registerFrame(framePoints(), seconds_);
    // The pose's instant to the microsecond, in the capture's time base.
    const std::int64_t poseMicros = firstMicros_ + std::llround(odometry_.times().back() * 1e6);
    return {static_cast<double>(poseMicros) * 1e-6, pose};
}

} // namespace hvk32::odometry
