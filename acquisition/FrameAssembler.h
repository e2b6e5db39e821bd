#pragma once
// Cuts the stream of data packets into revolution frames.
//
// Single echo: every block goes to stream 1; a frame is emitted when stream 1's azimuth
// wraps. Dual echo: even blocks (first echo) go to stream 1, odd blocks (second echo) to
// stream 2; the echo selection picks what a frame holds:
//   0  both echoes: stream 1's points then stream 2's, per channel, no block list
//   1  stream 1 only
//   2  stream 2 only
// Plain object: no sockets, no threads. Feed it packets, it hands back finished frames.

#include "acquisition/FrameAccumulator.h"
#include "acquisition/PointDecoding.h"
#include "records/LidarData.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace hvk32 {

enum EchoSelection { DualEchoSelection = 0, StrongEchoSelection = 1, SecondEchoSelection = 2 };

class FrameAssembler {
public:
    // The frame is lent for the call: the sink reads or copies it, or swaps or moves its
    // contents out. Whatever the sink leaves behind is emptied (keeping its capacity) and
    // filled with a later frame.
    using FrameSink = std::function<void(LidarData&)>;

    // The longest revolution is 3600 blocks (5 Hz); a stream far past that without a wrap
    // comes from a scanner that does not turn, and is dropped so memory stays bounded.
    static constexpr std::size_t kMaxStreamBlocks = 4 * 3600;

    void setConfiguration(SensorConfig config) { config_ = config; }
    SensorConfig configuration() const { return config_; }
    void setEchoSelection(int selection) { echoSelection_ = selection; }
    int echoSelection() const { return echoSelection_; }

    // Decodes one data packet (at least 1206 bytes, flag already checked) into the streams
    // and passes every frame it completes to sink.
    void addPacket(const std::uint8_t* packet, const FrameSink& sink);

    // Drops everything collected, carried points included.
    void clear();

    // How many streams were dropped for growing past kMaxStreamBlocks.
    std::uint64_t discardedStreams() const { return discardedStreams_; }

    const FrameAccumulator& stream1() const { return stream1_; }
    const FrameAccumulator& stream2() const { return stream2_; }

private:
    void addSingleEcho(const std::uint8_t* packet, const FrameSink& sink);
    void addDualEcho(const std::uint8_t* packet, const FrameSink& sink);
    void emitBothEchoes(const FrameSink& sink);
    void emitOneEcho(FrameAccumulator& chosen, FrameAccumulator& other, const FrameSink& sink);
    void boundStream(FrameAccumulator& stream);

    SensorConfig config_ = SensorConfig::Unknown;
    int echoSelection_ = DualEchoSelection;
    FrameAccumulator outgoing_;
    FrameAccumulator stream1_;
    FrameAccumulator stream2_;
    DecodedBlock block_;
    std::uint64_t discardedStreams_ = 0;
};

} // namespace hvk32
