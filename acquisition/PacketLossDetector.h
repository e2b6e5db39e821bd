#pragma once
// Finds lost, duplicated and out-of-order data packets and short revolutions in the stream
// itself. Plain object, shared by the live receiver, the capture player and the command
// line: feed it every data packet in arrival order.
//
// The device fires at a fixed rate whatever its speed, so successive packets' time stamps
// advance by one packet period (12 firings in single echo, 6 in dual echo); a jump of n
// periods means n - 1 packets went missing. A packet whose time stamp is behind the newest
// one arrived out of order: it had been counted lost and is taken back, unless it repeats
// a recent packet, which makes it a duplicate. The block azimuths give the speed (their
// step per firing) and the revolutions (each wrap past 0); a revolution with fewer packets
// than the speed implies is short. A silence of more than a second (a stopped motor, a
// restarted device) starts counting afresh instead of counting the gap as lost.

#include "acquisition/PointDecoding.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace hvk32 {

struct StreamHealth {
    std::uint64_t packets = 0;           // data packets seen, duplicates included
    std::uint64_t lostPackets = 0;
    std::uint64_t duplicatePackets = 0;
    std::uint64_t outOfOrderPackets = 0;
    std::uint64_t shortFrames = 0;       // complete revolutions with packets missing
    std::uint64_t revolutions = 0;       // complete revolutions seen (between two wraps)
    double revolutionsPerSecond = 0.0;   // over the complete revolutions, by the time stamps

    // Packets the device sent while it was watched: the distinct ones seen plus the lost.
    std::uint64_t expectedPackets() const { return packets - duplicatePackets + lostPackets; }
    // Lost packets as a percentage of expectedPackets(); 0 for an empty stream.
    double lostPercent() const;
};

class PacketLossDetector {
public:
    static constexpr std::int64_t kResyncMicros = 1000000; // a longer silence restarts counting
    static constexpr std::size_t kRecentPackets = 16;      // remembered to tell duplicates

    // Single or dual echo fixes the packet period; Unknown: each packet tells (the two
    // blocks of a dual-echo firing carry the same azimuth).
    void setConfiguration(SensorConfig config) { config_ = config; }
    void reset();
    // Forgets where the stream was, keeping the counts: the next packet starts counting
    // afresh (after a jump to another place of a capture).
    void resynchronise();

    // One data packet (at least 1206 bytes, flag already checked).
    void addPacket(const std::uint8_t* packet);

    const StreamHealth& health() const { return health_; }

private:
    bool seenRecently(std::uint32_t timestamp, std::uint16_t azimuth) const;
    void remember(std::uint32_t timestamp, std::uint16_t azimuth);
    // The packet that (re)starts counting: no gap is measured against what came before it.
    void startCounting(std::uint32_t timestamp, std::uint16_t azimuth);
    void countRevolution(std::uint16_t azimuth, std::uint16_t firingStep, int firingsPerPacket);

    SensorConfig config_ = SensorConfig::Unknown;
    StreamHealth health_;
    bool started_ = false;
    std::uint32_t lastTimestamp_ = 0; // of the newest packet
    std::uint16_t lastAzimuth_ = 0;   // its first block azimuth, hundredths
    std::int64_t elapsedMicros_ = 0;  // time of the newest packet since the first, unwrapped
    bool turnStarted_ = false;        // a wrap was seen since counting (re)started
    std::uint64_t turnPackets_ = 0;   // packets of the revolution under way
    std::int64_t lastWrapMicros_ = 0;
    std::int64_t revolutionMicros_ = 0; // time of the complete revolutions together
    std::array<std::uint64_t, kRecentPackets> recent_{}; // time stamp and azimuth, packed
    std::size_t recentNext_ = 0;
};

} // namespace hvk32
