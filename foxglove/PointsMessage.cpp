#include "foxglove/PointsMessage.h"

#include "acquisition/CapturePlayerCore.h"
#include "io/FrameSinks.h"
#include "io/PointCloud2.h"

namespace hvk32::foxglove {

namespace {
constexpr std::uint64_t kNanosecondsPerSecond = 1000000000;
} // namespace

PointsMessage::PointsMessage()
{
    // The MCAP export's conversion: every channel and angle, returns of distance 0 left out.
    options_ = binaryConversion(SinkOptions());
}

std::string PointsMessage::encode(const LidarData& frame, const ConversionSnapshot& snapshot, std::uint64_t stampNs)
{
    conversion_.convert(frame, snapshot, AngleTerms::fixed(snapshot), options_, points_);
    std::string message(ros2::pointCloud2Size(ros2::kFrameId, points_.size), '\0');
    ros2::encodePointCloud2(static_cast<std::int32_t>(stampNs / kNanosecondsPerSecond),
                            static_cast<std::uint32_t>(stampNs % kNanosecondsPerSecond), ros2::kFrameId, points_,
                            message.data());
    return message;
}

std::uint64_t captureTimeNs(const FrameTime& time, bool nanosecondCapture)
{
    return time.seconds * kNanosecondsPerSecond + std::uint64_t(time.fraction) * (nanosecondCapture ? 1u : 1000u);
}

} // namespace hvk32::foxglove
