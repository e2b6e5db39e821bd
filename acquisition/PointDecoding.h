#pragma once
// Rules that turn a data packet's fields into per-point raw values: block azimuth,
// distance count, intensity, time and horizontal angle. No coordinates are computed here.

#include <QString>

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
constexpr float kLiveChannelFraction = 0.03125f; // 1/32 of the block step per channel
constexpr double kPlayerChannelStep = 0.00625;   // [deg] per channel, capture player

// Block azimuth in degrees; 36000 hundredths or more decode as 0.
float decodeBlockAzimuth(std::uint16_t raw);

// Time of channel c in block b, truncated; a result below zero becomes 0.
std::uint64_t singleEchoTime(std::uint32_t timestamp, int block, int channel);
std::uint64_t dualEchoTime(std::uint32_t timestamp, int block, int channel);

// Step between two successive block azimuths of one stream; a negative step wraps once.
float azimuthStep(float from, float to);

// Horizontal angle of channel c of a block, live rule: A + c*d/32, reduced once at 360.
float liveChannelAzimuth(float blockAzimuth, float step, int channel);

// Horizontal angle of channel c of a block, capture player rule: A + c*0.00625, not wrapped.
float playerChannelAzimuth(float blockAzimuth, int channel);

// Raw values of one block of a data packet.
struct DecodedBlock {
    float azimuth = 0.0f;
    float distance[32] = {};
    int intensity[32] = {};
    std::uint64_t time[32] = {};
};

// Decodes block b of a data packet (at least 1206 bytes, already validated); the time
// rule is the dual-echo formula for DualEcho and the single-echo formula otherwise.
void decodeBlock(const std::uint8_t* packet, int block, SensorConfig timeRule, DecodedBlock& out);

} // namespace hvk32
