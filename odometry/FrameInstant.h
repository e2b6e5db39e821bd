#pragma once
// When a played frame's first firing happened in the capture's time base, so that poses carry
// the times ground truth recorded beside the capture uses.

#include "acquisition/CapturePlayerCore.h"
#include "records/LidarData.h"

#include <cstdint>

namespace hvk32::odometry {

// The instant of the frame's first firing [µs since 1970]: the capture time of its first data
// packet moved by the device time from that packet's stamp to the first firing (across the
// time stamps' hourly wrap, the nearer way round).
std::int64_t firstFiringMicros(const LidarData& frame, const FrameTime& time);

} // namespace hvk32::odometry
