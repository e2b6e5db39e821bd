#include "sim/PacketImpairment.h"

#include <algorithm>

namespace hvk32::sim {

PacketImpairment::PacketImpairment(double lossPercent, double duplicatePercent, double reorderPercent)
    : loss_(lossPercent), duplicate_(duplicatePercent), reorder_(reorderPercent)
{
}

bool PacketImpairment::pass(const std::uint8_t* packet, const Sink& sink)
{
    if (!active())
        return sink(packet);
    // One draw per packet, in [0, 100): the drops stay where they are whatever the other
    // percentages are.
    const double draw = 100.0 * static_cast<double>(random_()) / (static_cast<double>(std::mt19937::max()) + 1.0);
    if (draw < loss_) {
        ++dropped_;
        return true;
    }
    if (draw < loss_ + duplicate_) {
        ++duplicated_;
        if (!sink(packet) || !sink(packet))
            return false;
    } else if (draw < loss_ + duplicate_ + reorder_ && !holding_) {
        std::copy(packet, packet + kPacketSize, held_.begin());
        holding_ = true;
        return true;
    } else if (!sink(packet)) {
        return false;
    }
    if (!holding_)
        return true;
    holding_ = false;
    ++reordered_;
    return sink(held_.data());
}

bool PacketImpairment::flush(const Sink& sink)
{
    if (!holding_)
        return true;
    holding_ = false;
    return sink(held_.data());
}

} // namespace hvk32::sim
