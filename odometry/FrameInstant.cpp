#include "odometry/FrameInstant.h"

#include "convert/PointConversion.h"

namespace hvk32::odometry {

std::int64_t firstFiringMicros(const LidarData& frame, const FrameTime& time)
{
    constexpr std::int64_t wrap = 3600000000LL; // device time stamps count microseconds in the hour
    std::int64_t d = static_cast<std::int64_t>(frameStartTime(frame) % static_cast<std::uint64_t>(wrap))
        - static_cast<std::int64_t>(time.deviceStamp);
    if (d > wrap / 2)
        d -= wrap;
    else if (d < -wrap / 2)
        d += wrap;
    return time.captureMicros + d;
}

} // namespace hvk32::odometry
