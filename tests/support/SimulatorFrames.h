#pragma once
// Whole revolutions of the substitute scanner's hall as the live frame assembler cuts them
// from its data packets, the first (partial) revolution left out.

#include "acquisition/DataPacket.h"
#include "acquisition/FrameAssembler.h"
#include "sim/ScannerStream.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace hvk32::test {

inline std::vector<LidarData> simulatorFrames(int count, const sim::ScannerSettings& settings = {})
{
    sim::ScannerStream stream(settings);
    FrameAssembler assembler;
    assembler.setConfiguration(settings.echo == sim::EchoMode::Dual ? SensorConfig::DualEcho : SensorConfig::SingleEcho);
    std::vector<LidarData> frames;
    std::array<std::uint8_t, datapacket::kPacketSize> packet{};
    while (int(frames.size()) < count + 1) {
        stream.nextDataPacket(packet.data());
        assembler.addPacket(packet.data(), [&](LidarData& f) { frames.push_back(std::move(f)); });
    }
    frames.erase(frames.begin());
    return frames;
}

// One revolution, as the receiver would emit it.
inline LidarData simulatorFrame(const sim::ScannerSettings& settings = {})
{
    return std::move(simulatorFrames(1, settings).front());
}

} // namespace hvk32::test
