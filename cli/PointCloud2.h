#pragma once
// sensor_msgs/msg/PointCloud2 messages of converted frames, serialized as ROS 2 does (CDR,
// little-endian, with its 4-byte encapsulation header), and the message definition with its
// dependencies as ROS 2 tools store it in a bag's schema. Each point: x, y, z, intensity
// (float32), ring (uint16, the channel) and time (float32, seconds from the frame's first
// firing), 24 bytes with 2 bytes of padding after ring.

#include "view/PointConversion.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hvk32::ros2 {

constexpr std::uint32_t kPointStep = 24;

// The "ros2msg" schema text of sensor_msgs/msg/PointCloud2.
const std::string& pointCloud2Definition();

// One message: header.stamp (seconds and nanoseconds), header.frame_id, an unorganized cloud
// (height 1) of `points`. `out` is replaced.
void encodePointCloud2(std::int32_t stampSeconds, std::uint32_t stampNanoseconds, const std::string& frameId,
                       const PointArrays& points, std::vector<char>& out);

} // namespace hvk32::ros2
