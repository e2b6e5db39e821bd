#pragma once
// Rules that turn a data packet's fields into per-point raw values: block azimuth,
// distance count, intensity, time and horizontal angle. No coordinates are computed here.

#include <QString>

#include <cstddef>
#include <cstdint>

namespace hvk32 {

// How blocks pair up inside a data packet.
enum class SensorConfig {
    Unknown,    // decodes nothing
    SingleEcho, // "HVK321": 12 successive firings
    DualEcho,   // "HVK322": block pairs (0,1)..(10,11), first echo even, second echo odd
};

inline QString singleEchoConfigName() { return QStringLiteral("HVK321"); }
inline QString dualEchoConfigName() { return QStringLiteral("HVK322"); }
SensorConfig sensorConfigFromName(const QString& name);

constexpr double kFiringSpacing = 1.536;     // time-stamp units between successive firings
constexpr double kSingleEchoSpan = 588.288;  // 383 firings: the last firing carries the time stamp
constexpr double kDualEchoSpan = 294.144;
// A dual-echo packet holds six firings, each in two blocks; its last firing (pair 5,
// channel 31: 191 firings after the first) carries the time stamp, as in single echo.
constexpr double kDualEchoPairSpan = 293.376;
constexpr float kLiveChannelFraction = 0.03125f; // 1/32 of the block step per channel
constexpr double kPlayerChannelStep = 0.00625;   // [deg] per channel, capture player

// Block azimuth in degrees; 36000 hundredths or more decode as 0.
inline float decodeBlockAzimuth(std::uint16_t raw)
{
    const float a = static_cast<float>(raw) / 100.0f;
    return a >= 360.0f ? 0.0f : a;
}

// Time stamp plus an offset in time-stamp units, truncated; a result below zero becomes 0.
inline std::uint64_t truncatedTime(std::uint32_t timestamp, double offset)
{
    const double t = static_cast<double>(timestamp) + offset;
    // Through int64: the same value for every time stamp, and a cheaper conversion.
    return t <= 0.0 ? 0 : static_cast<std::uint64_t>(static_cast<std::int64_t>(t));
}

// Time of channel c in block b: firing n = 32*b + c.
inline std::uint64_t singleEchoTime(std::uint32_t timestamp, int block, int channel)
{
    return truncatedTime(timestamp, kFiringSpacing * (32 * block + channel) - kSingleEchoSpan);
}

// Time of channel c in block b when blocks pair up: both echoes of a firing share it.
inline std::uint64_t dualEchoTime(std::uint32_t timestamp, int block, int channel)
{
    const int firstBlockOfPair = block - (block % 2);
    return truncatedTime(timestamp, kFiringSpacing * (32 * firstBlockOfPair + channel) - kDualEchoSpan);
}

// Time of the firing of channel c in block b of a dual-echo packet, counted by pair
// (p = b / 2): both echoes share it, and the six firings end at the time stamp, so a channel's
// times grow across packets too (the stated dualEchoTime spaces pairs 64 firings apart).
std::uint64_t dualEchoFiringTime(std::uint32_t timestamp, int block, int channel);

// Step between two successive block azimuths of one stream; a negative step wraps once.
inline float azimuthStep(float from, float to)
{
    const float d = to - from;
    return d < 0.0f ? d + 360.0f : d;
}

// Horizontal angle of channel c of a block, live rule: A + c*d/32, reduced once at 360.
inline float liveChannelAzimuth(float blockAzimuth, float step, int channel)
{
    const float a = blockAzimuth + static_cast<float>(channel) * step * kLiveChannelFraction;
    return a >= 360.0f ? a - 360.0f : a;
}

// Horizontal angle of channel c of a block, capture player rule: A + c*0.00625, not wrapped.
inline float playerChannelAzimuth(float blockAzimuth, int channel)
{
    return static_cast<float>(static_cast<double>(blockAzimuth) + channel * kPlayerChannelStep);
}

// singleEchoTime (or dualEchoFiringTime) for a stream of time stamps, without floating point
// where it cannot matter: where the offset's fraction keeps well clear of whole units,
// truncating the time stamp plus the offset is the time stamp plus the offset's whole part
// (rounding a sum below 2^32 moves it by less than 1e-6). Offsets within 1e-4 of a whole unit
// take the floating-point rule.
class PacketTimes {
public:
    static const PacketTimes& singleEcho();
    static const PacketTimes& dualEchoFirings();

    struct Step {
        double offset;      // what the rule adds to the time stamp
        std::int64_t whole; // its floor
        bool nearWhole;     // within 1e-4 of a whole unit
    };
    const Step& step(int block, int channel) const { return steps_[block][channel]; }

    static std::uint64_t at(std::uint32_t timestamp, const Step& s)
    {
        if (s.nearWhole)
            return truncatedTime(timestamp, s.offset);
        const std::int64_t t = static_cast<std::int64_t>(timestamp) + s.whole;
        return t > 0 ? static_cast<std::uint64_t>(t) : 0;
    }
    std::uint64_t at(std::uint32_t timestamp, int block, int channel) const
    {
        return at(timestamp, steps_[block][channel]);
    }

private:
    explicit PacketTimes(const double (&offsets)[12][32]);
    Step steps_[12][32];
};

// Blocks [first, last) of one data packet among a frame's blocks, the packet's time stamp, and
// whether its blocks pair up as dual-echo firings.
struct BlockRun {
    std::uint32_t timestamp;
    std::uint8_t first, last;
    bool dual;
};

// The times of channel c at every block of `runs` by the rule of `times`, one after another
// into `out`. With `stated` given, runs that are not dual echo take the times there instead
// (the same positions).
void runTimes(const PacketTimes& times, int channel, const BlockRun* runs, std::size_t count,
              const std::uint64_t* stated, std::uint64_t* out);

// Distance counts and intensities of every channel over n blocks that follow each other in
// memory (a frame's kept blocks, `blocks` at the first), into the channels' lists
// distances[c] and intensities[c].
void decodeChannelColumns(const std::uint8_t* blocks, std::size_t n, float* const* distances, int* const* intensities);

// playerChannelAzimuth of channel c for n block azimuths.
void playerChannelAzimuths(const float* blockAzimuths, std::size_t n, int channel, float* azimuths);

// Raw values of one block of a data packet.
struct DecodedBlock {
    float azimuth = 0.0f;
    float distance[32] = {};
    int intensity[32] = {};
    std::uint64_t time[32] = {};
    // The firings' times where they differ from `time` (dual echo), see firingTimes of LidarData.
    bool firingTimesDiffer = false;
    std::uint64_t firingTime[32] = {};
};

// Decodes block b of a data packet (at least 1206 bytes, already validated); the time
// rule is the dual-echo formula for DualEcho and the single-echo formula otherwise.
void decodeBlock(const std::uint8_t* packet, int block, SensorConfig timeRule, DecodedBlock& out);

} // namespace hvk32
