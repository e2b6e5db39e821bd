#include "acquisition/PacketLossDetector.h"

#include "acquisition/DataPacket.h"

#include <algorithm>
#include <cmath>

namespace hvk32 {

namespace {

constexpr int kSingleEchoFirings = datapacket::kBlocksPerPacket;
constexpr int kDualEchoFirings = datapacket::kBlocksPerPacket / 2;
constexpr double kMicrosPerSecond = 1e6;

std::uint16_t blockAzimuth(const std::uint8_t* packet, int block)
{
    const std::uint16_t raw = datapacket::azimuthRaw(packet, block);
    return raw >= datapacket::kAzimuthUnitsPerTurn ? 0 : raw;
}

std::uint16_t azimuthAdvance(std::uint16_t from, std::uint16_t to)
{
    return static_cast<std::uint16_t>((to + datapacket::kAzimuthUnitsPerTurn - from) % datapacket::kAzimuthUnitsPerTurn);
}

// to - from in microseconds, the shorter way round the hourly wrap.
std::int64_t timestampDifference(std::uint32_t from, std::uint32_t to)
{
    constexpr std::int64_t wrap = datapacket::kTimestampWrap;
    std::int64_t d = static_cast<std::int64_t>(to) - static_cast<std::int64_t>(from);
    if (d > wrap / 2)
        d -= wrap;
    else if (d < -wrap / 2)
        d += wrap;
    return d;
}

} // namespace

double StreamHealth::lostPercent() const
{
    const std::uint64_t expected = expectedPackets();
    return expected ? 100.0 * static_cast<double>(lostPackets) / static_cast<double>(expected) : 0.0;
}

PacketLossDetector::PacketLossDetector() : seen_(static_cast<std::size_t>(kHistoryPackets), 0) {}

void PacketLossDetector::reset()
{
    health_ = {};
    started_ = false;
    pending_ = false;
    ahead_.clear();
    turnStarted_ = false;
    turnPackets_ = 0;
    elapsedMicros_ = lastWrapMicros_ = revolutionMicros_ = 0;
}

void PacketLossDetector::resynchronise()
{
    if (pending_)
        countLate();
    pending_ = false;
    forgetAhead();
    started_ = false;
    turnStarted_ = false;
    turnPackets_ = 0;
}

PacketLossDetector::Packet PacketLossDetector::read(const std::uint8_t* packet) const
{
    Packet p;
    p.azimuth = blockAzimuth(packet, 0);
    p.timestamp = datapacket::timestampRaw(packet);
    const bool dual = config_ == SensorConfig::DualEcho
        || (config_ == SensorConfig::Unknown && blockAzimuth(packet, 1) == p.azimuth);
    p.firings = dual ? kDualEchoFirings : kSingleEchoFirings;
    // The azimuth step of one firing is the motor speed as the packet shows it.
    p.firingStep = azimuthAdvance(p.azimuth, blockAzimuth(packet, dual ? 2 : 1));
    return p;
}

std::int64_t PacketLossDetector::placesTo(std::uint32_t fromTimestamp, std::uint16_t fromAzimuth, const Packet& p) const
{
    const std::int64_t d = timestampDifference(fromTimestamp, p.timestamp);
    // A stream whose time stamps stand still gives no count of its own: a packet with
    // another azimuth is taken as the next one.
    if (d == 0)
        return p.azimuth == fromAzimuth ? 0 : 1;
    const double period = p.firings * kMicrosPerSecond / datapacket::kFiringsPerSecond;
    return std::llround(static_cast<double>(d) / period);
}

std::uint16_t& PacketLossDetector::slot(std::int64_t place)
{
    return seen_[static_cast<std::size_t>(((place % kHistoryPackets) + kHistoryPackets) % kHistoryPackets)];
}

void PacketLossDetector::startCounting(const Packet& p)
{
    forgetAhead(); // their places belong to the count that ends here
    started_ = true;
    last_ = p;
    headPlace_ = settledPlace_ = 0;
    std::fill(seen_.begin(), seen_.end(), 0);
    slot(0) = static_cast<std::uint16_t>(p.azimuth + 1);
    turnStarted_ = false;
    turnPackets_ = 1;
}

void PacketLossDetector::addPacket(const std::uint8_t* packet)
{
    ++health_.packets;
    const Packet p = read(packet);
    if (!started_) {
        startCounting(p);
        return;
    }
    std::int64_t d = timestampDifference(last_.timestamp, p.timestamp);
    std::int64_t places = placesTo(last_.timestamp, last_.azimuth, p);
    if (pending_) {
        const std::int64_t fromPending = placesTo(pendingPacket_.timestamp, pendingPacket_.azimuth, p);
        const bool near = std::llabs(d) <= kResyncMicros;
        if (std::llabs(timestampDifference(pendingPacket_.timestamp, p.timestamp)) <= kResyncMicros
            && fromPending >= 1 && fromPending <= kStrayPeriods) {
            // The stream goes on from the far packet: the jump was the stream's.
            pending_ = false;
            if (pendingRestart_)
                startCounting(pendingPacket_);
            else
                advance(pendingPacket_, pendingPlaces_);
            d = timestampDifference(last_.timestamp, p.timestamp);
            places = placesTo(last_.timestamp, last_.azimuth, p);
        } else if (near && places <= 0) {
            behind(p, headPlace_ + places); // the next packet ahead decides
            return;
        } else if (near && !pendingRestart_ && places > pendingPlaces_) {
            pending_ = false; // the stream is past the far packet already
            advance(pendingPacket_, pendingPlaces_);
            d = timestampDifference(last_.timestamp, p.timestamp);
            places = placesTo(last_.timestamp, last_.azimuth, p);
        } else {
            // The stream goes on from where it was: the far packet was a stray.
            pending_ = false;
            if (!pendingRestart_ && pendingPlaces_ < kHistoryPackets) {
                if (ahead_.size() >= kAheadPackets) {
                    countLate();
                    ahead_.erase(ahead_.begin());
                }
                ahead_.push_back({headPlace_ + pendingPlaces_, pendingPacket_.azimuth});
            } else {
                countLate();
            }
        }
    }
    if (std::llabs(d) > kResyncMicros || places > kStrayPeriods) {
        pending_ = true;
        pendingRestart_ = std::llabs(d) > kResyncMicros;
        pendingPlaces_ = places;
        pendingPacket_ = p;
    } else if (places >= 1) {
        advance(p, places);
    } else {
        behind(p, headPlace_ + places);
    }
}

void PacketLossDetector::advance(const Packet& p, std::int64_t places)
{
    const std::int64_t head = headPlace_ + places;
    if (places >= kHistoryPackets)
        std::fill(seen_.begin(), seen_.end(), 0);
    else
        for (std::int64_t place = headPlace_ + 1; place < head; ++place)
            slot(place) = 0;
    std::int64_t missing = places - 1;
    // Strays that came ahead of their place: passed, they arrived out of order; met, the
    // packet now is their repeat.
    for (auto it = ahead_.begin(); it != ahead_.end();) {
        if (it->place < head) {
            slot(it->place) = static_cast<std::uint16_t>(it->azimuth + 1);
            ++health_.outOfOrderPackets;
            ++turnPackets_;
            --missing;
        } else if (it->place == head) {
            ++health_.duplicatePackets;
        } else {
            ++it;
            continue;
        }
        it = ahead_.erase(it);
    }
    health_.lostPackets += static_cast<std::uint64_t>(std::max<std::int64_t>(missing, 0));
    elapsedMicros_ += timestampDifference(last_.timestamp, p.timestamp);
    countRevolution(p);
    last_ = p;
    headPlace_ = head;
    slot(head) = static_cast<std::uint16_t>(p.azimuth + 1);
}

void PacketLossDetector::behind(const Packet& p, std::int64_t place)
{
    const std::uint16_t key = static_cast<std::uint16_t>(p.azimuth + 1);
    if (headPlace_ - place < kHistoryPackets) {
        std::uint16_t& s = slot(place);
        if (s == key) {
            ++health_.duplicatePackets;
            return;
        }
        if (s == 0 && place > settledPlace_) {
            // It was counted lost when the stream went past it; it belongs to the frame
            // under way (or the revolution just closed, which cannot be told apart).
            s = key;
            ++health_.outOfOrderPackets;
            ++turnPackets_;
            if (health_.lostPackets > 0)
                --health_.lostPackets;
            return;
        }
        if (s == 0)
            s = key; // a second copy of it is a duplicate
    }
    countLate();
}

void PacketLossDetector::countLate()
{
    ++health_.outOfOrderPackets;
    ++health_.latePackets;
}

void PacketLossDetector::forgetAhead()
{
    for (std::size_t k = 0; k < ahead_.size(); ++k)
        countLate();
    ahead_.clear();
}

// A packet that starts lower than its predecessor follows a wrap past 0.
void PacketLossDetector::countRevolution(const Packet& p)
{
    if (p.azimuth >= last_.azimuth) {
        ++turnPackets_;
        return;
    }
    if (turnStarted_) {
        ++health_.revolutions;
        revolutionMicros_ += elapsedMicros_ - lastWrapMicros_;
        health_.revolutionsPerSecond = health_.revolutions * kMicrosPerSecond / static_cast<double>(revolutionMicros_);
        if (p.firingStep > 0) {
            const double expected = static_cast<double>(datapacket::kAzimuthUnitsPerTurn) / (p.firingStep * p.firings);
            if (static_cast<double>(turnPackets_) < std::floor(expected))
                ++health_.shortFrames;
        }
    }
    turnStarted_ = true;
    lastWrapMicros_ = elapsedMicros_;
    turnPackets_ = 1;
}

} // namespace hvk32
