#include "acquisition/FrameAssembler.h"

#include "acquisition/DataPacket.h"

namespace hvk32 {

void FrameAssembler::clear()
{
    outgoing_.clear();
    stream1_.clear();
    stream2_.clear();
}

void FrameAssembler::addPacket(const std::uint8_t* packet, const FrameSink& sink)
{
    switch (config_) {
    case SensorConfig::SingleEcho:
        addSingleEcho(packet, sink);
        break;
    case SensorConfig::DualEcho:
        addDualEcho(packet, sink);
        break;
    case SensorConfig::Unknown:
        break;
    }
}

void FrameAssembler::boundStream(FrameAccumulator& stream)
{
    if (stream.blockCount() > kMaxStreamBlocks) {
        stream.clear();
        ++discardedStreams_;
    }
}

void FrameAssembler::addSingleEcho(const std::uint8_t* packet, const FrameSink& sink)
{
    for (int b = 0; b < datapacket::kBlocksPerPacket; ++b) {
        decodeBlock(packet, b, SensorConfig::SingleEcho, block_);
        stream1_.addBlock(block_);
        if (stream1_.frameComplete()) {
            stream1_.close();
            sink(stream1_.frame());
            stream1_.startNextFrame();
        }
        boundStream(stream1_);
    }
}

void FrameAssembler::addDualEcho(const std::uint8_t* packet, const FrameSink& sink)
{
    for (int b = 0; b < datapacket::kBlocksPerPacket; ++b) {
        decodeBlock(packet, b, SensorConfig::DualEcho, block_);
        if (b % 2 == 0)
            stream1_.addBlock(block_, 0);
        else
            stream2_.addBlock(block_, 1);
        switch (echoSelection_) {
        case DualEchoSelection:
            if (stream1_.frameComplete())
                emitBothEchoes(sink);
            break;
        case StrongEchoSelection:
            if (stream1_.frameComplete())
                emitOneEcho(stream1_, stream2_, sink);
            break;
        case SecondEchoSelection:
            if (stream2_.frameComplete())
                emitOneEcho(stream2_, stream1_, sink);
            break;
        default:
            break;
        }
        boundStream(stream1_);
        boundStream(stream2_);
    }
}

void FrameAssembler::emitBothEchoes(const FrameSink& sink)
{
    stream1_.close();
    stream2_.close();
    // The outgoing frame holds stream 1's points then stream 2's, channel by channel, in
    // storage it keeps between frames.
    LidarData& out = outgoing_.frame();
    out.clear();
    const LidarData& first = stream1_.frame();
    const LidarData& second = stream2_.frame();
    auto join = [](auto& target, const auto& a, const auto& b) {
        target.reserve(a.size() + b.size());
        target.insert(target.end(), a.begin(), a.end());
        target.insert(target.end(), b.begin(), b.end());
    };
    for (int c = 0; c < kChannelCount; ++c) {
        join(out.distances[c], first.distances[c], second.distances[c]);
        join(out.intensities[c], first.intensities[c], second.intensities[c]);
        join(out.azimuths[c], first.azimuths[c], second.azimuths[c]);
        join(out.timestamps[c], first.timestamps[c], second.timestamps[c]);
        join(out.echoes[c], first.echoes[c], second.echoes[c]);
        join(out.firingTimes[c], first.firingTimes[c], second.firingTimes[c]);
    }
    stream1_.startNextFrame();
    stream2_.startNextFrame();
    sink(out);
    out.clear();
}

void FrameAssembler::emitOneEcho(FrameAccumulator& chosen, FrameAccumulator& other, const FrameSink& sink)
{
    chosen.close();
    outgoing_.clear();
    other.clear();
    sink(chosen.frame());
    chosen.startNextFrame();
}

} // namespace hvk32
