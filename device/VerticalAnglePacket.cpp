#include "device/VerticalAnglePacket.h"

#include "acquisition/DeviceInfoPacket.h"
#include "records/AngleValues.h"
#include "records/ByteOrder.h"

#include <cmath>
#include <limits>
#include <cstring>

namespace hvk32::vertical {

namespace {

constexpr std::size_t kEntrySize = 2; // BE16 per channel

bool validChannel(int channel) { return channel >= 0 && channel < kChannelCount; }

// The four column groups of the 0.33-degree grid; each starts with the channel-number column.
constexpr int kGroup1Column = 0;  // 11, 15, 19, 23
constexpr int kGroup2Column = 4;  // the other odd channels
constexpr int kGroup3Column = 8;  // the even channels that open the rows
constexpr int kGroup4Column = 12; // 10, 14, 18, 22
constexpr int kThirdDegreeRows = 12;

// The 1-degree grid: the odd channel of a pair on the left.
constexpr int kOddColumn = 0;
constexpr int kEvenColumn = 4;
constexpr int kOneDegreeRows = kChannelCount / 2;

bool isCentreEven(int channel) { return channel == 10 || channel == 14 || channel == 18 || channel == 22; }
bool isCentreOdd(int channel) { return channel == 11 || channel == 15 || channel == 19 || channel == 23; }

int thirdDegreeColumn(int channel)
{
    if (isCentreOdd(channel))
        return kGroup1Column;
    if (isCentreEven(channel))
        return kGroup4Column;
    return channel % 2 == 1 ? kGroup2Column : kGroup3Column;
}

// Rows are opened by the channels of the third group; every other channel joins the row
// opened last.
int thirdDegreeRow(int channel)
{
    int opened = 0;
    for (int c = 0; c <= channel; ++c)
        if (thirdDegreeColumn(c) == kGroup3Column)
            ++opened;
    return opened - 1;
}

} // namespace

std::optional<float> nominalAngle(int degreeMode, int channel)
{
    if (!validChannel(channel))
        return std::nullopt;
    const int dataChannel = devinfo::verticalEntryChannel(channel);
    switch (degreeMode) {
    case kOneDegreeMode: return defaultVerticalAngles1[dataChannel];
    case kThirdDegreeMode: return defaultVerticalAngles033[dataChannel];
    default: return std::nullopt;
    }
}

GridPlace gridPlace(int degreeMode, int channel)
{
    if (!validChannel(channel))
        return {};
    switch (degreeMode) {
    case kOneDegreeMode: return {channel / 2, channel % 2 == 1 ? kOddColumn : kEvenColumn};
    case kThirdDegreeMode: return {thirdDegreeRow(channel), thirdDegreeColumn(channel)};
    default: return {};
    }
}

int gridRowCount(int degreeMode)
{
    switch (degreeMode) {
    case kOneDegreeMode: return kOneDegreeRows;
    case kThirdDegreeMode: return kThirdDegreeRows;
    default: return 0;
    }
}

ReadBack readBack(const std::uint8_t* rawAngles)
{
    ReadBack r;
    for (int c = 0; c < kChannelCount; ++c) {
        r.angles[c] = devinfo::decodeVerticalAngle(be16(rawAngles + kEntrySize * c));
        if (r.angles[c] != 0.0f)
            r.allZero = false;
    }
    return r;
}

int angleHundredths(float degrees)
{
    const float scaled = degrees * 100.0f; // single precision, as the set column's value is
    // "nan", "inf" or a huge number is no angle; converting it to int is undefined.
    if (!(std::fabs(scaled) < static_cast<float>(std::numeric_limits<int>::max())))
        return 0;
    return static_cast<int>(scaled);
}

Build buildVerticalAnglePacket(const std::uint8_t* deviceInfo, const Angles& setAngles, int degreeMode)
{
    Build b;
    if (!nominalAngle(degreeMode, 0)) {
        b.refusal = Refusal::NoLayout;
        return b;
    }
    std::memcpy(b.packet.data(), deviceInfo, b.packet.size());
    std::memcpy(b.packet.data(), configpacket::kUserHeader, configpacket::kHeaderSize);
    std::memcpy(b.packet.data() + configpacket::kMarkerOffset, configpacket::kMarker, configpacket::kMarkerSize);
    for (int c = 0; c < kChannelCount; ++c) {
        const float nominal = *nominalAngle(degreeMode, c);
        // Written so that a non-finite angle ("nan", "inf") is refused as a deviation too.
        if (!(std::fabs(setAngles[c] - nominal) <= kMaxDeviation)) {
            b.refusal = Refusal::Deviation;
            b.channel = c;
            return b;
        }
        long code = angleHundredths(setAngles[c]);
        if (code < 0)
            code += kNegativeBias;
        configpacket::TwoBytesDecToHex(b.packet.data() + devinfo::kVerticalAngles + kEntrySize * c, code);
    }
    std::memcpy(b.packet.data() + configpacket::kTailOffset, configpacket::kTail, sizeof configpacket::kTail);
    return b;
}

} // namespace hvk32::vertical
