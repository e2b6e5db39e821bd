#pragma once
// The device's vertical-angle table as the vertical angle window handles it: the nominal
// angles, where each channel sits in the window's two grids, how the device's angles read
// back, and the 1206-byte packet that writes a new table. Plain, no I/O.
//
// Channels here are packet entries 0..31, the order in which the device lists its vertical
// angles (lowest beam first); acquisition/DeviceInfoPacket.h maps them to data-packet channels.

#include "device/ConfigPacket.h"

#include <array>
#include <cstdint>
#include <optional>

namespace hvk32::vertical {

constexpr int kChannelCount = 32;
constexpr float kMaxDeviation = 1.5f; // [deg] a set angle further from nominal is refused
constexpr long kNegativeBias = 65535; // a negative angle code t travels as t + 65535
constexpr int kOneDegreeMode = 0;
constexpr int kThirdDegreeMode = 1;

using Angles = std::array<float, kChannelCount>; // [deg] by channel
using Packet = std::array<std::uint8_t, configpacket::kPacketSize>;

// The nominal angle of `channel` in degree mode 0 (1-degree layout) or 1 (0.33-degree layout);
// nothing for any other mode or channel.
std::optional<float> nominalAngle(int degreeMode, int channel);

// Where a channel's three cells sit in the grid of a layout: its number at `column`, the
// read-back angle at column + 1 and the set angle at column + 2.
struct GridPlace {
    int row = -1;
    int column = -1;
    bool valid() const { return row >= 0; }
    int reViewColumn() const { return column + 1; }
    int setColumn() const { return column + 2; }
};

// Invalid for a mode other than 0 and 1 or a channel outside 0..31.
GridPlace gridPlace(int degreeMode, int channel);
int gridRowCount(int degreeMode);

// The angles the device reports in the 64 raw bytes of its vertical table, and whether all of
// them are 0 (a device that reports no table).
struct ReadBack {
    Angles angles{};
    bool allZero = true;
};
ReadBack readBack(const std::uint8_t* rawAngles);

// The angle code of a set angle: degrees x 100 in single precision, truncated toward zero.
int angleHundredths(float degrees);

enum class Refusal {
    None,
    Deviation, // a set angle is more than kMaxDeviation from nominal
    NoLayout,  // the degree mode selects neither layout, so there is no nominal table
};

struct Build {
    Refusal refusal = Refusal::None;
    int channel = -1; // the first deviating channel
    Packet packet{};  // complete when refusal is None
    bool ok() const { return refusal == Refusal::None; }
};

// The packet that writes `setAngles`: the stored 1206-byte device-info packet with the user
// header, the marker, the 32 angle codes and the tail. Channels are checked in order against
// the nominal table of `degreeMode`; the first one too far off refuses the whole packet.
Build buildVerticalAnglePacket(const std::uint8_t* deviceInfo, const Angles& setAngles, int degreeMode);

} // namespace hvk32::vertical
