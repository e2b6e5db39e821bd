#include "acquisition/PointDecoding.h"

#include "acquisition/DataPacket.h"
#include "platform/VectorClones.h"

#include <algorithm>
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

PacketTimes::PacketTimes(const double (&offsets)[12][32])
{
    constexpr double kClearance = 1e-4;
    for (int b = 0; b < datapacket::kBlocksPerPacket; ++b)
        for (int c = 0; c < datapacket::kChannelsPerBlock; ++c) {
            const double offset = offsets[b][c];
            const double whole = std::floor(offset);
            const double fraction = offset - whole;
            steps_[b][c] = {offset, static_cast<std::int64_t>(whole),
                            fraction < kClearance || fraction > 1.0 - kClearance};
        }
}

const PacketTimes& PacketTimes::singleEcho()
{
    static const PacketTimes times(firingOffsets().single);
    return times;
}

const PacketTimes& PacketTimes::dualEchoFirings()
{
    static const PacketTimes times(firingOffsets().pair);
    return times;
}

HVK32_VECTOR_CLONES
void runTimes(const PacketTimes& times, int channel, const BlockRun* runs, std::size_t count,
              const std::uint64_t* stated, std::uint64_t* __restrict out)
{
    constexpr int kBlocks = datapacket::kBlocksPerPacket;
    std::int64_t whole[kBlocks];
    bool anyNearWhole = false;
    std::int64_t lowestWhole = 0;
    for (int b = 0; b < kBlocks; ++b) {
        const PacketTimes::Step& step = times.step(b, channel);
        whole[b] = step.whole;
        anyNearWhole = anyNearWhole || step.nearWhole;
        lowestWhole = std::min(lowestWhole, step.whole);
    }
    std::size_t at = 0;
    for (std::size_t r = 0; r < count; ++r) {
        const BlockRun& run = runs[r];
        const int n = run.last - run.first;
        std::uint64_t* __restrict to = out + at;
        at += static_cast<std::size_t>(n);
        if (stated && !run.dual) {
            std::copy(stated + (to - out), stated + (to - out) + n, to);
            continue;
        }
        const std::int64_t ts = static_cast<std::int64_t>(run.timestamp);
        if (n == kBlocks && ts + lowestWhole > 0) {
            // A whole packet, the usual case: a loop of fixed length the compiler vectorises.
            for (int k = 0; k < kBlocks; ++k)
                to[k] = static_cast<std::uint64_t>(ts + whole[k]);
        } else {
            for (int k = 0; k < n; ++k) {
                const std::int64_t t = ts + whole[run.first + k];
                to[k] = t > 0 ? static_cast<std::uint64_t>(t) : 0;
            }
        }
        if (anyNearWhole)
            for (int k = 0; k < n; ++k) {
                const PacketTimes::Step& step = times.step(run.first + k, channel);
                if (step.nearWhole)
                    to[k] = truncatedTime(run.timestamp, step.offset);
            }
    }
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
