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
    gaps_.clear();
    started_ = false;
    pending_ = false;
    ahead_.clear();
    order_.clear();
    released_.clear();
    taken_.clear();
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
    order_.clear();
    released_.clear();
    taken_.clear();
    started_ = false;
    turnStarted_ = false;
    turnPackets_ = 0;
}

void PacketLossDetector::continueFrom(const PacketLossDetector& other)
{
    const StreamHealth health = health_;
    const std::int64_t revolutionMicros = revolutionMicros_;
    std::vector<StreamGap> gaps = std::move(gaps_);
    *this = other;
    health_ = health;
    revolutionMicros_ = revolutionMicros;
    gaps_ = std::move(gaps);
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

std::int64_t PacketLossDetector::reach() const
{
    std::int64_t r = headPlace_;
    for (const Held& h : ahead_) {
        if (h.place != r + 1)
            break;
        r = h.place;
    }
    return r;
}

void PacketLossDetector::addPacket(const std::uint8_t* packet, const PacketOrigin& origin)
{
    order_.clear();
    released_.clear();
    current_ = packet;
    currentOrigin_ = origin;
    ++health_.packets;
    const Packet p = read(packet);
    if (!started_) {
        startCounting(p);
        order_.push_back(-1);
        finishTaken();
        return;
    }
    std::int64_t d = timestampDifference(last_.timestamp, p.timestamp);
    std::int64_t places = placesTo(last_.timestamp, last_.azimuth, p);
    if (pending_) {
        const Packet& far = pendingHeld_.packet;
        const std::int64_t farPlaces = pendingHeld_.place - headPlace_;
        const std::int64_t fromFar = placesTo(far.timestamp, far.azimuth, p);
        const bool near = std::llabs(d) <= kResyncMicros;
        if (std::llabs(timestampDifference(far.timestamp, p.timestamp)) <= kResyncMicros && fromFar >= 1
            && fromFar <= kStrayPeriods) {
            // The stream goes on from the far packet: the jump was the stream's.
            pending_ = false;
            if (pendingRestart_) {
                const std::int64_t silence = timestampDifference(last_.timestamp, far.timestamp);
                if (silence > 0)
                    addGap(silence, far);
                startCounting(far);
            } else {
                advance(far, farPlaces);
            }
            takeHeld(std::move(pendingHeld_));
            d = timestampDifference(last_.timestamp, p.timestamp);
            places = placesTo(last_.timestamp, last_.azimuth, p);
        } else if (near && places <= 0) {
            behind(p, headPlace_ + places); // the next packet ahead decides
            finishTaken();
            return;
        } else if (near && !pendingRestart_ && places > farPlaces) {
            pending_ = false; // the stream is past the far packet already
            advance(far, farPlaces);
            takeHeld(std::move(pendingHeld_));
            d = timestampDifference(last_.timestamp, p.timestamp);
            places = placesTo(last_.timestamp, last_.azimuth, p);
        } else {
            // The stream goes on from where it was: the far packet came early.
            pending_ = false;
            if (!pendingRestart_ && farPlaces < kHistoryPackets)
                holdEarly(pendingHeld_);
            else
                countLate();
        }
    }
    const std::int64_t place = headPlace_ + places;
    if (std::llabs(d) > kResyncMicros || place > reach() + 1 || places > kStrayPeriods) {
        pending_ = true;
        pendingRestart_ = std::llabs(d) > kResyncMicros;
        hold(pendingHeld_, p, place);
    } else if (places >= 1) {
        advance(p, places);
        order_.push_back(-1);
    } else {
        behind(p, place);
    }
    finishTaken();
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
    // Early packets whose place is passed arrived out of order and are decoded in it; one
    // for the place reached was a copy of the packet now.
    std::size_t passed = 0;
    while (passed < ahead_.size() && ahead_[passed].place <= head) {
        Held& h = ahead_[passed++];
        if (h.place == head) {
            ++health_.duplicatePackets;
            continue;
        }
        slot(h.place) = static_cast<std::uint16_t>(h.packet.azimuth + 1);
        ++health_.outOfOrderPackets;
        ++turnPackets_;
        --missing;
        takeHeld(std::move(h));
    }
    ahead_.erase(ahead_.begin(), ahead_.begin() + static_cast<std::ptrdiff_t>(passed));
    health_.lostPackets += static_cast<std::uint64_t>(std::max<std::int64_t>(missing, 0));
    moveHead(p, head);
}

void PacketLossDetector::moveHead(const Packet& p, std::int64_t place)
{
    elapsedMicros_ += timestampDifference(last_.timestamp, p.timestamp);
    countRevolution(p);
    last_ = p;
    headPlace_ = place;
    slot(place) = static_cast<std::uint16_t>(p.azimuth + 1);
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
            order_.push_back(-1);
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

void PacketLossDetector::hold(Held& into, const Packet& p, std::int64_t place)
{
    into.packet = p;
    into.place = place;
    into.origin = currentOrigin_;
    std::copy(current_, current_ + datapacket::kPacketSize, into.bytes.begin());
}

void PacketLossDetector::holdEarly(const Held& h)
{
    auto at = std::lower_bound(ahead_.begin(), ahead_.end(), h.place,
                               [](const Held& a, std::int64_t place) { return a.place < place; });
    if (at != ahead_.end() && at->place == h.place) {
        ++health_.duplicatePackets; // two early copies of one packet
        return;
    }
    if (ahead_.size() >= kAheadPackets) {
        // The farthest one is the least likely to be the stream's.
        const bool newFarthest = at == ahead_.end();
        countLate();
        if (newFarthest)
            return;
        ahead_.pop_back();
    }
    ahead_.insert(at, h);
}

void PacketLossDetector::takeHeld(Held&& h)
{
    released_.push_back(std::move(h));
    order_.push_back(static_cast<int>(released_.size()) - 1);
}

void PacketLossDetector::finishTaken()
{
    taken_.clear();
    for (int k : order_)
        taken_.push_back(k < 0 ? TakenPacket{current_, currentOrigin_}
                               : TakenPacket{released_[static_cast<std::size_t>(k)].bytes.data(),
                                             released_[static_cast<std::size_t>(k)].origin});
}

std::int64_t PacketLossDetector::earliestHeldOffset() const
{
    std::int64_t earliest = pending_ ? pendingHeld_.origin.offset : -1;
    for (const Held& h : ahead_)
        if (h.origin.offset >= 0 && (earliest < 0 || h.origin.offset < earliest))
            earliest = h.origin.offset;
    return earliest;
}

void PacketLossDetector::forgetAhead()
{
    for (std::size_t k = 0; k < ahead_.size(); ++k)
        countLate();
    ahead_.clear();
}

void PacketLossDetector::addGap(std::int64_t micros, const Packet& after)
{
    // Its length is the time its missing packets would have taken.
    const std::int64_t places = placesTo(last_.timestamp, last_.azimuth, after);
    StreamGap gap;
    gap.packets = static_cast<std::uint64_t>(std::max<std::int64_t>(places - 1, 0));
    const double period = after.firings * kMicrosPerSecond / datapacket::kFiringsPerSecond;
    gap.micros = std::min(micros, static_cast<std::int64_t>(std::llround(static_cast<double>(gap.packets) * period)));
    gap.after = pendingHeld_.origin;
    ++health_.gaps;
    health_.gapPackets += gap.packets;
    health_.gapMicros += static_cast<std::uint64_t>(gap.micros);
    if (gaps_.size() < kGapsKept)
        gaps_.push_back(gap);
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
