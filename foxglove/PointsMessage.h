#pragma once
// A frame as the /hvk32/points message: its sensor_msgs/msg/PointCloud2 in CDR, converted and
// encoded as the MCAP export writes it (the same points, fields and frame ID), stamped with the
// frame's capture time.

#include "convert/ConversionSnapshot.h"
#include "convert/PointConversion.h"
#include "records/LidarData.h"

#include <cstdint>
#include <string>

namespace hvk32 {
struct FrameTime;
}

namespace hvk32::foxglove {

class PointsMessage {
public:
    PointsMessage();
    // The message of `frame`, stamped `stampNs` (ns since 1970).
    std::string encode(const LidarData& frame, const ConversionSnapshot& snapshot, std::uint64_t stampNs);

private:
    ConversionOptions options_;
    PointConversion conversion_;
    PointArrays points_; // storage kept from frame to frame
};

// A played frame's capture time in ns since 1970, from a capture whose record times are in
// nanoseconds (else microseconds).
std::uint64_t captureTimeNs(const FrameTime& time, bool nanosecondCapture);

} // namespace hvk32::foxglove
