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

private:
    std::uint64_t last_ = 0;
};

} // namespace hvk32
