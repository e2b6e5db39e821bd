#pragma once
// sensor_msgs/msg/PointCloud2 messages of converted frames, serialized as ROS 2 does (CDR,
// little-endian, with its 4-byte encapsulation header), and the message definition with its
// dependencies as ROS 2 tools store it in a bag's schema. Each point: x, y, z, intensity
// (float32), ring (uint16, the channel) and time (float32, seconds from the frame's first
// firing), 24 bytes with 2 bytes of padding after ring.

#include "convert/PointConversion.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hvk32::ros2 {

constexpr std::uint32_t kPointStep = 24;
// The header.frame_id of every cloud this program writes.
inline const std::string kFrameId = "hvk32";

// The "ros2msg" schema text of sensor_msgs/msg/PointCloud2.
const std::string& pointCloud2Definition();

// The size in bytes of a message of `points` points.
std::size_t pointCloud2Size(const std::string& frameId, std::size_t points);

// One message: header.stamp (seconds and nanoseconds), header.frame_id, an unorganized cloud
// (height 1) of `points`, written to `out`, pointCloud2Size() bytes (where it is stored, so
// the cloud is not copied).
void encodePointCloud2(std::int32_t stampSeconds, std::uint32_t stampNanoseconds, const std::string& frameId,
                       const PointArrays& points, char* out);

} // namespace hvk32::ros2
