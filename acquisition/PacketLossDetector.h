#pragma once
// Finds lost, duplicated and out-of-order data packets and short revolutions in the stream
// itself. Plain object, shared by the live receiver, the capture player, the frame index and
// the command line: feed it every data packet in arrival order.
//
// The device fires at a fixed rate whatever its speed, so successive packets' time stamps
// advance by one packet period (12 firings in single echo, 6 in dual echo): each packet has
// a place in the stream, and a jump of n places means n - 1 packets went missing. The places
// of the last kHistoryPackets are remembered: a packet for a place already seen is a
// duplicate, one for a place passed without it arrived out of order and takes its loss back,
// until the frame that held that place is closed (closeFrame()); after that it is late: out
// of order, and its loss stands, so the losses given to each frame add up to the total.
//
// A single packet far from the stream (a replayed datagram, a faulty switch) must not move
// it: a jump of more than kStrayPeriods places, or a silence of more than a second, waits
// for the next packet. When that one goes on from the jump, the jump was the stream's (a
// burst of losses, a restarted device); when it goes on from where the stream was, the packet
// was a stray: one ahead is remembered until the stream reaches its place (then it is a
// duplicate if its place arrives again, else it came out of order); one too far to place is
// late. The block azimuths give the speed (their step per firing) and the revolutions (each
// wrap past 0); a revolution with fewer packets than the speed implies is short. A restart
// starts counting afresh instead of counting the gap as lost.

#include "acquisition/PointDecoding.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace hvk32 {

struct StreamHealth {
    std::uint64_t packets = 0;           // data packets seen, duplicates included
    std::uint64_t lostPackets = 0;
    std::uint64_t duplicatePackets = 0;
    std::uint64_t outOfOrderPackets = 0; // late ones included
    std::uint64_t latePackets = 0;       // out of order after their frame was closed, or unplaceable
    std::uint64_t shortFrames = 0;       // complete revolutions with packets missing
    std::uint64_t revolutions = 0;       // complete revolutions seen (between two wraps)
    double revolutionsPerSecond = 0.0;   // over the complete revolutions, by the time stamps

    // Packets the device sent while it was watched: the distinct ones seen in their place
    // plus the lost.
    std::uint64_t expectedPackets() const { return packets - duplicatePackets - latePackets + lostPackets; }
    // Lost packets as a percentage of expectedPackets(); 0 for an empty stream.
    double lostPercent() const;
};

class PacketLossDetector {
public:
    static constexpr std::int64_t kResyncMicros = 1000000; // a longer silence restarts counting
    static constexpr std::int64_t kHistoryPackets = 4096;  // places remembered: 2 turns at 5 Hz in dual echo
    static constexpr std::int64_t kStrayPeriods = 32;      // a longer jump waits for the next packet
    static constexpr std::size_t kAheadPackets = 16;       // strays ahead remembered at once

    PacketLossDetector();

    // Single or dual echo fixes the packet period; Unknown: each packet tells (the two
    // blocks of a dual-echo firing carry the same azimuth).
    void setConfiguration(SensorConfig config) { config_ = config; }
    void reset();
    // Forgets where the stream was, keeping the counts: the next packet starts counting
    // afresh (after a jump to another place of a capture).
    void resynchronise();

    // One data packet (at least 1206 bytes, flag already checked).
    void addPacket(const std::uint8_t* packet);
    // A frame was completed with the packets fed so far: their places are final, and the
    // losses counted up to here belong to it.
    void closeFrame() { settledPlace_ = headPlace_; }

    const StreamHealth& health() const { return health_; }

private:
    struct Packet {
        std::uint32_t timestamp = 0;
        std::uint16_t azimuth = 0;   // first block azimuth, hundredths
        std::uint16_t firingStep = 0; // azimuth step of one firing
        int firings = 0;             // firings per packet
    };
    struct Ahead {
        std::int64_t place;
        std::uint16_t azimuth;
    };

    Packet read(const std::uint8_t* packet) const;
    // Places from the newest packet to `p`: 0 for a repeat of it, negative behind it.
    std::int64_t placesTo(std::uint32_t fromTimestamp, std::uint16_t fromAzimuth, const Packet& p) const;
    std::uint16_t& slot(std::int64_t place);
    // The packet that (re)starts counting: no gap is measured against what came before it.
    void startCounting(const Packet& p);
    void advance(const Packet& p, std::int64_t places);
    void behind(const Packet& p, std::int64_t place);
    void countLate();
    void resolvePending(const Packet& next, std::int64_t places);
    void forgetAhead();
    void countRevolution(const Packet& p);

    SensorConfig config_ = SensorConfig::Unknown;
    StreamHealth health_;
    bool started_ = false;
    Packet last_;                     // the newest packet in the stream's order
    std::int64_t headPlace_ = 0;      // its place
    std::int64_t settledPlace_ = 0;   // places up to here belong to closed frames
    std::vector<std::uint16_t> seen_; // azimuth + 1 of the packet seen at each place, 0: none
    std::vector<Ahead> ahead_;        // strays ahead of the stream, waiting for their place
    bool pending_ = false;            // a far packet waits for the next one to tell
    bool pendingRestart_ = false;     // it was a second or more away
    std::int64_t pendingPlaces_ = 0;  // places from the head to it
    Packet pendingPacket_;
    std::int64_t elapsedMicros_ = 0;  // time of the newest packet since the first, unwrapped
    bool turnStarted_ = false;        // a wrap was seen since counting (re)started
    std::uint64_t turnPackets_ = 0;   // packets of the revolution under way
    std::int64_t lastWrapMicros_ = 0;
    std::int64_t revolutionMicros_ = 0; // time of the complete revolutions together
};

} // namespace hvk32
