#pragma once
// Spoils a stream of data packets as a poor network would: of every hundred packets it
// drops, duplicates or holds back until after the next one the given numbers, drawn from a
// fixed seed, so that every run spoils the same packets. Plain, no I/O.

#include "acquisition/DataPacket.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <random>

namespace hvk32::sim {

class PacketImpairment {
public:
    static constexpr std::uint32_t kSeed = 17;
    static constexpr std::size_t kPacketSize = datapacket::kPacketSize;
    // Receives each packet that goes on; false ends the stream.
    using Sink = std::function<bool(const std::uint8_t* packet)>;

    PacketImpairment() = default;
    // Percentages 0..100 of the data packets to drop, to send twice and to swap with the next.
    PacketImpairment(double lossPercent, double duplicatePercent, double reorderPercent);

    bool active() const { return loss_ + duplicate_ + reorder_ > 0.0; }

    // Passes one packet on: not at all, once, twice, or later, after the next packet sent.
    bool pass(const std::uint8_t* packet, const Sink& sink);
    // Sends the packet still held back, if any (at the end of the stream).
    bool flush(const Sink& sink);

    std::uint64_t dropped() const { return dropped_; }
    std::uint64_t duplicated() const { return duplicated_; }
    std::uint64_t reordered() const { return reordered_; }

private:
    double loss_ = 0.0, duplicate_ = 0.0, reorder_ = 0.0;
    std::mt19937 random_{kSeed};
    std::array<std::uint8_t, kPacketSize> held_{};
    bool holding_ = false;
    std::uint64_t dropped_ = 0, duplicated_ = 0, reordered_ = 0;
};

} // namespace hvk32::sim
