#include "acquisition/PointDecoding.h"

#include "acquisition/DataPacket.h"

namespace hvk32 {

SensorConfig sensorConfigFromName(const QString& name)
{
    if (name == dualEchoConfigName())
        return SensorConfig::DualEcho;
    if (name == singleEchoConfigName())
        return SensorConfig::SingleEcho;
    return SensorConfig::Unknown;
}

float decodeBlockAzimuth(std::uint16_t raw)
{
    const float a = static_cast<float>(raw) / 100.0f;
    return a >= 360.0f ? 0.0f : a;
}

namespace {

std::uint64_t truncatedTime(std::uint32_t timestamp, double offset)
{
    const double t = static_cast<double>(timestamp) + offset;
    return t <= 0.0 ? 0 : static_cast<std::uint64_t>(t);
}

} // namespace

std::uint64_t singleEchoTime(std::uint32_t timestamp, int block, int channel)
{
    const int n = 32 * block + channel;
    return truncatedTime(timestamp, kFiringSpacing * n - kSingleEchoSpan);
}

std::uint64_t dualEchoTime(std::uint32_t timestamp, int block, int channel)
{
    const int firstBlockOfPair = block - (block % 2);
    const int m = 32 * firstBlockOfPair + channel;
    return truncatedTime(timestamp, kFiringSpacing * m - kDualEchoSpan);
}

float azimuthStep(float from, float to)
{
    float d = to - from;
    if (d < 0.0f)
        d += 360.0f;
    return d;
}

float liveChannelAzimuth(float blockAzimuth, float step, int channel)
{
    float a = blockAzimuth + static_cast<float>(channel) * step * kLiveChannelFraction;
    if (a >= 360.0f)
        a -= 360.0f;
    return a;
}

float playerChannelAzimuth(float blockAzimuth, int channel)
{
    return static_cast<float>(static_cast<double>(blockAzimuth) + channel * kPlayerChannelStep);
}

void decodeBlock(const std::uint8_t* packet, int block, SensorConfig timeRule, DecodedBlock& out)
{
    using namespace datapacket;
    const std::uint32_t ts = timestampRaw(packet);
    out.azimuth = decodeBlockAzimuth(azimuthRaw(packet, block));
    for (int c = 0; c < kChannelsPerBlock; ++c) {
        out.distance[c] = static_cast<float>(distanceRaw(packet, block, c));
        out.intensity[c] = intensityRaw(packet, block, c);
        out.time[c] = timeRule == SensorConfig::DualEcho ? dualEchoTime(ts, block, c)
                                                         : singleEchoTime(ts, block, c);
    }
}

} // namespace hvk32
