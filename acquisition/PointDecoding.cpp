#include "acquisition/PointDecoding.h"

#include "acquisition/DataPacket.h"
#include "platform/VectorClones.h"

#include <cmath>

namespace hvk32 {

SensorConfig sensorConfigFromName(const QString& name)
{
    if (name == dualEchoConfigName())
        return SensorConfig::DualEcho;
    if (name == singleEchoConfigName())
        return SensorConfig::SingleEcho;
    return SensorConfig::Unknown;
}

namespace {

// The offsets singleEchoTime and dualEchoTime add to a packet's time stamp, worked out once.
struct FiringOffsets {
    double single[datapacket::kBlocksPerPacket][datapacket::kChannelsPerBlock];
    double dual[datapacket::kBlocksPerPacket][datapacket::kChannelsPerBlock];
    double pair[datapacket::kBlocksPerPacket][datapacket::kChannelsPerBlock];

    FiringOffsets()
    {
        for (int b = 0; b < datapacket::kBlocksPerPacket; ++b)
            for (int c = 0; c < datapacket::kChannelsPerBlock; ++c) {
                single[b][c] = kFiringSpacing * (32 * b + c) - kSingleEchoSpan;
                dual[b][c] = kFiringSpacing * (32 * (b - b % 2) + c) - kDualEchoSpan;
                pair[b][c] = kFiringSpacing * (32 * (b / 2) + c) - kDualEchoPairSpan;
            }
    }
};

const FiringOffsets& firingOffsets()
{
    static const FiringOffsets offsets;
    return offsets;
}

} // namespace

double dualEchoFiringOffset(int block, int channel)
{
    return firingOffsets().pair[block][channel];
}

std::uint64_t dualEchoFiringTime(std::uint32_t timestamp, int block, int channel)
{
    return truncatedTime(timestamp, firingOffsets().pair[block][channel]);
}

HVK32_VECTOR_CLONES
void playerChannelAzimuths(const float* __restrict blockAzimuths, std::size_t n, int channel, float* __restrict azimuths)
{
    for (std::size_t j = 0; j < n; ++j)
        azimuths[j] = playerChannelAzimuth(blockAzimuths[j], channel);
}

SingleEchoTimes::SingleEchoTimes()
{
    constexpr double kClearance = 1e-4;
    for (int b = 0; b < datapacket::kBlocksPerPacket; ++b)
        for (int c = 0; c < datapacket::kChannelsPerBlock; ++c) {
            const double offset = firingOffsets().single[b][c];
            const double whole = std::floor(offset);
            const double fraction = offset - whole;
            steps_[b][c] = {offset, static_cast<std::int64_t>(whole),
                            fraction < kClearance || fraction > 1.0 - kClearance};
        }
}

const SingleEchoTimes& SingleEchoTimes::table()
{
    static const SingleEchoTimes times;
    return times;
}

void decodeBlock(const std::uint8_t* packet, int block, SensorConfig timeRule, DecodedBlock& out)
{
    using namespace datapacket;
    const std::uint32_t ts = timestampRaw(packet);
    out.azimuth = decodeBlockAzimuth(azimuthRaw(packet, block));
    for (int c = 0; c < kChannelsPerBlock; ++c) {
        out.distance[c] = static_cast<float>(distanceRaw(packet, block, c));
        out.intensity[c] = intensityRaw(packet, block, c);
    }
    const FiringOffsets& offsets = firingOffsets();
    const double* offset = timeRule == SensorConfig::DualEcho ? offsets.dual[block] : offsets.single[block];
    for (int c = 0; c < kChannelsPerBlock; ++c)
        out.time[c] = truncatedTime(ts, offset[c]);
    out.firingTimesDiffer = timeRule == SensorConfig::DualEcho;
    if (out.firingTimesDiffer)
        for (int c = 0; c < kChannelsPerBlock; ++c)
            out.firingTime[c] = truncatedTime(ts, offsets.pair[block][c]);
}

} // namespace hvk32
