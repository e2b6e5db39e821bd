#pragma once
// Finds lost, duplicated and out-of-order data packets, gaps and short revolutions in the
// stream itself, and says which packets to decode and in which order. Plain object, shared by
// the live receiver, the capture player, the frame index and the command line: feed it every
// data packet in arrival order, then decode the packets taken() lists.
//
// The device fires at a fixed rate whatever its speed, so successive packets' time stamps
// advance by one packet period (12 firings in single echo, 6 in dual echo): each packet has
// a place in the stream, and a jump of n places means n - 1 packets went missing. The places
// of the last kHistoryPackets are remembered: a packet for a place already seen is a
// duplicate and is not decoded again; one for a place passed without it arrived out of order,
// takes its loss back and is decoded, until the frame that held that place is closed
// (closeFrame()); after that it is late: out of order, its loss stands and it is not decoded,
// so the losses given to each frame add up to the total.
//
// A packet that jumps ahead of the stream waits for the next one to tell a loss from a stray:
// when the next packet goes on from the jump, the jump was the stream's (a burst of losses, or
// after a silence of more than a second a gap or a restarted device) and both are decoded; when
// it goes on from where the stream was, the far packet came early (a replayed or reordered
// datagram, a faulty switch). An early packet is held, with its bytes, until the stream reaches
// its place: if its place arrives again it was a duplicate, and if the stream passes its place
// without it, it is decoded there, in the stream's order. One too far to place is late. So a
// lone stray never adds its blocks to a frame or splits one. The block azimuths give the speed
// (their step per firing) and the revolutions (each wrap past 0); a revolution with fewer
// packets than the speed implies is short. A silence of more than a second after which the
// stream goes on forward is a gap: not counted as lost, but reported with its length.

#include "acquisition/DataPacket.h"
#include "acquisition/PointDecoding.h"

#include <array>
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
    // Silences of more than a second after which the stream went on: not in lostPackets.
    std::uint64_t gaps = 0;
    std::uint64_t gapPackets = 0;        // data packets the gaps would have held
    std::uint64_t gapMicros = 0;         // the time those packets would have taken [us]

    // Packets the device sent while it was watched: the distinct ones seen in their place
    // plus the lost.
    std::uint64_t expectedPackets() const { return packets - duplicatePackets - latePackets + lostPackets; }
    // Lost packets as a percentage of expectedPackets(); 0 for an empty stream.
    double lostPercent() const;
    double gapSeconds() const { return static_cast<double>(gapMicros) / 1e6; }
};

// Where a packet came from, carried along while it is held: a capture record's offset and
// time (left at their defaults live).
struct PacketOrigin {
    std::int64_t offset = -1;
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0; // micro- or nanoseconds, as the capture says
};

// A packet to decode: its bytes and where it came from.
struct TakenPacket {
    const std::uint8_t* bytes;
    PacketOrigin origin;
};

// One gap in the stream.
struct StreamGap {
    std::int64_t micros = 0;    // the time its missing packets would have taken
    std::uint64_t packets = 0;  // data packets the gap would have held
    PacketOrigin after;         // the first packet after the gap
};

class PacketLossDetector {
public:
    static constexpr std::int64_t kResyncMicros = 1000000; // a longer silence is a gap or a restart
    static constexpr std::int64_t kHistoryPackets = 4096;  // places remembered: 2 turns at 5 Hz in dual echo
    static constexpr std::int64_t kStrayPeriods = 32;      // a jump the next packet can go on from
    static constexpr std::size_t kAheadPackets = 16;       // early packets held at once
    static constexpr std::size_t kGapsKept = 1000;         // gaps listed one by one (all are counted)

    PacketLossDetector();

    // Single or dual echo fixes the packet period; Unknown: each packet tells (the two
    // blocks of a dual-echo firing carry the same azimuth).
    void setConfiguration(SensorConfig config) { config_ = config; }
    void reset();
    // Forgets where the stream was, keeping the counts: the next packet starts counting
    // afresh (after a jump to another place of a capture). Held packets are dropped as late.
    void resynchronise();

    // Goes on from where `other` is in the stream (the packets it placed, held and wrapped),
    // keeping this detector's counts: for a reader that read part of a stream again with
    // `other` and now reaches packets this one has not seen.
    void continueFrom(const PacketLossDetector& other);

    // One data packet (at least 1206 bytes, flag already checked), in arrival order.
    void addPacket(const std::uint8_t* packet, const PacketOrigin& origin = {});
    // The packets to decode after the last addPacket(), in the stream's order: held packets
    // whose place has come, then that packet unless it is a duplicate, late or held. The
    // bytes stay valid until the next addPacket(), reset() or resynchronise().
    const std::vector<TakenPacket>& taken() const { return taken_; }

    // A frame was completed with the packets fed so far: their places are final, and the
    // losses counted up to here belong to it.
    void closeFrame() { settledPlace_ = headPlace_; }

    // The lowest offset of the packets held back (-1: none): where to read again from so that
    // packets that came early take their places as they did.
    std::int64_t earliestHeldOffset() const;

    const StreamHealth& health() const { return health_; }
    // The first kGapsKept gaps, in the stream's order.
    const std::vector<StreamGap>& gaps() const { return gaps_; }

private:
    struct Packet {
        std::uint32_t timestamp = 0;
        std::uint16_t azimuth = 0;   // first block azimuth, hundredths
        std::uint16_t firingStep = 0; // azimuth step of one firing
        int firings = 0;             // firings per packet
    };
    // A packet kept back: the far one waiting for the next, or an early one waiting for its place.
    struct Held {
        Packet packet;
        std::int64_t place = 0;
        PacketOrigin origin;
        std::array<std::uint8_t, datapacket::kPacketSize> bytes;
    };

    Packet read(const std::uint8_t* packet) const;
    // Places from the newest packet to `p`: 0 for a repeat of it, negative behind it.
    std::int64_t placesTo(std::uint32_t fromTimestamp, std::uint16_t fromAzimuth, const Packet& p) const;
    std::uint16_t& slot(std::int64_t place);
    // The packet that (re)starts counting: no gap is measured against what came before it.
    void startCounting(const Packet& p);
    // The next place the stream has no packet for: past the early packets held in a row.
    std::int64_t reach() const;
    // The stream moves on to `p`, `places` ahead of the newest packet; the early packets it
    // passes are decoded before it, in their places.
    void advance(const Packet& p, std::int64_t places);
    void moveHead(const Packet& p, std::int64_t place);
    void behind(const Packet& p, std::int64_t place);
    void countLate();
    void hold(Held& into, const Packet& p, std::int64_t place);
    void holdEarly(const Held& h);
    void takeHeld(Held&& h);
    void forgetAhead();
    void countRevolution(const Packet& p);
    void addGap(std::int64_t micros, const Packet& after);
    void finishTaken();

    SensorConfig config_ = SensorConfig::Unknown;
    StreamHealth health_;
    std::vector<StreamGap> gaps_;
    bool started_ = false;
    Packet last_;                     // the newest packet in the stream's order
    std::int64_t headPlace_ = 0;      // its place
    std::int64_t settledPlace_ = 0;   // places up to here belong to closed frames
    std::vector<std::uint16_t> seen_; // azimuth + 1 of the packet seen at each place, 0: none
    std::vector<Held> ahead_;         // early packets waiting for their place, by place
    bool pending_ = false;            // a far packet waits for the next one to tell
    bool pendingRestart_ = false;     // it was a second or more away
    Held pendingHeld_;                // that packet; its place counts from the head
    // What the last addPacket() hands out: the current packet (-1) or an entry of released_.
    const std::uint8_t* current_ = nullptr;
    PacketOrigin currentOrigin_;
    std::vector<int> order_;
    std::vector<Held> released_;
    std::vector<TakenPacket> taken_;
    std::int64_t elapsedMicros_ = 0;  // time of the newest packet since the first, unwrapped
    bool turnStarted_ = false;        // a wrap was seen since counting (re)started
    std::uint64_t turnPackets_ = 0;   // packets of the revolution under way
    std::int64_t lastWrapMicros_ = 0;
    std::int64_t revolutionMicros_ = 0; // time of the complete revolutions together
};

} // namespace hvk32
