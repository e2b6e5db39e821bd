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

void decodeBlock(const std::uint8_t* packet, int block, SensorConfig timeRule, DecodedBlock& out)
{
    using namespace datapacket;
    const std::uint32_t ts = timestampRaw(packet);
    out.azimuth = decodeBlockAzimuth(azimuthRaw(packet, block));
    for (int c = 0; c < kChannelsPerBlock; ++c) {
        out.distance[c] = static_cast<float>(distanceRaw(packet, block, c));
        out.intensity[c] = intensityRaw(packet, block, c);
    }
    if (timeRule == SensorConfig::DualEcho) {
        for (int c = 0; c < kChannelsPerBlock; ++c)
            out.time[c] = dualEchoTime(ts, block, c);
    } else {
        for (int c = 0; c < kChannelsPerBlock; ++c)
            out.time[c] = singleEchoTime(ts, block, c);
    }
}

} // namespace hvk32
