#pragma once
// The data packets lost since the previous frame, for outputs that report a loss per frame.

#include "acquisition/PacketLossDetector.h"

#include <cstdint>

namespace hvk32 {

// The packets found lost since the previous frame. An out-of-order packet takes back a
// loss that may have been given to the previous frame, so the difference never goes below 0.
class LostSinceLastFrame {
public:
    std::uint64_t take(const StreamHealth& health)
    {
        const std::uint64_t lost = health.lostPackets > last_ ? health.lostPackets - last_ : 0;
        last_ = last_ > health.lostPackets ? last_ : health.lostPackets;
        return lost;
    }

    // The stream's gaps (silences of more than a second) since the previous frame.
    struct Gaps {
        std::uint64_t count = 0, packets = 0, micros = 0;
        double seconds() const { return static_cast<double>(micros) / 1e6; }
    };
    Gaps takeGaps(const StreamHealth& health)
    {
        const Gaps since{health.gaps - gaps_.count, health.gapPackets - gaps_.packets, health.gapMicros - gaps_.micros};
        gaps_ = {health.gaps, health.gapPackets, health.gapMicros};
        return since;
    }

private:
    std::uint64_t last_ = 0;
    Gaps gaps_;
};

} // namespace hvk32
