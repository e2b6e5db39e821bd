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

void PacketLossDetector::reset()
{
    health_ = {};
    started_ = false;
    turnStarted_ = false;
    turnPackets_ = 0;
    elapsedMicros_ = lastWrapMicros_ = revolutionMicros_ = 0;
    recent_.fill(0);
    recentNext_ = 0;
}

void PacketLossDetector::resynchronise()
{
    started_ = false;
    turnStarted_ = false;
    turnPackets_ = 0;
}

bool PacketLossDetector::seenRecently(std::uint32_t timestamp, std::uint16_t azimuth) const
{
    const std::uint64_t key = (std::uint64_t(timestamp) << 16 | azimuth) + 1; // 0: empty slot
    return std::find(recent_.begin(), recent_.end(), key) != recent_.end();
}

void PacketLossDetector::remember(std::uint32_t timestamp, std::uint16_t azimuth)
{
    recent_[recentNext_] = (std::uint64_t(timestamp) << 16 | azimuth) + 1;
    recentNext_ = (recentNext_ + 1) % kRecentPackets;
}

void PacketLossDetector::startCounting(std::uint32_t timestamp, std::uint16_t azimuth)
{
    started_ = true;
    lastTimestamp_ = timestamp;
    lastAzimuth_ = azimuth;
    turnStarted_ = false;
    turnPackets_ = 1;
    remember(timestamp, azimuth);
}

void PacketLossDetector::addPacket(const std::uint8_t* packet)
{
    ++health_.packets;
    const std::uint16_t azimuth = blockAzimuth(packet, 0);
    const std::uint32_t timestamp = datapacket::timestampRaw(packet);
    const bool dual = config_ == SensorConfig::DualEcho
        || (config_ == SensorConfig::Unknown && blockAzimuth(packet, 1) == azimuth);
    const int firings = dual ? kDualEchoFirings : kSingleEchoFirings;
    // The azimuth step of one firing is the motor speed as the packet shows it.
    const std::uint16_t firingStep = azimuthAdvance(azimuth, blockAzimuth(packet, dual ? 2 : 1));

    if (!started_) {
        startCounting(timestamp, azimuth);
        return;
    }

    const std::int64_t d = timestampDifference(lastTimestamp_, timestamp);
    if (d == 0 && azimuth == lastAzimuth_) {
        ++health_.duplicatePackets;
        return;
    }
    if (std::llabs(d) > kResyncMicros) {
        // A restarted stream: its first packet starts the count again.
        startCounting(timestamp, azimuth);
        return;
    }
    const double period = firings * kMicrosPerSecond / datapacket::kFiringsPerSecond;
    // A stream whose time stamps stand still gives no count of its own: take it as the next packet.
    const long long periods = d == 0 ? 1 : std::llround(static_cast<double>(d) / period);
    if (periods < 1) {
        if (seenRecently(timestamp, azimuth)) {
            ++health_.duplicatePackets;
        } else {
            // It was counted lost when the stream went past it; it belongs to the
            // revolution under way (or the one just closed, which cannot be told apart).
            ++health_.outOfOrderPackets;
            ++turnPackets_;
            if (health_.lostPackets > 0)
                --health_.lostPackets;
            remember(timestamp, azimuth);
        }
        return;
    }
    health_.lostPackets += static_cast<std::uint64_t>(periods - 1);
    elapsedMicros_ += d;
    countRevolution(azimuth, firingStep, firings);
    lastTimestamp_ = timestamp;
    lastAzimuth_ = azimuth;
    remember(timestamp, azimuth);
}

// A packet that starts lower than its predecessor follows a wrap past 0.
void PacketLossDetector::countRevolution(std::uint16_t azimuth, std::uint16_t firingStep, int firingsPerPacket)
{
    if (azimuth >= lastAzimuth_) {
        ++turnPackets_;
        return;
    }
    if (turnStarted_) {
        ++health_.revolutions;
        revolutionMicros_ += elapsedMicros_ - lastWrapMicros_;
        health_.revolutionsPerSecond = health_.revolutions * kMicrosPerSecond / static_cast<double>(revolutionMicros_);
        if (firingStep > 0) {
            const double expected = static_cast<double>(datapacket::kAzimuthUnitsPerTurn) / (firingStep * firingsPerPacket);
            if (static_cast<double>(turnPackets_) < std::floor(expected))
                ++health_.shortFrames;
        }
    }
    turnStarted_ = true;
    lastWrapMicros_ = elapsedMicros_;
    turnPackets_ = 1;
}

} // namespace hvk32
