#pragma once
// Builds data packets for tests with the same writers the simulator uses.

#include "acquisition/DataPacket.h"

#include <array>
#include <cstdint>
#include <vector>

namespace hvk32::test {

using Packet = std::array<std::uint8_t, datapacket::kPacketSize>;

// A packet whose 12 blocks carry the given azimuths (hundredths) and, for every channel,
// distance = distanceBase + 100*block + channel and intensity = channel + block.
inline Packet dataPacket(const std::array<std::uint16_t, 12>& azimuths, std::uint32_t timestamp = 1000000,
                         std::uint16_t distanceBase = 1000)
{
    using namespace datapacket;
    Packet p{};
    for (int b = 0; b < kBlocksPerPacket; ++b) {
        setBlockFlag(p.data(), b);
        setAzimuthRaw(p.data(), b, azimuths[b]);
        for (int c = 0; c < kChannelsPerBlock; ++c) {
            setDistanceRaw(p.data(), b, c, static_cast<std::uint16_t>(distanceBase + 100 * b + c));
            setIntensityRaw(p.data(), b, c, static_cast<std::uint8_t>(c + b));
        }
    }
    setTimestampRaw(p.data(), timestamp);
    return p;
}

// Single-echo packets covering azimuths start, start+step, ... (hundredths, wrapping at 36000).
inline std::vector<Packet> singleEchoSweep(int start, int step, int packets, std::uint32_t timestamp = 1000000)
{
    std::vector<Packet> out;
    int a = start;
    for (int k = 0; k < packets; ++k) {
        std::array<std::uint16_t, 12> az{};
        for (auto& v : az) {
            v = static_cast<std::uint16_t>(a);
            a = (a + step) % 36000;
        }
        out.push_back(dataPacket(az, timestamp + 600u * k));
    }
    return out;
}

// Dual-echo packets: blocks (2k, 2k+1) share one azimuth.
inline std::vector<Packet> dualEchoSweep(int start, int step, int packets, std::uint32_t timestamp = 1000000)
{
    std::vector<Packet> out;
    int a = start;
    for (int k = 0; k < packets; ++k) {
        std::array<std::uint16_t, 12> az{};
        for (int b = 0; b < 12; b += 2) {
            az[b] = az[b + 1] = static_cast<std::uint16_t>(a);
            a = (a + step) % 36000;
        }
        out.push_back(dataPacket(az, timestamp + 300u * k));
    }
    return out;
}

} // namespace hvk32::test
